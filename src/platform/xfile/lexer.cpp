// Tokens of the text and binary .X forms, the file header and GUID text.
#include <charconv>
#include <cstdio>
#include <cmath>
#include <cstring>

#include "platform/win32/little_endian.h"
#include "platform/xfile/xfile_internal.h"

namespace xfile::detail {

namespace {

bool IsNameStart(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(std::uint8_t c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(std::string_view s, std::uint64_t* v) {
  *v = 0;
  if (s.empty()) return false;
  for (char c : s) {
    int h = HexValue(c);
    if (h < 0) return false;
    *v = (*v << 4) | static_cast<unsigned>(h);
  }
  return true;
}

using win32::Le16;
using win32::Le32;

}  // namespace

bool ParseGuidText(std::string_view s, GUID* g) {
  // 8-4-4-4-12 hex digits.
  if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') return false;
  std::uint64_t a, b, c, d, e;
  if (!ParseHex(s.substr(0, 8), &a) || !ParseHex(s.substr(9, 4), &b) || !ParseHex(s.substr(14, 4), &c) ||
      !ParseHex(s.substr(19, 4), &d) || !ParseHex(s.substr(24, 12), &e))
    return false;
  g->Data1 = static_cast<DWORD>(a);
  g->Data2 = static_cast<WORD>(b);
  g->Data3 = static_cast<WORD>(c);
  g->Data4[0] = static_cast<BYTE>(d >> 8);
  g->Data4[1] = static_cast<BYTE>(d);
  for (int i = 0; i < 6; ++i) g->Data4[2 + i] = static_cast<BYTE>(e >> (8 * (5 - i)));
  return true;
}

std::string GuidText(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

HRESULT ParseHeader(const std::uint8_t* data, std::size_t size, Header* h) {
  if (size < 16) return DXFILEERR_BADFILETYPE;
  if (std::memcmp(data, "xof ", 4) != 0) return DXFILEERR_BADFILETYPE;
  for (int i = 4; i < 8; ++i)
    if (!IsDigit(data[i])) return DXFILEERR_BADFILEVERSION;
  if (std::memcmp(data + 4, "03", 2) != 0) return DXFILEERR_BADFILEVERSION;
  const char* f = reinterpret_cast<const char*>(data + 8);
  if (std::memcmp(f, "txt ", 4) == 0) {
    *h = {false, false, 32};
  } else if (std::memcmp(f, "bin ", 4) == 0) {
    *h = {true, false, 32};
  } else if (std::memcmp(f, "tzip", 4) == 0) {
    *h = {false, true, 32};
  } else if (std::memcmp(f, "bzip", 4) == 0) {
    *h = {true, true, 32};
  } else {
    return DXFILEERR_BADFILECOMPRESSIONTYPE;
  }
  if (std::memcmp(data + 12, "0032", 4) == 0)
    h->floatBits = 32;
  else if (std::memcmp(data + 12, "0064", 4) == 0)
    h->floatBits = 64;
  else
    return DXFILEERR_BADFILEFLOATSIZE;
  return DXFILE_OK;
}

Lexer::Lexer(const std::uint8_t* data, std::size_t size, bool binary, int floatBits)
    : p_(data), end_(data + size), binary_(binary), floatBits_(floatBits) {}

HRESULT Lexer::Peek(Token* t) {
  if (!peeked_) {
    peekResult_ = binary_ ? ReadBinary(&peek_) : ReadText(&peek_);
    peeked_ = true;
  }
  *t = peek_;
  return peekResult_;
}

HRESULT Lexer::Next(Token* t) {
  if (peeked_) {
    peeked_ = false;
    *t = peek_;
    return peekResult_;
  }
  return binary_ ? ReadBinary(t) : ReadText(t);
}

HRESULT Lexer::ReadBinary(Token* t) {
  *t = Token{};
  if (p_ == end_) {
    t->type = TOK_EOF;
    return DXFILE_OK;
  }
  if (end_ - p_ < 2) return DXFILEERR_PARSEERROR;
  std::uint16_t id = Le16(p_);
  p_ += 2;
  std::size_t left = static_cast<std::size_t>(end_ - p_);
  switch (id) {
    case TOK_NAME:
    case TOK_STRING: {
      if (left < 4) return DXFILEERR_PARSEERROR;
      std::uint32_t n = Le32(p_);
      if (n > left - 4) return DXFILEERR_PARSEERROR;
      t->text = std::string_view(reinterpret_cast<const char*>(p_ + 4), n);
      // Some writers count a terminating zero; the name ends there.
      auto z = t->text.find('\0');
      if (z != std::string_view::npos) t->text = t->text.substr(0, z);
      p_ += 4 + n;
      break;
    }
    case TOK_INTEGER:
      if (left < 4) return DXFILEERR_PARSEERROR;
      t->integer = Le32(p_);
      p_ += 4;
      break;
    case TOK_GUID:
      if (left < 16) return DXFILEERR_PARSEERROR;
      t->guid.Data1 = Le32(p_);
      t->guid.Data2 = Le16(p_ + 4);
      t->guid.Data3 = Le16(p_ + 6);
      std::memcpy(t->guid.Data4, p_ + 8, 8);
      p_ += 16;
      break;
    case TOK_INTEGER_LIST:
    case TOK_FLOAT_LIST: {
      if (left < 4) return DXFILEERR_PARSEERROR;
      std::uint32_t n = Le32(p_);
      std::size_t elem = (id == TOK_FLOAT_LIST && floatBits_ == 64) ? 8 : 4;
      if (n > (left - 4) / elem) return DXFILEERR_PARSEERROR;
      t->count = n;
      t->list = p_ + 4;
      p_ += 4 + static_cast<std::size_t>(n) * elem;
      break;
    }
    case TOK_OBRACE: case TOK_CBRACE: case TOK_OPAREN: case TOK_CPAREN: case TOK_OBRACKET:
    case TOK_CBRACKET: case TOK_OANGLE: case TOK_CANGLE: case TOK_DOT: case TOK_COMMA:
    case TOK_SEMICOLON: case TOK_TEMPLATE: case TOK_WORD: case TOK_DWORD: case TOK_FLOAT:
    case TOK_DOUBLE: case TOK_CHAR: case TOK_UCHAR: case TOK_SWORD: case TOK_SDWORD:
    case TOK_VOID: case TOK_LPSTR: case TOK_UNICODE: case TOK_CSTRING: case TOK_ARRAY:
      break;
    default:
      return DXFILEERR_PARSEERROR;
  }
  t->type = static_cast<Tok>(id);
  return DXFILE_OK;
}

HRESULT Lexer::ReadText(Token* t) {
  *t = Token{};
  // Whitespace and comments ("//" and "#" to the end of the line).
  for (;;) {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n' || *p_ == '\0')) ++p_;
    if (p_ < end_ && (*p_ == '#' || (*p_ == '/' && end_ - p_ > 1 && p_[1] == '/'))) {
      while (p_ < end_ && *p_ != '\n') ++p_;
      continue;
    }
    break;
  }
  if (p_ == end_) {
    t->type = TOK_EOF;
    return DXFILE_OK;
  }
  std::uint8_t c = *p_;
  switch (c) {
    case '{': t->type = TOK_OBRACE; ++p_; return DXFILE_OK;
    case '}': t->type = TOK_CBRACE; ++p_; return DXFILE_OK;
    case '(': t->type = TOK_OPAREN; ++p_; return DXFILE_OK;
    case ')': t->type = TOK_CPAREN; ++p_; return DXFILE_OK;
    case '[': t->type = TOK_OBRACKET; ++p_; return DXFILE_OK;
    case ']': t->type = TOK_CBRACKET; ++p_; return DXFILE_OK;
    case ',': t->type = TOK_COMMA; ++p_; return DXFILE_OK;
    case ';': t->type = TOK_SEMICOLON; ++p_; return DXFILE_OK;
    case '>': t->type = TOK_CANGLE; ++p_; return DXFILE_OK;
    default: break;
  }
  if (c == '<') {
    const std::uint8_t* q = p_ + 1;
    while (q < end_ && *q != '>' && q - p_ < 64) ++q;
    if (q == end_ || *q != '>') return DXFILEERR_PARSEERROR;
    std::string_view s(reinterpret_cast<const char*>(p_ + 1), static_cast<std::size_t>(q - p_ - 1));
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    if (!ParseGuidText(s, &t->guid)) return DXFILEERR_PARSEERROR;
    t->type = TOK_GUID;
    p_ = q + 1;
    return DXFILE_OK;
  }
  if (c == '"') {
    const std::uint8_t* q = p_ + 1;
    while (q < end_ && *q != '"') ++q;
    if (q == end_) return DXFILEERR_PARSEERROR;
    t->type = TOK_STRING;
    t->text = std::string_view(reinterpret_cast<const char*>(p_ + 1), static_cast<std::size_t>(q - p_ - 1));
    p_ = q + 1;
    return DXFILE_OK;
  }
  if (c == '.') {
    t->type = TOK_DOT;
    ++p_;
    return DXFILE_OK;
  }
  if (IsDigit(c) || c == '-' || c == '+') {
    const std::uint8_t* q = p_;
    if (*q == '-' || *q == '+') ++q;
    bool isFloat = false;
    while (q < end_ && (IsDigit(*q) || *q == '.' || *q == 'e' || *q == 'E' ||
                        ((*q == '-' || *q == '+') && (q[-1] == 'e' || q[-1] == 'E')))) {
      if (*q == '.' || *q == 'e' || *q == 'E') isFloat = true;
      ++q;
    }
    // "1.#IND00", "-1.#QNAN0", "1.#INF00" from some exporters.
    bool special = false;
    if (q < end_ && *q == '#') {
      special = true;
      while (q < end_ && (IsNameChar(*q) || *q == '#')) ++q;
    }
    std::string_view s(reinterpret_cast<const char*>(p_), static_cast<std::size_t>(q - p_));
    p_ = q;
    if (s == "-" || s == "+") return DXFILEERR_PARSEERROR;
    const char* b = s.data();
    const char* e = s.data() + s.size();
    if (*b == '+') ++b;
    if (special) {
      t->type = TOK_TEXT_FLOAT;
      bool neg = s.front() == '-';
      if (s.find("INF") != std::string_view::npos)
        t->number = neg ? -HUGE_VAL : HUGE_VAL;
      else
        t->number = 0;
      return DXFILE_OK;
    }
    if (!isFloat) {
      long long v = 0;
      auto r = std::from_chars(b, e, v);
      if (r.ec == std::errc() && r.ptr == e && v >= -2147483648LL && v <= 4294967295LL) {
        t->type = TOK_INTEGER;
        t->integer = static_cast<std::uint32_t>(v);
        t->number = static_cast<double>(v);
        return DXFILE_OK;
      }
    }
    double d = 0;
    auto r = std::from_chars(b, e, d);
    if (r.ec == std::errc::result_out_of_range) {
      d = (*b == '-') ? -HUGE_VAL : HUGE_VAL;
    } else if (r.ec != std::errc() || r.ptr != e) {
      return DXFILEERR_PARSEERROR;
    }
    t->type = TOK_TEXT_FLOAT;
    t->number = d;
    return DXFILE_OK;
  }
  if (IsNameStart(c)) {
    const std::uint8_t* q = p_;
    while (q < end_ && IsNameChar(*q)) ++q;
    std::string_view s(reinterpret_cast<const char*>(p_), static_cast<std::size_t>(q - p_));
    p_ = q;
    struct Kw {
      const char* s;
      Tok t;
    };
    static const Kw kKeywords[] = {
        {"template", TOK_TEMPLATE}, {"WORD", TOK_WORD},     {"DWORD", TOK_DWORD},     {"FLOAT", TOK_FLOAT},
        {"DOUBLE", TOK_DOUBLE},     {"CHAR", TOK_CHAR},     {"UCHAR", TOK_UCHAR},     {"SWORD", TOK_SWORD},
        {"SDWORD", TOK_SDWORD},     {"VOID", TOK_VOID},     {"STRING", TOK_LPSTR},    {"LPSTR", TOK_LPSTR},
        {"UNICODE", TOK_UNICODE},   {"CSTRING", TOK_CSTRING}, {"array", TOK_ARRAY},   {"BYTE", TOK_UCHAR},
    };
    for (const Kw& k : kKeywords) {
      if (s == k.s) {
        t->type = k.t;
        t->text = s;
        return DXFILE_OK;
      }
    }
    t->type = TOK_NAME;
    t->text = s;
    return DXFILE_OK;
  }
  return DXFILEERR_PARSEERROR;
}

}  // namespace xfile::detail
