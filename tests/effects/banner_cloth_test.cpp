// Banner cloth: springs from the mesh's edges, the pinned top tenth, the 0.1 s step limit,
// the z clamp that affects drawing only, the wind's range and its continuity across the
// clock wrap, and the turn of each copy.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "../model/model_test_util.h"
#include "effects/banner_cloth.h"

using namespace effects;
using namespace scene_test;
using d3dx::D3DXMATRIX;
using d3dx::D3DXVECTOR3;

namespace {

std::vector<float> At(float x, float y, float z) { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1}; }

struct Model {
  scene::ModelFile model;
  std::vector<scene::SceneMesh> meshes;
  explicit Model(const std::vector<std::pair<std::string, xfile::MeshDesc>>& frames,
                 const std::vector<std::vector<float>>& places = {}) {
    xfile::Writer w;
    xfile::WriteObject& root = w.AddFrame("Scene_Root", kIdentity);
    for (std::size_t i = 0; i < frames.size(); ++i)
      xfile::WriteMesh(xfile::Writer::AddFrame(root, frames[i].first, i < places.size() ? places[i].data() : kIdentity),
                       frames[i].second);
    EXPECT_EQ(Load(model, Save(w)), 0);
    D3DXMATRIX id;
    d3dx::D3DXMatrixIdentity(&id);
    model.UpdateWorldMatrices(id);
    scene::CollectSceneMeshes(model, nullptr, meshes);
  }
};

// A grid of (n + 1) x (n + 1) vertices in the x-y plane, width w, height h, top at y = h.
xfile::MeshDesc Sheet(int n, float w, float h, float topZ = 0) {
  xfile::MeshDesc d;
  for (int r = 0; r <= n; ++r)
    for (int c = 0; c <= n; ++c) {
      d.positions.push_back(w * static_cast<float>(c) / static_cast<float>(n));
      d.positions.push_back(h * static_cast<float>(r) / static_cast<float>(n));
      d.positions.push_back(r == n ? topZ : 0);
    }
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      std::uint32_t a = static_cast<std::uint32_t>(r * (n + 1) + c), b = a + 1,
                    u = a + static_cast<std::uint32_t>(n + 1), v = u + 1;
      d.faces.push_back({a, u, v});
      d.faces.push_back({a, v, b});
    }
  d.materials.resize(1);
  d.faceMaterials = {0};
  return d;
}

D3DXVECTOR3 VertexPosition(d3dx::ID3DXMesh* mesh, int i) {
  d3d8::BYTE* data = nullptr;
  D3DXVECTOR3 p{0, 0, 0};
  if (mesh->LockVertexBuffer(d3d8::D3DLOCK_READONLY, &data) >= 0) {
    std::memcpy(&p, data + static_cast<std::size_t>(i) * d3dx::D3DXGetFVFVertexSize(mesh->GetFVF()), sizeof(p));
    mesh->UnlockVertexBuffer();
  }
  return p;
}

}  // namespace

TEST(BannerCloth, OneTriangleAndSharedEdges) {
  {
    xfile::MeshDesc tri;
    tri.positions = {0, 0, 0, 1, 0, 0, 0, 10, 0};
    tri.faces = {{0, 1, 2}};
    tri.materials.resize(1);
    tri.faceMaterials = {0};
    Model m({{"banner01", tri}});
    BannerCloth cloth;
    ASSERT_EQ(cloth.Build(m.meshes), 1);
    ASSERT_NE(cloth.clothMesh, nullptr);
    EXPECT_EQ(cloth.system.MassCount(), 3);
    EXPECT_EQ(cloth.system.springs.size(), 3u);
    // Shrunk box tops out at y = 9: only the vertex at y = 10 holds.
    int pinned = 0;
    for (const ClothMass& mass : cloth.system.masses) pinned += mass.pinned;
    EXPECT_EQ(pinned, 1);
    EXPECT_EQ(cloth.system.GetMass(2).pinned, 1);
    EXPECT_NEAR(cloth.system.springs[1].restLength, std::sqrt(101.0f), 1e-5f);
    EXPECT_EQ(cloth.system.springs[2].first, 2);
    EXPECT_EQ(cloth.system.springs[2].restLength, 10.0f);
    EXPECT_EQ(cloth.system.springs[0].stiffness, 15.0f);
    EXPECT_EQ(cloth.system.springs[0].damping, 0.1f);
  }
  {
    // A 3 x 3 sheet: 18 faces, 16 vertices; edges 3*4 horizontal + 3*4 vertical + 9 diagonals.
    Model m({{"banner", Sheet(3, 30, 90)}});
    BannerCloth cloth;
    ASSERT_EQ(cloth.Build(m.meshes), 1);
    EXPECT_EQ(cloth.system.MassCount(), 16);
    EXPECT_EQ(cloth.system.springs.size(), 33u);
    int pinned = 0;
    for (const ClothMass& mass : cloth.system.masses) pinned += mass.pinned;
    EXPECT_EQ(pinned, 4);  // the top row
  }
}

TEST(BannerCloth, NoBannerNoCloth) {
  Model m({{"flag", Sheet(1, 1, 1)}});
  BannerCloth cloth;
  EXPECT_EQ(cloth.Build(m.meshes), 0);
  EXPECT_EQ(cloth.Update(0.1f), 0);
  EXPECT_EQ(cloth.clock, 0.0f);
  cloth.Draw(nullptr);
}

TEST(BannerCloth, LongFrameIsOneTenthSecondStepAndPinnedMassesStay) {
  Model m({{"banner", Sheet(4, 40, 80)}});
  BannerCloth cloth;
  ASSERT_EQ(cloth.Build(m.meshes), 1);
  SpringSystem reference = cloth.system;
  ASSERT_EQ(cloth.Update(0.5f), 1);
  EXPECT_NEAR(cloth.clock, 0.1f, 1e-7f);
  const D3DXVECTOR3 w = BannerCloth::WindDirection(0.1f) * BannerCloth::WindStrength(0.1f);
  reference.SetWind(Vec3f{w.x, w.y, w.z});
  reference.Step(0.1f);
  for (int i = 0; i < reference.MassCount(); ++i) {
    EXPECT_FLOAT_EQ(cloth.system.GetMass(i).position.x, reference.GetMass(i).position.x) << i;
    EXPECT_FLOAT_EQ(cloth.system.GetMass(i).position.y, reference.GetMass(i).position.y) << i;
    EXPECT_FLOAT_EQ(cloth.system.GetMass(i).position.z, reference.GetMass(i).position.z) << i;
  }
  // Many seconds of gusts: the free cloth moves, the top row never does.
  for (int i = 0; i < 600; ++i) cloth.Update(1 / 60.0f);
  float moved = 0;
  for (int i = 0; i < cloth.system.MassCount(); ++i) {
    const ClothMass& mass = cloth.system.GetMass(i);
    const Vec3f& start = reference.GetMass(i).position;
    if (mass.pinned) {
      EXPECT_EQ(mass.position.y, 80.0f);
      EXPECT_EQ(mass.velocity.x, 0.0f);
    }
    moved = std::max(moved, std::fabs(mass.position.z - start.z) + std::fabs(mass.position.x - start.x));
    EXPECT_TRUE(std::isfinite(mass.position.x) && std::isfinite(mass.position.y) && std::isfinite(mass.position.z));
  }
  EXPECT_GT(moved, 1.0f);
  // The mesh carries the simulated shape.
  const D3DXVECTOR3 v = VertexPosition(cloth.clothMesh, 0);
  EXPECT_FLOAT_EQ(v.x, cloth.system.GetMass(0).position.x);
  EXPECT_FLOAT_EQ(v.y, cloth.system.GetMass(0).position.y);
}

TEST(BannerCloth, ZClampAffectsDrawingOnly) {
  // The pinned top row sits at z = 5.
  Model m({{"banner", Sheet(2, 20, 40, 5.0f)}});
  BannerCloth cloth;
  ASSERT_EQ(cloth.Build(m.meshes), 1);
  cloth.Update(0.02f);
  const int top = cloth.system.MassCount() - 1;
  ASSERT_EQ(cloth.system.GetMass(top).pinned, 1);
  EXPECT_EQ(cloth.system.GetMass(top).position.z, 5.0f);
  EXPECT_EQ(VertexPosition(cloth.clothMesh, top).z, 2.0f);
}

TEST(BannerCloth, WindRangeAndContinuityAcrossTheWrap) {
  float lo = 1e9f, hi = -1e9f;
  for (float c = 0; c < 200; c += 0.01f) {
    const float s = BannerCloth::WindStrength(c);
    lo = std::min(lo, s);
    hi = std::max(hi, s);
    const D3DXVECTOR3 dir = BannerCloth::WindDirection(c);
    EXPECT_NEAR(d3dx::D3DXVec3Length(&dir), 1.0f, 1e-5f);
  }
  EXPECT_GE(lo, -6.0f);
  EXPECT_LE(hi, 6.0f);
  EXPECT_GT(hi, 4.0f);
  EXPECT_LT(lo, -3.0f);
  // Direction circles the vertical: at clock 0 it points along -x (turned by -pi).
  EXPECT_LT(BannerCloth::WindDirection(0).x, -0.99f);
  // Just before and just after the wrap the wind matches what it was one step earlier.
  Model m({{"banner", Sheet(1, 10, 10)}});
  BannerCloth cloth;
  cloth.Build(m.meshes);
  cloth.clock = BannerCloth::kClockWrap - 0.01f;
  cloth.Update(0.001f);
  const D3DXVECTOR3 before = cloth.windForce;
  cloth.Update(0.02f);
  EXPECT_LT(cloth.clock, 0.02f);
  const D3DXVECTOR3 after = cloth.windForce;
  const D3DXVECTOR3 d = after - before;
  EXPECT_LT(d3dx::D3DXVec3Length(&d), 0.5f);
}

TEST(BannerCloth, EachCopyTurnsToFaceTheRoom) {
  // Wide in x: 0 on the +z side, pi on the -z side. Wide in z: +-pi/2 by the x side.
  scene::BoundingBox wideX, wideZ;
  wideX.Grow(D3DXVECTOR3(-10, 0, -1));
  wideX.Grow(D3DXVECTOR3(10, 40, 1));
  wideZ.Grow(D3DXVECTOR3(-1, 0, -10));
  wideZ.Grow(D3DXVECTOR3(1, 40, 10));
  D3DXMATRIX w;
  d3dx::D3DXMatrixTranslation(&w, 5, 0, 100);
  EXPECT_EQ(BannerCloth::PlaceAngle(wideX, w), 0.0f);
  d3dx::D3DXMatrixTranslation(&w, 5, 0, -100);
  EXPECT_NEAR(BannerCloth::PlaceAngle(wideX, w), 3.1415927f, 1e-6f);
  d3dx::D3DXMatrixTranslation(&w, 100, 0, 0);
  EXPECT_NEAR(BannerCloth::PlaceAngle(wideZ, w), 1.5707964f, 1e-6f);
  d3dx::D3DXMatrixTranslation(&w, -100, 0, 0);
  EXPECT_NEAR(BannerCloth::PlaceAngle(wideZ, w), -1.5707964f, 1e-6f);
  // Three banner frames: all picked, only the first is simulated.
  Model m({{"banner01", Sheet(2, 10, 20)}, {"banner02", Sheet(1, 10, 20)}, {"banner03", Sheet(1, 10, 20)}},
          {At(0, 0, 100), At(100, 0, 0), At(0, 0, -100)});
  BannerCloth cloth;
  EXPECT_EQ(cloth.Build(m.meshes), 3);
  EXPECT_EQ(cloth.system.MassCount(), 9);
}
