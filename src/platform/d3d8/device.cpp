#include "platform/d3d8/device.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/d3d8/direct3d.h"
#include "platform/d3d8/formats.h"
#include "platform/d3d8/matrix_util.h"
#include "platform/d3d8/window_link.h"

namespace d3d8 {
namespace {

constexpr DWORD FloatBits(float f) {
  return std::bit_cast<DWORD>(f);
}

enum StateClass : std::uint8_t { kNone = 0, kKey = 1, kRaster = 2, kMiscUniform = 4 };

const std::array<std::uint8_t, D3DRS_MAX>& RenderStateClasses() {
  static const auto table = [] {
    std::array<std::uint8_t, D3DRS_MAX> t{};
    for (DWORD s : {D3DRS_LIGHTING, D3DRS_SPECULARENABLE, D3DRS_LOCALVIEWER, D3DRS_NORMALIZENORMALS,
                    D3DRS_COLORVERTEX, D3DRS_DIFFUSEMATERIALSOURCE, D3DRS_AMBIENTMATERIALSOURCE,
                    D3DRS_SPECULARMATERIALSOURCE, D3DRS_EMISSIVEMATERIALSOURCE, D3DRS_VERTEXBLEND,
                    D3DRS_ALPHATESTENABLE, D3DRS_ALPHAFUNC})
      t[s] |= kKey;
    for (DWORD s : {D3DRS_ZENABLE, D3DRS_FILLMODE, D3DRS_ZWRITEENABLE, D3DRS_SRCBLEND, D3DRS_DESTBLEND,
                    D3DRS_CULLMODE, D3DRS_ZFUNC, D3DRS_ALPHABLENDENABLE, D3DRS_STENCILENABLE, D3DRS_STENCILFAIL,
                    D3DRS_STENCILZFAIL, D3DRS_STENCILPASS, D3DRS_STENCILFUNC, D3DRS_STENCILREF,
                    D3DRS_STENCILMASK, D3DRS_STENCILWRITEMASK, D3DRS_ZBIAS, D3DRS_COLORWRITEENABLE,
                    D3DRS_BLENDOP, D3DRS_MULTISAMPLEANTIALIAS})
      t[s] |= kRaster;
    for (DWORD s : {D3DRS_AMBIENT, D3DRS_TEXTUREFACTOR, D3DRS_ALPHAREF}) t[s] |= kMiscUniform;
    return t;
  }();
  return table;
}

bool SamplerState(D3DTEXTURESTAGESTATETYPE t) {
  switch (t) {
    case D3DTSS_ADDRESSU:
    case D3DTSS_ADDRESSV:
    case D3DTSS_ADDRESSW:
    case D3DTSS_BORDERCOLOR:
    case D3DTSS_MAGFILTER:
    case D3DTSS_MINFILTER:
    case D3DTSS_MIPFILTER:
    case D3DTSS_MIPMAPLODBIAS:
    case D3DTSS_MAXMIPLEVEL:
    case D3DTSS_MAXANISOTROPY: return true;
    default: return false;
  }
}

D3DLIGHT8 DefaultLight() {
  D3DLIGHT8 l{};
  l.Type = D3DLIGHT_DIRECTIONAL;
  l.Diffuse = {1, 1, 1, 0};
  l.Direction = {0, 0, 1};
  return l;
}

const char* kPresentVertex =
    "#version 330 core\n"
    "void main() {\n"
    "  vec2 p = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);\n"
    "  gl_Position = vec4(p, 0.0, 1.0);\n"
    "}\n";
// The gamma ramp as a lookup: each 8-bit channel indexes its row of the 16-bit ramp, and the
// top 8 bits of the entry are shown (what an 8-bit display makes of the ramp).
const char* kPresentFragment =
    "#version 330 core\n"
    "uniform sampler2D uFrame;\n"
    "uniform usampler2D uGamma;\n"
    "out vec4 color;\n"
    "void main() {\n"
    "  vec4 c = texelFetch(uFrame, ivec2(gl_FragCoord.xy), 0);\n"
    "  ivec3 i = ivec3(clamp(floor(c.rgb * 255.0 + 0.5), 0.0, 255.0));\n"
    "  color = vec4(float(texelFetch(uGamma, ivec2(i.r, 0), 0).r >> 8u) / 255.0,\n"
    "               float(texelFetch(uGamma, ivec2(i.g, 1), 0).r >> 8u) / 255.0,\n"
    "               float(texelFetch(uGamma, ivec2(i.b, 2), 0).r >> 8u) / 255.0, 1.0);\n"
    "}\n";

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation and lifetime

Device::Device(Direct3D* d3d, CorePtr core) : d3d_(d3d), core_(std::move(core)) {
  d3d_->AddRef();
  core_->device = this;
  for (UINT i = 0; i < 256; ++i) gamma_.red[i] = gamma_.green[i] = gamma_.blue[i] = static_cast<WORD>(i * 257);
  core_->MakeCurrent();
  glGenVertexArrays(1, &vao_);
  glGenSamplers(kMaxStages, samplers_);
  glGenTextures(1, &gammaTexture_);
}

HRESULT Device::Create(Direct3D* d3d, UINT adapter, HWND focusWindow, DWORD flags, D3DPRESENT_PARAMETERS* params,
                       IDirect3DDevice8** out) {
  HWND window = params->hDeviceWindow ? params->hDeviceWindow : focusWindow;
  std::unique_ptr<GlContext> context;
  if (SDL_Window* sdl = SdlWindowFor(window)) context = GlContext::CreateForWindow(sdl);
  if (!context) context = GlContext::CreateOffscreen();  // no window, or no GL on it: draw offscreen
  if (!context) return D3DERR_NOTAVAILABLE;
  GlLimits limits;
  QueryCurrentLimits(limits);
  auto core = std::make_shared<DeviceCore>(std::move(context), limits);
  auto* device = new Device(d3d, core);
  device->adapter_ = adapter;
  device->focusWindow_ = focusWindow;
  device->behaviorFlags_ = flags;
  HRESULT hr = device->CreateSwapChain(*params);
  if (FAILED(hr)) {
    device->Release();
    return hr;
  }
  device->SetDefaultState();
  *out = device;
  return D3D_OK;
}

ULONG Device::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

Device::~Device() {
  core_->MakeCurrent();
  for (auto*& t : textures_)
    if (t) t->Release(), t = nullptr;
  if (stream_) stream_->Release(), stream_ = nullptr;
  if (indices_) indices_->Release(), indices_ = nullptr;
  ReleaseSwapChain();
  programs_.Clear();
  if (presentProgram_) glDeleteProgram(presentProgram_);
  glDeleteVertexArrays(1, &vao_);
  glDeleteSamplers(kMaxStages, samplers_);
  glDeleteTextures(1, &gammaTexture_);
  if (ring_) {
    if (ringMapped_) {
      glBindBuffer(GL_ARRAY_BUFFER, ring_);
      glUnmapBuffer(GL_ARRAY_BUFFER);
    }
    glDeleteBuffers(1, &ring_);
  }
  if (indexRing_) glDeleteBuffers(1, &indexRing_);
  core_->gl.Invalidate();
  core_->device = nullptr;
  d3d_->Release();
}

HRESULT Device::CreateSwapChain(D3DPRESENT_PARAMETERS& params) {
  D3DPRESENT_PARAMETERS p = params;
  if (p.BackBufferCount > 3) return D3DERR_INVALIDCALL;
  if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) {
    int w = 0, h = 0;
    core_->context->DrawableSize(w, h);
    if (!p.Windowed || w <= 0 || h <= 0) return D3DERR_INVALIDCALL;
    p.BackBufferWidth = static_cast<UINT>(w);
    p.BackBufferHeight = static_cast<UINT>(h);
  }
  if (p.BackBufferFormat == D3DFMT_UNKNOWN) {
    D3DDISPLAYMODE desktop{};
    d3d_->GetAdapterDisplayMode(adapter_, &desktop);
    p.BackBufferFormat = desktop.Format;
  }
  if (!GetFormatInfo(p.BackBufferFormat).renderTarget) return D3DERR_INVALIDCALL;
  if (p.MultiSampleType == 1 || p.MultiSampleType > 16) return D3DERR_INVALIDCALL;
  if (p.BackBufferCount == 0) p.BackBufferCount = 1;
  // Multisampling falls back to what GL offers (16 -> ... -> 4 -> none).
  samples_ = d3d_->SupportedSamples(p.MultiSampleType);
  HRESULT hr = Surface::Create(core_, SurfaceKind::BackBuffer, p.BackBufferWidth, p.BackBufferHeight,
                               p.BackBufferFormat, samples_, (p.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0,
                               false, &backBuffer_);
  if (FAILED(hr)) return hr;
  if (p.EnableAutoDepthStencil) {
    hr = Surface::Create(core_, SurfaceKind::DepthStencil, p.BackBufferWidth, p.BackBufferHeight,
                         p.AutoDepthStencilFormat, samples_, false, false, &autoDepth_);
    if (FAILED(hr)) {
      ReleaseSwapChain();
      return hr;
    }
  }
  bbWidth_ = p.BackBufferWidth;
  bbHeight_ = p.BackBufferHeight;
  core_->MakeCurrent();
  DrainGlErrors();
  glGenFramebuffers(1, &drawFbo_);
  auto makeTarget = [&](GLuint& fbo, GLuint& texture) {
    glGenTextures(1, &texture);
    core_->gl.SelectTexture(GlState::kUnits - 1, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(bbWidth_), static_cast<GLsizei>(bbHeight_), 0,
                 GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glGenFramebuffers(1, &fbo);
    core_->gl.BindDrawFramebuffer(fbo);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
  };
  makeTarget(resolveFbo_, resolveTexture_);
  makeTarget(presentFbo_, presentTexture_);
  if (glGetError() != GL_NO_ERROR) {
    ReleaseSwapChain();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  // New buffers start black with depth at 1.0 rather than with whatever memory held.
  core_->gl.BindDrawFramebuffer(drawFbo_);
  backBuffer_->Attach(GL_DRAW_FRAMEBUFFER);
  if (autoDepth_) autoDepth_->Attach(GL_DRAW_FRAMEBUFFER);
  core_->gl.Enable(GL_SCISSOR_TEST, false);
  core_->gl.ColorMask(0xF);
  core_->gl.DepthMask(true);
  core_->gl.StencilWriteMask(0xFF);
  glClearColor(0, 0, 0, 1);
  glClearDepth(1.0);
  glClearStencil(0);
  glClear(GL_COLOR_BUFFER_BIT | (autoDepth_ ? GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT : 0));
  rasterDirty_ = true;
  presentedValid_ = false;
  renderTarget_ = backBuffer_;
  renderTarget_->AddRef();
  depthStencil_ = autoDepth_;
  if (depthStencil_) depthStencil_->AddRef();
  core_->context->SetSwapInterval(p.FullScreen_PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
  params_ = p;
  attachmentsStale_ = true;
  params.BackBufferCount = p.BackBufferCount;
  if (params.BackBufferWidth == 0) params.BackBufferWidth = p.BackBufferWidth;
  if (params.BackBufferHeight == 0) params.BackBufferHeight = p.BackBufferHeight;
  if (params.BackBufferFormat == D3DFMT_UNKNOWN) params.BackBufferFormat = p.BackBufferFormat;
  framebufferDirty_ = true;
  return D3D_OK;
}

void Device::ReleaseSwapChain() {
  core_->MakeCurrent();
  if (renderTarget_) renderTarget_->Release(), renderTarget_ = nullptr;
  if (depthStencil_) depthStencil_->Release(), depthStencil_ = nullptr;
  if (backBuffer_) backBuffer_->Release(), backBuffer_ = nullptr;
  if (autoDepth_) autoDepth_->Release(), autoDepth_ = nullptr;
  for (GLuint* fbo : {&drawFbo_, &resolveFbo_, &presentFbo_}) {
    if (*fbo) {
      core_->gl.ForgetFramebuffer(*fbo);
      glDeleteFramebuffers(1, fbo);
      *fbo = 0;
    }
  }
  for (GLuint* texture : {&resolveTexture_, &presentTexture_}) {
    if (*texture) {
      core_->gl.Forget(*texture, 0);
      glDeleteTextures(1, texture);
      *texture = 0;
    }
  }
  presentedValid_ = false;
}

void Device::SetDefaultState() {
  for (auto*& t : textures_)
    if (t) t->Release(), t = nullptr;
  if (stream_) stream_->Release(), stream_ = nullptr;
  if (indices_) indices_->Release(), indices_ = nullptr;
  streamStride_ = baseVertex_ = 0;
  fvf_ = 0;
  std::memset(rs_, 0, sizeof rs_);
  rs_[D3DRS_ZENABLE] = params_.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
  rs_[D3DRS_FILLMODE] = D3DFILL_SOLID;
  rs_[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
  rs_[D3DRS_ZWRITEENABLE] = TRUE;
  rs_[D3DRS_LASTPIXEL] = TRUE;
  rs_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  rs_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  rs_[D3DRS_CULLMODE] = D3DCULL_CCW;
  rs_[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  rs_[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  rs_[D3DRS_FOGEND] = FloatBits(1.0f);
  rs_[D3DRS_FOGDENSITY] = FloatBits(1.0f);
  rs_[D3DRS_STENCILFAIL] = rs_[D3DRS_STENCILZFAIL] = rs_[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
  rs_[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
  rs_[D3DRS_STENCILMASK] = rs_[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
  rs_[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
  rs_[D3DRS_CLIPPING] = TRUE;
  rs_[D3DRS_LIGHTING] = TRUE;
  rs_[D3DRS_COLORVERTEX] = TRUE;
  rs_[D3DRS_LOCALVIEWER] = TRUE;
  rs_[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  rs_[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  rs_[D3DRS_SOFTWAREVERTEXPROCESSING] = (behaviorFlags_ & D3DCREATE_SOFTWARE_VERTEXPROCESSING) ? TRUE : FALSE;
  rs_[D3DRS_POINTSIZE] = FloatBits(1.0f);
  rs_[D3DRS_POINTSIZE_MIN] = FloatBits(1.0f);
  rs_[D3DRS_POINTSCALE_A] = FloatBits(1.0f);
  rs_[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
  rs_[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
  rs_[D3DRS_PATCHSEGMENTS] = FloatBits(1.0f);
  rs_[D3DRS_POINTSIZE_MAX] = FloatBits(64.0f);
  rs_[D3DRS_COLORWRITEENABLE] = 0xF;
  rs_[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  rs_[D3DRS_POSITIONORDER] = 3;  // cubic
  rs_[D3DRS_NORMALORDER] = 1;    // linear
  for (DWORD s = 0; s < D3DMAX_TEXTURE_STAGES; ++s) {
    DWORD* t = tss_[s];
    std::memset(t, 0, sizeof tss_[s]);
    t[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    t[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    t[D3DTSS_TEXCOORDINDEX] = s;
    t[D3DTSS_ADDRESSU] = t[D3DTSS_ADDRESSV] = t[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
    t[D3DTSS_MAGFILTER] = t[D3DTSS_MINFILTER] = D3DTEXF_POINT;
    t[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
    t[D3DTSS_MAXANISOTROPY] = 1;
    t[D3DTSS_COLORARG0] = t[D3DTSS_ALPHAARG0] = t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
  }
  const D3DMATRIX identity = IdentityMatrix();
  for (auto& m : world_) m = identity;
  view_ = projection_ = identity;
  for (auto& m : texture_) m = identity;
  material_ = {};
  lights_.clear();
  viewport_ = {0, 0, renderTarget_ ? renderTarget_->Width() : 0, renderTarget_ ? renderTarget_->Height() : 0, 0.0f,
               1.0f};
  inScene_ = false;
  keyDirty_ = rasterDirty_ = framebufferDirty_ = viewportDirty_ = layoutDirty_ = derivedDirty_ = true;
  samplerDirty_ = textureDirty_ = 0xFF;
  for (auto& v : versions_) ++v;
}

// ---------------------------------------------------------------------------------------------
// Cooperative level, reset and present

void Device::CheckWindowLevel() {
  if (injected_ || !core_->context->HasWindow() || params_.Windowed) return;
  const Uint32 flags = SDL_GetWindowFlags(core_->context->Window());
  if (flags & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) {
    level_ = Level::Lost;
  } else if (level_ == Level::Lost) {
    level_ = Level::NotReset;
  }
}

bool Device::Drawable() { return level_ == Level::Ok; }

HRESULT Device::TestCooperativeLevel() {
  CheckWindowLevel();
  switch (level_) {
    case Level::Lost: return D3DERR_DEVICELOST;
    case Level::NotReset: return D3DERR_DEVICENOTRESET;
    default: return D3D_OK;
  }
}

void Device::InjectLevel(HRESULT level) {
  if (level == D3DERR_DEVICELOST) {
    level_ = Level::Lost;
    injected_ = true;
  } else if (level == D3DERR_DEVICENOTRESET) {
    level_ = Level::NotReset;
    injected_ = true;
  } else {
    if (level_ == Level::Lost) level_ = Level::NotReset;
    injected_ = false;
  }
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* params) {
  if (!params) return D3DERR_INVALIDCALL;
  CheckWindowLevel();
  if (level_ == Level::Lost) return D3DERR_DEVICELOST;
  // Resources of the default pool must be gone before a reset, as on the real device.
  if (core_->defaultPoolResources > 0) {
    level_ = Level::NotReset;
    return D3DERR_INVALIDCALL;
  }
  ReleaseSwapChain();
  HRESULT hr = CreateSwapChain(*params);
  if (FAILED(hr)) {
    level_ = Level::NotReset;
    return hr;
  }
  SetDefaultState();
  level_ = Level::Ok;
  injected_ = false;
  return D3D_OK;
}

bool Device::BuildPresentProgram() {
  auto compile = [](GLenum type, const char* text) {
    GLuint s = glCreateShader(type);
    glShaderSource(s, 1, &text, nullptr);
    glCompileShader(s);
    return s;
  };
  GLuint vs = compile(GL_VERTEX_SHADER, kPresentVertex);
  GLuint fs = compile(GL_FRAGMENT_SHADER, kPresentFragment);
  presentProgram_ = glCreateProgram();
  glAttachShader(presentProgram_, vs);
  glAttachShader(presentProgram_, fs);
  glLinkProgram(presentProgram_);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(presentProgram_, GL_LINK_STATUS, &ok);
  if (!ok) {
    glDeleteProgram(presentProgram_);
    presentProgram_ = 0;
    return false;
  }
  core_->gl.UseProgram(presentProgram_);
  glUniform1i(glGetUniformLocation(presentProgram_, "uFrame"), 0);
  glUniform1i(glGetUniformLocation(presentProgram_, "uGamma"), 1);
  return true;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const RGNDATA*) {
  CheckWindowLevel();
  if (level_ != Level::Ok) return D3DERR_DEVICELOST;
  core_->MakeCurrent();
  GlState& gl = core_->gl;
  if (!presentProgram_ && !BuildPresentProgram()) return D3DERR_DRIVERINTERNALERROR;
  const GLsizei w = static_cast<GLsizei>(bbWidth_), h = static_cast<GLsizei>(bbHeight_);

  // Resolve the back buffer (multisampled or not) into a plain texture.
  gl.Enable(GL_SCISSOR_TEST, false);
  gl.BindReadFramebuffer(core_->scratchFbo[0]);
  backBuffer_->Attach(GL_READ_FRAMEBUFFER);
  gl.BindDrawFramebuffer(resolveFbo_);
  glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);

  // Gamma lookup pass into the presented frame.
  if (gammaDirty_) {
    std::uint16_t table[3 * 256];
    std::memcpy(table, gamma_.red, sizeof gamma_.red);
    std::memcpy(table + 256, gamma_.green, sizeof gamma_.green);
    std::memcpy(table + 512, gamma_.blue, sizeof gamma_.blue);
    gl.SelectTexture(1, gammaTexture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R16UI, 256, 3, 0, GL_RED_INTEGER, GL_UNSIGNED_SHORT, table);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    gammaDirty_ = false;
  }
  gl.BindDrawFramebuffer(presentFbo_);
  gl.Viewport(0, 0, w, h);
  gl.Enable(GL_BLEND, false);
  gl.Enable(GL_DEPTH_TEST, false);
  gl.Enable(GL_CULL_FACE, false);
  gl.Enable(GL_STENCIL_TEST, false);
  gl.Enable(GL_POLYGON_OFFSET_FILL, false);
  gl.ColorMask(0xF);
  gl.PolygonMode(GL_FILL);
  gl.UseProgram(presentProgram_);
  gl.BindVertexArray(vao_);
  gl.BindSampler(0, 0);
  gl.BindSampler(1, 0);
  gl.BindTexture(0, resolveTexture_);
  gl.BindTexture(1, gammaTexture_);
  glDrawArrays(GL_TRIANGLES, 0, 3);
  presentedValid_ = true;

  if (core_->context->HasWindow()) {
    int dw = 0, dh = 0;
    core_->context->DrawableSize(dw, dh);
    gl.BindReadFramebuffer(presentFbo_);
    gl.BindDrawFramebuffer(0);
    // Stored top row first; the window's origin is at the bottom.
    glBlitFramebuffer(0, 0, w, h, 0, dh, dw, 0, GL_COLOR_BUFFER_BIT, (dw == w && dh == h) ? GL_NEAREST : GL_LINEAR);
    core_->context->Swap();
  }
  rasterDirty_ = viewportDirty_ = framebufferDirty_ = true;
  samplerDirty_ = textureDirty_ = 0xFF;
  return D3D_OK;
}

HRESULT Device::ReadPresented(std::vector<std::uint8_t>& rgba, UINT& width, UINT& height) {
  if (!presentedValid_) return D3DERR_INVALIDCALL;
  core_->MakeCurrent();
  DrainGlErrors();
  core_->gl.BindReadFramebuffer(presentFbo_);
  rgba.resize(static_cast<size_t>(bbWidth_) * bbHeight_ * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, static_cast<GLsizei>(bbWidth_), static_cast<GLsizei>(bbHeight_), GL_RGBA, GL_UNSIGNED_BYTE,
               rgba.data());
  width = bbWidth_;
  height = bbHeight_;
  return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_DRIVERINTERNALERROR;
}

HRESULT Device::GetFrontBuffer(IDirect3DSurface8* dest) {
  auto* d = static_cast<Surface*>(dest);
  if (!d || d->Kind() != SurfaceKind::Image || d->Format() != D3DFMT_A8R8G8B8) return D3DERR_INVALIDCALL;
  if (d->Width() < bbWidth_ || d->Height() < bbHeight_) return D3DERR_INVALIDCALL;
  std::vector<std::uint8_t> rgba;
  UINT w = 0, h = 0;
  if (FAILED(ReadPresented(rgba, w, h))) return D3DERR_INVALIDCALL;
  for (UINT y = 0; y < h; ++y)
    RowFromRgba8(D3DFMT_A8R8G8B8, rgba.data() + static_cast<size_t>(y) * w * 4, d->Memory().data() + y * d->Pitch(), w);
  return D3D_OK;
}

void Device::Stats(DeviceStats* stats) const {
  stats->drawCalls = drawCalls_;
  stats->glStateChanges = core_->gl.changes;
  stats->programBinds = programBinds_;
  stats->programsBuilt = programsBuilt_;
  stats->liveResources = core_->liveResources;
  stats->defaultPoolResources = core_->defaultPoolResources;
  stats->samples = samples_;
}

void Device::SetGammaRamp(DWORD, const D3DGAMMARAMP* ramp) {
  if (!ramp) return;
  gamma_ = *ramp;
  gammaDirty_ = true;
}

void Device::GetGammaRamp(D3DGAMMARAMP* ramp) {
  if (ramp) *ramp = gamma_;
}

// ---------------------------------------------------------------------------------------------
// Queries

UINT Device::GetAvailableTextureMem() { return 256u << 20; }

HRESULT Device::GetDirect3D(IDirect3D8** d3d) {
  if (!d3d) return D3DERR_INVALIDCALL;
  *d3d = d3d_;
  d3d_->AddRef();
  return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS8* caps) { return d3d_->GetDeviceCaps(adapter_, D3DDEVTYPE_HAL, caps); }

HRESULT Device::GetDisplayMode(D3DDISPLAYMODE* mode) {
  if (!mode) return D3DERR_INVALIDCALL;
  if (params_.Windowed) return d3d_->GetAdapterDisplayMode(adapter_, mode);
  *mode = {params_.BackBufferWidth, params_.BackBufferHeight, params_.FullScreen_RefreshRateInHz,
           params_.BackBufferFormat};
  return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) {
  if (!params) return D3DERR_INVALIDCALL;
  *params = {adapter_, D3DDEVTYPE_HAL, focusWindow_, behaviorFlags_};
  return D3D_OK;
}

BOOL Device::ShowCursor(BOOL) { return FALSE; }

HRESULT Device::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE, IDirect3DSurface8** backBuffer) {
  if (!backBuffer || index >= params_.BackBufferCount || !backBuffer_) return D3DERR_INVALIDCALL;
  *backBuffer = backBuffer_;
  backBuffer_->AddRef();
  return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Resource creation

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture8** texture) {
  if (!texture) return D3DERR_INVALIDCALL;
  Texture* t = nullptr;
  HRESULT hr = Texture::Create(core_, width, height, levels, usage, format, pool, &t);
  *texture = t;
  return hr;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer8** buffer) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (length == 0) return D3DERR_INVALIDCALL;
  auto* b = new VertexBuffer(core_, length, usage, fvf, pool);
  if (!b->Valid()) {
    b->Release();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  *buffer = b;
  return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer8** buffer) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (length == 0 || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) return D3DERR_INVALIDCALL;
  auto* b = new IndexBuffer(core_, length, usage, format, pool);
  if (!b->Valid()) {
    b->Release();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  *buffer = b;
  return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                   BOOL lockable, IDirect3DSurface8** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  Surface* s = nullptr;
  HRESULT hr = Surface::Create(core_, SurfaceKind::RenderTarget, width, height, format,
                               d3d_->SupportedSamples(multiSample), lockable != FALSE, true, &s);
  *surface = s;
  return hr;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                          IDirect3DSurface8** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  Surface* s = nullptr;
  HRESULT hr = Surface::Create(core_, SurfaceKind::DepthStencil, width, height, format,
                               d3d_->SupportedSamples(multiSample), false, true, &s);
  *surface = s;
  return hr;
}

HRESULT Device::CreateImageSurface(UINT width, UINT height, D3DFORMAT format, IDirect3DSurface8** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  Surface* s = nullptr;
  HRESULT hr = Surface::Create(core_, SurfaceKind::Image, width, height, format, 0, true, true, &s);
  *surface = s;
  return hr;
}

// ---------------------------------------------------------------------------------------------
// Render targets and copies

HRESULT Device::SetRenderTarget(IDirect3DSurface8* renderTarget, IDirect3DSurface8* depthStencil) {
  auto* rt = renderTarget ? static_cast<Surface*>(renderTarget) : renderTarget_;
  auto* ds = static_cast<Surface*>(depthStencil);
  if (!rt) return D3DERR_INVALIDCALL;
  const bool colour = rt->Kind() == SurfaceKind::RenderTarget || rt->Kind() == SurfaceKind::BackBuffer ||
                      (rt->Container() && rt->Container()->IsRenderTarget());
  if (!colour) return D3DERR_INVALIDCALL;
  if (ds && (!ds->IsDepth() || ds->Width() < rt->Width() || ds->Height() < rt->Height() ||
             ds->Samples() != rt->Samples()))
    return D3DERR_INVALIDCALL;
  rt->AddRef();
  if (ds) ds->AddRef();
  if (renderTarget_) renderTarget_->Release();
  if (depthStencil_) depthStencil_->Release();
  renderTarget_ = rt;
  depthStencil_ = ds;
  viewport_ = {0, 0, rt->Width(), rt->Height(), 0.0f, 1.0f};
  framebufferDirty_ = viewportDirty_ = rasterDirty_ = true;
  attachmentsStale_ = true;
  ++versions_[kScreen];
  return D3D_OK;
}

HRESULT Device::GetRenderTarget(IDirect3DSurface8** renderTarget) {
  if (!renderTarget || !renderTarget_) return D3DERR_INVALIDCALL;
  *renderTarget = renderTarget_;
  renderTarget_->AddRef();
  return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface8** depthStencil) {
  if (!depthStencil) return D3DERR_INVALIDCALL;
  *depthStencil = depthStencil_;
  if (!depthStencil_) return D3DERR_NOTFOUND;
  depthStencil_->AddRef();
  return D3D_OK;
}

namespace {

// Memory view of a surface that lives in memory (image surfaces and ordinary texture levels).
std::uint8_t* MemoryOf(Surface* s, UINT& pitch) {
  if (s->Container()) {
    if (s->Container()->IsRenderTarget()) return nullptr;
    pitch = s->Container()->LevelPitch(s->Level());
    return s->Container()->LevelMemory(s->Level());
  }
  if (s->Kind() == SurfaceKind::Image) {
    pitch = s->Pitch();
    return s->Memory().data();
  }
  return nullptr;
}

}  // namespace

HRESULT Device::CopyRects(IDirect3DSurface8* source, const RECT* sourceRects, UINT rectCount,
                          IDirect3DSurface8* dest, const POINT* destPoints) {
  auto* src = static_cast<Surface*>(source);
  auto* dst = static_cast<Surface*>(dest);
  if (!src || !dst || src == dst || src->Format() != dst->Format() || src->IsDepth() || dst->IsDepth())
    return D3DERR_INVALIDCALL;
  const FormatInfo& info = GetFormatInfo(src->Format());
  RECT whole{0, 0, static_cast<LONG>(src->Width()), static_cast<LONG>(src->Height())};
  const UINT count = sourceRects ? rectCount : 1;
  UINT srcPitch = 0, dstPitch = 0;
  std::uint8_t* srcMem = MemoryOf(src, srcPitch);
  std::uint8_t* dstMem = MemoryOf(dst, dstPitch);
  for (UINT i = 0; i < count; ++i) {
    const RECT r = sourceRects ? sourceRects[i] : whole;
    const POINT p = destPoints ? destPoints[i] : POINT{r.left, r.top};
    if (r.left < 0 || r.top < 0 || r.right <= r.left || r.bottom <= r.top ||
        static_cast<UINT>(r.right) > src->Width() || static_cast<UINT>(r.bottom) > src->Height())
      return D3DERR_INVALIDCALL;
    const UINT w = static_cast<UINT>(r.right - r.left), h = static_cast<UINT>(r.bottom - r.top);
    if (p.x < 0 || p.y < 0 || p.x + w > dst->Width() || p.y + h > dst->Height()) return D3DERR_INVALIDCALL;
    if (srcMem && dstMem) {
      const UINT rows = info.compressed ? (h + 3) / 4 : h;
      const UINT rowBytes = info.compressed ? ((w + 3) / 4) * info.bytesPerPixel : w * info.bytesPerPixel;
      const UINT sy = info.compressed ? r.top / 4 : r.top, dy = info.compressed ? p.y / 4 : p.y;
      const UINT sx = info.compressed ? (r.left / 4) * info.bytesPerPixel : r.left * info.bytesPerPixel;
      const UINT dx = info.compressed ? (p.x / 4) * info.bytesPerPixel : p.x * info.bytesPerPixel;
      for (UINT y = 0; y < rows; ++y)
        std::memmove(dstMem + (dy + y) * dstPitch + dx, srcMem + (sy + y) * srcPitch + sx, rowBytes);
    } else {
      if (info.compressed) return D3DERR_INVALIDCALL;
      std::vector<std::uint8_t> rgba(static_cast<size_t>(w) * h * 4);
      if (srcMem) {
        for (UINT y = 0; y < h; ++y)
          RowToRgba8(src->Format(), srcMem + (r.top + y) * srcPitch + r.left * info.bytesPerPixel,
                     rgba.data() + static_cast<size_t>(y) * w * 4, w);
      } else if (!core_->ReadRgba(src, r, rgba)) {
        return D3DERR_INVALIDCALL;
      }
      if (dstMem) {
        for (UINT y = 0; y < h; ++y)
          RowFromRgba8(dst->Format(), rgba.data() + static_cast<size_t>(y) * w * 4,
                       dstMem + (p.y + y) * dstPitch + p.x * info.bytesPerPixel, w);
      } else if (!core_->WriteRgba(dst, p.x, p.y, w, h, rgba.data())) {
        return D3DERR_INVALIDCALL;
      }
    }
  }
  if (dst->Container() && dstMem) dst->Container()->MarkDirty(dst->Level());
  return D3D_OK;
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture8* source, IDirect3DBaseTexture8* dest) {
  auto* src = static_cast<Texture*>(source);
  auto* dst = static_cast<Texture*>(dest);
  if (!src || !dst || src->Format() != dst->Format() || src->GetLevelCount() < dst->GetLevelCount())
    return D3DERR_INVALIDCALL;
  for (UINT level = 0; level < dst->GetLevelCount(); ++level) {
    IDirect3DSurface8 *s = nullptr, *d = nullptr;
    src->GetSurfaceLevel(level, &s);
    dst->GetSurfaceLevel(level, &d);
    HRESULT hr = CopyRects(s, nullptr, 0, d, nullptr);
    s->Release();
    d->Release();
    if (FAILED(hr)) return hr;
  }
  return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Scenes and clearing

HRESULT Device::BeginScene() {
  if (inScene_) return D3DERR_INVALIDCALL;
  inScene_ = true;
  return D3D_OK;
}

HRESULT Device::EndScene() {
  if (!inScene_) return D3DERR_INVALIDCALL;
  inScene_ = false;
  return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
  if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depthStencil_) return D3DERR_INVALIDCALL;
  if (count > 0 && !rects) return D3DERR_INVALIDCALL;
  if (!Drawable()) return D3D_OK;
  core_->MakeCurrent();
  GlState& gl = core_->gl;
  ApplyFramebuffer();
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    mask |= GL_COLOR_BUFFER_BIT;
    gl.ColorMask(0xF);
    glClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, (color & 0xFF) / 255.0f,
                 ((color >> 24) & 0xFF) / 255.0f);
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    mask |= GL_DEPTH_BUFFER_BIT;
    gl.DepthMask(true);
    glClearDepth(std::clamp(z, 0.0f, 1.0f));
  }
  if (flags & D3DCLEAR_STENCIL) {
    mask |= GL_STENCIL_BUFFER_BIT;
    gl.StencilWriteMask(0xFF);
    glClearStencil(static_cast<GLint>(stencil & 0xFF));
  }
  if (!mask) return D3D_OK;
  // The viewport limits the clear, and so does each rectangle.
  const LONG vx0 = static_cast<LONG>(viewport_.X), vy0 = static_cast<LONG>(viewport_.Y);
  const LONG vx1 = vx0 + static_cast<LONG>(viewport_.Width), vy1 = vy0 + static_cast<LONG>(viewport_.Height);
  gl.Enable(GL_SCISSOR_TEST, true);
  const DWORD n = count ? count : 1;
  for (DWORD i = 0; i < n; ++i) {
    LONG x0 = vx0, y0 = vy0, x1 = vx1, y1 = vy1;
    if (count) {
      x0 = std::max(x0, rects[i].x1), y0 = std::max(y0, rects[i].y1);
      x1 = std::min(x1, rects[i].x2), y1 = std::min(y1, rects[i].y2);
    }
    if (x1 <= x0 || y1 <= y0) continue;
    gl.Scissor(x0, y0, x1 - x0, y1 - y0);
    glClear(mask);
  }
  rasterDirty_ = true;
  return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Transforms, viewport, material, lights

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  if (!matrix) return D3DERR_INVALIDCALL;
  D3DMATRIX* target = nullptr;
  UniformGroup group = kTransforms;
  if (state == D3DTS_VIEW) {
    target = &view_;
  } else if (state == D3DTS_PROJECTION) {
    target = &projection_;
  } else if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) {
    target = &texture_[state - D3DTS_TEXTURE0];
    group = kTexMatrices;
  } else if (state >= D3DTS_WORLD && state < D3DTS_WORLD + kMaxBlendMatrices) {
    target = &world_[state - D3DTS_WORLD];
  } else if (state >= D3DTS_WORLD && state <= D3DTS_WORLDMATRIX(255)) {
    return D3D_OK;  // matrices beyond the blend limit are never used
  } else {
    return D3DERR_INVALIDCALL;
  }
  if (std::memcmp(target, matrix, sizeof(D3DMATRIX)) == 0) return D3D_OK;
  *target = *matrix;
  ++versions_[group];
  if (group == kTransforms) derivedDirty_ = true;
  if (state == D3DTS_VIEW) ++versions_[kLights];
  return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
  if (!matrix) return D3DERR_INVALIDCALL;
  if (state == D3DTS_VIEW) *matrix = view_;
  else if (state == D3DTS_PROJECTION) *matrix = projection_;
  else if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) *matrix = texture_[state - D3DTS_TEXTURE0];
  else if (state >= D3DTS_WORLD && state < D3DTS_WORLD + kMaxBlendMatrices) *matrix = world_[state - D3DTS_WORLD];
  else if (state >= D3DTS_WORLD && state <= D3DTS_WORLDMATRIX(255)) *matrix = IdentityMatrix();
  else return D3DERR_INVALIDCALL;
  return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  if (!matrix) return D3DERR_INVALIDCALL;
  D3DMATRIX current;
  HRESULT hr = GetTransform(state, &current);
  if (FAILED(hr)) return hr;
  const D3DMATRIX product = Multiply(*matrix, current);
  return SetTransform(state, &product);
}

HRESULT Device::SetViewport(const D3DVIEWPORT8* viewport) {
  if (!viewport || !renderTarget_) return D3DERR_INVALIDCALL;
  if (viewport->Width == 0 || viewport->Height == 0 || viewport->X + viewport->Width > renderTarget_->Width() ||
      viewport->Y + viewport->Height > renderTarget_->Height() || viewport->MinZ < 0.0f || viewport->MaxZ > 1.0f)
    return D3DERR_INVALIDCALL;
  if (std::memcmp(&viewport_, viewport, sizeof viewport_) == 0) return D3D_OK;
  viewport_ = *viewport;
  viewportDirty_ = true;
  ++versions_[kScreen];
  return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT8* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  *viewport = viewport_;
  return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL8* material) {
  if (!material) return D3DERR_INVALIDCALL;
  if (std::memcmp(&material_, material, sizeof material_) == 0) return D3D_OK;
  material_ = *material;
  ++versions_[kMaterial];
  return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL8* material) {
  if (!material) return D3DERR_INVALIDCALL;
  *material = material_;
  return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT8* light) {
  if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) return D3DERR_INVALIDCALL;
  auto [it, inserted] = lights_.try_emplace(index);
  if (!inserted && std::memcmp(&it->second.light, light, sizeof *light) == 0) return D3D_OK;
  const bool typeChanged = inserted || it->second.light.Type != light->Type;
  it->second.light = *light;
  if (it->second.enabled) {
    ++versions_[kLights];
    if (typeChanged) keyDirty_ = true;
  }
  return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT8* light) {
  auto it = lights_.find(index);
  if (!light || it == lights_.end()) return D3DERR_INVALIDCALL;
  *light = it->second.light;
  return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
  auto [it, inserted] = lights_.try_emplace(index);
  if (inserted) it->second.light = DefaultLight();
  const bool on = enable != FALSE;
  if (it->second.enabled == on) return D3D_OK;
  it->second.enabled = on;
  keyDirty_ = true;
  ++versions_[kLights];
  return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
  auto it = lights_.find(index);
  if (!enable || it == lights_.end()) return D3DERR_INVALIDCALL;
  *enable = it->second.enabled ? TRUE : FALSE;
  return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Render and texture stage states

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (state >= D3DRS_MAX) return D3DERR_INVALIDCALL;
  if (rs_[state] == value) return D3D_OK;
  rs_[state] = value;
  const std::uint8_t c = RenderStateClasses()[state];
  if (c & kKey) keyDirty_ = true;
  if (c & kRaster) rasterDirty_ = true;
  if (c & kMiscUniform) ++versions_[kMisc];
  return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (state >= D3DRS_MAX || !value) return D3DERR_INVALIDCALL;
  *value = rs_[state];
  return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) {
  if (stage >= D3DMAX_TEXTURE_STAGES || !texture) return D3DERR_INVALIDCALL;
  *texture = textures_[stage];
  if (*texture) (*texture)->AddRef();
  return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
  if (stage >= D3DMAX_TEXTURE_STAGES) return D3DERR_INVALIDCALL;
  auto* t = static_cast<Texture*>(texture);
  if (textures_[stage] == t) return D3D_OK;
  if ((textures_[stage] == nullptr) != (t == nullptr)) keyDirty_ = true;
  if (t) t->AddRef();
  if (textures_[stage]) textures_[stage]->Release();
  textures_[stage] = t;
  textureDirty_ |= 1u << stage;
  return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
  if (stage >= D3DMAX_TEXTURE_STAGES || type >= D3DTSS_MAX || !value) return D3DERR_INVALIDCALL;
  *value = tss_[stage][type];
  return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  if (stage >= D3DMAX_TEXTURE_STAGES || type >= D3DTSS_MAX) return D3DERR_INVALIDCALL;
  if (tss_[stage][type] == value) return D3D_OK;
  tss_[stage][type] = value;
  if (SamplerState(type)) {
    samplerDirty_ |= 1u << stage;
  } else if (type < D3DTSS_BUMPENVMAT00 || type > D3DTSS_BUMPENVMAT11) {
    keyDirty_ = true;
  }
  return D3D_OK;
}

HRESULT Device::ValidateDevice(DWORD* passes) {
  if (!passes) return D3DERR_INVALIDCALL;
  *passes = 1;
  return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Vertex formats and streams

HRESULT Device::SetVertexShader(DWORD handle) {
  if (handle & D3DFVF_RESERVED0) return D3DERR_INVALIDCALL;  // programmable shaders are not offered
  if (handle == fvf_) return D3D_OK;
  fvf_ = handle;
  keyDirty_ = layoutDirty_ = true;
  return D3D_OK;
}

HRESULT Device::GetVertexShader(DWORD* handle) {
  if (!handle) return D3DERR_INVALIDCALL;
  *handle = fvf_;
  return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) {
  if (stream != 0) return D3DERR_INVALIDCALL;
  auto* b = static_cast<VertexBuffer*>(buffer);
  if (b == stream_ && stride == streamStride_) return D3D_OK;
  if (b) b->AddRef();
  if (stream_) stream_->Release();
  stream_ = b;
  streamStride_ = stride;
  layoutDirty_ = true;
  return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer8** buffer, UINT* stride) {
  if (stream != 0 || !buffer || !stride) return D3DERR_INVALIDCALL;
  *buffer = stream_;
  if (stream_) stream_->AddRef();
  *stride = streamStride_;
  return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertexIndex) {
  auto* b = static_cast<IndexBuffer*>(buffer);
  if (b) b->AddRef();
  if (indices_) indices_->Release();
  indices_ = b;
  baseVertex_ = baseVertexIndex;
  return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer8** buffer, UINT* baseVertexIndex) {
  if (!buffer || !baseVertexIndex) return D3DERR_INVALIDCALL;
  *buffer = indices_;
  if (indices_) indices_->AddRef();
  *baseVertexIndex = baseVertex_;
  return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Additions

HRESULT ReadPresentedFrame(IDirect3DDevice8* device, std::vector<std::uint8_t>& rgba, UINT& width, UINT& height) {
  if (!device) return D3DERR_INVALIDCALL;
  return static_cast<Device*>(device)->ReadPresented(rgba, width, height);
}

void InjectCooperativeLevel(IDirect3DDevice8* device, HRESULT level) {
  if (device) static_cast<Device*>(device)->InjectLevel(level);
}

void SetDrawObserver(IDirect3DDevice8* device, std::function<void()> observer) {
  if (device) static_cast<Device*>(device)->SetDrawObserver(std::move(observer));
}

HRESULT GetDeviceStats(IDirect3DDevice8* device, DeviceStats* stats) {
  if (!device || !stats) return D3DERR_INVALIDCALL;
  static_cast<Device*>(device)->Stats(stats);
  return D3D_OK;
}

}  // namespace d3d8
