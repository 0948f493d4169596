// Scene meshes: collection, cell division (sizes 0 and tiny ranges, the 5 % overlap, the
// first-cell rule, the merge rule), corner updates and the frustum box test.
#include <gtest/gtest.h>

#include "model_test_util.h"
#include "model/scene_mesh.h"

using namespace scene;
using namespace scene_test;

namespace {

struct Fixture {
  ModelFile model;
  std::vector<SceneMesh> meshes;
  explicit Fixture(const xfile::MeshDesc& d, const char* frame = "m") {
    xfile::Writer w;
    xfile::WriteMesh(w.AddFrame(frame, kIdentity), d);
    EXPECT_EQ(Load(model, Save(w)), 0);
    CollectSceneMeshes(model, nullptr, meshes);
  }
  SceneMesh& mesh() { return meshes.at(0); }
};

std::vector<float> Tri(float ax, float ay, float az, float bx, float by, float bz, float cx, float cy, float cz) {
  return {ax, ay, az, bx, by, bz, cx, cy, cz};
}

}  // namespace

TEST(BoundingBox, Operations) {
  BoundingBox b;
  EXPECT_EQ(b.min.x, 99999.0f);
  EXPECT_EQ(b.max.z, -99999.0f);
  b.Grow(D3DXVECTOR3(1, 2, 3));
  b.Grow(D3DXVECTOR3(-1, 4, 0));
  EXPECT_EQ(b.min, D3DXVECTOR3(-1, 2, 0));
  EXPECT_EQ(b.max, D3DXVECTOR3(1, 4, 3));
  EXPECT_EQ(b.LargestExtent(), 3.0f);
  EXPECT_EQ(b.Volume(), 12.0f);
  EXPECT_TRUE(b.Contains(D3DXVECTOR3(1, 2, 3)));  // bounds included
  EXPECT_FALSE(b.Contains(D3DXVECTOR3(1.001f, 2, 3)));
  b.ScaleAboutCentre(2);
  EXPECT_EQ(b.min, D3DXVECTOR3(-2, 1, -1.5f));
  EXPECT_EQ(b.max, D3DXVECTOR3(2, 5, 4.5f));
  b.Translate(D3DXVECTOR3(1, 1, 1));
  EXPECT_EQ(b.Centre(), D3DXVECTOR3(1, 4, 2.5f));
  EXPECT_EQ(b.Corner(5), D3DXVECTOR3(3, 2, 5.5f));
}

TEST(SceneMesh, CollectsMeshFramesInLoaderOrderWithFilter) {
  xfile::Writer w;
  xfile::WriteObject& root = w.AddFrame("Scene_Root", kIdentity);
  for (const char* n : {"floor", "wall01", "wall02", "dome"})
    xfile::WriteMesh(xfile::Writer::AddFrame(root, n, kIdentity), Triangles({Tri(0, 0, 0, 1, 0, 0, 0, 1, 0)}, {0}, 1));
  xfile::Writer::AddFrame(root, "empty", kIdentity);
  ModelFile m;
  ASSERT_EQ(Load(m, Save(w)), 0);
  std::vector<SceneMesh> list;
  ASSERT_EQ(CollectSceneMeshes(m, nullptr, list), 4);
  std::vector<std::string> names;
  for (auto& s : list) names.push_back(s.frame->name);
  EXPECT_EQ(names, (std::vector<std::string>{"floor", "dome", "wall02", "wall01"}));
  EXPECT_EQ(CollectSceneMeshes(m, "wall", list), 2);
  EXPECT_EQ(CollectSceneMeshes(m, "Wall", list), 0);
}

TEST(SceneMesh, CellSizeZeroAndSmallRangesKeepOneCellPerMaterial) {
  xfile::MeshDesc d = Triangles({Tri(0, 0, 0, 10, 0, 0, 0, 10, 0), Tri(0, 0, 5, 1, 0, 5, 0, 1, 6),
                                 Tri(20, 0, 0, 21, 0, 0, 20, 1, 0)},
                                {1, 0, 1}, 2);
  {
    Fixture f(d);
    ASSERT_EQ(DivideIntoCells(f.mesh(), 0.0f), 2);
    const auto& cells = f.mesh().cells;
    EXPECT_EQ(cells[0].material, 0);
    EXPECT_EQ(cells[0].faceCount, 1);
    EXPECT_EQ(cells[0].box.min, D3DXVECTOR3(0, 0, 5));
    EXPECT_EQ(cells[0].box.max, D3DXVECTOR3(1, 1, 6));
    EXPECT_EQ(cells[1].material, 1);
    EXPECT_EQ(cells[1].faceCount, 2);
    EXPECT_EQ(cells[1].box.max, D3DXVECTOR3(21, 10, 0));
    EXPECT_EQ(f.mesh().box.min, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(f.mesh().box.max, D3DXVECTOR3(21, 10, 6));
    MeshContainer* c = f.mesh().container();
    EXPECT_EQ(c->subsetCount, 2u);
    EXPECT_EQ(c->subsetMaterialIndex, (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(c->visibleFlags, (std::vector<std::int32_t>{1, 1}));
    // Faces were renumbered by cell.
    DWORD* attr = nullptr;
    c->mesh->LockAttributeBuffer(d3d8::D3DLOCK_READONLY, &attr);
    EXPECT_EQ(attr[0], 0u);
    EXPECT_EQ(attr[1], 1u);
    EXPECT_EQ(attr[2], 1u);
    c->mesh->UnlockAttributeBuffer();
  }
  {
    // Largest extent 21 is below 1.5 x 15: one cell per material even with a size.
    Fixture f(d);
    EXPECT_EQ(DivideIntoCells(f.mesh(), 15.0f), 2);
  }
}

TEST(SceneMesh, FacesGoToTheFirstCellHoldingAVertexWithFivePercentOverlap) {
  // Range x 0..4 with cell size 1 -> 4 x 1 x 1 cells along x.
  xfile::MeshDesc d = Triangles({Tri(0, 0, 0, 0.1f, 0, 0, 0, 0.1f, 0.1f),          // cell 0
                                 Tri(1.02f, 0, 0, 1.5f, 0, 0, 1.5f, 0.1f, 0),       // 1.02 lies in cell 0's overlap
                                 Tri(2.5f, 0, 0, 3.9f, 0, 0, 2.5f, 0.1f, 0.1f),     // across cells 2 and 3
                                 Tri(3.7f, 0, 0, 4, 0, 0, 4, 0.1f, 0.9f)},          // cell 3, too tall to merge
                                {0, 0, 0, 0}, 1);
  Fixture f(d);
  // The range box 0..4 x 0..0.1 x 0..0.9 becomes 4 x 1 x 1 cells of size 1 centred on it.
  ASSERT_EQ(DivideIntoCells(f.mesh(), 1.0f), 3);
  const auto& cells = f.mesh().cells;
  EXPECT_EQ(cells[0].faceCount, 2);  // the first two faces
  EXPECT_EQ(cells[0].box.max.x, 1.5f);  // grown by all vertices of its faces
  EXPECT_EQ(cells[1].faceCount, 1);  // the face across cells 2 and 3
  EXPECT_EQ(cells[1].box.min.x, 2.5f);
  EXPECT_EQ(cells[1].box.max.x, 3.9f);
  EXPECT_EQ(cells[2].faceCount, 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(cells[i].id, i);
}

TEST(SceneMesh, AFineGridOverFewFacesIsNotWalkedCellByCell) {
  // Cells of 0.001 over a range 100 wide: 10^5 x 10^5 x 1 cells, all but two empty (a fuzzed
  // model with a tiny radius spent seconds, finer ones hours, visiting every cell).
  xfile::MeshDesc d = Triangles({Tri(0, 0, 0, 0.0005f, 0, 0, 0, 0.0005f, 0), Tri(100, 100, 0, 99.9995f, 100, 0, 100, 99.9995f, 0)},
                                {0, 0}, 1);
  Fixture f(d);
  ASSERT_EQ(DivideIntoCells(f.mesh(), 0.001f), 2);
  const auto& cells = f.mesh().cells;
  EXPECT_EQ(cells[0].faceCount, 1);
  EXPECT_EQ(cells[0].box.max, D3DXVECTOR3(0.0005f, 0.0005f, 0));
  EXPECT_EQ(cells[1].faceCount, 1);
  EXPECT_EQ(cells[1].box.min, D3DXVECTOR3(99.9995f, 99.9995f, 0));
}

TEST(SceneMesh, CompactCellsOfOneMaterialMerge) {
  // Two blocks with 3D extent, cell size 0.7: the second block is thin in x.
  auto blocks = [](float x0, float x1, int m2) {
    return Triangles({Tri(0, 0, 0, 0.9f, 0, 0.9f, 0, 0.9f, 0.9f), Tri(x0, 0, 0, x1, 0.9f, 0, x0, 0.9f, 0.9f)},
                     {0, static_cast<std::uint32_t>(m2)}, 2);
  };
  {
    // Union grows the thin block's extent by 22 % but its volume 11-fold: only the reverse
    // direction (the thin block into the cube, +22 % extent, +22 % volume) merges.
    Fixture f(blocks(1.0f, 1.1f, 0));
    ASSERT_EQ(DivideIntoCells(f.mesh(), 0.7f), 1);
    EXPECT_EQ(f.mesh().cells[0].faceCount, 2);
    EXPECT_EQ(f.mesh().cells[0].box.max.x, 1.1f);
    EXPECT_EQ(f.mesh().container()->subsetCount, 1u);
  }
  {
    // Extent grows by 56 %: no merge.
    Fixture f(blocks(1.3f, 1.4f, 0));
    ASSERT_EQ(DivideIntoCells(f.mesh(), 0.7f), 2);
  }
  {
    // Different materials never merge (and the ranges are divided apart).
    Fixture f(blocks(1.0f, 1.1f, 1));
    EXPECT_EQ(DivideIntoCells(f.mesh(), 0.7f), 2);
  }
}

TEST(SceneMesh, CornersFollowTheWorldMatrixOnlyWhenItChanges) {
  Fixture f(Triangles({Tri(0, 0, 0, 1, 0, 0, 0, 1, 1)}, {0}, 1));
  ASSERT_EQ(DivideIntoCells(f.mesh(), 0.0f), 1);
  MeshCell& cell = f.mesh().cells[0];
  EXPECT_EQ(cell.corners[7], D3DXVECTOR3(1, 1, 1));
  D3DXMATRIX t;
  d3dx::D3DXMatrixTranslation(&t, 5, 0, 0);
  f.mesh().frame->world = t;
  UpdateCorners(f.mesh());
  EXPECT_EQ(cell.corners[7], D3DXVECTOR3(6, 1, 1));
  EXPECT_EQ(f.mesh().lastWorld, t);
  // Unchanged matrix: the corners are left alone.
  cell.corners[7] = D3DXVECTOR3(0, 0, 0);
  UpdateCorners(f.mesh());
  EXPECT_EQ(cell.corners[7], D3DXVECTOR3(0, 0, 0));
  // Skinned or missing meshes are not divided.
  SceneMesh none;
  EXPECT_EQ(DivideIntoCells(none, 1.0f), 0);
}

TEST(ViewFrustum, BoxesBehindAPlaneAreCulled) {
  ViewFrustum fr;
  D3DXMATRIX view, proj;
  d3dx::D3DXMatrixIdentity(&view);
  d3dx::D3DXMatrixPerspectiveFovLH(&proj, 1.5707963f, 1.0f, 1.0f, 100.0f);
  ComputeFrustumPlanes(fr, view, proj);
  for (const auto& p : fr.planes) EXPECT_NEAR(p.a * p.a + p.b * p.b + p.c * p.c, 1.0f, 1e-5f);
  auto visible = [&](D3DXVECTOR3 lo, D3DXVECTOR3 hi) {
    BoundingBox b;
    b.Grow(lo);
    b.Grow(hi);
    D3DXVECTOR3 c[8];
    for (int i = 0; i < 8; ++i) c[i] = b.Corner(i);
    return BoxVisible(fr, c);
  };
  EXPECT_EQ(visible({-1, -1, 10}, {1, 1, 11}), 1);
  EXPECT_EQ(visible({-1, -1, -5}, {1, 1, -4}), 0);      // behind the near plane
  EXPECT_EQ(visible({-1, -1, 150}, {1, 1, 160}), 0);    // beyond the far plane
  EXPECT_EQ(visible({-30, -1, 9}, {-20, 1, 10}), 0);    // left of the frustum
  EXPECT_EQ(visible({-20, -1, 9}, {0, 1, 10}), 1);      // crossing the left plane
  EXPECT_EQ(visible({-1, 12, 9}, {1, 13, 10}), 0);      // above
  EXPECT_EQ(visible({-1, -1, 0.5f}, {1, 1, 1.5f}), 1);  // crossing the near plane

  // Culling writes the cells' flags.
  Fixture f(Triangles({Tri(-1, -1, 10, 1, -1, 10, 0, 1, 11), Tri(-1, -1, -10, 1, -1, -10, 0, 1, -9)}, {0, 1}, 2));
  ASSERT_EQ(DivideIntoCells(f.mesh(), 0.0f), 2);
  Cull(f.mesh(), fr);
  EXPECT_EQ(f.mesh().container()->visibleFlags, (std::vector<std::int32_t>{1, 0}));
  SetAllVisibleFlags(f.mesh(), 1);
  EXPECT_EQ(f.mesh().container()->visibleFlags, (std::vector<std::int32_t>{1, 1}));
}
