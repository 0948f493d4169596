// The shared flame: bright tongues and a dark red base, two emitters configured together
// from one size value. It is simulated once at its own origin and drawn at every fire
// through the world transform.
#pragma once

#include "effects/particle_emitter.h"

namespace effects {

class FlameEffect {
 public:
  FlameEffect() = default;
  FlameEffect(const FlameEffect&) = delete;
  FlameEffect& operator=(const FlameEffect&) = delete;

  // Each setter stores its value and reconfigures both emitters.
  void SetFlameSize(float s);
  void SetFlamePosition(const d3dx::D3DXVECTOR3& p);
  void SetFlameDirection(const d3dx::D3DXVECTOR3& d);
  void SetTextureCallback(TextureCallback cb);

  d3d8::HRESULT LoadTextures(d3d8::IDirect3DDevice8* dev);
  void ReleaseTextures();
  void Update(float dt);
  // Tongues, then base, both additive, with the device's current world transform.
  void Draw();

  d3d8::IDirect3DDevice8* device = nullptr;
  ParticleEmitter tongues{"flame.tga"};
  ParticleEmitter base{"flame.tga"};
  float flameSize = 0;
  d3dx::D3DXVECTOR3 flamePosition{0, 0, 0};
  d3dx::D3DXVECTOR3 flameDirection{0, 1, 0};

 private:
  void Configure();
};

}  // namespace effects
