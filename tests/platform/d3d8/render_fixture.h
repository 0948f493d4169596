// Shared set-up of the render tests: an offscreen device of a small size, and helpers that
// read pixels of the presented frame.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace d3d8test {

using namespace d3d8;

struct Rgba {
  int r, g, b, a;
};

struct TlVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
  float x, y, z, rhw;
  D3DCOLOR color;
  float u, v;
};
constexpr DWORD kTlFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class RenderTest : public ::testing::Test {
 protected:
  static constexpr UINT kSize = 32;

  void SetUp() override { ASSERT_TRUE(CreateDevice(kSize, kSize, D3DMULTISAMPLE_NONE)); }
  void TearDown() override { Destroy(); }

  bool CreateDevice(UINT width, UINT height, D3DMULTISAMPLE_TYPE ms, bool depth = true) {
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    if (!d3d) return false;
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.MultiSampleType = ms;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = FALSE;
    pp.EnableAutoDepthStencil = depth ? TRUE : FALSE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    params = pp;
    return SUCCEEDED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev));
  }

  void Destroy() {
    if (dev) {
      EXPECT_EQ(dev->Release(), 0u);
    }
    if (d3d) {
      EXPECT_EQ(d3d->Release(), 0u);
    }
    dev = nullptr;
    d3d = nullptr;
  }

  // Presents and reads the frame back.
  void Capture() {
    ASSERT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(ReadPresentedFrame(dev, frame, width, height), D3D_OK);
  }

  Rgba Pixel(UINT x, UINT y) const {
    const std::uint8_t* p = frame.data() + (static_cast<size_t>(y) * width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
  }

  // Draws a pre-transformed quad covering [x0,x1) x [y0,y1) in screen pixels.
  void DrawQuad(float x0, float y0, float x1, float y1, D3DCOLOR color, float z = 0.5f, float u0 = 0, float v0 = 0,
                float u1 = 1, float v1 = 1) {
    TlVertex q[4] = {{x0, y1, z, 1, color, u0, v1},
                     {x0, y0, z, 1, color, u0, v0},
                     {x1, y1, z, 1, color, u1, v1},
                     {x1, y0, z, 1, color, u1, v0}};
    dev->SetVertexShader(kTlFvf);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(TlVertex)), D3D_OK);
  }

  IDirect3D8* d3d = nullptr;
  IDirect3DDevice8* dev = nullptr;
  D3DPRESENT_PARAMETERS params{};
  std::vector<std::uint8_t> frame;
  UINT width = 0, height = 0;
};

// Expects a pixel within a tolerance of an expected colour (0..255 per channel).
#define EXPECT_PIXEL_NEAR(px, er, eg, eb, tol)                    \
  do {                                                            \
    const ::d3d8test::Rgba p_ = (px);                             \
    EXPECT_NEAR(p_.r, (er), (tol)) << "red";                      \
    EXPECT_NEAR(p_.g, (eg), (tol)) << "green";                    \
    EXPECT_NEAR(p_.b, (eb), (tol)) << "blue";                     \
  } while (0)

}  // namespace d3d8test
