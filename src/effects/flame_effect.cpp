#include "effects/flame_effect.h"

namespace effects {

using d3dx::D3DXVECTOR3;
using d3dx::D3DX_PI;

namespace {
}  // namespace

void FlameEffect::SetFlameSize(float s) {
  flameSize = s;
  Configure();
}

void FlameEffect::SetFlamePosition(const D3DXVECTOR3& p) {
  flamePosition = p;
  Configure();
}

void FlameEffect::SetFlameDirection(const D3DXVECTOR3& d) {
  flameDirection = d;
  Configure();
}

void FlameEffect::SetTextureCallback(TextureCallback cb) {
  tongues.SetTextureCallback(cb);
  base.SetTextureCallback(cb);
}

void FlameEffect::Configure() {
  const float s = flameSize;
  const float w = 1.5f * s;
  const float b = w / 8;
  const D3DXVECTOR3 up{0, 9.8f, 0};

  // Orange tongues that fade to pale yellow while they grow and rise.
  tongues.SetPoolSize(1000);
  tongues.SetEmissionRate(40);
  tongues.SetSpawnRing(s / 4);
  tongues.SetPosition(flamePosition);
  tongues.SetDirection(flameDirection, 0.5235986f);
  tongues.SetColors(0x00003CFFu, 0x0064C8FFu, 0);
  tongues.SetAlpha(1.0f, 0, 0.1f);
  tongues.SetSize(b, 3 * b, b / 2);
  tongues.SetLife(2.0f, 0.5f);
  tongues.SetGravity(up, -0.04f, 0.1f, 0);
  tongues.SetSpeed(w / 2, w / 4);
  tongues.SetSwirlRadius(b / 2, b / 4, b / 8);
  tongues.SetSwirlRate(2 * D3DX_PI, D3DX_PI, D3DX_PI / 4);

  // A small dark red base that shrinks as it rises.
  base.SetPoolSize(20);
  base.SetEmissionRate(20);
  base.SetSpawnRing(s / 5);
  base.SetPosition(flamePosition);
  base.SetDirection(flameDirection, 0.7853982f);
  base.SetColors(0x00320064u, 0x00320037u, 0);
  base.SetAlpha(0.99f, 0, 0.1f);
  base.SetSize(3 * b, b, b / 4);
  base.SetLife(1.0f, 0.5f);
  base.SetGravity(up, -0.04f, 0.1f, 0);
  base.SetSpeed(w, w / 4);
  base.SetSwirlRadius(b / 2, b / 2, b / 4);
  base.SetSwirlRate(2 * D3DX_PI, 2 * D3DX_PI, D3DX_PI / 4);
}

d3d8::HRESULT FlameEffect::LoadTextures(d3d8::IDirect3DDevice8* dev) {
  device = dev;
  d3d8::HRESULT hr = tongues.LoadTexture(dev);
  d3d8::HRESULT hr2 = base.LoadTexture(dev);
  return hr < 0 ? hr : hr2;
}

void FlameEffect::ReleaseTextures() {
  tongues.ReleaseTexture();
  base.ReleaseTexture();
}

void FlameEffect::Update(float dt) {
  tongues.Update(dt);
  base.Update(dt);
}

void FlameEffect::Draw() {
  if (!device) return;
  tongues.Draw(device, true);
  base.Draw(device, true);
}

}  // namespace effects
