#include "mesh.h"

#include <algorithm>

namespace mediagen {

void Mesh::Append(const Mesh& other, const Mat4& m) {
  uint32_t base = static_cast<uint32_t>(positions.size());
  for (size_t i = 0; i < other.positions.size(); ++i) {
    positions.push_back(m.TransformPoint(other.positions[i]));
    normals.push_back(Normalize(m.TransformDir(other.normals[i])));
    uvs.push_back(other.uvs[i]);
  }
  for (auto f : other.faces) faces.push_back({f[0] + base, f[1] + base, f[2] + base});
}

void Mesh::Transform(const Mat4& m) {
  for (auto& p : positions) p = m.TransformPoint(p);
  for (auto& n : normals) n = Normalize(m.TransformDir(n));
}

void Mesh::Bounds(Vec3& lo, Vec3& hi) const {
  lo = {1e30f, 1e30f, 1e30f};
  hi = {-1e30f, -1e30f, -1e30f};
  for (auto p : positions)
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], p[k]);
      hi[k] = std::max(hi[k], p[k]);
    }
}

namespace {

// Adds a quad a-b-c-d (clockwise seen from the front) with one normal.
void Quad(Mesh& mesh, const Mat4& m, Vec3 a, Vec3 b, Vec3 c, Vec3 d, Vec2 ta, Vec2 tb, Vec2 tc,
          Vec2 td, bool flip) {
  Vec3 wa = m.TransformPoint(a), wb = m.TransformPoint(b), wc = m.TransformPoint(c),
       wd = m.TransformPoint(d);
  Vec3 n = Normalize(Cross(wb - wa, wc - wa));
  if (flip) n = -n;
  uint32_t i0 = mesh.AddVertex(wa, n, ta), i1 = mesh.AddVertex(wb, n, tb),
           i2 = mesh.AddVertex(wc, n, tc), i3 = mesh.AddVertex(wd, n, td);
  if (flip) {
    mesh.AddFace(i0, i2, i1);
    mesh.AddFace(i0, i3, i2);
  } else {
    mesh.AddFace(i0, i1, i2);
    mesh.AddFace(i0, i2, i3);
  }
}

}  // namespace

void AddBox(Mesh& mesh, Vec3 lo, Vec3 hi, const Mat4& m, float ts, bool inward) {
  const float x0 = lo.x, y0 = lo.y, z0 = lo.z, x1 = hi.x, y1 = hi.y, z1 = hi.z;
  auto uv = [ts](float a, float b) { return Vec2{a / ts, -b / ts}; };
  // -z face (front as seen from -z): corners bottom-left, top-left, top-right, bottom-right.
  Quad(mesh, m, {x0, y0, z0}, {x0, y1, z0}, {x1, y1, z0}, {x1, y0, z0}, uv(x0, y0), uv(x0, y1),
       uv(x1, y1), uv(x1, y0), inward);
  // +z face, seen from +z (x runs the other way).
  Quad(mesh, m, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}, {x0, y0, z1}, uv(-x1, y0), uv(-x1, y1),
       uv(-x0, y1), uv(-x0, y0), inward);
  // -x face, seen from -x (z runs toward -z as we go right... choose +z to the left).
  Quad(mesh, m, {x0, y0, z1}, {x0, y1, z1}, {x0, y1, z0}, {x0, y0, z0}, uv(-z1, y0), uv(-z1, y1),
       uv(-z0, y1), uv(-z0, y0), inward);
  // +x face.
  Quad(mesh, m, {x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1}, uv(z0, y0), uv(z0, y1),
       uv(z1, y1), uv(z1, y0), inward);
  // +y face, seen from above.
  Quad(mesh, m, {x0, y1, z0}, {x0, y1, z1}, {x1, y1, z1}, {x1, y1, z0}, uv(x0, z0), uv(x0, z1),
       uv(x1, z1), uv(x1, z0), inward);
  // -y face, seen from below.
  Quad(mesh, m, {x0, y0, z1}, {x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, uv(x0, -z1), uv(x0, -z0),
       uv(x1, -z0), uv(x1, -z1), inward);
}

void AddRelief(Mesh& mesh, float x0, float x1, float y0, float y1, int nx, int ny, const Mat4& m,
               float ts, const std::function<float(float, float)>& height) {
  uint32_t base = static_cast<uint32_t>(mesh.positions.size());
  std::vector<Vec3> local(static_cast<size_t>((nx + 1) * (ny + 1)));
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) {
      float x = x0 + (x1 - x0) * static_cast<float>(i) / static_cast<float>(nx);
      float y = y0 + (y1 - y0) * static_cast<float>(j) / static_cast<float>(ny);
      local[static_cast<size_t>(j * (nx + 1) + i)] = {x, y, height ? -height(x, y) : 0.0f};
    }
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) {
      auto at = [&](int a, int b) {
        a = std::clamp(a, 0, nx);
        b = std::clamp(b, 0, ny);
        return local[static_cast<size_t>(b * (nx + 1) + a)];
      };
      Vec3 p = at(i, j);
      Vec3 dx = at(i + 1, j) - at(i - 1, j), dy = at(i, j + 1) - at(i, j - 1);
      // Front faces -z: the outward normal is dy x dx for x right, y up.
      Vec3 n = Normalize(Cross(dy, dx));
      mesh.AddVertex(m.TransformPoint(p), Normalize(m.TransformDir(n)), {p.x / ts, -p.y / ts});
    }
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      uint32_t a = base + static_cast<uint32_t>(j * (nx + 1) + i);
      uint32_t b = a + static_cast<uint32_t>(nx + 1);
      mesh.AddFace(a, b, b + 1);
      mesh.AddFace(a, b + 1, a + 1);
    }
}

void AddLathe(Mesh& mesh, const std::vector<Vec2>& profile, int segments, const Mat4& m,
              float uRepeat, float ts, bool inward) {
  uint32_t base = static_cast<uint32_t>(mesh.positions.size());
  size_t np = profile.size();
  std::vector<float> vcoord(np, 0.0f);
  for (size_t k = 1; k < np; ++k) {
    float dr = profile[k].x - profile[k - 1].x, dy = profile[k].y - profile[k - 1].y;
    vcoord[k] = vcoord[k - 1] + std::sqrt(dr * dr + dy * dy) / ts;
  }
  for (size_t k = 0; k < np; ++k) {
    // Profile tangent for the normal.
    Vec2 a = profile[k == 0 ? 0 : k - 1], b = profile[k + 1 < np ? k + 1 : np - 1];
    float tr = b.x - a.x, ty = b.y - a.y;
    for (int s = 0; s <= segments; ++s) {
      float ang = 2 * kPi * static_cast<float>(s) / static_cast<float>(segments);
      float c = std::cos(ang), sn = std::sin(ang);
      Vec3 p{profile[k].x * c, profile[k].y, profile[k].x * sn};
      // Outward normal of the profile (ty, -tr) rotated around.
      Vec3 n = Normalize(Vec3{ty * c, -tr, ty * sn});
      if (inward) n = -n;
      mesh.AddVertex(m.TransformPoint(p), Normalize(m.TransformDir(n)),
                     {uRepeat * static_cast<float>(s) / static_cast<float>(segments), -vcoord[k]});
    }
  }
  uint32_t row = static_cast<uint32_t>(segments + 1);
  for (size_t k = 0; k + 1 < np; ++k)
    for (int s = 0; s < segments; ++s) {
      uint32_t a = base + static_cast<uint32_t>(k) * row + static_cast<uint32_t>(s);
      uint32_t b = a + row;
      // Angle increases from +x toward +z; seen from outside, clockwise is a, b, b+1.
      if (inward) {
        mesh.AddFace(a, b + 1, b);
        mesh.AddFace(a, a + 1, b + 1);
      } else {
        mesh.AddFace(a, b, b + 1);
        mesh.AddFace(a, b + 1, a + 1);
      }
    }
}

void AddSphere(Mesh& mesh, float r, int segments, int rings, const Mat4& m) {
  std::vector<Vec2> profile;
  for (int k = 0; k <= rings; ++k) {
    float a = -kPi / 2 + kPi * static_cast<float>(k) / static_cast<float>(rings);
    profile.push_back({r * std::cos(a) + 1e-4f, r * std::sin(a)});
  }
  AddLathe(mesh, profile, segments, m, 1.0f, kPi * r);
}

void AddTube(Mesh& mesh, const std::vector<Vec3>& path, const std::vector<float>& radius, int sides,
             const Mat4& m, float ts) {
  uint32_t base = static_cast<uint32_t>(mesh.positions.size());
  size_t n = path.size();
  Vec3 prevSide{0, 0, 1};
  float along = 0;
  for (size_t k = 0; k < n; ++k) {
    Vec3 t = Normalize(path[std::min(k + 1, n - 1)] - path[k == 0 ? 0 : k - 1]);
    Vec3 side = Cross(t, prevSide);
    if (Length(side) < 1e-3f) side = Cross(t, Vec3{1, 0, 0});
    side = Normalize(side);
    Vec3 up = Normalize(Cross(side, t));
    prevSide = up;
    if (k > 0) along += Length(path[k] - path[k - 1]);
    for (int s = 0; s <= sides; ++s) {
      float a = 2 * kPi * static_cast<float>(s) / static_cast<float>(sides);
      Vec3 dir = side * std::cos(a) + up * std::sin(a);
      Vec3 p = path[k] + dir * radius[k];
      mesh.AddVertex(m.TransformPoint(p), Normalize(m.TransformDir(dir)),
                     {static_cast<float>(s) / static_cast<float>(sides), along / ts});
    }
  }
  uint32_t row = static_cast<uint32_t>(sides + 1);
  for (size_t k = 0; k + 1 < n; ++k)
    for (int s = 0; s < sides; ++s) {
      uint32_t a = base + static_cast<uint32_t>(k) * row + static_cast<uint32_t>(s);
      uint32_t b = a + row;
      Vec3 pa = mesh.positions[a], pb = mesh.positions[b], pc = mesh.positions[b + 1];
      Vec3 nrm = mesh.normals[a] + mesh.normals[b + 1];
      if (Dot(Cross(pb - pa, pc - pa), nrm) >= 0) {
        mesh.AddFace(a, b, b + 1);
        mesh.AddFace(a, b + 1, a + 1);
      } else {
        mesh.AddFace(a, b + 1, b);
        mesh.AddFace(a, a + 1, b + 1);
      }
    }
}

void AddDisc(Mesh& mesh, float r, int segments, const Mat4& m, bool twoSided) {
  for (int side = 0; side < (twoSided ? 2 : 1); ++side) {
    Vec3 n = m.TransformDir({0, 0, side == 0 ? -1.0f : 1.0f});
    n = Normalize(n);
    uint32_t c = mesh.AddVertex(m.TransformPoint({0, 0, 0.0f}), n, {0.5f, 0.5f});
    uint32_t first = static_cast<uint32_t>(mesh.positions.size());
    for (int s = 0; s <= segments; ++s) {
      float a = 2 * kPi * static_cast<float>(s) / static_cast<float>(segments);
      mesh.AddVertex(m.TransformPoint({r * std::cos(a), r * std::sin(a), 0}), n,
                     {0.5f + 0.5f * std::cos(a), 0.5f - 0.5f * std::sin(a)});
    }
    for (int s = 0; s < segments; ++s) {
      uint32_t a = first + static_cast<uint32_t>(s);
      // Angle grows counter-clockwise seen from -z... in a left-handed view from -z,
      // +x right and +y up, so increasing angle is counter-clockwise: reverse for the front.
      if (side == 0)
        mesh.AddFace(c, a + 1, a);
      else
        mesh.AddFace(c, a, a + 1);
    }
  }
}

void ComputeSmoothNormals(Mesh& mesh) {
  std::vector<Vec3> acc(mesh.positions.size(), Vec3{0, 0, 0});
  for (auto f : mesh.faces) {
    Vec3 a = mesh.positions[f[0]], b = mesh.positions[f[1]], c = mesh.positions[f[2]];
    Vec3 n = Cross(b - a, c - a);
    for (auto i : f) acc[i] += n;
  }
  for (size_t i = 0; i < acc.size(); ++i) mesh.normals[i] = Normalize(acc[i]);
}

}  // namespace mediagen
