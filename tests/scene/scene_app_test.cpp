// The scene application on an offscreen device with the generated media: frame time cap,
// cuts with their crossfade, the track choice and the view-matrix rule.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "platform/d3dx/d3dx_math.h"
#include "scene/scene_app.h"

using namespace d3d8;
using namespace d3dx;

namespace {

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], 1e-4f) << r << "," << c;
}

}  // namespace

TEST(ViewMatrix, MatchesLookAtAndFallsBackWhenLookingAlongUp) {
  const D3DXVECTOR3 eye(10, 20, -30), at(40, 25, 60), up(0, 1, 0);
  D3DXMATRIX expect;
  D3DXMatrixLookAtLH(&expect, &eye, &at, &up);
  ExpectMatrixNear(scene::ViewMatrix(eye, at, up), expect);

  // Pitch 90: the direction is the up vector; (0, 0, 1) becomes the up direction.
  const D3DXMATRIX m = scene::ViewMatrix(eye, eye + D3DXVECTOR3(0, 1, 0), up);
  const D3DXVECTOR3 zUp(0, 0, 1), target = eye + D3DXVECTOR3(0, 1, 0);
  D3DXMatrixLookAtLH(&expect, &eye, &target, &zUp);
  ExpectMatrixNear(m, expect);
  EXPECT_FLOAT_EQ(m._32, 1.0f);  // u = (0, 0, 1)
  EXPECT_FLOAT_EQ(m._11, -1.0f);  // r = u x d = (-1, 0, 0)

  // Looking straight down along (0, 0, 1) as given up: (0, 1, 0) stands in.
  const D3DXMATRIX n = scene::ViewMatrix(eye, eye + D3DXVECTOR3(0, 0, 5), D3DXVECTOR3(0, 0, 1));
  EXPECT_FLOAT_EQ(n._22, 1.0f);

  D3DXMATRIX id;
  D3DXMatrixIdentity(&id);
  ExpectMatrixNear(scene::ViewMatrix(eye, eye, up), id);
}

TEST(ChooseTrack, NoRepeatsUntilAllPlayedThenStartsOver) {
  std::vector<std::uint8_t> played(5, 0);
  int state = 0;
  auto rnd = [&state] { return (state++ * 7) % 11; };
  std::set<int> seen;
  for (int i = 0; i < 5; ++i) seen.insert(scene::ChooseTrack(played, [](int) { return true; }, rnd));
  EXPECT_EQ(seen.size(), 5u);
  // All played: the flags clear and the random start is taken.
  const int next = scene::ChooseTrack(played, [](int) { return true; }, [] { return 13; });
  EXPECT_EQ(next, 13 % 5);
  EXPECT_EQ(std::count(played.begin(), played.end(), 1), 1);

  // One track: it is chosen again at every cut.
  std::vector<std::uint8_t> one(1, 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(scene::ChooseTrack(one, [](int) { return true; }, rnd), 0);

  // Tracks that cannot move the camera are never chosen; none at all gives -1.
  std::vector<std::uint8_t> some(4, 0);
  for (int i = 0; i < 8; ++i) {
    const int t = scene::ChooseTrack(some, [](int t) { return t == 2 || t == 3; }, rnd);
    EXPECT_TRUE(t == 2 || t == 3) << t;
  }
  std::vector<std::uint8_t> none(3, 0);
  EXPECT_EQ(scene::ChooseTrack(none, [](int) { return false; }, rnd), -1);
}

class SceneAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d3d_ = Direct3DCreate8(D3D_SDK_VERSION);
    if (!d3d_) GTEST_SKIP() << "no Direct3D";
    pp_.BackBufferWidth = 320;
    pp_.BackBufferHeight = 180;
    pp_.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp_.BackBufferCount = 1;
    pp_.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp_.EnableAutoDepthStencil = TRUE;
    pp_.AutoDepthStencilFormat = D3DFMT_D24S8;
    IDirect3DDevice8* dev = nullptr;
    if (d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp_, &dev) < 0)
      GTEST_SKIP() << "no offscreen device";
    app_ = std::make_unique<SceneApp>();
    app_->AttachDevice(dev, pp_);
    app_->InitApp();
    ASSERT_EQ(app_->RestoreDeviceObjects(dev), 0);
    ASSERT_EQ(app_->LoadScene(dev), 0);
    ASSERT_GT(app_->tracks().trackCount, 0);
  }
  void TearDown() override {
    if (app_) app_->DeleteSceneObjects();
    app_.reset();
    if (d3d_) d3d_->Release();
  }
  IDirect3DDevice8* dev() { return app_->device(); }
  // Puts the camera at the very end of its track so that the next step cuts.
  void NearTrackEnd() {
    camera::CameraTrackSet& t = app_->tracks();
    const camera::CameraTrack& tr = t.tracks[t.track];
    t.segment = tr.segmentCount - 1;
    t.segmentDistance = tr.segmentLengths[t.segment] - 0.001f;
    t.pauseLeft = 0;
  }

  IDirect3D8* d3d_ = nullptr;
  D3DPRESENT_PARAMETERS pp_{};
  std::unique_ptr<SceneApp> app_;
};

TEST_F(SceneAppTest, LongFrameAdvancesOnlyAFifthOfASecond) {
  camera::CameraTrackSet expect = app_->tracks();
  expect.finished = 0;
  expect.UpdateCamera(0.2f);
  ASSERT_EQ(expect.finished, 0);
  app_->Advance(dev(), 0.5);
  EXPECT_FLOAT_EQ(app_->tracks().position.x, expect.position.x);
  EXPECT_FLOAT_EQ(app_->tracks().position.z, expect.position.z);
  EXPECT_FLOAT_EQ(app_->room()->time(), 0.2f);
  // The view looks from the camera's position along its yaw and pitch.
  D3DXMATRIX view;
  dev()->GetTransform(D3DTS_VIEW, &view);
  const float y = expect.yaw * 0.017453292f, p = expect.pitch * 0.017453292f;
  const D3DXVECTOR3 eye(expect.position.x, expect.position.y, expect.position.z);
  const D3DXVECTOR3 at = eye + D3DXVECTOR3(std::cos(p) * std::cos(y), std::sin(p), std::cos(p) * std::sin(y));
  const D3DXVECTOR3 up(0, 1, 0);
  D3DXMATRIX lookAt;
  D3DXMatrixLookAtLH(&lookAt, &eye, &at, &up);
  ExpectMatrixNear(view, lookAt);
  // A zero frame does nothing.
  app_->Advance(dev(), 0.0);
  EXPECT_FLOAT_EQ(app_->room()->time(), 0.2f);
}

TEST_F(SceneAppTest, CutSnapshotsAndFadesAndACutDuringAFadeRestartsIt) {
  const int started = app_->tracksStarted();
  NearTrackEnd();
  app_->Advance(dev(), 0.1);
  EXPECT_EQ(app_->tracksStarted(), started + 1);
  EXPECT_FLOAT_EQ(app_->crossfadeOpacity(), 0.85f - 0.1f * 0.25f);
  EXPECT_FLOAT_EQ(app_->crossfadeSpeed(), 0.25f);
  EXPECT_EQ(app_->crossfadeQuad()[0].color >> 24, static_cast<DWORD>(app_->crossfadeOpacity() * 255.0f));
  EXPECT_EQ(app_->played()[static_cast<std::size_t>(app_->currentTrack())], 1);

  for (int i = 0; i < 10; ++i) app_->Advance(dev(), 0.1);
  EXPECT_NEAR(app_->crossfadeOpacity(), 0.85f - 1.1f * 0.25f, 1e-4f);
  NearTrackEnd();
  app_->Advance(dev(), 0.1);
  EXPECT_FLOAT_EQ(app_->crossfadeOpacity(), 0.85f - 0.1f * 0.25f);

  // The fade ends at 0 and stays there.
  for (int i = 0; i < 40; ++i) app_->Advance(dev(), 0.2);
  EXPECT_EQ(app_->crossfadeOpacity(), 0.0f);
  EXPECT_EQ(app_->crossfadeQuad()[0].color >> 24, 0u);
}

TEST_F(SceneAppTest, DeviceResetDuringACrossfadeKeepsItRunningWithItsPicture) {
  NearTrackEnd();
  app_->Advance(dev(), 0.1);
  ASSERT_GT(app_->crossfadeOpacity(), 0.0f);
  auto snapshotMean = [this] {
    IDirect3DSurface8 *top = nullptr, *copy = nullptr;
    app_->crossfadeTexture()->GetSurfaceLevel(0, &top);
    D3DSURFACE_DESC desc{};
    top->GetDesc(&desc);
    dev()->CreateImageSurface(desc.Width, desc.Height, desc.Format, &copy);
    dev()->CopyRects(top, nullptr, 0, copy, nullptr);
    D3DLOCKED_RECT lr{};
    copy->LockRect(&lr, nullptr, D3DLOCK_READONLY);
    double sum = 0;
    for (UINT y = 0; y < desc.Height; ++y)
      for (UINT x = 0; x < desc.Width * 4; ++x) sum += static_cast<const std::uint8_t*>(lr.pBits)[y * lr.Pitch + x];
    copy->UnlockRect();
    copy->Release();
    top->Release();
    return sum / (desc.Width * desc.Height * 4.0);
  };
  const double before = snapshotMean();
  EXPECT_GT(before, 1.0) << "snapshot is black";
  const float opacity = app_->crossfadeOpacity();

  app_->ReleaseDefaultPoolObjects();
  ASSERT_EQ(dev()->Reset(&pp_), D3D_OK);
  ASSERT_EQ(app_->RestoreDeviceObjects(dev()), 0);
  ASSERT_NE(app_->crossfadeTexture(), nullptr);
  EXPECT_NEAR(snapshotMean(), before, 0.5);
  EXPECT_EQ(app_->crossfadeOpacity(), opacity);
  app_->Advance(dev(), 0.1);
  EXPECT_LT(app_->crossfadeOpacity(), opacity);
  EXPECT_EQ(app_->Render(dev()), D3D_OK);
  // The glow target came back with the reset as well.
  EXPECT_NE(app_->room()->glow().texture(), nullptr);
}
