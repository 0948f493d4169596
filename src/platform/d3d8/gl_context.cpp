#include "platform/d3d8/gl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/d3d8/gl.h"

namespace d3d8 {
namespace {

// One EGL display for the process; contexts come and go on it.
EGLDisplay SurfacelessDisplay() {
  static EGLDisplay display = [] {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return EGL_NO_DISPLAY;
    EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (d == EGL_NO_DISPLAY) return EGL_NO_DISPLAY;
    EGLint major = 0, minor = 0;
    if (!eglInitialize(d, &major, &minor)) return EGL_NO_DISPLAY;
    return d;
  }();
  return display;
}

class EglContext final : public GlContext {
 public:
  explicit EglContext(EGLContext context) : context_(context) {}
  ~EglContext() override {
    EGLDisplay d = SurfacelessDisplay();
    if (eglGetCurrentContext() == context_) eglMakeCurrent(d, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(d, context_);
  }
  bool MakeCurrent() override {
    return eglMakeCurrent(SurfacelessDisplay(), EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
  }
  void Swap() override {}
  bool HasWindow() const override { return false; }
  SDL_Window* Window() const override { return nullptr; }
  void DrawableSize(int& width, int& height) const override { width = height = 0; }
  void SetSwapInterval(int) override {}

 private:
  EGLContext context_;
};

class SdlContext final : public GlContext {
 public:
  SdlContext(SDL_Window* window, SDL_GLContext context) : window_(window), context_(context) {}
  ~SdlContext() override {
    if (SDL_GL_GetCurrentContext() == context_) SDL_GL_MakeCurrent(window_, nullptr);
    SDL_GL_DeleteContext(context_);
  }
  bool MakeCurrent() override { return SDL_GL_MakeCurrent(window_, context_) == 0; }
  void Swap() override { SDL_GL_SwapWindow(window_); }
  bool HasWindow() const override { return true; }
  SDL_Window* Window() const override { return window_; }
  void DrawableSize(int& width, int& height) const override { SDL_GL_GetDrawableSize(window_, &width, &height); }
  void SetSwapInterval(int interval) override {
    // Refused by some servers (Xvfb for 0); the frame still shows.
    SDL_GL_SetSwapInterval(interval);
  }

 private:
  SDL_Window* window_;
  SDL_GLContext context_;
};

}  // namespace

std::unique_ptr<GlContext> GlContext::CreateOffscreen() {
  EGLDisplay d = SurfacelessDisplay();
  if (d == EGL_NO_DISPLAY) return nullptr;
  if (!eglBindAPI(EGL_OPENGL_API)) return nullptr;
  const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
  EGLConfig config = nullptr;
  EGLint count = 0;
  EGLConfig chosen = EGL_NO_CONFIG_KHR;
  if (eglChooseConfig(d, configAttribs, &config, 1, &count) && count > 0) chosen = config;
  const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION,
                                   3,
                                   EGL_CONTEXT_MINOR_VERSION,
                                   3,
                                   EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                   EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                   EGL_NONE};
  EGLContext context = eglCreateContext(d, chosen, EGL_NO_CONTEXT, contextAttribs);
  if (context == EGL_NO_CONTEXT) return nullptr;
  auto result = std::make_unique<EglContext>(context);
  if (!result->MakeCurrent()) return nullptr;
  return result;
}

std::unique_ptr<GlContext> GlContext::CreateForWindow(SDL_Window* window) {
  if (!window) return nullptr;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (!context) return nullptr;
  auto result = std::make_unique<SdlContext>(window, context);
  if (!result->MakeCurrent()) return nullptr;
  return result;
}

void QueryCurrentLimits(GlLimits& limits) {
  GLint value = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &value);
  if (value > 0) limits.maxTextureSize = value;
  limits.sampleCounts.clear();
  GLint countOfCounts = 0;
  glGetInternalformativ(GL_RENDERBUFFER, GL_RGBA8, GL_NUM_SAMPLE_COUNTS, 1, &countOfCounts);
  if (countOfCounts > 0 && countOfCounts < 64) {
    std::vector<GLint> counts(static_cast<size_t>(countOfCounts));
    glGetInternalformativ(GL_RENDERBUFFER, GL_RGBA8, GL_SAMPLES, countOfCounts, counts.data());
    for (GLint c : counts)
      if (c >= 2 && c <= 16) limits.sampleCounts.push_back(c);
  }
  std::sort(limits.sampleCounts.begin(), limits.sampleCounts.end());
  GLint extensions = 0;
  glGetIntegerv(GL_NUM_EXTENSIONS, &extensions);
  for (GLint i = 0; i < extensions; ++i) {
    const char* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
    if (!name) continue;
    if (!std::strcmp(name, "GL_EXT_texture_compression_s3tc")) limits.s3tc = true;
    if (!std::strcmp(name, "GL_ARB_buffer_storage")) limits.bufferStorage = true;
  }
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  std::snprintf(limits.renderer, sizeof limits.renderer, "%s", renderer ? renderer : "OpenGL");
  limits.valid = true;
}

const GlLimits& ProbeGlLimits() {
  static GlLimits limits;
  static std::once_flag once;
  std::call_once(once, [] {
    EGLContext previousEgl = eglGetCurrentContext();
    EGLDisplay previousDisplay = eglGetCurrentDisplay();
    EGLSurface previousDraw = eglGetCurrentSurface(EGL_DRAW);
    EGLSurface previousRead = eglGetCurrentSurface(EGL_READ);
    SDL_Window* previousSdlWindow = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GL_GetCurrentWindow() : nullptr;
    SDL_GLContext previousSdl = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GL_GetCurrentContext() : nullptr;
    {
      auto scratch = GlContext::CreateOffscreen();
      if (scratch) QueryCurrentLimits(limits);
    }
    if (previousSdl) {
      SDL_GL_MakeCurrent(previousSdlWindow, previousSdl);
    } else if (previousEgl != EGL_NO_CONTEXT) {
      eglMakeCurrent(previousDisplay, previousDraw, previousRead, previousEgl);
    }
  });
  return limits;
}

}  // namespace d3d8
