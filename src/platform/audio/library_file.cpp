#include "platform/audio/library_file.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/win32/files.h"

namespace audiolib {

namespace {

constexpr char kStagingPrefix[] = ".bass.dll.";

std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string WithSlash(const std::string& folder) {
  if (folder.empty()) return std::string("./");
  return folder.back() == '/' ? folder : folder + '/';
}

unsigned StartNumber() {
  static unsigned salt = 0;
  salt += 0x9E37u;
  return (static_cast<unsigned>(time(nullptr)) ^ (static_cast<unsigned>(getpid()) * 2654435761u) ^ salt) & 0xFFFFu;
}

int OpenExclusive(const std::string& name) {
  return open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The name still refers to the file open on fd.
bool NameIsOurs(const char* path, int fd) {
  struct stat byName{}, byFd{};
  return lstat(path, &byName) == 0 && fstat(fd, &byFd) == 0 && SameFile(byName, byFd);
}

bool WriteAll(int fd, const unsigned char* p, std::size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

bool IsTempLibraryName(const char* name) {
  // "bas" + 1..4 upper-case hex digits + ".tmp"
  if (std::strncmp(name, "bas", 3) != 0) return false;
  const char* p = name + 3;
  int digits = 0;
  while ((*p >= '0' && *p <= '9') || (*p >= 'A' && *p <= 'F')) {
    ++p;
    ++digits;
  }
  return digits >= 1 && digits <= 4 && std::strcmp(p, ".tmp") == 0;
}

bool IsStagingName(const char* name) {
  return std::strncmp(name, kStagingPrefix, sizeof kStagingPrefix - 1) == 0 && name[sizeof kStagingPrefix - 1] != '\0';
}

// --- exit cleanup: plain data, so that the signal-safe path touches no library state ---
char gExitPath[PATH_MAX];
// Identity of the registered file, taken at registration: the descriptor itself may be closed
// by destructors that run before the atexit handler.
bool gExitHaveId = false;
dev_t gExitDev = 0;
ino_t gExitIno = 0;
std::once_flag gAtExitOnce;

void AtExitCleanup() { EmergencyRemoveLibraryFile(); }

}  // namespace

std::string PrivateTempFolder() {
  if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && x[0] == '/') {
    struct stat st{};
    if (stat(x, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0 &&
        access(x, W_OK | X_OK) == 0)
      return WithSlash(x);
  }
  char buf[win32::MAX_PATH + 1];
  win32::DWORD n = win32::GetTempPathA(sizeof buf, buf);
  if (n == 0 || n >= sizeof buf) return "/tmp/";
  return WithSlash(buf);
}

LibraryFile::~LibraryFile() {
  if (fd_ >= 0) close(fd_);
}

bool LibraryFile::CreateTemporary(const std::string& folder) {
  if (fd_ >= 0) return false;
  const std::string base = WithSlash(folder);
  const unsigned start = StartNumber();
  for (unsigned i = 0; i < 0x10000; ++i) {
    unsigned n = (start + i) & 0xFFFFu;
    if (n == 0) continue;
    char leaf[16];
    std::snprintf(leaf, sizeof leaf, "bas%X.tmp", n);
    std::string name = base + leaf;
    if (name.size() >= win32::MAX_PATH) return false;
    int fd = OpenExclusive(name);
    if (fd >= 0) {
      // Locked before a byte is written: an unlocked file that holds a library is stale.
      flock(fd, LOCK_EX | LOCK_NB);
      fd_ = fd;
      path_ = name;
      staging_.clear();
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool LibraryFile::CreateAt(const std::string& path) {
  if (fd_ >= 0 || path.empty() || path.back() == '/') return false;
  const std::string base = WithSlash(FolderOf(path));
  const unsigned start = StartNumber();
  for (unsigned i = 0; i < 256; ++i) {
    char leaf[32];
    std::snprintf(leaf, sizeof leaf, "%s%04X", kStagingPrefix, (start + i * 7919u) & 0xFFFFu);
    std::string name = base + leaf;
    int fd = OpenExclusive(name);
    if (fd >= 0) {
      flock(fd, LOCK_EX | LOCK_NB);
      fd_ = fd;
      path_ = path;
      staging_ = name;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

void LibraryFile::Discard() {
  if (fd_ < 0) return;
  const std::string& name = staging_.empty() ? path_ : staging_;
  if (NameIsOurs(name.c_str(), fd_)) unlink(name.c_str());
  close(fd_);
  fd_ = -1;
  staging_.clear();
  written_ = false;
}

bool LibraryFile::Write(const void* data, std::size_t size) {
  if (fd_ < 0 || written_ || !data || size == 0) return false;
  if (!WriteAll(fd_, static_cast<const unsigned char*>(data), size) || fsync(fd_) != 0) {
    Discard();
    return false;
  }
  if (!staging_.empty()) {
    if (rename(staging_.c_str(), path_.c_str()) != 0) {
      Discard();
      return false;
    }
    staging_.clear();
  }
  size_ = size;
  written_ = true;
  return true;
}

win32::HMODULE LibraryFile::Load() {
  if (fd_ < 0 || !written_) return nullptr;
  struct stat st{};
  if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 077) != 0 ||
      static_cast<std::size_t>(st.st_size) != size_)
    return nullptr;
  char viaFd[64];
  std::snprintf(viaFd, sizeof viaFd, "/proc/self/fd/%d", fd_);
  struct stat procSt{};
  if (stat(viaFd, &procSt) == 0 && SameFile(procSt, st)) {
    // The loader recognises objects by name first: a copy loaded earlier through the same
    // descriptor number (and still loaded) would be handed back instead of this file. Use a
    // duplicate whose name no loaded object carries.
    int fd = fd_;
    int dups[16];
    int dupCount = 0;
    for (;;) {
      std::snprintf(viaFd, sizeof viaFd, "/proc/self/fd/%d", fd);
      void* existing = dlopen(viaFd, RTLD_LAZY | RTLD_NOLOAD);
      if (!existing) break;
      dlclose(existing);
      if (dupCount == 16 || (fd = fcntl(fd_, F_DUPFD_CLOEXEC, fd + 1)) < 0) {
        fd = -1;
        break;
      }
      dups[dupCount++] = fd;
    }
    void* handle = fd >= 0 ? dlopen(viaFd, RTLD_NOW | RTLD_LOCAL) : nullptr;
    for (int i = 0; i < dupCount; ++i) close(dups[i]);
    return static_cast<win32::HMODULE>(handle);
  }
  // No /proc: load by name only where nobody else can replace the entry.
  struct stat dir{};
  const std::string folder = FolderOf(path_);
  if (stat(folder.c_str(), &dir) != 0) return nullptr;
  const bool othersMayReplace = (dir.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (dir.st_mode & S_ISVTX) == 0;
  if (othersMayReplace || (dir.st_uid != getuid() && dir.st_uid != 0) || !NameIsOurs(path_.c_str(), fd_))
    return nullptr;
  return static_cast<win32::HMODULE>(dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL));
}

void LibraryFile::Remove() {
  if (fd_ < 0) return;
  if (!staging_.empty()) {
    Discard();
    return;
  }
  if (NameIsOurs(path_.c_str(), fd_)) unlink(path_.c_str());
  close(fd_);  // after the unlink, so the lock covers the file for as long as it has a name
  fd_ = -1;
  written_ = false;
}

int LibraryFile::descriptor() const { return fd_; }

int RemoveStaleLibraryFiles(const std::string& folder) {
  const std::string base = WithSlash(folder);
  DIR* d = opendir(base.c_str());
  if (!d) return 0;
  int removed = 0;
  while (dirent* e = readdir(d)) {
    if (!IsTempLibraryName(e->d_name) && !IsStagingName(e->d_name)) continue;
    const std::string name = base + e->d_name;
    int fd = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st{};
    unsigned char magic[4] = {0, 0, 0, 0};
    // Only our own regular files that hold a library; an empty one may be a copy being made.
    bool candidate = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == getuid() &&
                     pread(fd, magic, 4, 0) == 4 && std::memcmp(magic, "\177ELF", 4) == 0;
    if (candidate && flock(fd, LOCK_EX | LOCK_NB) == 0 && NameIsOurs(name.c_str(), fd) &&
        unlink(name.c_str()) == 0)
      ++removed;
    close(fd);
  }
  closedir(d);
  return removed;
}

void SetExitCleanupPath(const std::string& path, int fd) {
  std::call_once(gAtExitOnce, [] { std::atexit(AtExitCleanup); });
  gExitPath[0] = '\0';
  gExitHaveId = false;
  if (path.empty() || path.size() >= sizeof gExitPath) return;
  struct stat st{};
  if (fd >= 0 && fstat(fd, &st) == 0) {
    gExitDev = st.st_dev;
    gExitIno = st.st_ino;
    gExitHaveId = true;
  }
  std::memcpy(gExitPath, path.c_str(), path.size() + 1);
}

void EmergencyRemoveLibraryFile() {
  if (gExitPath[0] == '\0') return;
  // Only while the name is still the file we wrote (another start may have replaced it).
  struct stat st{};
  if (!gExitHaveId || (lstat(gExitPath, &st) == 0 && st.st_dev == gExitDev && st.st_ino == gExitIno))
    unlink(gExitPath);
  gExitPath[0] = '\0';
}

}  // namespace audiolib
