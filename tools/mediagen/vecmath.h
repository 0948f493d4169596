// Small vector and matrix helpers for the media generator. Matrices follow the
// row-vector, left-handed convention of the program: p' = p * M, translation in row 4.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

namespace mediagen {

constexpr float kPi = 3.14159265358979f;

struct Vec2 {
  float x = 0, y = 0;
};

struct Vec3 {
  float x = 0, y = 0, z = 0;
  Vec3() = default;
  constexpr Vec3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}
  Vec3 operator+(Vec3 o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vec3 operator-(Vec3 o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vec3 operator*(float s) const { return {x * s, y * s, z * s}; }
  Vec3 operator-() const { return {-x, -y, -z}; }
  Vec3& operator+=(Vec3 o) { x += o.x; y += o.y; z += o.z; return *this; }
  float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
  float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
};

inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
inline Vec3 Normalize(Vec3 a) {
  float l = Length(a);
  return l > 1e-12f ? a * (1.0f / l) : Vec3{0, 1, 0};
}
inline Vec3 Lerp(Vec3 a, Vec3 b, float t) { return a + (b - a) * t; }
inline Vec3 Mul(Vec3 a, Vec3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }

struct Mat4 {
  std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float& at(int r, int c) { return m[static_cast<size_t>(r * 4 + c)]; }
  float at(int r, int c) const { return m[static_cast<size_t>(r * 4 + c)]; }

  static Mat4 Identity() { return {}; }
  static Mat4 Translation(Vec3 t) {
    Mat4 r;
    r.at(3, 0) = t.x; r.at(3, 1) = t.y; r.at(3, 2) = t.z;
    return r;
  }
  static Mat4 Scaling(Vec3 s) {
    Mat4 r;
    r.at(0, 0) = s.x; r.at(1, 1) = s.y; r.at(2, 2) = s.z;
    return r;
  }
  static Mat4 RotationX(float a) {
    Mat4 r;
    float c = std::cos(a), s = std::sin(a);
    r.at(1, 1) = c; r.at(1, 2) = s; r.at(2, 1) = -s; r.at(2, 2) = c;
    return r;
  }
  static Mat4 RotationY(float a) {
    Mat4 r;
    float c = std::cos(a), s = std::sin(a);
    r.at(0, 0) = c; r.at(0, 2) = -s; r.at(2, 0) = s; r.at(2, 2) = c;
    return r;
  }
  static Mat4 RotationZ(float a) {
    Mat4 r;
    float c = std::cos(a), s = std::sin(a);
    r.at(0, 0) = c; r.at(0, 1) = s; r.at(1, 0) = -s; r.at(1, 1) = c;
    return r;
  }
  // Rotation whose rows are the given (orthonormal) local axes expressed in the parent.
  static Mat4 Basis(Vec3 xAxis, Vec3 yAxis, Vec3 zAxis, Vec3 origin) {
    Mat4 r;
    r.at(0, 0) = xAxis.x; r.at(0, 1) = xAxis.y; r.at(0, 2) = xAxis.z;
    r.at(1, 0) = yAxis.x; r.at(1, 1) = yAxis.y; r.at(1, 2) = yAxis.z;
    r.at(2, 0) = zAxis.x; r.at(2, 1) = zAxis.y; r.at(2, 2) = zAxis.z;
    r.at(3, 0) = origin.x; r.at(3, 1) = origin.y; r.at(3, 2) = origin.z;
    return r;
  }

  Mat4 operator*(const Mat4& o) const {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        float s = 0;
        for (int k = 0; k < 4; ++k) s += at(i, k) * o.at(k, j);
        r.at(i, j) = s;
      }
    return r;
  }
  Vec3 TransformPoint(Vec3 p) const {
    return {p.x * at(0, 0) + p.y * at(1, 0) + p.z * at(2, 0) + at(3, 0),
            p.x * at(0, 1) + p.y * at(1, 1) + p.z * at(2, 1) + at(3, 1),
            p.x * at(0, 2) + p.y * at(1, 2) + p.z * at(2, 2) + at(3, 2)};
  }
  Vec3 TransformDir(Vec3 p) const {
    return {p.x * at(0, 0) + p.y * at(1, 0) + p.z * at(2, 0),
            p.x * at(0, 1) + p.y * at(1, 1) + p.z * at(2, 1),
            p.x * at(0, 2) + p.y * at(1, 2) + p.z * at(2, 2)};
  }
  Vec3 Origin() const { return {at(3, 0), at(3, 1), at(3, 2)}; }
  // Inverse of a rotation + translation matrix.
  Mat4 RigidInverse() const {
    Mat4 r;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) r.at(i, j) = at(j, i);
    Vec3 t = Origin();
    for (int j = 0; j < 3; ++j)
      r.at(3, j) = -(t.x * at(j, 0) + t.y * at(j, 1) + t.z * at(j, 2));
    return r;
  }
};

// Deterministic pseudo-random numbers (xorshift-multiply); identical on every machine.
class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
  uint32_t Next() {
    s_ ^= s_ >> 12; s_ ^= s_ << 25; s_ ^= s_ >> 27;
    return static_cast<uint32_t>((s_ * 0x2545F4914F6CDD1Dull) >> 32);
  }
  float Uniform() { return static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f); }
  float Range(float lo, float hi) { return lo + (hi - lo) * Uniform(); }
  int Int(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint32_t>(hi - lo + 1)); }

 private:
  uint64_t s_;
};

}  // namespace mediagen
