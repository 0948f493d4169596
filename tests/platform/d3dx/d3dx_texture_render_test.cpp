// Textures from files on the real Direct3D 8 stand-in (offscreen GL): the data that reaches the
// screen is the file's, in every pool and format path, and the mip chain is really sampled.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "image_builders.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_texture.h"

using namespace d3d8;
using namespace d3dx_test;

namespace {

constexpr UINT kSize = 32;

struct Vertex {
  float x, y, z, rhw;
  D3DCOLOR color;
  float u, v;
};

class D3DXTextureRenderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(nullptr, d3d);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = kSize;
    pp.BackBufferHeight = kSize;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    ASSERT_EQ(D3D_OK, d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev));
  }
  static void TearDownTestSuite() {
    if (dev) {
      EXPECT_EQ(0u, dev->Release());
    }
    if (d3d) {
      EXPECT_EQ(0u, d3d->Release());
    }
    dev = nullptr;
    d3d = nullptr;
  }

  // Draws `tex` over a size x size square at the top left with point sampling, presents, and
  // reads the frame back.
  void Draw(IDirect3DTexture8* tex, float size, D3DTEXTUREFILTERTYPE mipFilter = D3DTEXF_NONE) {
    ASSERT_EQ(D3D_OK, dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF203040u, 1.0f, 0));
    dev->SetRenderState(D3DRS_ZENABLE, FALSE);
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetTexture(0, tex);
    dev->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
    dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
    dev->SetTextureStageState(0, D3DTSS_MIPFILTER, mipFilter);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    const Vertex quad[4] = {{0, size, 0.5f, 1, 0xFFFFFFFFu, 0, 1},
                            {0, 0, 0.5f, 1, 0xFFFFFFFFu, 0, 0},
                            {size, size, 0.5f, 1, 0xFFFFFFFFu, 1, 1},
                            {size, 0, 0.5f, 1, 0xFFFFFFFFu, 1, 0}};
    ASSERT_EQ(D3D_OK, dev->BeginScene());
    dev->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    ASSERT_EQ(D3D_OK, dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)));
    ASSERT_EQ(D3D_OK, dev->EndScene());
    dev->SetTexture(0, nullptr);
    ASSERT_EQ(D3D_OK, dev->Present(nullptr, nullptr, nullptr, nullptr));
    UINT w = 0, h = 0;
    ASSERT_EQ(D3D_OK, ReadPresentedFrame(dev, frame, w, h));
    ASSERT_EQ(kSize, w);
  }

  std::array<int, 3> Pixel(UINT x, UINT y) const {
    const std::uint8_t* p = &frame[(y * kSize + x) * 4];
    return {p[0], p[1], p[2]};
  }

  // Each texel of a 4x4 image drawn over 16x16 pixels is a 4x4 block; sample block centres.
  void ExpectBlocks(const Bytes& rgba, int tolerance) {
    for (UINT ty = 0; ty < 4; ++ty)
      for (UINT tx = 0; tx < 4; ++tx) {
        const std::array<int, 3> got = Pixel(tx * 4 + 2, ty * 4 + 2);
        const std::uint8_t* want = &rgba[(ty * 4 + tx) * 4];
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(want[c], got[c], tolerance) << "texel " << tx << "," << ty;
      }
  }

  static inline IDirect3D8* d3d = nullptr;
  static inline IDirect3DDevice8* dev = nullptr;
  std::vector<std::uint8_t> frame;
};

}  // namespace

TEST_F(D3DXTextureRenderTest, ManagedTextureFromTgaReachesTheScreen) {
  const Bytes pixels = Pattern(4, 4, false);
  const Bytes file = MakeTga(4, 4, pixels, 24, false, true);
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(D3D_OK, d3dx::D3DXCreateTextureFromFileInMemory(dev, file.data(), static_cast<UINT>(file.size()), &tex));
  EXPECT_EQ(3u, tex->GetLevelCount());
  Draw(tex, 16);
  ExpectBlocks(pixels, 0);
  EXPECT_EQ((std::array<int, 3>{0x20, 0x30, 0x40}), Pixel(20, 20));  // outside the quad
  EXPECT_EQ(0u, tex->Release());
}

TEST_F(D3DXTextureRenderTest, DefaultPoolTextureIsUploaded) {
  const Bytes pixels = Pattern(4, 4, false);
  const Bytes file = MakeBmp(4, 4, pixels, 24, false);
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(D3D_OK, d3dx::D3DXCreateTextureFromFileInMemoryEx(
                        dev, file.data(), static_cast<UINT>(file.size()), 0, 0, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT,
                        d3dx::D3DX_DEFAULT, d3dx::D3DX_DEFAULT, 0, nullptr, nullptr, &tex));
  Draw(tex, 16);
  ExpectBlocks(pixels, 0);
  EXPECT_EQ(0u, tex->Release());
}

TEST_F(D3DXTextureRenderTest, SixteenBitAndDxtFormatsDecodeToTheSameColours) {
  // Colours exactly representable in 5:6:5, so the 16-bit and DXT1 paths are lossless.
  Bytes pixels(4 * 4 * 4);
  const std::uint8_t palette[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  for (int i = 0; i < 16; ++i) {
    const int k = (i % 4 + i / 4) % 4;
    pixels[i * 4] = palette[k][0];
    pixels[i * 4 + 1] = palette[k][1];
    pixels[i * 4 + 2] = palette[k][2];
    pixels[i * 4 + 3] = 255;
  }
  const Bytes file = MakeTga(4, 4, pixels, 24, true, false);
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(D3D_OK, d3dx::D3DXCreateTextureFromFileInMemoryEx(dev, file.data(), static_cast<UINT>(file.size()), 0, 0,
                                                              1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, d3dx::D3DX_DEFAULT,
                                                              d3dx::D3DX_DEFAULT, 0, nullptr, nullptr, &tex));
  D3DSURFACE_DESC desc{};
  tex->GetLevelDesc(0, &desc);
  EXPECT_EQ(D3DFMT_R5G6B5, desc.Format);
  Draw(tex, 16);
  ExpectBlocks(pixels, 0);
  tex->Release();

  // A DXT1 file: kept compressed when the device takes DXT1, decompressed otherwise.
  const Bytes blocks = {0x00, 0xF8, 0xE0, 0x07, 0x00, 0x55, 0xAA, 0xFF};  // red / green, rows of indices 0,1,2,3
  const Bytes dds = MakeDdsDxt(4, 4, "DXT1", blocks, 1);
  ASSERT_EQ(D3D_OK, d3dx::D3DXCreateTextureFromFileInMemory(dev, dds.data(), static_cast<UINT>(dds.size()), &tex));
  d3dx::DecodedImage decoded;
  ASSERT_EQ(0, d3dx::DecodeImage(dds.data(), dds.size(), decoded));
  Draw(tex, 16);
  ExpectBlocks(decoded.levels[0].rgba, 3);  // GL may round the thirds differently
  tex->Release();
}

TEST_F(D3DXTextureRenderTest, LowerMipLevelsHoldTheFilteredImage) {
  // 8x8 checkerboard of black and white: every level below the first is mid grey.
  Bytes pixels(8 * 8 * 4);
  for (int i = 0; i < 64; ++i) {
    const std::uint8_t v = ((i % 8 + i / 8) % 2) ? 255 : 0;
    pixels[i * 4] = pixels[i * 4 + 1] = pixels[i * 4 + 2] = v;
    pixels[i * 4 + 3] = 255;
  }
  const Bytes file = MakePng(8, 8, pixels, false);
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(D3D_OK, d3dx::D3DXCreateTextureFromFileInMemory(dev, file.data(), static_cast<UINT>(file.size()), &tex));
  ASSERT_EQ(4u, tex->GetLevelCount());
  Draw(tex, 2, D3DTEXF_POINT);  // 8 texels over 2 pixels: level 2
  for (UINT y = 0; y < 2; ++y)
    for (UINT x = 0; x < 2; ++x) {
      const std::array<int, 3> p = Pixel(x, y);
      EXPECT_NEAR(128, p[0], 2) << x << "," << y;
    }
  Draw(tex, 8, D3DTEXF_POINT);  // one texel per pixel: level 0, the checkerboard itself
  EXPECT_EQ(0, Pixel(0, 0)[0]);
  EXPECT_EQ(255, Pixel(1, 0)[0]);
  tex->Release();
}
