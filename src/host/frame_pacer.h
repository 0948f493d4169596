// Frame pacing for the run loop: when the buffer swap does not wait for the vertical blank
// (no vsync, a virtual display), frames would follow each other as fast as the processor
// allows. The pacer keeps a schedule at the display's refresh rate and says how long to wait
// after each frame; a swap that already waited leaves nothing to wait.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

// The frame rate the run loop keeps: the display's refresh (60 Hz when unknown), lowered to
// `maxFps` when one is given, or to 30 frames a second when the renderer draws in software
// (llvmpipe, softpipe, swrast), where every frame costs processor time that a graphics card
// would spend instead.
unsigned ChooseFrameRate(std::optional<int> maxFps, unsigned refreshHz, std::string_view renderer);
bool IsSoftwareRenderer(std::string_view renderer);

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

// Whether the run loop draws at all: nothing is drawn while the window cannot be seen (it is
// hidden or covered, or the screen is asleep). Asking costs round trips to the X server, so
// the answer is refreshed at most once per check interval, drawing or not.
class SightGate {
 public:
  static constexpr double kCheckIntervalMs = 1000.0;
  enum class Change { None, Paused, Resumed };

  // Called on each pass of the loop with the time in milliseconds; asks `visible` when a
  // check is due and says whether drawing just stopped or started again.
  Change Update(double nowMs, const std::function<bool()>& visible);
  bool drawing() const { return drawing_; }

 private:
  bool drawing_ = true;
  double lastCheck_ = -1.0;  // negative: never asked
};
