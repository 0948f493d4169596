#include <gtest/gtest.h>

#include <vector>

#include "scene/glow_blur.h"

using scene::BlurGlowPlane;
using scene::kGlowSize;

namespace {
struct Plane {
  std::vector<std::uint8_t> p = std::vector<std::uint8_t>(kGlowSize * kGlowSize, 0);
  std::uint8_t& at(int r, int c) { return p[static_cast<size_t>(r * kGlowSize + c)]; }
};
}  // namespace

TEST(GlowBlur, SpotSpreadsWithAlreadyBlurredNeighbours) {
  Plane g;
  g.at(10, 10) = 100;
  BlurGlowPlane(g.p.data());
  // Hand-computed: raster order means left and upper neighbours are already blurred.
  EXPECT_EQ(g.at(9, 9), 13);    // 100 * 0.1375
  EXPECT_EQ(g.at(9, 10), 15);   // (13 + 100) * 0.1375
  EXPECT_EQ(g.at(9, 11), 15);   // (15 + 100) * 0.1375
  EXPECT_EQ(g.at(9, 12), 2);    // 15 * 0.1375
  EXPECT_EQ(g.at(10, 9), 17);   // (13 + 15 + 100) * 0.1375
  EXPECT_EQ(g.at(10, 10), 8);   // (13 + 15 + 15 + 17) * 0.1375
  EXPECT_EQ(g.at(8, 9), 0);
}

TEST(GlowBlur, LastRowRuleAndUntouchedBorders) {
  Plane g;
  g.at(127, 64) = 200;
  g.at(0, 5) = 77;
  g.at(60, 0) = 99;
  g.at(60, 127) = 98;
  BlurGlowPlane(g.p.data());
  EXPECT_EQ(g.at(126, 63), 27);
  EXPECT_EQ(g.at(126, 64), 31);
  EXPECT_EQ(g.at(126, 65), 31);
  EXPECT_EQ(g.at(127, 62), 4);   // 27 * 0.18333334
  EXPECT_EQ(g.at(127, 63), 48);  // (4 + 200 + 27 + 31) * 0.18333334: left already blurred
  EXPECT_EQ(g.at(127, 64), 61);  // (200 + 48 + 27 + 31 + 31) * 0.18333334
  EXPECT_EQ(g.at(0, 5), 77);
  EXPECT_EQ(g.at(60, 0), 99);
  EXPECT_EQ(g.at(60, 127), 98);
  EXPECT_EQ(g.at(127, 0), 0);
}

TEST(GlowBlur, SaturatesAt255) {
  Plane g;
  std::fill(g.p.begin(), g.p.end(), 255);
  BlurGlowPlane(g.p.data());
  for (auto v : g.p) ASSERT_EQ(v, 255);  // 8 * 255 * 0.1375 = 280.5 is capped
}
