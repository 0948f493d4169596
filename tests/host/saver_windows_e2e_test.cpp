// The saver's monitor walk and its windows on a real X server with two monitors side by side.
// Xvfb shows SDL one monitor (SDL 2.26 reads neither Xinerama nor RandR monitors there), so
// the display list is installed as the platform would report a second monitor, and the
// windows are real X11 windows on a screen wide enough for both.
#include <gtest/gtest.h>

#include <string>

#include "host/screensaver_app.h"
#include "platform/win32/monitors.h"
#include "platform/win32/native_window.h"
#include "support/xvfb_server.h"
// Xlib last: its macros (None, Bool, Status) clash with names above.
#include <X11/Xlib.h>

using namespace win32;

namespace {

testsupport::XvfbEnvironment* const g_xvfb = testsupport::AddXvfbEnvironment(1824, 768);

class SaverWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_xvfb->display().empty()) GTEST_SKIP() << "no Xvfb";
    DisplayInfo d[3] = {};
    d[0] = DisplayInfo{"Adapter A", "Monitor A", {0, 0, 1024, 768}, {0, 0, 1024, 740}, {1024, 768, 32, 0}, nullptr, 0, false};
    d[1] = DisplayInfo{"Mirror", "Mirror monitor", {0, 0, 1024, 768}, {0, 0, 1024, 768}, {1024, 768, 32, 0}, nullptr, 0, true};
    d[2] = DisplayInfo{"Adapter B", "Monitor B", {1024, 168, 1824, 768}, {1024, 168, 1824, 768}, {800, 600, 16, 60}, nullptr, 0, false};
    SetDisplaysForTesting(d, 3);
  }
  void TearDown() override { ClearDisplaysForTesting(); }
};

// Where the X server has the window: its root position and size.
RECT OnScreen(Display* x, unsigned long window) {
  XWindowAttributes a{};
  XGetWindowAttributes(x, window, &a);
  int rootX = 0, rootY = 0;
  ::Window child = 0;
  XTranslateCoordinates(x, window, DefaultRootWindow(x), 0, 0, &rootX, &rootY, &child);
  return RECT{rootX, rootY, rootX + a.width, rootY + a.height};
}

TEST_F(SaverWindows, EachMonitorGetsItsOwnCoveringWindow) {
  ScreenSaverApp app;
  app.setMode(RunMode::Saver);
  app.EnumerateMonitors();
  const auto& m = app.monitors();
  ASSERT_EQ(m.size(), 2u);  // the mirror is passed over
  EXPECT_STREQ(m[0].adapterDescription, "Adapter A");
  EXPECT_STREQ(m[0].monitorDescription, "Monitor A");
  EXPECT_STREQ(m[1].monitorDescription, "Monitor B");
  EXPECT_EQ(m[0].rect.right, 1024);
  EXPECT_EQ(m[1].rect.left, 1024);
  EXPECT_EQ(m[1].rect.top, 168);
  EXPECT_EQ(m[1].rect.right, 1824);
  EXPECT_EQ(m[1].rect.bottom, 768);
  ASSERT_NE(m[0].monitor, nullptr);
  ASSERT_NE(m[1].monitor, nullptr);
  EXPECT_NE(m[0].monitor, m[1].monitor);

  ASSERT_EQ(app.CreateSaverWindows(), S_OK);
  ASSERT_NE(m[0].window, nullptr);
  ASSERT_NE(m[1].window, nullptr);
  EXPECT_NE(m[0].window, m[1].window);
  EXPECT_EQ(app.mainWindow(), m[0].window);  // the device is made on the first

  Display* x = XOpenDisplay(g_xvfb->display().c_str());
  ASSERT_NE(x, nullptr);
  for (const MonitorEntry& e : m) {
    EXPECT_TRUE(IsWindowVisible(e.window));
    const RECT r = OnScreen(x, X11WindowOf(e.window));
    EXPECT_EQ(r.left, e.rect.left) << e.monitorDescription;
    EXPECT_EQ(r.top, e.rect.top) << e.monitorDescription;
    EXPECT_EQ(r.right, e.rect.right) << e.monitorDescription;
    EXPECT_EQ(r.bottom, e.rect.bottom) << e.monitorDescription;
  }
  XCloseDisplay(x);
  for (const MonitorEntry& e : m) DestroyWindow(e.window);
}

}  // namespace
