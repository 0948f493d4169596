// The real executable: capture without a display, and the run modes under a private Xvfb
// (test window, full-screen saver, second copy, preview into a foreign window, drawing into a
// daemon's window, configuration mode).
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on
#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "support/child_process.h"
#include "support/xvfb_server.h"

namespace fs = std::filesystem;
using testsupport::Child;
using testsupport::Have;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

const char* const kExe = HOARDEL_EXECUTABLE;

// Runs the program with the environment changes; stderr goes to a file.
Child Spawn(const std::vector<std::string>& args, const testsupport::EnvOverrides& env, const std::string& errFile) {
  return testsupport::Spawn(kExe, args, env, errFile);
}

struct Image {
  unsigned width = 0, height = 0;
  std::vector<unsigned char> rgba;
  const unsigned char* at(unsigned x, unsigned y) const { return &rgba[(y * width + x) * 4]; }
};

bool ReadPng(const std::string& path, Image* img) {
  png_image p{};
  p.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&p, path.c_str())) return false;
  p.format = PNG_FORMAT_RGBA;
  img->width = p.width;
  img->height = p.height;
  img->rgba.resize(PNG_IMAGE_SIZE(p));
  return png_image_finish_read(&p, nullptr, img->rgba.data(), 0, nullptr) != 0;
}

// Stores the settings where the child will read them (the registry follows
// XDG_CONFIG_HOME at every call).
void StoreSettings(const std::string& configHome, const SaverSettings& settings) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
  const SettingsSaveResult result = WriteSettings(settings);
  EXPECT_TRUE(result.ok) << result.reason;
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

testsupport::EnvOverrides BaseEnv(const TempDir& t) {
  fs::create_directories(t / "config");
  fs::create_directories(t / "run");
  fs::create_directories(t / "tmp");
  chmod((t / "run").c_str(), 0700);
  return {{"XDG_CONFIG_HOME", t / "config"}, {"XDG_RUNTIME_DIR", t / "run"}, {"TMPDIR", t / "tmp"},
          {"HOARDEL_MESSAGEBOX", "stderr"},  {"SDL_AUDIODRIVER", "dummy"},   {"XSCREENSAVER_WINDOW", ""}};
}

// Bright pixels in the clock's band (bottom right), where the glyphs are drawn.
int ClockBandBrightPixels(const Image& img) {
  int n = 0;
  for (unsigned y = img.height * 92 / 100; y < img.height; ++y)
    for (unsigned x = img.width / 2; x < img.width; ++x) {
      const unsigned char* p = img.at(x, y);
      n += (p[0] > 150 && p[1] > 150) ? 1 : 0;
    }
  return n;
}

TEST(SaverCapture, WritesTheLoadingScreenAndClockFrames) {
  TempDir t;
  auto env = BaseEnv(t);
  env["DISPLAY"] = "";
  Image styles[2];
  for (int style = 0; style < 2; ++style) {
    SaverSettings s;
    s.ShowTime = 1;
    s.ShowFPS = 1;
    s.DigClock_24H = static_cast<std::uint8_t>(style);
    StoreSettings(t / "config", s);
    const std::string out = t / ("cap" + std::to_string(style));
    Child c = Spawn({"--capture", out, "--frames", "3", "--size", "640x480", "--time", "13:00:00", "--seed", "7"},
                    env, t / "cap.err");
    ASSERT_EQ(c.WaitExit(120), 0) << ReadFile(t / "cap.err");
    EXPECT_TRUE(fs::exists(out + "/loading.png"));
    EXPECT_TRUE(fs::exists(out + "/frame-0003.png"));
    EXPECT_FALSE(fs::exists(out + "/frame-0001.png"));  // only the last one without --every
    Image& img = styles[style];
    ASSERT_TRUE(ReadPng(out + "/frame-0003.png", &img));
    EXPECT_EQ(img.width, 640u);
    EXPECT_EQ(img.height, 480u);
    // The scene drew the room: most of the picture above the clock is neither the base
    // class's blue clear nor black.
    int lit = 0, total = 0;
    for (unsigned y = 0; y < img.height * 9 / 10; y += 4)
      for (unsigned x = 0; x < img.width; x += 4) {
        const unsigned char* p = img.at(x, y);
        bool blueClear = p[0] == 0 && p[1] == 0 && p[2] == 255;
        lit += (!blueClear && p[0] + p[1] + p[2] > 30) ? 1 : 0;
        ++total;
      }
    EXPECT_GT(lit, total / 2) << "the room was not drawn";
    EXPECT_GT(ClockBandBrightPixels(img), 50) << "no clock drawn";
    Image loading;
    ASSERT_TRUE(ReadPng(out + "/loading.png", &loading));
    EXPECT_NE(loading.at(320, 240)[2], 255) << "the loading screen is not the blue clear";
  }
  // The two styles draw different glyphs ("1:00:00 PM" against "13:00:00").
  ASSERT_EQ(styles[0].rgba.size(), styles[1].rgba.size());
  EXPECT_NE(styles[0].rgba, styles[1].rgba);
}

TEST(SaverCapture, EveryKAndStatsAndBadArguments) {
  TempDir t;
  auto env = BaseEnv(t);
  env["DISPLAY"] = "";
  const std::string out = t / "every";
  Child c = Spawn({"--capture", out, "--frames", "4", "--every", "2", "--size", "160x120", "--stats"}, env,
                  t / "e.err");
  ASSERT_EQ(c.WaitExit(120), 0) << ReadFile(t / "e.err");
  EXPECT_TRUE(fs::exists(out + "/frame-0002.png"));
  EXPECT_TRUE(fs::exists(out + "/frame-0004.png"));
  EXPECT_FALSE(fs::exists(out + "/frame-0003.png"));
  Child bad = Spawn({"--capture", out, "--frames", "zero"}, env, t / "b.err");
  EXPECT_EQ(bad.WaitExit(30), 2);
  EXPECT_NE(ReadFile(t / "b.err").find("--frames"), std::string::npos);
}

// --- under Xvfb ----------------------------------------------------------------------------

class Xvfb : public testsupport::XvfbServer {
 public:
  Xvfb() {
    if (XvfbServer::ok()) dpy_ = XOpenDisplay(name().c_str());
  }
  ~Xvfb() {
    if (dpy_) XCloseDisplay(dpy_);
  }
  bool ok() const { return dpy_ != nullptr; }
  Display* dpy() const { return dpy_; }

  // Top-level windows titled "D3D SS" (our saver windows), searched through the tree.
  std::vector<Window> SaverWindows() {
    std::vector<Window> found;
    Walk(DefaultRootWindow(dpy_), found);
    return found;
  }
  Window WaitSaverWindow(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
      auto w = SaverWindows();
      if (!w.empty()) return w[0];
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
  }
  bool Xdotool(const std::string& args, bool mustWork = true) {
    int status = -1;
    XvfbServer::Xdotool(args, &status);
    const bool ok = status == 0;
    if (!ok && mustWork) ADD_FAILURE() << "xdotool " << args;
    return ok;
  }

 private:
  void Walk(Window w, std::vector<Window>& found) {
    char* name = nullptr;
    if (XFetchName(dpy_, w, &name) && name) {
      if (std::string(name) == "D3D SS") found.push_back(w);
      XFree(name);
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (XQueryTree(dpy_, w, &root, &parent, &children, &n)) {
      for (unsigned i = 0; i < n; ++i) Walk(children[i], found);
      if (children) XFree(children);
    }
  }
  Display* dpy_ = nullptr;
};

#define NEED_XVFB(x)                                              \
  if (!(x).ok()) GTEST_SKIP() << "Xvfb is not available here"

TEST(SaverE2E, TestWindowIgnoresKeysAndEndsOnMouseMoves) {
  Xvfb x;
  NEED_XVFB(x);
  if (!Have("xdotool")) GTEST_SKIP() << "xdotool is not available";
  TempDir t;
  auto env = BaseEnv(t);
  env["DISPLAY"] = x.name();
  SaverSettings s;
  s.ExitOnMouseMove = 1;
  StoreSettings(t / "config", s);
  Child c = Spawn({"/t"}, env, t / "t.err");
  Window w = x.WaitSaverWindow(30);
  ASSERT_NE(w, 0u) << ReadFile(t / "t.err");
  XWindowAttributes a{};
  XGetWindowAttributes(x.dpy(), w, &a);
  EXPECT_EQ(a.width, 600);
  EXPECT_EQ(a.height, 400);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  x.Xdotool("mousemove --window " + std::to_string(w) + " 100 100");
  x.Xdotool("windowfocus " + std::to_string(w));
  x.Xdotool("key a");
  x.Xdotool("click 1");
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  ASSERT_TRUE(c.Running()) << "keys or clicks ended the test window: " << ReadFile(t / "t.err");
  // A few moves are tolerated...
  for (int i = 0; i < 10; ++i) x.Xdotool("mousemove --window " + std::to_string(w) + " " +
                                         std::to_string(120 + i * 7) + " " + std::to_string(110 + (i % 2) * 9));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(c.Running());
  // ... more than 30 end it.
  // (The window goes away once the saver has ended, so later moves may find nothing.)
  for (int i = 0; i < 40 && c.Running(); ++i)
    x.Xdotool("mousemove --window " + std::to_string(w) + " " + std::to_string(200 + (i % 10) * 11) + " " +
                  std::to_string(150 + (i % 3) * 13),
              false);
  EXPECT_EQ(c.WaitExit(20), 0) << ReadFile(t / "t.err");
}

TEST(SaverE2E, SaverEndsOnFirstKeyAndASecondCopyExitsAtOnce) {
  Xvfb x;
  NEED_XVFB(x);
  if (!Have("xdotool")) GTEST_SKIP() << "xdotool is not available";
  TempDir t;
  auto env = BaseEnv(t);
  env["DISPLAY"] = x.name();
  Child first = Spawn({"/s"}, env, t / "s1.err");
  Window w = x.WaitSaverWindow(30);
  ASSERT_NE(w, 0u) << ReadFile(t / "s1.err");
  XWindowAttributes a{};
  XGetWindowAttributes(x.dpy(), w, &a);
  EXPECT_EQ(a.width, 1024);
  EXPECT_EQ(a.height, 768);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(first.Running()) << ReadFile(t / "s1.err");
  const auto start = std::chrono::steady_clock::now();
  Child second = Spawn({"/s"}, env, t / "s2.err");
  EXPECT_EQ(second.WaitExit(20), 0);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
  EXPECT_EQ(x.SaverWindows().size(), 1u);
  ASSERT_TRUE(first.Running());
  x.Xdotool("mousemove --window " + std::to_string(w) + " 300 300");
  x.Xdotool("key space");
  EXPECT_EQ(first.WaitExit(20), 0) << ReadFile(t / "s1.err");
  EXPECT_TRUE(x.SaverWindows().empty());
}

Window MakeForeignWindow(Display* d, int w, int h) {
  Window win = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, static_cast<unsigned>(w),
                                   static_cast<unsigned>(h), 0, 0, 0);
  XMapWindow(d, win);
  XSync(d, False);
  return win;
}

// Counts pixels of the window's area on screen that match a predicate.
template <typename F>
int CountPixels(Display* d, Window win, int w, int h, F match) {
  XImage* img = XGetImage(d, win, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (!img) return -1;
  int n = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned long p = XGetPixel(img, x, y);
      n += match((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF) ? 1 : 0;
    }
  XDestroyImage(img);
  return n;
}

// Looks at the window every 100 ms, at most `tries` times, until `want` of its pixels are
// brighter than `level` (r + g + b); returns the last count.
int WaitForLitPixels(Display* d, Window win, int w, int h, int want, int tries, unsigned level = 40) {
  int n = 0;
  for (int i = 0; i < tries && n < want; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    n = CountPixels(d, win, w, h, [level](unsigned r, unsigned g, unsigned b) { return r + g + b > level; });
  }
  return n;
}

TEST(SaverE2E, PreviewPaintsThePictureIntoAForeignWindow) {
  Xvfb x;
  NEED_XVFB(x);
  TempDir t;
  auto env = BaseEnv(t);
  env["DISPLAY"] = x.name();
  Window parent = MakeForeignWindow(x.dpy(), 152, 112);
  Child c = Spawn({"/p", std::to_string(parent)}, env, t / "p.err");
  const int coloured = WaitForLitPixels(x.dpy(), parent, 152, 112, 100, 100, 60);
  EXPECT_GE(coloured, 100) << ReadFile(t / "p.err");
  ASSERT_TRUE(c.Running());
  XDestroyWindow(x.dpy(), parent);
  XSync(x.dpy(), False);
  EXPECT_EQ(c.WaitExit(20), 0) << ReadFile(t / "p.err");

  // A control panel that closes at once, during the first half second, or hands over a
  // window that is already gone, ends the preview too.
  for (int delayMs : {0, 150}) {
    Window early = MakeForeignWindow(x.dpy(), 152, 112);
    Child d = Spawn({"/p", std::to_string(early)}, env, t / "p2.err");
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    XDestroyWindow(x.dpy(), early);
    XSync(x.dpy(), False);
    EXPECT_EQ(d.WaitExit(20), 0) << delayMs << " ms: " << ReadFile(t / "p2.err");
  }
}

TEST(SaverCapture, ASignalEndsTheCaptureWithItsStatusAndSaysHowFarItGot) {
  TempDir t;
  auto env = BaseEnv(t);
  env["DISPLAY"] = "";
  const std::string out = t / "cap";
  Child c = Spawn({"--capture", out, "--frames", "100000", "--every", "5", "--size", "64x36", "--dt", "0.01"}, env,
                  t / "cap.err");
  // Signalled once a few frames are on disk, in the middle of the frame loop.
  for (int i = 0; i < 1200 && !fs::exists(out + "/frame-0010.png") && c.Running(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(fs::exists(out + "/frame-0010.png")) << ReadFile(t / "cap.err");
  kill(c.pid(), SIGTERM);
  EXPECT_EQ(c.WaitExit(30), 128 + SIGTERM) << ReadFile(t / "cap.err");
  const std::string err = ReadFile(t / "cap.err");
  EXPECT_NE(err.find("capture stopped by signal 15 after "), std::string::npos) << err;
  int files = 0;
  for (const auto& e : fs::directory_iterator(out)) files += e.path().filename().string().rfind("frame-", 0) == 0;
  EXPECT_NE(err.find("; " + std::to_string(files) + " frame file"), std::string::npos) << files << " files: " << err;
}

TEST(SaverE2E, ADaemonWindowDestroyedDuringLoadingEndsTheRunWithoutADump) {
  Xvfb x;
  NEED_XVFB(x);
  TempDir t;
  auto env = BaseEnv(t);
  env["DISPLAY"] = x.name();
  Window win = MakeForeignWindow(x.dpy(), 320, 240);
  Child c = Spawn({"-window-id", std::to_string(win)}, env, t / "w.err");
  // Gone as soon as the loading screen shows, while the scene's shaders are being built.
  WaitForLitPixels(x.dpy(), win, 320, 240, 320 * 240 / 4, 300);
  XDestroyWindow(x.dpy(), win);
  XSync(x.dpy(), False);
  const int status = c.WaitExit(60);
  const std::string err = ReadFile(t / "w.err");
  EXPECT_NE(status, -1) << "still running with its window gone: " << err;
  EXPECT_EQ(err.find("void main"), std::string::npos) << "shader source on stderr: " << err.substr(0, 2000);
  EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 4) << err.substr(0, 2000);
}

TEST(SaverE2E, DrawsIntoADaemonWindowAndEndsOnSigterm) {
  Xvfb x;
  NEED_XVFB(x);
  TempDir t;
  auto env = BaseEnv(t);
  env["DISPLAY"] = x.name();
  Window win = MakeForeignWindow(x.dpy(), 320, 240);
  Child c = Spawn({"-window-id", std::to_string(win)}, env, t / "w.err");
  // The window starts black; the saver's frames (the lit room) cover most of it.
  const int drawn = WaitForLitPixels(x.dpy(), win, 320, 240, 320 * 240 / 3, 300);
  EXPECT_GE(drawn, 320 * 240 / 3) << ReadFile(t / "w.err");
  ASSERT_TRUE(c.Running()) << ReadFile(t / "w.err");
  kill(c.pid(), SIGTERM);
  EXPECT_EQ(c.WaitExit(20), 0) << ReadFile(t / "w.err");
  EXPECT_TRUE(fs::is_empty(t / "tmp")) << "temporary files were left behind";
  XDestroyWindow(x.dpy(), win);
}

// CPU seconds (user + system) the process has used so far; negative when unreadable.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return -1.0;
  // The fields after the command name, which is in parentheses and may hold blanks.
  std::istringstream rest(line.substr(line.rfind(')') + 2));
  std::string field;
  unsigned long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoul(field);
    if (i == 15) stime = std::stoul(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Percent of one core the process uses over the next `seconds`.
double CpuPercentOver(pid_t pid, double seconds) {
  const double before = CpuSeconds(pid);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double after = CpuSeconds(pid);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return 100.0 * (after - before) / wall;
}

// Covered whole by another window, the saver stops drawing and all but stops using the
// processor; uncovered, it draws again.
TEST(SaverE2E, StopsDrawingWhileItsWindowIsCovered) {
  Xvfb x;
  NEED_XVFB(x);
  TempDir t;
  auto env = BaseEnv(t);
  env["DISPLAY"] = x.name();
  Window win = MakeForeignWindow(x.dpy(), 320, 240);
  Child c = Spawn({"-window-id", std::to_string(win)}, env, t / "c.err");
  int drawn = WaitForLitPixels(x.dpy(), win, 320, 240, 320 * 240 / 3, 300);
  ASSERT_GE(drawn, 320 * 240 / 3) << ReadFile(t / "c.err");
  const double seen = CpuPercentOver(c.pid(), 2.0);

  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.background_pixel = WhitePixel(x.dpy(), 0);
  Window cover = XCreateWindow(x.dpy(), DefaultRootWindow(x.dpy()), 0, 0, 400, 300, 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
  XMapRaised(x.dpy(), cover);
  XSync(x.dpy(), False);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // the saver looks once a second
  const double covered = CpuPercentOver(c.pid(), 3.0);
  std::printf("CPU, percent of one core: drawing %.1f, covered %.2f\n", seen, covered);
  EXPECT_LT(covered, 5.0) << "drawing " << seen << " %";
  ASSERT_TRUE(c.Running()) << ReadFile(t / "c.err");

  // Uncovered, the server clears the window to its black background; the saver's next
  // frames light it again.
  XUnmapWindow(x.dpy(), cover);
  XSync(x.dpy(), False);
  drawn = WaitForLitPixels(x.dpy(), win, 320, 240, 320 * 240 / 3, 50);
  EXPECT_GE(drawn, 320 * 240 / 3) << "not drawn again after uncovering";
  kill(c.pid(), SIGTERM);
  EXPECT_EQ(c.WaitExit(20), 0) << ReadFile(t / "c.err");
  XDestroyWindow(x.dpy(), cover);
  XDestroyWindow(x.dpy(), win);
}

// Whether the window's picture changes within `ms` (the camera flies, the flames flicker).
bool PictureChanges(Display* d, Window win, int w, int h, int ms) {
  auto grab = [&] {
    std::vector<unsigned long> px;
    XImage* img = XGetImage(d, win, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!img) return px;
    for (int y = 0; y < h; y += 4)
      for (int x = 0; x < w; x += 4) px.push_back(XGetPixel(img, x, y));
    XDestroyImage(img);
    return px;
  };
  const auto before = grab();
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return grab() != before;
}

// With the screen asleep (the display's power state, scripted through a stand-in of the DPMS
// calls) the picture stands still and the processor is left alone; awake, it moves again.
TEST(SaverE2E, StopsDrawingWhileTheScreenIsAsleep) {
  Xvfb x;
  NEED_XVFB(x);
  TempDir t;
  auto env = BaseEnv(t);
  env["DISPLAY"] = x.name();
  env["LD_PRELOAD"] = HOARDEL_DPMS_SHIM;
  env["HOARDEL_TEST_DPMS_STATE"] = t / "dpms";
  auto setState = [&](const char* state) { std::ofstream(t / "dpms") << state << "\n"; };
  setState("on");
  Window win = MakeForeignWindow(x.dpy(), 320, 240);
  Child c = Spawn({"-window-id", std::to_string(win), "--no-music"}, env, t / "d.err");
  const int drawn = WaitForLitPixels(x.dpy(), win, 320, 240, 320 * 240 / 3, 300);
  ASSERT_GE(drawn, 320 * 240 / 3) << ReadFile(t / "d.err");
  // The loading screen stands still; the room's frames move.
  bool moving = false;
  for (int i = 0; i < 60 && !moving; ++i) moving = PictureChanges(x.dpy(), win, 320, 240, 500);
  ASSERT_TRUE(moving) << ReadFile(t / "d.err");

  setState("off");
  // The saver looks once a second; a frame under way may still finish.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_FALSE(PictureChanges(x.dpy(), win, 320, 240, 1000)) << "drawn while the screen sleeps";
  const double asleep = CpuPercentOver(c.pid(), 3.0);
  std::printf("CPU while the screen is asleep: %.2f %% of one core\n", asleep);
  EXPECT_LT(asleep, 5.0);
  ASSERT_TRUE(c.Running()) << ReadFile(t / "d.err");

  setState("on");
  moving = false;
  for (int i = 0; i < 6 && !moving; ++i) moving = PictureChanges(x.dpy(), win, 320, 240, 500);
  EXPECT_TRUE(moving) << "not drawn again after waking";
  kill(c.pid(), SIGTERM);
  EXPECT_EQ(c.WaitExit(20), 0) << ReadFile(t / "d.err");
  XDestroyWindow(x.dpy(), win);
}

}  // namespace
