// A Direct3D 8 device double for texture creation tests: textures live in memory, every
// created texture and lock is recorded, and the caps and accepted formats are set by the test.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "support/fake_direct3d.h"

namespace d3dx_test {

using namespace d3d8;

inline std::uint32_t FakeBytesPerPixel(D3DFORMAT f) {
  switch (f) {
    case D3DFMT_A8R8G8B8: case D3DFMT_X8R8G8B8: return 4;
    case D3DFMT_R8G8B8: return 3;
    case D3DFMT_L8: case D3DFMT_A8: case D3DFMT_R3G3B2: case D3DFMT_A4L4: return 1;
    default: return 2;
  }
}

inline bool FakeIsDxt(D3DFORMAT f) {
  return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5;
}

class FakeTexture : public IDirect3DTexture8 {
 public:
  struct Level {
    UINT width, height;
    INT pitch;
    std::vector<std::uint8_t> bits;
    int locks = 0;
    bool locked = false;
  };

  FakeTexture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool, int* liveCounter)
      : usage_(usage), format_(format), pool_(pool), live_(liveCounter) {
    ++*live_;
    for (UINT i = 0; i < levels; ++i) {
      Level l;
      l.width = w;
      l.height = h;
      if (FakeIsDxt(format)) {
        l.pitch = static_cast<INT>((w + 3) / 4 * (format == D3DFMT_DXT1 ? 8 : 16));
        l.bits.assign(static_cast<std::size_t>(l.pitch) * ((h + 3) / 4), 0xCD);
      } else {
        // Padded rows, so that code ignoring the pitch is caught.
        l.pitch = static_cast<INT>(w * FakeBytesPerPixel(format) + 8);
        l.bits.assign(static_cast<std::size_t>(l.pitch) * h, 0xCD);
      }
      levels_.push_back(std::move(l));
      w = w > 1 ? w / 2 : 1;
      h = h > 1 ? h / 2 : 1;
    }
  }

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override {
    if (level >= levels_.size() || !desc) return D3DERR_INVALIDCALL;
    *desc = D3DSURFACE_DESC{};
    desc->Format = format_;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->Width = levels_[level].width;
    desc->Height = levels_[level].height;
    desc->Size = static_cast<UINT>(levels_[level].bits.size());
    return D3D_OK;
  }
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT*, DWORD) override {
    if (level >= levels_.size() || !locked || levels_[level].locked) return D3DERR_INVALIDCALL;
    if (pool_ == D3DPOOL_DEFAULT && !lockableDefault) return D3DERR_INVALIDCALL;
    levels_[level].locked = true;
    ++levels_[level].locks;
    locked->Pitch = levels_[level].pitch;
    locked->pBits = levels_[level].bits.data();
    return D3D_OK;
  }
  HRESULT UnlockRect(UINT level) override {
    if (level >= levels_.size() || !levels_[level].locked) return D3DERR_INVALIDCALL;
    levels_[level].locked = false;
    return D3D_OK;
  }
  HRESULT GetSurfaceLevel(UINT, IDirect3DSurface8**) override { return win32::E_NOTIMPL; }
  HRESULT AddDirtyRect(const RECT*) override { return win32::E_NOTIMPL; }
  DWORD SetLOD(DWORD) override { return 0; }
  DWORD GetLOD() override { return 0; }
  HRESULT GetDevice(IDirect3DDevice8**) override { return win32::E_NOTIMPL; }
  DWORD SetPriority(DWORD) override { return 0; }
  DWORD GetPriority() override { return 0; }
  void PreLoad() override {}

  // Pixel of level `level` at (x, y) as stored (little-endian, up to 4 bytes).
  std::uint32_t Pixel(UINT level, UINT x, UINT y) const {
    const Level& l = levels_[level];
    const std::uint8_t* p = &l.bits[static_cast<std::size_t>(y) * l.pitch + x * FakeBytesPerPixel(format_)];
    std::uint32_t v = 0;
    for (std::uint32_t b = 0; b < FakeBytesPerPixel(format_); ++b) v |= static_cast<std::uint32_t>(p[b]) << (8 * b);
    return v;
  }
  const Level& LevelAt(UINT i) const { return levels_[i]; }
  std::vector<Level>& Levels() { return levels_; }
  D3DFORMAT Format() const { return format_; }
  D3DPOOL Pool() const { return pool_; }
  ULONG Refs() const { return refs_; }

  bool lockableDefault = false;

 private:
  ~FakeTexture() override { --*live_; }

  ULONG refs_ = 1;
  DWORD usage_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  int* live_;
  std::vector<Level> levels_;
};

class FakeDevice : public IDirect3DDevice8 {
 public:
  struct CreateCall {
    UINT width, height, levels;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;
  };

  FakeDevice() {
    caps.TextureCaps = D3DPTEXTURECAPS_MIPMAP;
    caps.MaxTextureWidth = 2048;
    caps.MaxTextureHeight = 2048;
    accepted = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_X1R5G5B5,
                D3DFMT_A4R4G4B4, D3DFMT_L8, D3DFMT_A8L8, D3DFMT_A8, D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5};
  }
  ~FakeDevice() override {
    for (FakeTexture* t : textures) t->Release();
  }

  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetDirect3D(IDirect3D8** d3d) override {
    d3d_.AddRef();
    *d3d = &d3d_;
    return D3D_OK;
  }
  HRESULT GetDeviceCaps(D3DCAPS8* out) override {
    *out = caps;
    return D3D_OK;
  }
  HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) override {
    *mode = D3DDISPLAYMODE{};
    mode->Width = 640;
    mode->Height = 480;
    mode->Format = D3DFMT_X8R8G8B8;
    return D3D_OK;
  }
  HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) override {
    *params = D3DDEVICE_CREATION_PARAMETERS{};
    params->DeviceType = D3DDEVTYPE_HAL;
    return D3D_OK;
  }
  HRESULT CreateTexture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture8** texture) override {
    calls.push_back({w, h, levels, usage, format, pool});
    if (!texture || w == 0 || h == 0 || !accepted.count(format)) return D3DERR_INVALIDCALL;
    if (failCreates > 0) {
      --failCreates;
      return D3DERR_OUTOFVIDEOMEMORY;
    }
    UINT full = 1;
    for (UINT s = w > h ? w : h; s > 1; s >>= 1) ++full;
    if (levels == 0 || levels > full) levels = full;
    auto* t = new FakeTexture(w, h, levels, usage, format, pool, &liveTextures);
    t->AddRef();  // the device double keeps one reference for inspection
    textures.push_back(t);
    *texture = t;
    return D3D_OK;
  }
  HRESULT UpdateTexture(IDirect3DBaseTexture8* source, IDirect3DBaseTexture8* dest) override {
    auto* s = static_cast<FakeTexture*>(source);
    auto* d = static_cast<FakeTexture*>(dest);
    if (s->Pool() != D3DPOOL_SYSTEMMEM || d->Pool() != D3DPOOL_DEFAULT || s->GetLevelCount() != d->GetLevelCount())
      return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < s->GetLevelCount(); ++i) d->Levels()[i].bits = s->LevelAt(i).bits;
    ++updates;
    return D3D_OK;
  }
  HRESULT TestCooperativeLevel() override { return win32::E_NOTIMPL; }
  UINT GetAvailableTextureMem() override { return 0; }
  HRESULT ResourceManagerDiscardBytes(DWORD) override { return win32::E_NOTIMPL; }
  BOOL ShowCursor(BOOL) override { return 0; }
  HRESULT Reset(D3DPRESENT_PARAMETERS*) override { return win32::E_NOTIMPL; }
  HRESULT Present(const RECT*, const RECT*, HWND, const RGNDATA*) override { return win32::E_NOTIMPL; }
  HRESULT GetBackBuffer(UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface8**) override { return win32::E_NOTIMPL; }
  void SetGammaRamp(DWORD, const D3DGAMMARAMP*) override {}
  void GetGammaRamp(D3DGAMMARAMP*) override {}
  HRESULT CreateVertexBuffer(UINT, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer8**) override { return win32::E_NOTIMPL; }
  HRESULT CreateIndexBuffer(UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DIndexBuffer8**) override { return win32::E_NOTIMPL; }
  HRESULT CreateRenderTarget(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, BOOL, IDirect3DSurface8**) override { return win32::E_NOTIMPL; }
  HRESULT CreateDepthStencilSurface(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, IDirect3DSurface8**) override { return win32::E_NOTIMPL; }
  HRESULT CreateImageSurface(UINT, UINT, D3DFORMAT, IDirect3DSurface8**) override { return win32::E_NOTIMPL; }
  HRESULT CopyRects(IDirect3DSurface8*, const RECT*, UINT, IDirect3DSurface8*, const POINT*) override { return win32::E_NOTIMPL; }
  HRESULT GetFrontBuffer(IDirect3DSurface8*) override { return win32::E_NOTIMPL; }
  HRESULT SetRenderTarget(IDirect3DSurface8*, IDirect3DSurface8*) override { return win32::E_NOTIMPL; }
  HRESULT GetRenderTarget(IDirect3DSurface8**) override { return win32::E_NOTIMPL; }
  HRESULT GetDepthStencilSurface(IDirect3DSurface8**) override { return win32::E_NOTIMPL; }
  HRESULT BeginScene() override { return win32::E_NOTIMPL; }
  HRESULT EndScene() override { return win32::E_NOTIMPL; }
  HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return win32::E_NOTIMPL; }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return win32::E_NOTIMPL; }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return win32::E_NOTIMPL; }
  HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return win32::E_NOTIMPL; }
  HRESULT SetViewport(const D3DVIEWPORT8*) override { return win32::E_NOTIMPL; }
  HRESULT GetViewport(D3DVIEWPORT8*) override { return win32::E_NOTIMPL; }
  HRESULT SetMaterial(const D3DMATERIAL8*) override { return win32::E_NOTIMPL; }
  HRESULT GetMaterial(D3DMATERIAL8*) override { return win32::E_NOTIMPL; }
  HRESULT SetLight(DWORD, const D3DLIGHT8*) override { return win32::E_NOTIMPL; }
  HRESULT GetLight(DWORD, D3DLIGHT8*) override { return win32::E_NOTIMPL; }
  HRESULT LightEnable(DWORD, BOOL) override { return win32::E_NOTIMPL; }
  HRESULT GetLightEnable(DWORD, BOOL*) override { return win32::E_NOTIMPL; }
  HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return win32::E_NOTIMPL; }
  HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return win32::E_NOTIMPL; }
  HRESULT GetTexture(DWORD, IDirect3DBaseTexture8**) override { return win32::E_NOTIMPL; }
  HRESULT SetTexture(DWORD, IDirect3DBaseTexture8*) override { return win32::E_NOTIMPL; }
  HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override { return win32::E_NOTIMPL; }
  HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override { return win32::E_NOTIMPL; }
  HRESULT ValidateDevice(DWORD*) override { return win32::E_NOTIMPL; }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) override { return win32::E_NOTIMPL; }
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE, UINT, UINT, UINT, UINT) override { return win32::E_NOTIMPL; }
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE, UINT, const void*, UINT) override { return win32::E_NOTIMPL; }
  HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE, UINT, UINT, UINT, const void*, D3DFORMAT, const void*, UINT) override { return win32::E_NOTIMPL; }
  HRESULT SetVertexShader(DWORD) override { return win32::E_NOTIMPL; }
  HRESULT GetVertexShader(DWORD*) override { return win32::E_NOTIMPL; }
  HRESULT SetStreamSource(UINT, IDirect3DVertexBuffer8*, UINT) override { return win32::E_NOTIMPL; }
  HRESULT GetStreamSource(UINT, IDirect3DVertexBuffer8**, UINT*) override { return win32::E_NOTIMPL; }
  HRESULT SetIndices(IDirect3DIndexBuffer8*, UINT) override { return win32::E_NOTIMPL; }
  HRESULT GetIndices(IDirect3DIndexBuffer8**, UINT*) override { return win32::E_NOTIMPL; }

  FakeTexture* Last() const { return textures.empty() ? nullptr : textures.back(); }

  D3DCAPS8 caps{};
  std::vector<CreateCall> calls;
  std::vector<FakeTexture*> textures;
  int liveTextures = 0;
  int failCreates = 0;
  int updates = 0;

 private:
  testsupport::FakeDirect3D d3d_;  // answers the texture format checks

 public:
  // The texture formats the device accepts (its Direct3D object answers the same).
  std::set<D3DFORMAT>& accepted = d3d_.textureFormats;
};

}  // namespace d3dx_test
