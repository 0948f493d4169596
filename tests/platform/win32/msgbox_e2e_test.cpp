// The real dialog: under a private Xvfb display, MessageBoxA shows a GTK window with the
// caption and answers with the button pressed.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "support/xvfb_server.h"
#include "platform/win32/msgbox.h"

using namespace win32;

namespace {

using testsupport::Child;
using testsupport::Have;
using testsupport::XvfbServer;

// Shows a box in a child process, presses key in it, and returns the child's answer.
int AnswerWithKey(const XvfbServer& display, const char* caption, UINT type, const char* key) {
  pid_t child = fork();
  if (child == 0) {
    setenv("DISPLAY", display.name().c_str(), 1);
    unsetenv("HOARDEL_MESSAGEBOX");
    unsetenv("WAYLAND_DISPLAY");
    _exit(MessageBoxA(nullptr, "\xD2\xE5\xF1\xF2 text", caption, type));
  }
  Child box(child);
  std::string window;
  for (int i = 0; i < 100 && window.empty(); ++i) {
    std::istringstream found(display.Xdotool(std::string("search --name '") + caption + "'"));
    found >> window;
    if (window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!window.empty()) {
    display.Xdotool("windowfocus --sync " + window);
    display.Xdotool(std::string("key ") + key);
  }
  return box.WaitExit(10);
}

}  // namespace

TEST(MessageBoxDialog, ShowsAWindowAndAnswersWithTheButtonPressed) {
  if (!Have("Xvfb") || !Have("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
  XvfbServer display;
  ASSERT_TRUE(display.ok());
  EXPECT_EQ(AnswerWithKey(display, "Hoardel box one", MB_OK | MB_ICONERROR, "Return"), IDOK);
  EXPECT_EQ(AnswerWithKey(display, "Hoardel box two", MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING, "Return"), IDNO);
  EXPECT_EQ(AnswerWithKey(display, "Hoardel box three", MB_OKCANCEL, "Escape"), IDCANCEL);
}
