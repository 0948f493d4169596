// Clocks: timeGetTime, the performance counter, Sleep and the local time. A process-wide
// manual clock can replace the real one (offscreen capture feeds it a fixed step so the
// scene sees exactly that step; tests use it for determinism).
#pragma once

#include "platform/win32/win32_types.h"

namespace win32 {

DWORD timeGetTime();
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
BOOL QueryPerformanceCounter(LARGE_INTEGER* counter);
void Sleep(DWORD milliseconds);
void GetLocalTime(SYSTEMTIME* time);

// Manual clock. While enabled, timeGetTime and the performance counter return the
// manual time, Sleep returns at once, and only AdvanceManualClock moves time forward.
void EnableManualClock(double startSeconds);
void AdvanceManualClock(double seconds);
void DisableManualClock();
bool ManualClockEnabled();

// Fixes the wall-clock time GetLocalTime reports (hour, minute, second); the date stays real.
void SetFixedLocalTime(int hour, int minute, int second);
void ClearFixedLocalTime();

}  // namespace win32
