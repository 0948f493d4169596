#include "icon_image.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

std::uint32_t Read32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t Read16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

bool Fail(std::string* error, const char* what) {
  if (error) *error = what;
  return false;
}

bool DecodeDib(const std::vector<std::uint8_t>& b, RgbaImage* out, std::string* error) {
  if (b.size() < 40) return Fail(error, "icon image shorter than its header");
  const std::uint32_t headerSize = Read32(b, 0);
  const std::int32_t width = static_cast<std::int32_t>(Read32(b, 4));
  const std::int32_t doubleHeight = static_cast<std::int32_t>(Read32(b, 8));
  const std::uint16_t bits = Read16(b, 14);
  const std::uint32_t compression = Read32(b, 16);
  if (headerSize < 40 || headerSize > b.size()) return Fail(error, "bad header size");
  if (width <= 0 || width > 1024 || doubleHeight <= 0 || doubleHeight > 2048 || doubleHeight % 2)
    return Fail(error, "bad icon dimensions");
  if (compression != 0) return Fail(error, "compressed icon images are not supported");
  if (bits != 32 && bits != 24) return Fail(error, "only 24- and 32-bit icon images are supported");
  const int w = width, h = doubleHeight / 2;
  const std::size_t colourStride = ((static_cast<std::size_t>(w) * bits + 31) / 32) * 4;
  const std::size_t maskStride = ((static_cast<std::size_t>(w) + 31) / 32) * 4;
  const std::size_t colourAt = headerSize;
  const std::size_t maskAt = colourAt + colourStride * static_cast<std::size_t>(h);
  const bool haveMask = maskAt + maskStride * static_cast<std::size_t>(h) <= b.size();
  if (maskAt > b.size()) return Fail(error, "icon image truncated");
  if (bits == 24 && !haveMask) return Fail(error, "icon image truncated");

  out->width = w;
  out->height = h;
  out->pixels.assign(static_cast<std::size_t>(w) * h * 4, 0);
  bool anyAlpha = false;
  const int bpp = bits / 8;
  for (int y = 0; y < h; ++y) {
    const std::size_t row = colourAt + colourStride * static_cast<std::size_t>(h - 1 - y);
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* s = &b[row + static_cast<std::size_t>(x) * bpp];
      std::uint8_t* d = &out->pixels[(static_cast<std::size_t>(y) * w + x) * 4];
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = bpp == 4 ? s[3] : 255;
      if (bpp == 4 && s[3]) anyAlpha = true;
    }
  }
  if (bits == 32 && anyAlpha) return true;
  if (!haveMask) return Fail(error, "icon image without alpha or mask");
  for (int y = 0; y < h; ++y) {
    const std::size_t row = maskAt + maskStride * static_cast<std::size_t>(h - 1 - y);
    for (int x = 0; x < w; ++x) {
      const bool transparent = b[row + static_cast<std::size_t>(x / 8)] & (0x80 >> (x % 8));
      out->pixels[(static_cast<std::size_t>(y) * w + x) * 4 + 3] = transparent ? 0 : 255;
    }
  }
  return true;
}

}  // namespace

bool DecodeIconImage(const std::vector<std::uint8_t>& b, RgbaImage* out, std::string* error) {
  // A whole .ico file: reserved 0, type 1, count, then 16-byte entries.
  if (b.size() >= 6 && Read16(b, 0) == 0 && Read16(b, 2) == 1) {
    const std::size_t count = Read16(b, 4);
    if (count == 0 || 6 + count * 16 > b.size()) return Fail(error, "bad icon directory");
    std::size_t best = 0;
    int bestSize = -1;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t e = 6 + i * 16;
      const int size = b[e] ? b[e] : 256;
      if (size > bestSize) {
        bestSize = size;
        best = e;
      }
    }
    const std::uint32_t bytes = Read32(b, best + 8), offset = Read32(b, best + 12);
    if (offset > b.size() || bytes > b.size() - offset) return Fail(error, "icon entry past the end of the file");
    std::vector<std::uint8_t> image(b.begin() + offset, b.begin() + offset + bytes);
    if (image.size() >= 8 && std::memcmp(image.data(), "\x89PNG", 4) == 0)
      return Fail(error, "PNG icon entries are not supported");
    return DecodeDib(image, out, error);
  }
  return DecodeDib(b, out, error);
}

RgbaImage ScaleIcon(const RgbaImage& in, int size) {
  RgbaImage out;
  out.width = out.height = size;
  out.pixels.assign(static_cast<std::size_t>(size) * size * 4, 0);
  const double sx = static_cast<double>(in.width) / size, sy = static_cast<double>(in.height) / size;
  for (int oy = 0; oy < size; ++oy) {
    const double y0 = oy * sy, y1 = (oy + 1) * sy;
    for (int ox = 0; ox < size; ++ox) {
      const double x0 = ox * sx, x1 = (ox + 1) * sx;
      double rgb[3] = {0, 0, 0}, alpha = 0, area = 0;
      for (int y = static_cast<int>(y0); y < in.height && y < y1; ++y) {
        const double cy = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
        for (int x = static_cast<int>(x0); x < in.width && x < x1; ++x) {
          const double cover = cy * (std::min<double>(x + 1, x1) - std::max<double>(x, x0));
          if (cover <= 0) continue;
          const std::uint8_t* p = &in.pixels[(static_cast<std::size_t>(y) * in.width + x) * 4];
          const double a = p[3] / 255.0 * cover;
          for (int c = 0; c < 3; ++c) rgb[c] += p[c] * a;
          alpha += a;
          area += cover;
        }
      }
      std::uint8_t* d = &out.pixels[(static_cast<std::size_t>(oy) * size + ox) * 4];
      if (alpha > 0)
        for (int c = 0; c < 3; ++c) d[c] = static_cast<std::uint8_t>(std::lround(std::clamp(rgb[c] / alpha, 0.0, 255.0)));
      d[3] = area > 0 ? static_cast<std::uint8_t>(std::lround(std::clamp(alpha / area * 255.0, 0.0, 255.0))) : 0;
    }
  }
  return out;
}

bool WritePng(const RgbaImage& image, const std::string& path) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGBA;
  const bool ok = png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr) != 0;
  png_image_free(&png);
  return ok;
}
