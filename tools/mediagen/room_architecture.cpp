// Floor, walls, arcades, the vault, the grate and the fireplace.
#include <algorithm>
#include <cmath>

#include "room_parts.h"

namespace mediagen {

Material Textured(float specular, float power) {
  Material m;
  m.diffuse = {1, 1, 1, 1};
  m.specular = {specular, specular, specular};
  m.power = power;
  return m;
}

Mat4 WallFrame(int wall) {
  switch (wall) {
    case 0: return Mat4::RotationY(-kPi / 2) * Mat4::Translation({-kHalf, 0, 0});
    case 1: return Mat4::RotationY(kPi) * Mat4::Translation({0, 0, -kHalf});
    case 2: return Mat4::RotationY(kPi / 2) * Mat4::Translation({kHalf, 0, 0});
    default: return Mat4::Translation({0, 0, kHalf});
  }
}

float DomeHeight(float x, float z) {
  float gx = 1 - (x / kHalf) * (x / kHalf), gz = 1 - (z / kHalf) * (z / kHalf);
  return kWallHeight + kDomeRise * std::clamp(gx, 0.0f, 1.0f) * std::clamp(gz, 0.0f, 1.0f);
}

Mesh BuildFloor() {
  Mesh m;
  m.material = Textured();
  m.texture = "floor2.jpg";
  // A grid facing up: in the relief's x-y plane with -z front, rotated so that -z -> +y.
  Mat4 toFloor = Mat4::RotationX(kPi / 2);
  AddRelief(m, -kHalf, kHalf, -kHalf, kHalf, 24, 24, toFloor, 100.0f, nullptr);
  // The relief's y became world -z; keep the texture upright by flipping v.
  for (auto& p : m.positions) p.y = 0.0f;
  return m;
}

Mesh BuildWall(int wall) {
  Mesh m;
  m.material = Textured();
  if (wall == 1) {
    m.texture = "brick_wall01_hway.jpg";
  } else if (wall == 3) {
    m.texture = "brick_wall01.jpg";
  } else {
    m.texture = "brick_wall01_grad.jpg";
  }
  // The face at local z = 0, a little inside the corners so that the walls do not fight.
  AddRelief(m, -kHalf, kHalf, 0.02f, kWallHeight, 20, 8, Mat4::Identity(), 125.0f, nullptr);
  if (wall == 1) {
    // The passage wall shows its texture once across the whole face.
    for (size_t i = 0; i < m.positions.size(); ++i) {
      m.uvs[i] = {(m.positions[i].x + kHalf) / (2 * kHalf), 1.0f - m.positions[i].y / kWallHeight};
    }
  } else if (wall != 3) {
    // The gradient variant has its darker band at the bottom of the texture: one repeat
    // vertically over the full height.
    for (size_t i = 0; i < m.positions.size(); ++i) {
      m.uvs[i] = {(m.positions[i].x + kHalf) / 125.0f, 1.0f - m.positions[i].y / kWallHeight};
    }
  }
  return m;
}

namespace {

// A pointed arch rib in the local wall plane between x0 and x1, springing at y0.
void AddArchRib(Mesh& m, float x0, float x1, float y0, float apex, float depth, float r) {
  std::vector<Vec3> path;
  std::vector<float> rad;
  const int n = 20;
  float half = (x1 - x0) / 2, cx = (x0 + x1) / 2;
  for (int k = 0; k <= n; ++k) {
    float t = static_cast<float>(k) / n;           // 0..1 across
    float s = std::abs(2 * t - 1);                 // 1 at the springers, 0 at the apex
    // Two circular arcs meeting at a point: y rises as sqrt(1 - s^2) sharpened.
    float y = y0 + (apex - y0) * std::pow(std::max(0.0f, 1 - s * s), 0.62f);
    path.push_back({cx + (2 * t - 1) * half, y, -depth});
    rad.push_back(r);
  }
  AddTube(m, path, rad, 6, Mat4::Identity(), 40.0f);
}

void AddPilaster(Mesh& m, float x, float width, float depth, float top) {
  AddBox(m, {x - width / 2, 0.0f, -depth}, {x + width / 2, top, 0.0f}, Mat4::Identity(), 50.0f);
  AddBox(m, {x - width / 2 - 3, 0.0f, -depth - 3}, {x + width / 2 + 3, 10.0f, 0.0f},
         Mat4::Identity(), 50.0f);
  AddBox(m, {x - width / 2 - 4, top, -depth - 4}, {x + width / 2 + 4, top + 8, 0.0f},
         Mat4::Identity(), 50.0f);
}

}  // namespace

Mesh BuildArches(int wall, float fireplaceX) {
  Mesh m;
  m.material = Textured();
  m.texture = "arch.jpg";
  const float spring = 148.0f, apex = 194.0f;
  std::vector<float> piers;
  if (wall == 3) {
    // The fireplace wall: piers framing the hearth, in the wall's local x (world x here).
    piers = {-kHalf + 12, std::max(-kHalf + 70, fireplaceX - 120), std::min(kHalf - 70, fireplaceX + 120),
             kHalf - 12};
  } else {
    piers = {-kHalf + 12, -125.0f, 0.0f, 125.0f, kHalf - 12};
  }
  for (float x : piers) AddPilaster(m, x, 22.0f, 10.0f, spring);
  for (size_t i = 0; i + 1 < piers.size(); ++i) {
    float x0 = piers[i] + 6, x1 = piers[i + 1] - 6;
    AddArchRib(m, x0, x1, spring + 8, apex, 7.0f, 6.5f);
    AddArchRib(m, x0 + 8, x1 - 8, spring + 8, apex - 10, 5.0f, 3.0f);
  }
  // Cornice along the top of the wall.
  AddBox(m, {-kHalf, kWallHeight - 6, -12.0f}, {kHalf, kWallHeight + 2, 0.0f}, Mat4::Identity(), 50.0f);
  return m;
}

Mesh BuildDome() {
  Mesh m;
  m.material = Textured();
  m.texture = "rock.jpg";
  // Polar grid from the opening out to the square's edge; faces look down into the room.
  const int na = 64, nr = 14;
  uint32_t base = 0;
  for (int j = 0; j <= nr; ++j)
    for (int i = 0; i <= na; ++i) {
      float a = 2 * kPi * static_cast<float>(i) / na;
      float c = std::cos(a), s = std::sin(a);
      float edge = kHalf / std::max(std::abs(c), std::abs(s));
      float t = static_cast<float>(j) / nr;
      float r = kOpening + (edge - kOpening) * t;
      float x = r * c, z = r * s;
      float y = DomeHeight(x, z);
      // Rough rock: a little deterministic unevenness away from the rims.
      float bump = (j > 0 && j < nr) ? 2.5f * std::sin(x * 0.11f + 1.3f) * std::cos(z * 0.13f) : 0.0f;
      m.AddVertex({x, y + bump, z}, {0, -1, 0}, {x / 90.0f, z / 90.0f});
    }
  uint32_t row = na + 1;
  for (int j = 0; j < nr; ++j)
    for (int i = 0; i < na; ++i) {
      uint32_t a = base + static_cast<uint32_t>(j) * row + static_cast<uint32_t>(i), b = a + row;
      // Clockwise seen from below.
      m.AddFace(a, b, b + 1);
      m.AddFace(a, b + 1, a + 1);
    }
  // Collar of the opening: a short rock shaft going up.
  std::vector<Vec2> collar = {{kOpening, DomeHeight(kOpening, 0) - 0.5f}, {kOpening, kWallHeight + kDomeRise + 22}};
  // The dome heights along the opening rim differ very little; the collar starts below them.
  AddLathe(m, collar, 48, Mat4::Identity(), 6.0f, 90.0f, true);
  ComputeSmoothNormals(m);
  // Faces look down; make sure the normals do.
  for (size_t i = 0; i < m.normals.size(); ++i) {
    Vec3 p = m.positions[i];
    if (std::sqrt(p.x * p.x + p.z * p.z) > kOpening + 0.5f && m.normals[i].y > 0) m.normals[i] = -m.normals[i];
  }
  return m;
}

Mesh BuildCage() {
  Mesh m;
  m.material = Textured(0.3f, 20.0f);
  m.material.diffuse = {0.6f, 0.6f, 0.65f, 1};
  m.texture = "bars.jpg";
  const float y = kWallHeight + kDomeRise + 2;
  const float r = kOpening + 4;
  // Ring.
  std::vector<Vec3> ring;
  std::vector<float> rr;
  for (int k = 0; k <= 48; ++k) {
    float a = 2 * kPi * k / 48;
    ring.push_back({r * std::cos(a), y, r * std::sin(a)});
    rr.push_back(2.0f);
  }
  AddTube(m, ring, rr, 6, Mat4::Identity(), 30.0f);
  // Crossing bars in both directions with a slight sag, and a low dome of bars above.
  for (int dir = 0; dir < 2; ++dir)
    for (int k = -4; k <= 4; ++k) {
      float o = k * 12.0f;
      float half = std::sqrt(std::max(0.0f, r * r - o * o));
      std::vector<Vec3> path;
      std::vector<float> rad;
      for (int s = 0; s <= 8; ++s) {
        float t = -half + 2 * half * s / 8;
        float lift = 10.0f * (1 - (t * t + o * o) / (r * r));
        Vec3 p = dir == 0 ? Vec3{t, y + lift, o} : Vec3{o, y + lift + 0.6f, t};
        path.push_back(p);
        rad.push_back(1.1f);
      }
      AddTube(m, path, rad, 5, Mat4::Identity(), 30.0f);
    }
  return m;
}

Mesh BuildSkylight() {
  Mesh m;
  m.material = Textured();
  m.material.diffuse = {0.75f, 0.82f, 0.95f, 1};
  m.material.emissive = {0.62f, 0.7f, 0.85f};
  m.texture = "ray.jpg";
  // A disc facing down, closing the shaft above the grate.
  AddDisc(m, kOpening + 1, 32, Mat4::RotationX(-kPi / 2) * Mat4::Translation({0, kWallHeight + kDomeRise + 21, 0}), false);
  return m;
}

Mesh BuildFireplace(float back) {
  // Local frame: origin on the hearth where the fire burns, -z toward the room, +z to the wall
  // at local z = back. The surround only: the firebox and the chimney are frames of their own,
  // so that this mesh's box (the fire's cull box stands on it) stays low.
  Mesh m;
  m.material = Textured(0.05f, 8);
  m.texture = "fireplace.jpg";
  const float front = -26, ts = 60;
  const float ow = 44;   // half width of the opening
  const float oh = 62;   // opening height
  // Jambs.
  AddBox(m, {-ow - 14, -6, front}, {-ow, oh, back}, Mat4::Identity(), ts);
  AddBox(m, {ow, -6, front}, {ow + 14, oh, back}, Mat4::Identity(), ts);
  // Hearth stone.
  AddBox(m, {-ow - 20, -6, front - 14}, {ow + 20, -1, back}, Mat4::Identity(), ts);
  // Hood: a heavy lintel then a sloping breast back to the chimney.
  AddBox(m, {-ow - 20, oh, front - 6}, {ow + 20, oh + 18, back}, Mat4::Identity(), ts);
  // The breast stands back from the lintel so the smoke rising above the fire stays in view.
  AddBox(m, {-ow - 14, oh + 18, 10}, {ow + 14, oh + 60, back}, Mat4::Identity(), ts);
  return m;
}

namespace {

// How strongly the hearth fire lights a point of the firebox (fireplace frame): full close
// to the flames, fading towards the sooty corners.
float FireGlow(Vec3 p) {
  float dy = 0.7f * std::max(p.y - 10.0f, 0.0f);
  float d = std::sqrt(p.x * p.x + dy * dy + (p.z - 4) * (p.z - 4));
  return std::clamp(1.2f - d / 30.0f, 0.0f, 1.0f);
}

// A grid from `corner` along `du` and `dv`, seen from the side `facing`. The room lights only
// from above and from its middle, so the fire's light is baked into the normals: a normal
// turned straight up takes the full light, one turned sideways none.
void GlowGrid(Mesh& m, Vec3 corner, Vec3 du, Vec3 dv, int nu, int nv, Vec3 facing, float ts) {
  uint32_t base = static_cast<uint32_t>(m.positions.size());
  for (int j = 0; j <= nv; ++j)
    for (int i = 0; i <= nu; ++i) {
      Vec3 p = corner + du * (static_cast<float>(i) / nu) + dv * (static_cast<float>(j) / nv);
      float a = FireGlow(p) * kPi / 2;
      float u = Dot(p, Normalize(du)), v = Dot(p, Normalize(dv));
      m.AddVertex(p, {std::cos(a), std::sin(a), 0}, {u / ts, -v / ts});
    }
  for (int j = 0; j < nv; ++j)
    for (int i = 0; i < nu; ++i) {
      uint32_t a = base + static_cast<uint32_t>(j * (nu + 1) + i), b = a + 1;
      uint32_t c = a + static_cast<uint32_t>(nu + 1), d = c + 1;
      m.AddGridCell(a, b, c, d, facing);
    }
}

}  // namespace

Mesh BuildFirebox(float back) {
  // Back, sides and roof of the firebox, seen from inside: soot-black stone that the fire
  // lights orange round the flames. The negative emission takes back the room's orange
  // ambient, so that away from the fire the inside stays dark. Set a little inside the
  // surround's jambs, so that the two never share a plane.
  Mesh m;
  m.material = Textured(0.0f, 8);
  m.material.diffuse = {0.9f, 0.42f, 0.14f, 1};
  m.material.emissive = {-0.7f, -0.28f, -0.02f};
  m.texture = "fireplace.jpg";
  const float w = 43.6f, top = 61.6f, z = back - 0.5f;
  GlowGrid(m, {-w, -1, z}, {2 * w, 0, 0}, {0, top + 1, 0}, 18, 12, {0, 0, -1}, 60);
  for (float s : {-1.0f, 1.0f})
    GlowGrid(m, {s * w, -1, -20}, {0, 0, z + 20}, {0, top + 1, 0}, 12, 12, {-s, 0, 0}, 60);
  GlowGrid(m, {-w, top, -20}, {2 * w, 0, 0}, {0, 0, z + 20}, 12, 6, {0, -1, 0}, 60);
  return m;
}

Mesh BuildChimney(float back) {
  // The stack above the breast, up into the vault.
  Mesh m;
  m.material = Textured(0.05f, 8);
  m.texture = "fireplace.jpg";
  AddBox(m, {-52, 122, 16}, {52, 172, back}, Mat4::Identity(), 60);
  AddBox(m, {-57, 172, 12}, {57, 178, back}, Mat4::Identity(), 60);
  AddBox(m, {-42, 178, 22}, {42, 262, back}, Mat4::Identity(), 60);
  return m;
}

Mesh BuildEmbers() {
  // The fire bed: a low mound of coals filling the hearth, white-hot cracks in the middle
  // under the logs, dull red towards the edges and black charcoal at the rim.
  Mesh m;
  m.material = Textured(0.0f, 8);
  m.material.diffuse = {0.2f, 0.05f, 0.0f, 1};
  m.material.emissive = {0.75f, 0.26f, 0.02f};
  m.texture = "torch.jpg";
  Rng rng(91);
  // Where a coal samples the texture: the glowing strip in the middle, the sooty iron (black
  // under the orange emission) at the rim.
  // Texture rows of torch.jpg's wood half: 0.89 - 0.93 cracked coals, 0.945 - 0.985 glowing ash.
  auto shade = [&](size_t from, float heat) {
    float roll = rng.Uniform();
    bool hot = roll < heat, white = roll < heat - 0.45f;
    float u0 = hot ? 0.55f + 0.35f * rng.Uniform() : 0.05f + 0.35f * rng.Uniform();
    float v0 = white ? 0.95f + 0.01f * rng.Uniform() : hot ? 0.89f + 0.02f * rng.Uniform() : 0.05f + 0.3f * rng.Uniform();
    for (size_t i = from; i < m.uvs.size(); ++i) m.uvs[i] = {u0 + 0.03f * rng.Uniform(), v0 + 0.02f * rng.Uniform()};
  };
  auto mound = [](float x, float z) {
    float e = (x / 38) * (x / 38) + ((z - 5) / 19) * ((z - 5) / 19);
    return 4.0f * std::max(0.0f, 1 - e);
  };
  // The bed itself, a shallow dome of fine glowing ash.
  size_t from = m.positions.size();
  AddRelief(m, -40, 40, -16, 26, 20, 10, Mat4::RotationX(kPi / 2) * Mat4::Translation({0, -0.6f, 0}), 12.0f,
            [&](float x, float y) { return mound(x, y) - 0.2f; });
  for (size_t i = from; i < m.uvs.size(); ++i) {
    Vec3 p = m.positions[i];
    float e = std::sqrt((p.x / 38) * (p.x / 38) + ((p.z - 5) / 19) * ((p.z - 5) / 19));
    // Glowing ash in the middle, cracked coals round it, the crust's dark at the edge.
    Vec2 across{(p.x + 40) / 80, (p.z + 16) / 42};
    m.uvs[i] = e < 0.65f   ? Vec2{0.6f + 0.3f * across.x, 0.945f + 0.04f * across.y}
               : e < 0.9f  ? Vec2{0.6f + 0.3f * across.x, 0.89f + 0.04f * across.y}
                           : Vec2{0.1f + 0.3f * across.x, 0.1f + 0.2f * across.y};
  }
  // Coals heaped on it: more and hotter towards the middle.
  for (int k = 0; k < 70; ++k) {
    float a = rng.Range(0, 2 * kPi), r = std::sqrt(rng.Uniform());
    Vec3 c{r * std::cos(a) * 36, 0, r * std::sin(a) * 17 + 5};
    c.y = mound(c.x, c.z) + rng.Range(-0.4f, 0.6f);
    float s = rng.Range(1.4f, 3.2f) * (1.2f - 0.4f * r);
    from = m.positions.size();
    AddBox(m, Vec3{-s, -0.55f * s, -0.8f * s}, Vec3{s, 0.55f * s, 0.8f * s},
           Mat4::RotationZ(rng.Range(-0.4f, 0.4f)) * Mat4::RotationY(rng.Range(0, 3.0f)) * Mat4::Translation(c), 10.0f);
    shade(from, 1.1f - r);
  }
  return m;
}

Mesh BuildMantelTrim() {
  Mesh m;
  m.material = Textured(0.1f, 12);
  m.material.diffuse = {0.95f, 0.85f, 0.7f, 1};
  m.texture = "decor1.jpg";
  // Carved shelf and corbels under the lintel, in the fireplace's local frame.
  AddBox(m, {-70, 74, -38}, {70, 80, 0}, Mat4::Identity(), 35.0f);
  for (float x : {-62.0f, 62.0f}) AddBox(m, {x - 5, 60, -34}, {x + 5, 74, -20}, Mat4::Identity(), 35.0f);
  AddBox(m, {-58, 118, 4}, {58, 122, 10}, Mat4::Identity(), 35.0f);
  return m;
}

Mesh BuildFirewood() {
  // Charred logs on the fire bed: two crossed in front, a heavy back log behind, and a split
  // piece leaning on them. Dark, so that the glowing bed shows between them.
  Mesh m;
  m.material = Textured();
  m.material.diffuse = {0.36f, 0.24f, 0.18f, 1};
  m.material.emissive = {-0.46f, -0.16f, 0.0f};
  m.texture = "torch.jpg";
  auto log = [&](Vec3 a, Vec3 b, float r, float sag) {
    Vec3 mid = (a + b) * 0.5f + Vec3{0, sag, 0};
    std::vector<Vec3> path = {a, Lerp(a, mid, 0.5f), mid, Lerp(mid, b, 0.5f), b};
    size_t from = m.positions.size();
    AddTube(m, path, {r * 0.8f, r, r * 1.05f, r, r * 0.85f}, 9, Mat4::Identity(), 20.0f);
    // Bark on the wood half of the texture, its grain along the log.
    for (size_t i = from; i < m.uvs.size(); ++i) m.uvs[i] = {0.52f + 0.46f * m.uvs[i].x, 0.84f * std::fmod(m.uvs[i].y, 1.0f)};
    // Closed, glowing ends: the cut faces sample the coals.
    for (int end = 0; end < 2; ++end) {
      Vec3 e = end ? b : a, dir = Normalize(e - mid);
      from = m.positions.size();
      AddDisc(m, end ? r * 0.85f : r * 0.8f, 9,
              Mat4::Basis(Normalize(Cross(Vec3{0, 1, 0}, dir)), Normalize(Cross(dir, Normalize(Cross(Vec3{0, 1, 0}, dir)))),
                          -dir, e),
              false);
      for (size_t i = from; i < m.uvs.size(); ++i) m.uvs[i] = {0.6f + 0.3f * m.uvs[i].x, 0.9f + 0.08f * m.uvs[i].y};
    }
  };
  log({-30, 3.5f, 22}, {30, 4.0f, 20}, 4.6f, 0.5f);        // the back log
  log({-26, 3.0f, -6}, {12, 6.5f, 16}, 3.4f, 0.8f);        // crossed pair in front
  log({24, 3.0f, -4}, {-10, 7.0f, 15}, 3.2f, 0.8f);
  log({-6, 2.6f, -12}, {4, 13.0f, 12}, 2.4f, 0.3f);         // leaning split piece
  return m;
}

}  // namespace mediagen
