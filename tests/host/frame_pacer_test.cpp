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

TEST(SightGate, AsksAtMostOnceASecondAndReportsEachChangeOnce) {
  SightGate gate;
  bool visible = true;
  int asked = 0;
  auto query = [&] {
    ++asked;
    return visible;
  };
  // The first pass asks; passes every 16 ms for 3 s ask three more times, not 180.
  EXPECT_EQ(gate.Update(0.0, query), SightGate::Change::None);
  for (double t = 16.0; t < 3000.0; t += 16.0) EXPECT_EQ(gate.Update(t, query), SightGate::Change::None);
  EXPECT_EQ(asked, 3);
  EXPECT_TRUE(gate.drawing());
  // Hidden: seen at the next check only, reported once.
  visible = false;
  EXPECT_EQ(gate.Update(3010.0, query), SightGate::Change::None);
  EXPECT_TRUE(gate.drawing());
  EXPECT_EQ(gate.Update(3100.0, query), SightGate::Change::Paused);
  EXPECT_FALSE(gate.drawing());
  EXPECT_EQ(gate.Update(4100.0, query), SightGate::Change::None);
  EXPECT_FALSE(gate.drawing());
  visible = true;
  EXPECT_EQ(gate.Update(5100.0, query), SightGate::Change::Resumed);
  EXPECT_TRUE(gate.drawing());
  // A clock that went back asks again at once.
  visible = false;
  EXPECT_EQ(gate.Update(10.0, query), SightGate::Change::Paused);
}

}  // namespace

TEST(FrameRate, SoftwareRenderingDrawsAtThirtyUnlessTold) {
  EXPECT_EQ(ChooseFrameRate(std::nullopt, 60, "llvmpipe (LLVM 15.0.6, 256 bits)"), 30u);
  EXPECT_EQ(ChooseFrameRate(std::nullopt, 0, "Mesa softpipe"), 30u);
  EXPECT_EQ(ChooseFrameRate(std::nullopt, 24, "SWRAST"), 24u);  // never above the refresh
  EXPECT_EQ(ChooseFrameRate(std::nullopt, 144, "NVIDIA GeForce RTX 3060/PCIe/SSE2"), 144u);
  EXPECT_EQ(ChooseFrameRate(std::nullopt, 0, "AMD Radeon"), 60u);
  EXPECT_EQ(ChooseFrameRate(20, 144, "AMD Radeon"), 20u);
  EXPECT_EQ(ChooseFrameRate(60, 0, "llvmpipe"), 60u);
  EXPECT_EQ(ChooseFrameRate(240, 75, "llvmpipe"), 75u);
}
