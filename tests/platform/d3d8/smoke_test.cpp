#include "render_fixture.h"

namespace d3d8test {
namespace {

TEST_F(RenderTest, ClearPresentAndReadBack) {
  ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(10, 200, 30), 1.0f, 0), D3D_OK);
  Capture();
  ASSERT_EQ(width, kSize);
  EXPECT_PIXEL_NEAR(Pixel(0, 0), 10, 200, 30, 0);
  EXPECT_PIXEL_NEAR(Pixel(31, 31), 10, 200, 30, 0);
}

TEST_F(RenderTest, PretransformedQuadCoversExactPixels) {
  dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  dev->BeginScene();
  DrawQuad(4, 8, 12, 20, D3DCOLOR_XRGB(255, 0, 0));
  dev->EndScene();
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(4, 8), 255, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(11, 19), 255, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(3, 8), 0, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(12, 8), 0, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(4, 7), 0, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(4, 20), 0, 0, 0, 0);
}

}  // namespace
}  // namespace d3d8test
