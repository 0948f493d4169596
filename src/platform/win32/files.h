// Temporary folder, unique temporary files, file deletion and run-time library loading.
#pragma once

#include "platform/win32/win32_types.h"

namespace win32 {

// The temporary folder with a trailing '/': $TMPDIR when set and usable, else "/tmp/".
// Returns the length written (without the NUL), or the size needed when the buffer is
// too small, or 0 on failure.
DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer);

// unique == 0: creates a new file "<path>/<first 3 chars of prefix><hex>.tmp" exclusively
// with mode 0600 and returns its number; unique != 0: only forms the name. buffer holds at
// least MAX_PATH chars. Returns 0 on failure.
UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR buffer);

BOOL DeleteFileA(LPCSTR path);

// dlopen/dlsym/dlclose. LoadLibraryA refuses relative names that would search the
// library path implicitly only when they contain no '/': those go through the normal
// search, as on Windows.
HMODULE LoadLibraryA(LPCSTR path);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);

}  // namespace win32
