// A scripted Direct3D 8 object for the host, dialog and texture tests: the adapters with their
// display modes, the formats, depth formats and multisample types that pass the checks, the
// desktop mode, the capabilities, and what CreateDevice does. Every CreateDevice call is
// recorded; one that is to succeed hands out the device the test gives it.
#pragma once

#include <algorithm>
#include <set>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace testsupport {

class FakeDirect3D final : public d3d8::IDirect3D8 {
 public:
  using D3DFORMAT = d3d8::D3DFORMAT;
  using HRESULT = d3d8::HRESULT;
  using UINT = d3d8::UINT;

  // One list of display modes per adapter.
  std::vector<std::vector<d3d8::D3DDISPLAYMODE>> adapters;
  std::vector<D3DFORMAT> badFormats;  // refused by CheckDeviceType
  // Pass CheckDeviceFormat as depth-stencil surfaces, and as textures.
  std::vector<D3DFORMAT> depthFormats = {d3d8::D3DFMT_D16, d3d8::D3DFMT_D24X8};
  std::set<D3DFORMAT> textureFormats;
  bool depthStencilMatch = true;  // CheckDepthStencilMatch's answer
  std::vector<UINT> samples = {0, 2, 4};
  bool desktopReadable = true;
  d3d8::D3DDISPLAYMODE desktop = {1024, 768, 60, d3d8::D3DFMT_X8R8G8B8};
  d3d8::D3DCAPS8 caps{};

  // CreateDevice: the first failCreates calls fail; a later one hands out device (with a
  // reference of its own), or fails when there is none.
  int failCreates = 0;
  d3d8::IDirect3DDevice8* device = nullptr;
  struct CreateCall {
    UINT adapter;
    d3d8::HWND window;
    d3d8::DWORD flags;
    d3d8::D3DPRESENT_PARAMETERS params;
  };
  std::vector<CreateCall> creates;

  d3d8::ULONG refs = 1;

  d3d8::ULONG AddRef() override { return ++refs; }
  d3d8::ULONG Release() override { return --refs; }  // owned by the test
  UINT GetAdapterCount() override { return static_cast<UINT>(adapters.size()); }
  HRESULT GetAdapterIdentifier(UINT, d3d8::DWORD, d3d8::D3DADAPTER_IDENTIFIER8* id) override {
    *id = {};
    return d3d8::D3D_OK;
  }
  UINT GetAdapterModeCount(UINT a) override { return a < adapters.size() ? static_cast<UINT>(adapters[a].size()) : 0; }
  HRESULT EnumAdapterModes(UINT a, UINT m, d3d8::D3DDISPLAYMODE* out) override {
    if (a >= adapters.size() || m >= adapters[a].size()) return d3d8::D3DERR_INVALIDCALL;
    *out = adapters[a][m];
    return d3d8::D3D_OK;
  }
  HRESULT GetAdapterDisplayMode(UINT, d3d8::D3DDISPLAYMODE* out) override {
    if (!desktopReadable) return d3d8::D3DERR_NOTAVAILABLE;
    *out = desktop;
    return d3d8::D3D_OK;
  }
  HRESULT CheckDeviceType(UINT, d3d8::D3DDEVTYPE, D3DFORMAT f, D3DFORMAT, d3d8::BOOL) override {
    return Has(badFormats, f) ? d3d8::D3DERR_NOTAVAILABLE : d3d8::D3D_OK;
  }
  HRESULT CheckDeviceFormat(UINT, d3d8::D3DDEVTYPE, D3DFORMAT, d3d8::DWORD, d3d8::D3DRESOURCETYPE type,
                            D3DFORMAT f) override {
    if (type == d3d8::D3DRTYPE_TEXTURE) return textureFormats.count(f) ? d3d8::D3D_OK : d3d8::D3DERR_NOTAVAILABLE;
    return Has(depthFormats, f) ? d3d8::D3D_OK : d3d8::D3DERR_NOTAVAILABLE;
  }
  HRESULT CheckDeviceMultiSampleType(UINT, d3d8::D3DDEVTYPE, D3DFORMAT, d3d8::BOOL,
                                     d3d8::D3DMULTISAMPLE_TYPE t) override {
    return Has(samples, static_cast<UINT>(t)) ? d3d8::D3D_OK : d3d8::D3DERR_NOTAVAILABLE;
  }
  HRESULT CheckDepthStencilMatch(UINT, d3d8::D3DDEVTYPE, D3DFORMAT, D3DFORMAT, D3DFORMAT) override {
    return depthStencilMatch ? d3d8::D3D_OK : d3d8::D3DERR_NOTAVAILABLE;
  }
  HRESULT GetDeviceCaps(UINT, d3d8::D3DDEVTYPE, d3d8::D3DCAPS8* out) override {
    *out = caps;
    return d3d8::D3D_OK;
  }
  HRESULT CreateDevice(UINT adapter, d3d8::D3DDEVTYPE, d3d8::HWND window, d3d8::DWORD flags,
                       d3d8::D3DPRESENT_PARAMETERS* params, d3d8::IDirect3DDevice8** out) override {
    creates.push_back(CreateCall{adapter, window, flags, *params});
    *out = nullptr;
    if (static_cast<int>(creates.size()) <= failCreates || !device) return d3d8::D3DERR_NOTAVAILABLE;
    device->AddRef();
    *out = device;
    return d3d8::D3D_OK;
  }

 private:
  template <typename T, typename U>
  static bool Has(const std::vector<T>& list, U value) {
    return std::find(list.begin(), list.end(), static_cast<T>(value)) != list.end();
  }
};

}  // namespace testsupport
