// The room: the model cut into named groups of meshes by frame name, the light maps and
// the room's two lights, the two particle emitters of the smoke, the glow buffer, and the
// fixed order of passes in which everything is drawn.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "effects/banner_cloth.h"
#include "effects/fire_set.h"
#include "effects/light_rays.h"
#include "effects/particle_emitter.h"
#include "platform/d3d8/d3d8.h"
#include "scene/glow_buffer.h"
#include "scene/light_map_walk.h"
#include "model/model_file.h"
#include "model/scene_mesh.h"

namespace scene {

constexpr unsigned kSceneMediaResource = 469;
inline constexpr char kSceneMediaPassword[] = "hoard";
inline constexpr char kRoomModelName[] = "gildmoor_room.X";

// Extracts `name` from media archive 469 and makes a texture of it. A failure code and an
// untouched *texture when the member is missing.
HRESULT CreateTextureFromArchive(d3d8::IDirect3DDevice8* device, const char* name, d3d8::IDirect3DTexture8** texture);

// Light-map surfaces, in the order of the texture arrays.
enum LightMapSurface { kLightMapFloor = 0, kLightMapWall1 = 1, kLightMapWall2 = 2, kLightMapCeiling = 3 };
constexpr int kLightMapFrames = 10;

class RoomScene {
 public:
  // Builds the room's objects and seeds the C runtime generator (the calendar time in the
  // saver; a fixed seed for captures and tests).
  explicit RoomScene(unsigned randomSeed);
  ~RoomScene();
  RoomScene(const RoomScene&) = delete;
  RoomScene& operator=(const RoomScene&) = delete;

  // Reads the model and textures from archive 469. Negative only when the device cannot be
  // attached to the model or the glow buffer's device objects cannot be made.
  HRESULT Load(d3d8::IDirect3DDevice8* device);
  void Update(float dt);
  void Render();
  void ReleaseDeviceObjects();

  // Light maps and lights (light_maps.cpp).
  void LoadLightMaps();
  void StepLightMaps(float dt) { lightWalk_.Step(dt); }
  void ApplyRoomLights();
  void DrawLightMappedPass();
  // Sets the texture transform of stage 1 that projects a light map onto `surface`.
  void SetLightMapProjection(const SceneMesh& surface);

  // Draws every mesh of a list with its own materials and textures.
  void DrawList(const std::vector<SceneMesh*>& list);

  // --- state, read by the application, the effects and tests ----------------------------
  d3d8::IDirect3DDevice8* device() const { return device_; }
  ModelFile& model() { return model_; }
  float time() const { return time_; }
  const LightMapWalk& lightWalk() const { return lightWalk_; }
  LightMapWalk& lightWalk() { return lightWalk_; }
  d3d8::IDirect3DTexture8* lightMap(int surface, int frame) const { return lightMaps_[surface][frame]; }
  GlowBuffer& glow() { return glow_; }
  ViewFrustum& frustum() { return frustum_; }
  effects::ParticleEmitter& emitter(int i) { return i == 0 ? emitterA_ : emitterB_; }
  effects::FireSet& fires() { return fires_; }
  effects::BannerCloth& banner() { return banner_; }
  effects::LightRays& rays() { return rays_; }
  DWORD maxActiveLights() const { return maxActiveLights_; }

  std::vector<SceneMesh> allMeshes;
  std::vector<SceneMesh*> goldList, occluderList, gemList, dragonList, wallList, archList, domeList, floorList;
  std::vector<SceneMesh*> wallObjects[4];
  std::vector<SceneMesh*> lightMappedList, restList;
  // The banner's meshes: drawn by the banner cloth only, never by the static passes.
  std::vector<SceneMesh*> bannerMeshes;

  // The point at which the two smoke emitters sit, relative to the model centre.
  static constexpr float kEmitterOffset[3] = {28.0f, 7.0f, 206.0f};
  // Steps of 1/30 s that Load runs the flames and the smoke for: longer than the longest life.
  static constexpr int kWarmUpSteps = 150;
  // Particles of each smoke emitter: 22 a second for 4 seconds.
  static constexpr int kSmokePool = 100;

 private:
  void FillNamedLists();
  void FillRestList();
  void ConfigureEmitters();
  void WarmUpEffects();
  void DrawGlowPass();

  d3d8::IDirect3DDevice8* device_ = nullptr;
  DWORD maxActiveLights_ = 0;
  float time_ = 0;
  ModelFile model_;
  effects::ParticleEmitter emitterA_{"flame.tga"};
  effects::ParticleEmitter emitterB_{"flame.tga"};
  GlowBuffer glow_{2};
  ViewFrustum frustum_;
  LightMapWalk lightWalk_;
  d3d8::IDirect3DTexture8* lightMaps_[4][kLightMapFrames] = {};
  effects::FireSet fires_;
  effects::BannerCloth banner_;
  effects::LightRays rays_{"ray.jpg"};

  // Effect slots, filled by the effects of the room as they are built:
  //  - fire set (torches, fireplace): attached and given the meshes in Load, updated before the
  //    banner, visibility from the frustum and flames drawn after the banner, glow contribution
  //    inside the glow pass;
  //  - banner cloth: picks the "banner" frames in Load, updated after the fires, culled and
  //    drawn after the gems;
  //  - light rays ("ray.jpg") under the ceiling cage: drawn after the emitters.
};

}  // namespace scene
