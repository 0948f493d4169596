// The glow buffer: a small render target that collects the bright parts of the picture
// (specular highlights of gold and gems), read back, blurred on the processor and screened
// over the frame.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "scene/glow_blur.h"

namespace scene {

class GlowBuffer {
 public:
  explicit GlowBuffer(int blurPasses = 1) : blurPasses_(blurPasses) {}
  ~GlowBuffer() { ReleaseDeviceObjects(); }
  GlowBuffer(const GlowBuffer&) = delete;
  GlowBuffer& operator=(const GlowBuffer&) = delete;

  // The render target (multisampled like the back buffer) and the texture it is copied to.
  d3d8::HRESULT CreateDeviceObjects(d3d8::IDirect3DDevice8* device);
  void ReleaseDeviceObjects();

  // Redirects drawing into the glow target (keeping the main depth surface) and clears it.
  d3d8::HRESULT Begin();
  // Restores the main target, reads the glow image back, blurs it and uploads it.
  d3d8::HRESULT End();
  // Screens the glow texture over the whole viewport (glow x (1 - picture) + picture).
  void Composite();

  int width() const { return kGlowSize; }
  int height() const { return kGlowSize; }
  int blurPasses() const { return blurPasses_; }
  d3d8::IDirect3DTexture8* texture() const { return texture_; }
  // The planes as last read back (and blurred): blue, green, red.
  const std::uint8_t* plane(int channel) const { return planes_[channel].data(); }

 private:
  void ReleaseSaved();

  int blurPasses_;
  d3d8::IDirect3DDevice8* device_ = nullptr;
  d3d8::IDirect3DSurface8* target_ = nullptr;
  d3d8::IDirect3DTexture8* texture_ = nullptr;
  d3d8::IDirect3DSurface8* savedTarget_ = nullptr;
  d3d8::IDirect3DSurface8* savedDepth_ = nullptr;
  std::vector<std::uint8_t> planes_[3] = {std::vector<std::uint8_t>(kGlowSize * kGlowSize),
                                          std::vector<std::uint8_t>(kGlowSize * kGlowSize),
                                          std::vector<std::uint8_t>(kGlowSize * kGlowSize)};
};

}  // namespace scene
