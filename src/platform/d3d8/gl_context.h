// A GL 3.3 core context: in an SDL window (shown on Present) or offscreen through EGL on
// Mesa's surfaceless platform (no display needed).
#pragma once

#include <memory>
#include <vector>

struct SDL_Window;

namespace d3d8 {

class GlContext {
 public:
  virtual ~GlContext() = default;
  virtual bool MakeCurrent() = 0;
  virtual void Swap() = 0;  // no-op offscreen
  virtual bool HasWindow() const = 0;
  virtual SDL_Window* Window() const = 0;
  // Size of the window's drawable (0, 0 offscreen).
  virtual void DrawableSize(int& width, int& height) const = 0;
  virtual void SetSwapInterval(int interval) = 0;

  static std::unique_ptr<GlContext> CreateOffscreen();
  static std::unique_ptr<GlContext> CreateForWindow(SDL_Window* window);
};

// What the GL implementation can do, probed once per process with a scratch context.
struct GlLimits {
  bool valid = false;
  int maxTextureSize = 2048;
  std::vector<int> sampleCounts;  // supported multisample counts for RGBA8 render targets
  bool s3tc = false;
  bool bufferStorage = false;
  char renderer[128] = {};
};
const GlLimits& ProbeGlLimits();
// Fills the limits of the context current now.
void QueryCurrentLimits(GlLimits& limits);

}  // namespace d3d8
