// Device creation and the drawing run's settings, against the shared scripted Direct3D
// object; a creation that succeeds hands out a real offscreen device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../platform/win32/registry_test_util.h"
#include "host/screensaver_app.h"
#include "platform/win32/msgbox.h"
#include "support/fake_direct3d.h"
#include "support/offscreen_device.h"

using namespace d3d8;
using testsupport::FakeDirect3D;
using testsupport::OffscreenDevice;

namespace {

// No windows (as in capture): the back buffer takes the selected mode's size. Records the two
// calls that follow a created device instead of loading the real loading screen.
class DeviceApp : public ScreenSaverApp {
 public:
  DeviceApp() { offscreen_ = true; }
  using ScreenSaverApp::LoadAll;
  using ScreenSaverApp::PrepareDrawingRun;
  std::vector<std::string> calls;
  HRESULT RestoreDeviceObjects(IDirect3DDevice8*) override {
    calls.push_back("RestoreDeviceObjects");
    return S_OK;
  }
  HRESULT ShowLoadingScreen(IDirect3DDevice8*) override {
    calls.push_back("ShowLoadingScreen");
    return S_OK;
  }
};

class DeviceCreation : public ::testing::Test {
 protected:
  void SetUp() override {
    d3d.adapters = {{{640, 480, 60, D3DFMT_X8R8G8B8},
                     {800, 600, 60, D3DFMT_R5G6B5},
                     {1024, 768, 60, D3DFMT_X8R8G8B8}}};
    d3d.depthFormats = {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24S8};
    d3d.samples = {0, 4};
    d3d.caps.DevCaps = D3DDEVCAPS_TLVERTEXSYSTEMMEMORY;
    d3d.caps.VertexShaderVersion = 0xFFFE0101;
    ASSERT_EQ(app.devices.Enumerate(&d3d, nullptr), S_OK);
    app.settings.LoadDefaults();
  }
  void TearDown() override { app.Teardown(); }

  TempConfigHome home;
  OffscreenDevice real{64, 48};  // outlives the application, which holds a reference
  FakeDirect3D d3d;
  DeviceApp app;
};

TEST_F(DeviceCreation, ChosenModeWithFallbacksForDepthAndSamplesAndTheGammaSetting) {
  ASSERT_NE(real.dev, nullptr);
  d3d.device = real.dev;
  app.settings.current.UseDesktopSettings = 0;
  app.settings.current.GmCntrl = 50;
  app.devices.SelectMode(1024, 768, 32, D3DMULTISAMPLE_4_SAMPLES);
  // What enumeration promised is refused at creation time.
  d3d.depthStencilMatch = false;
  d3d.samples = {0};
  ASSERT_EQ(app.CreateDevice(), 0);
  ASSERT_EQ(d3d.creates.size(), 1u);
  const D3DPRESENT_PARAMETERS& pp = d3d.creates[0].params;
  EXPECT_EQ(pp.BackBufferWidth, 1024u);
  EXPECT_EQ(pp.BackBufferHeight, 768u);
  EXPECT_EQ(pp.BackBufferFormat, D3DFMT_X8R8G8B8);
  EXPECT_EQ(pp.AutoDepthStencilFormat, D3DFMT_D16);           // not D24S8
  EXPECT_EQ(pp.MultiSampleType, D3DMULTISAMPLE_NONE);         // not 4
  EXPECT_EQ(pp.Windowed, FALSE);
  EXPECT_EQ(d3d.creates[0].flags, D3DCREATE_HARDWARE_VERTEXPROCESSING);
  EXPECT_EQ(app.device(), real.dev);
  EXPECT_EQ(app.calls, (std::vector<std::string>{"RestoreDeviceObjects", "ShowLoadingScreen"}));
  // Gamma 50: entry i = (2 * 50 + 56) * i on every channel (a neutral ramp would be 256 * i).
  D3DGAMMARAMP ramp{};
  real.dev->GetGammaRamp(&ramp);
  EXPECT_EQ(ramp.red[1], 156);
  EXPECT_EQ(ramp.green[255], 156 * 255);
  EXPECT_EQ(ramp.blue[128], 156 * 128);
}

TEST_F(DeviceCreation, RefusedDeviceIsRetriedOnceInSafeMode) {
  ASSERT_NE(real.dev, nullptr);
  d3d.device = real.dev;
  d3d.failCreates = 1;
  app.settings.current.UseDesktopSettings = 1;
  d3d.desktop = {1280, 1024, 60, D3DFMT_R8G8B8};  // a 24-bit desktop draws in R5G6B5
  app.devices.SelectMode(1024, 768, 32, D3DMULTISAMPLE_4_SAMPLES);
  ASSERT_EQ(app.CreateDevice(), 0);
  ASSERT_EQ(d3d.creates.size(), 2u);
  EXPECT_EQ(d3d.creates[0].params.BackBufferFormat, D3DFMT_R5G6B5);
  EXPECT_EQ(d3d.creates[0].params.MultiSampleType, D3DMULTISAMPLE_4_SAMPLES);
  const D3DPRESENT_PARAMETERS& safe = d3d.creates[1].params;
  EXPECT_EQ(safe.BackBufferWidth, 640u);
  EXPECT_EQ(safe.BackBufferHeight, 480u);
  EXPECT_EQ(safe.BackBufferFormat, D3DFMT_R5G6B5);
  EXPECT_EQ(safe.AutoDepthStencilFormat, D3DFMT_D16);
  EXPECT_EQ(safe.MultiSampleType, D3DMULTISAMPLE_NONE);
  EXPECT_EQ(d3d.creates[1].flags, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
  EXPECT_EQ(app.presentParameters().BackBufferWidth, 640u);  // kept for later resets
  EXPECT_EQ(app.device(), real.dev);
}

// What the user sees when no device can be had: one error box each, and no loading.
TEST_F(DeviceCreation, FailuresShowTheirErrorBoxes) {
  win32::ScopedMessageBoxCapture boxes;
  d3d.desktopReadable = false;
  app.settings.current.UseDesktopSettings = 1;
  EXPECT_FALSE(app.LoadAll());
  EXPECT_TRUE(d3d.creates.empty());
  d3d.desktopReadable = true;
  d3d.failCreates = 2;
  EXPECT_FALSE(app.LoadAll());
  EXPECT_EQ(d3d.creates.size(), 2u);
  EXPECT_EQ(app.device(), nullptr);
  ASSERT_EQ(boxes.calls().size(), 2u);
  EXPECT_EQ(boxes.calls()[0].text, "Cant get Desktop DisplayMode.");
  EXPECT_EQ(boxes.calls()[1].text, "Could not find any compatible Direct3D\ndevices.");
  for (const auto& box : boxes.calls()) {
    EXPECT_EQ(box.caption, "Error!");
    EXPECT_EQ(box.type & win32::MB_ICONMASK, win32::MB_ICONERROR);
  }
  EXPECT_TRUE(app.calls.empty());
}

// The drawing run reads the stored settings, takes the mode the adapter has closest to them
// and then the options of the command line.
TEST_F(DeviceCreation, DrawingRunTakesTheAdaptersModeAndThenTheRunOptions) {
  SaverSettings stored = app.settings.defaults();
  stored.Width = 800, stored.Height = 600, stored.BitCount = 16, stored.FSAA = 4, stored.MusicVolume = 90;
  ASSERT_TRUE(WriteSettings(stored).ok);
  app.runOptions.volume = 40;
  app.PrepareDrawingRun();
  EXPECT_EQ(app.settings.current.Width, 800);
  EXPECT_EQ(app.settings.current.BitCount, 16);
  EXPECT_EQ(app.settings.current.FSAA, 4);
  EXPECT_EQ(app.settings.current.MusicVolume, 40);
  EXPECT_EQ(app.devices.selection().backBufferFormat, D3DFMT_R5G6B5);

  // A stored mode the adapter lacks and samples it cannot do: the mode chosen before stays,
  // and so does the multisample type.
  stored.Width = 1280, stored.Height = 1024, stored.BitCount = 32, stored.FSAA = 8;
  ASSERT_TRUE(WriteSettings(stored).ok);
  app.PrepareDrawingRun();
  EXPECT_EQ(app.settings.current.Width, 800);
  EXPECT_EQ(app.settings.current.Height, 600);
  EXPECT_EQ(app.settings.current.BitCount, 16);
  EXPECT_EQ(app.settings.current.FSAA, 4);
}

}  // namespace
