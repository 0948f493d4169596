// Real windows under Xvfb: creation of every kind, input injected with XTest (xdotool)
// arriving as messages, painting into a foreign window's child, focus loss, close
// requests, FindWindowA across processes and a clean end on SIGTERM.
// gtest before Xlib: Xlib's macros (None, Bool) clash with gtest's names.
#include <gtest/gtest.h>
// clang-format off
#include <SDL.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/clock.h"
#include "platform/win32/gdi.h"
#include "platform/win32/messages.h"
#include "platform/win32/monitors.h"
#include "platform/win32/native_window.h"
#include "platform/win32/window.h"
#include "support/xvfb_server.h"

extern char** environ;
using namespace win32;

namespace {

// One Xvfb per test process (CTest runs each test in its own process).
testsupport::XvfbEnvironment* const g_xvfb = testsupport::AddXvfbEnvironment(1024, 768);

struct Seen {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Seen> g_seen;

LRESULT Recorder(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  g_seen.push_back({w, m, wp, lp});
  if (m == WM_CLOSE) return 0;  // closing is the test's decision
  return DefWindowProcA(w, m, wp, lp);
}

// Paints a picture at the top-left corner in WM_PAINT, as the preview window does.
LRESULT PicturePainter(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m != WM_PAINT) return Recorder(w, m, wp, lp);
  g_seen.push_back({w, m, wp, lp});
  std::vector<DWORD> pic(16 * 8, 0x3366CC);
  HBITMAP bmp = CreateBitmapFromPixels(16, 8, pic.data());
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(w, &ps);
  HDC mem = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(dc, 0, 0, 16, 8, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  DeleteDC(mem);
  EndPaint(w, &ps);
  DeleteObject(bmp);
  return 0;
}

int Count(UINT message, HWND w = nullptr) {
  int n = 0;
  for (auto& s : g_seen) n += s.message == message && (!w || s.window == w);
  return n;
}
const Seen* Last(UINT message) {
  for (auto it = g_seen.rbegin(); it != g_seen.rend(); ++it) {
    if (it->message == message) return &*it;
  }
  return nullptr;
}

void Pump(int ms) {
  DWORD end = timeGetTime() + static_cast<DWORD>(ms);
  MSG m;
  while (static_cast<std::int32_t>(timeGetTime() - end) < 0) {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    Sleep(5);
  }
}

// Pumps until pred holds or the time is up.
template <typename P>
bool PumpUntil(P pred, int ms = 3000) {
  DWORD end = timeGetTime() + static_cast<DWORD>(ms);
  while (static_cast<std::int32_t>(timeGetTime() - end) < 0) {
    Pump(10);
    if (pred()) return true;
  }
  return false;
}

// xdotool on the test display; its exit status.
int Xdotool(const std::string& args) {
  int status = -1;
  testsupport::Capture("xdotool " + args + " 2>/dev/null", &status);
  return status;
}

class WindowE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_xvfb->display().empty()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(DisplayAvailable());
    g_seen.clear();
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = Recorder;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "E2E Class";
    RegisterClassA(&wc);
    wc.lpfnWndProc = PicturePainter;
    wc.lpszClassName = "E2E Painter";
    RegisterClassA(&wc);
    x_ = XOpenDisplay(nullptr);
    ASSERT_NE(x_, nullptr);
  }
  void TearDown() override {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) DestroyWindow(*it);
    Pump(20);
    if (x_) XCloseDisplay(x_);
  }
  HWND Make(DWORD ex, DWORD style, int x, int y, int w, int h, HWND parent = nullptr) {
    HWND hwnd = CreateWindowExA(ex, "E2E Class", "D3D SS", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
    if (hwnd) made_.push_back(hwnd);
    return hwnd;
  }
  // A plain X11 window of another client, as a control panel or a daemon would own.
  Window Foreign(int w, int h) {
    Window win = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 600, 400, static_cast<unsigned>(w),
                                     static_cast<unsigned>(h), 0, 0, WhitePixel(x_, 0));
    XMapWindow(x_, win);
    XSync(x_, False);
    return win;
  }
  Window XParentOf(Window w) {
    Window root, parent, *kids = nullptr;
    unsigned n = 0;
    if (!XQueryTree(x_, w, &root, &parent, &kids, &n)) return 0;
    if (kids) XFree(kids);
    return parent;
  }
  unsigned long ScreenPixel(Window w, int x, int y) {
    XImage* img = XGetImage(x_, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!img) return ~0ul;
    unsigned long p = XGetPixel(img, 0, 0) & 0xFFFFFF;
    XDestroyImage(img);
    return p;
  }
  Display* x_ = nullptr;
  std::vector<HWND> made_;
};

TEST_F(WindowE2E, MonitorOfXvfbAndFullScreenPopupTakesInput) {
  if (!testsupport::Have("xdotool")) GTEST_SKIP() << "xdotool is not installed";
  DISPLAY_DEVICEA dev{};
  dev.cb = sizeof dev;
  ASSERT_TRUE(EnumDisplayDevicesA(nullptr, 0, &dev, 0));
  EXPECT_TRUE(dev.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE);
  EXPECT_FALSE(EnumDisplayDevicesA(nullptr, 1, &dev, 0));
  DEVMODEA dm{};
  ASSERT_TRUE(EnumDisplaySettingsA("\\\\.\\DISPLAY1", ENUM_CURRENT_SETTINGS, &dm));
  EXPECT_EQ(dm.dmPelsWidth, 1024u);
  EXPECT_EQ(dm.dmPelsHeight, 768u);
  EXPECT_EQ(dm.dmDisplayFrequency, 0u);
  RECT mr{0, 0, 1024, 768};
  ASSERT_NE(MonitorFromRect(&mr, MONITOR_DEFAULTTONULL), nullptr);

  HWND h = Make(WS_EX_TOPMOST, WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768);
  ASSERT_NE(h, nullptr);
  ASSERT_NE(SdlWindowOf(h), nullptr);
  EXPECT_TRUE(SDL_GetWindowFlags(SdlWindowOf(h)) & SDL_WINDOW_OPENGL);
  EXPECT_EQ(WindowFromSdlId(SDL_GetWindowID(SdlWindowOf(h))), h);
  RECT c;
  ASSERT_TRUE(GetClientRect(h, &c));
  EXPECT_EQ(c.right, 1024);
  EXPECT_EQ(c.bottom, 768);
  ASSERT_TRUE(PumpUntil([&] { return Count(WM_PAINT, h) > 0; }));
  EXPECT_EQ(ScreenPixel(X11WindowOf(h), 10, 10), 0u) << "the black class background";

  SetCursor(nullptr);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  g_seen.clear();
  ASSERT_EQ(Xdotool("mousemove 100 120"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(WM_MOUSEMOVE, h) > 0; }));
  const Seen* mv = Last(WM_MOUSEMOVE);
  EXPECT_EQ(GET_X_LPARAM(mv->lParam), 100);
  EXPECT_EQ(GET_Y_LPARAM(mv->lParam), 120);
  // WM_SETCURSOR comes first, for the client area.
  ASSERT_GT(Count(WM_SETCURSOR, h), 0);
  EXPECT_EQ(LOWORD(static_cast<std::uintptr_t>(Last(WM_SETCURSOR)->lParam)), HTCLIENT);
  // The default procedure put the class arrow back.
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);

  ASSERT_EQ(Xdotool("click 1"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(WM_LBUTTONUP, h) > 0; }));
  EXPECT_EQ(Count(WM_LBUTTONDOWN, h), 1);
  ASSERT_EQ(Xdotool("click 3"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(WM_RBUTTONDOWN, h) > 0; }));
  ASSERT_EQ(Xdotool("click 2"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(WM_MBUTTONDOWN, h) > 0; }));

  ASSERT_EQ(Xdotool("key q"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(WM_KEYUP, h) > 0; }));
  const Seen* kd = Last(WM_KEYDOWN);
  ASSERT_NE(kd, nullptr);
  EXPECT_EQ(kd->wParam, static_cast<WPARAM>('Q'));
  EXPECT_EQ(Last(WM_CHAR)->wParam, static_cast<WPARAM>('q'));
  ASSERT_EQ(Xdotool("key Escape"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Last(WM_KEYDOWN)->wParam == VK_ESCAPE; }));
}

TEST_F(WindowE2E, CaptionedTestWindowHasTheRequestedClientArea) {
  RECT r{50, 50, 650, 450};
  DWORD style = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRect(&r, style, FALSE);
  HWND h = Make(0, style, r.left, r.top, r.right - r.left, r.bottom - r.top);
  ASSERT_NE(h, nullptr);
  RECT c;
  GetClientRect(h, &c);
  EXPECT_EQ(c.right, 600);
  EXPECT_EQ(c.bottom, 400);
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(x_, X11WindowOf(h), &a));
  EXPECT_EQ(a.width, 600);
  EXPECT_EQ(a.height, 400);
  EXPECT_EQ(FindWindowA("e2e class", "D3D SS"), h);
  char title[32];
  GetWindowTextA(h, title, sizeof title);
  EXPECT_STREQ(title, "D3D SS");
  EXPECT_STREQ(SDL_GetWindowTitle(SdlWindowOf(h)), "D3D SS");
}

TEST_F(WindowE2E, ChildOfAForeignWindowPaintsAndDiesWithIt) {
  if (!testsupport::Have("xdotool")) GTEST_SKIP() << "xdotool is not installed";
  Window parent = Foreign(320, 240);
  HWND foreign = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(parent));
  RECT pr;
  ASSERT_TRUE(GetClientRect(foreign, &pr));
  EXPECT_EQ(pr.right, 320);
  EXPECT_EQ(pr.bottom, 240);
  AdjustWindowRect(&pr, WS_CHILD | WS_VISIBLE, FALSE);
  HWND h = CreateWindowExA(0, "E2E Painter", "", WS_CHILD | WS_VISIBLE, pr.left, pr.top, pr.right - pr.left,
                           pr.bottom - pr.top, foreign, nullptr, nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  made_.push_back(h);
  EXPECT_EQ(GetParent(h), foreign);
  EXPECT_EQ(XParentOf(X11WindowOf(h)), parent);
  RECT wr;
  GetWindowRect(h, &wr);
  EXPECT_EQ(wr.left, 600) << "screen position of the foreign parent";
  EXPECT_EQ(wr.top, 400);
  ASSERT_TRUE(PumpUntil([&] { return Count(WM_PAINT, h) > 0; }));
  Pump(100);  // later exposures repaint the same picture
  EXPECT_EQ(ScreenPixel(X11WindowOf(h), 3, 3), 0x3366CCu);
  EXPECT_EQ(ScreenPixel(X11WindowOf(h), 15, 7), 0x3366CCu);
  EXPECT_EQ(ScreenPixel(X11WindowOf(h), 16, 3), 0u) << "the black class background around it";
  EXPECT_EQ(ScreenPixel(X11WindowOf(h), 100, 100), 0u);
  // Input inside the child arrives as its messages, in its client coordinates.
  ASSERT_EQ(Xdotool("mousemove 650 450 click 1"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(WM_LBUTTONUP, h) > 0; }));
  EXPECT_EQ(Count(WM_LBUTTONDOWN, h), 1);
  const Seen* mv = Last(WM_MOUSEMOVE);
  ASSERT_NE(mv, nullptr);
  EXPECT_EQ(GET_X_LPARAM(mv->lParam), 50);
  EXPECT_EQ(GET_Y_LPARAM(mv->lParam), 50);
  // The control panel closes the preview: our child is destroyed with WM_DESTROY.
  XDestroyWindow(x_, parent);
  XSync(x_, False);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(h); }));
  EXPECT_EQ(Count(WM_DESTROY, h), 1);
  // A handle that is not a window at all is refused.
  EXPECT_EQ(Make(0, WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, foreign), nullptr);
}

// What can be seen of our windows: a child of a foreign window and a top-level popup go
// Hidden when another client's window covers them whole or when they (or an ancestor) are
// unmapped, and Visible again after; partly covered counts as seen. The display's power
// state comes from DPMS, which Xvfb lacks, so it is scripted.
TEST_F(WindowE2E, SightFollowsMappingCoveringAndDisplayPower) {
  Window parent = Foreign(200, 150);  // at 600, 400 on the screen
  HWND child = CreateWindowExA(0, "E2E Class", "", WS_CHILD | WS_VISIBLE, 0, 0, 200, 150,
                               reinterpret_cast<HWND>(static_cast<std::uintptr_t>(parent)), nullptr, nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  made_.push_back(child);
  HWND popup = Make(0, WS_POPUP | WS_VISIBLE, 50, 50, 160, 120);
  ASSERT_NE(popup, nullptr);
  auto sightIs = [](HWND h, WindowSight want) { return PumpUntil([&] { return QueryWindowSight(h) == want; }); };
  EXPECT_TRUE(sightIs(child, WindowSight::Visible));
  EXPECT_TRUE(sightIs(popup, WindowSight::Visible));

  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.background_pixel = WhitePixel(x_, 0);
  Window cover = XCreateWindow(x_, DefaultRootWindow(x_), 590, 390, 220, 170, 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
  XMapRaised(x_, cover);
  XSync(x_, False);
  EXPECT_TRUE(sightIs(child, WindowSight::Hidden)) << "covered whole";
  EXPECT_EQ(QueryWindowSight(popup), WindowSight::Visible) << "the cover is elsewhere";
  XMoveWindow(x_, cover, 700, 390);
  XSync(x_, False);
  EXPECT_TRUE(sightIs(child, WindowSight::Visible)) << "partly covered";
  XMoveWindow(x_, cover, 40, 40);
  XSync(x_, False);
  EXPECT_TRUE(sightIs(popup, WindowSight::Hidden));
  EXPECT_TRUE(sightIs(child, WindowSight::Visible));
  XUnmapWindow(x_, cover);
  XSync(x_, False);
  EXPECT_TRUE(sightIs(popup, WindowSight::Visible));

  // The foreign parent unmapped: its child cannot be seen, though it is still mapped itself.
  XUnmapWindow(x_, parent);
  XSync(x_, False);
  EXPECT_EQ(QueryWindowSight(child), WindowSight::Hidden);
  XMapWindow(x_, parent);
  XSync(x_, False);
  EXPECT_TRUE(sightIs(child, WindowSight::Visible));
  ShowWindow(popup, SW_HIDE);
  EXPECT_TRUE(sightIs(popup, WindowSight::Hidden));

  // The screen asleep outranks everything else; the real query again afterwards.
  SetDisplayAsleepQueryForTesting([] { return true; });
  EXPECT_EQ(QueryWindowSight(child), WindowSight::DisplayAsleep);
  SetDisplayAsleepQueryForTesting(nullptr);
  EXPECT_EQ(QueryWindowSight(child), WindowSight::Visible);
  // Handles that are not windows of ours give nothing to decide on: drawing goes on.
  EXPECT_EQ(QueryWindowSight(nullptr), WindowSight::Visible);
  XDestroyWindow(x_, cover);
  XDestroyWindow(x_, parent);
  XSync(x_, False);
}

TEST_F(WindowE2E, AdoptTheRootWindowAndChildOfDesktop) {
  unsigned long root = X11WindowOf(GetDesktopWindow());
  ASSERT_EQ(root, DefaultRootWindow(x_));
  RECT r;
  ASSERT_TRUE(GetClientRect(GetDesktopWindow(), &r));
  EXPECT_EQ(r.right, 1024);
  HWND h = AdoptNativeWindow("E2E Class", root, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Count(WM_CREATE, h), 1);
  ASSERT_NE(SdlWindowOf(h), nullptr);
  GetClientRect(h, &r);
  EXPECT_EQ(r.bottom, 768);
  DestroyWindow(h);
  XWindowAttributes a;
  EXPECT_TRUE(XGetWindowAttributes(x_, root, &a)) << "the root window is not destroyed";
  HWND c = Make(0, WS_CHILD | WS_VISIBLE, 10, 20, 100, 50, GetDesktopWindow());
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(XParentOf(X11WindowOf(c)), root);
}

TEST_F(WindowE2E, OwnedWindowsGoWithTheirOwnerAndFocusLossDeactivates) {
  HWND main = Make(WS_EX_TOPMOST, WS_POPUP | WS_VISIBLE, 0, 0, 400, 300);
  HWND second = Make(WS_EX_TOPMOST, WS_POPUP | WS_VISIBLE, 500, 0, 200, 200, main);
  ASSERT_NE(main, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetParent(second), main);
  ASSERT_TRUE(PumpUntil([&] { return Last(WM_ACTIVATEAPP) && Last(WM_ACTIVATEAPP)->wParam == TRUE; }));
  // Focus moves between our own windows: no deactivation.
  g_seen.clear();
  SDL_SetWindowInputFocus(SdlWindowOf(main));
  Pump(400);
  EXPECT_EQ(Count(WM_ACTIVATEAPP), 0);
  // Focus moves to another client's window: every top-level window hears WM_ACTIVATEAPP 0.
  Window other = Foreign(50, 50);
  XSetInputFocus(x_, other, RevertToNone, CurrentTime);
  XSync(x_, False);
  ASSERT_TRUE(PumpUntil([&] { return Count(WM_ACTIVATEAPP, main) > 0; }));
  EXPECT_EQ(Last(WM_ACTIVATEAPP)->wParam, static_cast<WPARAM>(FALSE));
  g_seen.clear();
  DestroyWindow(main);
  EXPECT_FALSE(IsWindow(second));
  ASSERT_GE(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[0].window, second) << "the owned window is destroyed first";
  XDestroyWindow(x_, other);
}

TEST_F(WindowE2E, WindowManagerCloseRequestBecomesWmClose) {
  HWND h = Make(0, WS_VISIBLE | WS_CAPTION | WS_SYSMENU, 10, 10, 200, 100);
  ASSERT_NE(h, nullptr);
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = X11WindowOf(h);
  ev.xclient.message_type = XInternAtom(x_, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(x_, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(x_, X11WindowOf(h), False, NoEventMask, &ev);
  XSync(x_, False);
  ASSERT_TRUE(PumpUntil([&] { return Count(WM_CLOSE, h) > 0; }));
  EXPECT_TRUE(IsWindow(h)) << "the procedure decides; this one keeps the window";
}

// What the Direct3D stand-in does with our windows: a GL context on the SDL window, a
// clear and a swap; the colour must reach the X11 window.
bool ClearWithGl(HWND h, float r, float g, float b) {
  SDL_Window* sdl = SdlWindowOf(h);
  if (!sdl) return false;
  SDL_GLContext ctx = SDL_GL_CreateContext(sdl);
  if (!ctx) return false;
  using ClearColorFn = void (*)(float, float, float, float);
  using ClearFn = void (*)(unsigned);
  using FinishFn = void (*)();
  auto clearColor = reinterpret_cast<ClearColorFn>(SDL_GL_GetProcAddress("glClearColor"));
  auto clear = reinterpret_cast<ClearFn>(SDL_GL_GetProcAddress("glClear"));
  auto finish = reinterpret_cast<FinishFn>(SDL_GL_GetProcAddress("glFinish"));
  bool ok = clearColor && clear && finish;
  if (ok) {
    clearColor(r, g, b, 1.0f);
    clear(0x00004000);  // GL_COLOR_BUFFER_BIT
    SDL_GL_SwapWindow(sdl);
    finish();
  }
  SDL_GL_MakeCurrent(sdl, nullptr);
  SDL_GL_DeleteContext(ctx);
  return ok;
}

TEST_F(WindowE2E, GlRendersIntoPopupForeignChildAndAdoptedWindow) {
  HWND popup = Make(WS_EX_TOPMOST, WS_POPUP | WS_VISIBLE, 0, 0, 300, 200);
  ASSERT_NE(popup, nullptr);
  Pump(50);
  ASSERT_TRUE(ClearWithGl(popup, 1.0f, 0.0f, 0.0f)) << SDL_GetError();
  XSync(x_, False);
  EXPECT_EQ(ScreenPixel(X11WindowOf(popup), 150, 100), 0xFF0000u);

  Window parent = Foreign(160, 120);
  HWND child = Make(0, WS_CHILD | WS_VISIBLE, 0, 0, 160, 120, reinterpret_cast<HWND>(static_cast<std::uintptr_t>(parent)));
  ASSERT_NE(child, nullptr);
  Pump(50);
  ASSERT_TRUE(ClearWithGl(child, 0.0f, 1.0f, 0.0f)) << SDL_GetError();
  XSync(x_, False);
  EXPECT_EQ(ScreenPixel(X11WindowOf(child), 80, 60), 0x00FF00u);

  Window daemonWindow = Foreign(100, 80);
  HWND adopted = AdoptNativeWindow("E2E Class", daemonWindow, nullptr);
  ASSERT_NE(adopted, nullptr);
  made_.push_back(adopted);
  ASSERT_TRUE(ClearWithGl(adopted, 0.0f, 0.0f, 1.0f)) << SDL_GetError();
  XSync(x_, False);
  EXPECT_EQ(ScreenPixel(daemonWindow, 50, 40), 0x0000FFu);
}

// Runs the helper; returns its pid and a stream of its output.
pid_t Spawn(const std::vector<std::string>& args, FILE** out) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
  posix_spawn_file_actions_addclose(&fa, fds[0]);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0].c_str(), &fa, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  close(fds[1]);
  *out = fdopen(fds[0], "r");
  return pid;
}

TEST_F(WindowE2E, SecondProcessSeesTheSaverWindowAndSigtermEndsItCleanly) {
  FILE* out = nullptr;
  pid_t pid = Spawn({HOARDEL_WINDOW_HELPER}, &out);
  ASSERT_GT(pid, 0);
  char line[128] = {0};
  ASSERT_NE(fgets(line, sizeof line, out), nullptr);
  unsigned long xid = 0;
  ASSERT_EQ(sscanf(line, "ready %lu", &xid), 1) << line;
  EXPECT_EQ(FindWindowA("QL D3D SS", nullptr), reinterpret_cast<HWND>(static_cast<std::uintptr_t>(xid)));
  EXPECT_NE(FindWindowA(nullptr, "D3D SS"), nullptr);
  FILE* finder = nullptr;
  pid_t f = Spawn({HOARDEL_WINDOW_HELPER, "find"}, &finder);
  char found[32] = {0};
  ASSERT_NE(fgets(found, sizeof found, finder), nullptr);
  EXPECT_STREQ(found, "found\n");
  waitpid(f, nullptr, 0);
  fclose(finder);

  kill(pid, SIGTERM);
  ASSERT_NE(fgets(line, sizeof line, out), nullptr);
  EXPECT_STREQ(line, "clean end 15 destroyed 1\n");
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  fclose(out);
  EXPECT_EQ(FindWindowA("QL D3D SS", nullptr), nullptr) << "the entry went with the window";
}

}  // namespace
