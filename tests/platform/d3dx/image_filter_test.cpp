#include "platform/d3dx/image_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <utility>

using namespace d3dx;

namespace {

// A single-channel helper: grey values with alpha 255.
ImageLevel Grey(std::uint32_t w, std::uint32_t h, std::initializer_list<int> values) {
  ImageLevel img{w, h, {}};
  for (int v : values) img.rgba.insert(img.rgba.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v),
                                                         static_cast<std::uint8_t>(v), 255});
  return img;
}

std::vector<int> Reds(const ImageLevel& img) {
  std::vector<int> r;
  for (std::size_t i = 0; i < img.rgba.size(); i += 4) r.push_back(img.rgba[i]);
  return r;
}

}  // namespace

TEST(ImageFilterTest, ResampleKinds) {
  const ImageLevel row = Grey(4, 1, {0, 100, 200, 40});
  // Box: exact pair averages.
  EXPECT_EQ((std::vector<int>{50, 120}), Reds(ResizeImage(row, 2, 1, D3DX_FILTER_BOX)));
  EXPECT_EQ((std::vector<int>{50, 120}), Reds(ResizeImage(row, 2, 1, D3DX_FILTER_TRIANGLE)));
  // Point: the texel under each target centre (source 1 and 3).
  EXPECT_EQ((std::vector<int>{100, 40}), Reds(ResizeImage(row, 2, 1, D3DX_FILTER_POINT)));
  // None: the overlapping part is copied, the rest is transparent black.
  const ImageLevel none = ResizeImage(row, 6, 2, D3DX_FILTER_NONE);
  EXPECT_EQ((std::vector<int>{0, 100, 200, 40, 0, 0, 0, 0, 0, 0, 0, 0}), Reds(none));
  EXPECT_EQ(0, none.rgba[4 * 4 + 3]);

  // Linear upsampling: the first target texel sits a quarter texel before the source's first
  // centre, so it blends with the texel beyond the edge: wrapped (200) or mirrored (0).
  const ImageLevel two = Grey(2, 1, {0, 200});
  EXPECT_EQ((std::vector<int>{50, 50, 150, 150}), Reds(ResizeImage(two, 4, 1, D3DX_FILTER_LINEAR)));
  EXPECT_EQ((std::vector<int>{0, 50, 150, 200}),
            Reds(ResizeImage(two, 4, 1, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_U)));
}

TEST(ImageFilterTest, MipLevelsOfOddAndThinImages) {
  // 3 -> 1: the one texel covers all three.
  EXPECT_EQ((std::vector<int>{100}), Reds(NextMipLevel(Grey(3, 1, {0, 100, 200}), D3DX_FILTER_BOX)));
  // 4x1 -> 2x1 (the height stays 1).
  const ImageLevel half = NextMipLevel(Grey(4, 1, {10, 30, 50, 70}), D3DX_FILTER_BOX);
  EXPECT_EQ(2u, half.width);
  EXPECT_EQ(1u, half.height);
  EXPECT_EQ((std::vector<int>{20, 60}), Reds(half));
  // A mip filter of NONE still produces a level (point sampled).
  EXPECT_EQ((std::vector<int>{30, 70}), Reds(NextMipLevel(Grey(4, 1, {10, 30, 50, 70}), D3DX_FILTER_NONE)));
  // 1x1 stays 1x1.
  EXPECT_EQ((std::vector<int>{9}), Reds(NextMipLevel(Grey(1, 1, {9}), D3DX_FILTER_BOX)));
}

TEST(ImageFilterTest, HalvingShortcutAgreesWithAreaFilter) {
  // Exact halvings take an integer shortcut; it must round like the general area filter.
  for (auto [w, h] : {std::pair<std::uint32_t, std::uint32_t>{8, 6}, {8, 1}, {1, 4}, {2, 2}}) {
    ImageLevel img{w, h, {}};
    std::uint32_t seed = 12345;
    for (std::uint32_t i = 0; i < w * h * 4; ++i) {
      seed = seed * 214013u + 2531011u;
      img.rgba.push_back(static_cast<std::uint8_t>(seed >> 16));
    }
    const ImageLevel fast = NextMipLevel(img, D3DX_FILTER_BOX);
    const ImageLevel general = ResizeImage(img, std::max(1u, w / 2), std::max(1u, h / 2), D3DX_FILTER_BOX);
    EXPECT_EQ(general.width, fast.width);
    EXPECT_EQ(general.height, fast.height);
    EXPECT_EQ(general.rgba, fast.rgba) << w << "x" << h;
  }
}

TEST(ImageFilterTest, FilterValidation) {
  EXPECT_TRUE(IsValidFilter(D3DX_FILTER_TRIANGLE | D3DX_FILTER_MIRROR | D3DX_FILTER_DITHER));
  EXPECT_TRUE(IsValidFilter(D3DX_FILTER_NONE));
  EXPECT_FALSE(IsValidFilter(0));
  EXPECT_FALSE(IsValidFilter(6));
  EXPECT_FALSE(IsValidFilter(D3DX_FILTER_BOX | 0x100000));
}

TEST(ImageFilterTest, PackKnownColours) {
  const ImageLevel red{1, 1, {255, 0, 0, 255}};
  const ImageLevel halfGreen{1, 1, {0, 255, 0, 100}};
  auto pack16 = [](const ImageLevel& img, d3d8::D3DFORMAT f) {
    std::uint8_t d[2] = {0, 0};
    EXPECT_TRUE(PackPixels(img, f, d, 2));
    return d[0] | (d[1] << 8);
  };
  EXPECT_EQ(0xF800, pack16(red, d3d8::D3DFMT_R5G6B5));
  EXPECT_EQ(0xFC00, pack16(red, d3d8::D3DFMT_A1R5G5B5));
  EXPECT_EQ(0x03E0, pack16(halfGreen, d3d8::D3DFMT_A1R5G5B5));  // alpha below half: bit clear
  EXPECT_EQ(0xFF00, pack16(red, d3d8::D3DFMT_A4R4G4B4));
  EXPECT_EQ(0x60F0, pack16(halfGreen, d3d8::D3DFMT_A4R4G4B4));  // 100 -> 6 of 15
  EXPECT_EQ(0xFC00, pack16(red, d3d8::D3DFMT_X1R5G5B5));
  std::uint8_t d[4] = {};
  ASSERT_TRUE(PackPixels(red, d3d8::D3DFMT_X8R8G8B8, d, 4));
  EXPECT_EQ((std::array<std::uint8_t, 4>{0, 0, 255, 255}), (std::array<std::uint8_t, 4>{d[0], d[1], d[2], d[3]}));
  ASSERT_TRUE(PackPixels(halfGreen, d3d8::D3DFMT_A8L8, d, 2));
  EXPECT_EQ(182, d[0]);  // 0.7152 * 255
  EXPECT_EQ(100, d[1]);
  EXPECT_FALSE(PackPixels(red, d3d8::D3DFMT_P8, d, 1));
  EXPECT_FALSE(CanPackFormat(d3d8::D3DFMT_V8U8));
  EXPECT_TRUE(CanPackFormat(d3d8::D3DFMT_DXT3));
}

TEST(ImageFilterTest, PackUnpackRoundTripHonoursPitch) {
  ImageLevel img{3, 2, {}};
  for (int i = 0; i < 6; ++i) img.rgba.insert(img.rgba.end(), {static_cast<std::uint8_t>(i * 40), 17,
                                                               static_cast<std::uint8_t>(255 - i * 40),
                                                               static_cast<std::uint8_t>(i * 51)});
  for (d3d8::D3DFORMAT f : {d3d8::D3DFMT_A8R8G8B8, d3d8::D3DFMT_A4R4G4B4, d3d8::D3DFMT_R5G6B5, d3d8::D3DFMT_A8L8}) {
    const std::int32_t pitch = 3 * static_cast<std::int32_t>(FormatBytesPerPixel(f)) + 5;
    std::vector<std::uint8_t> surface(static_cast<std::size_t>(pitch) * 2, 0xEE);
    ASSERT_TRUE(PackPixels(img, f, surface.data(), pitch));
    EXPECT_EQ(0xEE, surface[static_cast<std::size_t>(pitch) - 1]) << "row padding overwritten, format " << f;
    ImageLevel back{3, 2, {}};
    ASSERT_TRUE(UnpackPixels(surface.data(), pitch, f, back));
    const int tolerance = f == d3d8::D3DFMT_A8R8G8B8 ? 0 : f == d3d8::D3DFMT_A4R4G4B4 ? 9 : 5;
    for (std::size_t i = 0; i < img.rgba.size(); ++i) {
      if (f == d3d8::D3DFMT_R5G6B5 && i % 4 == 3) continue;       // no alpha
      if (f == d3d8::D3DFMT_A8L8 && i % 4 != 3) continue;         // grey only
      EXPECT_NEAR(img.rgba[i], back.rgba[i], tolerance) << "format " << f << " byte " << i;
    }
  }
}

TEST(ImageFilterTest, ColourKeyMatchesWholeArgb) {
  ImageLevel img{3, 1, {0, 0, 0, 255, 0, 0, 0, 254, 1, 0, 0, 255}};
  EXPECT_TRUE(ApplyColorKey(img, 0xFF000000u));
  EXPECT_EQ((std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 254, 1, 0, 0, 255}), img.rgba);
  EXPECT_FALSE(ApplyColorKey(img, 0xFF000000u));
}
