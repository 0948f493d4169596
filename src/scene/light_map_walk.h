// The light-map flicker: the frame drawn for all surfaces wanders at random between the
// dim (0) and bright (9) ends, one step per tenth of a second; and the wobble of the point
// light in the middle of the room.
#pragma once

#include <functional>

namespace scene {

struct LightMapWalk {
  int currentFrame = 0;
  int targetFrame = 0;
  float accumulator = 0;

  // The C runtime generator (win32::crt_rand) by default; tests inject their own.
  void Step(float dt, const std::function<int()>& random);
  void Step(float dt);
};

// 0.02 sin 3t + 0.02 sin 7t + |0.02 sin 5t| + 0.5, within [0.46, 0.56].
float PointLightBrightness(float t);

}  // namespace scene
