// The texture-stage states a pass draws with. Every pass sets the filtering and addressing of
// the stages it samples, so that nothing it draws depends on what the pass before left behind.
#pragma once

#include "platform/d3d8/d3d8.h"

namespace effects {

struct StageSampling {
  d3d8::DWORD minFilter, magFilter, mipFilter;
  d3d8::DWORD addressU, addressV;
};

// Room textures: filtered and mip-mapped, tiled.
inline constexpr StageSampling kMeshSampling{d3d8::D3DTEXF_LINEAR, d3d8::D3DTEXF_LINEAR, d3d8::D3DTEXF_LINEAR,
                                             d3d8::D3DTADDRESS_WRAP, d3d8::D3DTADDRESS_WRAP};
// Sprites (flames, smoke, halos): filtered and mip-mapped, edges not wrapped onto each other.
inline constexpr StageSampling kSpriteSampling{d3d8::D3DTEXF_LINEAR, d3d8::D3DTEXF_LINEAR, d3d8::D3DTEXF_LINEAR,
                                               d3d8::D3DTADDRESS_CLAMP, d3d8::D3DTADDRESS_CLAMP};
// Pictures stretched over the screen (glow, crossfade): filtered from their top level only,
// whose edges are not wrapped onto each other.
inline constexpr StageSampling kScreenSampling{d3d8::D3DTEXF_LINEAR, d3d8::D3DTEXF_LINEAR, d3d8::D3DTEXF_NONE,
                                               d3d8::D3DTADDRESS_CLAMP, d3d8::D3DTADDRESS_CLAMP};

inline void SetStageSampling(d3d8::IDirect3DDevice8* device, d3d8::DWORD stage, const StageSampling& s) {
  using namespace d3d8;
  device->SetTextureStageState(stage, D3DTSS_MINFILTER, s.minFilter);
  device->SetTextureStageState(stage, D3DTSS_MAGFILTER, s.magFilter);
  device->SetTextureStageState(stage, D3DTSS_MIPFILTER, s.mipFilter);
  device->SetTextureStageState(stage, D3DTSS_ADDRESSU, s.addressU);
  device->SetTextureStageState(stage, D3DTSS_ADDRESSV, s.addressV);
}

// Stage 0 as texture times vertex colour (lit or unlit) in colour and alpha, with its own
// coordinates untransformed; stage 1 off unless a pass turns it on.
inline void SetModulateStage0(d3d8::IDirect3DDevice8* device) {
  using namespace d3d8;
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
  device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

}  // namespace effects
