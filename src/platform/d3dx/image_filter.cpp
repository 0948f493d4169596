#include "platform/d3dx/image_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3dx {

namespace {

struct Tap {
  std::int64_t index;  // may lie outside the image; addressed later
  float weight;
};

std::uint32_t Address(std::int64_t i, std::uint32_t n, bool mirror) {
  const auto nn = static_cast<std::int64_t>(n);
  if (!mirror) return static_cast<std::uint32_t>(((i % nn) + nn) % nn);
  std::int64_t m = ((i % (2 * nn)) + 2 * nn) % (2 * nn);
  if (m >= nn) m = 2 * nn - 1 - m;
  return static_cast<std::uint32_t>(m);
}

// Per target coordinate, the source taps and weights of one axis.
std::vector<std::vector<Tap>> AxisTaps(std::uint32_t srcSize, std::uint32_t dstSize, std::uint32_t kind) {
  std::vector<std::vector<Tap>> taps(dstSize);
  const double scale = static_cast<double>(srcSize) / dstSize;
  for (std::uint32_t d = 0; d < dstSize; ++d) {
    auto& t = taps[d];
    if (kind == D3DX_FILTER_POINT || kind == D3DX_FILTER_NONE) {
      t.push_back({static_cast<std::int64_t>(std::floor((d + 0.5) * scale)), 1.0f});
    } else if (kind == D3DX_FILTER_LINEAR) {
      const double u = (d + 0.5) * scale - 0.5;
      const double f = std::floor(u);
      const auto frac = static_cast<float>(u - f);
      t.push_back({static_cast<std::int64_t>(f), 1.0f - frac});
      t.push_back({static_cast<std::int64_t>(f) + 1, frac});
    } else {  // BOX, TRIANGLE: exact area coverage
      const double lo = d * scale, hi = (d + 1) * scale;
      for (auto s = static_cast<std::int64_t>(std::floor(lo)); static_cast<double>(s) < hi; ++s) {
        const double overlap = std::min<double>(hi, s + 1) - std::max<double>(lo, s);
        if (overlap > 1e-9) t.push_back({s, static_cast<float>(overlap / scale)});
      }
    }
  }
  return taps;
}

std::uint8_t ToByte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return static_cast<std::uint8_t>(v + 0.5f);
}

unsigned Scale(unsigned v, unsigned bits) { return (v * ((1u << bits) - 1) + 127) / 255; }

unsigned Luminance(const std::uint8_t* p) {
  return static_cast<unsigned>(0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2] + 0.5f);
}

void Store16(std::uint8_t* d, unsigned v) {
  d[0] = static_cast<std::uint8_t>(v & 0xFF);
  d[1] = static_cast<std::uint8_t>(v >> 8);
}

// ---- DXT compression

unsigned To565(const std::uint8_t* rgb) { return (Scale(rgb[0], 5) << 11) | (Scale(rgb[1], 6) << 5) | Scale(rgb[2], 5); }

void From565(unsigned c, int* rgb) {
  const unsigned r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
  rgb[0] = static_cast<int>((r << 3) | (r >> 2));
  rgb[1] = static_cast<int>((g << 2) | (g >> 4));
  rgb[2] = static_cast<int>((b << 3) | (b >> 2));
}

void CompressColourBlock(const std::uint8_t texels[16][4], bool dxt1, std::uint8_t* out) {
  bool transparent = false;
  std::uint8_t lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
  bool anyOpaque = false;
  for (int i = 0; i < 16; ++i) {
    if (dxt1 && texels[i][3] < 128) {
      transparent = true;
      continue;
    }
    anyOpaque = true;
    for (int c = 0; c < 3; ++c) {
      lo[c] = std::min(lo[c], texels[i][c]);
      hi[c] = std::max(hi[c], texels[i][c]);
    }
  }
  if (!anyOpaque) std::fill(lo, lo + 3, 0), std::fill(hi, hi + 3, 0);
  // The box's diagonal from lo to hi only fits colours whose channels rise together: flip
  // the channels that fall while the widest channel rises.
  if (anyOpaque) {
    int main = 0;
    for (int c = 1; c < 3; ++c)
      if (hi[c] - lo[c] > hi[main] - lo[main]) main = c;
    float mean[3] = {0, 0, 0};
    int n = 0;
    for (int i = 0; i < 16; ++i) {
      if (dxt1 && texels[i][3] < 128) continue;
      for (int c = 0; c < 3; ++c) mean[c] += texels[i][c];
      ++n;
    }
    for (float& m : mean) m /= static_cast<float>(n);
    for (int c = 0; c < 3; ++c) {
      if (c == main) continue;
      float cov = 0;
      for (int i = 0; i < 16; ++i) {
        if (dxt1 && texels[i][3] < 128) continue;
        cov += (texels[i][main] - mean[main]) * (texels[i][c] - mean[c]);
      }
      if (cov < 0) std::swap(lo[c], hi[c]);
    }
  }
  unsigned c0 = To565(hi), c1 = To565(lo);
  if (transparent) {
    if (c0 > c1) std::swap(c0, c1);  // three-colour mode: c0 <= c1
  } else if (c0 < c1) {
    std::swap(c0, c1);  // four-colour mode: c0 > c1 (equal endpoints decode alike either way)
  }
  int p[4][3];
  From565(c0, p[0]);
  From565(c1, p[1]);
  const bool four = !dxt1 || c0 > c1;
  for (int c = 0; c < 3; ++c) {
    if (four) {
      p[2][c] = (2 * p[0][c] + p[1][c] + 1) / 3;
      p[3][c] = (p[0][c] + 2 * p[1][c] + 1) / 3;
    } else {
      p[2][c] = (p[0][c] + p[1][c]) / 2;
      p[3][c] = 0;
    }
  }
  std::uint32_t indices = 0;
  for (int i = 0; i < 16; ++i) {
    unsigned best = 0;
    if (dxt1 && transparent && texels[i][3] < 128) {
      best = 3;
    } else {
      int bestDist = 1 << 30;
      const int candidates = four ? 4 : 3;
      for (int k = 0; k < candidates; ++k) {
        int dist = 0;
        for (int c = 0; c < 3; ++c) dist += (texels[i][c] - p[k][c]) * (texels[i][c] - p[k][c]);
        if (dist < bestDist) bestDist = dist, best = static_cast<unsigned>(k);
      }
    }
    indices |= best << (2 * i);
  }
  Store16(out, c0);
  Store16(out + 2, c1);
  for (int b = 0; b < 4; ++b) out[4 + b] = static_cast<std::uint8_t>(indices >> (8 * b));
}

void CompressInterpolatedAlpha(const std::uint8_t texels[16][4], std::uint8_t* out) {
  unsigned a0 = 0, a1 = 255;
  for (int i = 0; i < 16; ++i) {
    a0 = std::max<unsigned>(a0, texels[i][3]);
    a1 = std::min<unsigned>(a1, texels[i][3]);
  }
  unsigned values[8] = {a0, a1, 0, 0, 0, 0, 0, 0};
  for (unsigned i = 1; i < 7; ++i) values[i + 1] = ((7 - i) * a0 + i * a1 + 3) / 7;
  std::uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) {
    unsigned best = 0, bestDist = 1u << 30;
    const int candidates = a0 > a1 ? 8 : 1;
    for (int k = 0; k < candidates; ++k) {
      const int diff = static_cast<int>(texels[i][3]) - static_cast<int>(values[k]);
      const auto dist = static_cast<unsigned>(diff * diff);
      if (dist < bestDist) bestDist = dist, best = static_cast<unsigned>(k);
    }
    bits |= static_cast<std::uint64_t>(best) << (3 * i);
  }
  out[0] = static_cast<std::uint8_t>(a0);
  out[1] = static_cast<std::uint8_t>(a1);
  for (int b = 0; b < 6; ++b) out[2 + b] = static_cast<std::uint8_t>(bits >> (8 * b));
}

bool IsDxtFormat(d3d8::D3DFORMAT f) {
  return f == d3d8::D3DFMT_DXT1 || f == d3d8::D3DFMT_DXT2 || f == d3d8::D3DFMT_DXT3 || f == d3d8::D3DFMT_DXT4 ||
         f == d3d8::D3DFMT_DXT5;
}

}  // namespace

bool IsValidFilter(std::uint32_t filter) {
  const std::uint32_t kind = filter & 0xFF;
  return kind >= D3DX_FILTER_NONE && kind <= D3DX_FILTER_BOX && (filter & 0xFFF0FF00u) == 0;
}

bool ApplyColorKey(ImageLevel& image, d3d8::D3DCOLOR key) {
  bool any = false;
  for (std::size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
    std::uint8_t* p = &image.rgba[i];
    const d3d8::D3DCOLOR argb = d3d8::D3DCOLOR_ARGB(p[3], p[0], p[1], p[2]);
    if (argb == key) {
      std::memset(p, 0, 4);
      any = true;
    }
  }
  return any;
}

ImageLevel ResizeImage(const ImageLevel& src, std::uint32_t width, std::uint32_t height, std::uint32_t filter) {
  ImageLevel dst;
  dst.width = width;
  dst.height = height;
  dst.rgba.assign(static_cast<std::size_t>(width) * height * 4, 0);
  if (src.width == 0 || src.height == 0 || width == 0 || height == 0) return dst;
  const std::uint32_t kind = filter & 0xFF;
  if (width == src.width && height == src.height) {
    dst.rgba = src.rgba;
    return dst;
  }
  if (kind == D3DX_FILTER_NONE) {
    const std::uint32_t w = std::min(width, src.width), h = std::min(height, src.height);
    for (std::uint32_t y = 0; y < h; ++y)
      std::memcpy(&dst.rgba[static_cast<std::size_t>(y) * width * 4], &src.rgba[static_cast<std::size_t>(y) * src.width * 4],
                  static_cast<std::size_t>(w) * 4);
    return dst;
  }
  const bool mirrorU = (filter & D3DX_FILTER_MIRROR_U) != 0, mirrorV = (filter & D3DX_FILTER_MIRROR_V) != 0;
  const auto xTaps = AxisTaps(src.width, width, kind);
  const auto yTaps = AxisTaps(src.height, height, kind);
  // Horizontal pass into floats, then vertical.
  std::vector<float> rows(static_cast<std::size_t>(width) * src.height * 4, 0.0f);
  for (std::uint32_t y = 0; y < src.height; ++y) {
    const std::uint8_t* srow = &src.rgba[static_cast<std::size_t>(y) * src.width * 4];
    float* drow = &rows[static_cast<std::size_t>(y) * width * 4];
    for (std::uint32_t x = 0; x < width; ++x) {
      for (const Tap& t : xTaps[x]) {
        const std::uint8_t* s = srow + static_cast<std::size_t>(Address(t.index, src.width, mirrorU)) * 4;
        for (int c = 0; c < 4; ++c) drow[x * 4 + c] += t.weight * s[c];
      }
    }
  }
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint8_t* drow = &dst.rgba[static_cast<std::size_t>(y) * width * 4];
    for (std::uint32_t x = 0; x < width; ++x) {
      float acc[4] = {0, 0, 0, 0};
      for (const Tap& t : yTaps[y]) {
        const float* s = &rows[(static_cast<std::size_t>(Address(t.index, src.height, mirrorV)) * width + x) * 4];
        for (int c = 0; c < 4; ++c) acc[c] += t.weight * s[c];
      }
      for (int c = 0; c < 4; ++c) drow[x * 4 + c] = ToByte(acc[c]);
    }
  }
  return dst;
}

ImageLevel NextMipLevel(const ImageLevel& src, std::uint32_t filter) {
  std::uint32_t kind = filter & 0xFF;
  if (kind == D3DX_FILTER_NONE) kind = D3DX_FILTER_POINT;
  const bool evenW = src.width % 2 == 0 || src.width == 1, evenH = src.height % 2 == 0 || src.height == 1;
  if (kind != D3DX_FILTER_POINT && evenW && evenH && (src.width > 1 || src.height > 1)) {
    // Exact halving: every filter but point sampling averages each 2x2 (or 2x1) group; done in
    // integers with the same round-half-up as the general path.
    ImageLevel dst;
    dst.width = std::max<std::uint32_t>(1, src.width / 2);
    dst.height = std::max<std::uint32_t>(1, src.height / 2);
    dst.rgba.resize(static_cast<std::size_t>(dst.width) * dst.height * 4);
    const std::uint32_t dx = src.width > 1 ? 1 : 0, dy = src.height > 1 ? 1 : 0;
    const unsigned count = (1u + dx) * (1u + dy);
    for (std::uint32_t y = 0; y < dst.height; ++y) {
      const std::uint8_t* r0 = &src.rgba[static_cast<std::size_t>(y * (1 + dy)) * src.width * 4];
      const std::uint8_t* r1 = r0 + static_cast<std::size_t>(dy) * src.width * 4;
      std::uint8_t* d = &dst.rgba[static_cast<std::size_t>(y) * dst.width * 4];
      for (std::uint32_t x = 0; x < dst.width; ++x) {
        const std::size_t a = static_cast<std::size_t>(x) * (1 + dx) * 4, b = a + dx * 4;
        for (int c = 0; c < 4; ++c) {
          unsigned sum = r0[a + c] + (dx ? r0[b + c] : 0u);
          if (dy) sum += r1[a + c] + (dx ? r1[b + c] : 0u);
          d[x * 4 + c] = static_cast<std::uint8_t>((sum + count / 2) / count);
        }
      }
    }
    return dst;
  }
  return ResizeImage(src, std::max<std::uint32_t>(1, src.width / 2), std::max<std::uint32_t>(1, src.height / 2),
                     (filter & ~0xFFu) | kind);
}

std::uint32_t FormatBytesPerPixel(d3d8::D3DFORMAT format) {
  switch (format) {
    case d3d8::D3DFMT_A8R8G8B8:
    case d3d8::D3DFMT_X8R8G8B8: return 4;
    case d3d8::D3DFMT_R8G8B8: return 3;
    case d3d8::D3DFMT_R5G6B5:
    case d3d8::D3DFMT_X1R5G5B5:
    case d3d8::D3DFMT_A1R5G5B5:
    case d3d8::D3DFMT_A4R4G4B4:
    case d3d8::D3DFMT_X4R4G4B4:
    case d3d8::D3DFMT_A8R3G3B2:
    case d3d8::D3DFMT_A8L8: return 2;
    case d3d8::D3DFMT_R3G3B2:
    case d3d8::D3DFMT_A8:
    case d3d8::D3DFMT_L8:
    case d3d8::D3DFMT_A4L4: return 1;
    default: return 0;
  }
}

bool CanPackFormat(d3d8::D3DFORMAT format) { return FormatBytesPerPixel(format) != 0 || IsDxtFormat(format); }

bool PackPixels(const ImageLevel& image, d3d8::D3DFORMAT format, std::uint8_t* dest, std::int32_t pitch) {
  if (IsDxtFormat(format)) {
    const std::vector<std::uint8_t> blocks = CompressDxt(image, format);
    const std::size_t rowBytes = static_cast<std::size_t>((image.width + 3) / 4) * (format == d3d8::D3DFMT_DXT1 ? 8 : 16);
    const std::uint32_t blockRows = (image.height + 3) / 4;
    for (std::uint32_t r = 0; r < blockRows; ++r)
      std::memcpy(dest + static_cast<std::ptrdiff_t>(r) * pitch, &blocks[r * rowBytes], rowBytes);
    return true;
  }
  const std::uint32_t bpp = FormatBytesPerPixel(format);
  if (bpp == 0) return false;
  for (std::uint32_t y = 0; y < image.height; ++y) {
    const std::uint8_t* s = &image.rgba[static_cast<std::size_t>(y) * image.width * 4];
    std::uint8_t* d = dest + static_cast<std::ptrdiff_t>(y) * pitch;
    for (std::uint32_t x = 0; x < image.width; ++x, s += 4, d += bpp) {
      const unsigned r = s[0], g = s[1], b = s[2], a = s[3];
      switch (format) {
        case d3d8::D3DFMT_A8R8G8B8: d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; d[3] = s[3]; break;
        case d3d8::D3DFMT_X8R8G8B8: d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; d[3] = 0xFF; break;
        case d3d8::D3DFMT_R8G8B8: d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; break;
        case d3d8::D3DFMT_R5G6B5: Store16(d, (Scale(r, 5) << 11) | (Scale(g, 6) << 5) | Scale(b, 5)); break;
        case d3d8::D3DFMT_X1R5G5B5:
          Store16(d, 0x8000u | (Scale(r, 5) << 10) | (Scale(g, 5) << 5) | Scale(b, 5));
          break;
        case d3d8::D3DFMT_A1R5G5B5:
          Store16(d, (a >= 128 ? 0x8000u : 0u) | (Scale(r, 5) << 10) | (Scale(g, 5) << 5) | Scale(b, 5));
          break;
        case d3d8::D3DFMT_A4R4G4B4:
          Store16(d, (Scale(a, 4) << 12) | (Scale(r, 4) << 8) | (Scale(g, 4) << 4) | Scale(b, 4));
          break;
        case d3d8::D3DFMT_X4R4G4B4:
          Store16(d, 0xF000u | (Scale(r, 4) << 8) | (Scale(g, 4) << 4) | Scale(b, 4));
          break;
        case d3d8::D3DFMT_A8R3G3B2:
          Store16(d, (a << 8) | (Scale(r, 3) << 5) | (Scale(g, 3) << 2) | Scale(b, 2));
          break;
        case d3d8::D3DFMT_R3G3B2: d[0] = static_cast<std::uint8_t>((Scale(r, 3) << 5) | (Scale(g, 3) << 2) | Scale(b, 2)); break;
        case d3d8::D3DFMT_A8: d[0] = s[3]; break;
        case d3d8::D3DFMT_L8: d[0] = static_cast<std::uint8_t>(Luminance(s)); break;
        case d3d8::D3DFMT_A8L8: d[0] = static_cast<std::uint8_t>(Luminance(s)); d[1] = s[3]; break;
        case d3d8::D3DFMT_A4L4: d[0] = static_cast<std::uint8_t>((Scale(a, 4) << 4) | Scale(Luminance(s), 4)); break;
        default: return false;
      }
    }
  }
  return true;
}

bool UnpackPixels(const std::uint8_t* src, std::int32_t pitch, d3d8::D3DFORMAT format, ImageLevel& image) {
  image.rgba.assign(static_cast<std::size_t>(image.width) * image.height * 4, 0);
  if (IsDxtFormat(format)) {
    const std::size_t rowBytes = static_cast<std::size_t>((image.width + 3) / 4) * (format == d3d8::D3DFMT_DXT1 ? 8 : 16);
    const std::uint32_t blockRows = (image.height + 3) / 4;
    std::vector<std::uint8_t> blocks(rowBytes * blockRows);
    for (std::uint32_t r = 0; r < blockRows; ++r)
      std::memcpy(&blocks[r * rowBytes], src + static_cast<std::ptrdiff_t>(r) * pitch, rowBytes);
    DecompressDxt(format, blocks.data(), image.width, image.height, image.rgba.data());
    return true;
  }
  const std::uint32_t bpp = FormatBytesPerPixel(format);
  if (bpp == 0) return false;
  auto expand = [](unsigned v, unsigned bits) {
    return static_cast<std::uint8_t>((v * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1));
  };
  for (std::uint32_t y = 0; y < image.height; ++y) {
    const std::uint8_t* s = src + static_cast<std::ptrdiff_t>(y) * pitch;
    std::uint8_t* d = &image.rgba[static_cast<std::size_t>(y) * image.width * 4];
    for (std::uint32_t x = 0; x < image.width; ++x, s += bpp, d += 4) {
      const unsigned v16 = bpp >= 2 ? static_cast<unsigned>(s[0] | (s[1] << 8)) : s[0];
      d[3] = 255;
      switch (format) {
        case d3d8::D3DFMT_A8R8G8B8: d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; d[3] = s[3]; break;
        case d3d8::D3DFMT_X8R8G8B8:
        case d3d8::D3DFMT_R8G8B8: d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; break;
        case d3d8::D3DFMT_R5G6B5:
          d[0] = expand((v16 >> 11) & 31, 5); d[1] = expand((v16 >> 5) & 63, 6); d[2] = expand(v16 & 31, 5);
          break;
        case d3d8::D3DFMT_A1R5G5B5:
          d[3] = (v16 & 0x8000) ? 255 : 0;
          [[fallthrough]];
        case d3d8::D3DFMT_X1R5G5B5:
          d[0] = expand((v16 >> 10) & 31, 5); d[1] = expand((v16 >> 5) & 31, 5); d[2] = expand(v16 & 31, 5);
          break;
        case d3d8::D3DFMT_A4R4G4B4:
          d[3] = expand(v16 >> 12, 4);
          [[fallthrough]];
        case d3d8::D3DFMT_X4R4G4B4:
          d[0] = expand((v16 >> 8) & 15, 4); d[1] = expand((v16 >> 4) & 15, 4); d[2] = expand(v16 & 15, 4);
          break;
        case d3d8::D3DFMT_A8R3G3B2:
          d[3] = static_cast<std::uint8_t>(v16 >> 8);
          [[fallthrough]];
        case d3d8::D3DFMT_R3G3B2:
          d[0] = expand((s[0] >> 5) & 7, 3); d[1] = expand((s[0] >> 2) & 7, 3); d[2] = expand(s[0] & 3, 2);
          break;
        case d3d8::D3DFMT_A8: d[0] = d[1] = d[2] = 0; d[3] = s[0]; break;
        case d3d8::D3DFMT_L8: d[0] = d[1] = d[2] = s[0]; break;
        case d3d8::D3DFMT_A8L8: d[0] = d[1] = d[2] = s[0]; d[3] = s[1]; break;
        case d3d8::D3DFMT_A4L4: d[0] = d[1] = d[2] = expand(s[0] & 15, 4); d[3] = expand(s[0] >> 4, 4); break;
        default: return false;
      }
    }
  }
  return true;
}

std::vector<std::uint8_t> CompressDxt(const ImageLevel& image, d3d8::D3DFORMAT format) {
  const std::uint32_t bw = (image.width + 3) / 4, bh = (image.height + 3) / 4;
  const bool dxt1 = format == d3d8::D3DFMT_DXT1;
  const std::size_t blockBytes = dxt1 ? 8 : 16;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(bw) * bh * blockBytes, 0);
  if (image.width == 0 || image.height == 0) return out;
  for (std::uint32_t by = 0; by < bh; ++by) {
    for (std::uint32_t bx = 0; bx < bw; ++bx) {
      std::uint8_t texels[16][4];
      for (int i = 0; i < 16; ++i) {
        // Blocks that hang over the edge repeat the last row and column.
        const std::uint32_t x = std::min(bx * 4 + static_cast<std::uint32_t>(i % 4), image.width - 1);
        const std::uint32_t y = std::min(by * 4 + static_cast<std::uint32_t>(i / 4), image.height - 1);
        std::memcpy(texels[i], &image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4], 4);
      }
      std::uint8_t* block = &out[(static_cast<std::size_t>(by) * bw + bx) * blockBytes];
      if (dxt1) {
        CompressColourBlock(texels, true, block);
        continue;
      }
      if (format == d3d8::D3DFMT_DXT2 || format == d3d8::D3DFMT_DXT3) {
        for (int i = 0; i < 16; ++i) {
          const unsigned nibble = Scale(texels[i][3], 4);
          block[i / 2] = static_cast<std::uint8_t>(block[i / 2] | (nibble << (4 * (i & 1))));
        }
      } else {
        CompressInterpolatedAlpha(texels, block);
      }
      CompressColourBlock(texels, false, block + 8);
    }
  }
  return out;
}

}  // namespace d3dx
