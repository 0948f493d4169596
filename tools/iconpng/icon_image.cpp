#include "icon_image.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/win32/dib.h"
#include "platform/win32/little_endian.h"

namespace {

bool Fail(std::string* error, const char* what) {
  if (error) *error = what;
  return false;
}

bool DecodeDib(const std::vector<std::uint8_t>& b, RgbaImage* out, std::string* error) {
  if (b.size() < 40) return Fail(error, "icon image shorter than its header");
  const std::uint32_t headerSize = win32::Le32(&b[0]);
  const std::int32_t width = static_cast<std::int32_t>(win32::Le32(&b[4]));
  const std::int32_t doubleHeight = static_cast<std::int32_t>(win32::Le32(&b[8]));
  const std::uint16_t bits = win32::Le16(&b[14]);
  const std::uint32_t compression = win32::Le32(&b[16]);
  if (headerSize < 40 || headerSize > b.size()) return Fail(error, "bad header size");
  if (width <= 0 || width > 1024 || doubleHeight <= 0 || doubleHeight > 2048 || doubleHeight % 2)
    return Fail(error, "bad icon dimensions");
  if (compression != 0) return Fail(error, "compressed icon images are not supported");
  if (bits != 32 && bits != 24) return Fail(error, "only 24- and 32-bit icon images are supported");

  // The icon's own decoder does the pixels: 32-bit alpha when there is some, else the mask.
  win32::DibPixels dib;
  if (!win32::DecodeDib(b.data(), b.size(), true, &dib)) return Fail(error, "icon image truncated");
  if (!dib.alphaFromImage && !dib.alphaFromMask) return Fail(error, "icon image without alpha or mask");
  out->width = dib.width;
  out->height = dib.height;
  out->pixels.resize(dib.rgb.size() * 4);
  for (std::size_t i = 0; i < dib.rgb.size(); ++i) {
    std::uint8_t* d = &out->pixels[i * 4];
    d[0] = static_cast<std::uint8_t>(dib.rgb[i] >> 16);
    d[1] = static_cast<std::uint8_t>(dib.rgb[i] >> 8);
    d[2] = static_cast<std::uint8_t>(dib.rgb[i]);
    d[3] = dib.alpha[i];
  }
  return true;
}

}  // namespace

bool DecodeIconImage(const std::vector<std::uint8_t>& b, RgbaImage* out, std::string* error) {
  // A whole .ico file: reserved 0, type 1, count, then 16-byte entries.
  if (b.size() >= 6 && win32::Le16(&b[0]) == 0 && win32::Le16(&b[2]) == 1) {
    const std::size_t count = win32::Le16(&b[4]);
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
    const std::uint32_t bytes = win32::Le32(&b[best + 8]), offset = win32::Le32(&b[best + 12]);
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
