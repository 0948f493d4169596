// Small image files built in memory for the decoder and texture tests: BMP, TGA and DDS by
// hand, PNG and JPEG through libpng and libjpeg. Pixels are given as RGBA rows from the top.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace d3dx_test {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
inline void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A test pattern: distinct colours and alphas per pixel.
inline Bytes Pattern(std::uint32_t w, std::uint32_t h, bool alpha = true) {
  Bytes p(static_cast<std::size_t>(w) * h * 4);
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x) {
      std::uint8_t* px = &p[(y * w + x) * 4];
      px[0] = static_cast<std::uint8_t>(10 + 40 * x + 3 * y);
      px[1] = static_cast<std::uint8_t>(200 - 30 * y + x);
      px[2] = static_cast<std::uint8_t>(7 * (x + y) + 60);
      px[3] = alpha ? static_cast<std::uint8_t>(255 - 20 * (x + w * y)) : 255;
    }
  return p;
}

// Uncompressed BMP with a 40-byte header. bits: 24 or 32 (BI_RGB); topDown stores rows from the top.
Bytes MakeBmp(std::uint32_t w, std::uint32_t h, const Bytes& rgba, unsigned bits, bool topDown);
// 8-bit palettised BMP; `indices` row-major from the top, palette as RGB triples.
Bytes MakeBmp8(std::uint32_t w, std::uint32_t h, const Bytes& indices, const Bytes& paletteRgb);
// 16-bit BMP with BI_BITFIELDS masks for R5G6B5 (pixels given as 16-bit values from the top).
Bytes MakeBmp565(std::uint32_t w, std::uint32_t h, const std::vector<std::uint16_t>& pixels);

// TGA true-colour image (bits 24 or 32; 32 writes 8 alpha bits), optionally run-length encoded.
Bytes MakeTga(std::uint32_t w, std::uint32_t h, const Bytes& rgba, unsigned bits, bool topDown, bool rle);

// DDS: A8R8G8B8 with the given levels (each RGBA from the top).
Bytes MakeDdsArgb(std::uint32_t w, std::uint32_t h, const std::vector<Bytes>& levels);
// DDS with a DXT FourCC and raw block data.
Bytes MakeDdsDxt(std::uint32_t w, std::uint32_t h, const char* fourCC, const Bytes& blocks, std::uint32_t mipCount);

Bytes MakePng(std::uint32_t w, std::uint32_t h, const Bytes& rgba, bool withAlpha);
Bytes MakeJpeg(std::uint32_t w, std::uint32_t h, const Bytes& rgba, int quality, bool grey = false);

}  // namespace d3dx_test
