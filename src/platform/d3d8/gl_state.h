// A shadow of the GL state the device uses, so that only real changes reach GL.
#pragma once

#include <cstdint>

#include "platform/d3d8/gl.h"

namespace d3d8 {

class GlState {
 public:
  static constexpr int kUnits = 8;
  std::uint64_t changes = 0;  // GL calls that were actually made

  static GlState Create() { return GlState(); }
  void Invalidate() { *this = GlState{changes}; }

  void BindDrawFramebuffer(GLuint fbo) {
    if (drawFbo_ != fbo) { glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo); drawFbo_ = fbo; ++changes; }
  }
  void BindReadFramebuffer(GLuint fbo) {
    if (readFbo_ != fbo) { glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo); readFbo_ = fbo; ++changes; }
  }
  void UseProgram(GLuint program) {
    if (program_ != program) { glUseProgram(program); program_ = program; ++changes; }
  }
  void ForgetProgram() { program_ = ~0u; }
  void BindVertexArray(GLuint vao) {
    if (vao_ != vao) { glBindVertexArray(vao); vao_ = vao; ++changes; }
  }
  void BindArrayBuffer(GLuint buffer) {
    if (arrayBuffer_ != buffer) { glBindBuffer(GL_ARRAY_BUFFER, buffer); arrayBuffer_ = buffer; ++changes; }
  }
  // Element buffers belong to the vertex array; the device uses one vertex array.
  void BindElementBuffer(GLuint buffer) {
    if (elementBuffer_ != buffer) {
      glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
      elementBuffer_ = buffer;
      ++changes;
    }
  }
  void BindTexture(int unit, GLuint texture) {
    if (texture_[unit] != texture) {
      ActiveUnit(unit);
      glBindTexture(GL_TEXTURE_2D, texture);
      texture_[unit] = texture;
      ++changes;
    }
  }
  // Binds for uploading or changing parameters: the unit becomes the active one too.
  void SelectTexture(int unit, GLuint texture) {
    ActiveUnit(unit);
    BindTexture(unit, texture);
  }
  void BindSampler(int unit, GLuint sampler) {
    if (sampler_[unit] != sampler) { glBindSampler(static_cast<GLuint>(unit), sampler); sampler_[unit] = sampler; ++changes; }
  }
  void ActiveUnit(int unit) {
    if (activeUnit_ != unit) { glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit)); activeUnit_ = unit; ++changes; }
  }
  void Enable(GLenum cap, bool on) {
    std::int8_t* slot = CapSlot(cap);
    if (*slot != (on ? 1 : 0)) {
      if (on) glEnable(cap); else glDisable(cap);
      *slot = on ? 1 : 0;
      ++changes;
    }
  }
  void BlendFunc(GLenum src, GLenum dst) {
    if (blendSrc_ != src || blendDst_ != dst) { glBlendFunc(src, dst); blendSrc_ = src; blendDst_ = dst; ++changes; }
  }
  void BlendEquation(GLenum eq) {
    if (blendEq_ != eq) { glBlendEquation(eq); blendEq_ = eq; ++changes; }
  }
  void DepthMask(bool on) {
    if (depthMask_ != (on ? 1 : 0)) { glDepthMask(on ? GL_TRUE : GL_FALSE); depthMask_ = on ? 1 : 0; ++changes; }
  }
  void DepthFunc(GLenum func) {
    if (depthFunc_ != func) { glDepthFunc(func); depthFunc_ = func; ++changes; }
  }
  void CullFace(GLenum face) {
    if (cullFace_ != face) { glCullFace(face); cullFace_ = face; ++changes; }
  }
  void ColorMask(unsigned mask) {
    if (colorMask_ != static_cast<int>(mask)) {
      glColorMask(mask & 1 ? GL_TRUE : GL_FALSE, mask & 2 ? GL_TRUE : GL_FALSE, mask & 4 ? GL_TRUE : GL_FALSE,
                  mask & 8 ? GL_TRUE : GL_FALSE);
      colorMask_ = static_cast<int>(mask);
      ++changes;
    }
  }
  void PolygonMode(GLenum mode) {
    if (polygonMode_ != mode) { glPolygonMode(GL_FRONT_AND_BACK, mode); polygonMode_ = mode; ++changes; }
  }
  void StencilFunc(GLenum func, GLint ref, GLuint mask) {
    if (stencilFunc_ != func || stencilRef_ != ref || stencilMask_ != mask) {
      glStencilFunc(func, ref, mask);
      stencilFunc_ = func, stencilRef_ = ref, stencilMask_ = mask;
      ++changes;
    }
  }
  void StencilOp(GLenum fail, GLenum zfail, GLenum pass) {
    if (stencilFail_ != fail || stencilZFail_ != zfail || stencilPass_ != pass) {
      glStencilOp(fail, zfail, pass);
      stencilFail_ = fail, stencilZFail_ = zfail, stencilPass_ = pass;
      ++changes;
    }
  }
  void StencilWriteMask(GLuint mask) {
    if (stencilWriteMask_ != mask) { glStencilMask(mask); stencilWriteMask_ = mask; ++changes; }
  }
  void PolygonOffset(float factor, float units) {
    if (offsetFactor_ != factor || offsetUnits_ != units) {
      glPolygonOffset(factor, units);
      offsetFactor_ = factor, offsetUnits_ = units;
      ++changes;
    }
  }
  void Viewport(GLint x, GLint y, GLsizei w, GLsizei h) {
    if (vx_ != x || vy_ != y || vw_ != w || vh_ != h) {
      glViewport(x, y, w, h);
      vx_ = x, vy_ = y, vw_ = w, vh_ = h;
      ++changes;
    }
  }
  void Scissor(GLint x, GLint y, GLsizei w, GLsizei h) {
    if (sx_ != x || sy_ != y || sw_ != w || sh_ != h) {
      glScissor(x, y, w, h);
      sx_ = x, sy_ = y, sw_ = w, sh_ = h;
      ++changes;
    }
  }
  void DepthRange(float n, float f) {
    if (depthNear_ != n || depthFar_ != f) { glDepthRange(n, f); depthNear_ = n, depthFar_ = f; ++changes; }
  }

  // Forget objects that GL is deleting (GL unbinds them itself).
  void Forget(GLuint texture, GLuint buffer) {
    for (GLuint& t : texture_)
      if (texture && t == texture) t = 0;
    if (buffer && arrayBuffer_ == buffer) arrayBuffer_ = 0;
    if (buffer && elementBuffer_ == buffer) elementBuffer_ = 0;
  }
  void ForgetFramebuffer(GLuint fbo) {
    if (drawFbo_ == fbo) drawFbo_ = 0;
    if (readFbo_ == fbo) readFbo_ = 0;
  }
  GLuint Program() const { return program_; }
  GLuint ElementBuffer() const { return elementBuffer_; }
  GLuint ArrayBuffer() const { return arrayBuffer_; }

 private:
  GlState() = default;
  explicit GlState(std::uint64_t c) : changes(c) {}
  friend class DeviceCore;

  std::int8_t* CapSlot(GLenum cap) {
    switch (cap) {
      case GL_BLEND: return &caps_[0];
      case GL_DEPTH_TEST: return &caps_[1];
      case GL_CULL_FACE: return &caps_[2];
      case GL_STENCIL_TEST: return &caps_[3];
      case GL_SCISSOR_TEST: return &caps_[4];
      case GL_POLYGON_OFFSET_FILL: return &caps_[5];
      case GL_MULTISAMPLE: return &caps_[6];
      case GL_FRAMEBUFFER_SRGB: return &caps_[7];
      default: return &caps_[8];
    }
  }

  static constexpr GLuint kUnknown = ~0u;
  GLuint drawFbo_ = kUnknown, readFbo_ = kUnknown, program_ = kUnknown, vao_ = kUnknown;
  GLuint arrayBuffer_ = kUnknown, elementBuffer_ = kUnknown;
  GLuint texture_[kUnits] = {kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown};
  GLuint sampler_[kUnits] = {kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown};
  int activeUnit_ = -1;
  std::int8_t caps_[9] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
  GLenum blendSrc_ = kUnknown, blendDst_ = kUnknown, blendEq_ = kUnknown, depthFunc_ = kUnknown, cullFace_ = kUnknown,
         polygonMode_ = kUnknown;
  int depthMask_ = -1, colorMask_ = -1;
  GLenum stencilFunc_ = kUnknown, stencilFail_ = kUnknown, stencilZFail_ = kUnknown, stencilPass_ = kUnknown;
  GLint stencilRef_ = -1;
  GLuint stencilMask_ = 0xDEADBEEF, stencilWriteMask_ = 0xDEADBEEF;
  float offsetFactor_ = -1e30f, offsetUnits_ = -1e30f;
  GLint vx_ = -1, vy_ = -1, sx_ = -1, sy_ = -1;
  GLsizei vw_ = -1, vh_ = -1, sw_ = -1, sh_ = -1;
  float depthNear_ = -1, depthFar_ = -1;
};

}  // namespace d3d8
