// How each Direct3D format is laid out in memory and stored in GL.
#pragma once

#include <cstdint>

#include "platform/d3d8/d3d8_types.h"
#include "platform/d3d8/gl.h"

namespace d3d8 {

struct FormatInfo {
  bool supported = false;      // usable as a texture / surface format here
  bool compressed = false;     // 4x4 blocks (DXT)
  bool depth = false;          // depth-stencil format
  bool renderTarget = false;   // usable as colour render target
  UINT bytesPerPixel = 0;      // or bytes per 4x4 block when compressed
  GLenum internalFormat = 0;
  GLenum format = 0;
  GLenum type = 0;
  GLint swizzle[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
};

const FormatInfo& GetFormatInfo(D3DFORMAT format);

// Bytes of one row (of pixels or of 4x4 blocks) and number of rows for a level.
UINT RowPitch(D3DFORMAT format, UINT width);
UINT RowCount(D3DFORMAT format, UINT height);

// Converts one row between a format's memory layout and RGBA8 bytes. Only uncompressed
// colour formats; returns false otherwise.
bool RowToRgba8(D3DFORMAT format, const std::uint8_t* src, std::uint8_t* rgba, UINT width);
bool RowFromRgba8(D3DFORMAT format, const std::uint8_t* rgba, std::uint8_t* dst, UINT width);

}  // namespace d3d8
