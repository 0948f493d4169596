// The skinned draw through the device's vertex blending against the same model skinned on
// the CPU and drawn as plain triangles (offscreen GL).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/d3d8/d3d8.h"
#include "model/model_file.h"
#include "model/scene_mesh.h"
#include "support/offscreen_device.h"

using namespace scene;
using namespace d3d8;

namespace {

constexpr UINT kSize = 96;

MeshContainer* FindSkinned(Frame* f) {
  for (; f; f = f->sibling) {
    if (f->meshes && f->meshes->skinInfo) return f->meshes;
    if (MeshContainer* c = FindSkinned(f->firstChild)) return c;
  }
  return nullptr;
}

// Pixels whose colour differs by more than 8 in any channel.
int Differing(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  int n = 0;
  for (std::size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4)
    for (int c = 0; c < 3; ++c)
      if (std::abs(a[i + static_cast<std::size_t>(c)] - b[i + static_cast<std::size_t>(c)]) > 8) {
        ++n;
        break;
      }
  return n;
}

int Lit(const std::vector<std::uint8_t>& a) {
  int n = 0;
  for (std::size_t i = 0; i + 3 < a.size(); i += 4)
    if (a[i] > 128) ++n;
  return n;
}

// Skins every face of the blended mesh on the CPU with the bone matrices of its combination.
std::vector<float> CpuSkinned(MeshContainer* c) {
  std::vector<float> out;
  d3dx::ID3DXMesh* m = c->mesh;
  BYTE *vb = nullptr, *ib = nullptr;
  m->LockVertexBuffer(D3DLOCK_READONLY, &vb);
  m->LockIndexBuffer(D3DLOCK_READONLY, &ib);
  UINT stride = d3dx::FVFVertexSize(m->GetFVF());
  bool wide = (m->GetOptions() & d3dx::D3DXMESH_32BIT) != 0;
  const auto* bc = c->BoneCombinations();
  for (DWORD i = 0; i < c->subsetCount; ++i) {
    D3DXMATRIX mats[4];
    const D3DXMATRIX* ptrs[4] = {};
    for (DWORD k = 0; k < c->maxFaceInfluences; ++k) {
      DWORD bone = bc[i].BoneId[k];
      if (bone == d3dx::UNUSED32) continue;
      d3dx::D3DXMatrixMultiply(&mats[k], c->BoneOffset(bone), c->boneMatrixPointers[bone]);
      ptrs[k] = &mats[k];
    }
    for (DWORD f = bc[i].FaceStart; f < bc[i].FaceStart + bc[i].FaceCount; ++f)
      for (int k = 0; k < 3; ++k) {
        std::size_t at = static_cast<std::size_t>(f) * 3 + static_cast<std::size_t>(k);
        DWORD v;
        if (wide) {
          std::memcpy(&v, ib + at * 4, 4);
        } else {
          std::uint16_t s;
          std::memcpy(&s, ib + at * 2, 2);
          v = s;
        }
        const auto* vert = reinterpret_cast<const float*>(vb + static_cast<std::size_t>(v) * stride);
        D3DXVECTOR3 p = d3dx::BlendPosition(vert, m->GetFVF(), ptrs, c->maxFaceInfluences);
        out.insert(out.end(), {p.x, p.y, p.z});
      }
  }
  m->UnlockIndexBuffer();
  m->UnlockVertexBuffer();
  return out;
}

}  // namespace

TEST(SkinnedRender, BlendedDrawMatchesCpuSkinning) {
  testsupport::OffscreenDevice d(kSize, kSize);
  ASSERT_NE(d.dev, nullptr);
  IDirect3DDevice8* dev = d.dev;
  ModelFile model((std::string(HOARDEL_TESTDATA_DIR) + "/x/tiny.x").c_str());
  ASSERT_EQ(model.AttachDevice(dev), 0);
  MeshContainer* c = FindSkinned(model.currentModel()->root);
  ASSERT_NE(c, nullptr);
  D3DXMATRIX identity;
  d3dx::D3DXMatrixIdentity(&identity);
  model.Advance(0.7f);
  model.UpdateWorldMatrices(identity);
  std::vector<float> bindPose = CpuSkinned(c);
  // Bend the spine so the pose differs clearly from the file's.
  Frame* spine = model.FindFrame("Bip01_Spine1", MatchMode::Exact);
  ASSERT_NE(spine, nullptr);
  D3DXMATRIX bend;
  d3dx::D3DXMatrixRotationZ(&bend, 1.2f);
  d3dx::D3DXMatrixMultiply(&spine->local, &bend, &spine->local);
  model.UpdateWorldMatrices(identity);

  // Frame the skinned figure as drawn.
  std::vector<float> bent = CpuSkinned(c);
  BoundingBox box;
  for (std::size_t i = 0; i + 2 < bent.size(); i += 3) box.Grow(D3DXVECTOR3(bent[i], bent[i + 1], bent[i + 2]));
  D3DXVECTOR3 centre = box.Centre();
  float r = box.LargestExtent() * 0.5f;
  D3DXVECTOR3 eye(centre.x, centre.y - 2.4f * r, centre.z), up(0, 0, 1);
  D3DXMATRIX view, proj;
  d3dx::D3DXMatrixLookAtLH(&view, &eye, &centre, &up);
  d3dx::D3DXMatrixPerspectiveFovLH(&proj, 0.9f, 1.0f, r * 0.1f, r * 10.0f);
  dev->SetTransform(D3DTS_VIEW, &view);
  dev->SetTransform(D3DTS_PROJECTION, &proj);
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  dev->SetRenderState(D3DRS_ZENABLE, TRUE);

  auto drawCpu = [&](const std::vector<float>& tris) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    dev->BeginScene();
    dev->SetTransform(D3DTS_WORLD, &identity);
    dev->SetRenderState(D3DRS_VERTEXBLEND, 0);
    dev->SetTexture(0, nullptr);
    dev->SetVertexShader(D3DFVF_XYZ);
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(tris.size() / 9), tris.data(), 12), D3D_OK);
    dev->EndScene();
    return d.Frame();
  };

  dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  dev->BeginScene();
  ASSERT_EQ(DrawContainer(dev, c), D3D_OK);
  dev->EndScene();
  std::vector<std::uint8_t> gpu = d.Frame();
  DWORD blend = 99;
  dev->GetRenderState(D3DRS_VERTEXBLEND, &blend);
  EXPECT_EQ(blend, 0u);

  std::vector<std::uint8_t> cpu = drawCpu(bent);
  std::vector<std::uint8_t> unbent = drawCpu(bindPose);
  const int pixels = static_cast<int>(kSize * kSize);
  EXPECT_GT(Lit(gpu), pixels / 20);
  EXPECT_LT(Differing(gpu, cpu), pixels / 200);
  // The comparison is sensitive to the bones: the unbent pose differs visibly.
  EXPECT_GT(Differing(gpu, unbent), pixels / 50);
}
