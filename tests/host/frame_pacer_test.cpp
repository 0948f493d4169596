#include "host/frame_pacer.h"

#include <gtest/gtest.h>

namespace {

TEST(FramePacer, FastFramesWaitForTheRestOfThePeriod) {
  FramePacer p;  // 60 Hz: 16.67 ms
  double now = 1000.0;
  // Frames that take 1 ms: the waits keep the average at the refresh rate, without drift.
  double total = 0;
  for (int i = 0; i < 600; ++i) {
    now += 1.0;  // drawing
    const unsigned wait = p.WaitAfterFrame(now);
    EXPECT_LE(wait, 16u);
    now += wait;
    total += 1.0 + wait;
  }
  EXPECT_NEAR(total / 600.0, 1000.0 / 60.0, 0.05);
}

TEST(FramePacer, SwapThatWaitedForVerticalBlankAddsNoWait) {
  FramePacer p;
  p.SetRefreshRate(75);
  double now = 0.0;
  p.WaitAfterFrame(now);
  unsigned waited = 0;
  for (int i = 0; i < 100; ++i) {
    now += 1000.0 / 75.0;  // each frame ends on the next blank
    waited += p.WaitAfterFrame(now);
  }
  EXPECT_LE(waited, 1u);
}

TEST(FramePacer, SlowFrameRestartsTheScheduleInsteadOfHurrying) {
  FramePacer p;
  EXPECT_EQ(p.WaitAfterFrame(0.0), 0u);
  // A 200 ms frame: the next one starts at once and the schedule goes on from there, with no
  // burst of catch-up frames.
  EXPECT_EQ(p.WaitAfterFrame(200.0), 0u);
  EXPECT_EQ(p.WaitAfterFrame(201.0), 15u);
  EXPECT_EQ(p.WaitAfterFrame(217.0), 16u);
  // A clock that stepped back also restarts.
  EXPECT_EQ(p.WaitAfterFrame(50.0), 0u);
  EXPECT_EQ(p.WaitAfterFrame(52.0), 14u);
}

TEST(FramePacer, UnknownRefreshIsSixtyHertz) {
  FramePacer p;
  p.SetRefreshRate(144);
  EXPECT_NEAR(p.periodMs(), 1000.0 / 144, 1e-9);
  p.SetRefreshRate(0);
  EXPECT_NEAR(p.periodMs(), 1000.0 / 60, 1e-9);
}

}  // namespace
