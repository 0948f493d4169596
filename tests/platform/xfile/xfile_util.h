// Helpers of the .X service tests: reading files and flattening a parsed file.
#pragma once

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/xfile/document.h"
#include "platform/xfile/xfile.h"

namespace xfile_test {

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline std::string TestData(const std::string& name) { return std::string(HOARDEL_TESTDATA_DIR) + "/x/" + name; }

// One line per object: depth, template, name, type id, laid-out data (strings by value).
struct Flat {
  std::vector<std::string> lines;
  xfile::HRESULT end = 0;
};

inline void FlattenObject(xfile::IDirectXFileData* d, int depth, std::vector<std::string>* out) {
  std::string line = std::to_string(depth) + " " + d->TemplateName() + " '" + d->Name() + "' ";
  const xfile::GUID* type = nullptr;
  d->GetType(&type);
  char g[40];
  std::snprintf(g, sizeof g, "%08X ", type->Data1);
  line += g;
  xfile::DWORD size = 0;
  const void* data = nullptr;
  d->GetData(nullptr, &size, &data);
  line += std::to_string(size) + ":";
  // Data bytes, with string pointers replaced by the strings they point to.
  const auto* b = static_cast<const std::uint8_t*>(data);
  const auto* node = dynamic_cast<xfile::detail::DataNode*>(d);
  std::size_t slot = 0;
  for (xfile::DWORD i = 0; i < size;) {
    if (node && slot < node->stringSlots.size() && node->stringSlots[slot] == i) {
      const char* s;
      std::memcpy(&s, b + i, sizeof s);
      line += std::string("\"") + s + "\"";
      i += sizeof s;
      ++slot;
      continue;
    }
    char h[3];
    std::snprintf(h, sizeof h, "%02x", b[i]);
    line += h;
    ++i;
  }
  out->push_back(line);
  xfile::IDirectXFileObject* c = nullptr;
  while (d->GetNextObject(&c) >= 0) {
    if (auto* cd = c->AsData()) {
      FlattenObject(cd, depth + 1, out);
    } else if (auto* r = c->AsReference()) {
      out->push_back(std::to_string(depth + 1) + " ref " + r->Name());
    }
    c->Release();
  }
}

inline Flat FlattenMemory(const std::vector<std::uint8_t>& bytes) {
  Flat f;
  xfile::IDirectXFile* file = nullptr;
  xfile::DirectXFileCreate(&file);
  xfile::DWORD n = 0;
  const xfile::BYTE* t = xfile::StandardTemplates(&n);
  file->RegisterTemplates(t, n);
  xfile::DXFILELOADMEMORY mem{bytes.data(), static_cast<xfile::DWORD>(bytes.size())};
  xfile::IDirectXFileEnumObject* en = nullptr;
  f.end = file->CreateEnumObject(&mem, xfile::DXFILELOAD_FROMMEMORY, &en);
  if (f.end >= 0) {
    xfile::IDirectXFileData* d = nullptr;
    while ((f.end = en->GetNextDataObject(&d)) >= 0) {
      FlattenObject(d, 0, &f.lines);
      d->Release();
    }
    en->Release();
  }
  file->Release();
  return f;
}

}  // namespace xfile_test
