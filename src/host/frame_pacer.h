// Frame pacing for the run loop: when the buffer swap does not wait for the vertical blank
// (no vsync, a virtual display), frames would follow each other as fast as the processor
// allows. The pacer keeps a schedule at the display's refresh rate and says how long to wait
// after each frame; a swap that already waited leaves nothing to wait.
#pragma once

class FramePacer {
 public:
  static constexpr unsigned kDefaultRefreshHz = 60;

  // The display's refresh rate; 0 (unknown) means 60 Hz.
  void SetRefreshRate(unsigned hz);
  double periodMs() const { return period_; }

  // Called after each drawn frame with the current time in milliseconds; returns the whole
  // milliseconds to wait before the next frame so that frames start one period apart. A
  // frame that ran more than a period late restarts the schedule from now instead of
  // hurrying to catch up.
  unsigned WaitAfterFrame(double nowMs);

  // Forgets the schedule (after a pause, when time has passed without frames).
  void Restart() { slot_ = -1.0; }

 private:
  double period_ = 1000.0 / kDefaultRefreshHz;
  double slot_ = -1.0;  // when the frame just drawn was due to start; negative: none yet
};
