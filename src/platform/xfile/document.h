// The parsed form of one .X image: every object of the file, owned by one reference-counted
// document that all handed-out objects keep alive.
#pragma once

#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/xfile/xfile.h"
#include "platform/xfile/xfile_internal.h"

namespace xfile::detail {

struct Document;

struct MemberSpan {
  std::string name;
  std::size_t offset, size;
};

class DataNode final : public IDirectXFileData {
 public:
  DWORD AddRef() override;
  DWORD Release() override;
  HRESULT GetName(char* buf, DWORD* len) override;
  HRESULT GetId(GUID* id) override;
  const char* Name() const override { return name.c_str(); }
  HRESULT GetData(const char* member, DWORD* size, const void** data) override;
  HRESULT GetType(const GUID** type) override;
  HRESULT GetNextObject(IDirectXFileObject** child) override;
  const char* TemplateName() const override { return templateName.c_str(); }
  bool HoldsStringAt(DWORD offset) const override {
    return std::binary_search(stringSlots.begin(), stringSlots.end(), static_cast<std::size_t>(offset));
  }
  ~DataNode() override = default;

  Document* doc = nullptr;
  std::string templateName, name;
  GUID id{};
  bool hasId = false;
  GUID type = GUID_NULL;
  std::vector<Value> values;
  std::vector<std::uint8_t> laid;
  std::vector<MemberSpan> spans;
  std::vector<std::size_t> stringSlots;  // offsets of string pointers in laid
  std::vector<IDirectXFileObject*> children;
  std::size_t cursor = 0;
};

class RefNode final : public IDirectXFileDataReference {
 public:
  DWORD AddRef() override;
  DWORD Release() override;
  HRESULT GetName(char* buf, DWORD* len) override;
  HRESULT GetId(GUID* id) override;
  const char* Name() const override { return name.c_str(); }
  HRESULT Resolve(IDirectXFileData** data) override;
  ~RefNode() override = default;

  Document* doc = nullptr;
  std::string name;
  GUID id{};
  bool hasId = false;
};

struct Document final : public TemplateLookup {
  DWORD AddRef();
  DWORD Release();
  // Parses a whole image; header and decompression errors are returned, a parse error
  // later in the body is kept in tailError after the objects before it.
  HRESULT Parse(const std::uint8_t* data, std::size_t size);
  DataNode* FindByName(const std::string& name);
  DataNode* FindById(const GUID& id);
  // File declarations first, then the registered templates, then the built-in set.
  const Template* FindTemplate(std::string_view name) const;
  const Template* Lookup(std::string_view name) const override { return FindTemplate(name); }

  std::atomic<DWORD> refs{1};
  TemplateSet registered;  // copied from the file object at creation
  TemplateSet declared;
  std::vector<std::uint8_t> inflated;
  std::deque<std::string> strings;
  std::vector<std::unique_ptr<DataNode>> nodes;
  std::vector<std::unique_ptr<RefNode>> refs_;
  std::vector<DataNode*> top;
  HRESULT tailError = DXFILE_OK;
};

HRESULT CopyName(const std::string& name, char* buf, DWORD* len);

}  // namespace xfile::detail
