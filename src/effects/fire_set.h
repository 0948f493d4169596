// The torch and fireplace fires: one shared flame drawn twice on every visible torch and
// enlarged on every visible fireplace, cull boxes for the room's frustum test, and a halo
// per fire whose size flickers, drawn into the room's glow buffer.
#pragma once

#include <vector>

#include "effects/flame_effect.h"
#include "model/scene_mesh.h"

namespace effects {

class FireSet {
 public:
  FireSet();
  ~FireSet();
  FireSet(const FireSet&) = delete;
  FireSet& operator=(const FireSet&) = delete;

  // Stores the room's texture callback and hands it on to the flame's emitters.
  void SetTextureCallback(TextureCallback cb);
  // Picks the torch and fireplace meshes from the room's meshes, sizes the flame from the
  // first torch and builds the cull boxes. Returns the number of fires.
  int Setup(std::vector<scene::SceneMesh>& meshes);
  // Loads the halo texture, then (only when that worked) the flame's textures.
  d3d8::HRESULT LoadDeviceObjects(d3d8::IDirect3DDevice8* dev);
  void ReleaseDeviceObjects();
  void Update(float dt);
  void DrawFlames();
  void DrawGlow();

  // Culling by the room: one box and one flag per fire, torches first.
  int FireCount() const { return static_cast<int>(cullBoxes.size()); }
  const scene::BoundingBox& CullBox(int j) const { return cullBoxes[static_cast<std::size_t>(j)]; }
  void SetVisible(int j, bool v) { visible[static_cast<std::size_t>(j)] = v ? 1 : 0; }
  // Sets every fire's flag from the frustum's box test of its cull box.
  void Cull(const scene::ViewFrustum& frustum);

  // The two fire points of torch t in the torch frame's space; k scales the height offset
  // (0.9 for flames, 1.4 for halos).
  void TorchPoints(int t, float k, d3dx::D3DXVECTOR3 out[2]) const;
  void RebuildCullBoxes();

  float clock = 0;
  float glowSize = 40;
  TextureCallback textureCallback = nullptr;
  FlameEffect flame;
  ParticleVertex glowQuad[4];
  std::vector<scene::SceneMesh*> torches;
  std::vector<scene::SceneMesh*> fireplaces;
  std::vector<scene::BoundingBox> cullBoxes;
  std::vector<char> visible;
  d3d8::IDirect3DDevice8* device = nullptr;
  d3d8::IDirect3DTexture8* glowTexture = nullptr;

 private:
  d3d8::HRESULT LoadGlowTexture();
  // Local boxes of the torches and fireplaces, read once at set-up.
  std::vector<scene::BoundingBox> torchBoxes_, fireplaceBoxes_;
  d3dx::D3DXVECTOR3 MeanTorchTranslation() const;
};

}  // namespace effects
