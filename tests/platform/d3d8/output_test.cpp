// Alpha test, blending, colour write mask and depth against CPU computations.
#include <algorithm>

#include "render_fixture.h"

namespace d3d8test {
namespace {

class OutputTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  }
};

TEST_F(OutputTest, AlphaTestComparesEightBitAlphaWithReference) {
  dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  dev->SetRenderState(D3DRS_ALPHAREF, 100);
  struct Case {
    DWORD func;
    int alpha;
    bool drawn;
  } cases[] = {{D3DCMP_GREATER, 100, false},     {D3DCMP_GREATER, 101, true},  {D3DCMP_GREATEREQUAL, 100, true},
               {D3DCMP_GREATEREQUAL, 99, false}, {D3DCMP_LESS, 99, true},      {D3DCMP_LESS, 100, false},
               {D3DCMP_EQUAL, 100, true},        {D3DCMP_NOTEQUAL, 100, false}, {D3DCMP_NEVER, 255, false},
               {D3DCMP_ALWAYS, 0, true}};
  for (const Case& k : cases) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0);
    dev->SetRenderState(D3DRS_ALPHAFUNC, k.func);
    DrawQuad(0, 0, kSize, kSize, D3DCOLOR_ARGB(k.alpha, 255, 255, 255));
    Capture();
    EXPECT_EQ(Pixel(7, 7).r, k.drawn ? 255 : 0) << "func " << k.func << " alpha " << k.alpha;
  }
  // Alpha test off: everything is drawn.
  dev->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_NEVER);
  DrawQuad(0, 0, kSize, kSize, D3DCOLOR_ARGB(0, 10, 20, 30));
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(7, 7), 10, 20, 30, 0);
}

double Factor(DWORD f, const double s[4], const double d[4], int c) {
  switch (f) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_ONE: return 1;
    case D3DBLEND_SRCCOLOR: return s[c];
    case D3DBLEND_INVSRCCOLOR: return 1 - s[c];
    case D3DBLEND_SRCALPHA: return s[3];
    case D3DBLEND_INVSRCALPHA: return 1 - s[3];
    case D3DBLEND_DESTCOLOR: return d[c];
    case D3DBLEND_INVDESTCOLOR: return 1 - d[c];
    default: return -1;
  }
}

TEST_F(OutputTest, BlendFactorsMatchTheBlendEquation) {
  const D3DCOLOR dst = D3DCOLOR_XRGB(40, 120, 200);
  const D3DCOLOR src = D3DCOLOR_ARGB(96, 220, 60, 100);
  const double s[4] = {220 / 255.0, 60 / 255.0, 100 / 255.0, 96 / 255.0};
  const double d[4] = {40 / 255.0, 120 / 255.0, 200 / 255.0, 1.0};
  const DWORD factors[] = {D3DBLEND_ZERO,        D3DBLEND_ONE,         D3DBLEND_SRCCOLOR, D3DBLEND_INVSRCCOLOR,
                           D3DBLEND_SRCALPHA,    D3DBLEND_INVSRCALPHA, D3DBLEND_DESTCOLOR, D3DBLEND_INVDESTCOLOR};
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  for (DWORD fs : factors) {
    for (DWORD fd : {D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLEND_INVSRCALPHA, D3DBLEND_SRCCOLOR}) {
      dev->Clear(0, nullptr, D3DCLEAR_TARGET, dst, 1, 0);
      dev->SetRenderState(D3DRS_SRCBLEND, fs);
      dev->SetRenderState(D3DRS_DESTBLEND, fd);
      DrawQuad(0, 0, kSize, kSize, src);
      Capture();
      double e[3];
      for (int c = 0; c < 3; ++c)
        e[c] = std::clamp(s[c] * Factor(fs, s, d, c) + d[c] * Factor(fd, s, d, c), 0.0, 1.0) * 255.0;
      EXPECT_PIXEL_NEAR(Pixel(9, 9), e[0], e[1], e[2], 1.5) << "src " << fs << " dst " << fd;
    }
  }
  // Blending off replaces the colour.
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, dst, 1, 0);
  DrawQuad(0, 0, kSize, kSize, src);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(9, 9), 220, 60, 100, 0);
}

TEST_F(OutputTest, ColourWriteMaskKeepsMaskedChannels) {
  const D3DCOLOR background = D3DCOLOR_XRGB(10, 20, 30);
  for (DWORD mask = 0; mask < 8; ++mask) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, background, 1, 0);
    dev->SetRenderState(D3DRS_COLORWRITEENABLE, mask);
    DrawQuad(0, 0, kSize, kSize, D3DCOLOR_XRGB(200, 210, 220));
    Capture();
    EXPECT_PIXEL_NEAR(Pixel(3, 3), (mask & D3DCOLORWRITEENABLE_RED) ? 200 : 10,
                      (mask & D3DCOLORWRITEENABLE_GREEN) ? 210 : 20, (mask & D3DCOLORWRITEENABLE_BLUE) ? 220 : 30, 0)
        << "mask " << mask;
  }
}

TEST_F(OutputTest, DepthTestAndDepthWrites) {
  const D3DCOLOR nearColour = D3DCOLOR_XRGB(255, 0, 0), farColour = D3DCOLOR_XRGB(0, 0, 255);
  // Near first, far second: the far quad fails LESSEQUAL.
  DrawQuad(0, 0, kSize, kSize, nearColour, 0.2f);
  DrawQuad(0, 0, kSize, kSize, farColour, 0.8f);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(5, 5), 255, 0, 0, 0);

  // Without depth writes the near quad leaves the depth at 1.0, so the far one wins.
  dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1, 0);
  dev->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  DrawQuad(0, 0, kSize, kSize, nearColour, 0.2f);
  dev->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  DrawQuad(0, 0, kSize, kSize, farColour, 0.8f);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(5, 5), 0, 0, 255, 0);

  // Depth test off: the last draw wins; a depth cleared to 0.5 rejects z 0.8 when on.
  dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.5f, 0);
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  DrawQuad(0, 0, 16, kSize, farColour, 0.8f);
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  DrawQuad(16, 0, kSize, kSize, farColour, 0.8f);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(5, 5), 0, 0, 255, 0);
  EXPECT_PIXEL_NEAR(Pixel(20, 5), 0, 0, 0, 0);
}

TEST_F(OutputTest, ClearHonoursViewportAndRectangles) {
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 0), 1, 0);
  D3DVIEWPORT8 vp{8, 8, 16, 16, 0, 1};
  ASSERT_EQ(dev->SetViewport(&vp), D3D_OK);
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 0, 0), 1, 0);
  D3DRECT r{0, 0, 12, 12};
  dev->Clear(1, &r, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 255, 0), 1, 0);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(7, 7), 0, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(8, 8), 0, 255, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(11, 11), 0, 255, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(12, 12), 255, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(23, 23), 255, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(24, 24), 0, 0, 0, 0);
  D3DVIEWPORT8 outside{20, 20, 16, 16, 0, 1};
  EXPECT_EQ(dev->SetViewport(&outside), D3DERR_INVALIDCALL);
}

}  // namespace
}  // namespace d3d8test
