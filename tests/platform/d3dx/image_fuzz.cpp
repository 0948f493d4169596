// libFuzzer entry over the image decoders and the pixel work that follows a successful decode.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/d3dx/image_decode.h"
#include "platform/d3dx/image_filter.h"

namespace {

// Extra coverage counters for libFuzzer: libpng and libjpeg are not instrumented, so without
// these a PNG of a new colour type, bit depth or interlace method looks like nothing new.
__attribute__((used, section("__libfuzzer_extra_counters"))) std::uint8_t g_kinds[256];

void NotePngHeader(const std::uint8_t* data, std::size_t size, bool decoded) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size < 29 || std::memcmp(data, kSignature, 8) != 0) return;
  const unsigned depth = data[24], colorType = data[25], interlace = data[28];
  const unsigned depthClass = depth == 1 ? 0 : depth == 2 ? 1 : depth == 4 ? 2 : depth == 8 ? 3 : 4;
  ++g_kinds[((colorType & 7) * 5 + depthClass) * 4 + (interlace & 1) * 2 + (decoded ? 1 : 0)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  d3dx::DecodeLimits limits;
  limits.maxSide = 4096;
  limits.maxPixels = 1u << 20;  // keeps each run fast; the checks are the same at any limit
  d3dx::DecodedImage image;
  const bool decoded = d3dx::DecodeImage(data, size, image, limits) >= 0;
  NotePngHeader(data, size, decoded);
  if (!decoded) return 0;
  // Touch every pixel of every level so that short buffers show up under the sanitizers.
  unsigned sum = 0;
  for (const d3dx::ImageLevel& level : image.levels) {
    if (level.rgba.size() != static_cast<std::size_t>(level.width) * level.height * 4) __builtin_trap();
    for (std::uint8_t b : level.rgba) sum += b;
  }
  const d3dx::ImageLevel& top = image.levels[0];
  if (static_cast<std::uint64_t>(top.width) * top.height <= 64 * 64) {
    d3dx::ImageLevel small = d3dx::ResizeImage(top, 5, 3, d3dx::D3DX_FILTER_LINEAR | d3dx::D3DX_FILTER_MIRROR_U);
    small = d3dx::NextMipLevel(small, d3dx::D3DX_FILTER_BOX);
    sum += static_cast<unsigned>(d3dx::CompressDxt(top, d3d8::D3DFMT_DXT5).size());
    sum += small.rgba.empty() ? 0 : small.rgba[0];
  }
  return sum == 0xFFFFFFFFu ? 1 : 0;
}
