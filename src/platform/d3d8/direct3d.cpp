#include "platform/d3d8/direct3d.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/d3d8/device.h"
#include "platform/d3d8/formats.h"
#include "platform/d3d8/window_link.h"

namespace d3d8 {
namespace {

D3DFORMAT FromSdlFormat(Uint32 format) {
  switch (SDL_BITSPERPIXEL(format)) {
    case 16: return SDL_PIXELLAYOUT(format) == SDL_PACKEDLAYOUT_565 ? D3DFMT_R5G6B5 : D3DFMT_X1R5G5B5;
    case 15: return D3DFMT_X1R5G5B5;
    case 24: return SDL_BYTESPERPIXEL(format) == 3 ? D3DFMT_R8G8B8 : D3DFMT_X8R8G8B8;
    default: return D3DFMT_X8R8G8B8;
  }
}

bool DisplayFormat(D3DFORMAT f) { return f == D3DFMT_X8R8G8B8 || f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5; }

bool BackBufferFormat(D3DFORMAT f) {
  return f == D3DFMT_X8R8G8B8 || f == D3DFMT_A8R8G8B8 || f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5 ||
         f == D3DFMT_A1R5G5B5;
}

UINT Bits(D3DFORMAT f) { return (f == D3DFMT_X8R8G8B8 || f == D3DFMT_A8R8G8B8) ? 32 : 16; }

void AddMode(std::vector<D3DDISPLAYMODE>& modes, UINT w, UINT h, UINT rate, D3DFORMAT f) {
  for (const auto& m : modes)
    if (m.Width == w && m.Height == h && m.RefreshRate == rate && m.Format == f) return;
  modes.push_back({w, h, rate, f});
}

}  // namespace

Direct3D::Direct3D() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) ConnectDisplay();
  if (SDL_WasInit(SDL_INIT_VIDEO)) {
    const int displays = SDL_GetNumVideoDisplays();
    for (int d = 0; d < displays; ++d) {
      Adapter a;
      std::snprintf(a.identifier.Driver, sizeof a.identifier.Driver, "hoardel-gl");
      const char* name = SDL_GetDisplayName(d);
      std::snprintf(a.identifier.Description, sizeof a.identifier.Description, "OpenGL (%s)", name ? name : "display");
      SDL_DisplayMode desktop{};
      if (SDL_GetDesktopDisplayMode(d, &desktop) == 0) {
        a.desktop = {static_cast<UINT>(desktop.w), static_cast<UINT>(desktop.h),
                     static_cast<UINT>(std::max(desktop.refresh_rate, 0)), FromSdlFormat(desktop.format)};
      }
      const int count = SDL_GetNumDisplayModes(d);
      for (int i = 0; i < count; ++i) {
        SDL_DisplayMode m{};
        if (SDL_GetDisplayMode(d, i, &m) != 0) continue;
        const D3DFORMAT f = FromSdlFormat(m.format);
        const UINT rate = static_cast<UINT>(std::max(m.refresh_rate, 0));
        AddMode(a.modes, static_cast<UINT>(m.w), static_cast<UINT>(m.h), rate, f);
        // The GL back buffer renders any of the common colour depths on any display.
        if (f == D3DFMT_X8R8G8B8) AddMode(a.modes, static_cast<UINT>(m.w), static_cast<UINT>(m.h), rate, D3DFMT_R5G6B5);
      }
      if (a.modes.empty() && a.desktop.Width) AddMode(a.modes, a.desktop.Width, a.desktop.Height, a.desktop.RefreshRate, a.desktop.Format);
      if (!a.desktop.Width && !a.modes.empty()) a.desktop = a.modes.front();
      adapters_.push_back(a);
    }
  }
  if (adapters_.empty()) {
    // No display: one adapter with the common modes, for offscreen rendering.
    Adapter a;
    std::snprintf(a.identifier.Driver, sizeof a.identifier.Driver, "hoardel-gl");
    std::snprintf(a.identifier.Description, sizeof a.identifier.Description, "OpenGL (offscreen)");
    static const UINT sizes[][2] = {{320, 240}, {640, 400}, {640, 480},   {800, 600},
                                    {1024, 768}, {1280, 720}, {1280, 1024}, {1920, 1080}};
    for (D3DFORMAT f : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5})
      for (const auto& s : sizes) AddMode(a.modes, s[0], s[1], 60, f);
    a.desktop = {1920, 1080, 60, D3DFMT_X8R8G8B8};
    adapters_.push_back(a);
  }
  for (auto& a : adapters_) {
    a.identifier.VendorId = 0x1D3D;
    a.identifier.DeviceId = 0x0008;
    a.identifier.WHQLLevel = 1;
  }
}

ULONG Direct3D::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Direct3D::GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER8* identifier) {
  if (adapter >= adapters_.size() || !identifier) return D3DERR_INVALIDCALL;
  *identifier = adapters_[adapter].identifier;
  const GlLimits& limits = Limits();
  if (limits.valid)
    std::snprintf(identifier->Description, sizeof identifier->Description, "%s", limits.renderer);
  return D3D_OK;
}

UINT Direct3D::GetAdapterModeCount(UINT adapter) {
  return adapter < adapters_.size() ? static_cast<UINT>(adapters_[adapter].modes.size()) : 0;
}

HRESULT Direct3D::EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* displayMode) {
  if (adapter >= adapters_.size() || !displayMode || mode >= adapters_[adapter].modes.size())
    return D3DERR_INVALIDCALL;
  *displayMode = adapters_[adapter].modes[mode];
  return D3D_OK;
}

HRESULT Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* displayMode) {
  if (adapter >= adapters_.size() || !displayMode) return D3DERR_INVALIDCALL;
  *displayMode = adapters_[adapter].desktop;
  return D3D_OK;
}

HRESULT Direct3D::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                                  BOOL) {
  if (!ValidAdapter(adapter, type)) return D3DERR_INVALIDCALL;
  if (!DisplayFormat(displayFormat) || !BackBufferFormat(backBufferFormat)) return D3DERR_NOTAVAILABLE;
  if (Bits(displayFormat) != Bits(backBufferFormat)) return D3DERR_NOTAVAILABLE;
  return D3D_OK;
}

HRESULT Direct3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) {
  if (!ValidAdapter(adapter, type)) return D3DERR_INVALIDCALL;
  if (!DisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
  const FormatInfo& info = GetFormatInfo(checkFormat);
  if (!info.supported) return D3DERR_NOTAVAILABLE;
  if (info.compressed && !Limits().s3tc) return D3DERR_NOTAVAILABLE;
  if (resourceType != D3DRTYPE_SURFACE && resourceType != D3DRTYPE_TEXTURE) return D3DERR_NOTAVAILABLE;
  if (usage & D3DUSAGE_DEPTHSTENCIL) {
    if (!info.depth || resourceType != D3DRTYPE_SURFACE) return D3DERR_NOTAVAILABLE;
  } else if (info.depth) {
    return D3DERR_NOTAVAILABLE;
  }
  if ((usage & D3DUSAGE_RENDERTARGET) && !info.renderTarget) return D3DERR_NOTAVAILABLE;
  return D3D_OK;
}

UINT Direct3D::SupportedSamples(UINT requested) const {
  UINT best = 0;
  for (int c : Limits().sampleCounts)
    if (static_cast<UINT>(c) <= requested) best = static_cast<UINT>(c);
  return best;
}

HRESULT Direct3D::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL,
                                             D3DMULTISAMPLE_TYPE multiSample) {
  if (!ValidAdapter(adapter, type)) return D3DERR_INVALIDCALL;
  if (multiSample == D3DMULTISAMPLE_NONE) return D3D_OK;
  if (multiSample == 1 || multiSample > 16) return D3DERR_INVALIDCALL;
  const FormatInfo& info = GetFormatInfo(surfaceFormat);
  if (!info.supported || (!info.renderTarget && !info.depth)) return D3DERR_NOTAVAILABLE;
  for (int c : Limits().sampleCounts)
    if (static_cast<UINT>(c) == static_cast<UINT>(multiSample)) return D3D_OK;
  return D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                         D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) {
  if (!ValidAdapter(adapter, type)) return D3DERR_INVALIDCALL;
  if (!DisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
  const FormatInfo& rt = GetFormatInfo(renderTargetFormat);
  const FormatInfo& ds = GetFormatInfo(depthStencilFormat);
  if (!rt.renderTarget || !ds.depth) return D3DERR_NOTAVAILABLE;
  return D3D_OK;
}

HRESULT Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) {
  if (!ValidAdapter(adapter, type) || !caps) return D3DERR_INVALIDCALL;
  std::memset(caps, 0, sizeof *caps);
  const GlLimits& limits = Limits();
  caps->DeviceType = D3DDEVTYPE_HAL;
  caps->AdapterOrdinal = adapter;
  caps->Caps2 = D3DCAPS2_FULLSCREENGAMMA | D3DCAPS2_CANCALIBRATEGAMMA | D3DCAPS2_CANRENDERWINDOWED |
                D3DCAPS2_CANMANAGERESOURCE | D3DCAPS2_DYNAMICTEXTURES;
  caps->PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
  caps->DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_EXECUTEVIDEOMEMORY |
                  D3DDEVCAPS_TLVERTEXSYSTEMMEMORY | D3DDEVCAPS_TLVERTEXVIDEOMEMORY |
                  D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX |
                  D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_DRAWPRIMITIVES2 | D3DDEVCAPS_DRAWPRIMITIVES2EX |
                  D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION;
  caps->ZCmpCaps = caps->AlphaCmpCaps = 0xFF;
  caps->SrcBlendCaps = caps->DestBlendCaps = 0x1FFF;
  caps->TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_PROJECTED |
                      D3DPTEXTURECAPS_MIPMAP;
  caps->TextureFilterCaps = 0x03030300;
  caps->TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                             D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV | D3DPTADDRESSCAPS_MIRRORONCE;
  const DWORD maxSize = static_cast<DWORD>(std::min(limits.maxTextureSize, 8192));
  caps->MaxTextureWidth = caps->MaxTextureHeight = maxSize;
  caps->MaxTextureRepeat = 8192;
  caps->MaxTextureAspectRatio = maxSize;
  caps->MaxAnisotropy = 1;
  caps->MaxVertexW = 1e10f;
  caps->GuardBandLeft = caps->GuardBandTop = -8192.0f;
  caps->GuardBandRight = caps->GuardBandBottom = 8192.0f;
  caps->FVFCaps = 8;  // texture coordinate sets
  caps->TextureOpCaps = 0x03FFFFFF;
  caps->MaxTextureBlendStages = kMaxStages;
  caps->MaxSimultaneousTextures = kMaxStages;
  caps->VertexProcessingCaps = D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_MATERIALSOURCE7 | D3DVTXPCAPS_DIRECTIONALLIGHTS |
                               D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER;
  caps->MaxActiveLights = 8;
  caps->MaxVertexBlendMatrices = 4;
  caps->MaxPointSize = 64.0f;
  caps->MaxPrimitiveCount = 0xFFFFF;
  caps->MaxVertexIndex = 0xFFFFFF;
  caps->MaxStreams = 1;
  caps->MaxStreamStride = 255;
  // Programmable shaders are not offered, but the version gates hardware vertex processing in
  // callers, and every fixed-function path here runs on the GPU.
  caps->VertexShaderVersion = D3DVS_VERSION(1, 1);
  caps->PixelShaderVersion = 0;
  return D3D_OK;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                               D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** device) {
  if (!device) return D3DERR_INVALIDCALL;
  *device = nullptr;
  if (!ValidAdapter(adapter, type) || !params) return D3DERR_INVALIDCALL;
  return Device::Create(this, adapter, focusWindow, behaviorFlags, params, device);
}

IDirect3D8* Direct3DCreate8(UINT sdkVersion) {
  if (sdkVersion != D3D_SDK_VERSION) return nullptr;
  return new Direct3D();
}

}  // namespace d3d8
