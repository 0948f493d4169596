// The real dialog: under a private Xvfb display, MessageBoxA shows a GTK window with the
// caption and answers with the button pressed.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/win32/msgbox.h"

using namespace win32;

namespace {

std::string Capture(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

class XvfbDisplay {
 public:
  XvfbDisplay() {
    for (int n = 90 + getpid() % 50; n < 200 && pid_ <= 0; ++n) {
      std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      if (std::filesystem::exists(socket) || std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
      pid_t pid = fork();
      if (pid == 0) {
        std::string d = ":" + std::to_string(n);
        execlp("Xvfb", "Xvfb", d.c_str(), "-nolisten", "tcp", "-screen", "0", "800x600x24", static_cast<char*>(nullptr));
        _exit(127);
      }
      for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (!std::filesystem::exists(socket)) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        continue;
      }
      pid_ = pid;
      name_ = ":" + std::to_string(n);
    }
  }
  ~XvfbDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ok() const { return pid_ > 0; }
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// Shows a box in a child process, presses key in it, and returns the child's answer.
int AnswerWithKey(const XvfbDisplay& display, const char* caption, UINT type, const char* key) {
  pid_t child = fork();
  if (child == 0) {
    setenv("DISPLAY", display.name().c_str(), 1);
    unsetenv("HOARDEL_MESSAGEBOX");
    unsetenv("WAYLAND_DISPLAY");
    _exit(MessageBoxA(nullptr, "\xD2\xE5\xF1\xF2 text", caption, type));
  }
  std::string env = "DISPLAY=" + display.name() + " ";
  std::string window;
  for (int i = 0; i < 100 && window.empty(); ++i) {
    window = Capture(env + "xdotool search --name '" + caption + "' 2>/dev/null | head -1");
    if (window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!window.empty()) {
    window.pop_back();
    Capture(env + "xdotool windowfocus --sync " + window + " 2>/dev/null; " + env + "xdotool key " + key);
  }
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
  return -1;
}

}  // namespace

TEST(MessageBoxDialog, ShowsAWindowAndAnswersWithTheButtonPressed) {
  if (!Have("Xvfb") || !Have("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
  XvfbDisplay display;
  ASSERT_TRUE(display.ok());
  EXPECT_EQ(AnswerWithKey(display, "Hoardel box one", MB_OK | MB_ICONERROR, "Return"), IDOK);
  EXPECT_EQ(AnswerWithKey(display, "Hoardel box two", MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING, "Return"), IDNO);
  EXPECT_EQ(AnswerWithKey(display, "Hoardel box three", MB_OKCANCEL, "Escape"), IDCANCEL);
}
