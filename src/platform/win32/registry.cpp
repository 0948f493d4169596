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

std::string Reason(int error) { return std::strerror(error); }

// Creates the folder and its parents; on failure says why.
bool MakeDirs(const std::string& dir, std::string& why) {
  for (std::size_t i = 1; i <= dir.size(); ++i) {
    if (i != dir.size() && dir[i] != '/') continue;
    std::string part = dir.substr(0, i);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      why = "cannot create the folder " + part + ": " + Reason(errno);
      return false;
    }
  }
  struct stat st{};
  if (stat(dir.c_str(), &st) != 0) {
    why = "cannot use the folder " + dir + ": " + Reason(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    why = dir + " is not a folder";
    return false;
  }
  return true;
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a plain file";
}

// Ok: the exact written form. Partial: some lines skipped, or cut short; the rest is used.
// Damaged: nothing could be read from it.
enum class ReadOutcome { Missing, Ok, Partial, Damaged, Unreadable };

struct StoreRead {
  ReadOutcome outcome = ReadOutcome::Missing;
  std::string why;               // Unreadable: the reason in words
  regstore::Salvaged salvaged;   // Ok and Partial
  std::size_t fingerprint = 0;   // of the text, so that one state is reported once
};

StoreRead ReadStore(const std::string& path) {
  StoreRead r;
  auto unreadable = [&](std::string why) {
    r.outcome = ReadOutcome::Unreadable;
    r.why = std::move(why);
    return std::move(r);
  };
  // Non-blocking, so that a named pipe put in the store's place cannot hang the program.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) return r;
    return unreadable(Reason(errno));
  }
  struct stat st{};
  if (fstat(fd, &st) != 0) {
    const int error = errno;
    close(fd);
    return unreadable(Reason(error));
  }
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    return unreadable(std::string("it is ") + KindOf(st.st_mode) + ", not a settings file");
  }
  if (static_cast<std::size_t>(st.st_size) > kMaxStoreBytes) {
    close(fd);
    r.outcome = ReadOutcome::Damaged;
    return r;
  }
  std::string text;
  char buf[8192];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      close(fd);
      return unreadable(Reason(error));
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > kMaxStoreBytes) {
      close(fd);
      r.outcome = ReadOutcome::Damaged;
      return r;
    }
  }
  close(fd);
  r.fingerprint = std::hash<std::string>{}(path + '\0' + text);
  r.salvaged = regstore::Salvage(text);
  const regstore::Salvaged& s = r.salvaged;
  if (s.exact)
    r.outcome = ReadOutcome::Ok;
  else if (!s.anything && (!s.skipped.empty() || !s.header))
    r.outcome = ReadOutcome::Damaged;
  else
    r.outcome = (s.skipped.empty() && s.ended) ? ReadOutcome::Ok : ReadOutcome::Partial;
  return r;
}

// Says once per reason why the store cannot be read.
void WarnUnreadable(const std::string& path, const std::string& why) {
  static std::set<std::string> warned;
  if (warned.insert(path + '\0' + why).second)
    std::fprintf(stderr, "hoardel3d: cannot read the settings store %s: %s; using no stored settings\n",
                 path.c_str(), why.c_str());
}

// Names the lines of a store that were skipped, once per state of the file.
void ReportPartial(const std::string& path, const StoreRead& r) {
  static std::set<std::size_t> reported;
  if (!reported.insert(r.fingerprint).second) return;
  const regstore::Salvaged& s = r.salvaged;
  if (!s.skipped.empty()) {
    std::fprintf(stderr,
                 "hoardel3d: the settings store %s has %zu line(s) that could not be read; they are ignored "
                 "(and left out when the settings are next saved):\n",
                 path.c_str(), s.skipped.size());
    constexpr std::size_t kShown = 10;
    for (std::size_t i = 0; i < s.skipped.size() && i < kShown; ++i) {
      std::string shown;
      for (char c : s.skipped[i].text.substr(0, 80)) {
        auto b = static_cast<unsigned char>(c);
        shown += (b >= 0x20 && b < 0x7F) ? c : '?';
      }
      std::fprintf(stderr, "  line %zu: %s\n", s.skipped[i].number, shown.c_str());
    }
    if (s.skipped.size() > kShown) std::fprintf(stderr, "  and %zu more\n", s.skipped.size() - kShown);
  }
  if (!s.ended)
    std::fprintf(stderr, "hoardel3d: the settings store %s ends early (no END line); using what it holds\n",
                 path.c_str());
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
    const std::string name = dir + "/registry.lock";
    fd_ = open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd_ < 0) {
      why_ = "cannot open the lock file " + name + ": " + Reason(errno);
      return;
    }
    const DWORD timeoutMs = g_lockTimeoutMs.load();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
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
      if (std::chrono::steady_clock::now() >= deadline) {
        char waited[32];
        std::snprintf(waited, sizeof waited, "%.1f s", timeoutMs / 1000.0);
        why_ = "another program kept " + name + " locked for " + waited;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  ~StoreLock() {
    if (fd_ >= 0) close(fd_);  // closing drops the lock
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  bool held() const { return held_; }
  const std::string& why() const { return why_; }

 private:
  int fd_ = -1;
  bool held_ = false;
  std::string why_;
};

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Temporary file, fsync, rename, fsync of the folder. The caller holds the lock, so one
// fixed temporary name suffices; a leftover from a writer that was killed is removed first.
bool ReplaceStore(const std::string& dir, const std::string& path, const Store& store, std::string& why) {
  std::string tmp = path + ".tmp";
  unlink(tmp.c_str());
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    why = "cannot create " + tmp + ": " + Reason(errno);
    return false;
  }
  bool ok = WriteAll(fd, regstore::Serialize(store)) && fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    why = "cannot write " + tmp + ": " + Reason(error);
    unlink(tmp.c_str());
    return false;
  }
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    why = "cannot replace " + path + ": " + Reason(errno);
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
// (after checking again, since a writer may have just replaced it); one that is only partly
// readable is used as far as it goes and left as it is.
Store LoadForRead() {
  std::string dir = ConfigDir();
  if (dir.empty()) return Store{};
  std::string path = dir + "/registry";
  StoreRead r = ReadStore(path);
  switch (r.outcome) {
    case ReadOutcome::Missing:
      return Store{};
    case ReadOutcome::Ok:
      return std::move(r.salvaged.store);
    case ReadOutcome::Partial:
      ReportPartial(path, r);
      return std::move(r.salvaged.store);
    case ReadOutcome::Unreadable:
      WarnUnreadable(path, r.why);
      return Store{};
    case ReadOutcome::Damaged:
      break;
  }
  StoreLock lock(dir);
  if (!lock.held()) return Store{};
  r = ReadStore(path);
  switch (r.outcome) {
    case ReadOutcome::Damaged:
      MoveAside(path);
      return Store{};
    case ReadOutcome::Ok:
    case ReadOutcome::Partial:
      return std::move(r.salvaged.store);
    default:
      return Store{};
  }
}

// Reads the store under the lock, lets change() edit it and writes it back when it says it
// changed something: one lock, one temporary file, one rename. change returns the call's
// result; *why (when given) receives the reason of a failure of the store in words.
LSTATUS Commit(const std::function<LSTATUS(Store&, bool& changed)>& change, std::string* why = nullptr) {
  std::string reason;
  auto fail = [&](LSTATUS code) {
    if (why) *why = reason;
    return code;
  };
  std::string dir = ConfigDir();
  if (dir.empty()) {
    reason = "there is no home folder (neither XDG_CONFIG_HOME nor HOME is set)";
    return fail(ERROR_ACCESS_DENIED);
  }
  if (!MakeDirs(dir, reason)) return fail(ERROR_ACCESS_DENIED);
  StoreLock lock(dir);
  if (!lock.held()) {
    reason = lock.why();
    return fail(ERROR_LOCK_FAILED);
  }
  std::string path = dir + "/registry";
  StoreRead r = ReadStore(path);
  Store store;
  switch (r.outcome) {
    case ReadOutcome::Missing:
      break;
    case ReadOutcome::Ok:
      store = std::move(r.salvaged.store);
      break;
    case ReadOutcome::Partial:
      ReportPartial(path, r);
      store = std::move(r.salvaged.store);
      break;
    case ReadOutcome::Unreadable:
      reason = "cannot read " + path + ": " + r.why;
      return fail(ERROR_ACCESS_DENIED);
    case ReadOutcome::Damaged:
      MoveAside(path);
      break;
  }
  bool changed = false;
  LSTATUS result = change(store, changed);
  if (result != ERROR_SUCCESS || !changed) return result;
  if (!ReplaceStore(dir, path, store, reason)) return fail(ERROR_CANTWRITE);
  return ERROR_SUCCESS;
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

LSTATUS RegSetKeyValuesA(HKEY key, LPCSTR subKey, const std::vector<RegValue>& values, std::string* why) {
  for (const RegValue& v : values) {
    if (v.type == REG_DWORD && v.data.size() != 4) return ERROR_INVALID_PARAMETER;
    if (v.data.size() > kMaxValueBytes || v.name.size() > 16383) return ERROR_INVALID_PARAMETER;
  }
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved parent = Resolve(key);
  if (parent.root == Root::Invalid) return ERROR_INVALID_HANDLE;
  if (parent.root == Root::Other || !(parent.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  auto path = JoinPath(parent.path, subKey);
  if (!path) return ERROR_INVALID_PARAMETER;
  return Commit(
      [&](Store& store, bool& changed) {
        regstore::Key& stored = store.EnsureKey(*path);
        for (const RegValue& v : values) {
          if (regstore::Value* old = regstore::FindValue(stored, v.name)) {
            old->type = v.type;
            old->data = v.data;
          } else {
            stored.values.push_back(regstore::Value{v.name, v.type, v.data});
          }
        }
        changed = true;
        return ERROR_SUCCESS;
      },
      why);
}

LSTATUS RegQueryKeyValuesA(HKEY key, std::vector<RegValue>& values) {
  values.clear();
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved k = Resolve(key);
  if (k.root == Root::Invalid) return ERROR_INVALID_HANDLE;
  if (k.root == Root::Other) return ERROR_FILE_NOT_FOUND;
  if (!(k.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  Store store = LoadForRead();
  const regstore::Key* stored = store.FindKey(k.path);
  if (!stored) return ERROR_FILE_NOT_FOUND;
  for (const regstore::Value& v : stored->values) values.push_back(RegValue{v.name, v.type, v.data});
  return ERROR_SUCCESS;
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
