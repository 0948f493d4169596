// Shared set-up of the render tests: an offscreen device of a small size, and helpers that
// read pixels of the presented frame.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
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

inline bool CreateOffscreenDevice(UINT w, UINT h, D3DMULTISAMPLE_TYPE ms, bool depth, IDirect3D8** outD3d,
                         IDirect3DDevice8** outDev, D3DPRESENT_PARAMETERS* outParams = nullptr) {
  *outD3d = Direct3DCreate8(D3D_SDK_VERSION);
  if (!*outD3d) return false;
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = w;
  pp.BackBufferHeight = h;
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.BackBufferCount = 1;
  pp.MultiSampleType = ms;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.Windowed = FALSE;
  pp.EnableAutoDepthStencil = depth ? TRUE : FALSE;
  pp.AutoDepthStencilFormat = D3DFMT_D24S8;
  if (outParams) *outParams = pp;
  return SUCCEEDED(
      (*outD3d)->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, outDev));
}


// One offscreen device per test program; every test starts from a Reset device (which puts all
// states back to their defaults), so each test still sees a fresh device.
class RenderTest : public ::testing::Test {
 protected:
  static constexpr UINT kSize = 32;

  static void SetUpTestSuite() { ASSERT_TRUE(CreateOffscreenDevice(kSize, kSize, D3DMULTISAMPLE_NONE, true, &d3d, &dev, &params)); }
  static void TearDownTestSuite() { Destroy(d3d, dev); }
  void SetUp() override {
    ASSERT_NE(dev, nullptr);
    D3DPRESENT_PARAMETERS pp = params;
    ASSERT_EQ(dev->Reset(&pp), D3D_OK);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0);
  }

  static void Destroy(IDirect3D8*& d, IDirect3DDevice8*& device) {
    if (device) {
      EXPECT_EQ(device->Release(), 0u);
    }
    if (d) {
      EXPECT_EQ(d->Release(), 0u);
    }
    device = nullptr;
    d = nullptr;
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

  // A texture of the given size filled from a function of (x, y) giving a D3DCOLOR.
  template <class F>
  IDirect3DTexture8* MakeTexture(UINT w, UINT h, F color, D3DPOOL pool = D3DPOOL_MANAGED) {
    IDirect3DTexture8* t = nullptr;
    if (FAILED(dev->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, pool, &t))) return nullptr;
    D3DLOCKED_RECT lr{};
    if (FAILED(t->LockRect(0, &lr, nullptr, 0))) return t;
    for (UINT y = 0; y < h; ++y)
      for (UINT x = 0; x < w; ++x)
        reinterpret_cast<DWORD*>(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x] = color(x, y);
    t->UnlockRect(0);
    return t;
  }

  static inline IDirect3D8* d3d = nullptr;
  static inline IDirect3DDevice8* dev = nullptr;
  static inline D3DPRESENT_PARAMETERS params{};
  std::vector<std::uint8_t> frame;
  UINT width = 0, height = 0;
};

// A pixel within a tolerance of an expected colour (0..255 per channel).
inline ::testing::AssertionResult PixelNear(Rgba p, double r, double g, double b, double tolerance) {
  if (std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel (" << p.r << ", " << p.g << ", " << p.b << ") expected (" << r
                                       << ", " << g << ", " << b << ") +- " << tolerance;
}
#define EXPECT_PIXEL_NEAR(px, er, eg, eb, tol) EXPECT_TRUE(::d3d8test::PixelNear((px), (er), (eg), (eb), (tol)))

}  // namespace d3d8test
