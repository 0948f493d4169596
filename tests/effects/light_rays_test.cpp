// Light rays: the grid under the cage's box, the billboard that keeps hanging straight down
// from every view, and a model without a cage.
#include <gtest/gtest.h>

#include <cmath>

#include "../model/model_test_util.h"
#include "effects/light_rays.h"

using namespace effects;
using namespace scene_test;
using d3dx::D3DXMATRIX;
using d3dx::D3DXVECTOR3;

namespace {

struct CageModel {
  scene::ModelFile model;
  std::vector<scene::SceneMesh> meshes;
  explicit CageModel(const char* name) {
    xfile::Writer w;
    xfile::WriteObject& root = w.AddFrame("Scene_Root", kIdentity);
    // A 120 x 60 (x by z) cage, 10 high, top at y = 400.
    xfile::WriteMesh(xfile::Writer::AddFrame(root, name, kIdentity),
                     Triangles({{-60, 390, -30, 60, 390, -30, 60, 400, 30}}, {0}, 1));
    EXPECT_EQ(Load(model, Save(w)), 0);
    scene::CollectSceneMeshes(model, nullptr, meshes);
  }
};

D3DXMATRIX View(D3DXVECTOR3 eye, D3DXVECTOR3 at, D3DXVECTOR3 up) {
  D3DXMATRIX v;
  d3dx::D3DXMatrixLookAtLH(&v, &eye, &at, &up);
  return v;
}

}  // namespace

TEST(LightRays, GridUnderTheCageBox) {
  CageModel m("ceil_cage01");
  LightRays rays("ray.jpg");
  ASSERT_EQ(rays.FindCage(m.meshes), 1);
  // 20 apart along x and 10 along z, the first 10 and 5 in from the edges, on the top face.
  const D3DXVECTOR3 first = rays.RayPoint(0, 0);
  EXPECT_NEAR(first.x, -50, 1e-4f);
  EXPECT_NEAR(first.y, 400, 1e-4f);
  EXPECT_NEAR(first.z, -25, 1e-4f);
  const D3DXVECTOR3 next = rays.RayPoint(1, 1);
  EXPECT_NEAR(next.x - first.x, 20, 1e-4f);
  EXPECT_NEAR(next.z - first.z, 10, 1e-4f);
  const D3DXVECTOR3 last = rays.RayPoint(5, 5);
  EXPECT_NEAR(last.x, 50, 1e-4f);
  EXPECT_NEAR(last.z, 25, 1e-4f);
}

TEST(LightRays, NoCageNoRays) {
  CageModel m("ceiling");
  LightRays rays("ray.jpg");
  EXPECT_EQ(rays.FindCage(m.meshes), 0);
  EXPECT_EQ(rays.cage, nullptr);
  rays.Draw();  // no device and no cage: nothing happens
}

TEST(LightRays, BillboardHangsStraightDownFromEveryView) {
  const D3DXVECTOR3 at{0, 200, 0};
  const struct {
    D3DXVECTOR3 eye, up;
  } views[] = {
      {{0, 200, -300}, {0, 1, 0}},      // level
      {{100, 50, -300}, {0, 1, 0}},     // from below, oblique
      {{-200, 500, 100}, {0, 1, 0}},    // from above
      {{0, -100, 0}, {0, 0, 1}},        // straight up from below
      {{30, -100, 40}, {0.3f, 0, 1}},   // nearly straight up, rolled
  };
  for (const auto& v : views) {
    const D3DXMATRIX view = View(v.eye, at, v.up);
    const D3DXMATRIX b = LightRays::VerticalBillboard(view);
    // Local y maps to world up; the matrix stays a rotation.
    EXPECT_NEAR(b.m[1][0], 0, 1e-4f);
    EXPECT_NEAR(b.m[1][1], 1, 1e-4f);
    EXPECT_NEAR(b.m[1][2], 0, 1e-4f);
    EXPECT_NEAR(std::fabs(d3dx::D3DXMatrixfDeterminant(&b)), 1, 1e-4f);
    // The quad's plane contains the vertical and faces the camera's horizontal direction:
    // its normal (local z) is horizontal and at most 90 degrees from the view direction.
    const D3DXVECTOR3 normal{b.m[2][0], b.m[2][1], b.m[2][2]};
    EXPECT_NEAR(normal.y, 0, 1e-4f);
    D3DXVECTOR3 look = at - v.eye;
    look.y = 0;
    if (d3dx::D3DXVec3Length(&look) > 1) {
      EXPECT_GT(d3dx::D3DXVec3Dot(&normal, &look), 0);
    }
  }
}
