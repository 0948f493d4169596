#include "effects/particle_emitter.h"

#include <algorithm>
#include <cmath>

#include "effects/stage_states.h"
#include "platform/d3dx/d3dx_texture.h"
#include "platform/d3dx/image_filter.h"
#include "platform/win32/crt_rand.h"

namespace effects {

using namespace d3d8;
using d3dx::D3DXMATRIX;
using d3dx::D3DXVECTOR3;
using d3dx::D3DX_PI;

namespace {


float Clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Turns v about a unit axis by angle (row-vector rotation as D3DX builds it).
D3DXVECTOR3 Turn(const D3DXVECTOR3& v, const D3DXVECTOR3& axis, float angle) {
  D3DXMATRIX m;
  d3dx::D3DXMatrixRotationAxis(&m, &axis, angle);
  D3DXVECTOR3 out;
  d3dx::D3DXVec3TransformNormal(&out, &v, &m);
  return out;
}

D3DXVECTOR3 Normalized(const D3DXVECTOR3& v) {
  D3DXVECTOR3 out;
  d3dx::D3DXVec3Normalize(&out, &v);
  return out;
}

bool IsZero(const D3DXVECTOR3& v) { return v.x == 0 && v.y == 0 && v.z == 0; }

}  // namespace

ParticleEmitter::ParticleEmitter(const char* name)
    : random(&win32::crt_rand), textureName(name ? std::string(name).substr(0, 511) : std::string()) {
  SetPoolSize(1000);
  const float pos[4][3] = {{-1, -1, 0}, {-1, 1, 0}, {1, -1, 0}, {1, 1, 0}};
  const float uv[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};
  for (int i = 0; i < 4; ++i) {
    quad[i] = ParticleVertex{pos[i][0], pos[i][1], pos[i][2], 0, 0, -1, 0x40FFFFFFu, uv[i][0], uv[i][1]};
  }
}

ParticleEmitter::~ParticleEmitter() { ReleaseTexture(); }

void ParticleEmitter::SetPoolSize(int n) {
  particles.resize(static_cast<std::size_t>(std::max(n, 0)));
  batch_.resize(particles.size() * 6);
}

void ParticleEmitter::SetDirection(const D3DXVECTOR3& d, float spreadAngle) {
  spread = spreadAngle;
  direction = Normalized(d);
  // Move the largest component into the slot of the smallest, zero the largest slot, and
  // cross with the direction: a perpendicular.
  float c[3] = {direction.x, direction.y, direction.z};
  int big = 0, small = 0;
  for (int i = 1; i < 3; ++i) {
    if (std::fabs(c[i]) > std::fabs(c[big])) big = i;
    if (std::fabs(c[i]) <= std::fabs(c[small])) small = i;  // ties: the last slot
  }
  float o[3] = {c[0], c[1], c[2]};
  o[small] = c[big];
  o[big] = 0;
  D3DXVECTOR3 other{o[0], o[1], o[2]};
  D3DXVECTOR3 side;
  d3dx::D3DXVec3Cross(&side, &other, &direction);
  sideAxis = Normalized(side);
}

void ParticleEmitter::SetGravity(const D3DXVECTOR3& g, float start, float end, float variation) {
  gravity = g;
  gravityScaleStart = start;
  gravityScaleEnd = end;
  gravityScaleVariation = variation;
}

void ParticleEmitter::SetColors(std::uint32_t start, std::uint32_t end, float variation) {
  for (int i = 0; i < 4; ++i) {
    colorStart[i] = static_cast<float>((start >> (8 * i)) & 0xFF) / 255.0f;
    colorEnd[i] = static_cast<float>((end >> (8 * i)) & 0xFF) / 255.0f;
  }
  colorVariation = variation;
}

void ParticleEmitter::SetAlpha(float start, float end, float variation) {
  alphaStart = start;
  alphaEnd = end;
  alphaVariation = variation;
}

void ParticleEmitter::SetSize(float start, float end, float variation) {
  sizeStart = start;
  sizeEnd = end;
  sizeVariation = variation;
}

void ParticleEmitter::SetLife(float base, float variation) {
  life = base;
  lifeVariation = variation;
}

void ParticleEmitter::SetSpeed(float base, float variation) {
  speed = base;
  speedVariation = variation;
}

void ParticleEmitter::SetSwirlRate(float start, float end, float variation) {
  swirlRateStart = start;
  swirlRateEnd = end;
  swirlRateVariation = variation;
}

void ParticleEmitter::SetSwirlRadius(float start, float end, float variation) {
  swirlRadiusStart = start;
  swirlRadiusEnd = end;
  swirlRadiusVariation = variation;
}

void ParticleEmitter::SetAttractor(const D3DXVECTOR3& point, float strength) {
  attractor = point;
  attractorStrength = strength;
}

HRESULT ParticleEmitter::LoadTexture(IDirect3DDevice8* device) {
  ReleaseTexture();
  if (textureCallback) return textureCallback(device, textureName.c_str(), &texture);
  constexpr DWORD kFilter = d3dx::D3DX_FILTER_TRIANGLE | d3dx::D3DX_FILTER_MIRROR;  // 0x70004
  return d3dx::D3DXCreateTextureFromFileExA(device, textureName.c_str(), d3dx::D3DX_DEFAULT, d3dx::D3DX_DEFAULT,
                                            d3dx::D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, kFilter, kFilter,
                                            0, nullptr, nullptr, &texture);
}

void ParticleEmitter::ReleaseTexture() {
  if (texture) {
    texture->Release();
    texture = nullptr;
  }
}

float ParticleEmitter::RandomR() {
  int r1 = random();
  int r2 = random();
  return static_cast<float>(r1 - r2) / 32767.0f;
}

int ParticleEmitter::LiveCount() const {
  return static_cast<int>(std::count_if(particles.begin(), particles.end(), [](const Particle& p) { return p.alive; }));
}

void ParticleEmitter::Emit(Particle& p) {
  p.alive = true;
  p.age = 0;
  p.life = Clamp(life + lifeVariation * RandomR(), 0.1f, 10.0f);

  float a0 = Clamp(alphaStart + alphaVariation * RandomR(), 0, 1);
  float a1 = Clamp(alphaEnd + alphaVariation * RandomR(), 0, 1);
  p.alpha = a0;
  p.alphaRate = (a1 - a0) / p.life;

  float c = colorVariation * RandomR();
  for (int i = 0; i < 3; ++i) {
    float s = Clamp(colorStart[i] + c, 0, 1);
    float e = Clamp(colorEnd[i] + c, 0, 1);
    p.color[i] = s;
    p.colorRate[i] = (e - s) / p.life;
  }

  float s0 = Clamp(sizeStart + sizeVariation * RandomR(), 0.01f, 1000.0f);
  float s1 = Clamp(sizeEnd + sizeVariation * RandomR(), 0.01f, 1000.0f);
  p.size = s0;
  p.sizeRate = (s1 - s0) / p.life;

  D3DXVECTOR3 v = Normalized(direction);
  v = Turn(v, sideAxis, spread * RandomR());
  v = Turn(v, direction, 2 * D3DX_PI * RandomR());
  float sp = Clamp(speed + speedVariation * RandomR(), 0, 250);
  p.velocity = D3DXVECTOR3(v.x * sp, v.y * sp, v.z * sp);

  float g0 = Clamp(gravityScaleStart + gravityScaleVariation * RandomR(), -5, 5);
  float g1 = Clamp(gravityScaleEnd + gravityScaleVariation * RandomR(), -5, 5);
  p.gravityScale = g0;
  p.gravityScaleRate = (g1 - g0) / p.life;

  p.position = position;
  if (spawnRing > 0) {
    D3DXVECTOR3 ring = Normalized(Turn(Normalized(sideAxis), direction, 2 * D3DX_PI * RandomR()));
    float r = spawnRing / 2;
    p.position.x += ring.x * r;
    p.position.y += ring.y * r;
    p.position.z += ring.z * r;
  }
  p.previousPosition = p.position;

  float r0 = swirlRadiusStart + swirlRadiusVariation * RandomR();
  float r1 = swirlRadiusEnd + swirlRadiusVariation * RandomR();
  p.swirlRadius = r0;
  p.swirlRadiusRate = (r1 - r0) / p.life;

  float sigma = RandomR() > 0.5f ? -1.0f : 1.0f;
  p.swirlRate = sigma * (swirlRateStart + swirlRateVariation * RandomR());
  float endRate = sigma * (swirlRateEnd + swirlRateVariation * RandomR());
  p.swirlRateChange = (endRate - p.swirlRate) / p.life;

  p.swirlAxis = Normalized(Turn(Normalized(sideAxis), direction, 2 * D3DX_PI * RandomR()));
}

void ParticleEmitter::Update(float dt) {
  clock += dt;
  for (Particle& p : particles) {
    if (!p.alive) continue;
    p.age += dt;
    if (p.age >= p.life) {
      p.alive = false;
      continue;
    }
    p.previousPosition = p.position;
    p.position.x += p.velocity.x * dt;
    p.position.y += p.velocity.y * dt;
    p.position.z += p.velocity.z * dt;
    float g = p.gravityScale * dt;
    p.velocity.x += gravity.x * g;
    p.velocity.y += gravity.y * g;
    p.velocity.z += gravity.z * g;
    for (int i = 0; i < 3; ++i) p.color[i] += p.colorRate[i] * dt;
    p.alpha += p.alphaRate * dt;
    p.size += p.sizeRate * dt;
    p.gravityScale += p.gravityScaleRate * dt;
    if (p.swirlRate > 0 || p.swirlRateChange > 0) {
      D3DXVECTOR3 axis(p.position.x - p.previousPosition.x, p.position.y - p.previousPosition.y,
                       p.position.z - p.previousPosition.z);
      if (IsZero(axis)) axis = direction;
      p.swirlAxis = Turn(p.swirlAxis, Normalized(axis), dt * p.swirlRate);
      p.swirlRadius += dt * p.swirlRadiusRate;
      p.swirlRate += dt * p.swirlRateChange;
    }
    if (attractorStrength > 0) {
      D3DXVECTOR3 to = Normalized(D3DXVECTOR3(attractor.x - p.position.x, attractor.y - p.position.y,
                                              attractor.z - p.position.z));
      p.position.x += to.x * attractorStrength * dt;
      p.position.y += to.y * attractorStrength * dt;
      p.position.z += to.z * attractorStrength * dt;
    }
    if (!IsZero(drift)) {
      p.position.x += drift.x * dt;
      p.position.y += drift.y * dt;
      p.position.z += drift.z * dt;
    }
  }

  float e = dt * emissionRate + emissionRemainder;
  int n = static_cast<int>(e);
  emissionRemainder = e - static_cast<float>(n);
  for (Particle& p : particles) {
    if (n <= 0) break;
    if (p.alive) continue;
    Emit(p);
    --n;
  }
}

void ParticleEmitter::Draw(IDirect3DDevice8* device, bool additive) {
  Draw(device, additive ? D3DBLEND_SRCALPHA : D3DBLEND_SRCCOLOR, additive ? D3DBLEND_ONE : D3DBLEND_INVSRCCOLOR);
}

void ParticleEmitter::Draw(IDirect3DDevice8* device, DWORD srcBlend, DWORD destBlend) {
  if (!device) return;
  D3DXMATRIX world, view;
  device->GetTransform(D3DTS_WORLD, &world);
  device->GetTransform(D3DTS_VIEW, &view);
  // Billboard: the inverse of the view's 3 x 3 rotation part, translation dropped.
  D3DXMATRIX rotation = view;
  rotation.m[3][0] = rotation.m[3][1] = rotation.m[3][2] = 0;
  D3DXMATRIX billboard;
  if (!d3dx::D3DXMatrixInverse(&billboard, nullptr, &rotation)) d3dx::D3DXMatrixIdentity(&billboard);

  DWORD lighting = 0, zenable = 0, alphatest = 0;
  device->GetRenderState(D3DRS_LIGHTING, &lighting);
  device->GetRenderState(D3DRS_ZENABLE, &zenable);
  device->GetRenderState(D3DRS_ALPHATESTENABLE, &alphatest);
  device->SetRenderState(D3DRS_ZENABLE, TRUE);
  device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRS_SRCBLEND, srcBlend);
  device->SetRenderState(D3DRS_DESTBLEND, destBlend);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  SetModulateStage0(device);
  SetStageSampling(device, 0, kSpriteSampling);
  device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  device->SetTexture(0, texture);

  // Every live particle becomes the camera-facing quad (+-h along the billboard's x and y
  // axes about its centre) in the emitter's space; all quads go out in one draw with the
  // remembered world transform, which gives the same picture as one draw per particle.
  const D3DXVECTOR3 right{billboard.m[0][0], billboard.m[0][1], billboard.m[0][2]};
  const D3DXVECTOR3 up{billboard.m[1][0], billboard.m[1][1], billboard.m[1][2]};
  std::size_t used = 0;
  for (const Particle& p : particles) {
    if (!p.alive) continue;
    // Truncated to a byte; kept within 0..255 so rounding at the end of life cannot wrap.
    auto byte = [](float v) { return static_cast<std::uint32_t>(static_cast<int>(Clamp(v, 0, 1) * 255.0f)); };
    std::uint32_t argb = byte(p.alpha) << 24 | byte(p.color[0]) << 16 | byte(p.color[1]) << 8 | byte(p.color[2]);
    D3DXVECTOR3 centre = p.position;
    if (p.swirlRate > 0 || p.swirlRateChange > 0) {
      centre.x += p.swirlAxis.x * p.swirlRadius;
      centre.y += p.swirlAxis.y * p.swirlRadius;
      centre.z += p.swirlAxis.z * p.swirlRadius;
    }
    float h = p.size / 2;
    const float corner[4][2] = {{-h, -h}, {-h, h}, {h, -h}, {h, h}};
    ParticleVertex v[4];
    for (int i = 0; i < 4; ++i) {
      v[i] = quad[i];
      const D3DXVECTOR3 at = centre + right * corner[i][0] + up * corner[i][1];
      v[i].x = at.x;
      v[i].y = at.y;
      v[i].z = at.z;
      v[i].diffuse = argb;
    }
    // The strip's two triangles, with the winding the strip gives them.
    const int order[6] = {0, 1, 2, 2, 1, 3};
    for (int k : order) batch_[used++] = v[k];
  }
  if (used > 0) {
    device->SetTransform(D3DTS_WORLD, &world);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(used / 3), batch_.data(), sizeof(ParticleVertex));
  }

  device->SetTransform(D3DTS_WORLD, &world);
  device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  device->SetRenderState(D3DRS_DITHERENABLE, TRUE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  device->SetRenderState(D3DRS_LIGHTING, lighting);
  device->SetRenderState(D3DRS_ZENABLE, zenable);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, alphatest);
}

}  // namespace effects
