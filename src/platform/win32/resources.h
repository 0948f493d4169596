// Embedded resources: (type, numeric id) -> bytes linked into the executable by
// tools/resbundle. Data is read in place and never copied.
#pragma once

#include "platform/win32/win32_types.h"

namespace win32 {

struct ResourceEntry {
  const char* type;          // "MediaData", "CustomData", "SOUND", or "#n" for numeric types
  std::uint64_t id;
  const unsigned char* data;
  std::uint64_t size;
};
using HRSRC = const ResourceEntry*;

// name: MAKEINTRESOURCEA(id) or "#id". type: a name (case-insensitive) or MAKEINTRESOURCEA(n)
// (RT_BITMAP, RT_ICON, RT_DIALOG, ...). Missing -> nullptr.
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC res);
LPVOID LockResource(HGLOBAL loaded);
DWORD SizeofResource(HMODULE module, HRSRC res);
BOOL FreeResource(HGLOBAL loaded);

// The module handle of the executable (resources live in it).
HINSTANCE GetModuleHandleA(LPCSTR name);

// Convenience for the program's code: pointer and size of a resource, or {nullptr, 0}.
struct ResourceBytes {
  const unsigned char* data = nullptr;
  DWORD size = 0;
};
ResourceBytes FindResourceBytes(LPCSTR type, unsigned id);

// How many resources are embedded (0 when the executable carries no bundle).
std::size_t ResourceCount();
const ResourceEntry* ResourceAt(std::size_t index);

}  // namespace win32
