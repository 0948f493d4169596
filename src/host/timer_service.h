// The high-resolution timer service the scene measures its frame time with: a start command
// that takes the counter as the reference of the next reading, and an elapsed-time command
// that returns the seconds since the reference and makes now the new reference. Without a
// performance counter, timeGetTime in milliseconds serves as the clock.
#pragma once

class HighResolutionTimer {
 public:
  void Start();
  // Seconds since the reference; now becomes the new reference.
  double GetElapsedTime();

 private:
  double Now();
  bool initialised_ = false;
  bool haveCounter_ = false;
  double frequency_ = 0.0;
  double reference_ = 0.0;
};

// The one process-wide timer.
HighResolutionTimer& Timer();
