// Writes small PNG files of every colour type, bit depth and interlace method into a folder:
// the image fuzzer's PNG seeds (libpng is not instrumented, so mutations of a few valid files
// are all that reach its many decoding paths).
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Kind {
  const char* name;
  int colorType;
  int bitDepth;
  bool interlaced;
  bool transparency;  // a tRNS chunk
};

int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;  // grey, palette
  }
}

bool Write(const std::string& path, const Kind& k) {
  const png_uint_32 w = k.interlaced ? 9 : 5, h = k.interlaced ? 9 : 3;
  // Rows of samples packed as the bit depth says, a varied pattern.
  const std::size_t bitsPerRow = static_cast<std::size_t>(w) * Channels(k.colorType) * k.bitDepth;
  const std::size_t rowBytes = (bitsPerRow + 7) / 8;
  std::vector<std::vector<png_byte>> rows(h, std::vector<png_byte>(rowBytes));
  for (png_uint_32 y = 0; y < h; ++y)
    for (std::size_t i = 0; i < rowBytes; ++i) rows[y][i] = static_cast<png_byte>(37 * i + 91 * y + 11);
  std::vector<png_bytep> rowPointers;
  for (auto& r : rows) rowPointers.push_back(r.data());
  std::vector<png_color> palette;
  for (int i = 0; i < (1 << (k.bitDepth < 8 ? k.bitDepth : 8)); ++i)
    palette.push_back({static_cast<png_byte>(i * 7), static_cast<png_byte>(255 - i), static_cast<png_byte>(i * 3)});
  std::vector<png_byte> alphas = {0, 128, 255, 64};

  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, w, h, k.bitDepth, k.colorType,
               k.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (k.colorType == PNG_COLOR_TYPE_PALETTE)
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (k.transparency) {
    png_color_16 key{};
    key.gray = 1;
    key.red = 2;
    key.green = 3;
    key.blue = 4;
    png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), &key);
  }
  png_set_gAMA(png, info, 1 / 2.2);
  png_write_info(png, info);
  png_write_image(png, rowPointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_png_seeds OUTDIR\n");
    return 2;
  }
  const Kind kinds[] = {
      {"grey1", PNG_COLOR_TYPE_GRAY, 1, false, false},
      {"grey2_trns", PNG_COLOR_TYPE_GRAY, 2, false, true},
      {"grey4", PNG_COLOR_TYPE_GRAY, 4, false, false},
      {"grey8", PNG_COLOR_TYPE_GRAY, 8, false, false},
      {"grey16_adam7", PNG_COLOR_TYPE_GRAY, 16, true, false},
      {"greyalpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false},
      {"greyalpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, false},
      {"rgb8_trns", PNG_COLOR_TYPE_RGB, 8, false, true},
      {"rgb16", PNG_COLOR_TYPE_RGB, 16, false, false},
      {"rgba8_adam7", PNG_COLOR_TYPE_RGB_ALPHA, 8, true, false},
      {"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false, false},
      {"palette1", PNG_COLOR_TYPE_PALETTE, 1, false, false},
      {"palette2_trns", PNG_COLOR_TYPE_PALETTE, 2, false, true},
      {"palette4_adam7", PNG_COLOR_TYPE_PALETTE, 4, true, false},
      {"palette8_trns", PNG_COLOR_TYPE_PALETTE, 8, false, true},
  };
  for (const Kind& k : kinds) {
    if (!Write(std::string(argv[1]) + "/" + k.name + ".png", k)) {
      std::fprintf(stderr, "make_png_seeds: cannot write %s\n", k.name);
      return 1;
    }
  }
  return 0;
}
