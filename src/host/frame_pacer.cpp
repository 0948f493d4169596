#include "host/frame_pacer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

bool IsSoftwareRenderer(std::string_view renderer) {
  std::string lower(renderer);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* name : {"llvmpipe", "softpipe", "swrast"})
    if (lower.find(name) != std::string::npos) return true;
  return false;
}

unsigned ChooseFrameRate(std::optional<int> maxFps, unsigned refreshHz, std::string_view renderer) {
  const unsigned refresh = refreshHz ? refreshHz : FramePacer::kDefaultRefreshHz;
  if (maxFps && *maxFps > 0) return std::min(refresh, static_cast<unsigned>(*maxFps));
  return IsSoftwareRenderer(renderer) ? std::min(refresh, 30u) : refresh;
}

void FramePacer::SetRefreshRate(unsigned hz) {
  period_ = 1000.0 / (hz ? hz : kDefaultRefreshHz);
  slot_ = -1.0;
}

unsigned FramePacer::WaitAfterFrame(double nowMs) {
  const double next = slot_ + period_;
  // First frame, more than a period late, or a clock that went back: start afresh from now.
  if (slot_ < 0.0 || nowMs > next + period_ || nowMs < slot_ - period_) {
    slot_ = nowMs;
    return 0;
  }
  slot_ = next;
  const double wait = next - nowMs;
  return wait > 0.0 ? static_cast<unsigned>(std::floor(wait)) : 0u;
}

SightGate::Change SightGate::Update(double nowMs, const std::function<bool()>& visible) {
  // A clock that went back (a new manual clock, say) also asks again.
  if (lastCheck_ >= 0.0 && nowMs >= lastCheck_ && nowMs - lastCheck_ < kCheckIntervalMs) return Change::None;
  lastCheck_ = nowMs;
  const bool was = drawing_;
  drawing_ = visible();
  if (was == drawing_) return Change::None;
  return drawing_ ? Change::Resumed : Change::Paused;
}
