#include "platform/win32/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "platform/win32/registry_store.h"

namespace win32 {

struct RegistryKeyObject {
  std::string path;
  REGSAM access = 0;
};

namespace {

using regstore::Store;

constexpr std::size_t kMaxStoreBytes = 16u << 20;
constexpr DWORD kMaxValueBytes = 1u << 20;
constexpr std::size_t kMaxNameLength = 255;

std::mutex g_mutex;  // one registry operation at a time in this process
std::set<RegistryKeyObject*> g_handles;
std::atomic<DWORD> g_lockTimeoutMs{3000};

std::string ConfigDir() {
  std::string base;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && x[0] == '/') {
    base = x;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
    }
    if (!home || !*home) return {};
    base = std::string(home) + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/hoardel3d";
}

bool MakeDirs(const std::string& dir) {
  for (std::size_t i = 1; i <= dir.size(); ++i) {
    if (i != dir.size() && dir[i] != '/') continue;
    std::string part = dir.substr(0, i);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st{};
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

enum class ReadOutcome { Missing, Ok, Damaged, Unreadable };

ReadOutcome ReadStore(const std::string& path, Store& out) {
  out = Store{};
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Unreadable;
  struct stat st{};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return ReadOutcome::Unreadable;
  }
  if (static_cast<std::size_t>(st.st_size) > kMaxStoreBytes) {
    close(fd);
    return ReadOutcome::Damaged;
  }
  std::string text;
  char buf[8192];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return ReadOutcome::Unreadable;
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > kMaxStoreBytes) {
      close(fd);
      return ReadOutcome::Damaged;
    }
  }
  close(fd);
  auto parsed = regstore::Parse(text);
  if (!parsed) return ReadOutcome::Damaged;
  out = std::move(*parsed);
  return ReadOutcome::Ok;
}

void WarnUnreadable(const std::string& path) {
  static std::atomic<bool> warned{false};
  if (!warned.exchange(true))
    std::fprintf(stderr, "hoardel3d: cannot read the settings store %s: %s; using no stored settings\n",
                 path.c_str(), std::strerror(errno));
}

// Moves a damaged store out of the way so that the next write starts afresh.
void MoveAside(const std::string& path) {
  char stamp[32];
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  std::string aside = path + ".damaged-" + stamp + "-" + std::to_string(getpid());
  if (rename(path.c_str(), aside.c_str()) == 0) {
    std::fprintf(stderr, "hoardel3d: the settings store %s is damaged; moved it to %s and started empty\n",
                 path.c_str(), aside.c_str());
  } else {
    std::fprintf(stderr, "hoardel3d: the settings store %s is damaged and could not be moved aside (%s); "
                 "it reads as empty\n", path.c_str(), std::strerror(errno));
  }
}

// Exclusive lock on "registry.lock"; gives up after the lock timeout.
class StoreLock {
 public:
  explicit StoreLock(const std::string& dir) {
    fd_ = open((dir + "/registry.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) return;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(g_lockTimeoutMs.load());
    for (;;) {
      if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        held_ = true;
        return;
      }
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) {
        // A file system without locks: go on unlocked rather than never saving.
        held_ = true;
        return;
      }
      if (std::chrono::steady_clock::now() >= deadline) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  ~StoreLock() {
    if (fd_ >= 0) close(fd_);  // closing drops the lock
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  bool held() const { return held_; }

 private:
  int fd_ = -1;
  bool held_ = false;
};

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Temporary file, fsync, rename, fsync of the folder. The caller holds the lock, so one
// fixed temporary name suffices; a leftover from a crashed writer is replaced.
bool ReplaceStore(const std::string& dir, const std::string& path, const Store& store) {
  std::string tmp = path + ".tmp";
  unlink(tmp.c_str());
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, regstore::Serialize(store)) && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return false;
  }
  int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return true;
}

// The store as it is now, for reading. A damaged store is moved aside under the lock
// (after checking again, since a writer may have just replaced it).
Store LoadForRead() {
  Store store;
  std::string dir = ConfigDir();
  if (dir.empty()) return store;
  std::string path = dir + "/registry";
  switch (ReadStore(path, store)) {
    case ReadOutcome::Ok:
    case ReadOutcome::Missing:
      return store;
    case ReadOutcome::Unreadable:
      WarnUnreadable(path);
      return Store{};
    case ReadOutcome::Damaged:
      break;
  }
  StoreLock lock(dir);
  if (!lock.held()) return Store{};
  if (ReadStore(path, store) == ReadOutcome::Damaged) {
    MoveAside(path);
    return Store{};
  }
  return store;
}

// Reads the store under the lock, lets change() edit it and writes it back when it says it
// changed something. change returns the call's result.
LSTATUS Commit(const std::function<LSTATUS(Store&, bool& changed)>& change) {
  std::string dir = ConfigDir();
  if (dir.empty() || !MakeDirs(dir)) return ERROR_ACCESS_DENIED;
  StoreLock lock(dir);
  if (!lock.held()) return ERROR_LOCK_FAILED;
  std::string path = dir + "/registry";
  Store store;
  switch (ReadStore(path, store)) {
    case ReadOutcome::Ok:
    case ReadOutcome::Missing:
      break;
    case ReadOutcome::Unreadable:
      return ERROR_ACCESS_DENIED;
    case ReadOutcome::Damaged:
      MoveAside(path);
      store = Store{};
      break;
  }
  bool changed = false;
  LSTATUS result = change(store, changed);
  if (result != ERROR_SUCCESS || !changed) return result;
  return ReplaceStore(dir, path, store) ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

enum class Root { CurrentUser, Other, Invalid };

struct Resolved {
  Root root = Root::Invalid;
  std::string path;
  REGSAM access = 0;
};

bool IsPredefined(HKEY key) {
  auto v = reinterpret_cast<std::uintptr_t>(key);
  return v >= 0x80000000u && v <= 0x80000006u;
}

// Call with g_mutex held.
Resolved Resolve(HKEY key) {
  if (key == HKEY_CURRENT_USER) return {Root::CurrentUser, "", KEY_ALL_ACCESS};
  if (IsPredefined(key)) return {Root::Other, "", KEY_ALL_ACCESS};
  if (key && g_handles.count(key)) return {Root::CurrentUser, key->path, key->access};
  return {};
}

// Appends subKey to base; nullopt when a component is too long.
std::optional<std::string> JoinPath(const std::string& base, LPCSTR subKey) {
  std::string path = base;
  std::string_view rest = subKey ? subKey : "";
  while (!rest.empty()) {
    std::size_t cut = rest.find('\\');
    std::string_view part = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    if (part.empty()) continue;
    if (part.size() > kMaxNameLength) return std::nullopt;
    if (!path.empty()) path += '\\';
    path += part;
  }
  return path;
}

HKEY NewHandle(std::string path, REGSAM access) {
  auto* h = new RegistryKeyObject{std::move(path), access};
  g_handles.insert(h);
  return h;
}

}  // namespace

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM desired,
                        const SECURITY_ATTRIBUTES*, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved parent = Resolve(key);
  if (parent.root == Root::Invalid) return ERROR_INVALID_HANDLE;
  if (parent.root == Root::Other) return ERROR_ACCESS_DENIED;
  auto path = JoinPath(parent.path, subKey);
  if (!path) return ERROR_INVALID_PARAMETER;
  DWORD how = REG_OPENED_EXISTING_KEY;
  if (!LoadForRead().KeyExists(*path)) {
    LSTATUS r = Commit([&](Store& store, bool& changed) {
      if (!store.KeyExists(*path)) {
        store.EnsureKey(*path);
        changed = true;
        how = REG_CREATED_NEW_KEY;
      }
      return ERROR_SUCCESS;
    });
    if (r != ERROR_SUCCESS) return r;
  }
  if (disposition) *disposition = how;
  *result = NewHandle(*path, desired);
  return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved parent = Resolve(key);
  if (parent.root == Root::Invalid) return ERROR_INVALID_HANDLE;
  if (parent.root == Root::Other) return ERROR_FILE_NOT_FOUND;
  auto path = JoinPath(parent.path, subKey);
  if (!path) return ERROR_INVALID_PARAMETER;
  if (!LoadForRead().KeyExists(*path)) return ERROR_FILE_NOT_FOUND;
  *result = NewHandle(*path, desired);
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize) {
  if (data && !dataSize) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved k = Resolve(key);
  if (k.root == Root::Invalid) return ERROR_INVALID_HANDLE;
  if (k.root == Root::Other) return ERROR_FILE_NOT_FOUND;
  if (!(k.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  Store store = LoadForRead();
  const regstore::Key* stored = store.FindKey(k.path);
  const regstore::Value* v = stored ? regstore::FindValue(*stored, valueName ? valueName : "") : nullptr;
  if (!v) return ERROR_FILE_NOT_FOUND;
  if (type) *type = v->type;
  if (!dataSize) return ERROR_SUCCESS;
  auto size = static_cast<DWORD>(v->data.size());
  if (data && *dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  if (data && size) std::memcpy(data, v->data.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
  if (!data && dataSize) return ERROR_INVALID_PARAMETER;
  if (type == REG_DWORD && dataSize != 4) return ERROR_INVALID_PARAMETER;
  if (dataSize > kMaxValueBytes) return ERROR_INVALID_PARAMETER;
  std::string name = valueName ? valueName : "";
  if (name.size() > 16383) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved k = Resolve(key);
  if (k.root == Root::Invalid) return ERROR_INVALID_HANDLE;
  if (k.root == Root::Other || !(k.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::string bytes(reinterpret_cast<const char*>(data ? data : reinterpret_cast<const BYTE*>("")), dataSize);
  return Commit([&](Store& store, bool& changed) {
    // The handle proves the key existed; a store moved aside since then gets it back.
    regstore::Key& stored = store.EnsureKey(k.path);
    if (regstore::Value* v = regstore::FindValue(stored, name)) {
      v->type = type;
      v->data = bytes;
    } else {
      stored.values.push_back(regstore::Value{name, type, bytes});
    }
    changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) {
  std::string name = valueName ? valueName : "";
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved k = Resolve(key);
  if (k.root == Root::Invalid) return ERROR_INVALID_HANDLE;
  if (k.root == Root::Other || !(k.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return Commit([&](Store& store, bool& changed) {
    regstore::Key* stored = store.FindKey(k.path);
    if (!stored) return ERROR_FILE_NOT_FOUND;
    for (auto it = stored->values.begin(); it != stored->values.end(); ++it) {
      if (regstore::EqualsNoCase(it->name, name)) {
        stored->values.erase(it);
        changed = true;
        return ERROR_SUCCESS;
      }
    }
    return ERROR_FILE_NOT_FOUND;
  });
}

LSTATUS RegFlushKey(HKEY key) {
  std::lock_guard<std::mutex> guard(g_mutex);
  return Resolve(key).root == Root::Invalid ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (IsPredefined(key)) return ERROR_SUCCESS;
  auto it = g_handles.find(key);
  if (it == g_handles.end()) return ERROR_INVALID_HANDLE;
  g_handles.erase(it);
  delete key;
  return ERROR_SUCCESS;
}

std::string RegistryStorePath() {
  std::string dir = ConfigDir();
  return dir.empty() ? std::string() : dir + "/registry";
}

void SetRegistryLockTimeout(DWORD milliseconds) { g_lockTimeoutMs = milliseconds; }

}  // namespace win32
