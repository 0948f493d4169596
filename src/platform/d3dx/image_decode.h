// Decoders of the image files textures are made from: JPEG, PNG, TGA, BMP and DDS, each to
// 8-bit RGBA rows (top row first). Damaged or truncated data fails with D3DXERR_INVALIDDATA;
// every read is bounds-checked and absurd dimensions are refused before anything is allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8_types.h"
#include "platform/win32/little_endian.h"

namespace d3dx {

constexpr win32::HRESULT D3DXERR_INVALIDDATA = static_cast<win32::HRESULT>(0x88760B59u);

enum D3DXIMAGE_FILEFORMAT : std::uint32_t {
  D3DXIFF_BMP = 0,
  D3DXIFF_JPG = 1,
  D3DXIFF_TGA = 2,
  D3DXIFF_PNG = 3,
  D3DXIFF_DDS = 4,
  D3DXIFF_PPM = 5,
  D3DXIFF_DIB = 6,
};

// One level of pixels, RGBA bytes, width * height * 4, rows from the top.
struct ImageLevel {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;
};

struct DecodedImage {
  D3DXIMAGE_FILEFORMAT fileFormat = D3DXIFF_BMP;
  // The format the file stores its pixels in, as Direct3D names it (D3DFMT_R8G8B8 for
  // 24-bit files, D3DFMT_DXT1 for DXT1 DDS files, ...).
  d3d8::D3DFORMAT fileD3DFormat = d3d8::D3DFMT_UNKNOWN;
  // Whether the pixels carry meaningful alpha (otherwise every alpha byte is 255).
  bool hasAlpha = false;
  // Levels as stored: one for most files, the file's mipmap chain for DDS.
  std::vector<ImageLevel> levels;
  // For DXT DDS files: the compressed blocks of each stored level, kept so that a texture of
  // the same DXT format and size can take them unchanged.
  std::vector<std::vector<std::uint8_t>> compressedLevels;

  std::uint32_t Width() const { return levels.empty() ? 0 : levels[0].width; }
  std::uint32_t Height() const { return levels.empty() ? 0 : levels[0].height; }
};

struct DecodeLimits {
  std::uint32_t maxSide = 16384;                 // per dimension
  std::uint64_t maxPixels = 64ull * 1024 * 1024;  // width * height of the top level
};

// Recognises the format by its signature (TGA, which has none, last) and decodes it.
win32::HRESULT DecodeImage(const void* data, std::size_t size, DecodedImage& out,
                           const DecodeLimits& limits = DecodeLimits());

// The individual decoders, for tests and the fuzzer. Each fails without touching `out`
// beyond clearing it.
win32::HRESULT DecodeJpeg(const std::uint8_t* data, std::size_t size, DecodedImage& out, const DecodeLimits& limits);
win32::HRESULT DecodePng(const std::uint8_t* data, std::size_t size, DecodedImage& out, const DecodeLimits& limits);
win32::HRESULT DecodeTga(const std::uint8_t* data, std::size_t size, DecodedImage& out, const DecodeLimits& limits);
win32::HRESULT DecodeBmp(const std::uint8_t* data, std::size_t size, DecodedImage& out, const DecodeLimits& limits);
win32::HRESULT DecodeDds(const std::uint8_t* data, std::size_t size, DecodedImage& out, const DecodeLimits& limits);

// DXT block decompression of one whole level (blocks of 4x4 pixels, edges cropped).
// `format` is D3DFMT_DXT1..DXT5; `blocks` must hold the level's full block data.
void DecompressDxt(d3d8::D3DFORMAT format, const std::uint8_t* blocks, std::uint32_t width, std::uint32_t height,
                   std::uint8_t* rgba);
// Bytes of one level of a DXT format (8 or 16 bytes per 4x4 block).
std::uint64_t DxtLevelSize(d3d8::D3DFORMAT format, std::uint32_t width, std::uint32_t height);

namespace image_detail {

using win32::Le16;
using win32::Le32;

inline bool DimensionsAllowed(std::uint64_t w, std::uint64_t h, const DecodeLimits& limits) {
  return w > 0 && h > 0 && w <= limits.maxSide && h <= limits.maxSide && w * h <= limits.maxPixels;
}

// Value of the bits of `pixel` under `mask`, scaled to 0..255 (0 when the mask is empty).
std::uint8_t ExtractChannel(std::uint32_t pixel, std::uint32_t mask);

}  // namespace image_detail

}  // namespace d3dx
