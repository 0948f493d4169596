#include <gtest/gtest.h>

#include "platform/win32/crt_rand.h"
#include <vector>

#include "scene/light_map_walk.h"

using scene::LightMapWalk;

namespace {
// Replays fixed values as the random generator.
struct Script {
  std::vector<int> values;
  size_t next = 0;
  int operator()() { return values.at(next++); }
};
}  // namespace

TEST(LightMapWalk, StepsOnlyAfterATenthAndOncePerCall) {
  LightMapWalk w;
  Script s{{20}};  // target 9
  w.Step(0.05f, std::ref(s));
  w.Step(0.05f, std::ref(s));  // 0.1 is not greater than 0.1: still waiting
  EXPECT_EQ(w.currentFrame, 0);
  w.Step(0.02f, std::ref(s));
  EXPECT_EQ(w.targetFrame, 9);
  EXPECT_EQ(w.currentFrame, 1);
  w.Step(5.0f, std::ref(s));  // a long pause still moves one step
  EXPECT_EQ(w.currentFrame, 2);
  EXPECT_LT(w.accumulator, 0.1f);
}

TEST(LightMapWalk, RedrawsWhileTargetEqualsCurrent) {
  LightMapWalk w;
  w.currentFrame = 9;
  w.targetFrame = 9;
  Script s{{14, 19, 3}};  // 9, 9 (clamped), then 0 (clamped)
  w.Step(0.2f, std::ref(s));
  EXPECT_EQ(s.next, 3u);
  EXPECT_EQ(w.targetFrame, 0);
  EXPECT_EQ(w.currentFrame, 8);
}

TEST(LightMapWalk, TargetDistributionWithFixedSeed) {
  win32::crt_srand(12345);
  const int trials = 21000;
  int zero = 0, nine = 0, middle[10] = {};
  for (int i = 0; i < trials; ++i) {
    LightMapWalk w;
    w.currentFrame = w.targetFrame = 5;  // 5 itself is redrawn, so each other outcome is /20
    w.Step(0.11f);
    ASSERT_NE(w.targetFrame, 5);
    if (w.targetFrame == 0) ++zero;
    else if (w.targetFrame == 9) ++nine;
    else ++middle[w.targetFrame];
  }
  EXPECT_NEAR(zero / double(trials), 6.0 / 20, 0.015);
  EXPECT_NEAR(nine / double(trials), 7.0 / 20, 0.015);
  EXPECT_NEAR(middle[3] / double(trials), 1.0 / 20, 0.008);
}

TEST(PointLight, BrightnessStaysInRange) {
  float lo = 1, hi = 0;
  for (int i = 0; i < 200000; ++i) {
    float b = scene::PointLightBrightness(i * 0.001f);
    lo = std::min(lo, b);
    hi = std::max(hi, b);
  }
  EXPECT_GE(lo, 0.46f);
  EXPECT_LE(hi, 0.56f);
  EXPECT_GT(hi - lo, 0.05f);  // the wobble is visible, not flat
}
