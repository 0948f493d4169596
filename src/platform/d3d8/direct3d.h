// The Direct3D 8 object: adapters and their display modes, format checks, capabilities and
// device creation.
#pragma once

#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/gl_context.h"

namespace d3d8 {

class Direct3D final : public IDirect3D8 {
 public:
  Direct3D();
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override;

  UINT GetAdapterCount() override { return static_cast<UINT>(adapters_.size()); }
  HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER8* identifier) override;
  UINT GetAdapterModeCount(UINT adapter) override;
  HRESULT EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* displayMode) override;
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* displayMode) override;
  HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                          BOOL windowed) override;
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                            D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override;
  HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL windowed,
                                     D3DMULTISAMPLE_TYPE multiSample) override;
  HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                 D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) override;
  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) override;
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                       D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** device) override;

  // Largest supported sample count not above the request (0 when none).
  UINT SupportedSamples(UINT requested) const;
  const GlLimits& Limits() const { return ProbeGlLimits(); }

 private:
  struct Adapter {
    D3DADAPTER_IDENTIFIER8 identifier{};
    std::vector<D3DDISPLAYMODE> modes;
    D3DDISPLAYMODE desktop{};
  };
  bool ValidAdapter(UINT adapter, D3DDEVTYPE type) const {
    return adapter < adapters_.size() && type == D3DDEVTYPE_HAL;
  }
  ULONG refs_ = 1;
  std::vector<Adapter> adapters_;
};

}  // namespace d3d8
