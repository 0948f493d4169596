// Windows icon images to PNG files for the desktop's icon theme: decodes an icon resource
// image (a DIB with its colour rows and AND mask) or a whole .ico file, scales it to a square
// size and writes it as RGBA PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // top-down rows, 4 bytes per pixel: R, G, B, A (straight alpha)
};

// Decodes one icon image: BITMAPINFOHEADER whose height counts the colour and mask rows,
// 32-bit (alpha used when any pixel has some, else the AND mask) or 24-bit (AND mask) colour
// rows bottom-up, then the 1-bit AND mask. Also takes a whole .ico file (ICONDIR), using its
// largest entry. False for anything malformed or truncated.
bool DecodeIconImage(const std::vector<std::uint8_t>& bytes, RgbaImage* out, std::string* error);

// Scales to size x size: each output pixel averages the source area it covers, colours
// weighted by alpha (so transparent pixels do not darken the edges).
RgbaImage ScaleIcon(const RgbaImage& in, int size);

bool WritePng(const RgbaImage& image, const std::string& path);
