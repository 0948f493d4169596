#include "effects/effect_meshes.h"

#include <cstring>

#include "effects/stage_states.h"

namespace effects {

using namespace d3d8;

using d3dx::D3DXMATRIX;
using d3dx::D3DXVECTOR3;
using scene::BoundingBox;

BoundingBox LocalBox(const scene::SceneMesh& mesh) {
  if (mesh.box.min.x <= mesh.box.max.x) return mesh.box;
  BoundingBox box;
  scene::MeshContainer* c = mesh.container();
  if (!c || !c->mesh) return box;
  d3dx::ID3DXMesh* m = c->mesh;
  const DWORD stride = d3dx::D3DXGetFVFVertexSize(m->GetFVF());
  const DWORD n = m->GetNumVertices();
  BYTE* data = nullptr;
  if (stride < 12 || FAILED(m->LockVertexBuffer(D3DLOCK_READONLY, &data)) || !data) return box;
  for (DWORD i = 0; i < n; ++i) {
    D3DXVECTOR3 p;
    std::memcpy(&p, data + static_cast<std::size_t>(i) * stride, sizeof(p));
    box.Grow(p);
  }
  m->UnlockVertexBuffer();
  return box;
}

BoundingBox TransformBox(const BoundingBox& box, const D3DXMATRIX& m) {
  BoundingBox out;
  for (int i = 0; i < 8; ++i) {
    D3DXVECTOR3 c = box.Corner(i), w;
    d3dx::D3DXVec3TransformCoord(&w, &c, &m);
    out.Grow(w);
  }
  return out;
}

bool FrameNameContains(const scene::SceneMesh& mesh, const char* text) {
  return mesh.frame && mesh.frame->name.find(text) != std::string::npos;
}

D3DXMATRIX BillboardFromView(const D3DXMATRIX& view) {
  D3DXMATRIX rotation = view;
  rotation.m[3][0] = rotation.m[3][1] = rotation.m[3][2] = 0;
  D3DXMATRIX billboard;
  if (!d3dx::D3DXMatrixInverse(&billboard, nullptr, &rotation)) d3dx::D3DXMatrixIdentity(&billboard);
  return billboard;
}

void SetAdditiveTexturedStates(d3d8::IDirect3DDevice8* device, d3d8::IDirect3DTexture8* texture) {
  using namespace d3d8;
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  SetModulateStage0(device);
  SetStageSampling(device, 0, kSpriteSampling);
  device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  device->SetTexture(0, texture);
}

}  // namespace effects
