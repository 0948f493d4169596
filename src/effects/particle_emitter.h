// A general CPU particle emitter: particles start at a point or on a ring, leave in a cone,
// move under scaled gravity, an optional attractor and a drift, run colour/alpha/size/
// gravity linearly over their life, swirl about their path, and draw as camera-facing quads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"

namespace effects {

// Creates a texture by file name; the room installs its archive loader here.
using TextureCallback = d3d8::HRESULT (*)(d3d8::IDirect3DDevice8* device, const char* name,
                                          d3d8::IDirect3DTexture8** texture);

struct Particle {
  d3dx::D3DXVECTOR3 previousPosition;
  d3dx::D3DXVECTOR3 position;
  d3dx::D3DXVECTOR3 velocity;
  float color[3] = {0, 0, 0};
  float colorRate[3] = {0, 0, 0};
  float age = 0;
  float life = 0;
  bool alive = false;
  float size = 0;
  float sizeRate = 0;
  float alpha = 0;
  float alphaRate = 0;
  float gravityScale = 0;
  float gravityScaleRate = 0;
  d3dx::D3DXVECTOR3 swirlAxis;
  float swirlRate = 0;
  float swirlRateChange = 0;
  float swirlRadius = 0;
  float swirlRadiusRate = 0;
};

struct ParticleVertex {
  float x, y, z;
  float nx, ny, nz;
  std::uint32_t diffuse;
  float u, v;
};
static_assert(sizeof(ParticleVertex) == 36);

class ParticleEmitter {
 public:
  using RandomFn = int (*)();

  explicit ParticleEmitter(const char* textureName);
  ~ParticleEmitter();
  ParticleEmitter(const ParticleEmitter&) = delete;
  ParticleEmitter& operator=(const ParticleEmitter&) = delete;

  void SetPoolSize(int n);
  void SetEmissionRate(float perSecond) { emissionRate = perSecond; }
  void SetSpawnRing(float diameter) { spawnRing = diameter; }
  void SetPosition(const d3dx::D3DXVECTOR3& p) { position = p; }
  void SetDirection(const d3dx::D3DXVECTOR3& d, float spreadAngle);
  void SetGravity(const d3dx::D3DXVECTOR3& g, float start, float end, float variation);
  void SetColors(std::uint32_t start, std::uint32_t end, float variation);
  void SetAlpha(float start, float end, float variation);
  void SetSize(float start, float end, float variation);
  void SetLife(float base, float variation);
  void SetSpeed(float base, float variation);
  void SetSwirlRate(float start, float end, float variation);
  void SetSwirlRadius(float start, float end, float variation);
  void SetAttractor(const d3dx::D3DXVECTOR3& point, float strength);
  void SetDrift(const d3dx::D3DXVECTOR3& v) { drift = v; }
  void SetTextureCallback(TextureCallback cb) { textureCallback = cb; }

  d3d8::HRESULT LoadTexture(d3d8::IDirect3DDevice8* device);
  void ReleaseTexture();

  void Update(float dt);
  void Draw(d3d8::IDirect3DDevice8* device, bool additive);
  // The same with the given blend factors (the smoke veils what lies behind it:
  // SRCALPHA / INVSRCALPHA).
  void Draw(d3d8::IDirect3DDevice8* device, d3d8::DWORD srcBlend, d3d8::DWORD destBlend);

  int LiveCount() const;
  const std::vector<Particle>& Pool() const { return particles; }

  // The triangular draw R = (r1 - r2) / 32767 from two successive generator values.
  float RandomR();

  // Generator used for every draw (the C runtime generator by default).
  RandomFn random;

  TextureCallback textureCallback = nullptr;
  std::string textureName;
  std::vector<Particle> particles;
  ParticleVertex quad[4];
  d3d8::IDirect3DTexture8* texture = nullptr;
  float emissionRate = 0;
  float spawnRing = 0;
  d3dx::D3DXVECTOR3 position{0, 0, 0};
  d3dx::D3DXVECTOR3 direction{0, 1, 0};
  d3dx::D3DXVECTOR3 sideAxis{-1, 0, 0};
  d3dx::D3DXVECTOR3 gravity{0, 0, 0};
  d3dx::D3DXVECTOR3 drift{0, 0, 0};
  float gravityScaleStart = 0, gravityScaleVariation = 0, gravityScaleEnd = 0;
  float sizeStart = 0.2f, sizeVariation = 0.05f, sizeEnd = 0.2f;
  float alphaStart = 1, alphaVariation = 0, alphaEnd = 1;
  float colorStart[4] = {1, 1, 1, 1};
  float colorEnd[4] = {1, 1, 1, 1};
  float colorVariation = 0;
  float speed = 0.5f, speedVariation = 0.1f;
  float swirlRateStart = 0, swirlRateEnd = 0, swirlRateVariation = 0;
  float swirlRadiusStart = 0, swirlRadiusEnd = 0, swirlRadiusVariation = 0;
  d3dx::D3DXVECTOR3 attractor{0, 0, 0};
  float attractorStrength = 0;
  float life = 5.0f, lifeVariation = 1.0f;
  float spread = 0.7853982f;
  float clock = 0;
  float emissionRemainder = 0;

 private:
  void Emit(Particle& p);
  // Six vertices per pool slot, sized with the pool: the quads of one draw.
  std::vector<ParticleVertex> batch_;
};

}  // namespace effects
