// Internals shared by the .X reader and writer: tokens, templates, the template walk.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xfile/xfile.h"

namespace xfile::detail {

// Binary token ids; the text lexer produces the same ids.
enum Tok : std::uint16_t {
  TOK_NONE = 0,
  TOK_NAME = 1,
  TOK_STRING = 2,
  TOK_INTEGER = 3,
  TOK_GUID = 5,
  TOK_INTEGER_LIST = 6,
  TOK_FLOAT_LIST = 7,
  TOK_OBRACE = 10,
  TOK_CBRACE = 11,
  TOK_OPAREN = 12,
  TOK_CPAREN = 13,
  TOK_OBRACKET = 14,
  TOK_CBRACKET = 15,
  TOK_OANGLE = 16,
  TOK_CANGLE = 17,
  TOK_DOT = 18,
  TOK_COMMA = 19,
  TOK_SEMICOLON = 20,
  TOK_TEMPLATE = 31,
  TOK_WORD = 40,
  TOK_DWORD = 41,
  TOK_FLOAT = 42,
  TOK_DOUBLE = 43,
  TOK_CHAR = 44,
  TOK_UCHAR = 45,
  TOK_SWORD = 46,
  TOK_SDWORD = 47,
  TOK_VOID = 48,
  TOK_LPSTR = 49,
  TOK_UNICODE = 50,
  TOK_CSTRING = 51,
  TOK_ARRAY = 52,
  // Text only: a single floating-point number.
  TOK_TEXT_FLOAT = 1000,
  TOK_EOF = 1001,
};

struct Token {
  Tok type = TOK_NONE;
  std::string_view text;     // NAME, STRING
  std::uint32_t integer = 0;  // INTEGER
  double number = 0;          // TEXT_FLOAT
  GUID guid{};                // GUID
  const std::uint8_t* list = nullptr;  // INTEGER_LIST / FLOAT_LIST payload (binary)
  std::uint32_t count = 0;             // list element count
};

// Reads tokens from text or binary .X bodies (after the 16-byte header). Never reads
// past the end; a malformed token yields an error code.
class Lexer {
 public:
  Lexer(const std::uint8_t* data, std::size_t size, bool binary, int floatBits);
  HRESULT Next(Token* t);
  HRESULT Peek(Token* t);
  bool binary() const { return binary_; }
  int floatBits() const { return floatBits_; }

 private:
  HRESULT ReadText(Token* t);
  HRESULT ReadBinary(Token* t);
  const std::uint8_t* p_;
  const std::uint8_t* end_;
  bool binary_;
  int floatBits_;
  bool peeked_ = false;
  HRESULT peekResult_ = 0;
  Token peek_;
};

enum class Prim : std::uint8_t { None, Word, Dword, Float, Double, Char, Uchar, Sword, Sdword, String };

struct Dim {
  std::uint32_t fixed = 0;
  std::string member;  // when not empty, the size is the value of this earlier member
};

struct Member {
  Prim prim = Prim::None;
  std::string typeName;  // template name when prim is None
  std::string name;
  std::vector<Dim> dims;  // empty: not an array
};

struct Template {
  std::string name;
  GUID guid{};
  std::vector<Member> members;
  enum class Kind { Closed, Open, Restricted } kind = Kind::Closed;
  std::vector<std::string> restrictions;
};

class TemplateLookup {
 public:
  virtual ~TemplateLookup() = default;
  virtual const Template* Lookup(std::string_view name) const = 0;
};

// Copies share their templates until one of them adds one (every document starts from a
// copy of its file object's set). Add keeps earlier pointers of an unshared set valid.
class TemplateSet : public TemplateLookup {
 public:
  using Map = std::map<std::string, Template, std::less<>>;
  const Template* Lookup(std::string_view name) const override { return Find(name); }
  void Add(Template t);
  const Template* Find(std::string_view name) const;
  const Template* FindByGuid(const GUID& g) const;
  std::size_t size() const { return templates_ ? templates_->size() : 0; }
  const Map& all() const;

 private:
  std::shared_ptr<Map> templates_;
};

// Parses one template declaration after the TEMPLATE token.
HRESULT ParseTemplate(Lexer& lex, Template* out);

// Scalars of a data object, flattened in file order.
struct Value {
  double num = 0;
  int str = -1;  // index into the owner's strings, or -1
};

// Events of walking a template over flat values.
class WalkVisitor {
 public:
  virtual ~WalkVisitor() = default;
  // A scalar member value (prim is never None).
  virtual void Scalar(Prim prim, const Value& v) = 0;
  // The end of a member that is not an array (text: ';').
  virtual void MemberEnd() {}
  // Between array elements (text: ',').
  virtual void ArraySeparator() {}
  // The end of an array member (text: ';').
  virtual void ArrayEnd() {}
  // Entering/leaving a top-level member (depth 0), for member tables.
  virtual void TopMemberBegin(const Member&) {}
  virtual void TopMemberEnd(const Member&) {}
};

// Walks template t over values[0..count); *used receives the values consumed. Fails with
// DXFILEERR_NOTEMPLATE for an unknown member type, DXFILEERR_BADARRAYSIZE for a size that
// does not fit the remaining values, DXFILEERR_NOMOREDATA when values run out.
HRESULT WalkTemplate(const TemplateLookup& set, const Template& t, const Value* values, std::size_t count,
                     std::size_t* used, WalkVisitor& visitor);

std::size_t PrimSize(Prim p);

// Header of a .X image.
struct Header {
  bool binary = false;
  bool compressed = false;
  int floatBits = 32;
};
HRESULT ParseHeader(const std::uint8_t* data, std::size_t size, Header* h);

// MSZIP: the body after the header is a DWORD total size (header included) and blocks of
// (WORD uncompressed size, WORD compressed size, "CK", raw deflate with the previous
// block as dictionary).
HRESULT MsZipDecompress(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>* out);
// Compresses body (the bytes after a 16-byte header); headerSize is counted in the total.
HRESULT MsZipCompress(const std::uint8_t* body, std::size_t size, std::size_t headerSize,
                      std::vector<std::uint8_t>* out);

bool ParseGuidText(std::string_view s, GUID* g);
std::string GuidText(const GUID& g);

// Template declarations in binary tokens / text.
void EncodeTemplateBinary(const Template& t, std::vector<std::uint8_t>* out);
std::string EncodeTemplateText(const Template& t);
// Parses every template declaration of a text or binary body (data objects are skipped).
HRESULT ParseTemplatesOnly(const std::uint8_t* data, std::size_t size, TemplateSet* set);

// Case-insensitive lookup, for files that spell a template name differently.
const Template* FindTemplateNoCase(const TemplateSet& set, std::string_view name);

// The standard and extension templates, parsed once.
const TemplateSet& BuiltinTemplates();

}  // namespace xfile::detail
