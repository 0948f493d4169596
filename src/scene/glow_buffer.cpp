#include "scene/glow_buffer.h"

#include <cstring>

#include "effects/stage_states.h"

namespace scene {

using namespace d3d8;

namespace {

template <typename T>
void SafeRelease(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

struct CompositeVertex {
  float x, y, z, rhw;
  float u, v;
};
constexpr DWORD kCompositeFvf = D3DFVF_XYZRHW | D3DFVF_TEX1;

}  // namespace

HRESULT GlowBuffer::CreateDeviceObjects(IDirect3DDevice8* device) {
  ReleaseDeviceObjects();
  device_ = device;
  if (!device_) return E_FAIL;
  D3DMULTISAMPLE_TYPE multiSample = D3DMULTISAMPLE_NONE;
  IDirect3DSurface8* back = nullptr;
  if (SUCCEEDED(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back)) && back) {
    D3DSURFACE_DESC desc{};
    if (SUCCEEDED(back->GetDesc(&desc))) multiSample = desc.MultiSampleType;
    back->Release();
  }
  HRESULT hr = device_->CreateRenderTarget(kGlowSize, kGlowSize, D3DFMT_A8R8G8B8, multiSample, FALSE, &target_);
  if (FAILED(hr)) return hr;
  hr = device_->CreateTexture(kGlowSize, kGlowSize, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture_);
  if (FAILED(hr)) {
    SafeRelease(target_);
    return hr;
  }
  return D3D_OK;
}

void GlowBuffer::ReleaseSaved() {
  SafeRelease(savedTarget_);
  SafeRelease(savedDepth_);
}

void GlowBuffer::ReleaseDeviceObjects() {
  SafeRelease(target_);
  SafeRelease(texture_);
  ReleaseSaved();
}

HRESULT GlowBuffer::Begin() {
  if (!device_ || !target_ || !texture_) return E_FAIL;
  ReleaseSaved();
  HRESULT hr = device_->GetRenderTarget(&savedTarget_);
  if (FAILED(hr)) return hr;
  hr = device_->GetDepthStencilSurface(&savedDepth_);
  if (FAILED(hr)) {
    ReleaseSaved();
    return hr;
  }
  hr = device_->SetRenderTarget(target_, savedDepth_);
  if (FAILED(hr)) {
    ReleaseSaved();
    return hr;
  }
  return device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
}

HRESULT GlowBuffer::End() {
  if (!device_ || !savedTarget_) return E_FAIL;
  HRESULT hr = device_->SetRenderTarget(savedTarget_, savedDepth_);
  ReleaseSaved();
  if (FAILED(hr)) return hr;

  IDirect3DSurface8* top = nullptr;
  hr = texture_->GetSurfaceLevel(0, &top);
  if (FAILED(hr)) return hr;
  hr = device_->CopyRects(target_, nullptr, 0, top, nullptr);
  top->Release();
  if (FAILED(hr)) return hr;

  D3DLOCKED_RECT locked{};
  hr = texture_->LockRect(0, &locked, nullptr, 0);
  if (FAILED(hr)) return hr;
  auto* bits = static_cast<std::uint8_t*>(locked.pBits);
  for (int y = 0; y < kGlowSize; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(bits + y * locked.Pitch);
    for (int x = 0; x < kGlowSize; ++x) {
      const std::uint32_t p = row[x];
      const int i = y * kGlowSize + x;
      planes_[0][i] = static_cast<std::uint8_t>(p);
      planes_[1][i] = static_cast<std::uint8_t>(p >> 8);
      planes_[2][i] = static_cast<std::uint8_t>(p >> 16);
    }
  }
  if (blurPasses_ > 0) {
    for (int pass = 0; pass < blurPasses_; ++pass)
      for (auto& plane : planes_) BlurGlowPlane(plane.data());
    for (int y = 0; y < kGlowSize; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(bits + y * locked.Pitch);
      for (int x = 0; x < kGlowSize; ++x) {
        const int i = y * kGlowSize + x;
        row[x] = static_cast<std::uint32_t>(planes_[0][i]) | static_cast<std::uint32_t>(planes_[1][i]) << 8 |
                 static_cast<std::uint32_t>(planes_[2][i]) << 16;
      }
    }
  }
  return texture_->UnlockRect(0);
}

void GlowBuffer::Composite() {
  if (!device_ || !texture_) return;
  D3DVIEWPORT8 vp{};
  device_->GetViewport(&vp);
  const float w = static_cast<float>(vp.Width), h = static_cast<float>(vp.Height);
  const float x0 = static_cast<float>(vp.X), y0 = static_cast<float>(vp.Y);
  const CompositeVertex quad[4] = {
      {x0, y0 + h, 1.0f, 1.0f, 0.0f, 1.0f},
      {x0, y0, 1.0f, 1.0f, 0.0f, 0.0f},
      {x0 + w, y0 + h, 1.0f, 1.0f, 1.0f, 1.0f},
      {x0 + w, y0, 1.0f, 1.0f, 1.0f, 0.0f},
  };
  DWORD lighting = 0, zEnable = 0, alphaTest = 0;
  device_->GetRenderState(D3DRS_LIGHTING, &lighting);
  device_->GetRenderState(D3DRS_ZENABLE, &zEnable);
  device_->GetRenderState(D3DRS_ALPHATESTENABLE, &alphaTest);
  device_->SetRenderState(D3DRS_ZENABLE, FALSE);
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  // Screened over the picture (glow x (1 - picture) + picture): a glow over dark stone adds
  // in full, over gold already lit near its brightest it adds little; added in full there, it
  // turned the gold white.
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_INVDESTCOLOR);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  // The 128 x 128 picture stretched over the screen: filtered, or its texels show as blocks;
  // only its top level holds the blurred glow; clamped, so no edge bleeds onto the opposite one.
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
  device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  effects::SetStageSampling(device_, 0, effects::kScreenSampling);
  device_->SetTexture(0, texture_);
  device_->SetVertexShader(kCompositeFvf);
  device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(CompositeVertex));
  device_->SetTexture(0, nullptr);
  device_->SetRenderState(D3DRS_LIGHTING, lighting);
  device_->SetRenderState(D3DRS_ZENABLE, zEnable);
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, alphaTest);
}

}  // namespace scene
