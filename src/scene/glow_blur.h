// The glow buffer's processor blur over one 128 x 128 byte plane.
#pragma once

#include <cstdint>

namespace scene {

constexpr int kGlowSize = 128;

// One blur pass in place, rows then columns ascending, so neighbours above and to the
// left are already blurred when a pixel is computed. Interior pixels become the sum of
// their 8 neighbours x 0.1375; the last row (columns 1..126) becomes the sum of itself,
// its left and right neighbours and the three above x 0.18333334. Row 0 and columns 0
// and 127 are never written. Results are cut to integers and capped at 255.
void BlurGlowPlane(std::uint8_t* plane);

}  // namespace scene
