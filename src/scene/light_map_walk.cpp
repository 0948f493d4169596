#include "scene/light_map_walk.h"

#include <cmath>
#include "platform/win32/crt_rand.h"

namespace scene {

void LightMapWalk::Step(float dt, const std::function<int()>& random) {
  accumulator += dt;
  if (!(accumulator > 0.1f)) return;
  accumulator = std::fmod(accumulator, 0.1f);  // at most one step per call
  while (targetFrame == currentFrame) {
    int r = random() % 21;
    int t = r - 5;
    targetFrame = t < 0 ? 0 : (t > 9 ? 9 : t);
  }
  currentFrame += targetFrame > currentFrame ? 1 : -1;
}

void LightMapWalk::Step(float dt) { Step(dt, [] { return win32::crt_rand(); }); }

float PointLightBrightness(float t) {
  return 0.02f * std::sin(3 * t) + 0.02f * std::sin(7 * t) + std::fabs(0.02f * std::sin(5 * t)) + 0.5f;
}

}  // namespace scene
