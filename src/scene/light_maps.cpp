// The room's light: four surfaces of ten pre-baked light-map frames projected through
// texture stage 1 onto the architecture, and two fixed-function lights for everything else.
#include <cmath>
#include <cstdio>

#include "effects/stage_states.h"
#include "scene/room_scene.h"

namespace scene {

using namespace d3d8;
using namespace d3dx;

namespace {


void ReleaseTexture(IDirect3DTexture8*& t) {
  if (t) t->Release();
  t = nullptr;
}

}  // namespace

void RoomScene::LoadLightMaps() {
  static const struct {
    int surface;
    const char* pattern;
  } kOrder[4] = {{kLightMapFloor, "floor_IL%04d.jpg"},
                 {kLightMapCeiling, "ceiling_IL%04d.jpg"},
                 {kLightMapWall1, "wall1_IL%04d.jpg"},
                 {kLightMapWall2, "wall2_IL%04d.jpg"}};
  for (int n = 1; n <= kLightMapFrames; ++n)
    for (const auto& s : kOrder) {
      char name[32];
      std::snprintf(name, sizeof name, s.pattern, n);
      IDirect3DTexture8*& slot = lightMaps_[s.surface][n - 1];
      ReleaseTexture(slot);
      if (FAILED(CreateTextureFromArchive(device_, name, &slot))) {
        slot = nullptr;
        return;
      }
    }
}

void RoomScene::SetLightMapProjection(const SceneMesh& surface) {
  if (!device_ || !surface.frame) return;
  D3DXMATRIX view, cameraToWorld;
  device_->GetTransform(D3DTS_VIEW, &view);
  D3DXMatrixInverse(&cameraToWorld, nullptr, &view);

  D3DXVECTOR3 size = surface.box.Size();
  const D3DXVECTOR3 centre = surface.box.Centre();
  const float thinnest = std::fmin(std::fmin(size.x, size.y), size.z);
  D3DXMATRIX rotation;
  if (thinnest == size.y) {
    D3DXMatrixRotationX(&rotation, D3DX_PI / 2);
    size.y = 1;
  } else if (thinnest == size.x) {
    D3DXMatrixRotationY(&rotation, D3DX_PI / 2);
    size.x = 1;
  } else {
    D3DXMatrixRotationZ(&rotation, 0);
    size.z = 1;
  }
  size.y = -size.y;

  D3DXMATRIX scaling, translation, box, boxInverse, m, shift;
  D3DXMatrixScaling(&scaling, size.x, size.y, size.z);
  D3DXMatrixTranslation(&translation, centre.x, centre.y, centre.z);
  D3DXMatrixMultiply(&box, &scaling, &translation);
  D3DXMatrixMultiply(&box, &box, &surface.frame->world);
  D3DXMatrixInverse(&boxInverse, nullptr, &box);
  D3DXMatrixTranslation(&shift, 0.5f, 0.5f, 0);
  D3DXMatrixMultiply(&m, &cameraToWorld, &boxInverse);
  D3DXMatrixMultiply(&m, &m, &rotation);
  D3DXMatrixMultiply(&m, &m, &shift);
  device_->SetTransform(D3DTS_TEXTURE1, &m);
  device_->SetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
  device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION | 1);
  // Clamped: the geometry drawn with a surface's projection (the cornice atop the walls, the
  // rim of the vault) reaches to or past the edge of the surface's box, where a black border
  // drew a dark seam.
  device_->SetTextureStageState(1, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  device_->SetTextureStageState(1, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
}

void RoomScene::DrawLightMappedPass() {
  IDirect3DDevice8* dev = device_;
  const int f = lightWalk_.currentFrame;
  dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
  dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  dev->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
  dev->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  dev->SetTextureStageState(1, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  dev->SetTextureStageState(1, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  dev->SetTextureStageState(1, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
  effects::SetStageSampling(dev, 0, effects::kMeshSampling);
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);

  // The walls take their light maps by index; without four walls and arches (a room that
  // did not load) only the surfaces present are drawn.
  dev->SetTexture(1, lightMaps_[kLightMapWall1][f]);
  for (int i = 3; i >= 0; --i) {
    const auto index = static_cast<std::size_t>(i);
    if (index >= wallList.size()) continue;
    SetLightMapProjection(*wallList[index]);
    if (i == 0) dev->SetTexture(1, lightMaps_[kLightMapWall2][f]);
    Draw(model_, *wallList[index]);
    if (index < archList.size()) Draw(model_, *archList[index]);
    DrawList(wallObjects[index]);
  }
  if (!floorList.empty()) {
    dev->SetTexture(1, lightMaps_[kLightMapFloor][f]);
    SetLightMapProjection(*floorList[0]);
    DrawList(floorList);
  }
  if (!domeList.empty()) {
    dev->SetTexture(1, lightMaps_[kLightMapCeiling][f]);
    SetLightMapProjection(*domeList[0]);
    DrawList(domeList);
  }

  dev->SetTexture(1, nullptr);
  dev->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
  dev->SetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  dev->SetRenderState(D3DRS_LIGHTING, TRUE);
}

void RoomScene::ApplyRoomLights() {
  IDirect3DDevice8* dev = device_;
  const D3DXVECTOR3 c = model_.ModelCentre();
  D3DXVECTOR3 direction(0, -1, 0.1f);
  D3DXVec3Normalize(&direction, &direction);

  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {1, 1, 1, 0};
  light.Specular = {1, 1, 1, 0};
  light.Ambient = {0.3f, 0.3f, 0, 0};
  light.Direction = {direction.x, direction.y, direction.z};
  light.Position = {c.x, c.y + 800, c.z};
  light.Range = 10000;
  light.Falloff = 1;
  light.Attenuation0 = 1;
  light.Theta = 0.4488f;
  light.Phi = 1.0472f;
  dev->SetLight(0, &light);
  dev->LightEnable(0, TRUE);

  const float b = PointLightBrightness(time_);
  light.Type = D3DLIGHT_POINT;
  light.Position = {c.x, c.y, c.z};
  light.Diffuse = {b, b, b, 0};
  light.Ambient = {b, 0, 0, 0};
  dev->SetLight(1, &light);
  dev->LightEnable(1, TRUE);

  for (DWORD i = 2; i <= 24; ++i) dev->LightEnable(i, FALSE);
  dev->SetRenderState(D3DRS_SOFTWAREVERTEXPROCESSING, maxActiveLights_ < 2 ? TRUE : FALSE);
}

}  // namespace scene
