#include "raster.h"

#include <algorithm>
#include <cmath>

namespace mediagen {

Mat4 LookAtLH(Vec3 eye, Vec3 at, Vec3 up) {
  Vec3 z = Normalize(at - eye);
  Vec3 x = Normalize(Cross(up, z));
  Vec3 y = Cross(z, x);
  Mat4 m;
  m.at(0, 0) = x.x; m.at(0, 1) = y.x; m.at(0, 2) = z.x;
  m.at(1, 0) = x.y; m.at(1, 1) = y.y; m.at(1, 2) = z.y;
  m.at(2, 0) = x.z; m.at(2, 1) = y.z; m.at(2, 2) = z.z;
  m.at(3, 0) = -Dot(x, eye); m.at(3, 1) = -Dot(y, eye); m.at(3, 2) = -Dot(z, eye);
  return m;
}

Rasterizer::Rasterizer(int w, int h, const Camera& cam)
    : w_(w), h_(h), cam_(cam), img_(w, h, {0, 0, 0, 1}), depth_(static_cast<size_t>(w * h), 1e30f) {
  view_ = LookAtLH(cam.eye, cam.target, {0, 1, 0});
  focal_ = (static_cast<float>(h) / 2) / std::tan(cam.fovY / 2);
}

void Rasterizer::Draw(const Mesh& mesh, const Mat4& world, const Shader& shade, bool cullBack) {
  std::vector<V> verts(mesh.positions.size());
  for (size_t i = 0; i < verts.size(); ++i) {
    verts[i].world = world.TransformPoint(mesh.positions[i]);
    verts[i].view = view_.TransformPoint(verts[i].world);
    verts[i].normal = Normalize(world.TransformDir(mesh.normals[i]));
    verts[i].uv = mesh.uvs[i];
  }
  for (auto f : mesh.faces) {
    V a = verts[f[0]], b = verts[f[1]], c = verts[f[2]];
    if (cullBack) {
      // Front faces are clockwise on screen: their normal points at the eye.
      Vec3 n = Cross(b.world - a.world, c.world - a.world);
      if (Dot(n, cam_.eye - a.world) <= 0) continue;
    }
    // Clip against the near plane.
    V in[3] = {a, b, c};
    std::vector<V> poly;
    for (int k = 0; k < 3; ++k) {
      const V& p = in[k];
      const V& q = in[(k + 1) % 3];
      bool pin = p.view.z >= cam_.nearZ, qin = q.view.z >= cam_.nearZ;
      if (pin) poly.push_back(p);
      if (pin != qin) {
        float t = (cam_.nearZ - p.view.z) / (q.view.z - p.view.z);
        V r;
        r.view = Lerp(p.view, q.view, t);
        r.world = Lerp(p.world, q.world, t);
        r.normal = Lerp(p.normal, q.normal, t);
        r.uv = {p.uv.x + (q.uv.x - p.uv.x) * t, p.uv.y + (q.uv.y - p.uv.y) * t};
        poly.push_back(r);
      }
    }
    for (size_t k = 1; k + 1 < poly.size(); ++k) Triangle(poly[0], poly[k], poly[k + 1], shade);
  }
}

void Rasterizer::Triangle(const V& a, const V& b, const V& c, const Shader& shade) {
  auto project = [&](const V& v, float& sx, float& sy) {
    sx = static_cast<float>(w_) / 2 + focal_ * v.view.x / v.view.z;
    sy = static_cast<float>(h_) / 2 - focal_ * v.view.y / v.view.z;
  };
  float ax, ay, bx, by, cx, cy;
  project(a, ax, ay);
  project(b, bx, by);
  project(c, cx, cy);
  float area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
  if (std::abs(area) < 1e-8f) return;
  int x0 = std::max(0, static_cast<int>(std::floor(std::min({ax, bx, cx}))));
  int x1 = std::min(w_ - 1, static_cast<int>(std::ceil(std::max({ax, bx, cx}))));
  int y0 = std::max(0, static_cast<int>(std::floor(std::min({ay, by, cy}))));
  int y1 = std::min(h_ - 1, static_cast<int>(std::ceil(std::max({ay, by, cy}))));
  float ia = 1 / a.view.z, ib = 1 / b.view.z, ic = 1 / c.view.z;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
      float w0 = ((bx - px) * (cy - py) - (by - py) * (cx - px)) / area;
      float w1 = ((cx - px) * (ay - py) - (cy - py) * (ax - px)) / area;
      float w2 = 1 - w0 - w1;
      if (w0 < 0 || w1 < 0 || w2 < 0) continue;
      float iz = w0 * ia + w1 * ib + w2 * ic;
      float z = 1 / iz;
      float& d = depth_[static_cast<size_t>(y * w_ + x)];
      if (z >= d) continue;
      float k0 = w0 * ia * z, k1 = w1 * ib * z, k2 = w2 * ic * z;
      Fragment f;
      f.world = a.world * k0 + b.world * k1 + c.world * k2;
      f.normal = Normalize(a.normal * k0 + b.normal * k1 + c.normal * k2);
      f.uv = {a.uv.x * k0 + b.uv.x * k1 + c.uv.x * k2, a.uv.y * k0 + b.uv.y * k1 + c.uv.y * k2};
      Color col = shade(f);
      if (col.a < 0.5f) continue;
      d = z;
      img_.at(x, y) = {col.r, col.g, col.b, 1};
    }
}

}  // namespace mediagen
