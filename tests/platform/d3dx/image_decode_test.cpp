#include "platform/d3dx/image_decode.h"
#include "platform/d3dx/image_filter.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include "image_builders.h"

using namespace d3dx;
using namespace d3dx_test;

namespace {

DecodedImage Decode(const Bytes& file, win32::HRESULT expected = win32::S_OK) {
  DecodedImage img;
  EXPECT_EQ(expected, DecodeImage(file.data(), file.size(), img));
  return img;
}

Bytes Opaque(Bytes rgba) {
  for (std::size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
  return rgba;
}

// Every proper prefix of a file must be refused (no partial images, no over-reads).
void ExpectPrefixesRefused(const Bytes& file) {
  for (std::size_t n = 0; n < file.size(); ++n) {
    DecodedImage img;
    ASSERT_EQ(D3DXERR_INVALIDDATA, DecodeImage(file.data(), n, img)) << "prefix of " << n << " bytes";
  }
}

std::array<int, 4> Texel(const DecodedImage& img, std::uint32_t x, std::uint32_t y, std::size_t level = 0) {
  const std::uint8_t* p = &img.levels[level].rgba[(y * img.levels[level].width + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

}  // namespace

TEST(ImageDecodeTest, BmpTrueColourBothRowOrders) {
  const Bytes pixels = Pattern(3, 2, false);  // 3 pixels: 24-bit rows need padding
  DecodedImage img = Decode(MakeBmp(3, 2, pixels, 24, false));
  ASSERT_EQ(1u, img.levels.size());
  EXPECT_EQ(3u, img.Width());
  EXPECT_EQ(2u, img.Height());
  EXPECT_EQ(pixels, img.levels[0].rgba);
  EXPECT_EQ(D3DXIFF_BMP, img.fileFormat);
  EXPECT_EQ(d3d8::D3DFMT_R8G8B8, img.fileD3DFormat);

  img = Decode(MakeBmp(3, 2, pixels, 32, true));
  EXPECT_EQ(pixels, img.levels[0].rgba);  // the unused fourth byte does not become alpha
  EXPECT_EQ(d3d8::D3DFMT_X8R8G8B8, img.fileD3DFormat);
  EXPECT_FALSE(img.hasAlpha);
}

TEST(ImageDecodeTest, BmpPaletteAndBitFields) {
  const Bytes palette = {255, 0, 0, 0, 255, 0, 0, 0, 255};
  DecodedImage img = Decode(MakeBmp8(3, 2, {0, 1, 2, 2, 1, 0}, palette));
  EXPECT_EQ((std::array<int, 4>{255, 0, 0, 255}), Texel(img, 0, 0));
  EXPECT_EQ((std::array<int, 4>{0, 0, 255, 255}), Texel(img, 2, 0));
  EXPECT_EQ((std::array<int, 4>{0, 0, 255, 255}), Texel(img, 0, 1));
  EXPECT_EQ(d3d8::D3DFMT_P8, img.fileD3DFormat);

  img = Decode(MakeBmp565(2, 2, {0xF800, 0x07E0, 0x001F, 0x8410}));
  EXPECT_EQ((std::array<int, 4>{255, 0, 0, 255}), Texel(img, 0, 0));
  EXPECT_EQ((std::array<int, 4>{0, 255, 0, 255}), Texel(img, 1, 0));
  EXPECT_EQ((std::array<int, 4>{0, 0, 255, 255}), Texel(img, 0, 1));
  // 16/31 and 32/63 scaled to 0..255 with rounding.
  EXPECT_EQ((std::array<int, 4>{132, 130, 132, 255}), Texel(img, 1, 1));
  EXPECT_EQ(d3d8::D3DFMT_R5G6B5, img.fileD3DFormat);
}

TEST(ImageDecodeTest, BmpDamagedFilesAreRefused) {
  const Bytes good = MakeBmp(3, 2, Pattern(3, 2, false), 24, false);
  ExpectPrefixesRefused(good);

  Bytes bad = good;
  Set32(bad, 14, 7);  // impossible header size
  Decode(bad, D3DXERR_INVALIDDATA);
  bad = good;
  Set32(bad, 30, 1);  // run-length compression
  Decode(bad, D3DXERR_INVALIDDATA);
  bad = good;
  Set32(bad, 10, 0xFFFFFFF0u);  // pixel data offset beyond the file
  Decode(bad, D3DXERR_INVALIDDATA);
  bad = good;
  Set32(bad, 18, 100000);  // absurd width: refused before allocating
  Set32(bad, 22, 100000);
  Decode(bad, D3DXERR_INVALIDDATA);
  bad = good;
  Set32(bad, 22, 0x80000000u);  // INT_MIN height
  Decode(bad, D3DXERR_INVALIDDATA);

  // A palette index past the colours in use.
  Bytes pal = MakeBmp8(2, 1, {0, 5}, {1, 2, 3, 4, 5, 6});
  Decode(pal, D3DXERR_INVALIDDATA);
}

TEST(ImageDecodeTest, TgaTrueColourOriginsAndRunLength) {
  const Bytes pixels = Pattern(3, 2);
  DecodedImage img = Decode(MakeTga(3, 2, pixels, 24, false, false));
  EXPECT_EQ(Opaque(pixels), img.levels[0].rgba);
  EXPECT_EQ(d3d8::D3DFMT_R8G8B8, img.fileD3DFormat);
  EXPECT_EQ(D3DXIFF_TGA, img.fileFormat);

  img = Decode(MakeTga(3, 2, pixels, 32, true, true));
  EXPECT_EQ(pixels, img.levels[0].rgba);
  EXPECT_TRUE(img.hasAlpha);
  EXPECT_EQ(d3d8::D3DFMT_A8R8G8B8, img.fileD3DFormat);

  // A solid image is one run packet that crosses rows; mix in raw packets after it.
  Bytes solid(5 * 3 * 4, 0);
  for (std::size_t i = 0; i < solid.size(); i += 4) solid[i] = 9, solid[i + 1] = 8, solid[i + 2] = 7, solid[i + 3] = 200;
  solid[14 * 4] = 99;
  const Bytes rle = MakeTga(5, 3, solid, 32, false, true);
  EXPECT_LT(rle.size(), 18u + 3 + 15 * 4);  // really compressed
  img = Decode(rle);
  EXPECT_EQ(solid, img.levels[0].rgba);

  // Right-to-left origin mirrors each row.
  Bytes rtl = MakeTga(3, 2, pixels, 32, true, false);
  rtl[17] |= 0x10;
  img = Decode(rtl);
  EXPECT_EQ(Texel(Decode(MakeTga(3, 2, pixels, 32, true, false)), 0, 1), Texel(img, 2, 1));
}

TEST(ImageDecodeTest, TgaAlphaBitsZeroWithBlankAlphaIsOpaque) {
  Bytes pixels = Pattern(2, 2);
  for (std::size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 0;
  Bytes file = MakeTga(2, 2, pixels, 32, true, false);
  file[17] &= ~0x0F;  // no alpha bits declared and every alpha byte zero
  DecodedImage img = Decode(file);
  EXPECT_FALSE(img.hasAlpha);
  EXPECT_EQ(Opaque(pixels), img.levels[0].rgba);
  EXPECT_EQ(d3d8::D3DFMT_X8R8G8B8, img.fileD3DFormat);
}

TEST(ImageDecodeTest, TgaColourMappedGreyAndSixteenBit) {
  // Colour-mapped: 2 entries of 24 bits starting at index 4.
  Bytes mapped = {0, 1, 1, 4, 0, 2, 0, 24, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0x20,
                  0, 0, 255, /*red*/ 255, 0, 0 /*blue*/, 5, 4};
  DecodedImage img = Decode(mapped);
  EXPECT_EQ((std::array<int, 4>{0, 0, 255, 255}), Texel(img, 0, 0));
  EXPECT_EQ((std::array<int, 4>{255, 0, 0, 255}), Texel(img, 1, 0));
  mapped[24] = 7;  // index outside the map
  Decode(mapped, D3DXERR_INVALIDDATA);

  const Bytes grey = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0x20, 17, 240};
  img = Decode(grey);
  EXPECT_EQ((std::array<int, 4>{17, 17, 17, 255}), Texel(img, 0, 0));
  EXPECT_EQ(d3d8::D3DFMT_L8, img.fileD3DFormat);

  // 16-bit with one attribute bit: 0x7C00 red without alpha bit, 0x83E0 green with it.
  const Bytes sixteen = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 16, 0x21, 0x00, 0x7C, 0xE0, 0x83};
  img = Decode(sixteen);
  EXPECT_EQ((std::array<int, 4>{255, 0, 0, 0}), Texel(img, 0, 0));
  EXPECT_EQ((std::array<int, 4>{0, 255, 0, 255}), Texel(img, 1, 0));
  EXPECT_EQ(d3d8::D3DFMT_A1R5G5B5, img.fileD3DFormat);
}

TEST(ImageDecodeTest, TgaDamagedFilesAreRefused) {
  ExpectPrefixesRefused(MakeTga(3, 2, Pattern(3, 2), 32, false, true));
  ExpectPrefixesRefused(MakeTga(3, 2, Pattern(3, 2), 24, true, false));
  Bytes bad = MakeTga(3, 2, Pattern(3, 2), 24, true, false);
  bad[2] = 0;  // no image
  Decode(bad, D3DXERR_INVALIDDATA);
  bad[2] = 2;
  bad[16] = 13;  // impossible depth
  Decode(bad, D3DXERR_INVALIDDATA);
  // Huge dimensions with a few bytes of run-length data: refused without allocating.
  Bytes huge = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x1F, 0x40, 0x1F, 32, 8, 0xFF, 1, 2, 3, 4};  // 8000 x 8000
  Decode(huge, D3DXERR_INVALIDDATA);
}

TEST(ImageDecodeTest, DdsUncompressedWithStoredMipChain) {
  const std::vector<Bytes> levels = {Pattern(4, 2), Pattern(2, 1), Pattern(1, 1)};
  DecodedImage img = Decode(MakeDdsArgb(4, 2, levels));
  ASSERT_EQ(3u, img.levels.size());
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(levels[i], img.levels[i].rgba) << "level " << i;
  EXPECT_EQ(1u, img.levels[2].width);
  EXPECT_EQ(d3d8::D3DFMT_A8R8G8B8, img.fileD3DFormat);
  EXPECT_EQ(D3DXIFF_DDS, img.fileFormat);
  EXPECT_TRUE(img.compressedLevels.empty());

  // A chain cut short keeps the complete levels; a chain claiming 1000 levels is capped.
  Bytes cut = MakeDdsArgb(4, 2, levels);
  cut.resize(cut.size() - 2);
  img = Decode(cut);
  EXPECT_EQ(2u, img.levels.size());
  Bytes many = MakeDdsArgb(4, 2, levels);
  Set32(many, 4 + 24, 1000);
  img = Decode(many);
  EXPECT_EQ(3u, img.levels.size());
}

TEST(ImageDecodeTest, DdsDxtBlocksDecodeExactly) {
  // DXT1 four-colour block: red, blue and the two thirds between them.
  const Bytes four = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0, 0, 0};
  DecodedImage img = Decode(MakeDdsDxt(4, 4, "DXT1", four, 1));
  EXPECT_EQ((std::array<int, 4>{255, 0, 0, 255}), Texel(img, 0, 0));
  EXPECT_EQ((std::array<int, 4>{0, 0, 255, 255}), Texel(img, 1, 0));
  EXPECT_EQ((std::array<int, 4>{170, 0, 85, 255}), Texel(img, 2, 0));
  EXPECT_EQ((std::array<int, 4>{85, 0, 170, 255}), Texel(img, 3, 0));
  EXPECT_EQ(d3d8::D3DFMT_DXT1, img.fileD3DFormat);
  ASSERT_EQ(1u, img.compressedLevels.size());
  EXPECT_EQ(four, img.compressedLevels[0]);
  EXPECT_FALSE(img.hasAlpha);

  // Three-colour block (c0 <= c1): midpoint and transparent black; a 2x2 image crops the block.
  const Bytes three = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0, 0, 0};
  img = Decode(MakeDdsDxt(2, 2, "DXT1", three, 1));
  EXPECT_EQ(2u, img.Width());
  EXPECT_EQ((std::array<int, 4>{0, 0, 255, 255}), Texel(img, 0, 0));
  EXPECT_EQ((std::array<int, 4>{255, 0, 0, 255}), Texel(img, 1, 0));
  EXPECT_EQ((std::array<int, 4>{0, 0, 255, 255}), Texel(img, 1, 1));
  const DecodedImage full = Decode(MakeDdsDxt(4, 4, "DXT1", three, 1));
  EXPECT_EQ((std::array<int, 4>{127, 0, 127, 255}), Texel(full, 2, 0));
  EXPECT_EQ((std::array<int, 4>{0, 0, 0, 0}), Texel(full, 3, 0));
  EXPECT_TRUE(full.hasAlpha);

  // DXT3: explicit 4-bit alpha, texels 0..3 = 15, 0, 8, 3 (times 17); white colour block.
  const Bytes dxt3 = {0x0F, 0x38, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  img = Decode(MakeDdsDxt(4, 4, "DXT3", dxt3, 1));
  EXPECT_EQ(255, Texel(img, 0, 0)[3]);
  EXPECT_EQ(0, Texel(img, 1, 0)[3]);
  EXPECT_EQ(136, Texel(img, 2, 0)[3]);
  EXPECT_EQ(51, Texel(img, 3, 0)[3]);
  EXPECT_EQ(255, Texel(img, 3, 0)[0]);

  // DXT5: alpha 255/0 with eight steps; texels use indices 0, 1, 2 and 7.
  const Bytes dxt5 = {255, 0, 0x88, 0x0E, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  img = Decode(MakeDdsDxt(4, 4, "DXT5", dxt5, 1));
  EXPECT_EQ(255, Texel(img, 0, 0)[3]);
  EXPECT_EQ(0, Texel(img, 1, 0)[3]);
  EXPECT_EQ(219, Texel(img, 2, 0)[3]);
  EXPECT_EQ(36, Texel(img, 3, 0)[3]);
  // Six-step mode (a0 <= a1): index 2 interpolates by fifths, 6 and 7 are 0 and 255.
  const Bytes six = {50, 100, 0xF2, 0x01, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  img = Decode(MakeDdsDxt(4, 4, "DXT5", six, 1));
  EXPECT_EQ(60, Texel(img, 0, 0)[3]);   // index 2
  EXPECT_EQ(0, Texel(img, 1, 0)[3]);    // index 6
  EXPECT_EQ(255, Texel(img, 2, 0)[3]);  // index 7
}

TEST(ImageDecodeTest, DdsDamagedFilesAreRefused) {
  const Bytes good = MakeDdsDxt(8, 4, "DXT1", Bytes(16, 0x11), 1);
  ExpectPrefixesRefused(good);
  Bytes bad = good;
  bad[84] = 'A';  // unknown FourCC
  Decode(bad, D3DXERR_INVALIDDATA);
  bad = good;
  Set32(bad, 4, 100);  // wrong header size
  Decode(bad, D3DXERR_INVALIDDATA);
  bad = good;
  Set32(bad, 12, 0);  // zero height
  Decode(bad, D3DXERR_INVALIDDATA);
  bad = good;
  Set32(bad, 12, 1u << 20);
  Set32(bad, 16, 1u << 20);
  Decode(bad, D3DXERR_INVALIDDATA);
}

TEST(ImageDecodeTest, PngRoundTripAndDamage) {
  const Bytes pixels = Pattern(5, 3);
  const Bytes file = MakePng(5, 3, pixels, true);
  ASSERT_FALSE(file.empty());
  DecodedImage img = Decode(file);
  EXPECT_EQ(pixels, img.levels[0].rgba);
  EXPECT_TRUE(img.hasAlpha);
  EXPECT_EQ(D3DXIFF_PNG, img.fileFormat);
  EXPECT_EQ(d3d8::D3DFMT_A8R8G8B8, img.fileD3DFormat);

  img = Decode(MakePng(5, 3, pixels, false));
  EXPECT_EQ(Opaque(pixels), img.levels[0].rgba);
  EXPECT_FALSE(img.hasAlpha);

  Bytes corrupt = file;
  corrupt[corrupt.size() / 2] ^= 0x5A;  // checksum or deflate error
  Decode(corrupt, D3DXERR_INVALIDDATA);
  Decode(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() / 2)), D3DXERR_INVALIDDATA);

  DecodedImage limited;
  DecodeLimits limits;
  limits.maxSide = 4;
  EXPECT_EQ(D3DXERR_INVALIDDATA, DecodeImage(file.data(), file.size(), limited, limits));
}

TEST(ImageDecodeTest, JpegColourGreyAndDamage) {
  Bytes solid(16 * 8 * 4);
  for (std::size_t i = 0; i < solid.size(); i += 4) solid[i] = 200, solid[i + 1] = 100, solid[i + 2] = 50, solid[i + 3] = 255;
  const Bytes file = MakeJpeg(16, 8, solid, 95);
  DecodedImage img = Decode(file);
  ASSERT_EQ(16u, img.Width());
  ASSERT_EQ(8u, img.Height());
  for (std::size_t i = 0; i < img.levels[0].rgba.size(); i += 4) {
    EXPECT_NEAR(200, img.levels[0].rgba[i], 3);
    EXPECT_NEAR(100, img.levels[0].rgba[i + 1], 3);
    EXPECT_NEAR(50, img.levels[0].rgba[i + 2], 3);
    EXPECT_EQ(255, img.levels[0].rgba[i + 3]);
  }
  EXPECT_EQ(D3DXIFF_JPG, img.fileFormat);
  EXPECT_FALSE(img.hasAlpha);

  img = Decode(MakeJpeg(8, 8, solid, 90, true));
  EXPECT_EQ(img.levels[0].rgba[0], img.levels[0].rgba[1]);
  EXPECT_EQ(img.levels[0].rgba[1], img.levels[0].rgba[2]);
  EXPECT_NEAR(200, img.levels[0].rgba[0], 3);

  Decode(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() * 2 / 3)), D3DXERR_INVALIDDATA);
  Decode(Bytes(file.begin(), file.begin() + 40), D3DXERR_INVALIDDATA);
  Bytes noImage = file;
  noImage[3] = 0xD9;  // end of image right after the start
  Decode(noImage, D3DXERR_INVALIDDATA);
  Bytes noTables(file.begin(), file.begin() + 2);  // start of image, then a frame without tables
  const Bytes sof = {0xFF, 0xC0, 0, 11, 8, 0, 8, 0, 8, 1, 1, 0x11, 0, 0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0, 1, 2, 3};
  noTables.insert(noTables.end(), sof.begin(), sof.end());
  Decode(noTables, D3DXERR_INVALIDDATA);
}

TEST(ImageDecodeTest, UnknownAndEmptyDataAreRefused) {
  Decode(Bytes(), D3DXERR_INVALIDDATA);
  Decode(Bytes(40, 0xAB), D3DXERR_INVALIDDATA);
  Decode(Bytes{'B', 'M'}, D3DXERR_INVALIDDATA);
  Decode(Bytes{'D', 'D', 'S', ' ', 0}, D3DXERR_INVALIDDATA);
}

TEST(ImageDecodeTest, DxtCompressionRoundTrip) {
  // Flat 4x4 blocks survive exactly (colours representable in 5:6:5).
  Bytes flat(8 * 4 * 4);
  for (std::uint32_t y = 0; y < 4; ++y)
    for (std::uint32_t x = 0; x < 8; ++x) {
      std::uint8_t* p = &flat[(y * 8 + x) * 4];
      p[0] = x < 4 ? 255 : 0;
      p[1] = x < 4 ? 0 : 255;
      p[2] = 0;
      p[3] = x < 4 ? 255 : 0;  // right block transparent
    }
  ImageLevel level{8, 4, flat};
  for (d3d8::D3DFORMAT f : {d3d8::D3DFMT_DXT1, d3d8::D3DFMT_DXT3, d3d8::D3DFMT_DXT5}) {
    const Bytes blocks = CompressDxt(level, f);
    ASSERT_EQ(DxtLevelSize(f, 8, 4), blocks.size());
    Bytes back(flat.size());
    DecompressDxt(f, blocks.data(), 8, 4, back.data());
    for (std::size_t i = 0; i < flat.size(); i += 4) {
      EXPECT_EQ(flat[i + 3], back[i + 3]) << "format " << f << " texel " << i / 4;
      if (flat[i + 3] != 0 || f != d3d8::D3DFMT_DXT1) {
        EXPECT_EQ(flat[i], back[i]);
      }
    }
  }
  // A ramp with anti-correlated channels lies on one line in colour space: the endpoints must
  // follow that diagonal, and the interpolated thirds land exactly.
  Bytes ramp(4 * 4 * 4);
  for (std::uint32_t i = 0; i < 16; ++i) {
    const auto v = static_cast<std::uint8_t>(85 * (i % 4));
    ramp[i * 4] = v;
    ramp[i * 4 + 1] = static_cast<std::uint8_t>(255 - v);
    ramp[i * 4 + 2] = 0;
    ramp[i * 4 + 3] = 255;
  }
  const Bytes blocks = CompressDxt(ImageLevel{4, 4, ramp}, d3d8::D3DFMT_DXT1);
  Bytes back(ramp.size());
  DecompressDxt(d3d8::D3DFMT_DXT1, blocks.data(), 4, 4, back.data());
  EXPECT_EQ(ramp, back);
}
