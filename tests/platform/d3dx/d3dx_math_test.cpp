#include "platform/d3dx/d3dx_math.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace d3dx;

namespace {

constexpr float kEps = 1e-5f;

void ExpectMatrixNear(const D3DXMATRIX& expected, const D3DXMATRIX& actual, float eps = kEps) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_NEAR(expected(r, c), actual(r, c), eps) << "element _" << r + 1 << c + 1;
}

void ExpectVecNear(const D3DXVECTOR3& expected, const D3DXVECTOR3& actual, float eps = kEps) {
  EXPECT_NEAR(expected.x, actual.x, eps);
  EXPECT_NEAR(expected.y, actual.y, eps);
  EXPECT_NEAR(expected.z, actual.z, eps);
}

void ExpectQuatNear(const D3DXQUATERNION& expected, const D3DXQUATERNION& actual, float eps = kEps) {
  EXPECT_NEAR(expected.x, actual.x, eps);
  EXPECT_NEAR(expected.y, actual.y, eps);
  EXPECT_NEAR(expected.z, actual.z, eps);
  EXPECT_NEAR(expected.w, actual.w, eps);
}

D3DXMATRIX Identity() {
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  return m;
}

}  // namespace

TEST(D3DXMathTest, LookAtLeftHandedAlongPlusX) {
  // Looking down +x from (2, 3, 4): camera x axis = up x view = (0, 0, -1).
  const D3DXVECTOR3 eye(2, 3, 4), at(3, 3, 4), up(0, 1, 0);
  D3DXMATRIX view;
  ASSERT_EQ(&view, D3DXMatrixLookAtLH(&view, &eye, &at, &up));
  const D3DXMATRIX expected(0, 0, 1, 0,
                            0, 1, 0, 0,
                            -1, 0, 0, 0,
                            4, -3, -2, 1);
  ExpectMatrixNear(expected, view);

  // The eye maps to the origin; a point ahead lies on +z; +z world is to the left.
  D3DXVECTOR3 p;
  D3DXVec3TransformCoord(&p, &eye, &view);
  ExpectVecNear(D3DXVECTOR3(0, 0, 0), p);
  const D3DXVECTOR3 ahead(12, 3, 4), left(2, 3, 5);
  D3DXVec3TransformCoord(&p, &ahead, &view);
  ExpectVecNear(D3DXVECTOR3(0, 0, 10), p);
  D3DXVec3TransformCoord(&p, &left, &view);
  ExpectVecNear(D3DXVECTOR3(-1, 0, 0), p);
}

TEST(D3DXMathTest, LookAtNormalisesAndOrthogonalisesAxes) {
  const D3DXVECTOR3 eye(0, 0, -5), at(0, 0, 0), up(0, 7, 0.5f);  // up not unit, not orthogonal
  D3DXMATRIX view;
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMATRIX expected = Identity();
  expected._43 = 5;
  ExpectMatrixNear(expected, view);

  D3DXMATRIX rh;
  D3DXMatrixLookAtRH(&rh, &eye, &at, &up);
  // Right-handed: camera z points back at the viewer, x flips accordingly.
  const D3DXMATRIX expectedRh(-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, -5, 1);
  ExpectMatrixNear(expectedRh, rh);
}

TEST(D3DXMathTest, PerspectiveFovMapsNearAndFarToZeroAndOne) {
  D3DXMATRIX proj;
  D3DXMatrixPerspectiveFovLH(&proj, D3DX_PI / 2, 2.0f, 1.0f, 101.0f);
  D3DXMATRIX expected;
  expected._11 = 0.5f;  // cot(45°) / aspect
  expected._22 = 1.0f;
  expected._33 = 1.01f;
  expected._34 = 1.0f;
  expected._43 = -1.01f;
  ExpectMatrixNear(expected, proj);

  D3DXVECTOR3 p;
  const D3DXVECTOR3 nearCorner(1, 1, 1), farCentre(0, 0, 101), mid(10, -5, 20);
  D3DXVec3TransformCoord(&p, &nearCorner, &proj);
  ExpectVecNear(D3DXVECTOR3(0.5f, 1, 0), p);
  D3DXVec3TransformCoord(&p, &farCentre, &proj);
  ExpectVecNear(D3DXVECTOR3(0, 0, 1), p);
  // w divide: w = 20.
  D3DXVec3TransformCoord(&p, &mid, &proj);
  ExpectVecNear(D3DXVECTOR3(0.25f, -0.25f, 1.01f * 19.0f / 20.0f), p);

  D3DXVECTOR4 h;
  D3DXVec3Transform(&h, &mid, &proj);
  EXPECT_FLOAT_EQ(20.0f, h.w);
  EXPECT_FLOAT_EQ(5.0f, h.x);
}

TEST(D3DXMathTest, OrthoOffCenterMapsBoxToClipCube) {
  D3DXMATRIX m;
  D3DXMatrixOrthoOffCenterLH(&m, 0, 640, 480, 0, 0, 1);  // screen-style: y down
  D3DXVECTOR3 p;
  const D3DXVECTOR3 topLeft(0, 0, 0), bottomRight(640, 480, 1);
  D3DXVec3TransformCoord(&p, &topLeft, &m);
  ExpectVecNear(D3DXVECTOR3(-1, 1, 0), p);
  D3DXVec3TransformCoord(&p, &bottomRight, &m);
  ExpectVecNear(D3DXVECTOR3(1, -1, 1), p);

  D3DXMatrixOrthoLH(&m, 4, 2, 1, 3);
  const D3DXVECTOR3 q(2, -1, 3);
  D3DXVec3TransformCoord(&p, &q, &m);
  ExpectVecNear(D3DXVECTOR3(1, -1, 1), p);
}

TEST(D3DXMathTest, MultiplyIsRowVectorOrderAndAllowsAliasing) {
  D3DXMATRIX s, t, st, ts;
  D3DXMatrixScaling(&s, 2, 3, 4);
  D3DXMatrixTranslation(&t, 10, 20, 30);
  D3DXMatrixMultiply(&st, &s, &t);  // scale first, then translate
  D3DXMatrixMultiply(&ts, &t, &s);  // translate first, then scale
  const D3DXVECTOR3 one(1, 1, 1);
  D3DXVECTOR3 p;
  D3DXVec3TransformCoord(&p, &one, &st);
  ExpectVecNear(D3DXVECTOR3(12, 23, 34), p);
  D3DXVec3TransformCoord(&p, &one, &ts);
  ExpectVecNear(D3DXVECTOR3(22, 63, 124), p);

  D3DXMATRIX a = s;
  D3DXMatrixMultiply(&a, &a, &t);
  ExpectMatrixNear(st, a);
  a = t;
  D3DXMatrixMultiply(&a, &s, &a);
  ExpectMatrixNear(st, a);
  ExpectMatrixNear(st, s * t);
}

TEST(D3DXMathTest, InverseOfScaleTranslate) {
  D3DXMATRIX m;
  D3DXMatrixScaling(&m, 2, 4, 8);
  m._41 = 1;
  m._42 = 2;
  m._43 = 3;
  D3DXMATRIX inv;
  float det = 0;
  ASSERT_EQ(&inv, D3DXMatrixInverse(&inv, &det, &m));
  EXPECT_FLOAT_EQ(64.0f, det);
  const D3DXMATRIX expected(0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 0.125f, 0, -0.5f, -0.5f, -0.375f, 1);
  ExpectMatrixNear(expected, inv);
}

TEST(D3DXMathTest, InverseOfGeneralMatrixAndAliasing) {
  const D3DXMATRIX m(1, 2, 0, 1, 0, 1, 3, 0, 4, 0, 1, 2, 1, 1, 1, 1);
  D3DXMATRIX inv;
  float det = 0;
  ASSERT_NE(nullptr, D3DXMatrixInverse(&inv, &det, &m));
  // Row reduction by hand: det = det([[1,3,0],[-8,1,-2],[-1,1,0]]) = 8.
  EXPECT_NEAR(8.0f, det, 1e-4f);
  EXPECT_NEAR(det, D3DXMatrixfDeterminant(&m), 1e-4f);
  ExpectMatrixNear(Identity(), m * inv, 1e-5f);
  ExpectMatrixNear(Identity(), inv * m, 1e-5f);

  D3DXMATRIX alias = m;
  ASSERT_NE(nullptr, D3DXMatrixInverse(&alias, nullptr, &alias));
  ExpectMatrixNear(inv, alias);
}

TEST(D3DXMathTest, InverseOfSingularMatrixReturnsNullAndLeavesOutput) {
  const D3DXMATRIX singular(1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 5, 5, 5, 5);  // row 2 = 2 * row 1
  D3DXMATRIX out(Identity());
  out._41 = 42;
  const D3DXMATRIX before = out;
  float det = 99;
  EXPECT_EQ(nullptr, D3DXMatrixInverse(&out, &det, &singular));
  EXPECT_EQ(0.0f, det);
  EXPECT_EQ(before, out);
  D3DXMATRIX zero;
  EXPECT_EQ(nullptr, D3DXMatrixInverse(&out, nullptr, &zero));
}

TEST(D3DXMathTest, AxisRotationsAreLeftHanded) {
  D3DXMATRIX r;
  D3DXVECTOR3 p;
  const D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
  D3DXMatrixRotationY(&r, D3DX_PI / 2);
  D3DXVec3TransformCoord(&p, &x, &r);
  ExpectVecNear(D3DXVECTOR3(0, 0, -1), p);
  D3DXMatrixRotationX(&r, D3DX_PI / 2);
  D3DXVec3TransformCoord(&p, &y, &r);
  ExpectVecNear(D3DXVECTOR3(0, 0, 1), p);
  D3DXMatrixRotationZ(&r, D3DX_PI / 2);
  D3DXVec3TransformCoord(&p, &x, &r);
  ExpectVecNear(D3DXVECTOR3(0, 1, 0), p);
  D3DXVec3TransformCoord(&p, &z, &r);
  ExpectVecNear(z, p);

  // Axis rotation about a non-unit y axis equals RotationY.
  const D3DXVECTOR3 axis(0, 5, 0);
  D3DXMATRIX ra, ry;
  D3DXMatrixRotationAxis(&ra, &axis, 0.7f);
  D3DXMatrixRotationY(&ry, 0.7f);
  ExpectMatrixNear(ry, ra);
}

TEST(D3DXMathTest, YawPitchRollIsRollThenPitchThenYaw) {
  const float yaw = 0.3f, pitch = -1.1f, roll = 2.0f;
  D3DXMATRIX ypr, rz, rx, ry;
  D3DXMatrixRotationYawPitchRoll(&ypr, yaw, pitch, roll);
  D3DXMatrixRotationZ(&rz, roll);
  D3DXMatrixRotationX(&rx, pitch);
  D3DXMatrixRotationY(&ry, yaw);
  ExpectMatrixNear(rz * rx * ry, ypr);

  D3DXQUATERNION q;
  D3DXQuaternionRotationYawPitchRoll(&q, yaw, pitch, roll);
  D3DXMATRIX fromQ;
  D3DXMatrixRotationQuaternion(&fromQ, &q);
  ExpectMatrixNear(ypr, fromQ);
}

TEST(D3DXMathTest, QuaternionMatrixRoundTrip) {
  // Cover every branch of the matrix-to-quaternion conversion, including 180° turns.
  const D3DXVECTOR3 axes[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 2, 3}, {-2, 0.5f, 1}};
  const float angles[] = {0.0f, 0.4f, 2.5f, D3DX_PI, -1.3f};
  for (const auto& axis : axes) {
    for (float angle : angles) {
      D3DXMATRIX m, back;
      D3DXMatrixRotationAxis(&m, &axis, angle);
      D3DXQUATERNION q, qa;
      D3DXQuaternionRotationMatrix(&q, &m);
      EXPECT_NEAR(1.0f, D3DXQuaternionLength(&q), 1e-5f);
      D3DXMatrixRotationQuaternion(&back, &q);
      ExpectMatrixNear(m, back, 2e-5f);
      // Same rotation as the axis-angle quaternion, up to sign.
      D3DXQuaternionRotationAxis(&qa, &axis, angle);
      const float dot = std::fabs(D3DXQuaternionDot(&q, &qa));
      EXPECT_NEAR(1.0f, dot, 1e-5f);
    }
  }
  D3DXMATRIX rx;
  D3DXMatrixRotationX(&rx, 1.0f);
  D3DXQUATERNION q;
  D3DXQuaternionRotationMatrix(&q, &rx);
  ExpectQuatNear(D3DXQUATERNION(std::sin(0.5f), 0, 0, std::cos(0.5f)), q);
}

TEST(D3DXMathTest, QuaternionMultiplyComposesInApplicationOrder) {
  const D3DXVECTOR3 ax(1, 0, 0), ay(0, 1, 0);
  D3DXQUATERNION qx, qy, q;
  D3DXQuaternionRotationAxis(&qx, &ax, 0.8f);
  D3DXQuaternionRotationAxis(&qy, &ay, -0.5f);
  D3DXQuaternionMultiply(&q, &qx, &qy);
  D3DXMATRIX mq, mx, my;
  D3DXMatrixRotationQuaternion(&mq, &q);
  D3DXMatrixRotationX(&mx, 0.8f);
  D3DXMatrixRotationY(&my, -0.5f);
  ExpectMatrixNear(mx * my, mq);

  D3DXQUATERNION inv, id;
  D3DXQuaternionInverse(&inv, &q);
  D3DXQuaternionMultiply(&id, &q, &inv);
  ExpectQuatNear(D3DXQUATERNION(0, 0, 0, 1), id);
}

TEST(D3DXMathTest, SlerpTakesShorterArc) {
  const D3DXVECTOR3 az(0, 0, 1);
  D3DXQUATERNION a, b, r, expected;
  D3DXQuaternionIdentity(&a);
  D3DXQuaternionRotationAxis(&b, &az, D3DX_PI / 2);
  D3DXQuaternionRotationAxis(&expected, &az, D3DX_PI / 4);
  D3DXQuaternionSlerp(&r, &a, &b, 0.5f);
  ExpectQuatNear(expected, r);
  D3DXQuaternionSlerp(&r, &a, &b, 0.0f);
  ExpectQuatNear(a, r);
  D3DXQuaternionSlerp(&r, &a, &b, 1.0f);
  ExpectQuatNear(b, r);

  // -b is the same rotation; the halfway point must still be the 45° turn, not a 225° one.
  const D3DXQUATERNION negB = -b;
  D3DXQuaternionSlerp(&r, &a, &negB, 0.5f);
  D3DXMATRIX mr, me;
  D3DXMatrixRotationQuaternion(&mr, &r);
  D3DXMatrixRotationQuaternion(&me, &expected);
  ExpectMatrixNear(me, mr);

  // Quarter of the way keeps unit length and the right angle.
  D3DXQuaternionSlerp(&r, &a, &b, 0.25f);
  D3DXQuaternionRotationAxis(&expected, &az, D3DX_PI / 8);
  ExpectQuatNear(expected, r);

  // Nearly identical inputs give no NaN.
  const D3DXQUATERNION c(0, 0, 1e-7f, 1.0f);
  D3DXQuaternionSlerp(&r, &a, &c, 0.5f);
  EXPECT_FALSE(std::isnan(r.w));
  EXPECT_NEAR(1.0f, r.w, 1e-6f);
}

TEST(D3DXMathTest, VectorHelpers) {
  const D3DXVECTOR3 a(1, 2, 3), b(4, -5, 6);
  D3DXVECTOR3 r;
  D3DXVec3Cross(&r, &a, &b);
  ExpectVecNear(D3DXVECTOR3(27, 6, -13), r);
  EXPECT_FLOAT_EQ(12.0f, D3DXVec3Dot(&a, &b));
  const D3DXVECTOR3 v(3, 0, 4);
  EXPECT_FLOAT_EQ(5.0f, D3DXVec3Length(&v));
  D3DXVec3Normalize(&r, &v);
  ExpectVecNear(D3DXVECTOR3(0.6f, 0, 0.8f), r);
  const D3DXVECTOR3 zero(0, 0, 0);
  D3DXVec3Normalize(&r, &zero);
  EXPECT_EQ(zero, r);
  D3DXVec3Lerp(&r, &a, &b, 0.25f);
  ExpectVecNear(D3DXVECTOR3(1.75f, 0.25f, 3.75f), r);

  D3DXMATRIX t;
  D3DXMatrixTranslation(&t, 100, 200, 300);
  D3DXMATRIX rot;
  D3DXMatrixRotationZ(&rot, D3DX_PI / 2);
  t = rot * t;
  const D3DXVECTOR3 n(1, 0, 0);
  D3DXVec3TransformNormal(&r, &n, &t);
  ExpectVecNear(D3DXVECTOR3(0, 1, 0), r);  // translation ignored
  D3DXVec3TransformCoord(&r, &n, &t);
  ExpectVecNear(D3DXVECTOR3(100, 201, 300), r);
}

TEST(D3DXMathTest, HermiteInterpolatesEndpointsAndTangents) {
  const D3DXVECTOR3 p0(0, 0, 0), p1(10, 0, 0), t0(0, 8, 0), t1(0, -8, 0);
  D3DXVECTOR3 r;
  D3DXVec3Hermite(&r, &p0, &t0, &p1, &t1, 0.0f);
  ExpectVecNear(p0, r);
  D3DXVec3Hermite(&r, &p0, &t0, &p1, &t1, 1.0f);
  ExpectVecNear(p1, r);
  // h1 = h3 = 0.5, h2 = 0.125, h4 = -0.125 at s = 0.5.
  D3DXVec3Hermite(&r, &p0, &t0, &p1, &t1, 0.5f);
  ExpectVecNear(D3DXVECTOR3(5, 2, 0), r);
}

TEST(D3DXMathTest, Planes) {
  D3DXPLANE p;
  const D3DXVECTOR3 a(0, 0, 5), b(0, 1, 5), c(1, 0, 5);
  D3DXPlaneFromPoints(&p, &a, &b, &c);
  EXPECT_NEAR(0, p.a, kEps);
  EXPECT_NEAR(0, p.b, kEps);
  EXPECT_NEAR(-1, p.c, kEps);
  EXPECT_NEAR(5, p.d, kEps);
  const D3DXVECTOR3 q(3, 4, 7);
  EXPECT_NEAR(-2.0f, D3DXPlaneDotCoord(&p, &q), kEps);

  const D3DXPLANE raw(0, 0, 2, 4);
  D3DXPlaneNormalize(&p, &raw);
  EXPECT_EQ(D3DXPLANE(0, 0, 1, 2), p);

  D3DXVECTOR3 hit;
  const D3DXVECTOR3 l0(1, 1, 0), l1(1, 1, -4);
  ASSERT_NE(nullptr, D3DXPlaneIntersectLine(&hit, &p, &l0, &l1));
  ExpectVecNear(D3DXVECTOR3(1, 1, -2), hit);
  const D3DXVECTOR3 m0(0, 0, 0), m1(1, 0, 0);
  EXPECT_EQ(nullptr, D3DXPlaneIntersectLine(&hit, &p, &m0, &m1));
}

TEST(D3DXMathTest, BoundsHonourStride) {
  // Position followed by two junk floats (stride 20).
  const float verts[] = {1, 0, 0, 99, 99, -1, 0, 0, 99, 99, 0, 3, 0, -99, -99, 0, -3, 0, 7, 7};
  D3DXVECTOR3 centre, lo, hi;
  float radius = 0;
  ASSERT_EQ(0, D3DXComputeBoundingSphere(verts, 4, 20, &centre, &radius));
  ExpectVecNear(D3DXVECTOR3(0, 0, 0), centre);
  EXPECT_FLOAT_EQ(3.0f, radius);
  ASSERT_EQ(0, D3DXComputeBoundingBox(verts, 4, 20, &lo, &hi));
  ExpectVecNear(D3DXVECTOR3(-1, -3, 0), lo);
  ExpectVecNear(D3DXVECTOR3(1, 3, 0), hi);
  EXPECT_LT(D3DXComputeBoundingBox(verts, 4, 8, &lo, &hi), 0);  // stride shorter than a position
  EXPECT_LT(D3DXComputeBoundingSphere(nullptr, 4, 20, &centre, &radius), 0);

  EXPECT_EQ(28u, D3DXGetFVFVertexSize(0x144));
  EXPECT_EQ(36u, D3DXGetFVFVertexSize(0x152));
  EXPECT_EQ(44u, D3DXGetFVFVertexSize(0x252));
  EXPECT_EQ(12u + 12 + 12, D3DXGetFVFVertexSize(0x112 | (1u << 16)));  // one 3D texture set
}

TEST(D3DXMathTest, ColourConversions) {
  const D3DXCOLOR c(0x80FF4000u);
  EXPECT_NEAR(1.0f, c.r, 1e-6f);
  EXPECT_NEAR(64.0f / 255.0f, c.g, 1e-6f);
  EXPECT_NEAR(0.0f, c.b, 1e-6f);
  EXPECT_NEAR(128.0f / 255.0f, c.a, 1e-6f);
  EXPECT_EQ(0x80FF4000u, static_cast<DWORD>(c));
  const D3DXCOLOR over(2.0f, -1.0f, 0.5f, 1.0f);
  EXPECT_EQ(0xFFFF0080u, static_cast<DWORD>(over));  // clamped per channel
  D3DXCOLOR m;
  const D3DXCOLOR half(0.5f, 0.5f, 0.5f, 0.5f);
  D3DXColorModulate(&m, &c, &half);
  EXPECT_NEAR(0.5f, m.r, 1e-6f);
}
