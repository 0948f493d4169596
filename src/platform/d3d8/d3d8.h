// The Direct3D 8 object and device interfaces, with reference counting and the Direct3D 8
// method names and signatures. The implementation draws with OpenGL 3.3 core: into the SDL
// window of the device window when it has one, otherwise into an offscreen EGL context.
//
// Where this stand-in stops (the rest of this folder has the details):
// Done:
//  - One adapter per display (one offscreen adapter without a display) with its modes;
//    format, depth-stencil and multisample checks; one device per window, or offscreen.
//    The back buffer is our own framebuffer; Present resolves multisampling and applies the
//    gamma ramp as a lookup pass. Lost and not-reset are real states; Reset needs the
//    default pool emptied first.
//  - 2D textures with mip chains in the managed, default and system-memory pools, render
//    targets, depth-stencil and image surfaces, LockRect, UpdateTexture, CopyRects (render
//    targets read back), GetFrontBuffer; vertex buffers, 16- and 32-bit index buffers; all
//    six primitive types, indexed or not, from buffers or from user memory.
//  - The fixed-function pipeline as generated GLSL: transforms, up to 8 enabled lights
//    (point, spot, directional; the lowest indices win), materials and colour-vertex
//    sources, specular, local viewer; texture stages 0..3 with every operation from
//    SELECTARG1 to LERP and the TEMP register; texture coordinate generation (camera-space
//    normal, position, reflection vector) and texture transforms, projected or not;
//    non-indexed vertex blending with 1..3 weights; alpha test; XYZRHW vertices.
//  - Render states that act: ZENABLE, ZWRITEENABLE, ZFUNC, ZBIAS, FILLMODE, CULLMODE,
//    ALPHABLENDENABLE, SRCBLEND, DESTBLEND, BLENDOP, ALPHATESTENABLE, ALPHAFUNC, ALPHAREF,
//    STENCIL*, COLORWRITEENABLE, MULTISAMPLEANTIALIAS, LIGHTING, AMBIENT, SPECULARENABLE,
//    LOCALVIEWER, NORMALIZENORMALS, COLORVERTEX, *MATERIALSOURCE, VERTEXBLEND, TEXTUREFACTOR.
//    Sampler states that act: ADDRESSU/V, BORDERCOLOR, MAG/MIN/MIPFILTER, MIPMAPLODBIAS,
//    MAXMIPLEVEL.
//  - Formats: A8R8G8B8, X8R8G8B8, R5G6B5, X1R5G5B5, A1R5G5B5 (also as render targets),
//    R8G8B8, A4R4G4B4, X4R4G4B4, R3G3B2, A8, L8, A8L8, DXT1/3/5 where GL has S3TC (DXT2/4
//    as 3/5); depth D16, D24S8 (D24X8, D24X4S4, D15S1 stored as D24S8), D32.
// Partly:
//  - Other render states, stages 4..7, ADDRESSW and MAXANISOTROPY are kept and read back
//    but change nothing; anisotropic filtering is linear; bump-mapping and premodulate
//    operations pass their first argument through.
//  - Multisampling falls back to what GL offers; up to 3 back buffers are accepted, one is
//    drawn; a full-screen device never changes the display mode.
//  - Caps say 4 stages, 8 lights, 4 blend matrices, one stream, vertex shader 1.1 (so that
//    callers pick hardware vertex processing) and no pixel shaders. ValidateDevice always
//    answers one pass, GetAvailableTextureMem 256 MiB; ShowCursor does nothing; Present
//    ignores its rectangles and window; DrawIndexedPrimitive ignores minIndex/numVertices.
// Left out: fog, point sprites and point size (points are one pixel), flat shading,
//  dithering, clip planes, texture wrapping, cube and volume textures, programmable shaders
//  (SetVertexShader takes FVF codes only), indexed blending, tweening, streams other than 0,
//  and the methods not declared below (swap chains, state blocks, palettes, patches).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8_types.h"

namespace d3d8 {

struct IDirect3D8;
struct IDirect3DDevice8;

// Reference counting: a new object starts with one reference; Release returns the count left
// and destroys the object when it reaches zero.
struct IUnknown {
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

struct IDirect3DResource8 : IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice8** device) = 0;
  virtual DWORD SetPriority(DWORD priority) = 0;
  virtual DWORD GetPriority() = 0;
  virtual void PreLoad() = 0;
  virtual D3DRESOURCETYPE GetType() = 0;
};

struct IDirect3DSurface8 : IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice8** device) = 0;
  virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
  // Render targets and depth surfaces that are not lockable fail with D3DERR_INVALIDCALL.
  virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect() = 0;
};

struct IDirect3DBaseTexture8 : IDirect3DResource8 {
  virtual DWORD SetLOD(DWORD lod) = 0;
  virtual DWORD GetLOD() = 0;
  virtual DWORD GetLevelCount() = 0;
};

struct IDirect3DTexture8 : IDirect3DBaseTexture8 {
  virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
  virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) = 0;
  virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect(UINT level) = 0;
  virtual HRESULT AddDirtyRect(const RECT* rect) = 0;
};

struct IDirect3DVertexBuffer8 : IDirect3DResource8 {
  virtual HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) = 0;
};

struct IDirect3DIndexBuffer8 : IDirect3DResource8 {
  virtual HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) = 0;
};

struct IDirect3DDevice8 : IUnknown {
  virtual HRESULT TestCooperativeLevel() = 0;
  virtual UINT GetAvailableTextureMem() = 0;
  virtual HRESULT ResourceManagerDiscardBytes(DWORD bytes) = 0;
  virtual HRESULT GetDirect3D(IDirect3D8** d3d) = 0;
  virtual HRESULT GetDeviceCaps(D3DCAPS8* caps) = 0;
  virtual HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) = 0;
  virtual HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) = 0;
  virtual BOOL ShowCursor(BOOL show) = 0;
  virtual HRESULT Reset(D3DPRESENT_PARAMETERS* params) = 0;
  virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                          const RGNDATA* dirtyRegion) = 0;
  virtual HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** backBuffer) = 0;
  virtual void SetGammaRamp(DWORD flags, const D3DGAMMARAMP* ramp) = 0;
  virtual void GetGammaRamp(D3DGAMMARAMP* ramp) = 0;

  virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                IDirect3DTexture8** texture) = 0;
  virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                     IDirect3DVertexBuffer8** buffer) = 0;
  virtual HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                    IDirect3DIndexBuffer8** buffer) = 0;
  virtual HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                     BOOL lockable, IDirect3DSurface8** surface) = 0;
  virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                            D3DMULTISAMPLE_TYPE multiSample, IDirect3DSurface8** surface) = 0;
  virtual HRESULT CreateImageSurface(UINT width, UINT height, D3DFORMAT format, IDirect3DSurface8** surface) = 0;
  // Copies rectangles between surfaces of the same format; a render target as source is read
  // back from the GPU (multisampled targets are resolved first).
  virtual HRESULT CopyRects(IDirect3DSurface8* source, const RECT* sourceRects, UINT rectCount,
                            IDirect3DSurface8* dest, const POINT* destPoints) = 0;
  virtual HRESULT UpdateTexture(IDirect3DBaseTexture8* source, IDirect3DBaseTexture8* dest) = 0;
  virtual HRESULT GetFrontBuffer(IDirect3DSurface8* dest) = 0;
  virtual HRESULT SetRenderTarget(IDirect3DSurface8* renderTarget, IDirect3DSurface8* depthStencil) = 0;
  virtual HRESULT GetRenderTarget(IDirect3DSurface8** renderTarget) = 0;
  virtual HRESULT GetDepthStencilSurface(IDirect3DSurface8** depthStencil) = 0;

  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                        DWORD stencil) = 0;

  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
  virtual HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT8* viewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT8* viewport) = 0;
  virtual HRESULT SetMaterial(const D3DMATERIAL8* material) = 0;
  virtual HRESULT GetMaterial(D3DMATERIAL8* material) = 0;
  virtual HRESULT SetLight(DWORD index, const D3DLIGHT8* light) = 0;
  virtual HRESULT GetLight(DWORD index, D3DLIGHT8* light) = 0;
  virtual HRESULT LightEnable(DWORD index, BOOL enable) = 0;
  virtual HRESULT GetLightEnable(DWORD index, BOOL* enable) = 0;
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;

  virtual HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) = 0;
  virtual HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) = 0;
  virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) = 0;
  virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
  virtual HRESULT ValidateDevice(DWORD* passes) = 0;

  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) = 0;
  virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT startIndex,
                                       UINT primitiveCount) = 0;
  virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                                  UINT vertexStride) = 0;
  virtual HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                                         UINT primitiveCount, const void* indexData, D3DFORMAT indexFormat,
                                         const void* vertexData, UINT vertexStride) = 0;

  // Only flexible-vertex-format handles are supported: the handle is the FVF code.
  virtual HRESULT SetVertexShader(DWORD handle) = 0;
  virtual HRESULT GetVertexShader(DWORD* handle) = 0;
  virtual HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) = 0;
  virtual HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer8** buffer, UINT* stride) = 0;
  virtual HRESULT SetIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertexIndex) = 0;
  virtual HRESULT GetIndices(IDirect3DIndexBuffer8** buffer, UINT* baseVertexIndex) = 0;
};

struct IDirect3D8 : IUnknown {
  virtual UINT GetAdapterCount() = 0;
  virtual HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER8* identifier) = 0;
  virtual UINT GetAdapterModeCount(UINT adapter) = 0;
  virtual HRESULT EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* displayMode) = 0;
  virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* displayMode) = 0;
  virtual HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat,
                                  D3DFORMAT backBufferFormat, BOOL windowed) = 0;
  virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) = 0;
  virtual HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL windowed,
                                             D3DMULTISAMPLE_TYPE multiSample) = 0;
  virtual HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                         D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) = 0;
  virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) = 0;
  virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                               D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** device) = 0;
};

using LPDIRECT3D8 = IDirect3D8*;
using LPDIRECT3DDEVICE8 = IDirect3DDevice8*;
using LPDIRECT3DRESOURCE8 = IDirect3DResource8*;
using LPDIRECT3DBASETEXTURE8 = IDirect3DBaseTexture8*;
using LPDIRECT3DTEXTURE8 = IDirect3DTexture8*;
using LPDIRECT3DSURFACE8 = IDirect3DSurface8*;
using LPDIRECT3DVERTEXBUFFER8 = IDirect3DVertexBuffer8*;
using LPDIRECT3DINDEXBUFFER8 = IDirect3DIndexBuffer8*;

// Creates the Direct3D object; null when sdkVersion is not D3D_SDK_VERSION.
IDirect3D8* Direct3DCreate8(UINT sdkVersion);

// ---------------------------------------------------------------------------------------------
// Additions of this stand-in (not part of Direct3D 8).

// The last presented frame, gamma applied, as tightly packed RGBA rows from the top.
HRESULT ReadPresentedFrame(IDirect3DDevice8* device, std::vector<std::uint8_t>& rgba, UINT& width,
                           UINT& height);

// Writes RGBA rows (top first) as an 8-bit RGBA PNG file. Returns S_OK or E_FAIL.
HRESULT WriteRgbaPng(const std::string& path, const std::vector<std::uint8_t>& rgba, UINT width, UINT height);

// Test hook: puts the device into a cooperative-level state, as a hidden window or a display
// mode change would. D3DERR_DEVICELOST: lost; nothing draws or presents and Reset fails.
// D3DERR_DEVICENOTRESET: the display is back; Reset (with no default-pool resources alive)
// restores the device. D3D_OK: same as D3DERR_DEVICENOTRESET when the device is lost, else nothing.
void InjectCooperativeLevel(IDirect3DDevice8* device, HRESULT level);

// Test hook: `observer` runs at every draw call that is about to reach GL, while the device's
// states are those the draw uses (read them back with the Get methods). An empty function
// removes it.
void SetDrawObserver(IDirect3DDevice8* device, std::function<void()> observer);

// Counters for tests and the benchmark.
struct DeviceStats {
  std::uint64_t drawCalls;        // draws that reached GL
  std::uint64_t glStateChanges;   // GL state calls actually made (redundant ones are filtered)
  std::uint64_t programBinds;     // glUseProgram calls
  std::uint64_t programsBuilt;    // generated fixed-function programs compiled
  std::uint64_t liveResources;    // textures, surfaces and buffers not yet destroyed
  std::uint64_t defaultPoolResources;  // of which live in the default pool
  UINT samples;                   // samples of the back buffer (0 = single)
};
HRESULT GetDeviceStats(IDirect3DDevice8* device, DeviceStats* stats);

}  // namespace d3d8
