// Tiles captured frames into one picture, each scaled down by an integer factor.
//   contact_sheet OUT.png COLUMNS FACTOR FRAME.png...
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s OUT.png COLUMNS FACTOR FRAME.png...\n", argv[0]);
    return 2;
  }
  const int cols = std::atoi(argv[2]), factor = std::atoi(argv[3]), n = argc - 4;
  if (cols < 1 || factor < 1) return 2;
  int w = 0, h = 0;
  std::vector<std::vector<unsigned char>> frames;
  for (int i = 0; i < n; ++i) {
    png_image p;
    std::memset(&p, 0, sizeof p);
    p.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&p, argv[4 + i])) {
      std::fprintf(stderr, "cannot read %s\n", argv[4 + i]);
      return 1;
    }
    p.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(p));
    png_image_finish_read(&p, nullptr, rgb.data(), 0, nullptr);
    if (i > 0 && (static_cast<int>(p.width) != w || static_cast<int>(p.height) != h)) {
      std::fprintf(stderr, "%s: frames differ in size\n", argv[4 + i]);
      return 1;
    }
    w = static_cast<int>(p.width);
    h = static_cast<int>(p.height);
    frames.push_back(std::move(rgb));
  }
  const int tw = w / factor, th = h / factor, rows = (n + cols - 1) / cols, gap = 2;
  const int sw = cols * tw + (cols + 1) * gap, sh = rows * th + (rows + 1) * gap;
  std::vector<unsigned char> sheet(static_cast<size_t>(3) * sw * sh, 16);
  for (int i = 0; i < n; ++i) {
    const int ox = gap + (i % cols) * (tw + gap), oy = gap + (i / cols) * (th + gap);
    for (int y = 0; y < th; ++y)
      for (int x = 0; x < tw; ++x) {
        int sum[3] = {0, 0, 0};
        for (int dy = 0; dy < factor; ++dy)
          for (int dx = 0; dx < factor; ++dx) {
            const unsigned char* c = &frames[static_cast<size_t>(i)][3 * (static_cast<size_t>(y * factor + dy) * w + x * factor + dx)];
            for (int k = 0; k < 3; ++k) sum[k] += c[k];
          }
        for (int k = 0; k < 3; ++k)
          sheet[3 * (static_cast<size_t>(oy + y) * sw + ox + x) + k] = static_cast<unsigned char>(sum[k] / (factor * factor));
      }
  }
  png_image out;
  std::memset(&out, 0, sizeof out);
  out.version = PNG_IMAGE_VERSION;
  out.width = static_cast<png_uint_32>(sw);
  out.height = static_cast<png_uint_32>(sh);
  out.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&out, argv[1], 0, sheet.data(), 0, nullptr) ? 0 : 1;
}
