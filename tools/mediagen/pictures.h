// Clock digits, the loading screen, dialog and preview pictures, the icon and small files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image.h"
#include "scene.h"

namespace mediagen {

// Fonts: bold sans for the digits, bold serif for titles.
struct Fonts {
  std::string sansBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
  std::string serifBold = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf";
};

struct NamedImage {
  std::string name;
  Image image;
};

// The 15 clock glyphs in archive order ("digit_0.jpg" ... "digit_P.jpg"); empty on font failure.
std::vector<NamedImage> BuildDigits(const Fonts& fonts);
Image BuildLoadingBackground(const Fonts& fonts);
// Corner ornaments 256 x 128: 0 bottom-right, 1 bottom-left, 2 top-left, 3 top-right.
Image BuildLoadingCorner(int corner);
// A view of the hoard with the title, for the preview bitmap and the dialog picture.
Image BuildTitlePicture(const Scene& scene, const RoomInfo& info, const Fonts& fonts, int w, int h, bool title);
Image BuildEmblem(int size);

// Windows resource forms: a packed DIB (24-bit) for bitmaps; an icon image (32-bit DIB with
// an AND mask) and its group directory.
std::vector<uint8_t> EncodePackedDib(const Image& img);
std::vector<uint8_t> EncodeIconImage(const Image& img);
std::vector<uint8_t> EncodeIconGroup(int size, uint32_t bytes, uint16_t id);

std::string BuildSphereObj();

}  // namespace mediagen
