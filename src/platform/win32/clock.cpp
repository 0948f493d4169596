#include "platform/win32/clock.h"

#include <atomic>
#include <cerrno>
#include <ctime>

namespace win32 {

namespace {

constexpr LONGLONG kCounterFrequency = 1000000000;  // nanoseconds

std::atomic<bool> g_manual{false};
std::atomic<LONGLONG> g_manualNanos{0};
std::atomic<int> g_fixedSecondOfDay{-1};

LONGLONG MonotonicNanos() {
  if (g_manual.load(std::memory_order_relaxed)) return g_manualNanos.load(std::memory_order_relaxed);
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<LONGLONG>(ts.tv_sec) * kCounterFrequency + ts.tv_nsec;
}

}  // namespace

DWORD timeGetTime() {
  // Milliseconds, wrapping at 2^32 like the original.
  return static_cast<DWORD>(static_cast<std::uint64_t>(MonotonicNanos() / 1000000));
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (!frequency) return FALSE;
  frequency->QuadPart = kCounterFrequency;
  return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* counter) {
  if (!counter) return FALSE;
  counter->QuadPart = MonotonicNanos();
  return TRUE;
}

void Sleep(DWORD milliseconds) {
  if (g_manual.load(std::memory_order_relaxed)) return;
  timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void GetLocalTime(SYSTEMTIME* out) {
  if (!out) return;
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  out->wYear = static_cast<WORD>(local.tm_year + 1900);
  out->wMonth = static_cast<WORD>(local.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  out->wDay = static_cast<WORD>(local.tm_mday);
  out->wHour = static_cast<WORD>(local.tm_hour);
  out->wMinute = static_cast<WORD>(local.tm_min);
  out->wSecond = static_cast<WORD>(local.tm_sec);
  out->wMilliseconds = static_cast<WORD>(ts.tv_nsec / 1000000);
  int fixed = g_fixedSecondOfDay.load();
  if (fixed >= 0) {
    out->wHour = static_cast<WORD>(fixed / 3600);
    out->wMinute = static_cast<WORD>(fixed / 60 % 60);
    out->wSecond = static_cast<WORD>(fixed % 60);
    out->wMilliseconds = 0;
  }
}

void EnableManualClock(double startSeconds) {
  g_manualNanos.store(static_cast<LONGLONG>(startSeconds * 1e9));
  g_manual.store(true);
}

void AdvanceManualClock(double seconds) {
  if (seconds > 0) g_manualNanos.fetch_add(static_cast<LONGLONG>(seconds * 1e9 + 0.5));
}

void DisableManualClock() { g_manual.store(false); }

bool ManualClockEnabled() { return g_manual.load(); }

void SetFixedLocalTime(int hour, int minute, int second) {
  g_fixedSecondOfDay.store(((hour % 24) * 60 + minute % 60) * 60 + second % 60);
}

void ClearFixedLocalTime() { g_fixedSecondOfDay.store(-1); }

}  // namespace win32
