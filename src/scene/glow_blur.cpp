#include "scene/glow_blur.h"

namespace scene {

namespace {
inline std::uint8_t Clamp(float v) { return v >= 255.0f ? 255 : static_cast<std::uint8_t>(v); }
}  // namespace

void BlurGlowPlane(std::uint8_t* p) {
  constexpr int n = kGlowSize;
  for (int r = 1; r <= n - 2; ++r) {
    for (int c = 1; c <= n - 2; ++c) {
      const std::uint8_t* up = p + (r - 1) * n + c;
      const std::uint8_t* mid = p + r * n + c;
      const std::uint8_t* down = p + (r + 1) * n + c;
      int sum = up[-1] + up[0] + up[1] + mid[-1] + mid[1] + down[-1] + down[0] + down[1];
      p[r * n + c] = Clamp(static_cast<float>(sum) * 0.1375f);
    }
  }
  const int last = n - 1;
  for (int c = 1; c <= n - 2; ++c) {
    const std::uint8_t* up = p + (last - 1) * n + c;
    const std::uint8_t* mid = p + last * n + c;
    int sum = mid[-1] + mid[0] + mid[1] + up[-1] + up[0] + up[1];
    p[last * n + c] = Clamp(static_cast<float>(sum) * 0.18333334f);
  }
}

}  // namespace scene
