// The banner: the first banner mesh of the room becomes a mass-spring cloth with its top
// tenth pinned, blown by a gusting wind that turns about the vertical; the simulated shape
// is written back into the mesh and drawn at every banner place, turned to face the room.
#pragma once

#include <vector>

#include "effects/spring_system.h"
#include "model/scene_mesh.h"

namespace effects {

class BannerCloth {
 public:
  BannerCloth();

  // Picks every mesh whose frame name contains "banner" and builds the cloth from the
  // first one. Returns the number of banner frames.
  int Build(std::vector<scene::SceneMesh>& meshes);
  // Steps the cloth (at most 0.1 s) and writes the vertices back. 1 when a cloth exists.
  int Update(float dt);
  void SetCellVisibility(const scene::ViewFrustum& frustum);
  void SetAllVisible(int flag);
  void Draw(d3d8::IDirect3DDevice8* device);

  // Wind at a clock value: strength in [-6, 6] and the unit direction.
  static float WindStrength(float clock);
  static d3dx::D3DXVECTOR3 WindDirection(float clock);
  // The turn about the vertical of the copy drawn at a banner frame.
  static float PlaceAngle(const scene::BoundingBox& localBox, const d3dx::D3DXMATRIX& world);

  // Vertices whose z lies beyond this are drawn at it (the masses keep their position).
  static constexpr float kMaxDrawnZ = 2.0f;
  // The clock wraps after 1071 turns of 2 pi: a whole number of periods of all four wind
  // terms (0.7, 0.3, 0.9 and 1.7 times 2 pi), so the wind carries on without a jump.
  static constexpr float kClockWrap = 6729.2917f;

  std::vector<scene::SceneMesh*> banners;
  d3dx::ID3DXMesh* clothMesh = nullptr;
  SpringSystem system;
  float clock = 0;
  d3dx::D3DXVECTOR3 windForce{0, 0, 0};

 private:
  void BuildFromMesh(d3dx::ID3DXMesh* mesh);
  std::vector<scene::BoundingBox> bannerBoxes_;
};

}  // namespace effects
