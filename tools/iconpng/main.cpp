// hoardel-iconpng INPUT SIZE OUTPUT.png: the program's icon resource as a square PNG of the
// given size, for the desktop's icon theme.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "icon_image.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: hoardel-iconpng ICON SIZE OUTPUT.png\n");
    return 2;
  }
  const int size = std::atoi(argv[2]);
  if (size < 1 || size > 1024) {
    std::fprintf(stderr, "hoardel-iconpng: size must be 1 to 1024\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "hoardel-iconpng: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  RgbaImage image;
  std::string error;
  if (!DecodeIconImage(bytes, &image, &error)) {
    std::fprintf(stderr, "hoardel-iconpng: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  if (!WritePng(ScaleIcon(image, size), argv[3])) {
    std::fprintf(stderr, "hoardel-iconpng: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
