// Small row-major matrix helpers for the device (Direct3D's row-vector convention).
#pragma once

#include "platform/d3d8/d3d8_types.h"

namespace d3d8 {

inline D3DMATRIX IdentityMatrix() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

inline D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
  return r;
}

// Inverse of the upper 3x3 block, row-major into out[9]; a singular block gives zeros.
inline void Inverse3x3(const D3DMATRIX& m, float out[9]) {
  const float a = m._11, b = m._12, c = m._13, d = m._21, e = m._22, f = m._23, g = m._31, h = m._32, i = m._33;
  const float A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
  const float det = a * A + b * B + c * C;
  if (det == 0.0f) {
    for (int k = 0; k < 9; ++k) out[k] = 0.0f;
    return;
  }
  const float s = 1.0f / det;
  out[0] = A * s, out[1] = -(b * i - c * h) * s, out[2] = (b * f - c * e) * s;
  out[3] = B * s, out[4] = (a * i - c * g) * s, out[5] = -(a * f - c * d) * s;
  out[6] = C * s, out[7] = -(a * h - b * g) * s, out[8] = (a * e - b * d) * s;
}

}  // namespace d3d8
