// Torches, shields, swords, the banner and the hoard.
#include <algorithm>
#include <cmath>

#include "room_parts.h"

namespace mediagen {

namespace {

Mat4 WallRotation(int wall) {
  Mat4 m = WallFrame(wall);
  m.at(3, 0) = m.at(3, 1) = m.at(3, 2) = 0;
  return m;
}

// Turns a flat mesh built around the local y axis so that its y axis points toward -z.
Mat4 FaceViewer() { return Mat4::RotationX(-kPi / 2); }

void PlanarUV(Mesh& m, float cx, float cy, float w, float h) {
  for (size_t i = 0; i < m.positions.size(); ++i)
    m.uvs[i] = {(m.positions[i].x - cx) / w + 0.5f, 0.5f - (m.positions[i].y - cy) / h};
}

}  // namespace

// Polished gold: the room's ambient light is a strong orange on every material; a green and
// blue emission brings it back toward a warm white so that the gold texture keeps its hue.
Material GoldMetal() {
  Material m = Textured(0.9f, 30);
  m.diffuse = {1.0f, 0.95f, 0.8f, 1};
  m.emissive = {0.0f, 0.38f, 0.22f};
  return m;
}

Mesh BuildTorch(int wall) {
  Mesh m;
  m.material = Textured(0.1f, 8);
  m.texture = "torch.jpg";
  // Built in the wall's frame (x along the wall, -z into the room), head top at the origin,
  // then turned with the wall. Only the round basket and the shaft: the fires sit at the top
  // of this mesh's box, mirrored across its width, so a narrow box gives one flame body.
  Mesh local;
  std::vector<Vec2> basket = {{1.0f, -7.0f}, {2.0f, -5.5f}, {2.9f, -2.6f}, {3.2f, 0.0f}, {2.5f, 0.2f}, {0.8f, -2.0f}};
  AddLathe(local, basket, 12, Mat4::Identity(), 2.0f, 10.0f);
  std::vector<Vec2> shaft = {{0.9f, -23.0f}, {1.2f, -15.0f}, {1.4f, -6.5f}};
  AddLathe(local, shaft, 8, Mat4::Identity(), 1.0f, 10.0f);
  for (auto& uv : local.uvs) uv.x *= 0.5f;
  m.Append(local, WallRotation(wall));
  return m;
}

Mesh BuildSconce(int wall, float reach) {
  Mesh m;
  m.material = Textured(0.3f, 16);
  m.material.diffuse = {0.45f, 0.45f, 0.5f, 1};
  m.texture = "torch.jpg";
  // The iron bracket that holds a torch: a ring round the shaft, an arm back to the wall and
  // a wall plate, in the torch's frame (wall at local z = reach).
  Mesh local;
  std::vector<Vec2> ring = {{1.5f, -11.5f}, {2.0f, -11.0f}, {2.0f, -9.5f}, {1.5f, -9.0f}};
  AddLathe(local, ring, 10, Mat4::Identity(), 1.0f, 10.0f);
  AddBox(local, {-0.7f, -11.2f, 1.8f}, {0.7f, -9.4f, reach - 0.6f}, Mat4::Identity(), 10.0f);
  AddBox(local, {-2.4f, -16.0f, reach - 0.8f}, {2.4f, -5.0f, reach}, Mat4::Identity(), 10.0f);
  for (auto& uv : local.uvs) uv.x *= 0.5f;
  m.Append(local, WallRotation(wall));
  return m;
}

Mesh BuildBigShield(int variant) {
  Mesh m;
  m.material = Textured(0.35f, 18);
  m.texture = variant == 0 ? "big_shield.jpg" : (variant == 1 ? "big_shield2.jpg" : "big_shield3.jpg");
  const float top = 22, bottom = -22, halfW = 17;
  const int nx = 8, ny = 10;
  auto halfWidth = [&](float y) {
    float s = (top - y) / (top - bottom);
    return halfW * std::pow(std::max(0.0f, std::cos(s * kPi / 2)), 0.55f) + 0.2f;
  };
  auto bulge = [&](float x, float y) {
    float w = halfWidth(y);
    float u = x / std::max(w, 0.3f);
    return 1.5f + 3.5f * (1 - u * u) * 0.8f + 0.0f * y;
  };
  uint32_t base = 0;
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) {
      float y = top - (top - bottom) * j / ny;
      float w = halfWidth(y);
      float x = -w + 2 * w * i / nx;
      m.AddVertex({x, y, -bulge(x, y)}, {0, 0, -1}, {x / (2 * halfW) + 0.5f, (top - y) / (top - bottom)});
    }
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      uint32_t a = base + static_cast<uint32_t>(j * (nx + 1) + i), b = a + nx + 1;
      // Rows run downward: a, a+1, b+1 is clockwise from -z.
      m.AddFace(a, a + 1, b + 1);
      m.AddFace(a, b + 1, b);
    }
  // Edge band back to the wall.
  std::vector<Vec3> rim;
  for (int j = 0; j <= ny; ++j) rim.push_back(m.positions[static_cast<size_t>(j * (nx + 1) + nx)]);
  for (int j = ny; j >= 0; --j) rim.push_back(m.positions[static_cast<size_t>(j * (nx + 1))]);
  rim.push_back(rim.front());
  for (size_t k = 0; k + 1 < rim.size(); ++k) {
    Vec3 a = rim[k], b = rim[k + 1];
    Vec3 a0{a.x, a.y, 0}, b0{b.x, b.y, 0};
    Vec3 n = Normalize(Cross(b - a, a0 - a));
    uint32_t i0 = m.AddVertex(a, n, {0.02f, 0.02f}), i1 = m.AddVertex(b, n, {0.02f, 0.02f});
    uint32_t i2 = m.AddVertex(b0, n, {0.0f, 0.0f}), i3 = m.AddVertex(a0, n, {0.0f, 0.0f});
    if (Dot(n, Vec3{a.x, a.y, 0}) < 0) {
      m.AddFace(i0, i2, i1);
      m.AddFace(i0, i3, i2);
    } else {
      m.AddFace(i0, i1, i2);
      m.AddFace(i0, i2, i3);
    }
  }
  ComputeSmoothNormals(m);
  return m;
}

Mesh BuildRoundShield(int variant) {
  Mesh m;
  m.material = Textured(0.35f, 18);
  m.texture = variant == 0 ? "round_shield.jpg" : (variant == 1 ? "round_shield2.jpg" : "round_shield3.jpg");
  std::vector<Vec2> profile = {{0.01f, 7.5f}, {2.5f, 7.3f}, {3.2f, 5.5f}, {7.0f, 4.6f}, {12.0f, 3.4f},
                               {16.0f, 2.0f}, {17.0f, 1.6f}, {17.2f, 0.0f}};
  std::reverse(profile.begin(), profile.end());
  AddLathe(m, profile, 28, FaceViewer(), 1.0f, 10.0f);
  PlanarUV(m, 0, 0, 34.4f, 34.4f);
  return m;
}

Mesh BuildSmallShield() {
  Mesh m;
  m.material = Textured(0.35f, 18);
  m.texture = "s_shield.jpg";
  std::vector<Vec2> profile = {{0.01f, 4.5f}, {1.8f, 4.3f}, {2.2f, 3.2f}, {7.0f, 2.2f}, {10.5f, 1.2f}, {10.6f, 0.0f}};
  std::reverse(profile.begin(), profile.end());
  AddLathe(m, profile, 24, FaceViewer(), 1.0f, 10.0f);
  PlanarUV(m, 0, 0, 21.2f, 21.2f);
  return m;
}

Mesh BuildSword(float length) {
  // Along local +y from the pommel (y = 0) to the tip; flat side facing -z.
  Mesh m;
  m.material = Textured(0.8f, 40);
  m.texture = "sword.jpg";
  const float grip = length * 0.2f, bladeW = length * 0.045f;
  // Blade: diamond section tapering to the tip. u across the blade (0..0.5), v along.
  const int n = 8;
  uint32_t first = static_cast<uint32_t>(m.positions.size());
  for (int k = 0; k <= n; ++k) {
    float t = static_cast<float>(k) / n;
    float y = grip + 2 + (length - grip - 2) * t;
    float w = bladeW * (t < 0.85f ? 1.0f - 0.25f * t : (1.0f - t) / 0.15f * 0.79f) + 0.02f;
    float th = w * 0.22f;
    float v = 1.0f - t;
    m.AddVertex({-w, y, 0}, {-1, 0, 0}, {0.0f, v});
    m.AddVertex({0, y, -th}, {0, 0, -1}, {0.25f, v});
    m.AddVertex({w, y, 0}, {1, 0, 0}, {0.5f, v});
    m.AddVertex({0, y, th}, {0, 0, 1}, {0.25f, v});
  }
  for (int k = 0; k < n; ++k)
    for (int s = 0; s < 4; ++s) {
      uint32_t a = first + static_cast<uint32_t>(k * 4 + s);
      uint32_t a1 = first + static_cast<uint32_t>(k * 4 + (s + 1) % 4);
      uint32_t b = a + 4, b1 = a1 + 4;
      // Around the section: -x, -z, +x, +z; seen from outside the next corner lies to the right.
      m.AddFace(a, b, b1);
      m.AddFace(a, b1, a1);
    }
  ComputeSmoothNormals(m);
  Mesh hilt;
  AddBox(hilt, {-length * 0.11f, grip, -1.0f}, {length * 0.11f, grip + 2.2f, 1.0f}, Mat4::Identity(), 20.0f);
  std::vector<Vec2> gripProfile = {{0.9f, 1.5f}, {1.1f, 2.0f}, {1.1f, grip}};
  AddLathe(hilt, gripProfile, 8, Mat4::Identity(), 1.0f, 10.0f);
  AddSphere(hilt, 1.9f, 8, 6, Mat4::Translation({0, 1.2f, 0}));
  for (auto& uv : hilt.uvs) uv = {0.55f + 0.4f * (uv.x - std::floor(uv.x)), 0.5f + 0.4f * (uv.y - std::floor(uv.y))};
  m.Append(hilt, Mat4::Identity());
  return m;
}

Mesh BuildBanner() {
  Mesh m;
  m.material = Textured();
  m.texture = "banner.dds";
  const int nx = 8, ny = 10;
  const float w = 40, h = 96;
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) {
      float x = -w / 2 + w * i / nx, y = -h * j / ny;
      m.AddVertex({x, y, 0}, {0, 0, -1}, {static_cast<float>(i) / nx, static_cast<float>(j) / ny});
    }
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      uint32_t a = static_cast<uint32_t>(j * (nx + 1) + i), b = a + nx + 1;
      m.AddFace(a, a + 1, b + 1);
      m.AddFace(a, b + 1, b);
    }
  return m;
}

float HeapEdge(float a) { return 118.0f * (1 + 0.12f * std::sin(3 * a + 0.7f) + 0.07f * std::sin(7 * a)); }

float HeapHeight(float x, float z) {
  const float H = 44;
  float r = std::sqrt(x * x + z * z);
  float t = std::clamp(r / HeapEdge(std::atan2(z, x)), 0.0f, 1.0f);
  float h = H * std::pow(1 - t * t, 1.4f);
  h += 3.0f * std::sin(x * 0.09f) * std::cos(z * 0.07f) * (1 - t);
  return std::max(h, 0.3f);
}

Mesh BuildGoldHeap(const Mat4& chestTop, Vec3 spillStart) {
  Mesh m;
  m.material = Textured(0.9f, 30);
  m.material.diffuse = {1.0f, 0.86f, 0.5f, 1};
  m.texture = "Gold2.jpg";
  const float R = 118;
  Rng rng(2026);
  auto height = [](float x, float z) { return HeapHeight(x, z); };
  // Surface: polar grid.
  const int na = 48, nr = 16;
  for (int j = 0; j <= nr; ++j)
    for (int i = 0; i <= na; ++i) {
      float a = 2 * kPi * i / na;
      float edge = HeapEdge(a);
      float r = edge * (0.02f + 0.98f * static_cast<float>(j) / nr);
      float x = r * std::cos(a), z = r * std::sin(a);
      float y = j == nr ? 0.2f : height(x, z);
      m.AddVertex({x, y, z}, {0, 1, 0}, {x / 36.0f, z / 36.0f});
    }
  uint32_t row = na + 1;
  for (int j = 0; j < nr; ++j)
    for (int i = 0; i < na; ++i) {
      uint32_t a = static_cast<uint32_t>(j) * row + static_cast<uint32_t>(i), b = a + row;
      // Seen from above, angle runs counter-clockwise... in this left-handed frame looking
      // down -y with +z up the screen, increasing angle turns clockwise.
      m.AddFace(a, b + 1, b);
      m.AddFace(a, a + 1, b + 1);
    }
  ComputeSmoothNormals(m);
  // Loose coins on the heap and spilling from the chest.
  Mesh coin;
  std::vector<Vec2> cp = {{0.01f, -0.3f}, {2.3f, -0.3f}, {2.5f, 0.0f}, {2.3f, 0.3f}, {0.01f, 0.3f}};
  AddLathe(coin, cp, 8, Mat4::Identity(), 1.0f, 5.0f);
  for (auto& uv : coin.uvs) uv = {uv.x * 0.15f, uv.y * 0.15f};
  auto place = [&](Vec3 p, Vec3 n, float spin) {
    Vec3 up = Normalize(n);
    Vec3 side = Normalize(Cross(up, Vec3{std::cos(spin), 0.0f, std::sin(spin)}));
    Vec3 fwd = Cross(side, up);
    Mat4 f = Mat4::Basis(side, up, fwd, p);
    Mesh c = coin;
    float du = rng.Uniform(), dv = rng.Uniform();
    for (auto& uv : c.uvs) uv = {uv.x + du, uv.y + dv};
    m.Append(c, f);
  };
  for (int k = 0; k < 190; ++k) {
    float a = rng.Range(0, 2 * kPi), r = R * std::sqrt(rng.Uniform()) * 0.95f;
    float x = r * std::cos(a), z = r * std::sin(a);
    float y = height(x, z);
    float e = 1.5f;
    Vec3 n{height(x - e, z) - height(x + e, z), 2 * e, height(x, z - e) - height(x, z + e)};
    n = Normalize(n + Vec3{rng.Range(-0.5f, 0.5f), 0, rng.Range(-0.5f, 0.5f)});
    place({x, y + 0.2f, z}, n, rng.Range(0, 6.28f));
  }
  // A stream of coins from the chest toward the heap (chestMouth is in the heap's space).
  Vec3 spillEnd = spillStart * 0.62f;
  for (int k = 0; k < 46; ++k) {
    float t = rng.Uniform();
    Vec3 p = Lerp(spillStart, spillEnd, t);
    p.x += rng.Range(-9, 9) * (0.4f + t);
    p.z += rng.Range(-9, 9) * (0.4f + t);
    p.y = std::max(HeapHeight(p.x, p.z), 0.35f) + (k % 3) * 0.5f;
    Vec3 n = Normalize(Vec3{rng.Range(-0.6f, 0.6f), 1.0f, rng.Range(-0.6f, 0.6f)});
    place(p, n, rng.Range(0, 6.28f));
  }
  // The chest is full: a mound of coins filling its mouth.
  AddRelief(m, -20, 20, -11, 11, 8, 5,
            Mat4::RotationX(kPi / 2) * chestTop, 20.0f,
            [](float x, float y) { return 3.5f * (1 - (x / 20) * (x / 20)) * (1 - (y / 11) * (y / 11)); });
  return m;
}

Mesh BuildPlate() {
  Mesh m;
  m.material = Textured(0.9f, 30);
  m.material = GoldMetal();
  m.texture = "golden_plate.jpg";
  std::vector<Vec2> profile = {{0.01f, 1.4f}, {10.0f, 1.2f}, {17.0f, 1.6f}, {21.0f, 3.2f}, {24.0f, 3.6f},
                               {24.6f, 2.4f}, {22.0f, 0.6f}, {12.0f, -0.2f}, {0.01f, -0.2f}};
  std::reverse(profile.begin(), profile.end());
  AddLathe(m, profile, 36, FaceViewer(), 1.0f, 10.0f);
  PlanarUV(m, 0, 0, 49.2f, 49.2f);
  return m;
}

Mesh BuildPlateBase() {
  Mesh m;
  m.material = Textured(0.05f, 8);
  m.texture = "decor1.jpg";
  std::vector<Vec2> profile = {{16, 0.01f}, {16, 5}, {12, 7}, {9, 10}, {8, 26}, {11, 29}, {14, 31}, {14, 34}, {0.01f, 34}};
  AddLathe(m, profile, 8, Mat4::Identity(), 4.0f, 20.0f);
  return m;
}

Mesh BuildCrown() {
  Mesh m;
  m.material = Textured(0.9f, 30);
  m.material = GoldMetal();
  m.texture = "crown.jpg";
  std::vector<Vec2> band = {{8.6f, 0.01f}, {9.0f, 1.0f}, {9.0f, 5.0f}, {8.6f, 5.6f}, {8.0f, 5.0f}, {8.0f, 0.6f}};
  AddLathe(m, band, 24, Mat4::Identity(), 3.0f, 8.0f);
  for (int k = 0; k < 8; ++k) {
    float a = 2 * kPi * k / 8;
    Vec3 dir{std::cos(a), 0, std::sin(a)};
    Vec3 side{-dir.z, 0, dir.x};
    Vec3 b0 = dir * 8.8f + side * 2.6f + Vec3{0, 5, 0}, b1 = dir * 8.8f - side * 2.6f + Vec3{0, 5, 0};
    Vec3 tip = dir * 9.4f + Vec3{0, 11.5f, 0};
    Vec3 n = dir;
    uint32_t i0 = m.AddVertex(b0, n, {0.1f, 0.9f}), i1 = m.AddVertex(tip, n, {0.2f, 0.1f}),
             i2 = m.AddVertex(b1, n, {0.3f, 0.9f});
    // Both sides, so the points show from inside the ring too.
    m.AddFace(i0, i1, i2);
    uint32_t j0 = m.AddVertex(b0, -n, {0.1f, 0.9f}), j1 = m.AddVertex(tip, -n, {0.2f, 0.1f}),
             j2 = m.AddVertex(b1, -n, {0.3f, 0.9f});
    m.AddFace(j0, j2, j1);
    AddSphere(m, 1.2f, 6, 4, Mat4::Translation(tip + Vec3{0, 0.8f, 0}));
    AddSphere(m, 0.9f, 6, 4, Mat4::Translation(dir * 9.2f + Vec3{0, 3.0f, 0}));
  }
  // Lathe sides face outward by default; fix the triangle orientation of the points.
  return m;
}

Mesh BuildCup() {
  Mesh m;
  m.material = Textured(0.9f, 30);
  m.material = GoldMetal();
  m.texture = "cup.jpg";
  std::vector<Vec2> outside = {{0.01f, 0.0f}, {5.0f, 0.0f}, {5.2f, 0.6f}, {2.0f, 1.8f}, {1.1f, 3.0f}, {1.0f, 7.5f},
                               {2.0f, 8.5f}, {1.5f, 9.5f}, {3.5f, 11.0f}, {5.6f, 14.0f}, {6.2f, 18.0f}, {6.4f, 19.0f}};
  AddLathe(m, outside, 16, Mat4::Identity(), 2.0f, 8.0f);
  std::vector<Vec2> inside = {{6.0f, 19.0f}, {5.8f, 17.5f}, {4.8f, 14.0f}, {2.0f, 11.8f}, {0.01f, 11.6f}};
  AddLathe(m, inside, 16, Mat4::Identity(), 2.0f, 8.0f, false);
  return m;
}

Mesh BuildChestBody() {
  // Local frame: x along the chest, -z its front, y up; the box sits on y = 0.
  Mesh m;
  m.material = Textured(0.1f, 10);
  m.texture = "chest.jpg";
  const float w = 26, d = 15, h = 27;
  // Walls of the open box: outside and inside faces.
  AddBox(m, {-w, 0.5f, -d}, {w, h, d}, Mat4::Identity(), 52.0f);
  AddBox(m, {-w + 2.5f, 3.0f, -d + 2.5f}, {w - 2.5f, h + 0.01f, d - 2.5f}, Mat4::Identity(), 52.0f, true);
  // Feet and iron bands.
  for (float x : {-w + 3, w - 3})
    for (float z : {-d + 3, d - 3}) AddBox(m, {x - 3, 0.01f, z - 3}, {x + 3, 1.0f, z + 3}, Mat4::Identity(), 52.0f);
  for (float x : {-w * 0.55f, w * 0.55f}) AddBox(m, {x - 2, 0.3f, -d - 0.6f}, {x + 2, h + 0.3f, d + 0.6f}, Mat4::Identity(), 52.0f);
  // Map the whole chest texture over each long face: u across, v down.
  for (size_t i = 0; i < m.positions.size(); ++i) {
    Vec3 p = m.positions[i], n = m.normals[i];
    if (std::abs(n.z) > 0.5f)
      m.uvs[i] = {(p.x + w) / (2 * w), 1 - p.y / h};
    else if (std::abs(n.x) > 0.5f)
      m.uvs[i] = {(p.z + d) / (2 * d) * 0.5f, 1 - p.y / h};
    else
      m.uvs[i] = {(p.x + w) / (2 * w), (p.z + d) / (2 * d) * 0.5f};
  }
  return m;
}

Mesh BuildChestLid() {
  // Hinged at the back top edge (local origin); the lid stands open, leaning back.
  Mesh m;
  m.material = Textured(0.1f, 10);
  m.texture = "chest_t2.jpg";
  const float w = 26, d = 15;
  Mesh lid;
  // Half cylinder along x over the depth 2d: built as a lathe around y then turned on its side.
  // Arched top: quads across.
  const int n = 8;
  for (int k = 0; k <= n; ++k) {
    float a = kPi * k / n;  // from the front edge over the top to the back
    float z = -d * std::cos(a), y = d * 0.55f * std::sin(a);
    Vec3 nrm = Normalize(Vec3{0, std::sin(a) / 0.55f, -std::cos(a)});
    lid.AddVertex({-w - 0.4f, y, z}, nrm, {0.0f, static_cast<float>(k) / n});
    lid.AddVertex({w + 0.4f, y, z}, nrm, {1.0f, static_cast<float>(k) / n});
  }
  for (int k = 0; k < n; ++k) {
    uint32_t a = static_cast<uint32_t>(2 * k);
    // a = left at step k, a+1 right; a+2 left at k+1 (further over the top).
    lid.AddFace(a, a + 2, a + 3);
    lid.AddFace(a, a + 3, a + 1);
    // Underside.
    lid.AddFace(a, a + 3, a + 2);
    lid.AddFace(a, a + 1, a + 3);
  }
  // End caps.
  for (float x : {-w - 0.4f, w + 0.4f}) {
    Vec3 nn{x < 0 ? -1.0f : 1.0f, 0, 0};
    uint32_t c = lid.AddVertex({x, 0.0f, 0.0f}, nn, {0.5f, 0.9f});
    uint32_t first = static_cast<uint32_t>(lid.positions.size());
    for (int k = 0; k <= n; ++k) {
      float a = kPi * k / n;
      lid.AddVertex({x, d * 0.55f * std::sin(a), -d * std::cos(a)}, nn, {0.5f + 0.4f * std::cos(a), 0.9f - 0.5f * std::sin(a)});
    }
    for (int k = 0; k < n; ++k) {
      uint32_t a = first + static_cast<uint32_t>(k);
      lid.AddFace(c, a, a + 1);
      lid.AddFace(c, a + 1, a);
    }
  }
  // Hinge at the back edge (z = +d): move the hinge to the origin and open it by 115 degrees.
  m.Append(lid, Mat4::Translation({0, 0, -d}) * Mat4::RotationX(2.0f));
  return m;
}

Mesh BuildGem(uint32_t seed, float height) {
  // A long faceted crystal: a six-sided prism with pyramids at both ends, flat shaded.
  Mesh m;
  m.material = Textured(1.0f, 50);
  m.material.diffuse = {1, 1, 1, 1};
  Rng rng(seed);
  const int sides = 6;
  const float r = height * 0.24f;
  std::vector<Vec3> ring0, ring1;
  for (int k = 0; k < sides; ++k) {
    float a = 2 * kPi * k / sides + rng.Range(-0.12f, 0.12f);
    float rr = r * rng.Range(0.85f, 1.1f);
    ring0.push_back({rr * std::cos(a), height * 0.18f + rng.Range(-1.0f, 1.0f), rr * std::sin(a)});
    ring1.push_back({rr * 0.92f * std::cos(a), height * 0.68f + rng.Range(-1.5f, 1.5f), rr * 0.92f * std::sin(a)});
  }
  Vec3 tip{rng.Range(-1.0f, 1.0f), height, rng.Range(-1.0f, 1.0f)};
  Vec3 foot{0, 0.01f, 0};
  auto tri = [&](Vec3 a, Vec3 b, Vec3 c) {
    Vec3 n = Normalize(Cross(b - a, c - a));
    Vec3 centre = (a + b + c) * (1.0f / 3.0f);
    if (Dot(n, centre - Vec3{0, height * 0.45f, 0}) < 0) {
      std::swap(b, c);
      n = -n;
    }
    auto uv = [&](Vec3 p) { return Vec2{0.5f + p.x / (2.5f * r), 1.0f - p.y / height}; };
    uint32_t i0 = m.AddVertex(a, n, uv(a)), i1 = m.AddVertex(b, n, uv(b)), i2 = m.AddVertex(c, n, uv(c));
    m.AddFace(i0, i1, i2);
  };
  for (int k = 0; k < sides; ++k) {
    int k1 = (k + 1) % sides;
    tri(ring0[k], ring1[k], ring1[k1]);
    tri(ring0[k], ring1[k1], ring0[k1]);
    tri(ring1[k], tip, ring1[k1]);
    tri(ring0[k], ring0[k1], foot);
  }
  return m;
}

Mesh BuildKnightArmour() {
  // A fallen knight lying on his back along local +x (head at +x), y up.
  Mesh m;
  m.material = Textured(0.5f, 20);
  m.texture = "knight.jpg";
  // Torso (cuirass) and hips.
  std::vector<Vec2> torso = {{5.0f, -10.0f}, {7.5f, -7.0f}, {9.0f, 0.0f}, {9.5f, 6.0f}, {8.0f, 10.0f}, {4.0f, 12.5f}};
  Mesh t;
  AddLathe(t, torso, 14, Mat4::Identity(), 1.0f, 25.0f);
  m.Append(t, Mat4::Scaling({1.0f, 1.0f, 0.62f}) * Mat4::RotationZ(-kPi / 2) * Mat4::Translation({0, 6.5f, 0}));
  // Legs and arms as tubes.
  auto limb = [&](std::vector<Vec3> path, std::vector<float> rad) { AddTube(m, path, rad, 8, Mat4::Identity(), 20.0f); };
  limb({{-9, 4, -4}, {-24, 3.5f, -6}, {-38, 3.2f, -8}, {-42, 3.4f, -8}}, {3.8f, 3.2f, 2.8f, 3.2f});
  limb({{-9, 4, 4}, {-22, 6.5f, 7}, {-34, 3.5f, 11}, {-39, 3.6f, 12}}, {3.8f, 3.2f, 2.8f, 3.2f});
  limb({{9, 5, -9}, {0, 3.5f, -16}, {-9, 3.0f, -20}}, {3.0f, 2.6f, 2.2f});
  limb({{9, 5, 9}, {14, 3.5f, 18}, {22, 3.0f, 22}}, {3.0f, 2.6f, 2.2f});
  // Boots and gauntlets.
  AddBox(m, {-46, 0.3f, -11}, {-40, 8, -5}, Mat4::Identity(), 15.0f);
  AddBox(m, {-43, 0.3f, 9}, {-37, 8, 15}, Mat4::Identity(), 15.0f);
  AddSphere(m, 2.6f, 8, 5, Mat4::Translation({-10, 2.8f, -21}));
  AddSphere(m, 2.6f, 8, 5, Mat4::Translation({24, 2.8f, 23}));
  // Pauldrons.
  AddSphere(m, 4.6f, 10, 6, Mat4::Scaling({1.0f, 0.7f, 1.0f}) * Mat4::Translation({9, 7, -9}));
  AddSphere(m, 4.6f, 10, 6, Mat4::Scaling({1.0f, 0.7f, 1.0f}) * Mat4::Translation({9, 7, 9}));
  return m;
}

Mesh BuildKnightHelm() {
  Mesh m;
  m.material = Textured(0.5f, 20);
  m.texture = "knight2.jpg";
  std::vector<Vec2> helm = {{0.01f, 0.0f}, {5.5f, 0.3f}, {6.5f, 3.0f}, {6.8f, 8.0f}, {6.0f, 11.5f}, {3.5f, 13.5f}, {0.01f, 14.0f}};
  AddLathe(m, helm, 16, Mat4::Identity(), 1.0f, 14.0f);
  // Visor ridge.
  AddBox(m, {-0.8f, 2.0f, -7.2f}, {0.8f, 12.0f, -5.8f}, Mat4::Identity(), 14.0f);
  for (size_t i = 0; i < m.positions.size(); ++i) {
    Vec3 p = m.positions[i];
    m.uvs[i] = {0.5f + std::atan2(p.z, p.x) / (2 * kPi), 1 - p.y / 14.0f};
  }
  return m;
}

Mesh BuildPlinth(float radius, float height) {
  Mesh m;
  m.material = Textured(0.05f, 8);
  m.material.diffuse = {0.85f, 0.8f, 0.75f, 1};
  m.texture = "decor1.jpg";
  std::vector<Vec2> profile = {{radius + 4, 0.01f}, {radius + 4, 5}, {radius, 7}, {radius, height - 6},
                               {radius + 3, height - 3}, {radius + 3, height}, {0.01f, height}};
  AddLathe(m, profile, 8, Mat4::Identity(), 8.0f, 20.0f);
  return m;
}

Mesh BuildCandle() {
  Mesh m;
  m.material = Textured(0.1f, 8);
  m.material.diffuse = {0.95f, 0.9f, 0.75f, 1};
  m.texture = "decor1.jpg";
  std::vector<Vec2> p = {{3.5f, 0.01f}, {3.5f, 1.5f}, {1.2f, 2.2f}, {1.2f, 14.0f}, {0.01f, 14.3f}};
  AddLathe(m, p, 8, Mat4::Identity(), 1.0f, 10.0f);
  return m;
}

}  // namespace mediagen

namespace mediagen {

Mesh BuildIngots(uint32_t seed) {
  // A small stack of gold bars: trapezoid prisms.
  Mesh m;
  m.material = Textured(0.9f, 30);
  m.material = GoldMetal();
  m.texture = "golden_plate.jpg";
  Rng rng(seed);
  int layers = rng.Int(1, 3);
  for (int l = 0; l < layers; ++l)
    for (int k = 0; k < 3 - l; ++k) {
      float x = (k - (2 - l) * 0.5f) * 6.2f;
      float y = l * 2.6f;
      float yaw = rng.Range(-0.06f, 0.06f) + (l % 2 ? kPi / 2 * 0.0f : 0.0f);
      Mesh bar;
      AddBox(bar, {-2.6f, 0.01f, -6.0f}, {2.6f, 2.6f, 6.0f}, Mat4::Identity(), 12.0f);
      // Narrow the top a little.
      for (auto& p : bar.positions)
        if (p.y > 1.0f) { p.x *= 0.8f; p.z *= 0.9f; }
      m.Append(bar, Mat4::RotationY(yaw) * Mat4::Translation({x, y, 0.0f}));
    }
  return m;
}

Mesh BuildUrn() {
  Mesh m;
  m.material = Textured(0.3f, 14);
  m.material.diffuse = {0.9f, 0.75f, 0.55f, 1};
  m.texture = "decor1.jpg";
  std::vector<Vec2> p = {{0.01f, 0.01f}, {5.0f, 0.01f}, {5.5f, 1.5f}, {4.0f, 3.0f}, {6.5f, 8.0f}, {9.0f, 15.0f},
                         {8.0f, 22.0f}, {4.5f, 26.0f}, {4.2f, 29.0f}, {6.0f, 31.0f}, {5.2f, 31.5f}};
  AddLathe(m, p, 14, Mat4::Identity(), 2.0f, 16.0f);
  return m;
}

Mesh BuildRod() {
  // An iron rod with a bracket at each end, along local x, in front of the wall (-z).
  Mesh m;
  m.material = Textured(0.4f, 20);
  m.material.diffuse = {0.45f, 0.45f, 0.5f, 1};
  m.texture = "bars.jpg";
  AddTube(m, {{-25, 0, -3.5f}, {25, 0, -3.5f}}, {0.9f, 0.9f}, 6, Mat4::Identity(), 20.0f);
  for (float x : {-23.0f, 23.0f}) AddBox(m, {x - 0.6f, -0.6f, -3.6f}, {x + 0.6f, 0.6f, 0.0f}, Mat4::Identity(), 10.0f);
  AddSphere(m, 1.6f, 6, 4, Mat4::Translation({-26.5f, 0, -3.5f}));
  AddSphere(m, 1.6f, 6, 4, Mat4::Translation({26.5f, 0, -3.5f}));
  return m;
}

}  // namespace mediagen
