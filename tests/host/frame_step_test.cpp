// On the offscreen device: the frame step's timing and its lost / not-reset handling, the
// texture service (dedupe, reduced-size retry, the one-time warning), and the base picture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/quad_pool.h"
#include "host/screensaver_app.h"
#include "host/texture_service.h"
#include "host/timer_service.h"
#include "platform/d3dx/d3dx_texture.h"
#include "platform/win32/clock.h"
#include "platform/win32/msgbox.h"
#include "support/offscreen_device.h"

using namespace d3d8;
using testsupport::OffscreenDevice;

namespace {

class CountingApp : public ScreenSaverApp {
 public:
  std::vector<float> elapsed;
  std::vector<double> sceneSeconds;  // what the scene's timer says at each frame
  int renders = 0, restores = 0, releases = 0;
  HRESULT FrameMove(IDirect3DDevice8* device, float ms) override {
    elapsed.push_back(ms);
    sceneSeconds.push_back(Timer().GetElapsedTime());
    return ScreenSaverApp::FrameMove(device, ms);
  }
  HRESULT Render(IDirect3DDevice8* device) override {
    ++renders;
    return ScreenSaverApp::Render(device);
  }
  HRESULT RestoreDeviceObjects(IDirect3DDevice8* device) override {
    ++restores;
    return ScreenSaverApp::RestoreDeviceObjects(device);
  }
  void ReleaseDefaultPoolObjects() override { ++releases; }
};

class ManualClock {
 public:
  ManualClock() { win32::EnableManualClock(100.0); }
  ~ManualClock() { win32::DisableManualClock(); }
};

TEST(FrameStep, TimingLossAndReset) {
  OffscreenDevice od{64, 48};
  ASSERT_NE(od.dev, nullptr);
  ManualClock clock;
  CountingApp app;
  EXPECT_EQ(app.FrameStep(), win32::E_FAIL);  // no device yet
  od.dev->AddRef();
  app.AttachDevice(od.dev, od.pp);
  app.settings.current.ShowTime = 0;
  app.setPreviousFrameTime(static_cast<float>(win32::timeGetTime()));
  win32::AdvanceManualClock(0.040);
  ASSERT_EQ(app.FrameStep(), S_OK);
  ASSERT_EQ(app.elapsed.size(), 1u);
  EXPECT_NEAR(app.elapsed[0], 40.0f, 0.5f);
  EXPECT_EQ(app.frameParity(), 0);
  EXPECT_EQ(app.overlays.frameCounter, 1);

  // Lost: nothing drawn, however many steps.
  InjectCooperativeLevel(od.dev, D3DERR_DEVICELOST);
  for (int i = 0; i < 5; ++i) {
    win32::AdvanceManualClock(1.0);
    EXPECT_EQ(app.FrameStep(), D3DERR_DEVICELOST);
  }
  EXPECT_EQ(app.renders, 1);
  // Back: reset, restored once, parity 1, the lost time not counted.
  InjectCooperativeLevel(od.dev, D3DERR_DEVICENOTRESET);
  win32::AdvanceManualClock(0.5);
  EXPECT_EQ(app.FrameStep(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(app.releases, 1);
  EXPECT_EQ(app.restores, 1);
  EXPECT_EQ(app.frameParity(), 1);
  EXPECT_EQ(app.renders, 1);
  EXPECT_EQ(od.dev->TestCooperativeLevel(), D3D_OK);
  win32::AdvanceManualClock(0.020);
  ASSERT_EQ(app.FrameStep(), S_OK);
  EXPECT_NEAR(app.elapsed.back(), 20.0f, 0.5f);
  EXPECT_EQ(app.frameParity(), 0);

  // A clock reading behind the previous frame gives 0, not a negative time.
  app.setPreviousFrameTime(static_cast<float>(win32::timeGetTime()) + 5000.0f);
  ASSERT_EQ(app.FrameStep(), S_OK);
  EXPECT_EQ(app.elapsed.back(), 0.0f);
  EXPECT_EQ(app.overlays.frameCounter, 3);

  // The base picture is the blue clear.
  std::vector<std::uint8_t> rgba;
  UINT w = 0, h = 0;
  ASSERT_EQ(ReadPresentedFrame(od.dev, rgba, w, h), S_OK);
  ASSERT_EQ(w, 64u);
  EXPECT_EQ(rgba[0], 0);
  EXPECT_EQ(rgba[1], 0);
  EXPECT_EQ(rgba[2], 255);

  // Teardown puts an identity ramp back and releases the device.
  D3DGAMMARAMP ramp{};
  BuildGammaRamp(30, &ramp);
  od.dev->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
  app.Teardown();
  od.dev->GetGammaRamp(&ramp);
  EXPECT_EQ(ramp.red[255], 65280);
  EXPECT_EQ(ramp.blue[1], 256);
  EXPECT_EQ(app.device(), nullptr);
  EXPECT_EQ(app.FrameStep(), win32::E_FAIL);
}

// The run loop's passes with a scripted window sight: nothing is drawn while the window cannot
// be seen, the sight is asked about once a second, the unseen work goes on, and the first
// frame after the pause carries only the time since drawing resumed (both frame clocks).
TEST(FrameStep, UnseenWindowIsNotDrawnAndResumesWithoutATimeJump) {
  OffscreenDevice od{64, 48};
  ASSERT_NE(od.dev, nullptr);
  ManualClock clock;
  CountingApp app;
  od.dev->AddRef();
  app.AttachDevice(od.dev, od.pp);
  app.setMode(RunMode::Saver);
  app.settings.current.ShowTime = 0;
  win32::WindowSight sight = win32::WindowSight::Visible;
  int asked = 0, unseenWork = 0;
  app.sightQuery = [&] {
    ++asked;
    return sight;
  };
  app.whileUnseen = [&] { ++unseenWork; };
  FramePacer pacer;
  SightGate gate;
  win32::MSG msg{};
  app.setPreviousFrameTime(static_cast<float>(win32::timeGetTime()));
  Timer().Start();
  auto pass = [&] {
    const win32::DWORD wait = app.RunPass(msg, pacer, gate);
    win32::AdvanceManualClock(wait / 1000.0);
    return wait;
  };
  for (int i = 0; i < 20; ++i) pass();
  EXPECT_EQ(app.renders, 20);
  EXPECT_LE(app.elapsed.back(), 17.5f);

  for (const auto state : {win32::WindowSight::Hidden, win32::WindowSight::DisplayAsleep}) {
    sight = state;
    const int rendersBefore = app.renders;
    win32::AdvanceManualClock(1.0);  // the next pass checks
    asked = 0;
    unseenWork = 0;
    // 30 s unseen: no frame, passes 50 ms apart, about one check a second.
    const double start = win32::timeGetTime();
    while (win32::timeGetTime() - start < 30000.0) EXPECT_EQ(pass(), ScreenSaverApp::kUnseenWaitMs);
    EXPECT_EQ(app.renders, rendersBefore);
    EXPECT_GE(asked, 29);
    EXPECT_LE(asked, 31);
    EXPECT_GE(unseenWork, 590);
    // Seen again: drawing resumes at the next check and the scene's time goes on from where
    // it stopped.
    sight = win32::WindowSight::Visible;
    while (app.renders == rendersBefore) pass();
    EXPECT_LT(app.elapsed.back(), 1.0f);
    EXPECT_LT(app.sceneSeconds.back(), 0.001);
    pass();
    EXPECT_LE(app.elapsed.back(), 17.5f);
    EXPECT_LT(app.sceneSeconds.back(), 0.02);
  }
  app.Teardown();
}

struct CreateCall {
  UINT width, height;
  D3DFORMAT format;
};

class TextureServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(od.dev, nullptr);
    Textures().Reset();
    Textures().Bind(od.d3d, od.dev, D3DFMT_X8R8G8B8, nullptr);
  }
  void TearDown() override {
    Textures().Reset();
  }
  // Fails the first `failures` calls with `code`, then makes a small texture.
  void Script(int failures, HRESULT code) {
    Textures().SetCreateFunctionForTesting([this, failures, code](IDirect3DDevice8* device, const void*, UINT,
                                                                   UINT width, UINT height, D3DFORMAT format,
                                                                   IDirect3DTexture8** out) -> HRESULT {
      calls.push_back({width, height, format});
      if (static_cast<int>(calls.size()) <= failures || failures < 0) return code;
      return d3dx::D3DXCreateTexture(device, 4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, out);
    });
  }
  OffscreenDevice od{64, 48};
  std::vector<CreateCall> calls;
  const unsigned char bytes[4] = {1, 2, 3, 4};
};

TEST_F(TextureServiceTest, SameNameAndFolderLoadsOnce) {
  Script(0, S_OK);
  TextureHandle a = Textures().LoadFromMemory(bytes, 4, "digit_0.JPG", "Digits\\");
  TextureHandle b = Textures().LoadFromMemory(bytes, 4, "digit_0.JPG", "Digits\\");
  TextureHandle c = Textures().LoadFromMemory(bytes, 4, "digit_0.JPG", "Other\\");
  TextureHandle d = Textures().LoadFromMemory(bytes, 4, "DIGIT_0.JPG", "Digits\\");  // case matters
  EXPECT_EQ(a.index, 0);
  EXPECT_EQ(b.index, 0);
  EXPECT_EQ(c.index, 1);
  EXPECT_EQ(d.index, 2);
  EXPECT_STREQ(c.folder, "Other\\");
  EXPECT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].width, 0u);
  EXPECT_EQ(calls[0].format, D3DFMT_UNKNOWN);
  EXPECT_TRUE(Textures().loadedAt(0));

  // Set, release all, set again: the stage ends up empty.
  Textures().SetTexture(0, a);
  IDirect3DBaseTexture8* t = nullptr;
  od.dev->GetTexture(0, &t);
  EXPECT_NE(t, nullptr);
  if (t) t->Release();
  Textures().ReleaseAll();
  EXPECT_EQ(Textures().entryCount(), 3u);
  EXPECT_FALSE(Textures().loadedAt(0));
  Textures().SetTexture(0, a);
  od.dev->GetTexture(0, &t);
  EXPECT_EQ(t, nullptr);
  // Out-of-range handles and stages do nothing; -1 unsets.
  Textures().SetTexture(0, c);
  TextureHandle bad;
  bad.index = 99;
  Textures().SetTexture(1, bad);
  bad.index = -1;
  Textures().SetTexture(8, bad);
}

TEST_F(TextureServiceTest, RetryAtReducedSizeInTheFallbackFormat) {
  Script(1, E_OUTOFMEMORY);
  win32::ScopedMessageBoxCapture boxes;
  TextureHandle h = Textures().LoadFromMemory(bytes, 4, "big.jpg", "");
  EXPECT_EQ(h.index, 0);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].width, 256u);
  EXPECT_EQ(calls[1].height, 256u);
  EXPECT_EQ(calls[1].format, Textures().fallbackFormat());
  EXPECT_TRUE(Textures().fallbackFormat() == D3DFMT_A1R5G5B5 || Textures().fallbackFormat() == D3DFMT_R5G6B5);
  EXPECT_TRUE(Textures().loadedAt(0));
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(TextureServiceTest, WarnsOnceWhenNothingCanBeCreated) {
  Script(-1, D3DERR_OUTOFVIDEOMEMORY);
  win32::ScopedMessageBoxCapture boxes;
  TextureHandle a = Textures().LoadFromMemory(bytes, 4, "a.jpg", "");
  TextureHandle b = Textures().LoadFromMemory(bytes, 4, "b.jpg", "");
  EXPECT_EQ(a.index, 0);  // a valid handle without a texture
  EXPECT_EQ(b.index, 1);
  EXPECT_EQ(Textures().textureAt(0), nullptr);
  EXPECT_FALSE(Textures().loadedAt(1));
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].caption, "Warning!");
  EXPECT_EQ(boxes.calls()[0].text, "Not enought video memory. There why some objects will be white color.");
  EXPECT_EQ(boxes.calls()[0].type & win32::MB_ICONMASK, win32::MB_ICONWARNING);
}

TEST_F(TextureServiceTest, OtherFailuresGetTheGeneralWarning) {
  Script(-1, E_FAIL);
  win32::ScopedMessageBoxCapture boxes;
  Textures().LoadFromMemory(bytes, 4, "a.jpg", "");
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "Some textures was not loaded. There why some objects will be white color.");
}

TEST(TextureServiceUnbound, HandsOutNoTexture) {
  Textures().Reset();
  const unsigned char bytes[2] = {0, 0};
  TextureHandle h = Textures().LoadFromMemory(bytes, 2, "x", "y");
  EXPECT_EQ(h.index, -1);
  EXPECT_STREQ(h.name, "x");
  EXPECT_EQ(Textures().entryCount(), 0u);
}

TEST(Overlays, MissingDigitsAndLoadingImagesDegradeQuietly) {
  // This test program carries no resources: every glyph stays without a texture, and the
  // loading screen and the overlays still draw.
  OffscreenDevice od{64, 48};
  ASSERT_NE(od.dev, nullptr);
  Textures().Reset();
  Textures().Bind(od.d3d, od.dev, D3DFMT_X8R8G8B8, nullptr);
  Quads().ReleaseAll();
  Quads().Bind(od.dev, nullptr);
  win32::ScopedMessageBoxCapture boxes;
  Overlays o;
  int parity = 1;
  EXPECT_EQ(o.ShowLoadingScreen(od.dev, nullptr, &parity), S_OK);
  EXPECT_EQ(parity, 1);  // flipped twice
  EXPECT_GE(o.vertexBuffer, 0);
  o.LoadDigits(nullptr);
  for (const TextureHandle& g : o.glyphs) EXPECT_EQ(g.index, -1);
  EXPECT_STREQ(o.glyphs[kGlyphColon].name, "digit_ddot.JPG");
  od.dev->BeginScene();
  o.Draw(od.dev, true, false, true);
  od.dev->EndScene();
  EXPECT_TRUE(boxes.calls().empty());
  // The overlay states are put back: depth on, blending off.
  DWORD z = 0, blend = 1;
  od.dev->GetRenderState(D3DRS_ZENABLE, &z);
  od.dev->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
  EXPECT_EQ(z, 1u);
  EXPECT_EQ(blend, 0u);
  Quads().ReleaseAll();
  Textures().Reset();
}

TEST(QuadPool, WritesAStripInViewportFractions) {
  OffscreenDevice od{64, 48};
  ASSERT_NE(od.dev, nullptr);
  QuadPool pool;
  pool.Bind(od.dev, nullptr);
  int h = -1;
  ASSERT_EQ(pool.CreateBuffer(&h, kScreenQuadFvf, 4), S_OK);
  EXPECT_EQ(h, 0);
  int again = h;
  ASSERT_EQ(pool.CreateBuffer(&again, kScreenQuadFvf, 4), S_OK);  // an existing index appends
  EXPECT_EQ(again, 1);
  int bogus = 17;
  EXPECT_EQ(pool.CreateBuffer(&bogus, kScreenQuadFvf, 4), win32::E_FAIL);
  EXPECT_EQ(bogus, 17);
  int unknown = -1;
  EXPECT_EQ(pool.CreateBuffer(&unknown, 0x999, 4), win32::E_FAIL);
  EXPECT_EQ(PoolVertexSize(0x152), 36u);
  EXPECT_EQ(PoolVertexSize(0x252), 44u);
  const ScreenQuadVertex init[4] = {{0, 0, 0.99f, 1, 0, 0, 0}, {0, 0, 0.99f, 1, 0, 0, 0},
                                    {0, 0, 0.99f, 1, 0, 0, 0}, {0, 0, 0.99f, 1, 0, 0, 0}};
  ASSERT_EQ(pool.WriteVertices(h, init, sizeof init), S_OK);
  ASSERT_EQ(pool.WriteQuad(h, 0.25f, 0.5f, 0.5f, 0.25f, 0xFF112233u, 0.1f, 0.2f, 0.3f, 0.4f), S_OK);
  // Read back through a lock (managed buffers keep their contents).
  IDirect3DVertexBuffer8* vb = nullptr;
  UINT stride = 0;
  ASSERT_EQ(pool.Select(h), S_OK);
  od.dev->GetStreamSource(0, &vb, &stride);
  ASSERT_NE(vb, nullptr);
  EXPECT_EQ(stride, 28u);
  BYTE* data = nullptr;
  ASSERT_EQ(vb->Lock(0, 0, &data, 0), S_OK);
  const auto* v = reinterpret_cast<const ScreenQuadVertex*>(data);
  EXPECT_FLOAT_EQ(v[0].x, 16.0f);
  EXPECT_FLOAT_EQ(v[0].y, 36.0f);
  EXPECT_FLOAT_EQ(v[0].v, 0.4f);
  EXPECT_FLOAT_EQ(v[1].y, 24.0f);
  EXPECT_FLOAT_EQ(v[1].v, 0.2f);
  EXPECT_FLOAT_EQ(v[2].x, 48.0f);
  EXPECT_FLOAT_EQ(v[3].u, 0.3f);
  EXPECT_FLOAT_EQ(v[3].y, 24.0f);
  EXPECT_FLOAT_EQ(v[3].z, 0.99f);
  EXPECT_FLOAT_EQ(v[3].rhw, 1.0f);
  EXPECT_EQ(v[2].color, 0xFF112233u);
  vb->Unlock();
  vb->Release();
  pool.ReleaseAll();
}

}  // namespace
