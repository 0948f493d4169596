#include "image_builders.h"

#include <png.h>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace d3dx_test {

namespace {

void BmpHeaders(Bytes& b, std::uint32_t w, std::int32_t h, unsigned bits, std::uint32_t compression,
                std::uint32_t extra, std::uint32_t imageBytes, std::uint32_t colours) {
  const std::uint32_t offset = 14 + 40 + extra;
  b.push_back('B');
  b.push_back('M');
  Put32(b, offset + imageBytes);
  Put32(b, 0);
  Put32(b, offset);
  Put32(b, 40);
  Put32(b, w);
  Put32(b, static_cast<std::uint32_t>(h));
  Put16(b, 1);
  Put16(b, bits);
  Put32(b, compression);
  Put32(b, imageBytes);
  Put32(b, 2835);
  Put32(b, 2835);
  Put32(b, colours);
  Put32(b, 0);
}

}  // namespace

Bytes MakeBmp(std::uint32_t w, std::uint32_t h, const Bytes& rgba, unsigned bits, bool topDown) {
  const std::uint32_t bpp = bits / 8;
  const std::uint32_t row = (w * bpp + 3) / 4 * 4;
  Bytes b;
  BmpHeaders(b, w, topDown ? -static_cast<std::int32_t>(h) : static_cast<std::int32_t>(h), bits, 0, 0, row * h, 0);
  for (std::uint32_t i = 0; i < h; ++i) {
    const std::uint32_t y = topDown ? i : h - 1 - i;
    for (std::uint32_t x = 0; x < w; ++x) {
      const std::uint8_t* p = &rgba[(y * w + x) * 4];
      b.push_back(p[2]);
      b.push_back(p[1]);
      b.push_back(p[0]);
      if (bpp == 4) b.push_back(0x5A);  // unused byte: must not become alpha
    }
    for (std::uint32_t pad = w * bpp; pad < row; ++pad) b.push_back(0xEE);
  }
  return b;
}

Bytes MakeBmp8(std::uint32_t w, std::uint32_t h, const Bytes& indices, const Bytes& paletteRgb) {
  const std::uint32_t row = (w + 3) / 4 * 4;
  const std::uint32_t colours = static_cast<std::uint32_t>(paletteRgb.size() / 3);
  Bytes b;
  BmpHeaders(b, w, static_cast<std::int32_t>(h), 8, 0, colours * 4, row * h, colours);
  for (std::uint32_t i = 0; i < colours; ++i) {
    b.push_back(paletteRgb[i * 3 + 2]);
    b.push_back(paletteRgb[i * 3 + 1]);
    b.push_back(paletteRgb[i * 3 + 0]);
    b.push_back(0);
  }
  for (std::uint32_t i = 0; i < h; ++i) {
    const std::uint32_t y = h - 1 - i;
    for (std::uint32_t x = 0; x < w; ++x) b.push_back(indices[y * w + x]);
    for (std::uint32_t pad = w; pad < row; ++pad) b.push_back(0);
  }
  return b;
}

Bytes MakeBmp565(std::uint32_t w, std::uint32_t h, const std::vector<std::uint16_t>& pixels) {
  const std::uint32_t row = (w * 2 + 3) / 4 * 4;
  Bytes b;
  BmpHeaders(b, w, static_cast<std::int32_t>(h), 16, 3, 12, row * h, 0);
  Put32(b, 0xF800);
  Put32(b, 0x07E0);
  Put32(b, 0x001F);
  for (std::uint32_t i = 0; i < h; ++i) {
    const std::uint32_t y = h - 1 - i;
    for (std::uint32_t x = 0; x < w; ++x) Put16(b, pixels[y * w + x]);
    for (std::uint32_t pad = w * 2; pad < row; ++pad) b.push_back(0);
  }
  return b;
}

Bytes MakeTga(std::uint32_t w, std::uint32_t h, const Bytes& rgba, unsigned bits, bool topDown, bool rle) {
  const unsigned bpp = bits / 8;
  Bytes b = {3, 0, static_cast<std::uint8_t>(rle ? 10 : 2)};  // 3-byte image id follows the header
  Put16(b, 0);  // colour map: first entry, length, entry size
  Put16(b, 0);
  b.push_back(0);
  Put16(b, 0);  // origin
  Put16(b, 0);
  Put16(b, w);
  Put16(b, h);
  b.push_back(static_cast<std::uint8_t>(bits));
  b.push_back(static_cast<std::uint8_t>((bits == 32 ? 8 : 0) | (topDown ? 0x20 : 0)));
  b.push_back('i');
  b.push_back('d');
  b.push_back('!');
  // Pixels in file order.
  std::vector<Bytes> stream;
  for (std::uint32_t i = 0; i < h; ++i) {
    const std::uint32_t y = topDown ? i : h - 1 - i;
    for (std::uint32_t x = 0; x < w; ++x) {
      const std::uint8_t* p = &rgba[(y * w + x) * 4];
      Bytes px = {p[2], p[1], p[0]};
      if (bpp == 4) px.push_back(p[3]);
      stream.push_back(px);
    }
  }
  if (!rle) {
    for (const Bytes& px : stream) b.insert(b.end(), px.begin(), px.end());
    return b;
  }
  std::size_t i = 0;
  while (i < stream.size()) {
    std::size_t run = 1;
    while (i + run < stream.size() && run < 128 && stream[i + run] == stream[i]) ++run;
    if (run >= 2) {
      b.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
      b.insert(b.end(), stream[i].begin(), stream[i].end());
      i += run;
      continue;
    }
    std::size_t raw = 1;
    while (i + raw < stream.size() && raw < 128 &&
           !(i + raw + 1 < stream.size() && stream[i + raw] == stream[i + raw + 1]))
      ++raw;
    b.push_back(static_cast<std::uint8_t>(raw - 1));
    for (std::size_t k = 0; k < raw; ++k) b.insert(b.end(), stream[i + k].begin(), stream[i + k].end());
    i += raw;
  }
  return b;
}

namespace {

Bytes DdsHeader(std::uint32_t w, std::uint32_t h, std::uint32_t mipCount, std::uint32_t pfFlags,
                std::uint32_t fourCC, std::uint32_t bits, std::uint32_t r, std::uint32_t g, std::uint32_t bl,
                std::uint32_t a) {
  Bytes b = {'D', 'D', 'S', ' '};
  Put32(b, 124);
  Put32(b, 0x1 | 0x2 | 0x4 | 0x1000 | (mipCount > 1 ? 0x20000 : 0));
  Put32(b, h);
  Put32(b, w);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, mipCount);
  for (int i = 0; i < 11; ++i) Put32(b, 0);
  Put32(b, 32);
  Put32(b, pfFlags);
  Put32(b, fourCC);
  Put32(b, bits);
  Put32(b, r);
  Put32(b, g);
  Put32(b, bl);
  Put32(b, a);
  Put32(b, 0x1000 | (mipCount > 1 ? 0x400008 : 0));
  for (int i = 0; i < 4; ++i) Put32(b, 0);
  return b;
}

}  // namespace

Bytes MakeDdsArgb(std::uint32_t w, std::uint32_t h, const std::vector<Bytes>& levels) {
  Bytes b = DdsHeader(w, h, static_cast<std::uint32_t>(levels.size()), 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF,
                      0xFF000000u);
  for (const Bytes& level : levels)
    for (std::size_t i = 0; i < level.size(); i += 4) {
      b.push_back(level[i + 2]);
      b.push_back(level[i + 1]);
      b.push_back(level[i + 0]);
      b.push_back(level[i + 3]);
    }
  return b;
}

Bytes MakeDdsDxt(std::uint32_t w, std::uint32_t h, const char* fourCC, const Bytes& blocks, std::uint32_t mipCount) {
  std::uint32_t code = 0;
  for (int i = 0; i < 4; ++i) code |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(fourCC[i])) << (8 * i);
  Bytes b = DdsHeader(w, h, mipCount, 0x4, code, 0, 0, 0, 0, 0);
  b.insert(b.end(), blocks.begin(), blocks.end());
  return b;
}

Bytes MakePng(std::uint32_t w, std::uint32_t h, const Bytes& rgba, bool withAlpha) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = w;
  image.height = h;
  image.format = withAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  Bytes src;
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    src.insert(src.end(), rgba.begin() + static_cast<std::ptrdiff_t>(i),
               rgba.begin() + static_cast<std::ptrdiff_t>(i + 3));
    if (withAlpha) src.push_back(rgba[i + 3]);
  }
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, src.data(), 0, nullptr);
  Bytes out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, src.data(), 0, nullptr)) return {};
  out.resize(size);
  return out;
}

Bytes MakeJpeg(std::uint32_t w, std::uint32_t h, const Bytes& rgba, int quality, bool grey) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* mem = nullptr;
  unsigned long memSize = 0;
  jpeg_mem_dest(&cinfo, &mem, &memSize);
  cinfo.image_width = w;
  cinfo.image_height = h;
  cinfo.input_components = grey ? 1 : 3;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  Bytes row(static_cast<std::size_t>(w) * 3);
  while (cinfo.next_scanline < h) {
    const std::uint32_t y = cinfo.next_scanline;
    for (std::uint32_t x = 0; x < w; ++x) {
      const std::uint8_t* p = &rgba[(y * w + x) * 4];
      if (grey) {
        row[x] = p[0];
      } else {
        row[x * 3] = p[0];
        row[x * 3 + 1] = p[1];
        row[x * 3 + 2] = p[2];
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(mem, mem + memSize);
  jpeg_destroy_compress(&cinfo);
  std::free(mem);
  return out;
}

}  // namespace d3dx_test
