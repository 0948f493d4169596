// D3DX math: vectors, matrices, quaternions, colours and planes with D3DX's conventions.
// Row vectors (v' = v * M), left-handed coordinate systems, angles in radians. Every
// function returns its output pointer; outputs may alias inputs.
//
// Where the D3DX stand-in stops (this header is its base; d3dx_texture.h, mesh.h and skin.h
// hold the rest, image_decode.h and image_filter.h the work behind textures):
// Done:
//  - Math: the vector, matrix, quaternion, plane and colour functions declared below, with
//    D3DX's row-vector, left-handed conventions; bounding sphere and box; FVF vertex size.
//  - Textures from JPEG (libjpeg), PNG (libpng), TGA, BMP and DDS, in memory or on disk:
//    size, level and format fitted to the device's caps, resizing with the NONE, POINT,
//    LINEAR, TRIANGLE and BOX filters (MIRROR_U/V honoured), colour keys, full mip chains
//    (D3DXFilterTexture too), DXT1-5 taken from a DDS file or compressed here; default-pool
//    textures filled through a system-memory copy.
//  - Meshes: FVF vertices, 16- or 32-bit indices, attributes and the attribute table,
//    DrawSubset, adjacency from positions or point representatives, CloneMeshFVF between
//    formats, OptimizeInplace with a stable attribute sort, vertex order by first use and
//    the face and vertex remaps.
//  - Skin: D3DXLoadSkinMeshFromXof (positions, polygons fanned into triangles, normals per
//    vertex or per corner with split vertices, texture coordinates, vertex colours, the
//    material list with texture names, SkinWeights), the bone queries, and
//    ConvertToBlendedMesh for non-indexed blending with up to 4 matrices per combination.
// Partly:
//  - BMP without run-length compression; of a DDS cube map or volume only the first face or
//    slice. PPM and DIB have format names but no decoder.
//  - D3DX_FILTER_DITHER (part of the default filter) is accepted but never dithers;
//    MIRROR_W changes nothing (textures are 2D).
//  - OptimizeInplace optimises for no cache or strips: VERTEXCACHE and STRIPREORDER sort
//    faces as ATTRSORT does; COMPACT moves unused vertices to the end instead of dropping them.
//  - Mesh options choose the index width and the device buffers' pool (SYSTEMMEM or
//    managed) and usage (WRITEONLY, SOFTWAREPROCESSING); DYNAMIC, DONOTCLIP, POINTS and the
//    patch bits are kept but change nothing.
//  - The skin loader reads no XSkinMeshHeader, VertexDuplicationIndices or MeshFaceWraps,
//    takes the material count from the Material children, and gives materials a black
//    ambient. ConvertToBlendedMesh ignores the incoming adjacency.
// Left out: indexed blended meshes, progressive and patch meshes, loading whole .X files
//  (the model loader walks the xfile service itself), saving textures or meshes, cube and
//  volume textures, sprites, fonts, effects and shader assembly.
#pragma once

#include <cstdint>

#include "platform/d3d8/d3d8_types.h"
#include "platform/win32/win32_types.h"

namespace d3dx {

using FLOAT = float;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;

constexpr FLOAT D3DX_PI = 3.141592654f;
constexpr FLOAT D3DX_1BYPI = 0.318309886f;
constexpr FLOAT D3DXToRadian(FLOAT degree) { return degree * (D3DX_PI / 180.0f); }
constexpr FLOAT D3DXToDegree(FLOAT radian) { return radian * (180.0f / D3DX_PI); }

struct D3DXVECTOR2 {
  FLOAT x = 0, y = 0;

  D3DXVECTOR2() = default;
  D3DXVECTOR2(FLOAT fx, FLOAT fy) : x(fx), y(fy) {}
  explicit D3DXVECTOR2(const FLOAT* p) : x(p[0]), y(p[1]) {}

  operator FLOAT*() { return &x; }
  operator const FLOAT*() const { return &x; }

  D3DXVECTOR2& operator+=(const D3DXVECTOR2& v) { x += v.x; y += v.y; return *this; }
  D3DXVECTOR2& operator-=(const D3DXVECTOR2& v) { x -= v.x; y -= v.y; return *this; }
  D3DXVECTOR2& operator*=(FLOAT f) { x *= f; y *= f; return *this; }
  D3DXVECTOR2& operator/=(FLOAT f) { x /= f; y /= f; return *this; }
  D3DXVECTOR2 operator+() const { return *this; }
  D3DXVECTOR2 operator-() const { return {-x, -y}; }
  D3DXVECTOR2 operator+(const D3DXVECTOR2& v) const { return {x + v.x, y + v.y}; }
  D3DXVECTOR2 operator-(const D3DXVECTOR2& v) const { return {x - v.x, y - v.y}; }
  D3DXVECTOR2 operator*(FLOAT f) const { return {x * f, y * f}; }
  D3DXVECTOR2 operator/(FLOAT f) const { return {x / f, y / f}; }
  friend D3DXVECTOR2 operator*(FLOAT f, const D3DXVECTOR2& v) { return v * f; }
  bool operator==(const D3DXVECTOR2& v) const { return x == v.x && y == v.y; }
  bool operator!=(const D3DXVECTOR2& v) const { return !(*this == v); }
};

struct D3DXVECTOR3 : public d3d8::D3DVECTOR {
  D3DXVECTOR3() : d3d8::D3DVECTOR{0, 0, 0} {}
  D3DXVECTOR3(FLOAT fx, FLOAT fy, FLOAT fz) : d3d8::D3DVECTOR{fx, fy, fz} {}
  D3DXVECTOR3(const d3d8::D3DVECTOR& v) : d3d8::D3DVECTOR(v) {}  // NOLINT: implicit like D3DX
  explicit D3DXVECTOR3(const FLOAT* p) : d3d8::D3DVECTOR{p[0], p[1], p[2]} {}

  operator FLOAT*() { return &x; }
  operator const FLOAT*() const { return &x; }

  D3DXVECTOR3& operator+=(const D3DXVECTOR3& v) { x += v.x; y += v.y; z += v.z; return *this; }
  D3DXVECTOR3& operator-=(const D3DXVECTOR3& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
  D3DXVECTOR3& operator*=(FLOAT f) { x *= f; y *= f; z *= f; return *this; }
  D3DXVECTOR3& operator/=(FLOAT f) { x /= f; y /= f; z /= f; return *this; }
  D3DXVECTOR3 operator+() const { return *this; }
  D3DXVECTOR3 operator-() const { return {-x, -y, -z}; }
  D3DXVECTOR3 operator+(const D3DXVECTOR3& v) const { return {x + v.x, y + v.y, z + v.z}; }
  D3DXVECTOR3 operator-(const D3DXVECTOR3& v) const { return {x - v.x, y - v.y, z - v.z}; }
  D3DXVECTOR3 operator*(FLOAT f) const { return {x * f, y * f, z * f}; }
  D3DXVECTOR3 operator/(FLOAT f) const { return {x / f, y / f, z / f}; }
  friend D3DXVECTOR3 operator*(FLOAT f, const D3DXVECTOR3& v) { return v * f; }
  bool operator==(const D3DXVECTOR3& v) const { return x == v.x && y == v.y && z == v.z; }
  bool operator!=(const D3DXVECTOR3& v) const { return !(*this == v); }
};

struct D3DXVECTOR4 {
  FLOAT x = 0, y = 0, z = 0, w = 0;

  D3DXVECTOR4() = default;
  D3DXVECTOR4(FLOAT fx, FLOAT fy, FLOAT fz, FLOAT fw) : x(fx), y(fy), z(fz), w(fw) {}
  explicit D3DXVECTOR4(const FLOAT* p) : x(p[0]), y(p[1]), z(p[2]), w(p[3]) {}

  operator FLOAT*() { return &x; }
  operator const FLOAT*() const { return &x; }

  D3DXVECTOR4& operator+=(const D3DXVECTOR4& v) { x += v.x; y += v.y; z += v.z; w += v.w; return *this; }
  D3DXVECTOR4& operator-=(const D3DXVECTOR4& v) { x -= v.x; y -= v.y; z -= v.z; w -= v.w; return *this; }
  D3DXVECTOR4& operator*=(FLOAT f) { x *= f; y *= f; z *= f; w *= f; return *this; }
  D3DXVECTOR4& operator/=(FLOAT f) { x /= f; y /= f; z /= f; w /= f; return *this; }
  D3DXVECTOR4 operator-() const { return {-x, -y, -z, -w}; }
  D3DXVECTOR4 operator+(const D3DXVECTOR4& v) const { return {x + v.x, y + v.y, z + v.z, w + v.w}; }
  D3DXVECTOR4 operator-(const D3DXVECTOR4& v) const { return {x - v.x, y - v.y, z - v.z, w - v.w}; }
  D3DXVECTOR4 operator*(FLOAT f) const { return {x * f, y * f, z * f, w * f}; }
  D3DXVECTOR4 operator/(FLOAT f) const { return {x / f, y / f, z / f, w / f}; }
  friend D3DXVECTOR4 operator*(FLOAT f, const D3DXVECTOR4& v) { return v * f; }
  bool operator==(const D3DXVECTOR4& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
  bool operator!=(const D3DXVECTOR4& v) const { return !(*this == v); }
};

// 4x4 matrix, _RC = row R, column C. Translation lives in row 4 (_41, _42, _43).
struct D3DXMATRIX : public d3d8::D3DMATRIX {
  D3DXMATRIX() : d3d8::D3DMATRIX{} {}
  D3DXMATRIX(const d3d8::D3DMATRIX& m) : d3d8::D3DMATRIX(m) {}  // NOLINT: implicit like D3DX
  explicit D3DXMATRIX(const FLOAT* p);
  D3DXMATRIX(FLOAT m11, FLOAT m12, FLOAT m13, FLOAT m14, FLOAT m21, FLOAT m22, FLOAT m23, FLOAT m24,
             FLOAT m31, FLOAT m32, FLOAT m33, FLOAT m34, FLOAT m41, FLOAT m42, FLOAT m43, FLOAT m44);

  FLOAT& operator()(UINT row, UINT col) { return m[row][col]; }
  FLOAT operator()(UINT row, UINT col) const { return m[row][col]; }
  operator FLOAT*() { return &m[0][0]; }
  operator const FLOAT*() const { return &m[0][0]; }

  D3DXMATRIX& operator*=(const D3DXMATRIX& o);
  D3DXMATRIX& operator+=(const D3DXMATRIX& o);
  D3DXMATRIX& operator-=(const D3DXMATRIX& o);
  D3DXMATRIX& operator*=(FLOAT f);
  D3DXMATRIX& operator/=(FLOAT f);
  D3DXMATRIX operator*(const D3DXMATRIX& o) const;
  D3DXMATRIX operator+(const D3DXMATRIX& o) const;
  D3DXMATRIX operator-(const D3DXMATRIX& o) const;
  D3DXMATRIX operator*(FLOAT f) const;
  D3DXMATRIX operator/(FLOAT f) const;
  D3DXMATRIX operator-() const;
  friend D3DXMATRIX operator*(FLOAT f, const D3DXMATRIX& mat) { return mat * f; }
  bool operator==(const D3DXMATRIX& o) const;
  bool operator!=(const D3DXMATRIX& o) const { return !(*this == o); }
};

struct D3DXQUATERNION {
  FLOAT x = 0, y = 0, z = 0, w = 0;

  D3DXQUATERNION() = default;
  D3DXQUATERNION(FLOAT fx, FLOAT fy, FLOAT fz, FLOAT fw) : x(fx), y(fy), z(fz), w(fw) {}
  explicit D3DXQUATERNION(const FLOAT* p) : x(p[0]), y(p[1]), z(p[2]), w(p[3]) {}

  operator FLOAT*() { return &x; }
  operator const FLOAT*() const { return &x; }

  D3DXQUATERNION& operator+=(const D3DXQUATERNION& q) { x += q.x; y += q.y; z += q.z; w += q.w; return *this; }
  D3DXQUATERNION& operator-=(const D3DXQUATERNION& q) { x -= q.x; y -= q.y; z -= q.z; w -= q.w; return *this; }
  D3DXQUATERNION& operator*=(const D3DXQUATERNION& q);  // this, then q (D3DXQuaternionMultiply)
  D3DXQUATERNION& operator*=(FLOAT f) { x *= f; y *= f; z *= f; w *= f; return *this; }
  D3DXQUATERNION& operator/=(FLOAT f) { x /= f; y /= f; z /= f; w /= f; return *this; }
  D3DXQUATERNION operator-() const { return {-x, -y, -z, -w}; }
  D3DXQUATERNION operator+(const D3DXQUATERNION& q) const { return {x + q.x, y + q.y, z + q.z, w + q.w}; }
  D3DXQUATERNION operator-(const D3DXQUATERNION& q) const { return {x - q.x, y - q.y, z - q.z, w - q.w}; }
  D3DXQUATERNION operator*(const D3DXQUATERNION& q) const;
  D3DXQUATERNION operator*(FLOAT f) const { return {x * f, y * f, z * f, w * f}; }
  D3DXQUATERNION operator/(FLOAT f) const { return {x / f, y / f, z / f, w / f}; }
  friend D3DXQUATERNION operator*(FLOAT f, const D3DXQUATERNION& q) { return q * f; }
  bool operator==(const D3DXQUATERNION& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }
  bool operator!=(const D3DXQUATERNION& q) const { return !(*this == q); }
};

// Plane a*x + b*y + c*z + d = 0.
struct D3DXPLANE {
  FLOAT a = 0, b = 0, c = 0, d = 0;

  D3DXPLANE() = default;
  D3DXPLANE(FLOAT fa, FLOAT fb, FLOAT fc, FLOAT fd) : a(fa), b(fb), c(fc), d(fd) {}
  explicit D3DXPLANE(const FLOAT* p) : a(p[0]), b(p[1]), c(p[2]), d(p[3]) {}

  operator FLOAT*() { return &a; }
  operator const FLOAT*() const { return &a; }
  D3DXPLANE operator-() const { return {-a, -b, -c, -d}; }
  bool operator==(const D3DXPLANE& p) const { return a == p.a && b == p.b && c == p.c && d == p.d; }
  bool operator!=(const D3DXPLANE& p) const { return !(*this == p); }
};

// Colour with float channels; converts to and from packed ARGB (channels clamped to 0..1).
struct D3DXCOLOR {
  FLOAT r = 0, g = 0, b = 0, a = 0;

  D3DXCOLOR() = default;
  D3DXCOLOR(FLOAT fr, FLOAT fg, FLOAT fb, FLOAT fa) : r(fr), g(fg), b(fb), a(fa) {}
  D3DXCOLOR(DWORD argb);  // NOLINT: implicit like D3DX
  D3DXCOLOR(const d3d8::D3DCOLORVALUE& c) : r(c.r), g(c.g), b(c.b), a(c.a) {}  // NOLINT
  explicit D3DXCOLOR(const FLOAT* p) : r(p[0]), g(p[1]), b(p[2]), a(p[3]) {}

  operator DWORD() const;
  operator d3d8::D3DCOLORVALUE() const { return d3d8::D3DCOLORVALUE{r, g, b, a}; }
  operator FLOAT*() { return &r; }
  operator const FLOAT*() const { return &r; }

  D3DXCOLOR& operator+=(const D3DXCOLOR& c) { r += c.r; g += c.g; b += c.b; a += c.a; return *this; }
  D3DXCOLOR& operator-=(const D3DXCOLOR& c) { r -= c.r; g -= c.g; b -= c.b; a -= c.a; return *this; }
  D3DXCOLOR& operator*=(FLOAT f) { r *= f; g *= f; b *= f; a *= f; return *this; }
  D3DXCOLOR operator+(const D3DXCOLOR& c) const { return {r + c.r, g + c.g, b + c.b, a + c.a}; }
  D3DXCOLOR operator-(const D3DXCOLOR& c) const { return {r - c.r, g - c.g, b - c.b, a - c.a}; }
  D3DXCOLOR operator*(FLOAT f) const { return {r * f, g * f, b * f, a * f}; }
  friend D3DXCOLOR operator*(FLOAT f, const D3DXCOLOR& c) { return c * f; }
  bool operator==(const D3DXCOLOR& c) const { return r == c.r && g == c.g && b == c.b && a == c.a; }
  bool operator!=(const D3DXCOLOR& c) const { return !(*this == c); }
};

// ---- 2D vectors
FLOAT D3DXVec2Length(const D3DXVECTOR2* v);
FLOAT D3DXVec2Dot(const D3DXVECTOR2* a, const D3DXVECTOR2* b);
D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v);
D3DXVECTOR2* D3DXVec2Lerp(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b, FLOAT s);

// ---- 3D vectors
FLOAT D3DXVec3Length(const D3DXVECTOR3* v);
FLOAT D3DXVec3LengthSq(const D3DXVECTOR3* v);
FLOAT D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, FLOAT s);
D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
// A zero vector normalises to zero.
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v);
D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, FLOAT s);
// Cubic Hermite spline: positions v1, v2 with tangents t1, t2, at s in 0..1.
D3DXVECTOR3* D3DXVec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* t1,
                             const D3DXVECTOR3* v2, const D3DXVECTOR3* t2, FLOAT s);
// (x, y, z, 1) * M as a 4D vector.
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (x, y, z, 1) * M, divided by the resulting w.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (x, y, z, 0) * M: directions and normals, no translation.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);

// ---- 4D vectors
FLOAT D3DXVec4Dot(const D3DXVECTOR4* a, const D3DXVECTOR4* b);
FLOAT D3DXVec4Length(const D3DXVECTOR4* v);
D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v);
D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m);

// ---- matrices
D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
BOOL D3DXMatrixIsIdentity(const D3DXMATRIX* m);
FLOAT D3DXMatrixfDeterminant(const D3DXMATRIX* m);
// a then b: out = a * b.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m);
// Writes the determinant when asked; returns null (out untouched) when m is singular.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, FLOAT* determinant, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, FLOAT x, FLOAT y, FLOAT z);
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, FLOAT angle);
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, FLOAT angle);
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, FLOAT angle);
// Rotation about an arbitrary axis (normalised here).
D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, FLOAT angle);
D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q);
// Roll about z, then pitch about x, then yaw about y.
D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, FLOAT yaw, FLOAT pitch, FLOAT roll);
D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up);
D3DXMATRIX* D3DXMatrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up);
// fovy: vertical field of view; aspect: width / height. Depth maps zn..zf to 0..1.
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixPerspectiveLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                       FLOAT zf);

// ---- quaternions (unit quaternions are rotations; q1 * q2 means q1, then q2)
FLOAT D3DXQuaternionLength(const D3DXQUATERNION* q);
FLOAT D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b);
D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out);
D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q);
D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q);
D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q);
D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* a,
                                       const D3DXQUATERNION* b);
D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, FLOAT angle);
// From the rotation part (upper 3x3) of a matrix.
D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m);
D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, FLOAT yaw, FLOAT pitch,
                                                   FLOAT roll);
void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, FLOAT* angle);
// Spherical interpolation along the shorter arc.
D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* a,
                                    const D3DXQUATERNION* b, FLOAT t);

// ---- planes
D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                               const D3DXVECTOR3* v3);
D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point, const D3DXVECTOR3* normal);
D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* p);
FLOAT D3DXPlaneDot(const D3DXPLANE* p, const D3DXVECTOR4* v);
FLOAT D3DXPlaneDotCoord(const D3DXPLANE* p, const D3DXVECTOR3* v);
FLOAT D3DXPlaneDotNormal(const D3DXPLANE* p, const D3DXVECTOR3* v);
// Intersection of the plane with the line through v1 and v2; null when parallel.
D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* p, const D3DXVECTOR3* v1,
                                    const D3DXVECTOR3* v2);
// m must be the inverse transpose of the point transform.
D3DXPLANE* D3DXPlaneTransform(D3DXPLANE* out, const D3DXPLANE* p, const D3DXMATRIX* m);

// ---- colours
D3DXCOLOR* D3DXColorLerp(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b, FLOAT s);
D3DXCOLOR* D3DXColorModulate(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b);
D3DXCOLOR* D3DXColorScale(D3DXCOLOR* out, const D3DXCOLOR* c, FLOAT s);

// ---- bounds over vertex positions (the position is the first 3 floats of each vertex)
// Bytes per vertex of a flexible vertex format; 0 for an invalid one.
UINT D3DXGetFVFVertexSize(DWORD fvf);
// Centre = mean of the positions, radius = largest distance from it.
win32::HRESULT D3DXComputeBoundingSphere(const void* firstPosition, DWORD numVertices, DWORD stride,
                                         D3DXVECTOR3* center, FLOAT* radius);
win32::HRESULT D3DXComputeBoundingBox(const void* firstPosition, DWORD numVertices, DWORD stride,
                                      D3DXVECTOR3* min, D3DXVECTOR3* max);

}  // namespace d3dx
