// DirectXFileCreate: the file object with its registered templates, and the enumerator.
#include <condition_variable>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xfile/document.h"

namespace xfile {

namespace {

using detail::Document;

class EnumObject final : public IDirectXFileEnumObject {
 public:
  explicit EnumObject(Document* doc) : doc_(doc) {}
  DWORD AddRef() override { return ++refs_; }
  DWORD Release() override {
    DWORD r = --refs_;
    if (r == 0) delete this;
    return r;
  }
  HRESULT GetNextDataObject(IDirectXFileData** out) override {
    if (!out) return DXFILEERR_BADVALUE;
    if (next_ < doc_->top.size()) {
      *out = doc_->top[next_++];
      (*out)->AddRef();
      return DXFILE_OK;
    }
    return doc_->tailError < 0 ? doc_->tailError : DXFILEERR_NOMOREOBJECTS;
  }
  HRESULT GetDataObjectByName(const char* name, IDirectXFileData** out) override {
    if (!out || !name) return DXFILEERR_BADVALUE;
    for (auto* n : doc_->top) {
      if (n->name == name) {
        n->AddRef();
        *out = n;
        return DXFILE_OK;
      }
    }
    return DXFILEERR_NOTFOUND;
  }
  HRESULT GetDataObjectById(REFGUID id, IDirectXFileData** out) override {
    if (!out) return DXFILEERR_BADVALUE;
    for (auto* n : doc_->top) {
      if (n->hasId && n->id == id) {
        n->AddRef();
        *out = n;
        return DXFILE_OK;
      }
    }
    return DXFILEERR_NOTFOUND;
  }

 private:
  ~EnumObject() override { doc_->Release(); }
  Document* doc_;
  std::size_t next_ = 0;
  DWORD refs_ = 1;
};

bool ReadWholeFile(const char* path, std::vector<std::uint8_t>* out) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  std::uint8_t buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

// The last text registered on a file object without templates, and the set it gave.
struct FirstRegistration {
  std::mutex mutex;
  bool valid = false;
  std::string text;
  detail::TemplateSet result;
};
FirstRegistration g_firstRegistration;

// Documents parsed ahead, each with the registered text and the bytes it was parsed from.
struct PreparedDocument {
  std::string registered;
  std::vector<std::uint8_t> bytes;
  bool parsing = true;
  Document* doc = nullptr;  // null once taken, or when the parse failed
};
struct PreparedDocuments {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::shared_ptr<PreparedDocument>> list;
};
PreparedDocuments& Prepared() {
  static auto* prepared = new PreparedDocuments();
  return *prepared;
}

// The parsed document of these bytes under this registration, if one was prepared; waits
// while it is being parsed. Null when there is none (the caller parses).
Document* TakePreparedDocument(const std::string& registered, const std::uint8_t* data, std::size_t size) {
  PreparedDocuments& p = Prepared();
  std::unique_lock<std::mutex> lock(p.mutex);
  for (auto it = p.list.begin(); it != p.list.end(); ++it) {
    std::shared_ptr<PreparedDocument> d = *it;
    if (d->registered != registered || d->bytes.size() != size || std::memcmp(d->bytes.data(), data, size) != 0)
      continue;
    p.changed.wait(lock, [&d] { return !d->parsing; });
    Document* doc = d->doc;
    d->doc = nullptr;
    p.list.erase(std::find(p.list.begin(), p.list.end(), d));
    return doc;
  }
  return nullptr;
}

class FileObject final : public IDirectXFile {
 public:
  DWORD AddRef() override { return ++refs_; }
  DWORD Release() override {
    DWORD r = --refs_;
    if (r == 0) delete this;
    return r;
  }

  HRESULT RegisterTemplates(const void* data, DWORD size) override {
    if (!data) return DXFILEERR_BADVALUE;
    const std::string_view text(static_cast<const char*>(data), size);
    // Every model load registers the same standard text on a fresh object: parse it once.
    const bool fresh = templates_.size() == 0;
    if (fresh) {
      std::lock_guard<std::mutex> lock(g_firstRegistration.mutex);
      if (g_firstRegistration.valid && g_firstRegistration.text == text) {
        templates_ = g_firstRegistration.result;
        NoteRegistered(text);
        return DXFILE_OK;
      }
    }
    Document* doc = new (std::nothrow) Document;
    if (!doc) return DXFILEERR_BADALLOC;
    doc->registered = templates_;
    HRESULT hr = doc->Parse(static_cast<const std::uint8_t*>(data), size);
    if (hr >= 0) hr = doc->tailError;
    if (hr >= 0)
      for (const auto& [name, t] : doc->declared.all()) templates_.Add(t);
    doc->Release();
    if (hr >= 0) NoteRegistered(text);
    if (fresh && hr == DXFILE_OK) {
      std::lock_guard<std::mutex> lock(g_firstRegistration.mutex);
      g_firstRegistration.text.assign(text);
      g_firstRegistration.result = templates_;
      g_firstRegistration.valid = true;
    }
    return hr;
  }

  HRESULT CreateEnumObject(const void* source, DWORD options, IDirectXFileEnumObject** out) override {
    if (!out || !source) return DXFILEERR_BADVALUE;
    *out = nullptr;
    std::vector<std::uint8_t> fileBytes;
    const std::uint8_t* data;
    std::size_t size;
    if (options == DXFILELOAD_FROMMEMORY) {
      const auto* m = static_cast<const DXFILELOADMEMORY*>(source);
      if (!m->lpMemory) return DXFILEERR_BADVALUE;
      data = static_cast<const std::uint8_t*>(m->lpMemory);
      size = m->dSize;
    } else if (options == DXFILELOAD_FROMFILE) {
      if (!ReadWholeFile(static_cast<const char*>(source), &fileBytes)) return DXFILEERR_FILENOTFOUND;
      data = fileBytes.data();
      size = fileBytes.size();
    } else {
      return DXFILEERR_BADVALUE;
    }
    Document* doc = options == DXFILELOAD_FROMMEMORY ? TakePreparedDocument(registered_, data, size) : nullptr;
    if (!doc) {
      doc = new (std::nothrow) Document;
      if (!doc) return DXFILEERR_BADALLOC;
      doc->registered = templates_;
      const HRESULT hr = doc->Parse(data, size);
      if (hr < 0) {
        doc->Release();
        return hr;
      }
    }
    *out = new EnumObject(doc);
    return DXFILE_OK;
  }

  // Parses into a document for TakePreparedDocument (the file object registered `registered`).
  Document* ParseAhead(const std::uint8_t* data, std::size_t size) {
    Document* doc = new (std::nothrow) Document;
    if (!doc) return nullptr;
    doc->registered = templates_;
    if (doc->Parse(data, size) < 0) {
      doc->Release();
      return nullptr;
    }
    return doc;
  }
  const std::string& Registered() const { return registered_; }

 private:
  ~FileObject() override = default;
  // Every text registered so far, each behind its length: what a prepared document must match.
  void NoteRegistered(std::string_view text) {
    registered_ += std::to_string(text.size());
    registered_ += ':';
    registered_ += text;
  }
  detail::TemplateSet templates_;
  std::string registered_;
  DWORD refs_ = 1;
};

}  // namespace

HRESULT DirectXFileCreate(IDirectXFile** out) {
  if (!out) return DXFILEERR_BADVALUE;
  *out = new (std::nothrow) FileObject;
  return *out ? DXFILE_OK : DXFILEERR_BADALLOC;
}

void PrepareDocumentAhead(const void* templates, DWORD templatesSize, const void* data, DWORD size) {
  if (!templates || !data || size == 0) return;
  FileObject* file = new (std::nothrow) FileObject;
  if (!file) return;
  if (file->RegisterTemplates(templates, templatesSize) < 0) {
    file->Release();
    return;
  }
  auto entry = std::make_shared<PreparedDocument>();
  entry->registered = file->Registered();
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  entry->bytes.assign(bytes, bytes + size);
  PreparedDocuments& p = Prepared();
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.list.push_back(entry);
  }
  Document* doc = file->ParseAhead(bytes, size);
  file->Release();
  std::lock_guard<std::mutex> lock(p.mutex);
  if (std::find(p.list.begin(), p.list.end(), entry) == p.list.end()) {
    // Dropped while it was parsed.
    if (doc) doc->Release();
    doc = nullptr;
  }
  entry->doc = doc;
  entry->parsing = false;
  p.changed.notify_all();
}

void DropPreparedDocuments() {
  PreparedDocuments& p = Prepared();
  std::lock_guard<std::mutex> lock(p.mutex);
  for (const auto& d : p.list)
    if (d->doc && !d->parsing) {
      d->doc->Release();
      d->doc = nullptr;
    }
  p.list.clear();
}

}  // namespace xfile
