// Light falling through the ceiling cage: a 6 x 6 grid of faint additive trapezoids hanging
// from the top of the cage's box, each turned about the vertical to face the camera.
#pragma once

#include <string>
#include <vector>

#include "effects/particle_emitter.h"
#include "model/scene_mesh.h"

namespace effects {

class LightRays {
 public:
  explicit LightRays(const char* textureName);
  ~LightRays();
  LightRays(const LightRays&) = delete;
  LightRays& operator=(const LightRays&) = delete;

  void SetTextureCallback(TextureCallback cb) { textureCallback = cb; }
  d3d8::HRESULT LoadTexture(d3d8::IDirect3DDevice8* dev);
  void ReleaseTexture();
  // Keeps the first mesh whose frame name contains "ceil_cage"; 1 when found.
  int FindCage(std::vector<scene::SceneMesh>& meshes);
  // Nothing is drawn without a cage.
  void Draw();

  // The camera-facing matrix whose local -y axis stays pointing straight down.
  static d3dx::D3DXMATRIX VerticalBillboard(const d3dx::D3DXMATRIX& view);
  // The hanging point of ray (i, j) in the cage frame's space.
  d3dx::D3DXVECTOR3 RayPoint(int i, int j) const;

  static constexpr int kGrid = 6;

  TextureCallback textureCallback = nullptr;
  d3d8::IDirect3DDevice8* device = nullptr;
  std::string textureName;
  d3d8::IDirect3DTexture8* texture = nullptr;
  scene::SceneMesh* cage = nullptr;
  ParticleVertex quad[4];

 private:
  scene::BoundingBox cageBox_;
};

}  // namespace effects
