// Fires: flame configuration from the first torch, discovery of torches and fireplaces,
// cull boxes, the two fire points per torch, the halo flicker, and the paused simulation
// while no fire is visible.
#include <gtest/gtest.h>

#include <cmath>

#include "../model/model_test_util.h"
#include "effects/fire_set.h"
#include "platform/win32/crt_rand.h"

using namespace effects;
using namespace scene_test;
using d3dx::D3DXMATRIX;
using d3dx::D3DXVECTOR3;

namespace {

// A box-shaped mesh (12 triangles) spanning [lo, hi].
xfile::MeshDesc Box(D3DXVECTOR3 lo, D3DXVECTOR3 hi) {
  xfile::MeshDesc d;
  for (int i = 0; i < 8; ++i) {
    d.positions.push_back(i & 1 ? hi.x : lo.x);
    d.positions.push_back(i & 2 ? hi.y : lo.y);
    d.positions.push_back(i & 4 ? hi.z : lo.z);
  }
  d.faces = {{0, 1, 3}, {0, 3, 2}, {4, 6, 7}, {4, 7, 5}, {0, 4, 5}, {0, 5, 1},
             {2, 3, 7}, {2, 7, 6}, {0, 2, 6}, {0, 6, 4}, {1, 5, 7}, {1, 7, 3}};
  d.materials.resize(1);
  d.faceMaterials = {0};
  return d;
}

std::vector<float> At(float x, float y, float z) { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1}; }

// A room with two torches 5.76 units tall on opposite walls and, optionally, a fireplace.
struct Room {
  scene::ModelFile model;
  std::vector<scene::SceneMesh> meshes;
  Room(bool withTorches, bool withFireplace) {
    xfile::Writer w;
    xfile::WriteObject& root = w.AddFrame("Scene_Root", kIdentity);
    const D3DXVECTOR3 lo{-1, 0, -0.5f}, hi{1, 5.76f, 0.5f};
    if (withTorches) {
      xfile::WriteMesh(xfile::Writer::AddFrame(root, "torch01", At(10, 20, 100).data()), Box(lo, hi));
      xfile::WriteMesh(xfile::Writer::AddFrame(root, "torch02", At(10, 20, -100).data()), Box(lo, hi));
    }
    if (withFireplace)
      xfile::WriteMesh(xfile::Writer::AddFrame(root, "fireplace", At(0, 0, 50).data()), Box({-20, 0, -5}, {20, 30, 5}));
    xfile::WriteMesh(xfile::Writer::AddFrame(root, "floor", kIdentity), Box({-200, -1, -200}, {200, 0, 200}));
    EXPECT_EQ(Load(model, Save(w)), 0);
    D3DXMATRIX id;
    d3dx::D3DXMatrixIdentity(&id);
    model.UpdateWorldMatrices(id);
    scene::CollectSceneMeshes(model, nullptr, meshes);
  }
};

void ExpectVec(const D3DXVECTOR3& v, float x, float y, float z) {
  EXPECT_NEAR(v.x, x, 1e-4f);
  EXPECT_NEAR(v.y, y, 1e-4f);
  EXPECT_NEAR(v.z, z, 1e-4f);
}

}  // namespace

TEST(FireSet, FlameSizedFromTheFirstTorch) {
  Room room(true, true);
  FireSet fires;
  ASSERT_EQ(fires.Setup(room.meshes), 3);
  EXPECT_EQ(fires.torches.size(), 2u);
  EXPECT_EQ(fires.fireplaces.size(), 1u);
  // Largest extent 5.76 gives s = 2.4: tongues 0.45 +- 0.225 wide growing to 1.35, leaving
  // at 1.8 +- 0.9 units per second from a ring 0.6 across.
  const FlameEffect& f = fires.flame;
  EXPECT_NEAR(f.flameSize, 2.4f, 1e-5f);
  EXPECT_NEAR(f.tongues.sizeStart, 0.45f, 1e-5f);
  EXPECT_NEAR(f.tongues.sizeVariation, 0.225f, 1e-5f);
  EXPECT_NEAR(f.tongues.sizeEnd, 1.35f, 1e-5f);
  EXPECT_NEAR(f.tongues.speed, 1.8f, 1e-5f);
  EXPECT_NEAR(f.tongues.speedVariation, 0.9f, 1e-5f);
  EXPECT_NEAR(f.tongues.spawnRing, 0.6f, 1e-5f);
  // The base: wider, slower to grow, twice as fast.
  EXPECT_NEAR(f.base.sizeStart, 3 * 0.45f, 1e-5f);
  EXPECT_NEAR(f.base.speed, 3.6f, 1e-5f);
}

TEST(FireSet, FireplacesAloneGetHalosButNoFlames) {
  Room room(false, true);
  FireSet fires;
  ASSERT_EQ(fires.Setup(room.meshes), 1);
  EXPECT_EQ(fires.flame.tongues.emissionRate, 0.0f);
  for (int i = 0; i < 60; ++i) fires.Update(1 / 30.0f);
  EXPECT_EQ(fires.flame.tongues.LiveCount(), 0);
  EXPECT_EQ(fires.flame.base.LiveCount(), 0);
  // No model at all: nothing to draw, nothing to cull.
  std::vector<scene::SceneMesh> none;
  EXPECT_EQ(fires.Setup(none), 0);
  fires.Update(0.1f);
}

TEST(FireSet, CullBoxesSitAboveEachFire) {
  Room room(true, true);
  FireSet fires;
  fires.Setup(room.meshes);
  ASSERT_EQ(fires.FireCount(), 3);
  // Torch: [-1,1] x [0,5.76] x [-0.5,0.5] moved up 5.76, enlarged 1.4 about its centre
  // (2 x 8.064 x 1.4 around (0, 8.64, 0)), then moved to (10, 20, 100).
  const scene::BoundingBox& t = fires.CullBox(0);
  ExpectVec(t.min, 10 - 1.4f, 20 + 8.64f - 4.032f, 100 - 0.7f);
  ExpectVec(t.max, 10 + 1.4f, 20 + 8.64f + 4.032f, 100 + 0.7f);
  // Fireplace: not enlarged; covers its own box and the same height again above it (the
  // flame burns at its foot).
  const scene::BoundingBox& f = fires.CullBox(2);
  ExpectVec(f.min, -20, 0, 45);
  ExpectVec(f.max, 20, 60, 55);
  // The boxes follow the frames.
  for (scene::SceneMesh& m : room.meshes)
    if (m.frame->name == "fireplace") m.frame->world.m[3][0] = 7;
  fires.Update(0.01f);
  EXPECT_NEAR(fires.CullBox(2).min.x, -13, 1e-4f);
}

TEST(FireSet, TwoFirePointsPerTorchLeanIntoTheRoom) {
  Room room(true, false);
  FireSet fires;
  fires.Setup(room.meshes);
  D3DXVECTOR3 p[2];
  // Torch 1 stands at z = +100 of the torches' mean: pushed towards -z, mirrored along x.
  fires.TorchPoints(0, 0.9f, p);
  ExpectVec(p[0], 0.7f, 2.88f + 2.88f * 0.9f, -0.25f);
  ExpectVec(p[1], -0.7f, 2.88f + 2.88f * 0.9f, -0.25f);
  // Torch 2 on the other side, halo height.
  fires.TorchPoints(1, 1.4f, p);
  ExpectVec(p[0], 0.7f, 2.88f + 2.88f * 1.4f, 0.25f);
  ExpectVec(p[1], -0.7f, 2.88f + 2.88f * 1.4f, 0.25f);
}

TEST(FireSet, HaloFlickerStaysWithinItsRangeAcrossTheClockWrap) {
  FireSet fires;
  float lo = 1e9f, hi = -1e9f;
  for (int i = 0; i < 3000; ++i) {
    fires.Update(0.017f);
    lo = std::min(lo, fires.glowSize);
    hi = std::max(hi, fires.glowSize);
  }
  EXPECT_GE(lo, 30.0f);
  EXPECT_LE(hi, 50.0f);
  EXPECT_GT(hi - lo, 12.0f);  // it does flicker
  fires.clock = 6283.18f;
  fires.Update(0.01f);
  EXPECT_LT(fires.clock, 1.0f);
  EXPECT_GE(fires.glowSize, 30.0f);
  EXPECT_LE(fires.glowSize, 50.0f);
}

TEST(FireSet, NoVisibleFireStopsTheSimulation) {
  win32::crt_srand(7);
  Room room(true, true);
  FireSet fires;
  fires.Setup(room.meshes);
  // A camera at x = -100 looking along -x: every fire lies behind it.
  scene::ViewFrustum fr;
  D3DXMATRIX view, proj;
  D3DXVECTOR3 eye{-100, 20, 0}, at{-200, 20, 0}, up{0, 1, 0};
  d3dx::D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  d3dx::D3DXMatrixPerspectiveFovLH(&proj, 0.8f, 1.0f, 1.0f, 5000.0f);
  scene::ComputeFrustumPlanes(fr, view, proj);
  fires.Cull(fr);
  for (int j = 0; j < fires.FireCount(); ++j) EXPECT_EQ(fires.visible[static_cast<std::size_t>(j)], 0) << j;
  for (int i = 0; i < 30; ++i) fires.Update(1 / 30.0f);
  EXPECT_EQ(fires.flame.tongues.LiveCount(), 0);
  EXPECT_EQ(fires.flame.tongues.clock, 0.0f);
  // Turning round to face the first torch makes it visible, and the flame runs again.
  at = D3DXVECTOR3(10, 25, 100);
  d3dx::D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  scene::ComputeFrustumPlanes(fr, view, proj);
  fires.Cull(fr);
  EXPECT_EQ(fires.visible[0], 1);
  EXPECT_EQ(fires.visible[1], 0);
  for (int i = 0; i < 30; ++i) fires.Update(1 / 30.0f);
  EXPECT_GT(fires.flame.tongues.LiveCount(), 30);
  EXPECT_LE(fires.flame.tongues.LiveCount(), 41);
  EXPECT_GT(fires.flame.base.LiveCount(), 10);
}
