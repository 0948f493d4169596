// XScreenSaver as a real client: under a private Xvfb, XScreenSaver runs "hoardel3d -root"
// when activated; the saver must draw into the window XScreenSaver gives it, end within two
// seconds of deactivation, and leave no files behind. Skipped where XScreenSaver or Xvfb is
// missing. XScreenSaver refuses to run its programs as root, so as root the daemon runs as
// "nobody".
// GoogleTest before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/xvfb_server.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using testsupport::Have;
using testsupport::ReadFile;

// Starts argv with the environment env (as uid/gid when not negative); output to logPath.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& logPath,
            uid_t uid = static_cast<uid_t>(-1), gid_t gid = static_cast<gid_t>(-1)) {
  std::vector<char*> a, e;
  for (const std::string& s : argv) a.push_back(const_cast<char*>(s.c_str()));
  a.push_back(nullptr);
  for (const std::string& s : env) e.push_back(const_cast<char*>(s.c_str()));
  e.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    const int fd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
      close(fd);
    }
    if (gid != static_cast<gid_t>(-1) && (setgroups(0, nullptr) != 0 || setgid(gid) != 0)) _exit(126);
    if (uid != static_cast<uid_t>(-1) && setuid(uid) != 0) _exit(126);
    execvpe(a[0], a.data(), e.data());
    _exit(127);
  }
  return pid;
}

// Runs argv to its end (killed after 30 s); its exit status, or -1.
int RunWait(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& log) {
  testsupport::Child child(Spawn(argv, env, log));
  return child.WaitExit(30);
}

// Processes whose executable is the given file.
std::vector<pid_t> ProcessesOf(const fs::path& exe) {
  std::vector<pid_t> found;
  std::error_code ec;
  for (const auto& d : fs::directory_iterator("/proc", ec)) {
    const std::string name = d.path().filename();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code e2;
    const fs::path target = fs::read_symlink(d.path() / "exe", e2);
    if (!e2 && target == exe) found.push_back(static_cast<pid_t>(std::stol(name)));
  }
  return found;
}

bool Alive(pid_t pid) {
  // A zombie has no exe link; its owner (XScreenSaver) has not reaped it yet.
  std::error_code ec;
  if (!fs::exists("/proc/" + std::to_string(pid), ec)) return false;
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// The value of one variable in a process's environment.
std::string EnvironOf(pid_t pid, const std::string& name) {
  const std::string env = ReadFile("/proc/" + std::to_string(pid) + "/environ");
  std::size_t at = 0;
  while (at < env.size()) {
    const std::size_t end = env.find('\0', at);
    const std::string entry = env.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (entry.rfind(name + "=", 0) == 0) return entry.substr(name.size() + 1);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return {};
}

// Fraction of sampled pixels of the window that are not black.
double LitFraction(Display* dpy, Window w) {
  XWindowAttributes attr{};
  if (!XGetWindowAttributes(dpy, w, &attr) || attr.map_state != IsViewable) return -1.0;
  XImage* img = XGetImage(dpy, w, 0, 0, static_cast<unsigned>(attr.width), static_cast<unsigned>(attr.height),
                          AllPlanes, ZPixmap);
  if (!img) return -1.0;
  int lit = 0, total = 0;
  for (int y = 0; y < attr.height; y += 8)
    for (int x = 0; x < attr.width; x += 8) {
      ++total;
      if ((XGetPixel(img, x, y) & 0xFFFFFF) != 0) ++lit;
    }
  XDestroyImage(img);
  return total ? static_cast<double>(lit) / total : 0.0;
}

std::vector<fs::path> RegularFilesUnder(const fs::path& dir) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (!it->is_directory()) files.push_back(it->path());
  return files;
}

class XScreenSaverClient : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"xscreensaver", "xscreensaver-command", "Xvfb"})
      if (!Have(tool)) GTEST_SKIP() << tool << " is not installed (Debian: xscreensaver, xvfb)";
    ASSERT_TRUE(tmp_.ok());
    root_ = tmp_.path();
    chmod(root_.c_str(), 0755);
    if (getuid() == 0) {
      const passwd* pw = getpwnam("nobody");
      if (!pw) GTEST_SKIP() << "running as root and there is no user \"nobody\" for XScreenSaver";
      uid_ = pw->pw_uid;
      gid_ = pw->pw_gid;
    }
    for (const char* d : {"home", "bin", "tmp", "run", "config"}) {
      fs::create_directory(root_ / d);
      chmod((root_ / d).c_str(), std::strcmp(d, "run") == 0 ? 0700 : 0755);
      if (uid_ != static_cast<uid_t>(-1)) {
        ASSERT_EQ(chown((root_ / d).c_str(), uid_, gid_), 0);
      }
    }
    exe_ = fs::canonical(HOARDEL_EXECUTABLE);
    fs::create_symlink(exe_, root_ / "bin" / "hoardel3d");

    xvfb_.emplace(640, 480);
    display_ = xvfb_->name();
    if (xvfb_->ok()) dpy_ = XOpenDisplay(display_.c_str());
    ASSERT_NE(dpy_, nullptr) << "Xvfb did not start";

    std::ofstream rc(root_ / "home" / ".xscreensaver");
    rc << "mode:\t\tone\nselected:\t0\nlock:\t\tFalse\nsplash:\t\tFalse\nfade:\t\tFalse\nunfade:\t\tFalse\n"
          "dpmsEnabled:\tFalse\ngrabDesktopImages:\tFalse\ntimeout:\t0:30:00\ncycle:\t\t0:30:00\n"
          "programs:\thoardel3d -root \\n\\\n\n";
    rc.close();
    if (uid_ != static_cast<uid_t>(-1)) chown((root_ / "home" / ".xscreensaver").c_str(), uid_, gid_);

    env_ = {"DISPLAY=" + display_,
            "HOME=" + (root_ / "home").string(),
            "PATH=" + (root_ / "bin").string() + ":/usr/bin:/bin",
            "TMPDIR=" + (root_ / "tmp").string(),
            "XDG_RUNTIME_DIR=" + (root_ / "run").string(),
            "XDG_CONFIG_HOME=" + (root_ / "config").string(),
            "SDL_AUDIODRIVER=dummy",
            "HOARDEL_MESSAGEBOX=stderr",
            "LANG=C"};
  }

  void TearDown() override {
    if (daemon_ > 0) {
      kill(-daemon_, SIGTERM);
      waitpid(daemon_, nullptr, 0);
    }
    for (pid_t p : ProcessesOf(exe_)) {
      // Only our own test's saver: it runs with this test's HOME.
      if (EnvironOf(p, "HOME") == (root_ / "home").string()) kill(p, SIGKILL);
    }
    if (dpy_) XCloseDisplay(dpy_);
    xvfb_.reset();
    if (HasFailure()) {
      tmp_.Keep();
      std::fprintf(stderr, "kept %s for inspection\n", root_.c_str());
    }
  }

  int Command(const char* what) {
    return RunWait({"xscreensaver-command", what}, env_, (root_ / "command.log").string());
  }

  testsupport::TempDir tmp_{"hoardel-xss"};
  fs::path root_;
  fs::path exe_;
  std::string display_;
  std::optional<testsupport::XvfbServer> xvfb_;
  Display* dpy_ = nullptr;
  pid_t daemon_ = -1;
  uid_t uid_ = static_cast<uid_t>(-1);
  gid_t gid_ = static_cast<gid_t>(-1);
  std::vector<std::string> env_;
};

TEST_F(XScreenSaverClient, DrawsWhenActivatedAndEndsCleanlyWhenDeactivated) {
  const std::string log = (root_ / "xscreensaver.log").string();
  daemon_ = Spawn({"xscreensaver", "-no-splash", "-verbose"}, env_, log, uid_, gid_);
  ASSERT_GT(daemon_, 0);
  bool up = false;
  for (int i = 0; i < 100 && !up; ++i) {
    std::this_thread::sleep_for(100ms);
    up = RunWait({"xscreensaver-command", "-time"}, env_, "/dev/null") == 0;
  }
  ASSERT_TRUE(up) << ReadFile(log);
  ASSERT_EQ(Command("-activate"), 0) << ReadFile(root_ / "command.log");

  pid_t saver = -1;
  for (int i = 0; i < 200 && saver < 0; ++i) {
    std::this_thread::sleep_for(100ms);
    for (pid_t p : ProcessesOf(exe_))
      if (EnvironOf(p, "HOME") == (root_ / "home").string()) saver = p;
  }
  ASSERT_GT(saver, 0) << "XScreenSaver did not start hoardel3d\n" << ReadFile(log);
  const std::string given = EnvironOf(saver, "XSCREENSAVER_WINDOW");
  ASSERT_FALSE(given.empty()) << "XScreenSaver gave no window";
  const Window window = static_cast<Window>(std::strtoul(given.c_str(), nullptr, 0));

  // Loading and the first frames take a while on a software renderer.
  double lit = -1.0;
  for (int i = 0; i < 300 && lit < 0.05; ++i) {
    std::this_thread::sleep_for(100ms);
    lit = LitFraction(dpy_, window);
    ASSERT_TRUE(Alive(saver)) << "hoardel3d ended on its own\n" << ReadFile(log);
  }
  EXPECT_GE(lit, 0.05) << "the window XScreenSaver gave (" << given << ") stays black";
  std::vector<fs::path> filesWhileRunning = RegularFilesUnder(root_ / "run");
  for (const fs::path& f : RegularFilesUnder(root_ / "tmp")) filesWhileRunning.push_back(f);

  ASSERT_EQ(Command("-deactivate"), 0) << ReadFile(root_ / "command.log");
  const auto asked = std::chrono::steady_clock::now();
  while (Alive(saver) && std::chrono::steady_clock::now() - asked < 5s) std::this_thread::sleep_for(20ms);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked);
  EXPECT_FALSE(Alive(saver));
  EXPECT_LE(took.count(), 2000) << "hoardel3d took " << took.count() << " ms to end";

  // Teardown removes the temporary copy of the audio library and anything else it made.
  for (const char* d : {"tmp", "run"})
    for (const fs::path& f : RegularFilesUnder(root_ / d)) ADD_FAILURE() << "left behind: " << f;
  if (!filesWhileRunning.empty())
    std::printf("removed at teardown: %s (and %zu more)\n", filesWhileRunning[0].c_str(), filesWhileRunning.size() - 1);
  EXPECT_EQ(ReadFile(log).find("dumped core"), std::string::npos) << ReadFile(log);
}

}  // namespace
