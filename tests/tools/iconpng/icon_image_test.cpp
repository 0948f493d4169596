#include "icon_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

namespace {

void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}
void Put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
  v.push_back(static_cast<std::uint8_t>(x));
  v.push_back(static_cast<std::uint8_t>(x >> 8));
}

std::vector<std::uint8_t> Header(int w, int h, int bits) {
  std::vector<std::uint8_t> v;
  Put32(v, 40);
  Put32(v, static_cast<std::uint32_t>(w));
  Put32(v, static_cast<std::uint32_t>(h * 2));
  Put16(v, 1);
  Put16(v, static_cast<std::uint32_t>(bits));
  for (int i = 0; i < 6; ++i) Put32(v, 0);
  return v;
}

// 2 x 2, 32-bit: bottom-up rows. Bottom row: red opaque, green half; top row: blue opaque,
// white transparent. Mask says all opaque (ignored because alpha is present).
std::vector<std::uint8_t> Alpha2x2() {
  std::vector<std::uint8_t> v = Header(2, 2, 32);
  const std::uint8_t bottom[] = {0, 0, 255, 255, 0, 255, 0, 128};
  const std::uint8_t top[] = {255, 0, 0, 255, 255, 255, 255, 0};
  v.insert(v.end(), bottom, bottom + 8);
  v.insert(v.end(), top, top + 8);
  for (int i = 0; i < 8; ++i) v.push_back(0);
  return v;
}

TEST(IconImage, ThirtyTwoBitRowsAreBottomUpWithTheirAlpha) {
  RgbaImage img;
  std::string error;
  ASSERT_TRUE(DecodeIconImage(Alpha2x2(), &img, &error)) << error;
  ASSERT_EQ(img.width, 2);
  ASSERT_EQ(img.height, 2);
  const std::vector<std::uint8_t> expected = {0, 0, 255, 255, 255, 255, 255, 0,    // top: blue, clear white
                                              255, 0, 0, 255, 0, 255, 0, 128};  // bottom: red, half green
  EXPECT_EQ(img.pixels, expected);
}

TEST(IconImage, MaskGivesTransparencyWhenThereIsNoAlpha) {
  // 3 x 1, 24-bit: rows padded to 12 bytes; the mask marks the middle pixel transparent.
  std::vector<std::uint8_t> v = Header(3, 1, 24);
  const std::uint8_t row[12] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 0, 0, 0};
  v.insert(v.end(), row, row + 12);
  const std::uint8_t mask[4] = {0x40, 0, 0, 0};
  v.insert(v.end(), mask, mask + 4);
  RgbaImage img;
  std::string error;
  ASSERT_TRUE(DecodeIconImage(v, &img, &error)) << error;
  const std::vector<std::uint8_t> expected = {30, 20, 10, 255, 60, 50, 40, 0, 90, 80, 70, 255};
  EXPECT_EQ(img.pixels, expected);

  // The same as 32-bit with every alpha 0: the mask decides.
  std::vector<std::uint8_t> w = Header(3, 1, 32);
  const std::uint8_t px[12] = {10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0};
  w.insert(w.end(), px, px + 12);
  w.insert(w.end(), mask, mask + 4);
  ASSERT_TRUE(DecodeIconImage(w, &img, &error)) << error;
  EXPECT_EQ(img.pixels, expected);
}

TEST(IconImage, IcoFileUsesItsLargestEntry) {
  const std::vector<std::uint8_t> big = Alpha2x2();
  std::vector<std::uint8_t> small = Header(1, 1, 32);
  for (int i = 0; i < 8; ++i) small.push_back(0xFF);
  std::vector<std::uint8_t> ico;
  Put16(ico, 0);
  Put16(ico, 1);
  Put16(ico, 2);
  const std::uint32_t first = 6 + 32;
  for (auto [size, bytes, offset] : {std::tuple{1u, small.size(), first},
                                      std::tuple{2u, big.size(), first + static_cast<std::uint32_t>(small.size())}}) {
    ico.push_back(static_cast<std::uint8_t>(size));
    ico.push_back(static_cast<std::uint8_t>(size));
    ico.push_back(0);
    ico.push_back(0);
    Put16(ico, 1);
    Put16(ico, 32);
    Put32(ico, static_cast<std::uint32_t>(bytes));
    Put32(ico, offset);
  }
  ico.insert(ico.end(), small.begin(), small.end());
  ico.insert(ico.end(), big.begin(), big.end());
  RgbaImage img;
  std::string error;
  ASSERT_TRUE(DecodeIconImage(ico, &img, &error)) << error;
  EXPECT_EQ(img.width, 2);

  std::vector<std::uint8_t> bad = ico;
  bad[6 + 16 + 12] = 0xF0;  // second entry's offset far past the end
  EXPECT_FALSE(DecodeIconImage(bad, &img, &error));
}

TEST(IconImage, MalformedImagesAreRefused) {
  RgbaImage img;
  std::string error;
  std::vector<std::uint8_t> v = Alpha2x2();
  EXPECT_FALSE(DecodeIconImage(std::vector<std::uint8_t>(v.begin(), v.begin() + 39), &img, &error));
  EXPECT_FALSE(DecodeIconImage(std::vector<std::uint8_t>(v.begin(), v.begin() + 50), &img, &error));
  std::vector<std::uint8_t> odd = v;
  odd[8] = 3;  // colour plus mask rows must be even
  EXPECT_FALSE(DecodeIconImage(odd, &img, &error));
  std::vector<std::uint8_t> huge = v;
  huge[7] = 0x7F;  // width
  EXPECT_FALSE(DecodeIconImage(huge, &img, &error));
  std::vector<std::uint8_t> eight = v;
  eight[14] = 8;
  EXPECT_FALSE(DecodeIconImage(eight, &img, &error));
  EXPECT_FALSE(error.empty());
}

TEST(IconImage, ScalingWeightsColourByAlpha) {
  // 2 x 2 -> 1 x 1: one opaque red pixel among three clear white ones stays pure red at a
  // quarter of the coverage; white from the clear pixels must not bleed in.
  RgbaImage in;
  in.width = in.height = 2;
  in.pixels = {255, 0, 0, 255, 255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0};
  RgbaImage out = ScaleIcon(in, 1);
  EXPECT_EQ(out.pixels, (std::vector<std::uint8_t>{255, 0, 0, 64}));

  // Growing keeps the pixels' own colours in the quadrants.
  in.pixels = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 10, 20, 30, 255};
  out = ScaleIcon(in, 4);
  ASSERT_EQ(out.width, 4);
  EXPECT_EQ(std::vector<std::uint8_t>(out.pixels.begin(), out.pixels.begin() + 4), (std::vector<std::uint8_t>{255, 0, 0, 255}));
  const std::size_t last = (3 * 4 + 3) * 4;
  EXPECT_EQ(std::vector<std::uint8_t>(out.pixels.begin() + last, out.pixels.begin() + last + 4),
            (std::vector<std::uint8_t>{10, 20, 30, 255}));
}

}  // namespace
