#include "platform/win32/files.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace win32 {

DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer) {
  std::string dir = "/tmp/";
  if (const char* t = std::getenv("TMPDIR"); t && *t) {
    struct stat st{};
    if (stat(t, &st) == 0 && S_ISDIR(st.st_mode)) {
      dir = t;
      if (dir.back() != '/') dir += '/';
    }
  }
  if (dir.size() + 1 > bufferLength || buffer == nullptr) return static_cast<DWORD>(dir.size() + 1);
  std::memcpy(buffer, dir.c_str(), dir.size() + 1);
  return static_cast<DWORD>(dir.size());
}

UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR buffer) {
  if (!path || !buffer) return 0;
  std::string base(*path ? path : ".");
  if (base.back() != '/') base += '/';
  std::string pre = prefix ? std::string(prefix).substr(0, 3) : std::string();
  auto nameFor = [&](UINT n) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", n & 0xFFFFu);
    std::string name;
    name.reserve(base.size() + pre.size() + 16);
    name.append(base).append(pre).append(hex).append(".tmp");
    return name;
  };
  if (unique != 0) {
    std::string name = nameFor(unique);
    if (name.size() >= MAX_PATH) return 0;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return unique;
  }
  // Start at a time-and-pid derived number and walk until an exclusive create succeeds.
  UINT start = static_cast<UINT>((static_cast<unsigned long>(time(nullptr)) ^ (getpid() * 2654435761u)) & 0xFFFFu);
  for (UINT i = 0; i < 0x10000; ++i) {
    UINT n = ((start + i) & 0xFFFFu);
    if (n == 0) continue;
    std::string name = nameFor(n);
    if (name.size() >= MAX_PATH) return 0;
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
      close(fd);
      std::memcpy(buffer, name.c_str(), name.size() + 1);
      return n;
    }
    if (errno != EEXIST) return 0;
  }
  return 0;
}

BOOL DeleteFileA(LPCSTR path) { return path && unlink(path) == 0 ? TRUE : FALSE; }

HMODULE LoadLibraryA(LPCSTR path) {
  if (!path || !*path) return nullptr;
  return static_cast<HMODULE>(dlopen(path, RTLD_NOW | RTLD_LOCAL));
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (!module || !name) return nullptr;
  void* p = dlsym(static_cast<void*>(module), name);
  FARPROC f = nullptr;
  static_assert(sizeof f == sizeof p);
  std::memcpy(&f, &p, sizeof f);
  return f;
}

BOOL FreeLibrary(HMODULE module) { return module && dlclose(static_cast<void*>(module)) == 0 ? TRUE : FALSE; }

}  // namespace win32
