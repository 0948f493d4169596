// Windows bitmaps: core (12-byte) and info (40-byte and later) headers; 1, 4 and 8 bits with
// a palette, 16 and 32 bits with default or explicit bit masks, 24 bits; bottom-up or top-down
// rows. Run-length compressed bitmaps are refused.
#include <cstring>

#include "platform/d3dx/image_decode.h"

namespace d3dx {

namespace {

using image_detail::ExtractChannel;
using image_detail::Le16;
using image_detail::Le32;

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

}  // namespace

win32::HRESULT DecodeBmp(const std::uint8_t* data, std::size_t size, DecodedImage& out, const DecodeLimits& limits) {
  out = DecodedImage();
  if (!data || size < 14 + 12 || data[0] != 'B' || data[1] != 'M') return D3DXERR_INVALIDDATA;
  const std::uint32_t pixelOffset = Le32(data + 10);
  const std::uint32_t headerSize = Le32(data + 14);
  if (headerSize < 12 || headerSize > size - 14) return D3DXERR_INVALIDDATA;
  const std::uint8_t* h = data + 14;

  std::int64_t width = 0, height = 0;
  unsigned bitCount = 0;
  std::uint32_t compression = kBiRgb, colorsUsed = 0;
  unsigned paletteEntryBytes = 4;
  if (headerSize == 12) {
    width = Le16(h + 4);
    height = Le16(h + 6);
    bitCount = Le16(h + 10);
    paletteEntryBytes = 3;
  } else {
    if (headerSize < 40) return D3DXERR_INVALIDDATA;
    width = static_cast<std::int32_t>(Le32(h + 4));
    height = static_cast<std::int32_t>(Le32(h + 8));
    bitCount = Le16(h + 14);
    compression = Le32(h + 16);
    colorsUsed = Le32(h + 32);
    if (Le16(h + 12) != 1) return D3DXERR_INVALIDDATA;  // planes
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || !image_detail::DimensionsAllowed(static_cast<std::uint64_t>(width),
                                                      static_cast<std::uint64_t>(height), limits))
    return D3DXERR_INVALIDDATA;
  if (compression != kBiRgb && compression != kBiBitfields && compression != kBiAlphaBitfields)
    return D3DXERR_INVALIDDATA;
  if (compression != kBiRgb && bitCount != 16 && bitCount != 32) return D3DXERR_INVALIDDATA;

  // Channel masks for 16 and 32 bits.
  std::uint32_t rMask = 0, gMask = 0, bMask = 0, aMask = 0;
  std::size_t afterHeader = 14 + static_cast<std::size_t>(headerSize);
  if (bitCount == 16) {
    rMask = 0x7C00; gMask = 0x03E0; bMask = 0x001F;
  } else if (bitCount == 32) {
    rMask = 0x00FF0000; gMask = 0x0000FF00; bMask = 0x000000FF;
  }
  if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
    const std::size_t maskCount = compression == kBiAlphaBitfields ? 4 : 3;
    if (headerSize >= 40 + 4 * maskCount) {
      // Masks inside a V2+ header.
      rMask = Le32(h + 40); gMask = Le32(h + 44); bMask = Le32(h + 48);
      if (maskCount == 4) aMask = Le32(h + 52);
    } else {
      if (size - afterHeader < 4 * maskCount) return D3DXERR_INVALIDDATA;
      const std::uint8_t* m = data + afterHeader;
      rMask = Le32(m); gMask = Le32(m + 4); bMask = Le32(m + 8);
      if (maskCount == 4) aMask = Le32(m + 12);
      afterHeader += 4 * maskCount;
    }
  }
  // From the V3 header on, an alpha mask follows the colour masks; it counts with bit fields
  // only (32-bit BI_RGB data has an unused fourth byte).
  if (headerSize >= 56 && compression == kBiBitfields) aMask = Le32(h + 52);

  std::vector<std::uint8_t> palette;  // RGBA
  switch (bitCount) {
    case 1: case 4: case 8: {
      std::uint32_t entries = colorsUsed ? colorsUsed : (1u << bitCount);
      if (entries > 256) return D3DXERR_INVALIDDATA;
      if (afterHeader > size || (size - afterHeader) / paletteEntryBytes < entries) return D3DXERR_INVALIDDATA;
      palette.resize(static_cast<std::size_t>(entries) * 4);
      for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint8_t* e = data + afterHeader + i * paletteEntryBytes;
        palette[i * 4 + 0] = e[2];
        palette[i * 4 + 1] = e[1];
        palette[i * 4 + 2] = e[0];
        palette[i * 4 + 3] = 255;
      }
      break;
    }
    case 16: case 24: case 32:
      break;
    default:
      return D3DXERR_INVALIDDATA;
  }

  const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
  if (pixelOffset > size || (size - pixelOffset) / rowBytes < static_cast<std::uint64_t>(height))
    return D3DXERR_INVALIDDATA;

  const auto w = static_cast<std::uint32_t>(width);
  const auto hgt = static_cast<std::uint32_t>(height);
  ImageLevel level;
  level.width = w;
  level.height = hgt;
  level.rgba.resize(static_cast<std::size_t>(w) * hgt * 4);
  bool anyAlpha = false;
  for (std::uint32_t y = 0; y < hgt; ++y) {
    const std::uint32_t fileRow = topDown ? y : hgt - 1 - y;
    const std::uint8_t* src = data + pixelOffset + fileRow * rowBytes;
    std::uint8_t* dst = &level.rgba[static_cast<std::size_t>(y) * w * 4];
    for (std::uint32_t x = 0; x < w; ++x, dst += 4) {
      switch (bitCount) {
        case 1: case 4: case 8: {
          const std::uint64_t bit = static_cast<std::uint64_t>(x) * bitCount;
          const unsigned byte = src[bit / 8];
          const unsigned shift = 8 - bitCount - static_cast<unsigned>(bit % 8);
          const unsigned index = (byte >> shift) & ((1u << bitCount) - 1);
          if (index * 4 >= palette.size()) return D3DXERR_INVALIDDATA;
          std::memcpy(dst, &palette[index * 4], 4);
          break;
        }
        case 24:
          dst[0] = src[x * 3 + 2];
          dst[1] = src[x * 3 + 1];
          dst[2] = src[x * 3 + 0];
          dst[3] = 255;
          break;
        default: {
          const std::uint32_t v = bitCount == 16 ? Le16(src + x * 2) : Le32(src + x * 4);
          dst[0] = ExtractChannel(v, rMask);
          dst[1] = ExtractChannel(v, gMask);
          dst[2] = ExtractChannel(v, bMask);
          dst[3] = aMask ? ExtractChannel(v, aMask) : 255;
          anyAlpha |= aMask != 0 && dst[3] != 255;
          break;
        }
      }
    }
  }

  out.fileFormat = D3DXIFF_BMP;
  switch (bitCount) {
    case 1: case 4: case 8: out.fileD3DFormat = d3d8::D3DFMT_P8; break;
    case 16:
      out.fileD3DFormat = aMask ? d3d8::D3DFMT_A1R5G5B5
                                : (gMask == 0x07E0 ? d3d8::D3DFMT_R5G6B5 : d3d8::D3DFMT_X1R5G5B5);
      break;
    case 24: out.fileD3DFormat = d3d8::D3DFMT_R8G8B8; break;
    default: out.fileD3DFormat = aMask ? d3d8::D3DFMT_A8R8G8B8 : d3d8::D3DFMT_X8R8G8B8; break;
  }
  out.hasAlpha = aMask != 0 && anyAlpha;
  out.levels.push_back(std::move(level));
  return win32::S_OK;
}

}  // namespace d3dx
