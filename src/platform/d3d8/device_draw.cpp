// Drawing: the Direct3D state is brought into GL lazily, right before each draw.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/d3d8/device.h"
#include "platform/d3d8/formats.h"
#include "platform/d3d8/matrix_util.h"

namespace d3d8 {
namespace {

constexpr UINT kRingSize = 4u << 20;
constexpr UINT kIndexRingSize = 1u << 20;
constexpr std::uint64_t kMaxUpBytes = 64u << 20;  // one draw from memory

GLenum Mode(D3DPRIMITIVETYPE type) {
  switch (type) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return 0;
  }
}

UINT VertexCount(D3DPRIMITIVETYPE type, UINT primitives) {
  switch (type) {
    case D3DPT_POINTLIST: return primitives;
    case D3DPT_LINELIST: return primitives * 2;
    case D3DPT_LINESTRIP: return primitives + 1;
    case D3DPT_TRIANGLELIST: return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitives + 2;
    default: return 0;
  }
}

GLenum CompareFunc(DWORD f) {
  switch (f) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    default: return GL_ALWAYS;
  }
}

GLenum BlendFactor(DWORD b) {
  switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    default: return GL_ONE;
  }
}

GLenum StencilOp(DWORD op) {
  switch (op) {
    case D3DSTENCILOP_ZERO: return GL_ZERO;
    case D3DSTENCILOP_REPLACE: return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT: return GL_INCR;
    case D3DSTENCILOP_DECRSAT: return GL_DECR;
    case D3DSTENCILOP_INVERT: return GL_INVERT;
    case D3DSTENCILOP_INCR: return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR: return GL_DECR_WRAP;
    default: return GL_KEEP;
  }
}

GLint AddressMode(DWORD a) {
  switch (a) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE: return GL_MIRROR_CLAMP_TO_EDGE;
    default: return GL_REPEAT;
  }
}

void ColorOf(D3DCOLOR c, float out[4]) {
  out[0] = ((c >> 16) & 0xFF) / 255.0f;
  out[1] = ((c >> 8) & 0xFF) / 255.0f;
  out[2] = (c & 0xFF) / 255.0f;
  out[3] = ((c >> 24) & 0xFF) / 255.0f;
}

int FvfWeights(DWORD fvf) {
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZB1: return 1;
    case D3DFVF_XYZB2: return 2;
    case D3DFVF_XYZB3: return 3;
    case D3DFVF_XYZB4: return 4;
    case D3DFVF_XYZB5: return 5;
    default: return 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// State key

FFKey Device::BuildKey() const {
  FFKey k;
  std::memset(&k, 0, sizeof k);
  k.fvf = fvf_;
  const bool rhw = (fvf_ & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
  if (!rhw && rs_[D3DRS_LIGHTING]) {
    k.lighting = 1;
    k.specular = rs_[D3DRS_SPECULARENABLE] ? 1 : 0;
    k.localViewer = rs_[D3DRS_LOCALVIEWER] ? 1 : 0;
    if (rs_[D3DRS_COLORVERTEX]) {
      auto source = [&](DWORD s) -> std::uint8_t {
        if (s == D3DMCS_COLOR1 && (fvf_ & D3DFVF_DIFFUSE)) return 1;
        if (s == D3DMCS_COLOR2 && (fvf_ & D3DFVF_SPECULAR)) return 2;
        return 0;
      };
      k.diffuseSource = source(rs_[D3DRS_DIFFUSEMATERIALSOURCE]);
      k.ambientSource = source(rs_[D3DRS_AMBIENTMATERIALSOURCE]);
      k.specularSource = source(rs_[D3DRS_SPECULARMATERIALSOURCE]);
      k.emissiveSource = source(rs_[D3DRS_EMISSIVEMATERIALSOURCE]);
    }
    int n = 0;
    for (const auto& [index, slot] : lights_) {
      if (!slot.enabled || n >= kMaxActiveLights) continue;
      k.lightTypes[n++] = static_cast<std::uint8_t>(slot.light.Type);
    }
    k.lightCount = static_cast<std::uint8_t>(n);
  } else if (!rhw) {
    k.specular = rs_[D3DRS_SPECULARENABLE] ? 1 : 0;
  } else {
    k.specular = rs_[D3DRS_SPECULARENABLE] ? 1 : 0;
  }
  if (!rhw) {
    k.normalizeNormals = rs_[D3DRS_NORMALIZENORMALS] && k.lighting ? 1 : 0;
    const DWORD blend = rs_[D3DRS_VERTEXBLEND];
    if (blend >= D3DVBF_1WEIGHTS && blend <= D3DVBF_3WEIGHTS)
      k.blendWeights = static_cast<std::uint8_t>(std::min<int>(static_cast<int>(blend), FvfWeights(fvf_)));
  }
  if (rs_[D3DRS_ALPHATESTENABLE]) k.alphaFunc = static_cast<std::uint8_t>(rs_[D3DRS_ALPHAFUNC]);
  int stages = 0;
  for (; stages < kMaxStages; ++stages) {
    const DWORD* t = tss_[stages];
    if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE || t[D3DTSS_COLOROP] > D3DTOP_LERP) break;
    FFStageKey& s = k.stages[stages];
    s.colorOp = static_cast<std::uint8_t>(t[D3DTSS_COLOROP]);
    s.colorArg1 = static_cast<std::uint8_t>(t[D3DTSS_COLORARG1]);
    s.colorArg2 = static_cast<std::uint8_t>(t[D3DTSS_COLORARG2]);
    s.colorArg0 = static_cast<std::uint8_t>(t[D3DTSS_COLORARG0]);
    s.alphaOp = static_cast<std::uint8_t>(t[D3DTSS_ALPHAOP] > D3DTOP_LERP ? D3DTOP_DISABLE : t[D3DTSS_ALPHAOP]);
    s.alphaArg1 = static_cast<std::uint8_t>(t[D3DTSS_ALPHAARG1]);
    s.alphaArg2 = static_cast<std::uint8_t>(t[D3DTSS_ALPHAARG2]);
    s.alphaArg0 = static_cast<std::uint8_t>(t[D3DTSS_ALPHAARG0]);
    s.resultTemp = t[D3DTSS_RESULTARG] == D3DTA_TEMP ? 1 : 0;
    s.textureBound = textures_[stages] ? 1 : 0;
    s.texCoordIndex = static_cast<std::uint8_t>(t[D3DTSS_TEXCOORDINDEX] & 7);
    if (!rhw) {
      s.texGen = static_cast<std::uint8_t>((t[D3DTSS_TEXCOORDINDEX] >> 16) & 3);
      const DWORD flags = t[D3DTSS_TEXTURETRANSFORMFLAGS];
      s.transformCount = static_cast<std::uint8_t>(std::min<DWORD>(flags & 0xFF, 4));
      s.projected = (flags & D3DTTFF_PROJECTED) ? 1 : 0;
    }
  }
  k.stageCount = static_cast<std::uint8_t>(stages);
  return k;
}

// ---------------------------------------------------------------------------------------------
// GL synchronisation

void Device::ApplyFramebuffer() {
  GlState& gl = core_->gl;
  gl.BindDrawFramebuffer(drawFbo_);
  if (attachmentsStale_) {
    renderTarget_->Attach(GL_DRAW_FRAMEBUFFER);
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    if (depthStencil_) depthStencil_->Attach(GL_DRAW_FRAMEBUFFER);
    attachmentsStale_ = false;
  }
  framebufferDirty_ = false;
}

void Device::ApplyRaster() {
  GlState& gl = core_->gl;
  const bool depth = rs_[D3DRS_ZENABLE] != D3DZB_FALSE && depthStencil_;
  gl.Enable(GL_DEPTH_TEST, depth);
  if (depth) {
    gl.DepthFunc(CompareFunc(rs_[D3DRS_ZFUNC]));
    gl.DepthMask(rs_[D3DRS_ZWRITEENABLE] != FALSE);
  }
  const bool blend = rs_[D3DRS_ALPHABLENDENABLE] != FALSE;
  gl.Enable(GL_BLEND, blend);
  if (blend) {
    GLenum src = BlendFactor(rs_[D3DRS_SRCBLEND]), dst = BlendFactor(rs_[D3DRS_DESTBLEND]);
    if (rs_[D3DRS_SRCBLEND] == D3DBLEND_BOTHSRCALPHA) src = GL_SRC_ALPHA, dst = GL_ONE_MINUS_SRC_ALPHA;
    if (rs_[D3DRS_SRCBLEND] == D3DBLEND_BOTHINVSRCALPHA) src = GL_ONE_MINUS_SRC_ALPHA, dst = GL_SRC_ALPHA;
    gl.BlendFunc(src, dst);
    GLenum eq = GL_FUNC_ADD;
    switch (rs_[D3DRS_BLENDOP]) {
      case D3DBLENDOP_SUBTRACT: eq = GL_FUNC_SUBTRACT; break;
      case D3DBLENDOP_REVSUBTRACT: eq = GL_FUNC_REVERSE_SUBTRACT; break;
      case D3DBLENDOP_MIN: eq = GL_MIN; break;
      case D3DBLENDOP_MAX: eq = GL_MAX; break;
      default: break;
    }
    gl.BlendEquation(eq);
  }
  // Stored top row first, a triangle clockwise on screen is counter-clockwise for GL.
  const DWORD cull = rs_[D3DRS_CULLMODE];
  gl.Enable(GL_CULL_FACE, cull == D3DCULL_CW || cull == D3DCULL_CCW);
  if (cull == D3DCULL_CW) gl.CullFace(GL_FRONT);
  if (cull == D3DCULL_CCW) gl.CullFace(GL_BACK);
  gl.PolygonMode(rs_[D3DRS_FILLMODE] == D3DFILL_POINT       ? GL_POINT
                 : rs_[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                            : GL_FILL);
  gl.ColorMask(rs_[D3DRS_COLORWRITEENABLE] & 0xF);
  const bool stencil = rs_[D3DRS_STENCILENABLE] && depthStencil_ &&
                       GetFormatInfo(depthStencil_->Format()).internalFormat == GL_DEPTH24_STENCIL8;
  gl.Enable(GL_STENCIL_TEST, stencil);
  if (stencil) {
    gl.StencilFunc(CompareFunc(rs_[D3DRS_STENCILFUNC]), static_cast<GLint>(rs_[D3DRS_STENCILREF]),
                   rs_[D3DRS_STENCILMASK]);
    gl.StencilOp(StencilOp(rs_[D3DRS_STENCILFAIL]), StencilOp(rs_[D3DRS_STENCILZFAIL]),
                 StencilOp(rs_[D3DRS_STENCILPASS]));
    gl.StencilWriteMask(rs_[D3DRS_STENCILWRITEMASK]);
  }
  gl.Enable(GL_POLYGON_OFFSET_FILL, rs_[D3DRS_ZBIAS] != 0);
  if (rs_[D3DRS_ZBIAS]) gl.PolygonOffset(0.0f, -static_cast<float>(rs_[D3DRS_ZBIAS]));
  gl.Enable(GL_MULTISAMPLE, rs_[D3DRS_MULTISAMPLEANTIALIAS] != FALSE);
  gl.Enable(GL_SCISSOR_TEST, false);
  rasterDirty_ = false;
}

bool Device::ApplyProgram() {
  if (keyDirty_) {
    FFKey key = BuildKey();
    if (!program_ || !(key == key_)) {
      key_ = key;
      const std::uint64_t built = programsBuilt_;
      program_ = programs_.Get(key_, &programsBuilt_);
      if (programsBuilt_ != built) core_->gl.ForgetProgram();
    }
    // The active lights, in index order, for the light uniforms.
    lightCount_ = 0;
    for (const auto& [index, slot] : lights_)
      if (slot.enabled && lightCount_ < kMaxActiveLights) activeSlots_[lightCount_++] = &slot;
    keyDirty_ = false;
  }
  if (!program_) return false;
  if (core_->gl.Program() != program_->program) ++programBinds_;
  core_->gl.UseProgram(program_->program);
  return true;
}

void Device::ComputeDerived() {
  for (int k = 0; k < kMaxBlendMatrices; ++k) {
    const D3DMATRIX wv = Multiply(world_[k], view_);
    std::memcpy(worldView_[k], &wv, sizeof wv);
    Inverse3x3(wv, normal_[k]);
  }
  derivedDirty_ = false;
}

void Device::ApplyUniforms(FFProgram* p) {
  if (p->seen[kTransforms] != versions_[kTransforms]) {
    if (derivedDirty_) ComputeDerived();
    glUniformMatrix4fv(p->worldView, kMaxBlendMatrices, GL_FALSE, &worldView_[0][0]);
    glUniformMatrix3fv(p->normalMatrix, kMaxBlendMatrices, GL_TRUE, &normal_[0][0]);
    glUniformMatrix4fv(p->projection, 1, GL_FALSE, &projection_.m[0][0]);
    p->seen[kTransforms] = versions_[kTransforms];
  }
  if (p->seen[kTexMatrices] != versions_[kTexMatrices]) {
    glUniformMatrix4fv(p->texMatrix, kMaxStages, GL_FALSE, &texture_[0].m[0][0]);
    p->seen[kTexMatrices] = versions_[kTexMatrices];
  }
  if (p->seen[kLights] != versions_[kLights] && p->lightDiffuse >= 0) {
    float diffuse[kMaxActiveLights][4] = {}, specular[kMaxActiveLights][4] = {}, ambient[kMaxActiveLights][4] = {};
    float position[kMaxActiveLights][4] = {}, direction[kMaxActiveLights][4] = {};
    float attenuation[kMaxActiveLights][4] = {}, spot[kMaxActiveLights][4] = {};
    const D3DMATRIX& v = view_;
    for (int i = 0; i < lightCount_; ++i) {
      const D3DLIGHT8& l = activeSlots_[i]->light;
      std::memcpy(diffuse[i], &l.Diffuse, 16);
      std::memcpy(specular[i], &l.Specular, 16);
      std::memcpy(ambient[i], &l.Ambient, 16);
      const D3DVECTOR& pw = l.Position;
      position[i][0] = pw.x * v._11 + pw.y * v._21 + pw.z * v._31 + v._41;
      position[i][1] = pw.x * v._12 + pw.y * v._22 + pw.z * v._32 + v._42;
      position[i][2] = pw.x * v._13 + pw.y * v._23 + pw.z * v._33 + v._43;
      const D3DVECTOR& dw = l.Direction;
      float d[3] = {dw.x * v._11 + dw.y * v._21 + dw.z * v._31, dw.x * v._12 + dw.y * v._22 + dw.z * v._32,
                    dw.x * v._13 + dw.y * v._23 + dw.z * v._33};
      const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
      // Stored pointing toward the light.
      for (int c = 0; c < 3; ++c) direction[i][c] = len > 0.0f ? -d[c] / len : 0.0f;
      attenuation[i][0] = l.Attenuation0, attenuation[i][1] = l.Attenuation1, attenuation[i][2] = l.Attenuation2;
      attenuation[i][3] = l.Range;
      spot[i][0] = std::cos(l.Theta * 0.5f), spot[i][1] = std::cos(l.Phi * 0.5f), spot[i][2] = l.Falloff;
    }
    glUniform4fv(p->lightDiffuse, kMaxActiveLights, &diffuse[0][0]);
    glUniform4fv(p->lightSpecular, kMaxActiveLights, &specular[0][0]);
    glUniform4fv(p->lightAmbient, kMaxActiveLights, &ambient[0][0]);
    glUniform4fv(p->lightPosition, kMaxActiveLights, &position[0][0]);
    glUniform4fv(p->lightDirection, kMaxActiveLights, &direction[0][0]);
    glUniform4fv(p->lightAttenuation, kMaxActiveLights, &attenuation[0][0]);
    glUniform4fv(p->lightSpot, kMaxActiveLights, &spot[0][0]);
    p->seen[kLights] = versions_[kLights];
  }
  if (p->seen[kMaterial] != versions_[kMaterial]) {
    glUniform4fv(p->materialDiffuse, 1, &material_.Diffuse.r);
    glUniform4fv(p->materialAmbient, 1, &material_.Ambient.r);
    glUniform4fv(p->materialSpecular, 1, &material_.Specular.r);
    glUniform4fv(p->materialEmissive, 1, &material_.Emissive.r);
    glUniform1f(p->materialPower, material_.Power);
    p->seen[kMaterial] = versions_[kMaterial];
  }
  if (p->seen[kMisc] != versions_[kMisc]) {
    float c[4];
    ColorOf(rs_[D3DRS_AMBIENT], c);
    glUniform4fv(p->globalAmbient, 1, c);
    ColorOf(rs_[D3DRS_TEXTUREFACTOR], c);
    glUniform4fv(p->textureFactor, 1, c);
    glUniform1f(p->alphaRef, static_cast<float>(rs_[D3DRS_ALPHAREF] & 0xFF));
    p->seen[kMisc] = versions_[kMisc];
  }
  if (p->seen[kScreen] != versions_[kScreen]) {
    glUniform4f(p->screen, static_cast<float>(viewport_.X), static_cast<float>(viewport_.Y),
                static_cast<float>(viewport_.Width), static_cast<float>(viewport_.Height));
    glUniform2f(p->depthRange, viewport_.MinZ, viewport_.MaxZ);
    glUniform2f(p->pixelOffset, 1.0f / static_cast<float>(viewport_.Width), 1.0f / static_cast<float>(viewport_.Height));
    p->seen[kScreen] = versions_[kScreen];
  }
}

void Device::ApplyTextures() {
  GlState& gl = core_->gl;
  for (int s = 0; s < kMaxStages; ++s) {
    Texture* t = textures_[s];
    // Prepare uploads levels changed since the last draw, even when the binding is unchanged.
    const GLuint name = t ? t->Prepare() : 0;
    gl.BindTexture(s, name);
    if (!(samplerDirty_ & (1u << s)) && samplerValues_[s].valid) {
      gl.BindSampler(s, samplers_[s]);
      continue;
    }
    SamplerValues& applied = samplerValues_[s];
    const DWORD* t0 = tss_[s];
    const GLuint sampler = samplers_[s];
    auto changed = [&](D3DTEXTURESTAGESTATETYPE type) {
      return !applied.valid || applied.values[type] != t0[type];
    };
    if (changed(D3DTSS_ADDRESSU)) glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, AddressMode(t0[D3DTSS_ADDRESSU]));
    if (changed(D3DTSS_ADDRESSV)) glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, AddressMode(t0[D3DTSS_ADDRESSV]));
    if (changed(D3DTSS_BORDERCOLOR)) {
      float c[4];
      ColorOf(t0[D3DTSS_BORDERCOLOR], c);
      glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, c);
    }
    if (changed(D3DTSS_MAGFILTER))
      glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, t0[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    if (changed(D3DTSS_MINFILTER) || changed(D3DTSS_MIPFILTER)) {
      const bool linear = t0[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
      GLint min = linear ? GL_LINEAR : GL_NEAREST;
      if (t0[D3DTSS_MIPFILTER] == D3DTEXF_POINT) min = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
      if (t0[D3DTSS_MIPFILTER] >= D3DTEXF_LINEAR) min = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
      glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, min);
    }
    if (changed(D3DTSS_MIPMAPLODBIAS))
      glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, std::bit_cast<float>(t0[D3DTSS_MIPMAPLODBIAS]));
    if (changed(D3DTSS_MAXMIPLEVEL))
      glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, static_cast<float>(t0[D3DTSS_MAXMIPLEVEL]));
    std::memcpy(applied.values, t0, sizeof applied.values);
    applied.valid = true;
    gl.BindSampler(s, sampler);
  }
  samplerDirty_ = 0;
  textureDirty_ = 0;
}

void Device::ApplyVertexLayout(GLuint buffer, UINT stride) {
  if (!layoutDirty_ && buffer == layoutBuffer_ && stride == layoutStride_ && fvf_ == layoutFvf_) return;
  GlState& gl = core_->gl;
  gl.BindArrayBuffer(buffer);
  unsigned enabled = 0;
  auto attrib = [&](GLuint location, GLint size, GLenum type, GLboolean normalized, UINT offset) {
    glVertexAttribPointer(location, size, type, normalized, static_cast<GLsizei>(stride),
                          reinterpret_cast<const void*>(static_cast<std::uintptr_t>(offset)));
    enabled |= 1u << location;
  };
  UINT offset = 0;
  const DWORD position = fvf_ & D3DFVF_POSITION_MASK;
  if (position == D3DFVF_XYZRHW) {
    attrib(0, 4, GL_FLOAT, GL_FALSE, 0);
    offset = 16;
  } else if (position) {
    attrib(0, 3, GL_FLOAT, GL_FALSE, 0);
    offset = 12;
    const int weights = FvfWeights(fvf_);
    if (weights > 0) {
      attrib(1, std::min(weights, 4), GL_FLOAT, GL_FALSE, offset);
      offset += 4 * static_cast<UINT>(weights);
    }
  }
  if (fvf_ & D3DFVF_NORMAL) attrib(2, 3, GL_FLOAT, GL_FALSE, offset), offset += 12;
  if (fvf_ & D3DFVF_PSIZE) attrib(3, 1, GL_FLOAT, GL_FALSE, offset), offset += 4;
  if (fvf_ & D3DFVF_DIFFUSE) attrib(4, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, offset), offset += 4;
  if (fvf_ & D3DFVF_SPECULAR) attrib(5, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, offset), offset += 4;
  const int texCount = static_cast<int>((fvf_ & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
  for (int i = 0; i < texCount && i < 8; ++i) {
    GLint size = 2;
    switch ((fvf_ >> (i * 2 + 16)) & 3) {
      case D3DFVF_TEXTUREFORMAT1: size = 1; break;
      case D3DFVF_TEXTUREFORMAT3: size = 3; break;
      case D3DFVF_TEXTUREFORMAT4: size = 4; break;
      default: break;
    }
    attrib(static_cast<GLuint>(6 + i), size, GL_FLOAT, GL_FALSE, offset);
    offset += 4 * static_cast<UINT>(size);
  }
  for (GLuint l = 0; l < 16; ++l) {
    const unsigned bit = 1u << l;
    if ((enabled & bit) && !(enabledArrays_ & bit)) glEnableVertexAttribArray(l);
    if (!(enabled & bit) && (enabledArrays_ & bit)) glDisableVertexAttribArray(l);
  }
  enabledArrays_ = enabled;
  layoutBuffer_ = buffer;
  layoutStride_ = stride;
  layoutFvf_ = fvf_;
  layoutDirty_ = false;
}

bool Device::Flush() {
  if (drawObserver_) drawObserver_();
  GlState& gl = core_->gl;
  if (framebufferDirty_) ApplyFramebuffer();
  else gl.BindDrawFramebuffer(drawFbo_);
  if (viewportDirty_) {
    gl.Viewport(static_cast<GLint>(viewport_.X), static_cast<GLint>(viewport_.Y),
                static_cast<GLsizei>(viewport_.Width), static_cast<GLsizei>(viewport_.Height));
    gl.DepthRange(viewport_.MinZ, viewport_.MaxZ);
    viewportDirty_ = false;
  }
  if (rasterDirty_) ApplyRaster();
  if (!ApplyProgram()) return false;
  ApplyUniforms(program_);
  ApplyTextures();
  gl.BindVertexArray(vao_);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Streaming of vertices drawn from memory

std::pair<GLuint, UINT> Device::StreamUp(const void* data, UINT bytes, UINT stride) {
  GlState& gl = core_->gl;
  UINT offset = ((ringOffset_ + stride - 1) / stride) * stride;
  if (!ring_ || offset + bytes > ringSize_) {
    // Start a fresh buffer: GL keeps the old one alive for draws in flight.
    const UINT size = std::max(kRingSize, bytes * 2);
    if (ring_) {
      gl.BindArrayBuffer(ring_);
      if (ringMapped_) glUnmapBuffer(GL_ARRAY_BUFFER);
      gl.Forget(0, ring_);
      glDeleteBuffers(1, &ring_);
      ringMapped_ = nullptr;
    }
    glGenBuffers(1, &ring_);
    gl.BindArrayBuffer(ring_);
    if (core_->limits.bufferStorage) {
      const GLbitfield flags = GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
      glBufferStorage(GL_ARRAY_BUFFER, size, nullptr, flags);
      ringMapped_ = static_cast<std::uint8_t*>(glMapBufferRange(GL_ARRAY_BUFFER, 0, size, flags));
    } else {
      glBufferData(GL_ARRAY_BUFFER, size, nullptr, GL_STREAM_DRAW);
    }
    ringSize_ = size;
    offset = 0;
    layoutDirty_ = true;  // a new buffer, possibly with the old name
  }
  if (ringMapped_) {
    std::memcpy(ringMapped_ + offset, data, bytes);
  } else {
    gl.BindArrayBuffer(ring_);
    void* p = glMapBufferRange(GL_ARRAY_BUFFER, offset, bytes,
                               GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT | GL_MAP_INVALIDATE_RANGE_BIT);
    if (p) {
      std::memcpy(p, data, bytes);
      glUnmapBuffer(GL_ARRAY_BUFFER);
    }
  }
  ringOffset_ = offset + bytes;
  return {ring_, offset / stride};
}

void Device::DrawArrays(D3DPRIMITIVETYPE type, GLint first, UINT primitiveCount) {
  glDrawArrays(Mode(type), first, static_cast<GLsizei>(VertexCount(type, primitiveCount)));
  ++drawCalls_;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                                UINT vertexStride) {
  if (!vertexData || vertexStride == 0 || !Mode(type)) return D3DERR_INVALIDCALL;
  // Drawing from memory leaves stream 0 unset, as Direct3D 8 does.
  if (stream_) {
    stream_->Release();
    stream_ = nullptr;
    streamStride_ = 0;
  }
  if (static_cast<std::uint64_t>(VertexCount(type, primitiveCount)) * vertexStride > kMaxUpBytes)
    return D3DERR_INVALIDCALL;
  if (primitiveCount == 0 || !Drawable()) return D3D_OK;
  core_->MakeCurrent();
  const UINT bytes = VertexCount(type, primitiveCount) * vertexStride;
  auto [buffer, first] = StreamUp(vertexData, bytes, vertexStride);
  if (!Flush()) return D3DERR_INVALIDCALL;
  ApplyVertexLayout(buffer, vertexStride);
  DrawArrays(type, static_cast<GLint>(first), primitiveCount);
  return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  if (!stream_ || streamStride_ == 0 || !Mode(type)) return D3DERR_INVALIDCALL;
  const UINT count = VertexCount(type, primitiveCount);
  if ((static_cast<std::uint64_t>(startVertex) + count) * streamStride_ > stream_->Length()) return D3DERR_INVALIDCALL;
  if (primitiveCount == 0 || !Drawable()) return D3D_OK;
  core_->MakeCurrent();
  if (!Flush()) return D3DERR_INVALIDCALL;
  ApplyVertexLayout(stream_->Name(), streamStride_);
  DrawArrays(type, static_cast<GLint>(startVertex), primitiveCount);
  return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT, UINT, UINT startIndex, UINT primitiveCount) {
  if (!stream_ || !indices_ || streamStride_ == 0 || !Mode(type)) return D3DERR_INVALIDCALL;
  const UINT indexSize = indices_->IndexSize();
  const UINT count = VertexCount(type, primitiveCount);
  if ((static_cast<std::uint64_t>(startIndex) + count) * indexSize > indices_->Length()) return D3DERR_INVALIDCALL;
  // Indices must stay inside the vertex buffer: checked against the buffer's largest index,
  // and against the drawn range only when that is too large.
  const std::uint64_t vertices = stream_->Length() / streamStride_;
  if (indices_->MaxIndex() + static_cast<std::uint64_t>(baseVertex_) >= vertices &&
      indices_->MaxIndex(startIndex, count) + static_cast<std::uint64_t>(baseVertex_) >= vertices)
    return D3DERR_INVALIDCALL;
  if (primitiveCount == 0 || !Drawable()) return D3D_OK;
  core_->MakeCurrent();
  if (!Flush()) return D3DERR_INVALIDCALL;
  ApplyVertexLayout(stream_->Name(), streamStride_);
  core_->gl.BindElementBuffer(indices_->Name());
  glDrawElementsBaseVertex(Mode(type), static_cast<GLsizei>(count),
                           indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                           reinterpret_cast<const void*>(static_cast<std::uintptr_t>(startIndex) * indexSize),
                           static_cast<GLint>(baseVertex_));
  ++drawCalls_;
  return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT primitiveCount,
                                       const void* indexData, D3DFORMAT indexFormat, const void* vertexData,
                                       UINT vertexStride) {
  if (!indexData || !vertexData || vertexStride == 0 || !Mode(type) ||
      (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
    return D3DERR_INVALIDCALL;
  if (stream_) {
    stream_->Release();
    stream_ = nullptr;
    streamStride_ = 0;
  }
  if (indices_) {
    indices_->Release();
    indices_ = nullptr;
  }
  const UINT indexSize = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
  const UINT count = VertexCount(type, primitiveCount);
  if ((static_cast<std::uint64_t>(minIndex) + numVertices) * vertexStride > kMaxUpBytes ||
      static_cast<std::uint64_t>(count) * indexSize > kMaxUpBytes)
    return D3DERR_INVALIDCALL;
  if (primitiveCount == 0 || numVertices == 0 || !Drawable()) return D3D_OK;
  // Every index must name one of the vertices given.
  for (UINT i = 0; i < count; ++i) {
    std::uint32_t v = 0;
    std::memcpy(&v, static_cast<const std::uint8_t*>(indexData) + static_cast<size_t>(i) * indexSize, indexSize);
    if (v >= minIndex + numVertices) return D3DERR_INVALIDCALL;
  }
  core_->MakeCurrent();
  GlState& gl = core_->gl;
  auto [buffer, first] = StreamUp(vertexData, (minIndex + numVertices) * vertexStride, vertexStride);
  if (!Flush()) return D3DERR_INVALIDCALL;
  ApplyVertexLayout(buffer, vertexStride);
  const UINT bytes = count * indexSize;
  if (!indexRing_ || ((indexRingOffset_ + 3) & ~3u) + bytes > indexRingSize_) {
    if (!indexRing_) glGenBuffers(1, &indexRing_);
    indexRingSize_ = std::max(kIndexRingSize, bytes * 2);
    gl.BindElementBuffer(indexRing_);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, indexRingSize_, nullptr, GL_STREAM_DRAW);
    indexRingOffset_ = 0;
  }
  gl.BindElementBuffer(indexRing_);
  const UINT offset = (indexRingOffset_ + 3) & ~3u;
  void* p = glMapBufferRange(GL_ELEMENT_ARRAY_BUFFER, offset, bytes,
                             GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT | GL_MAP_INVALIDATE_RANGE_BIT);
  if (!p) return D3DERR_DRIVERINTERNALERROR;
  std::memcpy(p, indexData, bytes);
  glUnmapBuffer(GL_ELEMENT_ARRAY_BUFFER);
  indexRingOffset_ = offset + bytes;
  glDrawElementsBaseVertex(Mode(type), static_cast<GLsizei>(count), indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                           reinterpret_cast<const void*>(static_cast<std::uintptr_t>(offset)), static_cast<GLint>(first));
  ++drawCalls_;
  return D3D_OK;
}

}  // namespace d3d8
