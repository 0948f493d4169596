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

#include "support/xvfb_server.h"
#include "platform/win32/msgbox.h"

using namespace win32;

namespace {

using testsupport::Capture;
using testsupport::Have;

// A private X server on displays 90..199.
class XvfbDisplay : public testsupport::XvfbServer {
 public:
  XvfbDisplay() : XvfbServer(90, 200) {}
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
