// The glow buffer on an offscreen device: what is drawn into it comes back, blurred, in its
// texture, and the composite adds that texture over the picture.
#include <gtest/gtest.h>

#include <vector>

#include "platform/d3d8/d3d8.h"
#include "scene/glow_buffer.h"
#include "support/offscreen_device.h"

using namespace d3d8;
using scene::BlurGlowPlane;
using scene::GlowBuffer;
using scene::kGlowSize;

namespace {

// Clears a rectangle of the glow target to a colour (inside Begin/End).
void FillRect(IDirect3DDevice8* dev, LONG x0, LONG y0, LONG x1, LONG y1, D3DCOLOR colour) {
  D3DRECT r{x0, y0, x1, y1};
  dev->Clear(1, &r, D3DCLEAR_TARGET, colour, 1.0f, 0);
}

}  // namespace

TEST(GlowBuffer, ReadBackBlursTwiceAndWritesTheTexture) {
  testsupport::OffscreenDevice d(200, 150);
  ASSERT_NE(d.dev, nullptr);
  GlowBuffer glow(2);
  ASSERT_EQ(glow.CreateDeviceObjects(d.dev), D3D_OK);
  ASSERT_EQ(glow.Begin(), D3D_OK);
  FillRect(d.dev, 40, 50, 48, 56, 0x00C86432);  // red 200, green 100, blue 50
  FillRect(d.dev, 0, 120, 128, 128, 0x00FFFFFF);  // the last rows, for the edge rule
  ASSERT_EQ(glow.End(), D3D_OK);

  // The same pattern through the processor blur gives the expected planes.
  std::vector<std::uint8_t> expect[3];
  for (int ch = 0; ch < 3; ++ch) {
    expect[ch].assign(kGlowSize * kGlowSize, 0);
    const std::uint8_t v = ch == 0 ? 50 : ch == 1 ? 100 : 200;
    for (int y = 50; y < 56; ++y)
      for (int x = 40; x < 48; ++x) expect[ch][y * kGlowSize + x] = v;
    for (int y = 120; y < 128; ++y)
      for (int x = 0; x < 128; ++x) expect[ch][y * kGlowSize + x] = 255;
    BlurGlowPlane(expect[ch].data());
    BlurGlowPlane(expect[ch].data());
  }
  int mismatches = 0;
  for (int ch = 0; ch < 3; ++ch)
    for (int i = 0; i < kGlowSize * kGlowSize; ++i)
      if (glow.plane(ch)[i] != expect[ch][i]) ++mismatches;
  EXPECT_EQ(mismatches, 0);
  // The blur spread light outside the rectangle, and left row 0 and the side columns alone.
  EXPECT_GT(glow.plane(2)[49 * kGlowSize + 44], 0);
  EXPECT_EQ(glow.plane(2)[0 * kGlowSize + 44], 0);
  EXPECT_EQ(glow.plane(0)[125 * kGlowSize + 0], 255);

  // The texture's top level holds the blurred planes with alpha 0.
  D3DLOCKED_RECT lr{};
  ASSERT_EQ(glow.texture()->LockRect(0, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
  const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(lr.pBits) + 52 * lr.Pitch);
  const std::uint32_t px = row[44];
  glow.texture()->UnlockRect(0);
  const int i = 52 * kGlowSize + 44;
  EXPECT_EQ(px, static_cast<std::uint32_t>(expect[0][i]) | static_cast<std::uint32_t>(expect[1][i]) << 8 |
                    static_cast<std::uint32_t>(expect[2][i]) << 16);
}

TEST(GlowBuffer, CompositeScreensTheGlowOverThePictureAndRestoresStates) {
  testsupport::OffscreenDevice d(128, 128);
  ASSERT_NE(d.dev, nullptr);
  GlowBuffer glow(0);  // no blur: the composite shows exactly what was drawn
  ASSERT_EQ(glow.CreateDeviceObjects(d.dev), D3D_OK);
  ASSERT_EQ(glow.Begin(), D3D_OK);
  FillRect(d.dev, 0, 0, 64, 128, 0x00402010);
  ASSERT_EQ(glow.End(), D3D_OK);

  d.dev->SetRenderState(D3DRS_ZENABLE, TRUE);
  d.dev->SetRenderState(D3DRS_LIGHTING, TRUE);
  d.dev->BeginScene();
  d.dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00102030, 1.0f, 0);
  glow.Composite();
  d.dev->EndScene();
  std::vector<std::uint8_t> rgba = d.Frame();
  ASSERT_EQ(rgba.size(), 128u * 128u * 4u);
  auto at = [&](int x, int y, int c) { return static_cast<int>(rgba[(static_cast<size_t>(y) * 128 + x) * 4 + c]); };
  // Left half: base + glow x (1 - base); right half: base only.
  auto screen = [](int base, int glow) { return base + glow * (255 - base) / 255; };
  EXPECT_NEAR(at(20, 64, 0), screen(0x10, 0x40), 3);
  EXPECT_NEAR(at(20, 64, 1), screen(0x20, 0x20), 3);
  EXPECT_NEAR(at(20, 64, 2), screen(0x30, 0x10), 3);
  EXPECT_NEAR(at(110, 64, 0), 0x10, 3);
  EXPECT_NEAR(at(110, 64, 2), 0x30, 3);
  DWORD z = 0, lighting = 0;
  d.dev->GetRenderState(D3DRS_ZENABLE, &z);
  d.dev->GetRenderState(D3DRS_LIGHTING, &lighting);
  EXPECT_EQ(z, static_cast<DWORD>(TRUE));
  EXPECT_EQ(lighting, static_cast<DWORD>(TRUE));
  IDirect3DBaseTexture8* bound = nullptr;
  d.dev->GetTexture(0, &bound);
  EXPECT_EQ(bound, nullptr);
}

TEST(GlowBuffer, BeginFailsWithoutDeviceObjects) {
  GlowBuffer glow(2);
  EXPECT_LT(glow.Begin(), 0);
  EXPECT_LT(glow.End(), 0);
  glow.Composite();  // nothing to draw, no device: must not crash
}
