#include "lightmaps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "room_parts.h"

namespace mediagen {

namespace {

struct Source {
  Vec3 pos;
  float strength;
  float reach;
};

std::vector<Source> Sources(const RoomInfo& info, int frame) {
  std::vector<Source> s;
  float g = 0.64f + 0.36f * static_cast<float>(frame) / 9.0f;
  int k = 0;
  for (Vec3 t : info.torches) {
    float wobble = 1 + 0.07f * std::sin(static_cast<float>(frame) * 1.9f + static_cast<float>(k) * 2.3f);
    Vec3 sway{1.5f * std::sin(static_cast<float>(frame) * 2.7f + static_cast<float>(k)), 4.0f,
              1.5f * std::cos(static_cast<float>(frame) * 2.1f + static_cast<float>(k))};
    s.push_back({t + sway, 1.3f * g * wobble, 72.0f * wobble});
    ++k;
  }
  float fw = 1 + 0.06f * std::sin(static_cast<float>(frame) * 1.3f);
  s.push_back({info.fireplace + Vec3{0, 14, -10}, 1.9f * g * fw, 150.0f * fw});
  return s;
}

// A point below the gold heap or inside the dragon's plinth blocks the light.
bool Blocked(Vec3 a, Vec3 b) {
  for (int i = 1; i < 24; ++i) {
    Vec3 p = Lerp(a, b, static_cast<float>(i) / 24.0f);
    if (p.y < HeapHeight(p.x, p.z) - 1.0f && p.x * p.x + p.z * p.z < 125.0f * 125.0f) return true;
    float dx = p.x + 140, dz = p.z + 140;
    if (p.y < 26 && dx * dx + dz * dz < 48.0f * 48.0f) return true;
  }
  return false;
}

// The heap and the coins spilling from the chest towards it.
bool OnTheGold(Vec3 p) {
  if (p.x * p.x + p.z * p.z < 128.0f * 128.0f) return true;
  Vec3 a{-150, 0, 105}, b{0, 0, 0};
  float t = std::clamp(Dot(p - a, b - a) / Dot(b - a, b - a), 0.0f, 1.0f);
  return Length(p - Lerp(a, b, t)) < 34.0f;
}

}  // namespace

Color FireLight(const RoomInfo& info, Vec3 p, Vec3 n, int frame, bool occlusion) {
  const Color fire = Hex(0xff9a3a);
  Color sum{0.075f, 0.055f, 0.04f, 1};  // the room's own dim bounce light
  for (const Source& s : Sources(info, frame)) {
    Vec3 l = s.pos - p;
    float d = Length(l);
    float cosine = std::max(0.0f, Dot(n, l) / std::max(d, 1e-3f));
    float wrap = 0.35f + 0.65f * cosine;
    float fall = s.strength / (1 + (d / s.reach) * (d / s.reach) * 2.2f);
    if (occlusion && Blocked(p + n * 0.5f, s.pos)) fall *= 0.25f;
    sum = sum + fire * (fall * wrap);
  }
  // Daylight from the opening reaches the vault and the heap below it.
  Vec3 sky{0, info.domeTop + 10, 0};
  Vec3 ls = sky - p;
  float ds = Length(ls);
  float cs = std::max(0.0f, Dot(n, ls) / ds);
  float day = 0.55f * cs / (1 + (ds / 120.0f) * (ds / 120.0f));
  sum = sum + Color{0.55f, 0.65f, 0.85f, 0} * day;
  // The shaft itself lands on the hoard under the opening: a soft pool on upward faces.
  float across = std::sqrt(p.x * p.x + p.z * p.z);
  float shaft = 0.75f * std::exp(-(across / 95.0f) * (across / 95.0f)) * std::max(0.0f, n.y);
  sum = sum + Color{0.95f, 0.88f, 0.72f, 0} * shaft;
  // Corners and the foot of the walls stay darker.
  float edge = std::min(info.halfWidth - std::abs(p.x), info.halfWidth - std::abs(p.z));
  float ao = 0.55f + 0.45f * std::clamp(edge / 40.0f, 0.0f, 1.0f);
  if (p.y > 5) ao = std::max(ao, 0.8f);
  return {sum.r * ao, sum.g * ao, sum.b * ao, 1};
}

std::vector<LightMapFile> BakeLightMaps(const Scene& scene, const RoomInfo& info) {
  (void)scene;
  std::vector<LightMapFile> out;
  const int N = kLightMapSize;
  auto bake = [&](const char* prefix, int frame, auto&& place) {
    Image img(N, N);
    for (int j = 0; j < N; ++j)
      for (int i = 0; i < N; ++i) {
        float u = (static_cast<float>(i) + 0.5f) / N, v = (static_cast<float>(j) + 0.5f) / N;
        Vec3 p, n;
        place(u, v, p, n);
        Color c = FireLight(info, p, n, frame, true);
        if (std::strcmp(prefix, "floor") == 0 && OnTheGold(p)) {
          // The gold lies in the daylight pool: its light is a warm white, so that the coins
          // keep their yellow instead of turning orange.
          float lum = 0.3f * c.r + 0.55f * c.g + 0.15f * c.b;
          c = Mix(c, Color{lum * 1.04f, lum * 1.0f, lum * 0.8f, 1}, 0.85f);
        }
        // Gentle tone curve: keep the pools warm without clipping to white.
        auto tone = [](float x) { return 1.0f - std::exp(-1.6f * x); };
        img.at(i, j) = {tone(c.r), tone(c.g), tone(c.b), 1};
      }
    char name[40];
    std::snprintf(name, sizeof name, "%s_IL%04d.jpg", prefix, frame + 1);
    out.push_back({name, std::move(img)});
  };
  const float W = 2 * kHalf;
  // The gold heap shares the floor's maps: inside its footprint light its surface instead.
  auto floorAt = [&](float u, float v, Vec3& p, Vec3& n) {
    float x = (u - 0.5f) * W, z = (0.5f - v) * W;
    float h = x * x + z * z < 140.0f * 140.0f ? HeapHeight(x, z) : 0.0f;
    p = {x, h > 0.5f ? h : 0.0f, z};
    n = {0, 1, 0};
    if (h > 0.5f) {
      float e = 2.0f;
      n = Normalize(Vec3{HeapHeight(x - e, z) - HeapHeight(x + e, z), 2 * e, HeapHeight(x, z - e) - HeapHeight(x, z + e)});
    }
  };
  auto ceilingAt = [&](float u, float v, Vec3& p, Vec3& n) {
    float x = (u - 0.5f) * W, z = (0.5f - v) * W;
    p = {x, DomeHeight(x, z), z};
    // Normal of the vault surface, facing down.
    float e = 2.0f;
    Vec3 dx{2 * e, DomeHeight(x + e, z) - DomeHeight(x - e, z), 0}, dz{0, DomeHeight(x, z + e) - DomeHeight(x, z - e), 2 * e};
    n = Normalize(Cross(dx, dz));
    if (n.y > 0) n = -n;
  };
  auto wallAt = [&](int wall) {
    return [wall](float u, float v, Vec3& p, Vec3& n) {
      Vec3 local{(u - 0.5f) * 2 * kHalf, kWallHeight * (1 - v), -0.5f};
      p = WallFrame(wall).TransformPoint(local);
      n = Normalize(WallFrame(wall).TransformDir({0, 0, -1}));
    };
  };
  for (int f = 0; f < 10; ++f) bake("ceiling", f, ceilingAt);
  for (int f = 0; f < 10; ++f) bake("floor", f, floorAt);
  // The three plain walls share one layout; bake it on wall01 and mirror-average with wall03
  // so that no wall's own surroundings dominate.
  for (int f = 0; f < 10; ++f) {
    LightMapFile a, b;
    bake("wall1", f, wallAt(0));
    a = out.back();
    out.pop_back();
    bake("wall1", f, wallAt(2));
    b = out.back();
    out.pop_back();
    for (int j = 0; j < N; ++j)
      for (int i = 0; i < N; ++i) {
        Color c = Mix(a.image.at(i, j), a.image.at(N - 1 - i, j), 0.5f);
        Color d = Mix(b.image.at(i, j), b.image.at(N - 1 - i, j), 0.5f);
        a.image.at(i, j) = Mix(c, d, 0.5f);
      }
    out.push_back(std::move(a));
  }
  for (int f = 0; f < 10; ++f) bake("wall2", f, wallAt(3));
  return out;
}

Mat4 LightMapProjection(const Mesh& mesh, const Mat4& world) {
  Vec3 lo, hi;
  mesh.Bounds(lo, hi);
  Vec3 s = hi - lo, c = (lo + hi) * 0.5f;
  float m = std::min(std::min(s.x, s.y), s.z);
  Mat4 r;
  if (m == s.y) {
    r = Mat4::RotationX(kPi / 2);
    s.y = 1;
  } else if (m == s.x) {
    r = Mat4::RotationY(kPi / 2);
    s.x = 1;
  } else {
    s.z = 1;
  }
  s.y = -s.y;
  Mat4 inv = world.RigidInverse() * Mat4::Translation(-c) * Mat4::Scaling({1 / s.x, 1 / s.y, 1 / s.z});
  return inv * r * Mat4::Translation({0.5f, 0.5f, 0});
}

}  // namespace mediagen
