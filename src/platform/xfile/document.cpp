// Parsing a .X image into a tree of data objects, and the objects handed out for it.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "platform/xfile/document.h"

namespace xfile::detail {

namespace {

std::uint32_t ToU32(double d) {
  if (!(d == d)) return 0;
  if (d < 0) return d < -2147483648.0 ? 0x80000000u : static_cast<std::uint32_t>(static_cast<std::int64_t>(d));
  return d > 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(d);
}

class LayoutVisitor : public WalkVisitor {
 public:
  LayoutVisitor(std::vector<std::uint8_t>* out, const std::deque<std::string>& strings,
                std::vector<MemberSpan>* spans, std::vector<std::size_t>* stringSlots)
      : out_(out), strings_(strings), spans_(spans), stringSlots_(stringSlots) {}
  void Scalar(Prim p, const Value& v) override {
    switch (p) {
      case Prim::Word: case Prim::Sword: Put<std::uint16_t>(static_cast<std::uint16_t>(ToU32(v.num))); break;
      case Prim::Dword: case Prim::Sdword: Put<std::uint32_t>(ToU32(v.num)); break;
      case Prim::Float: Put<float>(static_cast<float>(std::isfinite(v.num) ? v.num : (v.num == v.num ? (v.num > 0 ? HUGE_VALF : -HUGE_VALF) : 0.0f))); break;
      case Prim::Double: Put<double>(v.num); break;
      case Prim::Char: case Prim::Uchar: Put<std::uint8_t>(static_cast<std::uint8_t>(ToU32(v.num))); break;
      case Prim::String: {
        const char* s = v.str >= 0 ? strings_[static_cast<std::size_t>(v.str)].c_str() : "";
        stringSlots_->push_back(out_->size());
        Put<const char*>(s);
        break;
      }
      case Prim::None: break;
    }
  }
  void TopMemberBegin(const Member& m) override { begin_ = out_->size(); (void)m; }
  void TopMemberEnd(const Member& m) override { spans_->push_back({m.name, begin_, out_->size() - begin_}); }

 private:
  template <typename T>
  void Put(T v) {
    std::size_t at = out_->size();
    out_->resize(at + sizeof(T));
    std::memcpy(out_->data() + at, &v, sizeof(T));
  }
  std::vector<std::uint8_t>* out_;
  const std::deque<std::string>& strings_;
  std::vector<MemberSpan>* spans_;
  std::vector<std::size_t>* stringSlots_;
  std::size_t begin_ = 0;
};

}  // namespace

// --- DataNode ---

DWORD DataNode::AddRef() { return doc->AddRef(); }
DWORD DataNode::Release() { return doc->Release(); }

HRESULT CopyName(const std::string& name, char* buf, DWORD* len) {
  if (!len) return DXFILEERR_BADVALUE;
  DWORD need = static_cast<DWORD>(name.size() + 1);
  if (!buf) {
    *len = need;
    return DXFILE_OK;
  }
  if (*len < need) {
    *len = need;
    return DXFILEERR_BADVALUE;
  }
  std::memcpy(buf, name.c_str(), need);
  *len = need;
  return DXFILE_OK;
}

HRESULT DataNode::GetName(char* buf, DWORD* len) { return CopyName(name, buf, len); }
HRESULT DataNode::GetId(GUID* out) {
  if (!out) return DXFILEERR_BADVALUE;
  *out = id;
  return DXFILE_OK;
}

HRESULT DataNode::GetData(const char* member, DWORD* size, const void** data) {
  if (!size || !data) return DXFILEERR_BADVALUE;
  if (!member) {
    *size = static_cast<DWORD>(laid.size());
    *data = laid.data();
    return DXFILE_OK;
  }
  for (const MemberSpan& s : spans) {
    if (s.name == member) {
      *size = static_cast<DWORD>(s.size);
      *data = laid.data() + s.offset;
      return DXFILE_OK;
    }
  }
  return DXFILEERR_BADDATAREFERENCE;
}

HRESULT DataNode::GetType(const GUID** out) {
  if (!out) return DXFILEERR_BADVALUE;
  *out = &type;
  return DXFILE_OK;
}

HRESULT DataNode::GetNextObject(IDirectXFileObject** child) {
  if (!child) return DXFILEERR_BADVALUE;
  if (cursor >= children.size()) return DXFILEERR_NOMOREOBJECTS;
  *child = children[cursor++];
  (*child)->AddRef();
  return DXFILE_OK;
}

// --- RefNode ---

DWORD RefNode::AddRef() { return doc->AddRef(); }
DWORD RefNode::Release() { return doc->Release(); }
HRESULT RefNode::GetName(char* buf, DWORD* len) { return CopyName(name, buf, len); }
HRESULT RefNode::GetId(GUID* out) {
  if (!out) return DXFILEERR_BADVALUE;
  *out = id;
  return DXFILE_OK;
}
HRESULT RefNode::Resolve(IDirectXFileData** out) {
  if (!out) return DXFILEERR_BADVALUE;
  DataNode* n = nullptr;
  if (!name.empty())
    n = doc->FindByName(name);
  else if (hasId)
    n = doc->FindById(id);
  if (!n) return DXFILEERR_BADDATAREFERENCE;
  n->AddRef();
  *out = n;
  return DXFILE_OK;
}

// --- Document ---

DWORD Document::AddRef() { return ++refs; }
DWORD Document::Release() {
  DWORD r = --refs;
  if (r == 0) delete this;
  return r;
}

DataNode* Document::FindByName(const std::string& n) {
  for (const auto& d : nodes)
    if (d->name == n) return d.get();
  return nullptr;
}

DataNode* Document::FindById(const GUID& g) {
  for (const auto& d : nodes)
    if (d->hasId && d->id == g) return d.get();
  return nullptr;
}

const Template* Document::FindTemplate(std::string_view n) const {
  if (const Template* t = declared.Find(n)) return t;
  if (const Template* t = registered.Find(n)) return t;
  if (const Template* t = BuiltinTemplates().Find(n)) return t;
  // Some exporters spell a standard name differently ("TextureFileName").
  if (const Template* t = FindTemplateNoCase(declared, n)) return t;
  if (const Template* t = FindTemplateNoCase(registered, n)) return t;
  return FindTemplateNoCase(BuiltinTemplates(), n);
}

namespace {

constexpr int kMaxDepth = 64;

class Parser {
 public:
  Parser(Document* doc, Lexer& lex) : doc_(doc), lex_(lex) {}

  HRESULT TopLevel() {
    for (;;) {
      Token t;
      HRESULT hr = lex_.Next(&t);
      if (hr < 0) return hr;
      if (t.type == TOK_EOF) return DXFILE_OK;
      if (t.type == TOK_TEMPLATE) {
        Template tp;
        if ((hr = ParseTemplate(lex_, &tp)) < 0) return hr;
        doc_->declared.Add(std::move(tp));
        continue;
      }
      if (t.type == TOK_NAME) {
        DataNode* n = nullptr;
        if ((hr = Object(t.text, 0, &n)) < 0) return hr;
        doc_->top.push_back(n);
        continue;
      }
      // Stray separators and closing braces between objects (some exporters write an
      // unbalanced "}") are tolerated.
      if (t.type == TOK_SEMICOLON || t.type == TOK_COMMA || t.type == TOK_CBRACE) continue;
      return DXFILEERR_PARSEERROR;
    }
  }

 private:
  HRESULT Object(std::string_view templateName, int depth, DataNode** out) {
    if (depth > kMaxDepth) return DXFILEERR_BADOBJECT;
    auto node = std::make_unique<DataNode>();
    node->doc = doc_;
    node->templateName = std::string(templateName);
    Token t;
    HRESULT hr = lex_.Next(&t);
    if (hr < 0) return hr;
    if (t.type == TOK_NAME) {
      node->name = std::string(t.text);
      if ((hr = lex_.Next(&t)) < 0) return hr;
    }
    if (t.type == TOK_GUID) {
      node->id = t.guid;
      node->hasId = true;
      if ((hr = lex_.Next(&t)) < 0) return hr;
    }
    if (t.type != TOK_OBRACE) return DXFILEERR_PARSEERROR;
    DataNode* self = node.get();
    doc_->nodes.push_back(std::move(node));
    for (;;) {
      if ((hr = lex_.Next(&t)) < 0) return hr;
      switch (t.type) {
        case TOK_CBRACE:
          *out = self;
          return Layout(self);
        case TOK_INTEGER:
          self->values.push_back({lex_.binary() ? static_cast<double>(t.integer) : t.number, -1});
          break;
        case TOK_TEXT_FLOAT:
          self->values.push_back({t.number, -1});
          break;
        case TOK_INTEGER_LIST:
          self->values.reserve(self->values.size() + t.count);
          for (std::uint32_t i = 0; i < t.count; ++i) {
            const std::uint8_t* p = t.list + 4 * i;
            std::uint32_t v = static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) |
                              (static_cast<std::uint32_t>(p[3]) << 24);
            self->values.push_back({static_cast<double>(v), -1});
          }
          break;
        case TOK_FLOAT_LIST:
          self->values.reserve(self->values.size() + t.count);
          for (std::uint32_t i = 0; i < t.count; ++i) {
            double d;
            if (lex_.floatBits() == 64) {
              std::memcpy(&d, t.list + 8 * i, 8);
            } else {
              float f;
              std::memcpy(&f, t.list + 4 * i, 4);
              d = f;
            }
            self->values.push_back({d, -1});
          }
          break;
        case TOK_STRING:
          doc_->strings.emplace_back(t.text);
          self->values.push_back({0, static_cast<int>(doc_->strings.size() - 1)});
          break;
        case TOK_GUID:
          // An id at the start of the body (text form) belongs to the object.
          if (!self->hasId && self->values.empty() && self->children.empty()) {
            self->id = t.guid;
            self->hasId = true;
          }
          break;
        case TOK_COMMA:
        case TOK_SEMICOLON:
          break;
        case TOK_OBRACE: {
          auto ref = std::make_unique<RefNode>();
          ref->doc = doc_;
          if ((hr = lex_.Next(&t)) < 0) return hr;
          if (t.type == TOK_NAME) {
            ref->name = std::string(t.text);
            if ((hr = lex_.Next(&t)) < 0) return hr;
          }
          if (t.type == TOK_GUID) {
            ref->id = t.guid;
            ref->hasId = true;
            if ((hr = lex_.Next(&t)) < 0) return hr;
          }
          if (t.type != TOK_CBRACE || (ref->name.empty() && !ref->hasId)) return DXFILEERR_PARSEERROR;
          self->children.push_back(ref.get());
          doc_->refs_.push_back(std::move(ref));
          break;
        }
        case TOK_NAME: {
          DataNode* child = nullptr;
          if ((hr = Object(t.text, depth + 1, &child)) < 0) return hr;
          self->children.push_back(child);
          break;
        }
        default:
          return DXFILEERR_PARSEERROR;
      }
    }
  }

  HRESULT Layout(DataNode* n) {
    const Template* t = doc_->FindTemplate(n->templateName);
    if (!t) return DXFILE_OK;  // unknown template: no typed data, children still usable
    n->type = t->guid;
    LayoutVisitor v(&n->laid, doc_->strings, &n->spans, &n->stringSlots);
    std::size_t used = 0;
    return WalkTemplate(*doc_, *t, n->values.data(), n->values.size(), &used, v);
  }

  Document* doc_;
  Lexer& lex_;
};

}  // namespace

HRESULT Document::Parse(const std::uint8_t* data, std::size_t size) {
  Header h;
  HRESULT hr = ParseHeader(data, size, &h);
  if (hr < 0) return hr;
  const std::uint8_t* body = data + 16;
  std::size_t bodySize = size - 16;
  if (h.compressed) {
    if ((hr = MsZipDecompress(body, bodySize, &inflated)) < 0) return hr;
    body = inflated.data();
    bodySize = inflated.size();
  }
  Lexer lex(body, bodySize, h.binary, h.floatBits);
  Parser p(this, lex);
  tailError = p.TopLevel();
  return DXFILE_OK;
}


}  // namespace xfile::detail
