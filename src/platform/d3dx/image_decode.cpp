#include "platform/d3dx/image_decode.h"

#include <cstring>

namespace d3dx {

namespace image_detail {

std::uint8_t ExtractChannel(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  int bits = 0;
  while (shift + bits < 32 && ((mask >> (shift + bits)) & 1u)) ++bits;
  const std::uint64_t maxValue = (1ull << bits) - 1;
  const std::uint64_t v = (pixel & mask) >> shift;
  // Round to the nearest of 0..255; masks with holes are treated by their lowest run of bits.
  return static_cast<std::uint8_t>(((v & maxValue) * 255 + maxValue / 2) / maxValue);
}

}  // namespace image_detail

win32::HRESULT DecodeImage(const void* data, std::size_t size, DecodedImage& out, const DecodeLimits& limits) {
  out = DecodedImage();
  if (!data || size == 0) return D3DXERR_INVALIDDATA;
  const auto* p = static_cast<const std::uint8_t*>(data);
  if (size >= 4 && std::memcmp(p, "DDS ", 4) == 0) return DecodeDds(p, size, out, limits);
  if (size >= 8 && std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0) return DecodePng(p, size, out, limits);
  if (size >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF) return DecodeJpeg(p, size, out, limits);
  if (size >= 2 && p[0] == 'B' && p[1] == 'M') return DecodeBmp(p, size, out, limits);
  return DecodeTga(p, size, out, limits);
}

}  // namespace d3dx
