// This user's registry of live top-level windows, shared by all processes: one file per
// window in $XDG_RUNTIME_DIR/hoardel3d/windows (or /tmp/hoardel3d-<uid>/windows, private),
// named "<pid>-<process start time>-<token>" and holding three lines: class, title, X11 id.
// A file whose process is gone (or whose pid now belongs to another process) is stale and
// removed by the next search.
#include <dirent.h>
#include <signal.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "platform/win32/window_internal.h"

namespace win32::detail {
namespace {

std::mutex g_mutex;
std::set<unsigned long> g_published;
std::atomic<unsigned long> g_nextToken{1};

// A directory we own, not a link, private to this user; created when missing.
bool PrivateDir(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 0077) == 0;
}

// Field 22 of /proc/<pid>/stat: the process start time, to tell a reused pid apart.
std::string StartTime(long pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string all;
  if (!std::getline(f, all)) return {};
  auto close = all.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream rest(all.substr(close + 2));
  std::string field;
  for (int i = 3; i <= 22 && (rest >> field); ++i) {
    if (i == 22) return field;
  }
  return {};
}

const std::string& OwnStartTime() {
  static const std::string t = StartTime(static_cast<long>(getpid()));
  return t;
}

std::string EntryName(unsigned long token) {
  return std::to_string(getpid()) + "-" + OwnStartTime() + "-" + std::to_string(token);
}

void WithdrawAllAtExit() {
  std::set<unsigned long> left;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    left = g_published;
  }
  for (unsigned long t : left) SessionWithdraw(t);
}

std::string Clean(const std::string& s) {
  std::string out;
  for (char c : s) out.push_back(c == '\n' || c == '\r' ? ' ' : c);
  return out;
}

}  // namespace

std::string SessionDirectory() {
  std::string base;
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  struct stat st;
  if (xdg && *xdg == '/' && stat(xdg, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()) {
    base = std::string(xdg) + "/hoardel3d";
  } else {
    base = "/tmp/hoardel3d-" + std::to_string(getuid());
  }
  if (!PrivateDir(base)) return {};
  std::string dir = base + "/windows";
  if (!PrivateDir(dir)) return {};
  return dir;
}

unsigned long SessionPublish(const std::string& cls, const std::string& title, unsigned long xid) {
  std::string dir = SessionDirectory();
  if (dir.empty()) return 0;
  unsigned long token = g_nextToken++;
  std::string name = dir + "/" + EntryName(token);
  std::string tmp = dir + "/.tmp-" + EntryName(token);
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return 0;
  std::string body = Clean(cls) + "\n" + Clean(title) + "\n" + std::to_string(xid) + "\n";
  bool ok = write(fd, body.data(), body.size()) == static_cast<ssize_t>(body.size());
  close(fd);
  if (!ok || rename(tmp.c_str(), name.c_str()) != 0) {
    unlink(tmp.c_str());
    return 0;
  }
  static std::once_flag once;
  std::call_once(once, [] { std::atexit(WithdrawAllAtExit); });
  std::lock_guard<std::mutex> lock(g_mutex);
  g_published.insert(token);
  return token;
}

void SessionWithdraw(unsigned long token) {
  if (!token) return;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_published.erase(token)) return;
  }
  std::string dir = SessionDirectory();
  if (!dir.empty()) unlink((dir + "/" + EntryName(token)).c_str());
}

HWND SessionFind(LPCSTR className, LPCSTR windowName) {
  std::string dir = SessionDirectory();
  if (dir.empty()) return nullptr;
  DIR* d = opendir(dir.c_str());
  if (!d) return nullptr;
  HWND found = nullptr;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    long pid = 0;
    char start[64] = {0};
    unsigned long token = 0;
    if (std::sscanf(name.c_str(), "%ld-%63[0-9]-%lu", &pid, start, &token) != 3 || pid <= 0) continue;
    std::string path = dir + "/" + name;
    bool alive = kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    if (!alive || StartTime(pid) != start) {
      unlink(path.c_str());
      continue;
    }
    if (pid == getpid()) {
      std::lock_guard<std::mutex> lock(g_mutex);
      if (!g_published.count(token)) continue;
    }
    std::ifstream f(path);
    std::string cls, title, xidText;
    if (!std::getline(f, cls) || !std::getline(f, title) || !std::getline(f, xidText)) continue;
    if (className && (IS_INTRESOURCE(className) || strcasecmp(className, cls.c_str()) != 0)) continue;
    if (windowName && strcasecmp(windowName, title.c_str()) != 0) continue;
    unsigned long xid = std::strtoul(xidText.c_str(), nullptr, 10);
    // Without an X11 window, a non-null token that no X11 id can take (bit 30 set).
    std::uintptr_t v = xid ? xid : (0x40000000u | (static_cast<std::uintptr_t>(pid) & 0x3FFFFFFFu));
    found = reinterpret_cast<HWND>(v);
    break;
  }
  closedir(d);
  return found;
}

}  // namespace win32::detail
