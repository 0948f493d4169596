// Device-independent bitmaps: core and info headers, 1 to 32 bits, palettes and bit masks,
// .bmp files and icon images with their AND masks.
#include "platform/win32/dib.h"

#include <algorithm>

#include "platform/win32/little_endian.h"

namespace win32 {

namespace {

unsigned MaskShift(std::uint32_t m) {
  unsigned s = 0;
  while (s < 32 && !((m >> s) & 1)) ++s;
  return s;
}
BYTE ByMask(std::uint32_t v, std::uint32_t m) {
  if (!m) return 0;
  unsigned s = MaskShift(m);
  std::uint32_t maxv = m >> s;
  return static_cast<BYTE>(((v & m) >> s) * 255u / maxv);
}

}  // namespace

bool DecodeDib(const BYTE* data, std::size_t size, bool icon, DibPixels* out) {
  std::size_t headerAt = 0, bitsAt = 0;
  bool file = size >= 14 && data[0] == 'B' && data[1] == 'M';
  if (file) {
    headerAt = 14;
    bitsAt = Le32(data + 10);
  }
  if (size < headerAt + 12) return false;
  const BYTE* h = data + headerAt;
  std::uint32_t hsize = Le32(h);
  long long width, height;
  unsigned bpp, compression = 0, paletteCount = 0;
  std::size_t paletteEntry;
  if (hsize == 12) {
    width = Le16(h + 4);
    height = static_cast<std::int16_t>(Le16(h + 6));
    bpp = Le16(h + 10);
    paletteEntry = 3;
  } else if (hsize >= 40 && hsize <= 124) {
    if (size < headerAt + hsize) return false;
    width = static_cast<std::int32_t>(Le32(h + 4));
    height = static_cast<std::int32_t>(Le32(h + 8));
    bpp = Le16(h + 14);
    compression = Le32(h + 16);
    paletteCount = Le32(h + 32);
    paletteEntry = 4;
  } else {
    return false;
  }
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (icon) height /= 2;
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (compression != 0 && compression != 3) return false;  // BI_RGB and BI_BITFIELDS only
  if (compression == 3 && bpp != 16 && bpp != 32) return false;
  std::uint32_t rm, gm, bm, am = 0;
  if (bpp == 16) {
    rm = 0x7C00;
    gm = 0x03E0;
    bm = 0x001F;
  } else {
    rm = 0xFF0000;
    gm = 0x00FF00;
    bm = 0x0000FF;
    if (bpp == 32 && icon) am = 0xFF000000u;
  }
  std::size_t after = headerAt + hsize;
  if (compression == 3) {
    const BYTE* m = h + 40;
    if (hsize == 40) {
      if (size < after + 12) return false;
      after += 12;
    }
    rm = Le32(m);
    gm = Le32(m + 4);
    bm = Le32(m + 8);
    am = hsize >= 56 ? Le32(m + 12) : 0;
    if (!rm || !gm || !bm) return false;
  }
  std::vector<DWORD> palette;
  if (bpp <= 8) {
    std::size_t count = paletteCount ? paletteCount : (1u << bpp);
    if (count > 256) return false;
    if (after + count * paletteEntry > size) return false;
    for (std::size_t i = 0; i < count; ++i) {
      const BYTE* p = data + after + i * paletteEntry;
      palette.push_back((static_cast<DWORD>(p[2]) << 16) | (p[1] << 8) | p[0]);
    }
    after += count * paletteEntry;
    palette.resize(256, 0);
  }
  if (!file) bitsAt = after;
  std::size_t stride = ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
  std::size_t need = stride * static_cast<std::size_t>(height);
  if (file && bitsAt < headerAt + hsize) return false;
  if (bitsAt > size || size - bitsAt < need) return false;
  std::size_t maskStride = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
  bool hasMask = icon && size - bitsAt >= need + maskStride * static_cast<std::size_t>(height);
  *out = DibPixels();
  std::vector<DWORD>* rgb = &out->rgb;
  std::vector<BYTE>* alpha = icon ? &out->alpha : nullptr;
  rgb->assign(static_cast<std::size_t>(width * height), 0);
  if (alpha) alpha->assign(static_cast<std::size_t>(width * height), 255);
  for (long long y = 0; y < height; ++y) {
    const BYTE* row = data + bitsAt + stride * static_cast<std::size_t>(topDown ? y : height - 1 - y);
    DWORD* out = rgb->data() + y * width;
    for (long long x = 0; x < width; ++x) {
      DWORD px = 0;
      BYTE a = 255;
      switch (bpp) {
        case 1: px = palette[(row[x / 8] >> (7 - x % 8)) & 1]; break;
        case 4: px = palette[(row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF]; break;
        case 8: px = palette[row[x]]; break;
        case 16: {
          std::uint32_t v = Le16(row + x * 2);
          px = (static_cast<DWORD>(ByMask(v, rm)) << 16) | (ByMask(v, gm) << 8) | ByMask(v, bm);
          break;
        }
        case 24: px = (static_cast<DWORD>(row[x * 3 + 2]) << 16) | (row[x * 3 + 1] << 8) | row[x * 3]; break;
        case 32: {
          std::uint32_t v = Le32(row + x * 4);
          px = (static_cast<DWORD>(ByMask(v, rm)) << 16) | (ByMask(v, gm) << 8) | ByMask(v, bm);
          if (am) a = ByMask(v, am);
          break;
        }
      }
      out[x] = px;
      if (alpha) (*alpha)[y * width + x] = a;
    }
  }
  if (alpha && icon) {
    // Images with an alpha channel use it; old-style ones (alpha all 0, or none) the AND mask.
    bool alphaUsed = bpp == 32 && am && std::any_of(alpha->begin(), alpha->end(), [](BYTE a) { return a != 0; });
    out->alphaFromImage = alphaUsed;
    out->alphaFromMask = !alphaUsed && hasMask;
    if (!alphaUsed) {
      std::fill(alpha->begin(), alpha->end(), 255);
      for (long long y = 0; hasMask && y < height; ++y) {
        const BYTE* mrow = data + bitsAt + need + maskStride * static_cast<std::size_t>(topDown ? y : height - 1 - y);
        for (long long x = 0; x < width; ++x) {
          if ((mrow[x / 8] >> (7 - x % 8)) & 1) (*alpha)[y * width + x] = 0;
        }
      }
    }
  }
  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);
  return true;
}

}  // namespace win32
