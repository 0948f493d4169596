#include "effects/banner_cloth.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "effects/effect_meshes.h"
#include "effects/stage_states.h"

namespace effects {

using namespace d3d8;
using d3dx::D3DXMATRIX;
using d3dx::D3DXVECTOR3;
using d3dx::D3DX_PI;
using scene::BoundingBox;

namespace {

float Wrap(float x) { return std::fmod(x, 2 * D3DX_PI); }
}  // namespace

BannerCloth::BannerCloth() {
  system.useGravity = 1;
  system.gravity = Vec3f{0, -2, 0};
  system.useWind = 1;
}

int BannerCloth::Build(std::vector<scene::SceneMesh>& meshes) {
  banners.clear();
  bannerBoxes_.clear();
  clothMesh = nullptr;
  for (scene::SceneMesh& m : meshes) {
    if (!FrameNameContains(m, "banner")) continue;
    banners.push_back(&m);
    bannerBoxes_.push_back(LocalBox(m));
  }
  if (banners.empty()) return 0;
  scene::MeshContainer* c = banners[0]->container();
  if (c && c->mesh && !c->skinInfo) BuildFromMesh(c->mesh);
  return static_cast<int>(banners.size());
}

void BannerCloth::BuildFromMesh(d3dx::ID3DXMesh* mesh) {
  system.Clear();
  const DWORD stride = d3dx::D3DXGetFVFVertexSize(mesh->GetFVF());
  const DWORD vertexCount = mesh->GetNumVertices();
  const DWORD faceCount = mesh->GetNumFaces();
  const bool wide = (mesh->GetOptions() & d3dx::D3DXMESH_32BIT) != 0;
  if (stride < 12) return;

  std::vector<D3DXVECTOR3> positions(vertexCount);
  std::vector<DWORD> indices(static_cast<std::size_t>(faceCount) * 3);
  std::vector<DWORD> adjacency(static_cast<std::size_t>(faceCount) * 3);
  BYTE* data = nullptr;
  if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &data)) || !data) return;
  for (DWORD i = 0; i < vertexCount; ++i)
    std::memcpy(&positions[i], data + static_cast<std::size_t>(i) * stride, sizeof(D3DXVECTOR3));
  mesh->UnlockVertexBuffer();
  data = nullptr;
  if (FAILED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &data)) || !data) return;
  for (std::size_t i = 0; i < indices.size(); ++i) {
    if (wide) {
      std::uint32_t v;
      std::memcpy(&v, data + i * 4, 4);
      indices[i] = v;
    } else {
      std::uint16_t v;
      std::memcpy(&v, data + i * 2, 2);
      indices[i] = v;
    }
  }
  mesh->UnlockIndexBuffer();
  if (FAILED(mesh->GenerateAdjacency(0.0f, adjacency.data()))) return;

  // Edges in face order; a shared edge is taken once, by the face with the lower index.
  std::vector<std::pair<DWORD, DWORD>> edges;
  for (DWORD f = 0; f < faceCount; ++f) {
    for (int k = 0; k < 3; ++k) {
      const DWORD g = adjacency[f * 3 + static_cast<DWORD>(k)];
      if (g == 0xFFFFFFFFu || f < g) edges.emplace_back(indices[f * 3 + static_cast<DWORD>(k)],
                                                         indices[f * 3 + static_cast<DWORD>((k + 1) % 3)]);
    }
  }
  // A corrupt index would reach past the masses; such a mesh gets no cloth.
  for (const auto& e : edges)
    if (e.first >= vertexCount || e.second >= vertexCount) return;

  BoundingBox box;
  for (const D3DXVECTOR3& p : positions) {
    system.AddMass(Vec3f{p.x, p.y, p.z}, 1.0f, false);
    box.Grow(p);
  }
  // The masses in the top tenth of the height hold the cloth.
  box.ScaleAboutCentre(0.8f);
  for (int i = 0; i < system.MassCount(); ++i)
    if (system.GetMass(i).position.y > box.max.y) system.GetMass(i).pinned = 1;
  for (const auto& e : edges) {
    const D3DXVECTOR3 d = positions[e.second] - positions[e.first];
    ClothSpring s;
    s.first = static_cast<std::int32_t>(e.first);
    s.second = static_cast<std::int32_t>(e.second);
    s.restLength = d3dx::D3DXVec3Length(&d);
    s.stiffness = 15.0f;
    s.damping = 0.1f;
    s.kind = 3;
    system.AddSpring(s);
  }
  clothMesh = mesh;
}

float BannerCloth::WindStrength(float c) {
  return 5 * std::sin(Wrap(c / 0.7f)) * std::max(0.0f, std::cos(Wrap(c / 0.3f))) + std::cos(Wrap(c / 0.9f));
}

D3DXVECTOR3 BannerCloth::WindDirection(float c) {
  D3DXMATRIX r;
  d3dx::D3DXMatrixRotationY(&r, Wrap(c / 1.7f) - D3DX_PI);
  const D3DXVECTOR3 base{1.0f, 0.1f, 0};
  D3DXVECTOR3 d, n;
  d3dx::D3DXVec3TransformNormal(&d, &base, &r);
  d3dx::D3DXVec3Normalize(&n, &d);
  return n;
}

int BannerCloth::Update(float dt) {
  if (!clothMesh) return 0;
  dt = std::min(dt, 0.1f);
  clock += dt;
  if (clock > kClockWrap) clock -= kClockWrap;
  windForce = WindDirection(clock) * WindStrength(clock);
  system.SetWind(Vec3f{windForce.x, windForce.y, windForce.z});
  system.Step(dt);

  const DWORD stride = d3dx::D3DXGetFVFVertexSize(clothMesh->GetFVF());
  const DWORD n = std::min<DWORD>(clothMesh->GetNumVertices(), static_cast<DWORD>(system.MassCount()));
  BYTE* data = nullptr;
  if (SUCCEEDED(clothMesh->LockVertexBuffer(0, &data)) && data) {
    for (DWORD i = 0; i < n; ++i) {
      Vec3f p = system.GetMass(static_cast<int>(i)).position;
      p.z = std::min(p.z, kMaxDrawnZ);
      std::memcpy(data + static_cast<std::size_t>(i) * stride, &p, sizeof(p));
    }
    clothMesh->UnlockVertexBuffer();
  }
  return 1;
}

void BannerCloth::SetCellVisibility(const scene::ViewFrustum& frustum) {
  for (scene::SceneMesh* b : banners)
    if (b->container()) scene::Cull(*b, frustum);
}

void BannerCloth::SetAllVisible(int flag) {
  for (scene::SceneMesh* b : banners)
    if (b->container()) scene::SetAllVisibleFlags(*b, flag);
}

float BannerCloth::PlaceAngle(const BoundingBox& localBox, const D3DXMATRIX& world) {
  const D3DXVECTOR3& m = localBox.max;
  const D3DXVECTOR3 p = Translation(world);
  if (m.x >= m.z) return p.z > 0 ? 0.0f : D3DX_PI;
  return p.x > 0 ? 1.5707964f : -1.5707964f;
}

void BannerCloth::Draw(IDirect3DDevice8* device) {
  if (!device || banners.empty()) return;
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  SetModulateStage0(device);
  SetStageSampling(device, 0, kMeshSampling);
  D3DXMATRIX saved;
  device->GetTransform(D3DTS_WORLD, &saved);
  scene::SceneMesh& first = *banners[0];
  for (std::size_t j = 0; j < banners.size(); ++j) {
    scene::MeshContainer* c = banners[j]->container();
    if (!c) continue;
    bool anyVisible = false;
    for (std::int32_t f : c->visibleFlags) anyVisible = anyVisible || f != 0;
    if (!anyVisible) continue;
    D3DXMATRIX r, w;
    d3dx::D3DXMatrixRotationY(&r, PlaceAngle(bannerBoxes_[j], banners[j]->frame->world));
    d3dx::D3DXMatrixMultiply(&w, &r, &banners[j]->frame->world);
    device->SetTransform(D3DTS_WORLD, &w);
    if (first.container()) {
      scene::SetAllVisibleFlags(first, 1);
      scene::DrawWithOptions(first, device, true, true, nullptr);
    }
  }
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  device->SetTransform(D3DTS_WORLD, &saved);
}

}  // namespace effects
