#include "platform/d3d8/formats.h"

#include <cstring>

namespace d3d8 {
namespace {

FormatInfo Make(UINT bpp, GLenum internal, GLenum format, GLenum type, bool rt = false) {
  FormatInfo f;
  f.supported = true;
  f.bytesPerPixel = bpp;
  f.internalFormat = internal;
  f.format = format;
  f.type = type;
  f.renderTarget = rt;
  return f;
}

FormatInfo Swizzled(FormatInfo f, GLint r, GLint g, GLint b, GLint a) {
  f.swizzle[0] = r;
  f.swizzle[1] = g;
  f.swizzle[2] = b;
  f.swizzle[3] = a;
  return f;
}

FormatInfo Compressed(UINT blockBytes, GLenum internal) {
  FormatInfo f;
  f.supported = true;
  f.compressed = true;
  f.bytesPerPixel = blockBytes;
  f.internalFormat = internal;
  return f;
}

FormatInfo Depth(UINT bpp, GLenum internal) {
  FormatInfo f;
  f.supported = true;
  f.depth = true;
  f.bytesPerPixel = bpp;
  f.internalFormat = internal;
  return f;
}

unsigned Expand(unsigned v, unsigned bits) {
  const unsigned max = (1u << bits) - 1;
  return (v * 255 + max / 2) / max;
}
unsigned Reduce(unsigned v, unsigned bits) {
  const unsigned max = (1u << bits) - 1;
  return (v * max + 127) / 255;
}

}  // namespace

const FormatInfo& GetFormatInfo(D3DFORMAT format) {
  static const FormatInfo none;
  static const FormatInfo a8r8g8b8 = Make(4, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, true);
  static const FormatInfo x8r8g8b8 =
      Swizzled(Make(4, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, true), GL_RED, GL_GREEN, GL_BLUE, GL_ONE);
  static const FormatInfo r8g8b8 = Make(3, GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE);
  static const FormatInfo r5g6b5 = Make(2, GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, true);
  static const FormatInfo a1r5g5b5 = Make(2, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, true);
  static const FormatInfo x1r5g5b5 = Swizzled(Make(2, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, true),
                                              GL_RED, GL_GREEN, GL_BLUE, GL_ONE);
  static const FormatInfo a4r4g4b4 = Make(2, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV);
  static const FormatInfo x4r4g4b4 =
      Swizzled(Make(2, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV), GL_RED, GL_GREEN, GL_BLUE, GL_ONE);
  static const FormatInfo r3g3b2 = Make(1, GL_R3_G3_B2, GL_RGB, GL_UNSIGNED_BYTE_3_3_2);
  static const FormatInfo a8 = Swizzled(Make(1, GL_R8, GL_RED, GL_UNSIGNED_BYTE), GL_ZERO, GL_ZERO, GL_ZERO, GL_RED);
  static const FormatInfo l8 = Swizzled(Make(1, GL_R8, GL_RED, GL_UNSIGNED_BYTE), GL_RED, GL_RED, GL_RED, GL_ONE);
  static const FormatInfo a8l8 = Swizzled(Make(2, GL_RG8, GL_RG, GL_UNSIGNED_BYTE), GL_RED, GL_RED, GL_RED, GL_GREEN);
  static const FormatInfo dxt1 = Compressed(8, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT);
  static const FormatInfo dxt3 = Compressed(16, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT);
  static const FormatInfo dxt5 = Compressed(16, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT);
  static const FormatInfo d16 = Depth(2, GL_DEPTH_COMPONENT16);
  static const FormatInfo d24s8 = Depth(4, GL_DEPTH24_STENCIL8);
  static const FormatInfo d32 = Depth(4, GL_DEPTH_COMPONENT32);
  switch (format) {
    case D3DFMT_A8R8G8B8: return a8r8g8b8;
    case D3DFMT_X8R8G8B8: return x8r8g8b8;
    case D3DFMT_R8G8B8: return r8g8b8;
    case D3DFMT_R5G6B5: return r5g6b5;
    case D3DFMT_A1R5G5B5: return a1r5g5b5;
    case D3DFMT_X1R5G5B5: return x1r5g5b5;
    case D3DFMT_A4R4G4B4: return a4r4g4b4;
    case D3DFMT_X4R4G4B4: return x4r4g4b4;
    case D3DFMT_R3G3B2: return r3g3b2;
    case D3DFMT_A8: return a8;
    case D3DFMT_L8: return l8;
    case D3DFMT_A8L8: return a8l8;
    case D3DFMT_DXT1: return dxt1;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3: return dxt3;
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: return dxt5;
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE: return d16;
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D15S1: return d24s8;
    case D3DFMT_D32: return d32;
    default: return none;
  }
}

UINT RowPitch(D3DFORMAT format, UINT width) {
  const FormatInfo& f = GetFormatInfo(format);
  if (f.compressed) return ((width + 3) / 4) * f.bytesPerPixel;
  return width * f.bytesPerPixel;
}

UINT RowCount(D3DFORMAT format, UINT height) {
  return GetFormatInfo(format).compressed ? (height + 3) / 4 : height;
}

bool RowToRgba8(D3DFORMAT format, const std::uint8_t* src, std::uint8_t* rgba, UINT width) {
  for (UINT x = 0; x < width; ++x) {
    std::uint8_t* o = rgba + 4 * x;
    switch (format) {
      case D3DFMT_A8R8G8B8:
      case D3DFMT_X8R8G8B8: {
        const std::uint8_t* p = src + 4 * x;
        o[0] = p[2], o[1] = p[1], o[2] = p[0];
        o[3] = format == D3DFMT_A8R8G8B8 ? p[3] : 255;
        break;
      }
      case D3DFMT_R8G8B8: {
        const std::uint8_t* p = src + 3 * x;
        o[0] = p[2], o[1] = p[1], o[2] = p[0], o[3] = 255;
        break;
      }
      case D3DFMT_R5G6B5: {
        unsigned v = src[2 * x] | (src[2 * x + 1] << 8);
        o[0] = static_cast<std::uint8_t>(Expand((v >> 11) & 31, 5));
        o[1] = static_cast<std::uint8_t>(Expand((v >> 5) & 63, 6));
        o[2] = static_cast<std::uint8_t>(Expand(v & 31, 5));
        o[3] = 255;
        break;
      }
      case D3DFMT_A1R5G5B5:
      case D3DFMT_X1R5G5B5: {
        unsigned v = src[2 * x] | (src[2 * x + 1] << 8);
        o[0] = static_cast<std::uint8_t>(Expand((v >> 10) & 31, 5));
        o[1] = static_cast<std::uint8_t>(Expand((v >> 5) & 31, 5));
        o[2] = static_cast<std::uint8_t>(Expand(v & 31, 5));
        o[3] = format == D3DFMT_A1R5G5B5 ? ((v >> 15) ? 255 : 0) : 255;
        break;
      }
      case D3DFMT_A4R4G4B4:
      case D3DFMT_X4R4G4B4: {
        unsigned v = src[2 * x] | (src[2 * x + 1] << 8);
        o[0] = static_cast<std::uint8_t>(((v >> 8) & 15) * 17);
        o[1] = static_cast<std::uint8_t>(((v >> 4) & 15) * 17);
        o[2] = static_cast<std::uint8_t>((v & 15) * 17);
        o[3] = format == D3DFMT_A4R4G4B4 ? static_cast<std::uint8_t>(((v >> 12) & 15) * 17) : 255;
        break;
      }
      case D3DFMT_L8: o[0] = o[1] = o[2] = src[x], o[3] = 255; break;
      case D3DFMT_A8: o[0] = o[1] = o[2] = 0, o[3] = src[x]; break;
      case D3DFMT_A8L8: o[0] = o[1] = o[2] = src[2 * x], o[3] = src[2 * x + 1]; break;
      default: return false;
    }
  }
  return true;
}

bool RowFromRgba8(D3DFORMAT format, const std::uint8_t* rgba, std::uint8_t* dst, UINT width) {
  for (UINT x = 0; x < width; ++x) {
    const std::uint8_t* i = rgba + 4 * x;
    unsigned v = 0;
    switch (format) {
      case D3DFMT_A8R8G8B8:
      case D3DFMT_X8R8G8B8: {
        std::uint8_t* p = dst + 4 * x;
        p[0] = i[2], p[1] = i[1], p[2] = i[0];
        p[3] = format == D3DFMT_A8R8G8B8 ? i[3] : 255;
        continue;
      }
      case D3DFMT_R8G8B8: {
        std::uint8_t* p = dst + 3 * x;
        p[0] = i[2], p[1] = i[1], p[2] = i[0];
        continue;
      }
      case D3DFMT_R5G6B5: v = (Reduce(i[0], 5) << 11) | (Reduce(i[1], 6) << 5) | Reduce(i[2], 5); break;
      case D3DFMT_A1R5G5B5:
      case D3DFMT_X1R5G5B5:
        v = (Reduce(i[0], 5) << 10) | (Reduce(i[1], 5) << 5) | Reduce(i[2], 5);
        if (format == D3DFMT_X1R5G5B5 || i[3] >= 128) v |= 0x8000;
        break;
      case D3DFMT_A4R4G4B4:
      case D3DFMT_X4R4G4B4:
        v = (Reduce(i[0], 4) << 8) | (Reduce(i[1], 4) << 4) | Reduce(i[2], 4);
        v |= (format == D3DFMT_A4R4G4B4 ? Reduce(i[3], 4) : 15u) << 12;
        break;
      case D3DFMT_L8: dst[x] = i[0]; continue;
      case D3DFMT_A8: dst[x] = i[3]; continue;
      case D3DFMT_A8L8: dst[2 * x] = i[0], dst[2 * x + 1] = i[3]; continue;
      default: return false;
    }
    dst[2 * x] = static_cast<std::uint8_t>(v & 0xFF);
    dst[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  return true;
}

}  // namespace d3d8
