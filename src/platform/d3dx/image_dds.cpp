// DirectDraw surface files: DXT1-5 and uncompressed RGB, luminance and alpha formats described
// by bit masks, with their stored mipmap chain. Cube maps and volumes yield their first face
// or slice only.
#include <algorithm>
#include <cstring>

#include "platform/d3dx/image_decode.h"

namespace d3dx {

namespace {

using image_detail::ExtractChannel;
using image_detail::Le16;
using image_detail::Le32;

constexpr std::uint32_t kDdsdMipMapCount = 0x20000;
constexpr std::uint32_t kDdpfAlphaPixels = 0x1;
constexpr std::uint32_t kDdpfAlpha = 0x2;
constexpr std::uint32_t kDdpfFourCC = 0x4;
constexpr std::uint32_t kDdpfRgb = 0x40;
constexpr std::uint32_t kDdpfLuminance = 0x20000;
constexpr std::uint32_t kCaps2Volume = 0x200000;

bool IsDxt(d3d8::D3DFORMAT f) {
  return f == d3d8::D3DFMT_DXT1 || f == d3d8::D3DFMT_DXT2 || f == d3d8::D3DFMT_DXT3 || f == d3d8::D3DFMT_DXT4 ||
         f == d3d8::D3DFMT_DXT5;
}

void Expand565(std::uint16_t c, std::uint8_t* rgb) {
  const unsigned r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
  rgb[0] = static_cast<std::uint8_t>((r << 3) | (r >> 2));
  rgb[1] = static_cast<std::uint8_t>((g << 2) | (g >> 4));
  rgb[2] = static_cast<std::uint8_t>((b << 3) | (b >> 2));
}

// Decodes the colour half of a block into 16 RGBA texels; `allowTransparent` enables DXT1's
// three-colour mode with transparent black.
void DecodeColourBlock(const std::uint8_t* block, bool allowTransparent, std::uint8_t texels[16][4]) {
  const std::uint16_t c0 = Le16(block), c1 = Le16(block + 2);
  std::uint8_t palette[4][4];
  Expand565(c0, palette[0]);
  Expand565(c1, palette[1]);
  palette[0][3] = palette[1][3] = 255;
  if (c0 > c1 || !allowTransparent) {
    for (int ch = 0; ch < 3; ++ch) {
      palette[2][ch] = static_cast<std::uint8_t>((2 * palette[0][ch] + palette[1][ch] + 1) / 3);
      palette[3][ch] = static_cast<std::uint8_t>((palette[0][ch] + 2 * palette[1][ch] + 1) / 3);
    }
    palette[2][3] = palette[3][3] = 255;
  } else {
    for (int ch = 0; ch < 3; ++ch) palette[2][ch] = static_cast<std::uint8_t>((palette[0][ch] + palette[1][ch]) / 2);
    palette[2][3] = 255;
    palette[3][0] = palette[3][1] = palette[3][2] = palette[3][3] = 0;
  }
  const std::uint32_t indices = Le32(block + 4);
  for (int i = 0; i < 16; ++i) std::memcpy(texels[i], palette[(indices >> (2 * i)) & 3], 4);
}

void DecodeInterpolatedAlpha(const std::uint8_t* block, std::uint8_t texels[16][4]) {
  const unsigned a0 = block[0], a1 = block[1];
  unsigned alpha[8] = {a0, a1, 0, 0, 0, 0, 0, 255};
  if (a0 > a1) {
    for (unsigned i = 1; i < 7; ++i) alpha[i + 1] = ((7 - i) * a0 + i * a1 + 3) / 7;
  } else {
    for (unsigned i = 1; i < 5; ++i) alpha[i + 1] = ((5 - i) * a0 + i * a1 + 2) / 5;
  }
  std::uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= static_cast<std::uint64_t>(block[2 + i]) << (8 * i);
  for (int i = 0; i < 16; ++i) texels[i][3] = static_cast<std::uint8_t>(alpha[(bits >> (3 * i)) & 7]);
}

}  // namespace

std::uint64_t DxtLevelSize(d3d8::D3DFORMAT format, std::uint32_t width, std::uint32_t height) {
  const std::uint64_t blocks = ((static_cast<std::uint64_t>(width) + 3) / 4) * ((static_cast<std::uint64_t>(height) + 3) / 4);
  return blocks * (format == d3d8::D3DFMT_DXT1 ? 8 : 16);
}

void DecompressDxt(d3d8::D3DFORMAT format, const std::uint8_t* blocks, std::uint32_t width, std::uint32_t height,
                   std::uint8_t* rgba) {
  const std::uint32_t bw = (width + 3) / 4, bh = (height + 3) / 4;
  const std::size_t blockBytes = format == d3d8::D3DFMT_DXT1 ? 8 : 16;
  for (std::uint32_t by = 0; by < bh; ++by) {
    for (std::uint32_t bx = 0; bx < bw; ++bx) {
      const std::uint8_t* block = blocks + (static_cast<std::size_t>(by) * bw + bx) * blockBytes;
      std::uint8_t texels[16][4];
      if (format == d3d8::D3DFMT_DXT1) {
        DecodeColourBlock(block, true, texels);
      } else {
        DecodeColourBlock(block + 8, false, texels);
        if (format == d3d8::D3DFMT_DXT2 || format == d3d8::D3DFMT_DXT3) {
          for (int i = 0; i < 16; ++i) {
            const unsigned nibble = (block[i / 2] >> (4 * (i & 1))) & 0xF;
            texels[i][3] = static_cast<std::uint8_t>(nibble * 17);
          }
        } else {
          DecodeInterpolatedAlpha(block, texels);
        }
      }
      for (int ty = 0; ty < 4; ++ty) {
        const std::uint32_t y = by * 4 + ty;
        if (y >= height) break;
        for (int tx = 0; tx < 4; ++tx) {
          const std::uint32_t x = bx * 4 + tx;
          if (x >= width) break;
          std::memcpy(rgba + (static_cast<std::size_t>(y) * width + x) * 4, texels[ty * 4 + tx], 4);
        }
      }
    }
  }
}

win32::HRESULT DecodeDds(const std::uint8_t* data, std::size_t size, DecodedImage& out, const DecodeLimits& limits) {
  out = DecodedImage();
  constexpr std::size_t kHeaderEnd = 4 + 124;
  if (!data || size < kHeaderEnd || std::memcmp(data, "DDS ", 4) != 0) return D3DXERR_INVALIDDATA;
  const std::uint8_t* h = data + 4;
  if (Le32(h) != 124 || Le32(h + 72) != 32) return D3DXERR_INVALIDDATA;
  const std::uint32_t flags = Le32(h + 4);
  const std::uint32_t height = Le32(h + 8);
  const std::uint32_t width = Le32(h + 12);
  std::uint32_t mipCount = (flags & kDdsdMipMapCount) ? Le32(h + 24) : 1;
  const std::uint8_t* pf = h + 72;
  const std::uint32_t pfFlags = Le32(pf + 4);
  const std::uint32_t fourCC = Le32(pf + 8);
  const std::uint32_t bitCount = Le32(pf + 12);
  const std::uint32_t rMask = Le32(pf + 16), gMask = Le32(pf + 20), bMask = Le32(pf + 24), aMaskRaw = Le32(pf + 28);
  const std::uint32_t caps2 = Le32(h + 108);
  if (!image_detail::DimensionsAllowed(width, height, limits)) return D3DXERR_INVALIDDATA;
  if (caps2 & kCaps2Volume) mipCount = 1;  // level 1 follows all slices of level 0
  if (mipCount == 0) mipCount = 1;
  // A chain never has more levels than halving the larger side down to 1 allows.
  std::uint32_t maxLevels = 1;
  for (std::uint32_t s = std::max(width, height); s > 1; s >>= 1) ++maxLevels;
  mipCount = std::min(mipCount, maxLevels);

  d3d8::D3DFORMAT format = d3d8::D3DFMT_UNKNOWN;
  std::uint32_t aMask = 0;
  if (pfFlags & kDdpfFourCC) {
    format = static_cast<d3d8::D3DFORMAT>(fourCC);
    if (!IsDxt(format)) return D3DXERR_INVALIDDATA;
  } else {
    if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return D3DXERR_INVALIDDATA;
    aMask = (pfFlags & (kDdpfAlphaPixels | kDdpfAlpha)) ? aMaskRaw : 0;
    if (pfFlags & kDdpfRgb) {
      if (bitCount == 32 && rMask == 0xFF0000 && gMask == 0xFF00 && bMask == 0xFF)
        format = aMask == 0xFF000000u ? d3d8::D3DFMT_A8R8G8B8 : d3d8::D3DFMT_X8R8G8B8;
      else if (bitCount == 24) format = d3d8::D3DFMT_R8G8B8;
      else if (bitCount == 16 && gMask == 0x07E0) format = d3d8::D3DFMT_R5G6B5;
      else if (bitCount == 16 && gMask == 0x03E0) format = aMask ? d3d8::D3DFMT_A1R5G5B5 : d3d8::D3DFMT_X1R5G5B5;
      else if (bitCount == 16 && gMask == 0x00F0) format = aMask ? d3d8::D3DFMT_A4R4G4B4 : d3d8::D3DFMT_X4R4G4B4;
      else format = aMask ? d3d8::D3DFMT_A8R8G8B8 : d3d8::D3DFMT_X8R8G8B8;  // other masks: convert
      if ((rMask | gMask | bMask) == 0) return D3DXERR_INVALIDDATA;
    } else if (pfFlags & kDdpfLuminance) {
      format = aMask ? d3d8::D3DFMT_A8L8 : d3d8::D3DFMT_L8;
      if (rMask == 0) return D3DXERR_INVALIDDATA;
    } else if (pfFlags & kDdpfAlpha) {
      format = d3d8::D3DFMT_A8;
      if (aMask == 0) return D3DXERR_INVALIDDATA;
    } else {
      return D3DXERR_INVALIDDATA;
    }
  }

  std::size_t pos = kHeaderEnd;
  const bool dxt = IsDxt(format);
  const unsigned pixelBytes = bitCount / 8;
  std::uint32_t w = width, hgt = height;
  bool anyAlpha = false;
  for (std::uint32_t level = 0; level < mipCount; ++level) {
    const std::uint64_t bytes = dxt ? DxtLevelSize(format, w, hgt) : static_cast<std::uint64_t>(w) * hgt * pixelBytes;
    if (size - pos < bytes) {
      if (level == 0) return D3DXERR_INVALIDDATA;
      break;  // keep the complete levels; the rest of the chain is generated
    }
    const std::uint8_t* src = data + pos;
    ImageLevel img;
    img.width = w;
    img.height = hgt;
    img.rgba.resize(static_cast<std::size_t>(w) * hgt * 4);
    if (dxt) {
      DecompressDxt(format, src, w, hgt, img.rgba.data());
      out.compressedLevels.emplace_back(src, src + bytes);
    } else {
      for (std::size_t i = 0, n = static_cast<std::size_t>(w) * hgt; i < n; ++i) {
        const std::uint8_t* p = src + i * pixelBytes;
        std::uint32_t v = 0;
        for (unsigned b = 0; b < pixelBytes; ++b) v |= static_cast<std::uint32_t>(p[b]) << (8 * b);
        std::uint8_t* d = &img.rgba[i * 4];
        if (pfFlags & kDdpfRgb) {
          d[0] = ExtractChannel(v, rMask);
          d[1] = ExtractChannel(v, gMask);
          d[2] = ExtractChannel(v, bMask);
        } else if (pfFlags & kDdpfLuminance) {
          d[0] = d[1] = d[2] = ExtractChannel(v, rMask);
        } else {
          d[0] = d[1] = d[2] = 0;
        }
        d[3] = aMask ? ExtractChannel(v, aMask) : 255;
      }
    }
    for (std::size_t i = 3; !anyAlpha && i < img.rgba.size(); i += 4) anyAlpha = img.rgba[i] != 255;
    out.levels.push_back(std::move(img));
    pos += static_cast<std::size_t>(bytes);
    w = std::max<std::uint32_t>(1, w / 2);
    hgt = std::max<std::uint32_t>(1, hgt / 2);
  }

  out.fileFormat = D3DXIFF_DDS;
  out.fileD3DFormat = format;
  out.hasAlpha = dxt ? (format != d3d8::D3DFMT_DXT1 || anyAlpha) : aMask != 0;
  return win32::S_OK;
}

}  // namespace d3dx
