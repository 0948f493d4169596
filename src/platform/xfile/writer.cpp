// Serialising a tree of data objects to the text, binary and compressed .X forms.
#include "platform/xfile/xfile_writer.h"

#include <cctype>
#include <charconv>
#include <functional>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

#include "platform/xfile/document.h"
#include "platform/xfile/xfile_internal.h"

namespace xfile {

using detail::Member;
using detail::Prim;
using detail::Template;
using detail::TemplateSet;

WriteObject::WriteObject(std::string templateName, std::string name)
    : templateName_(std::move(templateName)), name_(std::move(name)) {}

WriteObject& WriteObject::Add(const std::string& templateName, const std::string& name) {
  children_.push_back(std::make_unique<WriteObject>(templateName, name));
  return *children_.back();
}

WriteObject& WriteObject::AddReference(const std::string& name) {
  auto r = std::make_unique<WriteObject>("", name);
  r->isReference_ = true;
  children_.push_back(std::move(r));
  return *children_.back();
}

WriteObject& WriteObject::Int(std::uint32_t v) {
  values_.push_back({static_cast<double>(v), -1});
  return *this;
}
WriteObject& WriteObject::Float(double v) {
  values_.push_back({v, -1});
  return *this;
}
WriteObject& WriteObject::String(const std::string& s) {
  strings_.push_back(s);
  values_.push_back({0, static_cast<int>(strings_.size() - 1)});
  return *this;
}
WriteObject& WriteObject::Ints(const std::uint32_t* v, std::size_t n) {
  values_.reserve(values_.size() + n);
  for (std::size_t i = 0; i < n; ++i) values_.push_back({static_cast<double>(v[i]), -1});
  return *this;
}
WriteObject& WriteObject::Floats(const float* v, std::size_t n) {
  values_.reserve(values_.size() + n);
  for (std::size_t i = 0; i < n; ++i) values_.push_back({static_cast<double>(v[i]), -1});
  return *this;
}

struct Writer::Impl {
  TemplateSet declared;
  const Template* Find(const std::string& name) const {
    if (const Template* t = declared.Find(name)) return t;
    if (const Template* t = detail::BuiltinTemplates().Find(name)) return t;
    return detail::FindTemplateNoCase(detail::BuiltinTemplates(), name);
  }
};

namespace {

class FnLookup : public detail::TemplateLookup {
 public:
  explicit FnLookup(const std::function<const Template*(const std::string&)>& f) : f_(f) {}
  const Template* Lookup(std::string_view n) const override { return f_(std::string(n)); }

 private:
  std::function<const Template*(const std::string&)> f_;
};

std::int64_t AsInt(double d) {
  if (!(d == d)) return 0;
  if (d < -9.2e18) return INT64_MIN;
  if (d > 9.2e18) return INT64_MAX;
  return static_cast<std::int64_t>(d);
}

std::string FormatFloat(double v, bool asDouble) {
  char buf[64];
  std::to_chars_result r;
  if (!std::isfinite(v)) v = 0;
  if (asDouble)
    r = std::to_chars(buf, buf + sizeof buf, v);
  else
    r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(v));
  std::string s(buf, r.ptr);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

class TextVisitor : public detail::WalkVisitor {
 public:
  TextVisitor(std::string* out, const WriteObject& obj) : out_(out), obj_(obj) {}
  void Scalar(Prim p, const detail::Value& v) override {
    switch (p) {
      case Prim::Float: *out_ += FormatFloat(v.num, false); break;
      case Prim::Double: *out_ += FormatFloat(v.num, true); break;
      case Prim::String:
        *out_ += '"';
        if (v.str >= 0) *out_ += obj_.strings()[static_cast<std::size_t>(v.str)];
        *out_ += '"';
        break;
      default: *out_ += std::to_string(AsInt(v.num)); break;
    }
  }
  void MemberEnd() override { *out_ += ';'; }
  void ArraySeparator() override {
    bool afterStruct = !out_->empty() && out_->back() == ';';
    *out_ += ',';
    if (afterStruct) *out_ += "\n  ";
  }
  void ArrayEnd() override { *out_ += ';'; }
  void TopMemberEnd(const Member&) override { *out_ += "\n  "; }

 private:
  std::string* out_;
  const WriteObject& obj_;
};

void PutWord(std::vector<std::uint8_t>* o, std::uint16_t v) {
  o->push_back(static_cast<std::uint8_t>(v));
  o->push_back(static_cast<std::uint8_t>(v >> 8));
}
void PutDword(std::vector<std::uint8_t>* o, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) o->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutName(std::vector<std::uint8_t>* o, const std::string& s) {
  PutWord(o, detail::TOK_NAME);
  PutDword(o, static_cast<std::uint32_t>(s.size()));
  o->insert(o->end(), s.begin(), s.end());
}

class BinaryVisitor : public detail::WalkVisitor {
 public:
  BinaryVisitor(std::vector<std::uint8_t>* out, const WriteObject& obj, int floatBits)
      : out_(out), obj_(obj), floatBits_(floatBits) {}
  ~BinaryVisitor() override { Flush(); }
  void Scalar(Prim p, const detail::Value& v) override {
    if (p == Prim::String) {
      Flush();
      const std::string& s = v.str >= 0 ? obj_.strings()[static_cast<std::size_t>(v.str)] : empty_;
      PutWord(out_, detail::TOK_STRING);
      PutDword(out_, static_cast<std::uint32_t>(s.size()));
      out_->insert(out_->end(), s.begin(), s.end());
      PutWord(out_, detail::TOK_SEMICOLON);
      return;
    }
    bool isFloat = p == Prim::Float || p == Prim::Double;
    int kind = isFloat ? 2 : 1;
    if (kind != kind_) Flush();
    kind_ = kind;
    if (isFloat) {
      if (floatBits_ == 64) {
        double d = v.num;
        std::uint8_t b[8];
        std::memcpy(b, &d, 8);
        list_.insert(list_.end(), b, b + 8);
      } else {
        float f = static_cast<float>(v.num);
        std::uint8_t b[4];
        std::memcpy(b, &f, 4);
        list_.insert(list_.end(), b, b + 4);
      }
    } else {
      PutDword(&list_, static_cast<std::uint32_t>(AsInt(v.num)));
    }
    ++count_;
  }
  void Flush() {
    if (!count_) return;
    PutWord(out_, kind_ == 2 ? detail::TOK_FLOAT_LIST : detail::TOK_INTEGER_LIST);
    PutDword(out_, count_);
    out_->insert(out_->end(), list_.begin(), list_.end());
    list_.clear();
    count_ = 0;
    kind_ = 0;
  }

 private:
  std::vector<std::uint8_t>* out_;
  const WriteObject& obj_;
  int floatBits_;
  int kind_ = 0;
  std::uint32_t count_ = 0;
  std::vector<std::uint8_t> list_;
  std::string empty_;
};

bool ValidName(const std::string& s) {
  if (s.empty()) return true;
  auto c0 = static_cast<unsigned char>(s[0]);
  if (!(std::isalpha(c0) || c0 == '_')) return false;
  for (unsigned char c : s)
    if (!(std::isalnum(c) || c == '_' || c == '-' || c == '.')) return false;
  return true;
}

}  // namespace

Writer::Writer() : impl_(std::make_unique<Impl>()) {}
Writer::~Writer() = default;

HRESULT Writer::DeclareTemplates(const std::string& text) {
  std::string body = text;
  detail::Lexer lex(reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), false, 32);
  detail::Token t;
  HRESULT hr;
  for (;;) {
    if ((hr = lex.Next(&t)) < 0) return hr;
    if (t.type == detail::TOK_EOF) return DXFILE_OK;
    if (t.type != detail::TOK_TEMPLATE) return DXFILEERR_PARSEERROR;
    Template tp;
    if ((hr = detail::ParseTemplate(lex, &tp)) < 0) return hr;
    impl_->declared.Add(std::move(tp));
  }
}

WriteObject& Writer::Add(const std::string& templateName, const std::string& name) {
  objects_.push_back(std::make_unique<WriteObject>(templateName, name));
  return *objects_.back();
}

WriteObject& Writer::AddFrame(const std::string& name, const float matrix[16]) {
  WriteObject& f = Add("Frame", name);
  f.Add("FrameTransformMatrix").Matrix(matrix);
  return f;
}

WriteObject& Writer::AddFrame(WriteObject& parent, const std::string& name, const float matrix[16]) {
  WriteObject& f = parent.Add("Frame", name);
  f.Add("FrameTransformMatrix").Matrix(matrix);
  return f;
}

namespace {

struct SaveContext {
  const FnLookup* lookup;
  bool binary;
  int floatBits;
  std::string text;
  std::vector<std::uint8_t> bin;
};

HRESULT SaveObject(SaveContext& c, const WriteObject& o, int depth) {
  std::string indent(static_cast<std::size_t>(depth), ' ');
  if (!ValidName(o.name())) return DXFILEERR_BADVALUE;
  if (o.isReference()) {
    if (c.binary) {
      PutWord(&c.bin, detail::TOK_OBRACE);
      PutName(&c.bin, o.name());
      PutWord(&c.bin, detail::TOK_CBRACE);
    } else {
      c.text += indent + "{ " + o.name() + " }\n";
    }
    return DXFILE_OK;
  }
  const Template* t = c.lookup->Lookup(o.templateName());
  if (!t) return DXFILEERR_NOTEMPLATE;
  std::vector<detail::Value> values;
  values.reserve(o.values().size());
  for (const auto& v : o.values()) values.push_back({v.num, v.str});
  std::size_t used = 0;
  HRESULT hr;
  if (c.binary) {
    PutName(&c.bin, o.templateName());
    if (!o.name().empty()) PutName(&c.bin, o.name());
    PutWord(&c.bin, detail::TOK_OBRACE);
    {
      BinaryVisitor v(&c.bin, o, c.floatBits);
      hr = detail::WalkTemplate(*c.lookup, *t, values.data(), values.size(), &used, v);
    }
  } else {
    c.text += indent + o.templateName();
    if (!o.name().empty()) c.text += " " + o.name();
    c.text += " {\n";
    if (!t->members.empty()) c.text += indent + "  ";
    TextVisitor v(&c.text, o);
    hr = detail::WalkTemplate(*c.lookup, *t, values.data(), values.size(), &used, v);
    while (!c.text.empty() && c.text.back() == ' ') c.text.pop_back();
  }
  if (hr < 0) return hr;
  if (used != values.size()) return DXFILEERR_BADVALUE;
  for (const auto& ch : o.children())
    if ((hr = SaveObject(c, *ch, depth + 1)) < 0) return hr;
  if (c.binary)
    PutWord(&c.bin, detail::TOK_CBRACE);
  else
    c.text += indent + "}\n";
  return DXFILE_OK;
}

void CollectTemplates(const FnLookup& lookup, const std::string& name, std::vector<const Template*>* out,
                      std::set<std::string>* seen) {
  if (!seen->insert(name).second) return;
  const Template* t = lookup.Lookup(name);
  if (!t) return;
  for (const Member& m : t->members)
    if (m.prim == Prim::None) CollectTemplates(lookup, m.typeName, out, seen);
  out->push_back(t);
}

void CollectUsed(const WriteObject& o, std::set<std::string>* names) {
  if (!o.isReference()) names->insert(o.templateName());
  for (const auto& c : o.children()) CollectUsed(*c, names);
}

}  // namespace

HRESULT Writer::Save(SaveFormat format, std::vector<std::uint8_t>* out, int floatBits) const {
  if (!out || (floatBits != 32 && floatBits != 64)) return DXFILEERR_BADVALUE;
  out->clear();
  std::function<const Template*(const std::string&)> f = [this](const std::string& n) { return impl_->Find(n); };
  FnLookup lookup(f);
  bool binary = format == SaveFormat::Binary || format == SaveFormat::CompressedBinary;
  bool compressed = format == SaveFormat::CompressedBinary || format == SaveFormat::CompressedText;

  // Templates outside the standard set are declared in the file, dependencies first.
  std::set<std::string> used;
  for (const auto& o : objects_) CollectUsed(*o, &used);
  std::set<std::string> seen;
  std::vector<const Template*> decl;
  {
    const char* st = StandardTemplatesText();
    detail::Lexer lex(reinterpret_cast<const std::uint8_t*>(st) + 16, std::strlen(st) - 16, false, 32);
    detail::Token t;
    while (lex.Next(&t) >= 0 && t.type == detail::TOK_TEMPLATE) {
      Template tp;
      if (detail::ParseTemplate(lex, &tp) < 0) break;
      seen.insert(tp.name);
    }
  }
  for (const std::string& n : used) {
    if (!lookup.Lookup(n)) return DXFILEERR_NOTEMPLATE;
    CollectTemplates(lookup, n, &decl, &seen);
  }

  SaveContext c{&lookup, binary, floatBits, {}, {}};
  for (const Template* t : decl) {
    if (binary)
      detail::EncodeTemplateBinary(*t, &c.bin);
    else
      c.text += detail::EncodeTemplateText(*t) + "\n";
  }
  for (const auto& o : objects_) {
    HRESULT hr = SaveObject(c, *o, 0);
    if (hr < 0) return hr;
  }
  if (!binary) c.bin.assign(c.text.begin(), c.text.end());
  char header[17];
  std::snprintf(header, sizeof header, "xof 0303%s00%02d",
                compressed ? (binary ? "bzip" : "tzip") : (binary ? "bin " : "txt "), floatBits);
  out->assign(header, header + 16);
  if (!binary && !compressed) out->push_back('\n');
  if (compressed) {
    return detail::MsZipCompress(c.bin.data(), c.bin.size(), 16, out);
  }
  out->insert(out->end(), c.bin.begin(), c.bin.end());
  return DXFILE_OK;
}

namespace {

void CopyNode(const detail::Document& doc, const detail::DataNode& n, WriteObject& w) {
  for (const detail::Value& v : n.values) {
    if (v.str >= 0)
      w.String(doc.strings[static_cast<std::size_t>(v.str)]);
    else
      w.Float(v.num);
  }
  for (IDirectXFileObject* c : n.children) {
    if (auto* d = dynamic_cast<detail::DataNode*>(c)) {
      CopyNode(doc, *d, w.Add(d->templateName, d->name));
    } else if (auto* r = dynamic_cast<detail::RefNode*>(c)) {
      w.AddReference(r->name);
    }
  }
}

}  // namespace

HRESULT ConvertFile(const void* data, DWORD size, SaveFormat format, std::vector<std::uint8_t>* out, int floatBits) {
  if (!data || !out) return DXFILEERR_BADVALUE;
  auto* doc = new (std::nothrow) detail::Document;
  if (!doc) return DXFILEERR_BADALLOC;
  HRESULT hr = doc->Parse(static_cast<const std::uint8_t*>(data), size);
  if (hr >= 0) hr = doc->tailError;
  if (hr >= 0) {
    Writer w;
    for (const auto& [name, t] : doc->declared.all()) w.impl_->declared.Add(t);
    for (const detail::DataNode* n : doc->top) CopyNode(*doc, *n, w.Add(n->templateName, n->name));
    hr = w.Save(format, out, floatBits);
  }
  doc->Release();
  return hr;
}

HRESULT Writer::SaveFile(const char* path, SaveFormat format, int floatBits) const {
  std::vector<std::uint8_t> bytes;
  HRESULT hr = Save(format, &bytes, floatBits);
  if (hr < 0) return hr;
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return DXFILEERR_FILENOTFOUND;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  return ok ? DXFILE_OK : DXFILEERR_BADFILE;
}

}  // namespace xfile
