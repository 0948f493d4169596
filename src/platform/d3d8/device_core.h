// What the device and its resources share: the GL context, the GL state shadow, counters and
// the helpers that move pixels between GL objects and memory. Resources keep the core alive, so
// a resource released after its device still finds a context to delete its GL objects in.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/gl.h"
#include "platform/d3d8/gl_context.h"
#include "platform/d3d8/gl_state.h"

namespace d3d8 {

class Device;
class Surface;

class DeviceCore {
 public:
  DeviceCore(std::unique_ptr<GlContext> ctx, const GlLimits& lim);
  ~DeviceCore();
  DeviceCore(const DeviceCore&) = delete;
  DeviceCore& operator=(const DeviceCore&) = delete;

  void MakeCurrent() {
    if (current_ != this) {
      context->MakeCurrent();
      current_ = this;
    }
  }

  // Reads a rectangle of a GPU surface (resolving multisampling) as RGBA8 rows, top row first.
  bool ReadRgba(Surface* surface, const RECT& rect, std::vector<std::uint8_t>& rgba);
  // Writes RGBA8 rows (top first) into a rectangle of a GPU surface.
  bool WriteRgba(Surface* surface, LONG x, LONG y, UINT width, UINT height, const std::uint8_t* rgba);

  std::unique_ptr<GlContext> context;
  GlLimits limits;
  GlState gl = GlState::Create();
  IDirect3DDevice8* device = nullptr;  // the device while it exists
  std::uint64_t liveResources = 0;
  std::uint64_t defaultPoolResources = 0;
  GLuint scratchFbo[2] = {0, 0};

 private:
  static thread_local DeviceCore* current_;
};

using CorePtr = std::shared_ptr<DeviceCore>;

}  // namespace d3d8
