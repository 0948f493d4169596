// An offscreen device of a given size (Mesa's GL through EGL, no display) for the render tests.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace testsupport {

struct OffscreenDevice {
  d3d8::IDirect3D8* d3d = nullptr;
  d3d8::IDirect3DDevice8* dev = nullptr;
  d3d8::D3DPRESENT_PARAMETERS pp{};
  OffscreenDevice(d3d8::UINT width, d3d8::UINT height) {
    using namespace d3d8;
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    if (!d3d) return;
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    if (d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev) < 0)
      dev = nullptr;
  }
  ~OffscreenDevice() {
    if (dev) dev->Release();
    if (d3d) d3d->Release();
  }
  OffscreenDevice(const OffscreenDevice&) = delete;
  OffscreenDevice& operator=(const OffscreenDevice&) = delete;

  // Presents and reads the frame back, top row first, RGBA.
  std::vector<std::uint8_t> Frame() {
    std::vector<std::uint8_t> rgba;
    d3d8::UINT w = 0, h = 0;
    dev->Present(nullptr, nullptr, nullptr, nullptr);
    d3d8::ReadPresentedFrame(dev, rgba, w, h);
    return rgba;
  }
};

}  // namespace scene_test
