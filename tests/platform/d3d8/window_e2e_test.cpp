// The device in a real window under Xvfb: frames reach the window right side up, and hiding a
// full-screen device's window makes the device lost until it is shown again and reset.
// gtest before Xlib: Xlib's macros (None, Bool) clash with gtest's names.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on
#include <string>

#include "platform/d3d8/d3d8.h"
#include "platform/win32/messages.h"
#include "platform/win32/native_window.h"
#include "platform/win32/window.h"
#include "support/xvfb_server.h"

namespace {

using namespace d3d8;

// One Xvfb per test process, on a display number it picks itself.
testsupport::XvfbEnvironment* const g_xvfb = testsupport::AddXvfbEnvironment(640, 480);

win32::LRESULT Proc(win32::HWND w, win32::UINT m, win32::WPARAM wp, win32::LPARAM lp) {
  return win32::DefWindowProcA(w, m, wp, lp);
}

// The host enumerates adapters before it makes any window: the display's modes must show all
// the same (CTest runs this in a process of its own, where nothing opened the display yet).
TEST(Direct3DWithDisplay, ModesComeFromTheDisplayBeforeAnyWindow) {
  if (g_xvfb->display().empty()) GTEST_SKIP() << "Xvfb is not available";
  IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  D3DDISPLAYMODE desktop{};
  ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
  EXPECT_EQ(desktop.Width, 640u);
  EXPECT_EQ(desktop.Height, 480u);
  d3d->Release();
}

class WindowDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_xvfb->display().empty()) GTEST_SKIP() << "Xvfb is not available";
    static bool registered = [] {
      win32::WNDCLASSA wc{};
      wc.lpfnWndProc = Proc;
      wc.lpszClassName = "D3d8WindowTest";
      return win32::RegisterClassA(&wc) != 0;
    }();
    ASSERT_TRUE(registered);
    window = win32::CreateWindowExA(0, "D3d8WindowTest", "d3d8", win32::WS_POPUP | win32::WS_VISIBLE, 0, 0, kW, kH,
                                    nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(win32::SdlWindowOf(window), nullptr);
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
  }
  void TearDown() override {
    if (dev) {
      EXPECT_EQ(dev->Release(), 0u);
    }
    if (d3d) d3d->Release();
    if (window) win32::DestroyWindow(window);
  }
  D3DPRESENT_PARAMETERS Params(bool windowed) const {
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = kW;
    pp.BackBufferHeight = kH;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = window;
    pp.Windowed = windowed ? TRUE : FALSE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    pp.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return pp;
  }
  static constexpr int kW = 64, kH = 48;
  win32::HWND window = nullptr;
  IDirect3D8* d3d = nullptr;
  IDirect3DDevice8* dev = nullptr;
};

TEST_F(WindowDeviceTest, PresentedFrameReachesTheWindowUpright) {
  D3DPRESENT_PARAMETERS pp = Params(true);
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev), D3D_OK);
  // Blue everywhere, red in the top-left quarter.
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 255), 1, 0);
  D3DRECT quarter{0, 0, kW / 2, kH / 2};
  dev->Clear(1, &quarter, D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 0, 0), 1, 0);
  ASSERT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

  Display* x = XOpenDisplay(g_xvfb->display().c_str());
  ASSERT_NE(x, nullptr);
  XSync(x, False);
  const unsigned long id = win32::X11WindowOf(window);
  ASSERT_NE(id, 0u);
  XImage* image = XGetImage(x, id, 0, 0, kW, kH, AllPlanes, ZPixmap);
  ASSERT_NE(image, nullptr);
  auto rgb = [&](int px, int py) { return XGetPixel(image, px, py) & 0xFFFFFF; };
  EXPECT_EQ(rgb(4, 4), 0xFF0000u);
  EXPECT_EQ(rgb(kW - 4, 4), 0x0000FFu);
  EXPECT_EQ(rgb(4, kH - 4), 0x0000FFu);
  EXPECT_EQ(rgb(kW - 4, kH - 4), 0x0000FFu);
  XDestroyImage(image);
  XCloseDisplay(x);
}

TEST_F(WindowDeviceTest, AdapterModesComeFromTheDisplay) {
  ASSERT_EQ(d3d->GetAdapterCount(), 1u);
  D3DDISPLAYMODE desktop{};
  ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
  EXPECT_EQ(desktop.Width, 640u);  // the Xvfb screen
  EXPECT_EQ(desktop.Height, 480u);
  EXPECT_EQ(desktop.Format, D3DFMT_X8R8G8B8);
  bool found = false;
  for (UINT i = 0; i < d3d->GetAdapterModeCount(0); ++i) {
    D3DDISPLAYMODE m{};
    ASSERT_EQ(d3d->EnumAdapterModes(0, i, &m), D3D_OK);
    found = found || (m.Width == 640 && m.Height == 480 && m.Format == D3DFMT_X8R8G8B8);
    EXPECT_LE(m.Width, 640u);
  }
  EXPECT_TRUE(found);
}

TEST_F(WindowDeviceTest, HiddenFullScreenWindowLosesTheDevice) {
  D3DPRESENT_PARAMETERS pp = Params(false);
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev), D3D_OK);
  EXPECT_EQ(dev->TestCooperativeLevel(), D3D_OK);
  win32::ShowWindow(window, win32::SW_HIDE);
  EXPECT_EQ(dev->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  D3DPRESENT_PARAMETERS again = Params(false);
  EXPECT_EQ(dev->Reset(&again), D3DERR_DEVICELOST);
  win32::ShowWindow(window, win32::SW_SHOW);
  EXPECT_EQ(dev->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  ASSERT_EQ(dev->Reset(&again), D3D_OK);
  EXPECT_EQ(dev->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

}  // namespace
