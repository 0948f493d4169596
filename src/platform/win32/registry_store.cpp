#include "platform/win32/registry_store.h"

#include <cstdio>

namespace win32::regstore {

namespace {

constexpr std::string_view kHeader = "HOARDEL3D REGISTRY 1";
constexpr std::string_view kTrailer = "END";
constexpr DWORD kRegSz = 1;
constexpr DWORD kRegDword = 4;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ReadHexByte(std::string_view s, std::size_t at, unsigned char& out) {
  if (at + 2 > s.size()) return false;
  int hi = HexDigit(s[at]), lo = HexDigit(s[at + 1]);
  if (hi < 0 || lo < 0) return false;
  out = static_cast<unsigned char>(hi * 16 + lo);
  return true;
}

void AppendHexByte(std::string& out, unsigned char b) {
  static const char* digits = "0123456789abcdef";
  out += digits[b >> 4];
  out += digits[b & 15];
}

bool Plain(unsigned char b) { return b >= 0x20 && b < 0x7F; }

std::string EscapePath(std::string_view path) {
  std::string out;
  for (char ch : path) {
    auto b = static_cast<unsigned char>(ch);
    if (!Plain(b) || ch == '%' || ch == ']') {
      out += '%';
      AppendHexByte(out, b);
    } else {
      out += ch;
    }
  }
  return out;
}

std::optional<std::string> UnescapePath(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%') {
      unsigned char b;
      if (!ReadHexByte(s, i + 1, b)) return std::nullopt;
      out += static_cast<char>(b);
      i += 2;
    } else if (!Plain(static_cast<unsigned char>(s[i])) || s[i] == ']') {
      return std::nullopt;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char ch : s) {
    auto b = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (!Plain(b)) {
      out += "\\x";
      AppendHexByte(out, b);
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

// Reads a quoted string starting at s[pos] == '"'; moves pos past the closing quote.
std::optional<std::string> Unquote(std::string_view s, std::size_t& pos) {
  if (pos >= s.size() || s[pos] != '"') return std::nullopt;
  std::string out;
  for (std::size_t i = pos + 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      pos = i + 1;
      return out;
    }
    if (!Plain(static_cast<unsigned char>(c))) return std::nullopt;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (i + 1 >= s.size()) return std::nullopt;
    char e = s[i + 1];
    if (e == '"' || e == '\\') {
      out += e;
      i += 1;
    } else if (e == 'x') {
      unsigned char b;
      if (!ReadHexByte(s, i + 2, b)) return std::nullopt;
      out += static_cast<char>(b);
      i += 3;
    } else {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

bool IsPlainString(const Value& v) {
  if (v.type != kRegSz || v.data.empty() || v.data.back() != '\0') return false;
  return v.data.find('\0') == v.data.size() - 1;
}

std::string FormatValue(const Value& v) {
  std::string line = Quote(v.name) + "=";
  if (v.type == kRegDword && v.data.size() == 4) {
    DWORD d = 0;
    for (int i = 3; i >= 0; --i) d = (d << 8) | static_cast<unsigned char>(v.data[static_cast<std::size_t>(i)]);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(d));
    line += buf;
  } else if (IsPlainString(v)) {
    line += "sz:" + Quote(std::string_view(v.data).substr(0, v.data.size() - 1));
  } else {
    char buf[32];
    std::snprintf(buf, sizeof buf, "hex(%u):", static_cast<unsigned>(v.type));
    line += buf;
    for (std::size_t i = 0; i < v.data.size(); ++i) {
      if (i) line += ',';
      AppendHexByte(line, static_cast<unsigned char>(v.data[i]));
    }
  }
  return line;
}

std::optional<Value> ParseValue(std::string_view line) {
  std::size_t pos = 0;
  auto name = Unquote(line, pos);
  if (!name || pos >= line.size() || line[pos] != '=') return std::nullopt;
  std::string_view rest = line.substr(pos + 1);
  Value v;
  v.name = *name;
  if (rest.substr(0, 6) == "dword:") {
    std::string_view hex = rest.substr(6);
    if (hex.size() != 8) return std::nullopt;
    DWORD d = 0;
    for (char c : hex) {
      int h = HexDigit(c);
      if (h < 0) return std::nullopt;
      d = (d << 4) | static_cast<DWORD>(h);
    }
    v.type = kRegDword;
    for (int i = 0; i < 4; ++i) v.data += static_cast<char>((d >> (8 * i)) & 0xFF);
    return v;
  }
  if (rest.substr(0, 3) == "sz:") {
    std::size_t p = 3;
    auto text = Unquote(rest, p);
    if (!text || p != rest.size()) return std::nullopt;
    v.type = kRegSz;
    v.data = *text;
    v.data += '\0';
    return v;
  }
  if (rest.substr(0, 4) == "hex(") {
    std::size_t close = rest.find("):");
    if (close == std::string_view::npos || close == 4 || close > 14) return std::nullopt;
    unsigned long type = 0;
    for (char c : rest.substr(4, close - 4)) {
      if (c < '0' || c > '9') return std::nullopt;
      type = type * 10 + static_cast<unsigned long>(c - '0');
    }
    if (type > 0xFFFFFFFFul) return std::nullopt;
    v.type = static_cast<DWORD>(type);
    std::string_view bytes = rest.substr(close + 2);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
      unsigned char b;
      if (!ReadHexByte(bytes, i, b)) return std::nullopt;
      v.data += static_cast<char>(b);
      if (i + 2 < bytes.size() && bytes[i + 2] != ',') return std::nullopt;
      if (i + 2 == bytes.size() - 1) return std::nullopt;  // trailing comma
    }
    return v;
  }
  return std::nullopt;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

Key* Store::FindKey(std::string_view path) {
  for (Key& k : keys)
    if (EqualsNoCase(k.path, path)) return &k;
  return nullptr;
}

const Key* Store::FindKey(std::string_view path) const {
  for (const Key& k : keys)
    if (EqualsNoCase(k.path, path)) return &k;
  return nullptr;
}

bool Store::KeyExists(std::string_view path) const {
  if (path.empty()) return true;
  for (const Key& k : keys) {
    std::string_view p = k.path;
    if (EqualsNoCase(p, path)) return true;
    if (p.size() > path.size() && p[path.size()] == '\\' && EqualsNoCase(p.substr(0, path.size()), path))
      return true;
  }
  return false;
}

Key& Store::EnsureKey(std::string_view path) {
  if (Key* k = FindKey(path)) return *k;
  keys.push_back(Key{std::string(path), {}});
  return keys.back();
}

Value* FindValue(Key& key, std::string_view name) {
  for (Value& v : key.values)
    if (EqualsNoCase(v.name, name)) return &v;
  return nullptr;
}

const Value* FindValue(const Key& key, std::string_view name) {
  for (const Value& v : key.values)
    if (EqualsNoCase(v.name, name)) return &v;
  return nullptr;
}

std::string Serialize(const Store& store) {
  std::string out(kHeader);
  out += '\n';
  for (const Key& k : store.keys) {
    out += '[' + EscapePath(k.path) + "]\n";
    for (const Value& v : k.values) out += FormatValue(v) + '\n';
  }
  out += kTrailer;
  out += '\n';
  return out;
}

std::optional<Store> Parse(std::string_view text) {
  Store store;
  std::size_t pos = 0;
  bool sawHeader = false;
  bool sawTrailer = false;
  bool haveKey = false;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) return std::nullopt;  // every line ends in LF
    std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (sawTrailer) return std::nullopt;  // nothing may follow the trailer
    if (!sawHeader) {
      if (line != kHeader) return std::nullopt;
      sawHeader = true;
      continue;
    }
    if (line == kTrailer) {
      sawTrailer = true;
      continue;
    }
    if (!line.empty() && line.front() == '[') {
      if (line.size() < 2 || line.back() != ']') return std::nullopt;
      auto path = UnescapePath(line.substr(1, line.size() - 2));
      if (!path || store.FindKey(*path)) return std::nullopt;
      store.keys.push_back(Key{*path, {}});
      haveKey = true;
      continue;
    }
    if (!haveKey) return std::nullopt;
    Key& current = store.keys.back();
    auto value = ParseValue(line);
    if (!value || FindValue(current, value->name)) return std::nullopt;
    current.values.push_back(std::move(*value));
  }
  if (!sawTrailer) return std::nullopt;
  return store;
}

namespace {

// Whether a value line's form shows where it ends: a number has exactly eight digits and a
// string its closing quote, but a byte list cut after a comma still reads as a shorter list.
bool ShowsItsEnd(std::string_view line) {
  std::size_t pos = 0;
  if (!Unquote(line, pos)) return false;
  return line.substr(pos, 5) != "=hex(";
}

}  // namespace

Salvaged Salvage(std::string_view text) {
  Salvaged out;
  out.exact = Parse(text).has_value();
  bool haveKey = false;
  std::size_t keyIndex = 0;
  std::size_t number = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    const bool terminated = eol != std::string_view::npos;
    if (!terminated) eol = text.size();
    std::string_view line = text.substr(pos, eol - pos);
    pos = terminated ? eol + 1 : eol;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto skip = [&] { out.skipped.push_back(SkippedLine{number, std::string(line)}); };
    if (number == 1 && line == kHeader) {
      out.header = true;
      continue;
    }
    if (line.empty()) continue;
    if (out.ended) {
      skip();  // nothing belongs after the trailer
      continue;
    }
    if (line == kTrailer) {
      out.ended = true;
      continue;
    }
    if (line.front() == '[') {
      std::optional<std::string> path;
      if (line.size() >= 2 && line.back() == ']') path = UnescapePath(line.substr(1, line.size() - 2));
      haveKey = path.has_value();
      if (!haveKey) {
        skip();
        continue;
      }
      // A key named twice gathers the values of both.
      if (const Key* k = out.store.FindKey(*path)) {
        keyIndex = static_cast<std::size_t>(k - out.store.keys.data());
      } else {
        keyIndex = out.store.keys.size();
        out.store.keys.push_back(Key{*path, {}});
      }
      out.anything = true;
      continue;
    }
    std::optional<Value> value;
    if (haveKey && (terminated || ShowsItsEnd(line))) value = ParseValue(line);
    if (!value || FindValue(out.store.keys[keyIndex], value->name)) {
      skip();
      continue;
    }
    out.store.keys[keyIndex].values.push_back(std::move(*value));
    out.anything = true;
  }
  return out;
}

}  // namespace win32::regstore
