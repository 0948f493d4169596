// Template declarations: parsing, encoding and the walk of a template over flat values.
#include <cctype>
#include <cstring>
#include <mutex>

#include "platform/xfile/xfile_internal.h"

namespace xfile::detail {

void TemplateSet::Add(Template t) {
  if (!templates_) templates_ = std::make_shared<Map>();
  else if (templates_.use_count() > 1) templates_ = std::make_shared<Map>(*templates_);
  std::string key = t.name;
  (*templates_)[key] = std::move(t);
}

const TemplateSet::Map& TemplateSet::all() const {
  static const Map empty;
  return templates_ ? *templates_ : empty;
}

const Template* TemplateSet::Find(std::string_view name) const {
  const Map& m = all();
  auto it = m.find(name);
  return it == m.end() ? nullptr : &it->second;
}

const Template* TemplateSet::FindByGuid(const GUID& g) const {
  for (const auto& [name, t] : all())
    if (t.guid == g) return &t;
  return nullptr;
}

const Template* FindTemplateNoCase(const TemplateSet& set, std::string_view name) {
  for (const auto& [n, t] : set.all()) {
    if (n.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < n.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(n[i])) == std::tolower(static_cast<unsigned char>(name[i]));
    if (same) return &t;
  }
  return nullptr;
}

std::size_t PrimSize(Prim p) {
  switch (p) {
    case Prim::Word: case Prim::Sword: return 2;
    case Prim::Dword: case Prim::Sdword: case Prim::Float: return 4;
    case Prim::Double: return 8;
    case Prim::Char: case Prim::Uchar: return 1;
    case Prim::String: return sizeof(const char*);
    case Prim::None: return 0;
  }
  return 0;
}

namespace {

Prim PrimOfToken(Tok t) {
  switch (t) {
    case TOK_WORD: return Prim::Word;
    case TOK_DWORD: return Prim::Dword;
    case TOK_FLOAT: return Prim::Float;
    case TOK_DOUBLE: return Prim::Double;
    case TOK_CHAR: return Prim::Char;
    case TOK_UCHAR: return Prim::Uchar;
    case TOK_SWORD: return Prim::Sword;
    case TOK_SDWORD: return Prim::Sdword;
    case TOK_LPSTR: case TOK_UNICODE: case TOK_CSTRING: return Prim::String;
    default: return Prim::None;
  }
}

Tok TokenOfPrim(Prim p) {
  switch (p) {
    case Prim::Word: return TOK_WORD;
    case Prim::Dword: return TOK_DWORD;
    case Prim::Float: return TOK_FLOAT;
    case Prim::Double: return TOK_DOUBLE;
    case Prim::Char: return TOK_CHAR;
    case Prim::Uchar: return TOK_UCHAR;
    case Prim::Sword: return TOK_SWORD;
    case Prim::Sdword: return TOK_SDWORD;
    case Prim::String: return TOK_LPSTR;
    case Prim::None: break;
  }
  return TOK_NONE;
}

const char* PrimName(Prim p) {
  switch (p) {
    case Prim::Word: return "WORD";
    case Prim::Dword: return "DWORD";
    case Prim::Float: return "FLOAT";
    case Prim::Double: return "DOUBLE";
    case Prim::Char: return "CHAR";
    case Prim::Uchar: return "UCHAR";
    case Prim::Sword: return "SWORD";
    case Prim::Sdword: return "SDWORD";
    case Prim::String: return "STRING";
    case Prim::None: break;
  }
  return "";
}

HRESULT Expect(Lexer& lex, Tok type, Token* t) {
  HRESULT hr = lex.Next(t);
  if (hr < 0) return hr;
  return t->type == type ? DXFILE_OK : DXFILEERR_PARSEERROR;
}

}  // namespace

HRESULT ParseTemplate(Lexer& lex, Template* out) {
  Token t;
  HRESULT hr;
  if ((hr = Expect(lex, TOK_NAME, &t)) < 0) return hr;
  out->name = std::string(t.text);
  if ((hr = Expect(lex, TOK_OBRACE, &t)) < 0) return hr;
  if ((hr = Expect(lex, TOK_GUID, &t)) < 0) return hr;
  out->guid = t.guid;
  for (;;) {
    if ((hr = lex.Next(&t)) < 0) return hr;
    if (t.type == TOK_CBRACE) return DXFILE_OK;
    if (t.type == TOK_OBRACKET) {
      // Restrictions: "[...]" open, or a list of template names with optional ids.
      Token n;
      if ((hr = lex.Next(&n)) < 0) return hr;
      if (n.type == TOK_DOT) {
        for (int i = 0; i < 2; ++i)
          if ((hr = Expect(lex, TOK_DOT, &n)) < 0) return hr;
        if ((hr = Expect(lex, TOK_CBRACKET, &n)) < 0) return hr;
        out->kind = Template::Kind::Open;
        continue;
      }
      out->kind = Template::Kind::Restricted;
      for (;;) {
        if (n.type != TOK_NAME) return DXFILEERR_PARSEERROR;
        out->restrictions.emplace_back(n.text);
        if ((hr = lex.Next(&n)) < 0) return hr;
        if (n.type == TOK_GUID && (hr = lex.Next(&n)) < 0) return hr;
        if (n.type == TOK_CBRACKET) break;
        if (n.type != TOK_COMMA) return DXFILEERR_PARSEERROR;
        if ((hr = lex.Next(&n)) < 0) return hr;
      }
      continue;
    }
    Member m;
    bool isArray = t.type == TOK_ARRAY;
    if (isArray && (hr = lex.Next(&t)) < 0) return hr;
    if (t.type == TOK_NAME) {
      m.typeName = std::string(t.text);
    } else {
      m.prim = PrimOfToken(t.type);
      if (m.prim == Prim::None) return DXFILEERR_PARSEERROR;
    }
    if ((hr = lex.Next(&t)) < 0) return hr;
    if (t.type == TOK_NAME) {
      m.name = std::string(t.text);
      if ((hr = lex.Next(&t)) < 0) return hr;
    }
    while (isArray && t.type == TOK_OBRACKET) {
      Token d;
      if ((hr = lex.Next(&d)) < 0) return hr;
      Dim dim;
      if (d.type == TOK_INTEGER) {
        dim.fixed = d.integer;
      } else if (d.type == TOK_NAME) {
        dim.member = std::string(d.text);
      } else {
        return DXFILEERR_PARSEERROR;
      }
      m.dims.push_back(dim);
      if ((hr = Expect(lex, TOK_CBRACKET, &d)) < 0) return hr;
      if ((hr = lex.Next(&t)) < 0) return hr;
    }
    if (isArray && m.dims.empty()) return DXFILEERR_PARSEERROR;
    if (t.type != TOK_SEMICOLON) return DXFILEERR_PARSEERROR;
    out->members.push_back(std::move(m));
  }
}

namespace {

void PutWord(std::vector<std::uint8_t>* o, std::uint16_t v) {
  o->push_back(static_cast<std::uint8_t>(v));
  o->push_back(static_cast<std::uint8_t>(v >> 8));
}
void PutDword(std::vector<std::uint8_t>* o, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) o->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutName(std::vector<std::uint8_t>* o, const std::string& s) {
  PutWord(o, TOK_NAME);
  PutDword(o, static_cast<std::uint32_t>(s.size()));
  o->insert(o->end(), s.begin(), s.end());
}
void PutGuid(std::vector<std::uint8_t>* o, const GUID& g) {
  PutWord(o, TOK_GUID);
  PutDword(o, g.Data1);
  PutWord(o, g.Data2);
  PutWord(o, g.Data3);
  o->insert(o->end(), g.Data4, g.Data4 + 8);
}

}  // namespace

void EncodeTemplateBinary(const Template& t, std::vector<std::uint8_t>* o) {
  const TemplateSet& builtin = BuiltinTemplates();
  PutWord(o, TOK_TEMPLATE);
  PutName(o, t.name);
  PutWord(o, TOK_OBRACE);
  PutGuid(o, t.guid);
  for (const Member& m : t.members) {
    if (!m.dims.empty()) PutWord(o, TOK_ARRAY);
    if (m.prim == Prim::None)
      PutName(o, m.typeName);
    else
      PutWord(o, TokenOfPrim(m.prim));
    if (!m.name.empty()) PutName(o, m.name);
    for (const Dim& d : m.dims) {
      PutWord(o, TOK_OBRACKET);
      if (d.member.empty()) {
        PutWord(o, TOK_INTEGER);
        PutDword(o, d.fixed);
      } else {
        PutName(o, d.member);
      }
      PutWord(o, TOK_CBRACKET);
    }
    PutWord(o, TOK_SEMICOLON);
  }
  if (t.kind == Template::Kind::Open) {
    PutWord(o, TOK_OBRACKET);
    for (int i = 0; i < 3; ++i) PutWord(o, TOK_DOT);
    PutWord(o, TOK_CBRACKET);
  } else if (t.kind == Template::Kind::Restricted) {
    PutWord(o, TOK_OBRACKET);
    for (std::size_t i = 0; i < t.restrictions.size(); ++i) {
      if (i) PutWord(o, TOK_COMMA);
      PutName(o, t.restrictions[i]);
      const Template* r = builtin.Find(t.restrictions[i]);
      if (r) PutGuid(o, r->guid);
    }
    PutWord(o, TOK_CBRACKET);
  }
  PutWord(o, TOK_CBRACE);
}

std::string EncodeTemplateText(const Template& t) {
  const TemplateSet& builtin = BuiltinTemplates();
  std::string s = "template " + t.name + " {\n <" + GuidText(t.guid) + ">\n";
  for (const Member& m : t.members) {
    s += " ";
    if (!m.dims.empty()) s += "array ";
    s += m.prim == Prim::None ? m.typeName : std::string(PrimName(m.prim));
    if (!m.name.empty()) s += " " + m.name;
    for (const Dim& d : m.dims) s += "[" + (d.member.empty() ? std::to_string(d.fixed) : d.member) + "]";
    s += ";\n";
  }
  if (t.kind == Template::Kind::Open) {
    s += " [...]\n";
  } else if (t.kind == Template::Kind::Restricted) {
    s += " [";
    for (std::size_t i = 0; i < t.restrictions.size(); ++i) {
      if (i) s += ", ";
      s += t.restrictions[i];
      const Template* r = builtin.Find(t.restrictions[i]);
      if (r) s += " <" + GuidText(r->guid) + ">";
    }
    s += "]\n";
  }
  s += "}\n";
  return s;
}

namespace {

// Template walk with a stack of scalar values seen at each structure level, for array
// sizes named by earlier members.
class Walker {
 public:
  Walker(const TemplateLookup& set, const Value* v, std::size_t n, WalkVisitor& vis)
      : set_(set), v_(v), n_(n), vis_(vis) {}

  HRESULT Struct(const Template& t, int depth) {
    if (depth > 32) return DXFILEERR_BADOBJECT;
    // Members that take no values (empty structures) must not make a small object
    // expand into billions of visits.
    if (++visits_ > 4 * n_ + 4096) return DXFILEERR_BADARRAYSIZE;
    std::vector<std::pair<const std::string*, double>> seen;
    for (const Member& m : t.members) {
      if (depth == 0) vis_.TopMemberBegin(m);
      const Template* sub = nullptr;
      if (m.prim == Prim::None) {
        sub = set_.Lookup(m.typeName);
        if (!sub) return DXFILEERR_NOTEMPLATE;
      }
      if (m.dims.empty()) {
        if (sub) {
          HRESULT hr = Struct(*sub, depth + 1);
          if (hr < 0) return hr;
        } else {
          if (pos_ >= n_) return DXFILEERR_NOMOREDATA;
          seen.emplace_back(&m.name, v_[pos_].num);
          vis_.Scalar(m.prim, v_[pos_++]);
        }
        vis_.MemberEnd();
      } else {
        std::uint64_t total = 1;
        for (const Dim& d : m.dims) {
          std::uint64_t size = d.fixed;
          if (!d.member.empty()) {
            bool found = false;
            for (auto it = seen.rbegin(); it != seen.rend(); ++it) {
              if (*it->first == d.member) {
                double x = it->second;
                if (!(x >= 0) || x > 4294967295.0) return DXFILEERR_BADARRAYSIZE;
                size = static_cast<std::uint64_t>(x);
                found = true;
                break;
              }
            }
            if (!found) return DXFILEERR_BADARRAYSIZE;
          }
          total *= size;
          // Every element takes at least one value.
          if (total > n_ - pos_) return DXFILEERR_BADARRAYSIZE;
        }
        for (std::uint64_t i = 0; i < total; ++i) {
          if (i) vis_.ArraySeparator();
          if (sub) {
            HRESULT hr = Struct(*sub, depth + 1);
            if (hr < 0) return hr;
          } else {
            if (pos_ >= n_) return DXFILEERR_NOMOREDATA;
            vis_.Scalar(m.prim, v_[pos_++]);
          }
        }
        vis_.ArrayEnd();
      }
      if (depth == 0) vis_.TopMemberEnd(m);
    }
    return DXFILE_OK;
  }

  std::size_t pos_ = 0;

 private:
  std::size_t visits_ = 0;
  const TemplateLookup& set_;
  const Value* v_;
  std::size_t n_;
  WalkVisitor& vis_;
};

}  // namespace

HRESULT WalkTemplate(const TemplateLookup& set, const Template& t, const Value* values, std::size_t count,
                     std::size_t* used, WalkVisitor& visitor) {
  Walker w(set, values, count, visitor);
  HRESULT hr = w.Struct(t, 0);
  if (used) *used = w.pos_;
  return hr;
}

namespace {

void ParseTemplateText(const char* text, TemplateSet* set) {
  std::size_t n = std::strlen(text);
  Lexer lex(reinterpret_cast<const std::uint8_t*>(text) + 16, n - 16, false, 32);
  Token t;
  while (lex.Next(&t) >= 0 && t.type == TOK_TEMPLATE) {
    Template tp;
    if (ParseTemplate(lex, &tp) < 0) break;
    set->Add(std::move(tp));
  }
}

}  // namespace

const TemplateSet& BuiltinTemplates() {
  static const TemplateSet set = [] {
    TemplateSet s;
    ParseTemplateText(StandardTemplatesText(), &s);
    ParseTemplateText(ExtensionTemplatesText(), &s);
    return s;
  }();
  return set;
}

}  // namespace xfile::detail

namespace xfile {

const BYTE* StandardTemplates(DWORD* size) {
  static const std::vector<std::uint8_t> image = [] {
    using namespace detail;
    TemplateSet s;
    const char* text = StandardTemplatesText();
    std::size_t n = std::strlen(text);
    Lexer lex(reinterpret_cast<const std::uint8_t*>(text) + 16, n - 16, false, 32);
    std::vector<std::uint8_t> out(reinterpret_cast<const std::uint8_t*>("xof 0302bin 0064"),
                                  reinterpret_cast<const std::uint8_t*>("xof 0302bin 0064") + 16);
    Token t;
    while (lex.Next(&t) >= 0 && t.type == TOK_TEMPLATE) {
      Template tp;
      if (ParseTemplate(lex, &tp) < 0) break;
      EncodeTemplateBinary(tp, &out);
    }
    return out;
  }();
  if (size) *size = static_cast<DWORD>(image.size());
  return image.data();
}

}  // namespace xfile
