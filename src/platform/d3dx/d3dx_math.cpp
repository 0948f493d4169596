#include "platform/d3dx/d3dx_math.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3dx {

namespace {

D3DXMATRIX MakeIdentity() {
  D3DXMATRIX r;
  r._11 = r._22 = r._33 = r._44 = 1.0f;
  return r;
}

// Hamilton product a*b (apply b, then a).
D3DXQUATERNION Hamilton(const D3DXQUATERNION& a, const D3DXQUATERNION& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
          a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
          a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Class operators

D3DXMATRIX::D3DXMATRIX(const FLOAT* p) : d3d8::D3DMATRIX{} { std::memcpy(&m[0][0], p, sizeof(m)); }

D3DXMATRIX::D3DXMATRIX(FLOAT m11, FLOAT m12, FLOAT m13, FLOAT m14, FLOAT m21, FLOAT m22, FLOAT m23,
                       FLOAT m24, FLOAT m31, FLOAT m32, FLOAT m33, FLOAT m34, FLOAT m41, FLOAT m42,
                       FLOAT m43, FLOAT m44)
    : d3d8::D3DMATRIX{} {
  _11 = m11; _12 = m12; _13 = m13; _14 = m14;
  _21 = m21; _22 = m22; _23 = m23; _24 = m24;
  _31 = m31; _32 = m32; _33 = m33; _34 = m34;
  _41 = m41; _42 = m42; _43 = m43; _44 = m44;
}

D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& o) {
  D3DXMatrixMultiply(this, this, &o);
  return *this;
}
D3DXMATRIX& D3DXMATRIX::operator+=(const D3DXMATRIX& o) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) m[i][j] += o.m[i][j];
  return *this;
}
D3DXMATRIX& D3DXMATRIX::operator-=(const D3DXMATRIX& o) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) m[i][j] -= o.m[i][j];
  return *this;
}
D3DXMATRIX& D3DXMATRIX::operator*=(FLOAT f) {
  for (auto& row : m)
    for (float& v : row) v *= f;
  return *this;
}
D3DXMATRIX& D3DXMATRIX::operator/=(FLOAT f) { return *this *= 1.0f / f; }
D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& o) const {
  D3DXMATRIX r;
  D3DXMatrixMultiply(&r, this, &o);
  return r;
}
D3DXMATRIX D3DXMATRIX::operator+(const D3DXMATRIX& o) const { D3DXMATRIX r = *this; return r += o; }
D3DXMATRIX D3DXMATRIX::operator-(const D3DXMATRIX& o) const { D3DXMATRIX r = *this; return r -= o; }
D3DXMATRIX D3DXMATRIX::operator*(FLOAT f) const { D3DXMATRIX r = *this; return r *= f; }
D3DXMATRIX D3DXMATRIX::operator/(FLOAT f) const { D3DXMATRIX r = *this; return r /= f; }
D3DXMATRIX D3DXMATRIX::operator-() const { D3DXMATRIX r = *this; return r *= -1.0f; }
bool D3DXMATRIX::operator==(const D3DXMATRIX& o) const {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (m[i][j] != o.m[i][j]) return false;
  return true;
}

D3DXQUATERNION& D3DXQUATERNION::operator*=(const D3DXQUATERNION& q) {
  D3DXQuaternionMultiply(this, this, &q);
  return *this;
}
D3DXQUATERNION D3DXQUATERNION::operator*(const D3DXQUATERNION& q) const {
  D3DXQUATERNION r;
  D3DXQuaternionMultiply(&r, this, &q);
  return r;
}

D3DXCOLOR::D3DXCOLOR(DWORD argb)
    : r(static_cast<FLOAT>((argb >> 16) & 0xFF) / 255.0f),
      g(static_cast<FLOAT>((argb >> 8) & 0xFF) / 255.0f),
      b(static_cast<FLOAT>(argb & 0xFF) / 255.0f),
      a(static_cast<FLOAT>((argb >> 24) & 0xFF) / 255.0f) {}

D3DXCOLOR::operator DWORD() const {
  auto channel = [](FLOAT v) -> DWORD {
    if (!(v > 0.0f)) return 0;  // also NaN
    if (v >= 1.0f) return 255;
    return static_cast<DWORD>(v * 255.0f + 0.5f);
  };
  return (channel(a) << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

// ---------------------------------------------------------------------------------------------
// 2D vectors

FLOAT D3DXVec2Length(const D3DXVECTOR2* v) { return std::sqrt(v->x * v->x + v->y * v->y); }
FLOAT D3DXVec2Dot(const D3DXVECTOR2* a, const D3DXVECTOR2* b) { return a->x * b->x + a->y * b->y; }
D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v) {
  FLOAT len = D3DXVec2Length(v);
  *out = len > 0.0f ? *v / len : D3DXVECTOR2(0, 0);
  return out;
}
D3DXVECTOR2* D3DXVec2Lerp(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b, FLOAT s) {
  *out = D3DXVECTOR2(a->x + s * (b->x - a->x), a->y + s * (b->y - a->y));
  return out;
}

// ---------------------------------------------------------------------------------------------
// 3D vectors

FLOAT D3DXVec3LengthSq(const D3DXVECTOR3* v) { return v->x * v->x + v->y * v->y + v->z * v->z; }
FLOAT D3DXVec3Length(const D3DXVECTOR3* v) { return std::sqrt(D3DXVec3LengthSq(v)); }
FLOAT D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  return a->x * b->x + a->y * b->y + a->z * b->z;
}
D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  *out = D3DXVECTOR3(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
  return out;
}
D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  *out = *a + *b;
  return out;
}
D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  *out = *a - *b;
  return out;
}
D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, FLOAT s) {
  *out = *v * s;
  return out;
}
D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  *out = D3DXVECTOR3(std::min(a->x, b->x), std::min(a->y, b->y), std::min(a->z, b->z));
  return out;
}
D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  *out = D3DXVECTOR3(std::max(a->x, b->x), std::max(a->y, b->y), std::max(a->z, b->z));
  return out;
}
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) {
  FLOAT len = D3DXVec3Length(v);
  *out = len > 0.0f ? *v / len : D3DXVECTOR3(0, 0, 0);
  return out;
}
D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, FLOAT s) {
  *out = D3DXVECTOR3(a->x + s * (b->x - a->x), a->y + s * (b->y - a->y), a->z + s * (b->z - a->z));
  return out;
}
D3DXVECTOR3* D3DXVec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* t1,
                             const D3DXVECTOR3* v2, const D3DXVECTOR3* t2, FLOAT s) {
  const FLOAT s2 = s * s, s3 = s2 * s;
  const FLOAT h1 = 2.0f * s3 - 3.0f * s2 + 1.0f;
  const FLOAT h2 = s3 - 2.0f * s2 + s;
  const FLOAT h3 = -2.0f * s3 + 3.0f * s2;
  const FLOAT h4 = s3 - s2;
  *out = *v1 * h1 + *t1 * h2 + *v2 * h3 + *t2 * h4;
  return out;
}
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  const D3DXVECTOR3 p = *v;
  *out = D3DXVECTOR4(p.x * m->_11 + p.y * m->_21 + p.z * m->_31 + m->_41,
                     p.x * m->_12 + p.y * m->_22 + p.z * m->_32 + m->_42,
                     p.x * m->_13 + p.y * m->_23 + p.z * m->_33 + m->_43,
                     p.x * m->_14 + p.y * m->_24 + p.z * m->_34 + m->_44);
  return out;
}
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  D3DXVECTOR4 r;
  D3DXVec3Transform(&r, v, m);
  *out = D3DXVECTOR3(r.x / r.w, r.y / r.w, r.z / r.w);
  return out;
}
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  const D3DXVECTOR3 p = *v;
  *out = D3DXVECTOR3(p.x * m->_11 + p.y * m->_21 + p.z * m->_31,
                     p.x * m->_12 + p.y * m->_22 + p.z * m->_32,
                     p.x * m->_13 + p.y * m->_23 + p.z * m->_33);
  return out;
}

// ---------------------------------------------------------------------------------------------
// 4D vectors

FLOAT D3DXVec4Dot(const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
  return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
FLOAT D3DXVec4Length(const D3DXVECTOR4* v) { return std::sqrt(D3DXVec4Dot(v, v)); }
D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v) {
  FLOAT len = D3DXVec4Length(v);
  *out = len > 0.0f ? *v / len : D3DXVECTOR4(0, 0, 0, 0);
  return out;
}
D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m) {
  const D3DXVECTOR4 p = *v;
  FLOAT r[4];
  for (int c = 0; c < 4; ++c) r[c] = p.x * m->m[0][c] + p.y * m->m[1][c] + p.z * m->m[2][c] + p.w * m->m[3][c];
  *out = D3DXVECTOR4(r);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Matrices

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
  *out = MakeIdentity();
  return out;
}

BOOL D3DXMatrixIsIdentity(const D3DXMATRIX* m) { return *m == MakeIdentity() ? 1 : 0; }

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
  D3DXMATRIX r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] +
                  a->m[i][3] * b->m[3][j];
  *out = r;
  return out;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) {
  D3DXMATRIX r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = m->m[j][i];
  *out = r;
  return out;
}

namespace {

// Cofactor expansion in double precision; returns the adjugate (transposed cofactors) and the
// determinant.
double Adjugate(const D3DXMATRIX& src, double adj[4][4]) {
  double a[16];
  for (int i = 0; i < 16; ++i) a[i] = src.m[i / 4][i % 4];
  double inv[16];
  inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] + a[9] * a[7] * a[14] +
           a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
  inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] - a[8] * a[7] * a[14] -
           a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
  inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] + a[8] * a[7] * a[13] +
           a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
  inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] - a[8] * a[6] * a[13] -
            a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
  inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] - a[9] * a[3] * a[14] -
           a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
  inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] + a[8] * a[3] * a[14] +
           a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
  inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] - a[8] * a[3] * a[13] -
           a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
  inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] + a[8] * a[2] * a[13] +
            a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
  inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
           a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
  inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] - a[4] * a[3] * a[14] -
           a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
  inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] + a[4] * a[3] * a[13] +
            a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
  inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] - a[4] * a[2] * a[13] -
            a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
  inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] - a[5] * a[3] * a[10] -
           a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
  inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
           a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
  inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
            a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
  inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
            a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
  for (int i = 0; i < 16; ++i) adj[i / 4][i % 4] = inv[i];
  return a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
}

}  // namespace

FLOAT D3DXMatrixfDeterminant(const D3DXMATRIX* m) {
  double adj[4][4];
  return static_cast<FLOAT>(Adjugate(*m, adj));
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, FLOAT* determinant, const D3DXMATRIX* m) {
  double adj[4][4];
  const double det = Adjugate(*m, adj);
  if (determinant) *determinant = static_cast<FLOAT>(det);
  if (det == 0.0 || !std::isfinite(det)) return nullptr;
  const double inv = 1.0 / det;
  D3DXMATRIX r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = static_cast<FLOAT>(adj[i][j] * inv);
  *out = r;
  return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz) {
  *out = MakeIdentity();
  out->_11 = sx;
  out->_22 = sy;
  out->_33 = sz;
  return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, FLOAT x, FLOAT y, FLOAT z) {
  *out = MakeIdentity();
  out->_41 = x;
  out->_42 = y;
  out->_43 = z;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, FLOAT angle) {
  const FLOAT c = std::cos(angle), s = std::sin(angle);
  *out = MakeIdentity();
  out->_22 = c;
  out->_23 = s;
  out->_32 = -s;
  out->_33 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, FLOAT angle) {
  const FLOAT c = std::cos(angle), s = std::sin(angle);
  *out = MakeIdentity();
  out->_11 = c;
  out->_13 = -s;
  out->_31 = s;
  out->_33 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, FLOAT angle) {
  const FLOAT c = std::cos(angle), s = std::sin(angle);
  *out = MakeIdentity();
  out->_11 = c;
  out->_12 = s;
  out->_21 = -s;
  out->_22 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, FLOAT angle) {
  D3DXVECTOR3 v;
  D3DXVec3Normalize(&v, axis);
  const FLOAT c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
  *out = MakeIdentity();
  out->_11 = t * v.x * v.x + c;
  out->_12 = t * v.x * v.y + s * v.z;
  out->_13 = t * v.x * v.z - s * v.y;
  out->_21 = t * v.x * v.y - s * v.z;
  out->_22 = t * v.y * v.y + c;
  out->_23 = t * v.y * v.z + s * v.x;
  out->_31 = t * v.x * v.z + s * v.y;
  out->_32 = t * v.y * v.z - s * v.x;
  out->_33 = t * v.z * v.z + c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) {
  const FLOAT x = q->x, y = q->y, z = q->z, w = q->w;
  *out = MakeIdentity();
  out->_11 = 1.0f - 2.0f * (y * y + z * z);
  out->_12 = 2.0f * (x * y + z * w);
  out->_13 = 2.0f * (x * z - y * w);
  out->_21 = 2.0f * (x * y - z * w);
  out->_22 = 1.0f - 2.0f * (x * x + z * z);
  out->_23 = 2.0f * (y * z + x * w);
  out->_31 = 2.0f * (x * z + y * w);
  out->_32 = 2.0f * (y * z - x * w);
  out->_33 = 1.0f - 2.0f * (x * x + y * y);
  return out;
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, FLOAT yaw, FLOAT pitch, FLOAT roll) {
  D3DXMATRIX rz, rx, ry;
  D3DXMatrixRotationZ(&rz, roll);
  D3DXMatrixRotationX(&rx, pitch);
  D3DXMatrixRotationY(&ry, yaw);
  *out = rz * rx * ry;
  return out;
}

namespace {

// View matrix whose camera z axis is zaxisIn (toward the target for left-handed views, away from
// it for right-handed ones).
D3DXMATRIX* LookAt(D3DXMATRIX* out, const D3DXVECTOR3& eye, const D3DXVECTOR3& zaxisIn, const D3DXVECTOR3& up) {
  D3DXVECTOR3 zaxis, xaxis, yaxis;
  D3DXVec3Normalize(&zaxis, &zaxisIn);
  D3DXVec3Cross(&xaxis, &up, &zaxis);
  D3DXVec3Normalize(&xaxis, &xaxis);
  D3DXVec3Cross(&yaxis, &zaxis, &xaxis);
  *out = D3DXMATRIX(xaxis.x, yaxis.x, zaxis.x, 0,
                    xaxis.y, yaxis.y, zaxis.y, 0,
                    xaxis.z, yaxis.z, zaxis.z, 0,
                    -D3DXVec3Dot(&xaxis, &eye), -D3DXVec3Dot(&yaxis, &eye), -D3DXVec3Dot(&zaxis, &eye), 1);
  return out;
}

}  // namespace

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) {
  return LookAt(out, *eye, *at - *eye, *up);
}

D3DXMATRIX* D3DXMatrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) {
  return LookAt(out, *eye, *eye - *at, *up);
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf) {
  const FLOAT yscale = 1.0f / std::tan(fovy / 2.0f);
  const FLOAT xscale = yscale / aspect;
  *out = D3DXMATRIX();
  out->_11 = xscale;
  out->_22 = yscale;
  out->_33 = zf / (zf - zn);
  out->_34 = 1.0f;
  out->_43 = -zn * zf / (zf - zn);
  return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf) {
  *out = D3DXMATRIX();
  out->_11 = 2.0f * zn / w;
  out->_22 = 2.0f * zn / h;
  out->_33 = zf / (zf - zn);
  out->_34 = 1.0f;
  out->_43 = zn * zf / (zn - zf);
  return out;
}

D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf) {
  *out = MakeIdentity();
  out->_11 = 2.0f / w;
  out->_22 = 2.0f / h;
  out->_33 = 1.0f / (zf - zn);
  out->_43 = zn / (zn - zf);
  return out;
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                       FLOAT zf) {
  *out = MakeIdentity();
  out->_11 = 2.0f / (r - l);
  out->_22 = 2.0f / (t - b);
  out->_33 = 1.0f / (zf - zn);
  out->_41 = (l + r) / (l - r);
  out->_42 = (t + b) / (b - t);
  out->_43 = zn / (zn - zf);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Quaternions

FLOAT D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b) {
  return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
FLOAT D3DXQuaternionLength(const D3DXQUATERNION* q) { return std::sqrt(D3DXQuaternionDot(q, q)); }

D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out) {
  *out = D3DXQUATERNION(0, 0, 0, 1);
  return out;
}

D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
  *out = D3DXQUATERNION(-q->x, -q->y, -q->z, q->w);
  return out;
}

D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
  const FLOAT n = D3DXQuaternionDot(q, q);
  if (n == 0.0f) {
    *out = D3DXQUATERNION(0, 0, 0, 0);
    return out;
  }
  *out = D3DXQUATERNION(-q->x / n, -q->y / n, -q->z / n, q->w / n);
  return out;
}

D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
  const FLOAT len = D3DXQuaternionLength(q);
  *out = len > 0.0f ? *q / len : D3DXQUATERNION(0, 0, 0, 0);
  return out;
}

D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* a,
                                       const D3DXQUATERNION* b) {
  // Rotation a followed by rotation b is the Hamilton product b*a.
  *out = Hamilton(*b, *a);
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, FLOAT angle) {
  D3DXVECTOR3 v;
  D3DXVec3Normalize(&v, axis);
  const FLOAT s = std::sin(angle * 0.5f);
  *out = D3DXQUATERNION(v.x * s, v.y * s, v.z * s, std::cos(angle * 0.5f));
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m) {
  const FLOAT trace = m->_11 + m->_22 + m->_33;
  D3DXQUATERNION q;
  if (trace > 0.0f) {
    const FLOAT s = std::sqrt(trace + 1.0f) * 2.0f;  // 4w
    q.w = 0.25f * s;
    q.x = (m->_23 - m->_32) / s;
    q.y = (m->_31 - m->_13) / s;
    q.z = (m->_12 - m->_21) / s;
  } else if (m->_11 >= m->_22 && m->_11 >= m->_33) {
    const FLOAT s = std::sqrt(1.0f + m->_11 - m->_22 - m->_33) * 2.0f;  // 4x
    q.x = 0.25f * s;
    q.y = (m->_12 + m->_21) / s;
    q.z = (m->_13 + m->_31) / s;
    q.w = (m->_23 - m->_32) / s;
  } else if (m->_22 >= m->_33) {
    const FLOAT s = std::sqrt(1.0f + m->_22 - m->_11 - m->_33) * 2.0f;  // 4y
    q.x = (m->_12 + m->_21) / s;
    q.y = 0.25f * s;
    q.z = (m->_23 + m->_32) / s;
    q.w = (m->_31 - m->_13) / s;
  } else {
    const FLOAT s = std::sqrt(1.0f + m->_33 - m->_11 - m->_22) * 2.0f;  // 4z
    q.x = (m->_13 + m->_31) / s;
    q.y = (m->_23 + m->_32) / s;
    q.z = 0.25f * s;
    q.w = (m->_12 - m->_21) / s;
  }
  *out = q;
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, FLOAT yaw, FLOAT pitch,
                                                   FLOAT roll) {
  const D3DXQUATERNION qz(0, 0, std::sin(roll * 0.5f), std::cos(roll * 0.5f));
  const D3DXQUATERNION qx(std::sin(pitch * 0.5f), 0, 0, std::cos(pitch * 0.5f));
  const D3DXQUATERNION qy(0, std::sin(yaw * 0.5f), 0, std::cos(yaw * 0.5f));
  *out = qz * qx * qy;  // roll, then pitch, then yaw
  return out;
}

void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, FLOAT* angle) {
  if (axis) *axis = D3DXVECTOR3(q->x, q->y, q->z);
  if (angle) *angle = 2.0f * std::acos(std::clamp(q->w, -1.0f, 1.0f));
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* a,
                                    const D3DXQUATERNION* b, FLOAT t) {
  FLOAT cosom = D3DXQuaternionDot(a, b);
  FLOAT sign = 1.0f;
  if (cosom < 0.0f) {  // q and -q are the same rotation: go the short way
    cosom = -cosom;
    sign = -1.0f;
  }
  FLOAT wa = 1.0f - t, wb = t;
  if (1.0f - cosom > 1e-4f) {
    const FLOAT omega = std::acos(std::min(cosom, 1.0f));
    const FLOAT sinom = std::sin(omega);
    wa = std::sin((1.0f - t) * omega) / sinom;
    wb = std::sin(t * omega) / sinom;
  }
  wb *= sign;
  *out = D3DXQUATERNION(wa * a->x + wb * b->x, wa * a->y + wb * b->y, wa * a->z + wb * b->z,
                        wa * a->w + wb * b->w);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Planes

D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point, const D3DXVECTOR3* normal) {
  *out = D3DXPLANE(normal->x, normal->y, normal->z, -D3DXVec3Dot(point, normal));
  return out;
}

D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                               const D3DXVECTOR3* v3) {
  const D3DXVECTOR3 e1 = *v2 - *v1, e2 = *v3 - *v1;
  D3DXVECTOR3 n;
  D3DXVec3Cross(&n, &e1, &e2);
  D3DXVec3Normalize(&n, &n);
  return D3DXPlaneFromPointNormal(out, v1, &n);
}

D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* p) {
  const FLOAT len = std::sqrt(p->a * p->a + p->b * p->b + p->c * p->c);
  if (len > 0.0f) {
    *out = D3DXPLANE(p->a / len, p->b / len, p->c / len, p->d / len);
  } else {
    *out = D3DXPLANE(0, 0, 0, 0);
  }
  return out;
}

FLOAT D3DXPlaneDot(const D3DXPLANE* p, const D3DXVECTOR4* v) {
  return p->a * v->x + p->b * v->y + p->c * v->z + p->d * v->w;
}
FLOAT D3DXPlaneDotCoord(const D3DXPLANE* p, const D3DXVECTOR3* v) {
  return p->a * v->x + p->b * v->y + p->c * v->z + p->d;
}
FLOAT D3DXPlaneDotNormal(const D3DXPLANE* p, const D3DXVECTOR3* v) {
  return p->a * v->x + p->b * v->y + p->c * v->z;
}

D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* p, const D3DXVECTOR3* v1,
                                    const D3DXVECTOR3* v2) {
  const D3DXVECTOR3 dir = *v2 - *v1;
  const FLOAT denom = D3DXPlaneDotNormal(p, &dir);
  if (denom == 0.0f) return nullptr;
  const FLOAT t = -D3DXPlaneDotCoord(p, v1) / denom;
  *out = *v1 + dir * t;
  return out;
}

D3DXPLANE* D3DXPlaneTransform(D3DXPLANE* out, const D3DXPLANE* p, const D3DXMATRIX* m) {
  const D3DXVECTOR4 v(p->a, p->b, p->c, p->d);
  D3DXVECTOR4 r;
  D3DXVec4Transform(&r, &v, m);
  *out = D3DXPLANE(r.x, r.y, r.z, r.w);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Colours

D3DXCOLOR* D3DXColorLerp(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b, FLOAT s) {
  *out = D3DXCOLOR(a->r + s * (b->r - a->r), a->g + s * (b->g - a->g), a->b + s * (b->b - a->b),
                   a->a + s * (b->a - a->a));
  return out;
}
D3DXCOLOR* D3DXColorModulate(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b) {
  *out = D3DXCOLOR(a->r * b->r, a->g * b->g, a->b * b->b, a->a * b->a);
  return out;
}
D3DXCOLOR* D3DXColorScale(D3DXCOLOR* out, const D3DXCOLOR* c, FLOAT s) {
  *out = *c * s;
  return out;
}

// ---------------------------------------------------------------------------------------------
// Bounds

UINT D3DXGetFVFVertexSize(DWORD fvf) {
  UINT size = 0;
  switch (fvf & 0x00E) {  // D3DFVF_POSITION_MASK
    case 0x002: size = 12; break;  // XYZ
    case 0x004: size = 16; break;  // XYZRHW
    case 0x006: size = 16; break;  // XYZB1
    case 0x008: size = 20; break;
    case 0x00A: size = 24; break;
    case 0x00C: size = 28; break;
    case 0x00E: size = 32; break;  // XYZB5
    default: break;
  }
  if (fvf & 0x010) size += 12;  // NORMAL
  if (fvf & 0x020) size += 4;   // PSIZE
  if (fvf & 0x040) size += 4;   // DIFFUSE
  if (fvf & 0x080) size += 4;   // SPECULAR
  const UINT texCount = (fvf >> 8) & 0xF;
  if (texCount > 8) return 0;
  for (UINT i = 0; i < texCount; ++i) {
    // Two bits per set from bit 16: 0 = 2 floats, 1 = 3, 2 = 4, 3 = 1.
    static constexpr UINT kFloats[4] = {2, 3, 4, 1};
    size += 4 * kFloats[(fvf >> (16 + 2 * i)) & 3];
  }
  return size;
}

namespace {

D3DXVECTOR3 PositionAt(const void* first, DWORD index, DWORD stride) {
  D3DXVECTOR3 p;
  std::memcpy(&p.x, static_cast<const unsigned char*>(first) + static_cast<std::size_t>(index) * stride,
              3 * sizeof(FLOAT));
  return p;
}

}  // namespace

win32::HRESULT D3DXComputeBoundingSphere(const void* firstPosition, DWORD numVertices, DWORD stride,
                                         D3DXVECTOR3* center, FLOAT* radius) {
  if (!firstPosition || !center || !radius || (numVertices > 1 && stride < 3 * sizeof(FLOAT)))
    return d3d8::D3DERR_INVALIDCALL;
  D3DXVECTOR3 sum(0, 0, 0);
  for (DWORD i = 0; i < numVertices; ++i) sum += PositionAt(firstPosition, i, stride);
  const D3DXVECTOR3 c = numVertices ? sum / static_cast<FLOAT>(numVertices) : D3DXVECTOR3(0, 0, 0);
  FLOAT maxSq = 0.0f;
  for (DWORD i = 0; i < numVertices; ++i) {
    const D3DXVECTOR3 d = PositionAt(firstPosition, i, stride) - c;
    maxSq = std::max(maxSq, D3DXVec3LengthSq(&d));
  }
  *center = c;
  *radius = std::sqrt(maxSq);
  return win32::S_OK;
}

win32::HRESULT D3DXComputeBoundingBox(const void* firstPosition, DWORD numVertices, DWORD stride,
                                      D3DXVECTOR3* min, D3DXVECTOR3* max) {
  if (!firstPosition || !min || !max || (numVertices > 1 && stride < 3 * sizeof(FLOAT)))
    return d3d8::D3DERR_INVALIDCALL;
  if (numVertices == 0) {
    *min = *max = D3DXVECTOR3(0, 0, 0);
    return win32::S_OK;
  }
  D3DXVECTOR3 lo = PositionAt(firstPosition, 0, stride), hi = lo;
  for (DWORD i = 1; i < numVertices; ++i) {
    const D3DXVECTOR3 p = PositionAt(firstPosition, i, stride);
    D3DXVec3Minimize(&lo, &lo, &p);
    D3DXVec3Maximize(&hi, &hi, &p);
  }
  *min = lo;
  *max = hi;
  return win32::S_OK;
}

}  // namespace d3dx
