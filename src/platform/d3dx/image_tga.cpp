// Truevision TGA: colour-mapped, true-colour and grey images, uncompressed or run-length
// encoded, 8, 15/16, 24 and 32 bits per pixel, either origin.
#include <algorithm>
#include <cstring>

#include "platform/d3dx/image_decode.h"

namespace d3dx {

namespace {

using image_detail::Le16;

constexpr std::size_t kHeaderSize = 18;

// A 15/16-bit TGA pixel is X1R5G5B5 (the top bit is the attribute/alpha bit).
void Expand16(std::uint16_t v, bool useAlpha, std::uint8_t* rgba) {
  const unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
  rgba[0] = static_cast<std::uint8_t>((r << 3) | (r >> 2));
  rgba[1] = static_cast<std::uint8_t>((g << 3) | (g >> 2));
  rgba[2] = static_cast<std::uint8_t>((b << 3) | (b >> 2));
  rgba[3] = useAlpha ? ((v & 0x8000) ? 255 : 0) : 255;
}

// Converts one stored pixel or colour-map entry of `bytes` bytes to RGBA.
void ConvertPixel(const std::uint8_t* src, unsigned bytes, bool grey, bool useAlpha, std::uint8_t* rgba) {
  switch (bytes) {
    case 1:  // grey
      rgba[0] = rgba[1] = rgba[2] = src[0];
      rgba[3] = 255;
      break;
    case 2:
      if (grey) {  // grey + alpha
        rgba[0] = rgba[1] = rgba[2] = src[0];
        rgba[3] = useAlpha ? src[1] : 255;
      } else {
        Expand16(Le16(src), useAlpha, rgba);
      }
      break;
    case 3:
      rgba[0] = src[2];
      rgba[1] = src[1];
      rgba[2] = src[0];
      rgba[3] = 255;
      break;
    default:  // 4
      rgba[0] = src[2];
      rgba[1] = src[1];
      rgba[2] = src[0];
      rgba[3] = useAlpha ? src[3] : 255;
      break;
  }
}

}  // namespace

win32::HRESULT DecodeTga(const std::uint8_t* data, std::size_t size, DecodedImage& out, const DecodeLimits& limits) {
  out = DecodedImage();
  if (!data || size < kHeaderSize) return D3DXERR_INVALIDDATA;
  const unsigned idLength = data[0];
  const unsigned mapType = data[1];
  const unsigned imageType = data[2];
  const unsigned mapFirst = Le16(data + 3);
  const unsigned mapLength = Le16(data + 5);
  const unsigned mapEntryBits = data[7];
  const std::uint32_t width = Le16(data + 12);
  const std::uint32_t height = Le16(data + 14);
  const unsigned depth = data[16];
  const unsigned descriptor = data[17];
  const unsigned alphaBits = descriptor & 0x0F;
  const bool rightToLeft = (descriptor & 0x10) != 0;
  const bool topDown = (descriptor & 0x20) != 0;

  const bool rle = imageType >= 9;
  const unsigned baseType = rle ? imageType - 8 : imageType;
  if (mapType > 1 || (baseType != 1 && baseType != 2 && baseType != 3) || (descriptor & 0xC0) != 0)
    return D3DXERR_INVALIDDATA;
  if (!image_detail::DimensionsAllowed(width, height, limits)) return D3DXERR_INVALIDDATA;

  const bool mapped = baseType == 1;
  const bool grey = baseType == 3;
  if (mapped) {
    if (mapType != 1 || depth != 8 || mapLength == 0) return D3DXERR_INVALIDDATA;
    if (mapEntryBits != 15 && mapEntryBits != 16 && mapEntryBits != 24 && mapEntryBits != 32)
      return D3DXERR_INVALIDDATA;
  } else if (grey) {
    if (depth != 8 && depth != 16) return D3DXERR_INVALIDDATA;
  } else if (depth != 15 && depth != 16 && depth != 24 && depth != 32) {
    return D3DXERR_INVALIDDATA;
  }

  std::size_t pos = kHeaderSize + idLength;
  // Colour map (also skipped when present on a non-mapped image).
  std::vector<std::uint8_t> palette;  // RGBA per entry
  const unsigned entryBits = mapType ? mapEntryBits : 0;
  const unsigned entryBytes = (entryBits + 7) / 8;
  bool mapHasAlpha = false;
  if (mapType == 1) {
    const std::size_t mapBytes = static_cast<std::size_t>(mapLength) * entryBytes;
    if (entryBytes == 0 || pos > size || size - pos < mapBytes) return D3DXERR_INVALIDDATA;
    if (mapped) {
      const bool entryAlpha = (entryBits == 32 || entryBits == 16) && alphaBits > 0;
      mapHasAlpha = entryAlpha;
      palette.resize(static_cast<std::size_t>(mapLength) * 4);
      for (unsigned i = 0; i < mapLength; ++i)
        ConvertPixel(data + pos + i * entryBytes, entryBytes, false, entryAlpha, &palette[i * 4]);
    }
    pos += mapBytes;
  }
  if (pos > size) return D3DXERR_INVALIDDATA;

  const unsigned pixelBytes = (depth + 7) / 8;
  const std::uint64_t pixelCount = static_cast<std::uint64_t>(width) * height;
  if (!rle && size - pos < pixelCount * pixelBytes) return D3DXERR_INVALIDDATA;
  // A run packet of 1 + pixelBytes bytes covers at most 128 pixels: refuse files too short to
  // hold the image before allocating for it.
  if (rle && pixelCount > static_cast<std::uint64_t>(size - pos) / (1 + pixelBytes) * 128 + 128)
    return D3DXERR_INVALIDDATA;

  // 32-bit pixels: alpha when the descriptor says so. Writers that leave the alpha bit count
  // at 0 usually still store alpha, so it is used unless it is uniformly zero.
  bool useAlpha = false;
  if (!mapped) {
    if (depth == 32) useAlpha = true;
    else if (depth == 16 && !grey) useAlpha = alphaBits > 0;
    else if (depth == 16 && grey) useAlpha = true;
  }

  // Decode the stored pixels in file order into `stored` (RGBA).
  std::vector<std::uint8_t> stored(static_cast<std::size_t>(pixelCount) * 4);
  auto emit = [&](const std::uint8_t* src, std::uint64_t index) -> bool {
    std::uint8_t* dst = &stored[static_cast<std::size_t>(index) * 4];
    if (mapped) {
      const unsigned entry = src[0];
      if (entry < mapFirst || entry - mapFirst >= mapLength) return false;
      std::memcpy(dst, &palette[(entry - mapFirst) * 4], 4);
    } else {
      ConvertPixel(src, pixelBytes, grey, useAlpha, dst);
    }
    return true;
  };

  if (!rle) {
    for (std::uint64_t i = 0; i < pixelCount; ++i)
      if (!emit(data + pos + i * pixelBytes, i)) return D3DXERR_INVALIDDATA;
  } else {
    std::uint64_t i = 0;
    while (i < pixelCount) {
      if (pos >= size) return D3DXERR_INVALIDDATA;
      const unsigned header = data[pos++];
      const std::uint64_t count = std::min<std::uint64_t>((header & 0x7F) + 1, pixelCount - i);
      if (header & 0x80) {
        if (size - pos < pixelBytes) return D3DXERR_INVALIDDATA;
        if (!emit(data + pos, i)) return D3DXERR_INVALIDDATA;
        for (std::uint64_t k = 1; k < count; ++k)
          std::memcpy(&stored[static_cast<std::size_t>(i + k) * 4], &stored[static_cast<std::size_t>(i) * 4], 4);
        pos += pixelBytes;
      } else {
        const std::uint64_t raw = (header & 0x7F) + 1;
        if ((size - pos) / pixelBytes < raw) return D3DXERR_INVALIDDATA;
        for (std::uint64_t k = 0; k < count; ++k)
          if (!emit(data + pos + k * pixelBytes, i + k)) return D3DXERR_INVALIDDATA;
        pos += raw * pixelBytes;
      }
      i += count;
    }
  }

  bool hasAlpha = mapped ? mapHasAlpha : useAlpha;
  if (!mapped && depth == 32 && alphaBits == 0) {
    bool anyAlpha = false;
    for (std::size_t k = 3; k < stored.size(); k += 4) anyAlpha |= stored[k] != 0;
    if (!anyAlpha) {
      for (std::size_t k = 3; k < stored.size(); k += 4) stored[k] = 255;
      hasAlpha = false;
    }
  }

  // Reorder into top-down, left-to-right rows.
  ImageLevel level;
  level.width = width;
  level.height = height;
  level.rgba.resize(stored.size());
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint32_t srcRow = topDown ? y : height - 1 - y;
    const std::uint8_t* src = &stored[srcRow * rowBytes];
    std::uint8_t* dst = &level.rgba[y * rowBytes];
    if (!rightToLeft) {
      std::memcpy(dst, src, rowBytes);
    } else {
      for (std::uint32_t x = 0; x < width; ++x) std::memcpy(dst + x * 4, src + (width - 1 - x) * 4, 4);
    }
  }

  out.fileFormat = D3DXIFF_TGA;
  if (mapped) {
    out.fileD3DFormat = d3d8::D3DFMT_P8;
  } else if (grey) {
    out.fileD3DFormat = depth == 16 ? d3d8::D3DFMT_A8L8 : d3d8::D3DFMT_L8;
  } else if (depth == 32) {
    out.fileD3DFormat = hasAlpha ? d3d8::D3DFMT_A8R8G8B8 : d3d8::D3DFMT_X8R8G8B8;
  } else if (depth == 24) {
    out.fileD3DFormat = d3d8::D3DFMT_R8G8B8;
  } else {
    out.fileD3DFormat = useAlpha ? d3d8::D3DFMT_A1R5G5B5 : d3d8::D3DFMT_X1R5G5B5;
  }
  out.hasAlpha = hasAlpha;
  out.levels.push_back(std::move(level));
  return win32::S_OK;
}

}  // namespace d3dx
