// The real program in the configuration mode under a private Xvfb: "hoardel3d /c" shows the
// GTK dialog laid out from its template (a screenshot is written next to the test for a
// look), a second copy and a saver refuse to start while it is open, Escape cancels without
// storing, a click, a thumb drag and Return store the choices, and SIGTERM ends it cleanly.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../platform/win32/registry_test_util.h"
#include "config/settings.h"
#include "platform/win32/registry.h"
#include "support/child_process.h"
#include "support/xvfb_server.h"

using namespace win32;

namespace {

constexpr const char* kTitle = "Hoardel 3D Screensaver Configuration";

using testsupport::Child;
using testsupport::Have;

struct LayoutControl {
  int x = 0, y = 0, w = 0, h = 0, minW = 0, minH = 0;
  std::string text;
};

std::map<int, LayoutControl> ReadLayout(const std::string& path) {
  std::map<int, LayoutControl> out;
  std::ifstream f(path);
  std::string line;
  while (std::getline(f, line)) {
    if (line.rfind("control ", 0) != 0) continue;
    std::istringstream s(line.substr(8));
    int id;
    LayoutControl c;
    std::string minWord;
    s >> id >> c.x >> c.y >> c.w >> c.h >> minWord >> c.minW >> c.minH;
    std::getline(s, c.text);
    if (id != -1 || !out.count(-1)) out[id] = c;
  }
  return out;
}

bool WritePng(const std::string& path, const std::string& display) {
  Display* x = XOpenDisplay(display.c_str());
  if (!x) return false;
  Window root = DefaultRootWindow(x);
  XWindowAttributes a{};
  XGetWindowAttributes(x, root, &a);
  XImage* image = XGetImage(x, root, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
  if (!image) {
    XCloseDisplay(x);
    return false;
  }
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(a.width);
  png.height = static_cast<png_uint_32>(a.height);
  png.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> rgb(static_cast<std::size_t>(a.width) * static_cast<std::size_t>(a.height) * 3);
  for (int yy = 0; yy < a.height; ++yy)
    for (int xx = 0; xx < a.width; ++xx) {
      unsigned long p = XGetPixel(image, xx, yy);
      unsigned char* o = &rgb[(static_cast<std::size_t>(yy) * static_cast<std::size_t>(a.width) + static_cast<std::size_t>(xx)) * 3];
      o[0] = static_cast<unsigned char>(p >> 16);
      o[1] = static_cast<unsigned char>(p >> 8);
      o[2] = static_cast<unsigned char>(p);
    }
  XDestroyImage(image);
  XCloseDisplay(x);
  return png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

class ConfigModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Have("Xvfb") || !Have("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
    ASSERT_TRUE(xvfb_.ok());
    runtime_ = home_.root() + "/run";
    std::filesystem::create_directories(runtime_);
    std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
    layout_ = home_.root() + "/layout.txt";
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  }
  // The program with a clean environment of its own; its output goes to this test's.
  Child Start(const std::vector<std::string>& args) {
    testsupport::SpawnOptions options;
    options.cleanEnv = true;
    options.env = {{"DISPLAY", xvfb_.name()},     {"XDG_CONFIG_HOME", home_.root()}, {"XDG_RUNTIME_DIR", runtime_},
                   {"HOARDEL_DIALOG_LAYOUT", layout_}, {"HOARDEL_MESSAGEBOX", "stderr"},  {"SDL_AUDIODRIVER", "dummy"},
                   {"HOME", home_.root()},         {"PATH", "/usr/bin:/bin"}};
    return testsupport::Spawn(HOARDEL3D_EXE, args, options);
  }

  std::string X(const std::string& args) { return xvfb_.Xdotool(args); }

  std::vector<std::string> Windows() {
    std::vector<std::string> ids;
    std::istringstream s(X(std::string("search --onlyvisible --name '") + kTitle + "'"));
    for (std::string id; s >> id;) ids.push_back(id);
    return ids;
  }

  // Waits for the dialog and its layout; returns its window id.
  std::string WaitForDialog() {
    for (int i = 0; i < 200; ++i) {
      auto ids = Windows();
      if (!ids.empty() && !ReadLayout(layout_).empty()) return ids.front();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "";
  }

  void Origin(const std::string& window, int* x, int* y) {
    std::istringstream s(X("getwindowgeometry --shell " + window));
    for (std::string line; std::getline(s, line);) {
      if (line.rfind("X=", 0) == 0) *x = std::stoi(line.substr(2));
      if (line.rfind("Y=", 0) == 0) *y = std::stoi(line.substr(2));
    }
  }

  std::map<std::string, DWORD> Stored() {
    std::map<std::string, DWORD> out;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != 0) return out;
    for (const char* name : {"ShowFPS", "GmCntrl", "Music", "Width"}) {
      DWORD value = 0, type = 0, size = sizeof value;
      if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == 0) out[name] = value;
    }
    RegCloseKey(key);
    return out;
  }

  TempConfigHome home_;
  testsupport::XvfbServer xvfb_{800, 600};
  std::string runtime_, layout_;
};

TEST_F(ConfigModeTest, ShowsTheLaidOutDialogAndRefusesASecondCopyAndEscapeStoresNothing) {
  Child dialog = Start({"/c"});
  std::string window = WaitForDialog();
  ASSERT_FALSE(window.empty()) << "no configuration dialog appeared";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  std::string shot = std::string(HOARDEL_BINARY_DIR) + "/tests/config/config_dialog_e2e.png";
  EXPECT_TRUE(WritePng(shot, xvfb_.name()));

  auto layout = ReadLayout(layout_);
  // Every text fits its control, and the controls keep the template's arrangement.
  for (int id : {1117, 1012, 1118, 1023, 1021, 1119, 1106, 1123, 1120, 1124, 1122, 1044, 1045, 1043, 1110, 1111, 1061,
                 1062, 1063, 1, 2}) {
    ASSERT_TRUE(layout.count(id)) << id;
    EXPECT_LE(layout[id].minW, layout[id].w) << id << layout[id].text;
    EXPECT_LE(layout[id].minH, layout[id].h + 2) << id << layout[id].text;
  }
  EXPECT_EQ(layout[1].y, layout[2].y);
  EXPECT_EQ(layout[1].y, layout[1063].y);
  EXPECT_LT(layout[1061].y + layout[1061].h, layout[1].y);  // the bottom row below the Products row...
  EXPECT_LT(layout[1].y - (layout[1120].y + layout[1120].h), 40);  // ...and moved up under it
  EXPECT_LT(layout[1117].x + layout[1117].w, layout[1122].x);
  EXPECT_GT(layout[-1].w, 100);  // the picture

  // A second copy and a saver end at once while the dialog is open.
  EXPECT_EQ(Start({"/c"}).WaitExit(10), 0);
  EXPECT_EQ(Start({"/s"}).WaitExit(10), 0);
  EXPECT_EQ(Windows().size(), 1u);

  X("windowfocus --sync " + window);
  X("key Escape");
  EXPECT_EQ(dialog.WaitExit(10), 0);
  EXPECT_TRUE(Stored().empty());
}

TEST_F(ConfigModeTest, ClickDragAndReturnStoreTheChoices) {
  Child dialog = Start({});
  std::string window = WaitForDialog();
  ASSERT_FALSE(window.empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto layout = ReadLayout(layout_);
  int ox = 0, oy = 0;
  Origin(window, &ox, &oy);
  // "Show FPS": a click on its box.
  const LayoutControl& fps = layout[1044];
  X("mousemove --sync " + std::to_string(ox + fps.x + 7) + " " + std::to_string(oy + fps.y + fps.h / 2) + " click 1");
  // Gamma: the thumb dragged past the right end.
  const LayoutControl& gamma = layout[1046];
  int thumbX = ox + gamma.x + 6 + (gamma.w - 12) * (100 - 10) / 190;
  int midY = oy + gamma.y + gamma.h / 2;
  X("mousemove --sync " + std::to_string(thumbX) + " " + std::to_string(midY) + " mousedown 1");
  X("mousemove --sync " + std::to_string(thumbX + 40) + " " + std::to_string(midY));
  X("mousemove --sync " + std::to_string(ox + gamma.x + gamma.w + 60) + " " + std::to_string(midY) + " mouseup 1");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  X("key Return");
  EXPECT_EQ(dialog.WaitExit(10), 0);
  auto stored = Stored();
  EXPECT_EQ(stored["ShowFPS"], 2u);
  EXPECT_EQ(stored["GmCntrl"], 200u);
  EXPECT_EQ(stored["Music"], 2u);
  EXPECT_EQ(stored["Width"], 800u) << "Xvfb's one mode is 800 x 600";
}

TEST_F(ConfigModeTest, TerminationSignalEndsTheDialogCleanly) {
  Child dialog = Start({"/c:123"});
  ASSERT_FALSE(WaitForDialog().empty());
  kill(dialog.pid(), SIGTERM);
  EXPECT_EQ(dialog.WaitExit(5), 0);
  EXPECT_TRUE(Windows().empty());
  EXPECT_TRUE(Stored().empty());
}

}  // namespace
