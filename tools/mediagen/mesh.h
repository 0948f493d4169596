// In-memory meshes and the shapes the room is built from.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vecmath.h"

namespace mediagen {

struct Material {
  std::array<float, 4> diffuse{1, 1, 1, 1};
  float power = 10;
  std::array<float, 3> specular{0, 0, 0};
  std::array<float, 3> emissive{0, 0, 0};
};

// Per-vertex bone influences of a skinned mesh.
struct SkinBone {
  std::string name;
  std::vector<uint32_t> vertices;
  std::vector<float> weights;
  Mat4 offset;  // mesh space -> bone space
};

struct Mesh {
  std::vector<Vec3> positions;
  std::vector<Vec3> normals;
  std::vector<Vec2> uvs;
  std::vector<std::array<uint32_t, 3>> faces;  // clockwise seen from the front
  Material material;
  std::string texture;
  std::vector<SkinBone> bones;

  uint32_t AddVertex(Vec3 p, Vec3 n, Vec2 uv) {
    positions.push_back(p);
    normals.push_back(n);
    uvs.push_back(uv);
    return static_cast<uint32_t>(positions.size() - 1);
  }
  void AddFace(uint32_t a, uint32_t b, uint32_t c) { faces.push_back({a, b, c}); }
  // One cell of a vertex grid (a, b along a row, c, d the next row) as two faces wound
  // clockwise as seen from the side `facing` points to.
  void AddGridCell(uint32_t a, uint32_t b, uint32_t c, uint32_t d, Vec3 facing) {
    if (Dot(Cross(positions[b] - positions[a], positions[d] - positions[a]), facing) > 0) {
      AddFace(a, b, d);
      AddFace(a, d, c);
    } else {
      AddFace(a, d, b);
      AddFace(a, c, d);
    }
  }
  void Append(const Mesh& other, const Mat4& m);
  void Transform(const Mat4& m);
  // Largest local extent along each axis.
  void Bounds(Vec3& lo, Vec3& hi) const;
};

// Shape builders. Each appends to `mesh`, transforming by `m`. Texture coordinates are in
// world units divided by `texScale` unless a builder says otherwise.

// Axis-aligned box from lo to hi, faces outward (or inward when `inward`).
void AddBox(Mesh& mesh, Vec3 lo, Vec3 hi, const Mat4& m, float texScale, bool inward = false);
// A grid over a rectangle in the local x-y plane (z = 0), front facing -z; `height(x, y)`
// displaces along -z (toward the viewer). Texture coordinates tile by texScale.
void AddRelief(Mesh& mesh, float x0, float x1, float y0, float y1, int nx, int ny, const Mat4& m,
               float texScale, const std::function<float(float, float)>& height);
// Surface of revolution about the local y axis: profile points (radius, y), `segments` around.
// u runs around (repeated `uRepeat` times), v along the profile by arc length / texScale.
void AddLathe(Mesh& mesh, const std::vector<Vec2>& profile, int segments, const Mat4& m,
              float uRepeat, float texScale, bool inward = false);
// Sphere of radius r (u/v spherical).
void AddSphere(Mesh& mesh, float r, int segments, int rings, const Mat4& m);
// Tube following a path of points with a radius per point (a rope, a tail, a sword grip).
void AddTube(Mesh& mesh, const std::vector<Vec3>& path, const std::vector<float>& radius,
             int sides, const Mat4& m, float texScale);
// Flat polygon fan (convex) in the local x-y plane facing -z, plus an optional back.
void AddDisc(Mesh& mesh, float r, int segments, const Mat4& m, bool twoSided);
// Recomputes smooth normals from the faces (area weighted).
void ComputeSmoothNormals(Mesh& mesh);

}  // namespace mediagen
