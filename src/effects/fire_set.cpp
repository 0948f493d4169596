#include "effects/fire_set.h"

#include <cmath>

#include "effects/effect_meshes.h"
#include "platform/d3dx/d3dx_texture.h"

namespace effects {

using namespace d3d8;
using d3dx::D3DXMATRIX;
using d3dx::D3DXVECTOR3;
using d3dx::D3DX_PI;
using scene::BoundingBox;

namespace {
constexpr float kClockWrap = 6283.1855f;
}  // namespace

FireSet::FireSet() {
  const float pos[4][3] = {{-1, -1, 0}, {-1, 1, 0}, {1, -1, 0}, {1, 1, 0}};
  const float uv[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};
  for (int i = 0; i < 4; ++i)
    glowQuad[i] = ParticleVertex{pos[i][0], pos[i][1], pos[i][2], 0, 0, -1, 0x20AFAFFFu, uv[i][0], uv[i][1]};
}

FireSet::~FireSet() { ReleaseDeviceObjects(); }

void FireSet::SetTextureCallback(TextureCallback cb) {
  textureCallback = cb;
  flame.SetTextureCallback(cb);
}

int FireSet::Setup(std::vector<scene::SceneMesh>& meshes) {
  torches.clear();
  fireplaces.clear();
  torchBoxes_.clear();
  fireplaceBoxes_.clear();
  for (scene::SceneMesh& m : meshes) {
    if (FrameNameContains(m, "torch")) {
      torches.push_back(&m);
      torchBoxes_.push_back(LocalBox(m));
    }
    if (FrameNameContains(m, "fireplace")) {
      fireplaces.push_back(&m);
      fireplaceBoxes_.push_back(LocalBox(m));
    }
  }
  visible.assign(torches.size() + fireplaces.size(), 1);
  if (!torches.empty()) {
    flame.SetFlamePosition(D3DXVECTOR3(0, 0, 0));
    flame.SetFlameSize(torchBoxes_[0].LargestExtent() / 2.4f);
    flame.SetFlameDirection(D3DXVECTOR3(0, 1, 0));
  }
  RebuildCullBoxes();
  return static_cast<int>(visible.size());
}

void FireSet::RebuildCullBoxes() {
  cullBoxes.clear();
  for (std::size_t i = 0; i < torches.size(); ++i) {
    BoundingBox b = torchBoxes_[i];
    b.Translate(D3DXVECTOR3(0, b.Size().y, 0));
    b.ScaleAboutCentre(1.4f);
    cullBoxes.push_back(TransformBox(b, torches[i]->frame->world));
  }
  // A fireplace burns at the foot of its mesh, which may reach up to the ceiling with its
  // chimney breast: its box covers the mesh itself and the same height again above it.
  for (std::size_t i = 0; i < fireplaces.size(); ++i) {
    BoundingBox b = fireplaceBoxes_[i];
    BoundingBox above = b;
    above.Translate(D3DXVECTOR3(0, b.Size().y, 0));
    b.Grow(above);
    cullBoxes.push_back(TransformBox(b, fireplaces[i]->frame->world));
  }
}

void FireSet::Cull(const scene::ViewFrustum& frustum) {
  for (int j = 0; j < FireCount(); ++j) {
    D3DXVECTOR3 corners[8];
    for (int i = 0; i < 8; ++i) corners[i] = cullBoxes[static_cast<std::size_t>(j)].Corner(i);
    SetVisible(j, scene::BoxVisible(frustum, corners) != 0);
  }
}

void FireSet::Update(float dt) {
  bool any = false;
  for (char v : visible) any = any || v;
  if (any) flame.Update(dt);
  RebuildCullBoxes();
  clock += dt;
  if (clock > kClockWrap) clock -= kClockWrap;
  glowSize = 40 + 5 * std::sin(std::fmod(3 * clock, 2 * D3DX_PI)) + 5 * std::sin(std::fmod(7 * clock, 2 * D3DX_PI));
}

D3DXVECTOR3 FireSet::MeanTorchTranslation() const {
  D3DXVECTOR3 sum{0, 0, 0};
  for (const scene::SceneMesh* t : torches) sum += Translation(t->frame->world);
  return torches.empty() ? sum : sum / static_cast<float>(torches.size());
}

void FireSet::TorchPoints(int t, float k, D3DXVECTOR3 out[2]) const {
  const BoundingBox& box = torchBoxes_[static_cast<std::size_t>(t)];
  const D3DXVECTOR3 c = box.Centre();
  D3DXVECTOR3 e = box.max - c;
  const D3DXVECTOR3 d = Translation(torches[static_cast<std::size_t>(t)]->frame->world) - MeanTorchTranslation();
  e.y *= k;
  // Push half a half-depth towards the middle of the room, narrow the long axis.
  if (e.x >= e.z) {
    e.z *= d.z > 0 ? -0.5f : 0.5f;
    e.x *= 0.7f;
  } else {
    e.x *= d.x > 0 ? -0.5f : 0.5f;
    e.z *= 0.7f;
  }
  // The second point mirrors the first along the long horizontal axis.
  D3DXVECTOR3 m = e;
  if (m.x > m.z)
    m.x = -m.x;
  else
    m.z = -m.z;
  out[0] = c + e;
  out[1] = c + m;
}

d3d8::HRESULT FireSet::LoadGlowTexture() {
  if (glowTexture) {
    glowTexture->Release();
    glowTexture = nullptr;
  }
  if (textureCallback) return textureCallback(device, "flame.tga", &glowTexture);
  constexpr DWORD kFilter = d3dx::D3DX_FILTER_TRIANGLE | d3dx::D3DX_FILTER_MIRROR;
  return d3dx::D3DXCreateTextureFromFileExA(device, "flame.tga", d3dx::D3DX_DEFAULT, d3dx::D3DX_DEFAULT,
                                            d3dx::D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, kFilter, kFilter,
                                            0, nullptr, nullptr, &glowTexture);
}

d3d8::HRESULT FireSet::LoadDeviceObjects(IDirect3DDevice8* dev) {
  device = dev;
  HRESULT hr = LoadGlowTexture();
  if (FAILED(hr)) return hr;
  return flame.LoadTextures(dev);
}

void FireSet::ReleaseDeviceObjects() {
  if (glowTexture) {
    glowTexture->Release();
    glowTexture = nullptr;
  }
  flame.ReleaseTextures();
}

void FireSet::DrawFlames() {
  if (!device) return;
  D3DXMATRIX saved;
  device->GetTransform(D3DTS_WORLD, &saved);
  for (std::size_t j = 0; j < torches.size(); ++j) {
    if (!visible[j]) continue;
    D3DXVECTOR3 points[2];
    TorchPoints(static_cast<int>(j), 0.9f, points);
    for (const D3DXVECTOR3& p : points) {
      D3DXMATRIX t, w;
      d3dx::D3DXMatrixTranslation(&t, p.x, p.y, p.z);
      d3dx::D3DXMatrixMultiply(&w, &t, &torches[j]->frame->world);
      device->SetTransform(D3DTS_WORLD, &w);
      flame.Draw();
    }
  }
  for (std::size_t j = 0; j < fireplaces.size(); ++j) {
    if (!visible[torches.size() + j]) continue;
    D3DXMATRIX s, w;
    d3dx::D3DXMatrixScaling(&s, 2.5f, 1.5f, 2.5f);
    d3dx::D3DXMatrixMultiply(&w, &s, &fireplaces[j]->frame->world);
    device->SetTransform(D3DTS_WORLD, &w);
    flame.Draw();
  }
  device->SetTransform(D3DTS_WORLD, &saved);
}

void FireSet::DrawGlow() {
  if (!device) return;
  D3DXMATRIX saved, view;
  device->GetTransform(D3DTS_WORLD, &saved);
  device->GetTransform(D3DTS_VIEW, &view);
  const D3DXMATRIX billboard = BillboardFromView(view);
  D3DXMATRIX scale, g;
  d3dx::D3DXMatrixScaling(&scale, glowSize, glowSize, glowSize);
  d3dx::D3DXMatrixMultiply(&g, &scale, &billboard);

  SetAdditiveTexturedStates(device, glowTexture);

  for (std::size_t j = 0; j < torches.size(); ++j) {
    D3DXVECTOR3 points[2];
    TorchPoints(static_cast<int>(j), 1.4f, points);
    for (const D3DXVECTOR3& p : points) {
      D3DXMATRIX t, gt, w;
      d3dx::D3DXMatrixTranslation(&t, p.x, p.y, p.z);
      d3dx::D3DXMatrixMultiply(&gt, &g, &t);
      d3dx::D3DXMatrixMultiply(&w, &gt, &torches[j]->frame->world);
      device->SetTransform(D3DTS_WORLD, &w);
      device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, glowQuad, sizeof(ParticleVertex));
    }
  }
  for (const scene::SceneMesh* f : fireplaces) {
    D3DXMATRIX s, sg, t, sgt, w;
    d3dx::D3DXMatrixScaling(&s, 1.5f, 1.5f, 1.5f);
    d3dx::D3DXMatrixMultiply(&sg, &s, &g);
    d3dx::D3DXMatrixTranslation(&t, 0, 10, 0);
    d3dx::D3DXMatrixMultiply(&sgt, &sg, &t);
    d3dx::D3DXMatrixMultiply(&w, &sgt, &f->frame->world);
    device->SetTransform(D3DTS_WORLD, &w);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, glowQuad, sizeof(ParticleVertex));
  }

  device->SetTransform(D3DTS_WORLD, &saved);
  device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  device->SetRenderState(D3DRS_LIGHTING, TRUE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
}

}  // namespace effects
