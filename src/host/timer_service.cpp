#include "host/timer_service.h"

#include "platform/win32/clock.h"

double HighResolutionTimer::Now() {
  if (!initialised_) {
    initialised_ = true;
    win32::LARGE_INTEGER f{};
    haveCounter_ = win32::QueryPerformanceFrequency(&f) && f.QuadPart > 0;
    frequency_ = haveCounter_ ? static_cast<double>(f.QuadPart) : 0.0;
  }
  if (haveCounter_) {
    win32::LARGE_INTEGER c{};
    win32::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / frequency_;
  }
  return win32::timeGetTime() * 0.001;
}

void HighResolutionTimer::Start() { reference_ = Now(); }

double HighResolutionTimer::GetElapsedTime() {
  const double now = Now();
  const double elapsed = now - reference_;
  reference_ = now;
  return elapsed;
}

HighResolutionTimer& Timer() {
  static HighResolutionTimer timer;
  return timer;
}
