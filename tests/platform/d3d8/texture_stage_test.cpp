// Texture stages, addressing and texture coordinate generation against CPU computations.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "render_fixture.h"

namespace d3d8test {
namespace {

int Channel(D3DCOLOR c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

class TextureStageTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  }
};

TEST_F(TextureStageTest, ColourAndAlphaOperationsOfTwoStages) {
  const D3DCOLOR texel = D3DCOLOR_ARGB(128, 200, 100, 50);
  const D3DCOLOR diffuse = D3DCOLOR_ARGB(255, 128, 255, 64);
  const D3DCOLOR factor = D3DCOLOR_ARGB(255, 255, 128, 0);
  IDirect3DTexture8* tex = MakeTexture(4, 4, [&](UINT, UINT) { return texel; });
  ASSERT_NE(tex, nullptr);
  dev->SetTexture(0, tex);
  dev->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
  auto mod = [](int a, int b) { return a * b / 255.0; };
  struct Case {
    DWORD op0, arg01, arg02, op1, arg11, arg12;
    double r, g, b;
  } cases[] = {
      {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0, 0, mod(200, 128), mod(100, 255), mod(50, 64)},
      {D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0, 0, 200, 100, 50},
      {D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0, 0, 128, 255, 64},
      {D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0, 0, 255, 255, 114},
      {D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0, 0, 55, 155, 205},
      {D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0, 0, 128, 128, 128},
      // Stage 1 modulates the current colour with the texture factor.
      {D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_TFACTOR, mod(200, 255),
       mod(100, 128), 0},
      // A disabled stage 0 passes the diffuse colour, whatever stage 1 says.
      {D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TFACTOR, 0, 128, 255, 64},
  };
  for (const Case& k : cases) {
    dev->SetTextureStageState(0, D3DTSS_COLOROP, k.op0);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, k.arg01);
    dev->SetTextureStageState(0, D3DTSS_COLORARG2, k.arg02);
    dev->SetTextureStageState(1, D3DTSS_COLOROP, k.op1);
    dev->SetTextureStageState(1, D3DTSS_COLORARG1, k.arg11);
    dev->SetTextureStageState(1, D3DTSS_COLORARG2, k.arg12);
    DrawQuad(0, 0, kSize, kSize, diffuse);
    Capture();
    EXPECT_PIXEL_NEAR(Pixel(16, 16), k.r, k.g, k.b, 1.5) << "ops " << k.op0 << "/" << k.op1;
  }

  // Alpha operations become visible through blending over white: out = a * src + (1 - a) * 255.
  dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  const D3DCOLOR halfDiffuse = D3DCOLOR_ARGB(64, 0, 0, 0);
  struct AlphaCase {
    DWORD op, arg1, arg2;
    double alpha;
  } alphaCases[] = {{D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 128},
                    {D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, 64},
                    {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 128 * 64 / 255.0},
                    {D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE, 255}};
  for (const AlphaCase& k : alphaCases) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 255, 255), 1, 0);
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, k.op);
    dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, k.arg1);
    dev->SetTextureStageState(0, D3DTSS_ALPHAARG2, k.arg2);
    DrawQuad(0, 0, kSize, kSize, halfDiffuse);
    Capture();
    const double expected = 255.0 * (1.0 - k.alpha / 255.0);
    EXPECT_PIXEL_NEAR(Pixel(5, 5), expected, expected, expected, 1.5) << "alpha op " << k.op;
  }
  dev->SetTexture(0, nullptr);
  EXPECT_EQ(tex->Release(), 0u);
}

TEST_F(TextureStageTest, UnboundTextureActsAsWhite) {
  dev->SetTexture(0, nullptr);
  DrawQuad(0, 0, kSize, kSize, D3DCOLOR_XRGB(90, 80, 70));
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(3, 3), 90, 80, 70, 1);
}

// Texel index of a coordinate under an addressing mode, for a texture 2 texels wide; -1 is the
// border colour.
int AddressedTexel(float u, DWORD mode) {
  float t = u;
  switch (mode) {
    case D3DTADDRESS_WRAP: t = u - std::floor(u); break;
    case D3DTADDRESS_MIRROR: {
      float p = u - 2.0f * std::floor(u / 2.0f);
      t = p <= 1.0f ? p : 2.0f - p;
      break;
    }
    case D3DTADDRESS_CLAMP: t = std::clamp(u, 0.0f, 0.9999f); break;
    case D3DTADDRESS_BORDER:
      if (u < 0.0f || u >= 1.0f) return -1;
      break;
    default: break;
  }
  return std::min(1, static_cast<int>(t * 2.0f));
}

TEST_F(TextureStageTest, AddressingModesWrapMirrorClampBorder) {
  const D3DCOLOR texels[2] = {D3DCOLOR_XRGB(255, 0, 0), D3DCOLOR_XRGB(0, 255, 0)};
  const D3DCOLOR border = D3DCOLOR_ARGB(255, 0, 0, 255);
  IDirect3DTexture8* tex = MakeTexture(2, 1, [&](UINT x, UINT) { return texels[x]; });
  ASSERT_NE(tex, nullptr);
  dev->SetTexture(0, tex);
  dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  dev->SetTextureStageState(0, D3DTSS_BORDERCOLOR, border);
  for (DWORD mode : {D3DTADDRESS_WRAP, D3DTADDRESS_MIRROR, D3DTADDRESS_CLAMP, D3DTADDRESS_BORDER}) {
    dev->SetTextureStageState(0, D3DTSS_ADDRESSU, mode);
    DrawQuad(0, 0, kSize, kSize, 0xFFFFFFFF, 0.5f, -1.0f, 0.0f, 2.0f, 1.0f);
    Capture();
    for (UINT x = 0; x < kSize; ++x) {
      // Direct3D 8 samples pixel x at screen coordinate x (pixel centres on integers).
      const float u = -1.0f + x * 3.0f / kSize;
      if (std::fabs(u * 2 - std::round(u * 2)) < 0.02f) continue;  // on a texel edge
      const int t = AddressedTexel(u, mode);
      const D3DCOLOR e = t < 0 ? border : texels[t];
      EXPECT_PIXEL_NEAR(Pixel(x, 4), Channel(e, 16), Channel(e, 8), Channel(e, 0), 0) << "mode " << mode << " x " << x;
    }
  }
  dev->SetTexture(0, nullptr);
  tex->Release();
}

TEST_F(TextureStageTest, LinearFilteringBlendsNeighbouringTexels) {
  IDirect3DTexture8* tex =
      MakeTexture(2, 1, [](UINT x, UINT) { return x ? D3DCOLOR_XRGB(255, 255, 255) : D3DCOLOR_XRGB(0, 0, 0); });
  dev->SetTexture(0, tex);
  dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  dev->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  DrawQuad(0, 0, kSize, kSize, 0xFFFFFFFF);
  Capture();
  for (UINT x : {0u, 8u, 15u, 16u, 24u, 31u}) {
    const float u = static_cast<float>(x) / kSize;
    const float w = std::clamp(u * 2.0f - 0.5f, 0.0f, 1.0f);  // weight of the second texel
    EXPECT_NEAR(Pixel(x, 0).r, 255.0f * w, 2.0f) << "x " << x;
  }
  dev->SetTexture(0, nullptr);
  tex->Release();
}

TEST_F(TextureStageTest, CameraSpacePositionWithCount3TextureTransform) {
  // A 2 x 2 texture with four colours, projected onto the screen from camera space.
  const D3DCOLOR colours[4] = {D3DCOLOR_XRGB(255, 0, 0), D3DCOLOR_XRGB(0, 255, 0), D3DCOLOR_XRGB(0, 0, 255),
                               D3DCOLOR_XRGB(255, 255, 255)};
  IDirect3DTexture8* tex = MakeTexture(2, 2, [&](UINT x, UINT y) { return colours[y * 2 + x]; });
  dev->SetTexture(1, tex);
  dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
  dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  dev->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
  dev->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
  dev->SetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
  dev->SetTextureStageState(1, D3DTSS_ADDRESSU, D3DTADDRESS_BORDER);
  dev->SetTextureStageState(1, D3DTSS_ADDRESSV, D3DTADDRESS_BORDER);
  dev->SetTextureStageState(1, D3DTSS_BORDERCOLOR, D3DCOLOR_XRGB(40, 40, 40));
  // The world moves the quad; the view moves the camera; the texture matrix maps camera-space
  // x, y in [-0.5, 0.5] x [0, 1] onto u = x + 0.5, v = 1 - y (rows run down).
  D3DMATRIX world{}, view{}, texm{};
  world._11 = world._22 = world._33 = world._44 = 1;
  world._42 = 0.5f;
  view = world;
  view._42 = 0.0f;
  view._43 = 0.25f;
  texm._11 = 1, texm._22 = -1, texm._33 = 1, texm._44 = 1, texm._41 = 0.5f, texm._42 = 1.0f;
  dev->SetTransform(D3DTS_WORLD, &world);
  dev->SetTransform(D3DTS_VIEW, &view);
  dev->SetTransform(D3DTS_TEXTURE1, &texm);
  struct V {
    float x, y, z;
    D3DCOLOR c;
  };
  V q[4] = {{-1, -1.5f, 0.25f, 0xFFFFFFFF}, {-1, 0.5f, 0.25f, 0xFFFFFFFF}, {1, -1.5f, 0.25f, 0xFFFFFFFF}, {1, 0.5f, 0.25f, 0xFFFFFFFF}};
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]);
  Capture();
  // Screen pixel -> camera space (identity projection, z = 0.5) -> texel.
  for (UINT y = 1; y < kSize; y += 3) {
    for (UINT x = 1; x < kSize; x += 3) {
      const float cx = static_cast<float>(x) / kSize * 2 - 1, cy = 1 - static_cast<float>(y) / kSize * 2;
      const float u = cx + 0.5f, v = 1.0f - cy;
      D3DCOLOR e = D3DCOLOR_XRGB(40, 40, 40);
      if (u >= 0 && u < 1 && v >= 0 && v < 1) e = colours[static_cast<int>(v * 2) * 2 + static_cast<int>(u * 2)];
      if (std::fabs(u * 2 - std::round(u * 2)) < 0.02f || std::fabs(v * 2 - std::round(v * 2)) < 0.02f) continue;
      EXPECT_PIXEL_NEAR(Pixel(x, y), Channel(e, 16), Channel(e, 8), Channel(e, 0), 0) << x << "," << y;
    }
  }
  dev->SetTexture(1, nullptr);
  tex->Release();
}

}  // namespace
}  // namespace d3d8test

namespace d3d8test {
namespace {

TEST_F(TextureStageTest, MipLevelsFollowTheScreenSizeOfTheQuad) {
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(dev->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex), D3D_OK);
  ASSERT_EQ(tex->GetLevelCount(), 3u);
  const D3DCOLOR colours[3] = {D3DCOLOR_XRGB(255, 0, 0), D3DCOLOR_XRGB(0, 255, 0), D3DCOLOR_XRGB(0, 0, 255)};
  for (UINT level = 0; level < 3; ++level) {
    D3DLOCKED_RECT lr{};
    ASSERT_EQ(tex->LockRect(level, &lr, nullptr, 0), D3D_OK);
    const UINT size = 4u >> level;
    for (UINT y = 0; y < size; ++y)
      for (UINT x = 0; x < size; ++x)
        reinterpret_cast<DWORD*>(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x] = colours[level];
    tex->UnlockRect(level);
  }
  dev->SetTexture(0, tex);
  dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  dev->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_POINT);
  // 4, 2 and 1 screen pixels for the 4 texels across: levels 0, 1 and 2.
  DrawQuad(0, 0, 4, 4, 0xFFFFFFFF);
  DrawQuad(8, 0, 10, 2, 0xFFFFFFFF);
  DrawQuad(16, 0, 17, 1, 0xFFFFFFFF);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(1, 1), 255, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(8, 0), 0, 255, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(16, 0), 0, 0, 255, 0);
  // Without a mip filter only the top level is used.
  dev->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_NONE);
  DrawQuad(16, 0, 17, 1, 0xFFFFFFFF);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(16, 0), 255, 0, 0, 0);
  dev->SetTexture(0, nullptr);
  tex->Release();
}

TEST_F(TextureStageTest, CompressedDxt1TextureDecodes) {
  IDirect3DTexture8* tex = nullptr;
  if (d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1) != D3D_OK)
    GTEST_SKIP() << "no S3TC in this GL";
  ASSERT_EQ(dev->CreateTexture(8, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &tex), D3D_OK);
  D3DLOCKED_RECT lr{};
  ASSERT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
  EXPECT_EQ(lr.Pitch, 16);  // two 8-byte blocks per row of blocks
  // Block 0: all texels colour 0 (pure red in 5:6:5); block 1: all colour 1 (pure blue).
  const std::uint8_t blocks[16] = {0x00, 0xF8, 0x1F, 0x00, 0, 0, 0, 0, 0x00, 0xF8, 0x1F, 0x00, 0x55, 0x55, 0x55, 0x55};
  std::memcpy(lr.pBits, blocks, sizeof blocks);
  tex->UnlockRect(0);
  dev->SetTexture(0, tex);
  dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  DrawQuad(0, 0, 8, 4, 0xFFFFFFFF);
  Capture();
  EXPECT_PIXEL_NEAR(Pixel(1, 1), 255, 0, 0, 0);
  EXPECT_PIXEL_NEAR(Pixel(6, 2), 0, 0, 255, 0);
  dev->SetTexture(0, nullptr);
  tex->Release();
}

}  // namespace
}  // namespace d3d8test
