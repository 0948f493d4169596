#include "platform/d3d8/device_core.h"

#include "platform/d3d8/resources.h"

namespace d3d8 {

thread_local DeviceCore* DeviceCore::current_ = nullptr;

DeviceCore::DeviceCore(std::unique_ptr<GlContext> ctx, const GlLimits& lim)
    : context(std::move(ctx)), limits(lim) {
  current_ = nullptr;
  MakeCurrent();
  glGenFramebuffers(2, scratchFbo);
}

DeviceCore::~DeviceCore() {
  MakeCurrent();
  glDeleteFramebuffers(2, scratchFbo);
  context.reset();
  current_ = nullptr;
}

bool DeviceCore::ReadRgba(Surface* surface, const RECT& rect, std::vector<std::uint8_t>& rgba) {
  if (!surface || !surface->OnGpu() || surface->IsDepth()) return false;
  MakeCurrent();
  DrainGlErrors();
  const GLsizei w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0) return false;
  gl.Enable(GL_SCISSOR_TEST, false);
  gl.BindReadFramebuffer(scratchFbo[0]);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
  surface->Attach(GL_READ_FRAMEBUFFER);
  GLuint resolved = 0;
  GLint readX = rect.left, readY = rect.top;
  if (surface->Samples() > 0) {
    // Multisampled: resolve the rectangle into a single-sampled buffer first.
    glGenRenderbuffers(1, &resolved);
    glBindRenderbuffer(GL_RENDERBUFFER, resolved);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    gl.BindDrawFramebuffer(scratchFbo[1]);
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolved);
    glBlitFramebuffer(rect.left, rect.top, rect.right, rect.bottom, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    gl.BindReadFramebuffer(scratchFbo[1]);
    readX = readY = 0;
  }
  rgba.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(readX, readY, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  if (resolved) {
    glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
    glDeleteRenderbuffers(1, &resolved);
  }
  gl.BindReadFramebuffer(scratchFbo[0]);
  glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
  return glGetError() == GL_NO_ERROR;
}

bool DeviceCore::WriteRgba(Surface* surface, LONG x, LONG y, UINT width, UINT height, const std::uint8_t* rgba) {
  if (!surface || !surface->OnGpu() || surface->IsDepth() || width == 0 || height == 0) return false;
  MakeCurrent();
  DrainGlErrors();
  const GLsizei w = static_cast<GLsizei>(width), h = static_cast<GLsizei>(height);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (surface->Container()) {
    gl.SelectTexture(GlState::kUnits - 1, surface->Container()->Prepare());
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(surface->Level()), x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE,
                    rgba);
    return glGetError() == GL_NO_ERROR;
  }
  // Renderbuffers: upload into a scratch texture and blit it into place.
  GLuint texture = 0;
  glGenTextures(1, &texture);
  gl.SelectTexture(GlState::kUnits - 1, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  gl.Enable(GL_SCISSOR_TEST, false);
  gl.BindReadFramebuffer(scratchFbo[0]);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
  gl.BindDrawFramebuffer(scratchFbo[1]);
  glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
  surface->Attach(GL_DRAW_FRAMEBUFFER);
  glBlitFramebuffer(0, 0, w, h, x, y, x + w, y + h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
  glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
  gl.Forget(texture, 0);
  glDeleteTextures(1, &texture);
  return glGetError() == GL_NO_ERROR;
}

}  // namespace d3d8
