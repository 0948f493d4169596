// Device-independent bitmaps, as resources (bitmaps, icon images) and .bmp files hold them.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/win32/win32_types.h"

namespace win32 {

// Rows top-down; colour 0x00RRGGBB; alpha (icon images only) 0 to 255.
struct DibPixels {
  int width = 0, height = 0;
  std::vector<DWORD> rgb;
  std::vector<BYTE> alpha;
  // Where an icon image's alpha came from: its own 32-bit alpha, or else its AND mask (neither:
  // opaque).
  bool alphaFromImage = false, alphaFromMask = false;
};

// Decodes a DIB (header, optional masks, palette, rows) or a .bmp file: 1, 4, 8, 16, 24 and
// 32 bits, BI_RGB and BI_BITFIELDS. An icon image (icon true) has a doubled height with an AND
// mask after the colour rows. False for anything malformed or truncated.
bool DecodeDib(const BYTE* data, std::size_t size, bool icon, DibPixels* out);

}  // namespace win32
