// The Direct3D 8 device over OpenGL 3.3 core.
//
// Conventions: every framebuffer is stored with the top row first (GL row 0 = Direct3D row 0),
// so textures, render targets and read-back need no flips; the generated vertex shader mirrors
// y and shifts by half a pixel to match Direct3D's rasterisation. Only the final copy to a
// window flips. Direct3D state is kept as set; GL state follows lazily at draw time, and only
// real changes reach GL.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/device_core.h"
#include "platform/d3d8/ff_program.h"
#include "platform/d3d8/resources.h"

namespace d3d8 {

class Direct3D;

class Device final : public IDirect3DDevice8 {
 public:
  static HRESULT Create(Direct3D* d3d, UINT adapter, HWND focusWindow, DWORD flags, D3DPRESENT_PARAMETERS* params,
                        IDirect3DDevice8** out);
  ~Device() override;

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override;

  HRESULT TestCooperativeLevel() override;
  UINT GetAvailableTextureMem() override;
  HRESULT ResourceManagerDiscardBytes(DWORD) override { return D3D_OK; }
  HRESULT GetDirect3D(IDirect3D8** d3d) override;
  HRESULT GetDeviceCaps(D3DCAPS8* caps) override;
  HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) override;
  HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) override;
  BOOL ShowCursor(BOOL show) override;
  HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
  HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                  const RGNDATA* dirtyRegion) override;
  HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** backBuffer) override;
  void SetGammaRamp(DWORD flags, const D3DGAMMARAMP* ramp) override;
  void GetGammaRamp(D3DGAMMARAMP* ramp) override;

  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture8** texture) override;
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                             IDirect3DVertexBuffer8** buffer) override;
  HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            IDirect3DIndexBuffer8** buffer) override;
  HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample, BOOL lockable,
                             IDirect3DSurface8** surface) override;
  HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                    IDirect3DSurface8** surface) override;
  HRESULT CreateImageSurface(UINT width, UINT height, D3DFORMAT format, IDirect3DSurface8** surface) override;
  HRESULT CopyRects(IDirect3DSurface8* source, const RECT* sourceRects, UINT rectCount, IDirect3DSurface8* dest,
                    const POINT* destPoints) override;
  HRESULT UpdateTexture(IDirect3DBaseTexture8* source, IDirect3DBaseTexture8* dest) override;
  HRESULT GetFrontBuffer(IDirect3DSurface8* dest) override;
  HRESULT SetRenderTarget(IDirect3DSurface8* renderTarget, IDirect3DSurface8* depthStencil) override;
  HRESULT GetRenderTarget(IDirect3DSurface8** renderTarget) override;
  HRESULT GetDepthStencilSurface(IDirect3DSurface8** depthStencil) override;

  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;

  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
  HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT SetViewport(const D3DVIEWPORT8* viewport) override;
  HRESULT GetViewport(D3DVIEWPORT8* viewport) override;
  HRESULT SetMaterial(const D3DMATERIAL8* material) override;
  HRESULT GetMaterial(D3DMATERIAL8* material) override;
  HRESULT SetLight(DWORD index, const D3DLIGHT8* light) override;
  HRESULT GetLight(DWORD index, D3DLIGHT8* light) override;
  HRESULT LightEnable(DWORD index, BOOL enable) override;
  HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;

  HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) override;
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override;
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
  HRESULT ValidateDevice(DWORD* passes) override;

  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT startIndex,
                               UINT primitiveCount) override;
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                          UINT vertexStride) override;
  HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT primitiveCount,
                                 const void* indexData, D3DFORMAT indexFormat, const void* vertexData,
                                 UINT vertexStride) override;

  HRESULT SetVertexShader(DWORD handle) override;
  HRESULT GetVertexShader(DWORD* handle) override;
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) override;
  HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer8** buffer, UINT* stride) override;
  HRESULT SetIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertexIndex) override;
  HRESULT GetIndices(IDirect3DIndexBuffer8** buffer, UINT* baseVertexIndex) override;

  // Additions of the stand-in.
  HRESULT ReadPresented(std::vector<std::uint8_t>& rgba, UINT& width, UINT& height);
  void InjectLevel(HRESULT level);
  void Stats(DeviceStats* stats) const;
  void SetDrawObserver(std::function<void()> observer) { drawObserver_ = std::move(observer); }

 private:
  enum class Level { Ok, Lost, NotReset };
  struct LightSlot {
    D3DLIGHT8 light;
    bool enabled = false;
  };

  Device(Direct3D* d3d, CorePtr core);
  HRESULT CreateSwapChain(D3DPRESENT_PARAMETERS& params);
  void ReleaseSwapChain();
  void SetDefaultState();
  bool Drawable();  // false when lost: draws then succeed without drawing
  void CheckWindowLevel();

  // Draw-time synchronisation of GL with the Direct3D state.
  bool Flush();
  void ApplyFramebuffer();
  void ApplyRaster();
  bool ApplyProgram();
  void ApplyUniforms(FFProgram* program);
  void ApplyTextures();
  void ApplyVertexLayout(GLuint buffer, UINT stride);
  void ComputeDerived();
  FFKey BuildKey() const;
  void DrawArrays(D3DPRIMITIVETYPE type, GLint first, UINT primitiveCount);

  std::pair<GLuint, UINT> StreamUp(const void* data, UINT bytes, UINT stride);
  GLuint presentProgram_ = 0;
  bool BuildPresentProgram();

  ULONG refs_ = 1;
  Direct3D* d3d_;
  CorePtr core_;
  UINT adapter_ = 0;
  HWND focusWindow_ = nullptr;
  DWORD behaviorFlags_ = 0;
  D3DPRESENT_PARAMETERS params_{};
  Level level_ = Level::Ok;
  bool injected_ = false;
  bool inScene_ = false;
  UINT samples_ = 0;

  // Swap chain: the back buffer (our framebuffer object), the automatic depth surface, the
  // resolved and presented frames.
  Surface* backBuffer_ = nullptr;
  Surface* autoDepth_ = nullptr;
  GLuint drawFbo_ = 0;
  GLuint resolveFbo_ = 0, resolveTexture_ = 0;
  GLuint presentFbo_ = 0, presentTexture_ = 0;
  GLuint gammaTexture_ = 0;
  bool gammaDirty_ = true;
  bool presentedValid_ = false;
  UINT bbWidth_ = 0, bbHeight_ = 0;
  D3DGAMMARAMP gamma_{};

  // Direct3D state.
  DWORD rs_[D3DRS_MAX] = {};
  DWORD tss_[D3DMAX_TEXTURE_STAGES][D3DTSS_MAX] = {};
  D3DMATRIX world_[kMaxBlendMatrices]{}, view_{}, projection_{}, texture_[D3DMAX_TEXTURE_STAGES]{};
  D3DMATERIAL8 material_{};
  std::map<DWORD, LightSlot> lights_;
  D3DVIEWPORT8 viewport_{};
  Texture* textures_[D3DMAX_TEXTURE_STAGES] = {};
  DWORD fvf_ = 0;
  VertexBuffer* stream_ = nullptr;
  UINT streamStride_ = 0;
  IndexBuffer* indices_ = nullptr;
  UINT baseVertex_ = 0;
  Surface* renderTarget_ = nullptr;
  Surface* depthStencil_ = nullptr;

  // What changed since the last draw.
  bool keyDirty_ = true, rasterDirty_ = true, framebufferDirty_ = true, viewportDirty_ = true;
  unsigned samplerDirty_ = 0xFF, textureDirty_ = 0xFF;
  bool layoutDirty_ = true, derivedDirty_ = true, attachmentsStale_ = true;
  unsigned enabledArrays_ = 0;
  struct SamplerValues { DWORD values[D3DTSS_MAX]; bool valid; } samplerValues_[kMaxStages] = {};
  std::uint64_t versions_[kGroupCount] = {1, 1, 1, 1, 1, 1};

  // GL objects owned by the device.
  FFProgramCache programs_;
  FFProgram* program_ = nullptr;
  FFKey key_{};
  GLuint vao_ = 0;
  GLuint samplers_[kMaxStages] = {};
  GLuint ring_ = 0;
  UINT ringSize_ = 0, ringOffset_ = 0;
  std::uint8_t* ringMapped_ = nullptr;  // persistent mapping when buffer storage is available
  GLuint indexRing_ = 0;
  UINT indexRingSize_ = 0, indexRingOffset_ = 0;
  GLuint layoutBuffer_ = ~0u;
  UINT layoutStride_ = 0;
  DWORD layoutFvf_ = ~0u;

  // Derived per-draw data.
  float worldView_[kMaxBlendMatrices][16] = {};
  float normal_[kMaxBlendMatrices][9] = {};
  int activeLights_[kMaxActiveLights] = {};
  int lightCount_ = 0;
  const LightSlot* activeSlots_[kMaxActiveLights] = {};

  std::uint64_t drawCalls_ = 0, programBinds_ = 0, programsBuilt_ = 0;
  std::function<void()> drawObserver_;
};

}  // namespace d3d8
