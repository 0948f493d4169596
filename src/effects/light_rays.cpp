#include "effects/light_rays.h"

#include <algorithm>
#include <cmath>

#include "effects/effect_meshes.h"
#include "platform/d3dx/d3dx_texture.h"

namespace effects {

using namespace d3d8;
using d3dx::D3DXMATRIX;
using d3dx::D3DXVECTOR3;

LightRays::LightRays(const char* name) : textureName(name ? std::string(name).substr(0, 511) : std::string()) {
  // 40 units wide at the top, 80 units wide 300 units below. Alpha 36 (not 50): seen from
  // across the room the 36 rays lie one behind another and their sum washed the far wall white.
  const float pos[4][3] = {{-40, -300, 0}, {-20, 0, 0}, {40, -300, 0}, {20, 0, 0}};
  const float uv[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};
  for (int i = 0; i < 4; ++i)
    quad[i] = ParticleVertex{pos[i][0], pos[i][1], pos[i][2], 0, 0, -1, 0x24FAC8C8u, uv[i][0], uv[i][1]};
}

LightRays::~LightRays() { ReleaseTexture(); }

HRESULT LightRays::LoadTexture(IDirect3DDevice8* dev) {
  device = dev;
  ReleaseTexture();
  if (textureCallback) {
    textureCallback(dev, textureName.c_str(), &texture);
  } else {
    constexpr DWORD kFilter = d3dx::D3DX_FILTER_TRIANGLE | d3dx::D3DX_FILTER_MIRROR;
    d3dx::D3DXCreateTextureFromFileExA(dev, textureName.c_str(), d3dx::D3DX_DEFAULT, d3dx::D3DX_DEFAULT,
                                       d3dx::D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, kFilter, kFilter, 0,
                                       nullptr, nullptr, &texture);
  }
  return 0;
}

void LightRays::ReleaseTexture() {
  if (texture) {
    texture->Release();
    texture = nullptr;
  }
}

int LightRays::FindCage(std::vector<scene::SceneMesh>& meshes) {
  cage = nullptr;
  for (scene::SceneMesh& m : meshes) {
    if (FrameNameContains(m, "ceil_cage")) {
      cage = &m;
      cageBox_ = LocalBox(m);
      return 1;
    }
  }
  return 0;
}

D3DXMATRIX LightRays::VerticalBillboard(const D3DXMATRIX& view) {
  D3DXMATRIX b = BillboardFromView(view);
  const D3DXVECTOR3 down{0, -1, 0};
  D3DXVECTOR3 c;
  d3dx::D3DXVec3TransformNormal(&c, &down, &b);
  d3dx::D3DXVec3Normalize(&c, &c);
  D3DXVECTOR3 axis;
  d3dx::D3DXVec3Cross(&axis, &c, &down);
  const float cosAngle = std::clamp(d3dx::D3DXVec3Dot(&c, &down), -1.0f, 1.0f);
  const float angle = std::acos(cosAngle);
  if (d3dx::D3DXVec3Length(&axis) < 1e-6f) {
    // Already hanging straight (nothing to do) or upside down (half a turn about x).
    if (cosAngle > 0) return b;
    axis = D3DXVECTOR3(1, 0, 0);
  }
  d3dx::D3DXVec3Normalize(&axis, &axis);
  D3DXMATRIX r, out;
  d3dx::D3DXMatrixRotationAxis(&r, &axis, angle);
  d3dx::D3DXMatrixMultiply(&out, &b, &r);
  return out;
}

D3DXVECTOR3 LightRays::RayPoint(int i, int j) const {
  const D3DXVECTOR3 s = cageBox_.Size();
  const float dx = s.x / kGrid, dz = s.z / kGrid;
  return D3DXVECTOR3(cageBox_.min.x + dx / 2 + static_cast<float>(i) * dx, cageBox_.max.y,
                     cageBox_.min.z + dz / 2 + static_cast<float>(j) * dz);
}

void LightRays::Draw() {
  if (!device || !cage) return;
  D3DXMATRIX saved, view;
  device->GetTransform(D3DTS_WORLD, &saved);
  device->GetTransform(D3DTS_VIEW, &view);

  SetAdditiveTexturedStates(device, texture);
  device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  // The ray texture is a soft gradient stretched over a long quad: filtered like the other
  // sprites (point sampling only drew its texels as stripes).

  const D3DXMATRIX billboard = VerticalBillboard(view);
  for (int i = 0; i < kGrid; ++i) {
    for (int j = 0; j < kGrid; ++j) {
      const D3DXVECTOR3 p = RayPoint(i, j);
      D3DXMATRIX local = billboard, w;
      local.m[3][0] = p.x;
      local.m[3][1] = p.y;
      local.m[3][2] = p.z;
      d3dx::D3DXMatrixMultiply(&w, &local, &cage->frame->world);
      device->SetTransform(D3DTS_WORLD, &w);
      device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ParticleVertex));
    }
  }

  device->SetTransform(D3DTS_WORLD, &saved);
  device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  device->SetRenderState(D3DRS_LIGHTING, TRUE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
}

}  // namespace effects
