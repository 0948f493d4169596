#include "platform/win32/resources.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

// Defined by the assembly that tools/resbundle generates; weak so that programs and
// tests linked without a bundle simply see no resources.
extern "C" {
extern const win32::ResourceEntry hoardel_resource_table[] __attribute__((weak));
extern const std::uint64_t hoardel_resource_count __attribute__((weak));
}

namespace win32 {

namespace {

struct ModuleObjectTag {};
ModuleObjectTag g_module;

// "#123" or MAKEINTRESOURCE(123) -> 123; a plain name -> -1.
long NumericId(LPCSTR p) {
  if (p == nullptr) return -1;
  if (IS_INTRESOURCE(p)) return static_cast<long>(reinterpret_cast<std::uintptr_t>(p));
  if (p[0] != '#' || p[1] == '\0') return -1;
  char* end = nullptr;
  long v = std::strtol(p + 1, &end, 10);
  if (*end != '\0' || v < 0 || v > 0xFFFF) return -1;
  return v;
}

bool TypeMatches(const char* entryType, LPCSTR type) {
  long wantNumber = NumericId(type);
  long haveNumber = NumericId(entryType);
  if (wantNumber >= 0 || haveNumber >= 0) return wantNumber == haveNumber;
  return strcasecmp(entryType, type) == 0;
}

}  // namespace

std::size_t ResourceCount() {
  if (&hoardel_resource_count == nullptr || hoardel_resource_table == nullptr) return 0;
  return static_cast<std::size_t>(hoardel_resource_count);
}

const ResourceEntry* ResourceAt(std::size_t index) {
  return index < ResourceCount() ? &hoardel_resource_table[index] : nullptr;
}

HRSRC FindResourceA(HMODULE, LPCSTR name, LPCSTR type) {
  long id = NumericId(name);
  if (id < 0 || type == nullptr) return nullptr;
  std::size_t n = ResourceCount();
  for (std::size_t i = 0; i < n; ++i) {
    const ResourceEntry& e = hoardel_resource_table[i];
    if (e.id == static_cast<std::uint64_t>(id) && TypeMatches(e.type, type)) return &e;
  }
  return nullptr;
}

HGLOBAL LoadResource(HMODULE, HRSRC res) { return res ? res->data : nullptr; }

LPVOID LockResource(HGLOBAL loaded) { return const_cast<void*>(loaded); }

DWORD SizeofResource(HMODULE, HRSRC res) { return res ? static_cast<DWORD>(res->size) : 0; }

BOOL FreeResource(HGLOBAL) { return FALSE; }

HINSTANCE GetModuleHandleA(LPCSTR) { return reinterpret_cast<HINSTANCE>(&g_module); }

ResourceBytes FindResourceBytes(LPCSTR type, unsigned id) {
  HRSRC r = FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
  if (!r) return {};
  return {static_cast<const unsigned char*>(LockResource(LoadResource(nullptr, r))),
          SizeofResource(nullptr, r)};
}

}  // namespace win32
