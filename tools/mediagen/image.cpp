#include "image.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace mediagen {

Color Hex(uint32_t rgb, float a) {
  return {static_cast<float>((rgb >> 16) & 255) / 255.0f, static_cast<float>((rgb >> 8) & 255) / 255.0f,
          static_cast<float>(rgb & 255) / 255.0f, a};
}

Color Mix(Color a, Color b, float t) { return a * (1 - t) + b * t; }

uint8_t ToByte(float v) {
  return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

Color Image::Sample(float x, float y) const {
  x -= 0.5f;
  y -= 0.5f;
  float fx = std::floor(x), fy = std::floor(y);
  float tx = x - fx, ty = y - fy;
  auto wrap = [](int v, int n) { return ((v % n) + n) % n; };
  int x0 = wrap(static_cast<int>(fx), w_), y0 = wrap(static_cast<int>(fy), h_);
  int x1 = wrap(x0 + 1, w_), y1 = wrap(y0 + 1, h_);
  return Mix(Mix(at(x0, y0), at(x1, y0), tx), Mix(at(x0, y1), at(x1, y1), tx), ty);
}

void Image::Blend(int x, int y, Color c, float k) {
  if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
  Color& d = at(x, y);
  float a = std::clamp(c.a * k, 0.0f, 1.0f);
  d.r = d.r * (1 - a) + c.r * a;
  d.g = d.g * (1 - a) + c.g * a;
  d.b = d.b * (1 - a) + c.b * a;
  d.a = d.a + a * (1 - d.a);
}

Image Image::Resized(int w, int h) const {
  Image out(w, h);
  // Box filter when shrinking, bilinear otherwise.
  float sx = static_cast<float>(w_) / w, sy = static_cast<float>(h_) / h;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (sx <= 1 && sy <= 1) {
        out.at(x, y) = Sample((x + 0.5f) * sx, (y + 0.5f) * sy);
        continue;
      }
      int x0 = static_cast<int>(x * sx), x1 = std::max(x0 + 1, static_cast<int>((x + 1) * sx));
      int y0 = static_cast<int>(y * sy), y1 = std::max(y0 + 1, static_cast<int>((y + 1) * sy));
      Color acc{0, 0, 0, 0};
      int n = 0;
      for (int yy = y0; yy < std::min(y1, h_); ++yy)
        for (int xx = x0; xx < std::min(x1, w_); ++xx) {
          acc = acc + at(xx, yy);
          ++n;
        }
      out.at(x, y) = acc * (1.0f / static_cast<float>(std::max(n, 1)));
    }
  return out;
}

std::vector<uint8_t> EncodeJpeg(const Image& img, int quality) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(img.width());
  cinfo.image_height = static_cast<JDIMENSION>(img.height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.dct_method = JDCT_ISLOW;
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(img.width()) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < img.width(); ++x) {
      const Color& c = img.at(x, y);
      row[static_cast<size_t>(x) * 3] = ToByte(c.r);
      row[static_cast<size_t>(x) * 3 + 1] = ToByte(c.g);
      row[static_cast<size_t>(x) * 3 + 2] = ToByte(c.b);
    }
    JSAMPROW rp = row.data();
    jpeg_write_scanlines(&cinfo, &rp, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + size);
  free(buffer);
  return out;
}

namespace {
struct JpegError {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};
void OnJpegError(j_common_ptr c) { longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); }
}  // namespace

bool DecodeJpeg(const std::vector<uint8_t>& bytes, Image& out) {
  jpeg_decompress_struct cinfo;
  JpegError err;
  std::vector<uint8_t> pixels;  // declared before setjmp: no destructor is skipped
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = OnJpegError;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  int w = static_cast<int>(cinfo.output_width), h = static_cast<int>(cinfo.output_height);
  pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rp = pixels.data() + static_cast<size_t>(cinfo.output_scanline) * static_cast<size_t>(w) * 3;
    jpeg_read_scanlines(&cinfo, &rp, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  out = Image(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &pixels[(static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 3];
      out.at(x, y) = {p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f, 1.0f};
    }
  return true;
}

std::vector<uint8_t> EncodePng(const Image& img, bool alpha) {
  png_image pi;
  std::memset(&pi, 0, sizeof pi);
  pi.version = PNG_IMAGE_VERSION;
  pi.width = static_cast<png_uint_32>(img.width());
  pi.height = static_cast<png_uint_32>(img.height());
  pi.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  int ch = alpha ? 4 : 3;
  std::vector<uint8_t> px(static_cast<size_t>(img.width() * img.height() * ch));
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const Color& c = img.at(x, y);
      uint8_t* p = &px[static_cast<size_t>((y * img.width() + x) * ch)];
      p[0] = ToByte(c.r);
      p[1] = ToByte(c.g);
      p[2] = ToByte(c.b);
      if (alpha) p[3] = ToByte(c.a);
    }
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&pi, nullptr, &size, 0, px.data(), 0, nullptr);
  std::vector<uint8_t> out(size);
  if (!png_image_write_to_memory(&pi, out.data(), &size, 0, px.data(), 0, nullptr)) return {};
  out.resize(size);
  return out;
}

std::vector<uint8_t> EncodeTga(const Image& img) {
  std::vector<uint8_t> out(18, 0);
  out[2] = 2;  // uncompressed true colour
  out[12] = static_cast<uint8_t>(img.width() & 255);
  out[13] = static_cast<uint8_t>(img.width() >> 8);
  out[14] = static_cast<uint8_t>(img.height() & 255);
  out[15] = static_cast<uint8_t>(img.height() >> 8);
  out[16] = 32;
  out[17] = 0x28;  // 8 alpha bits, top-left origin
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const Color& c = img.at(x, y);
      out.push_back(ToByte(c.b));
      out.push_back(ToByte(c.g));
      out.push_back(ToByte(c.r));
      out.push_back(ToByte(c.a));
    }
  return out;
}

namespace {
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
}  // namespace

std::vector<uint8_t> EncodeDds(const Image& img) {
  int levels = 1;
  for (int w = img.width(), h = img.height(); w > 1 || h > 1; w = std::max(1, w / 2), h = std::max(1, h / 2)) ++levels;
  std::vector<uint8_t> out;
  Put32(out, 0x20534444);  // "DDS "
  Put32(out, 124);
  Put32(out, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000 | 0x20000);  // caps, height, width, pitch, pixel format, mip count
  Put32(out, static_cast<uint32_t>(img.height()));
  Put32(out, static_cast<uint32_t>(img.width()));
  Put32(out, static_cast<uint32_t>(img.width() * 4));
  Put32(out, 0);
  Put32(out, static_cast<uint32_t>(levels));
  for (int i = 0; i < 11; ++i) Put32(out, 0);
  // Pixel format: 32 bytes.
  Put32(out, 32);
  Put32(out, 0x41);  // RGB | alpha pixels
  Put32(out, 0);
  Put32(out, 32);
  Put32(out, 0x00FF0000);
  Put32(out, 0x0000FF00);
  Put32(out, 0x000000FF);
  Put32(out, 0xFF000000);
  Put32(out, 0x1000 | 0x8 | 0x400000);  // texture, complex, mipmap
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Image level = img;
  for (int l = 0; l < levels; ++l) {
    for (int y = 0; y < level.height(); ++y)
      for (int x = 0; x < level.width(); ++x) {
        const Color& c = level.at(x, y);
        out.push_back(ToByte(c.b));
        out.push_back(ToByte(c.g));
        out.push_back(ToByte(c.r));
        out.push_back(ToByte(c.a));
      }
    level = level.Resized(std::max(1, level.width() / 2), std::max(1, level.height() / 2));
  }
  return out;
}

std::vector<uint8_t> EncodeBmp(const Image& img) {
  int w = img.width(), h = img.height();
  int stride = (w * 3 + 3) & ~3;
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<uint32_t>(54 + stride * h));
  Put32(out, 0);
  Put32(out, 54);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(w));
  Put32(out, static_cast<uint32_t>(h));
  Put16(out, 1);
  Put16(out, 24);
  Put32(out, 0);
  Put32(out, static_cast<uint32_t>(stride * h));
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, 0);
  Put32(out, 0);
  for (int y = h - 1; y >= 0; --y) {
    size_t start = out.size();
    for (int x = 0; x < w; ++x) {
      const Color& c = img.at(x, y);
      out.push_back(ToByte(c.b));
      out.push_back(ToByte(c.g));
      out.push_back(ToByte(c.r));
    }
    while (out.size() - start < static_cast<size_t>(stride)) out.push_back(0);
  }
  return out;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
  return static_cast<bool>(f);
}

namespace {
uint32_t Hash(int x, int y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}
float Hashf(int x, int y, uint32_t seed) { return static_cast<float>(Hash(x, y, seed) & 0xFFFFFF) / 16777215.0f; }
int Wrap(int v, int n) { return n > 0 ? ((v % n) + n) % n : v; }
}  // namespace

float Noise2(float x, float y, int period, uint32_t seed) {
  float fx = std::floor(x), fy = std::floor(y);
  int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  float a = Hashf(Wrap(ix, period), Wrap(iy, period), seed), b = Hashf(Wrap(ix + 1, period), Wrap(iy, period), seed);
  float c = Hashf(Wrap(ix, period), Wrap(iy + 1, period), seed), d = Hashf(Wrap(ix + 1, period), Wrap(iy + 1, period), seed);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float Fbm(float x, float y, int octaves, int period, uint32_t seed) {
  float sum = 0, amp = 0.5f, norm = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += amp * Noise2(x, y, period, seed + static_cast<uint32_t>(o) * 101u);
    norm += amp;
    x *= 2;
    y *= 2;
    period *= 2;
    amp *= 0.5f;
  }
  return sum / norm;
}

void Cells(float x, float y, int period, uint32_t seed, float& f1, float& f2, int& id) {
  int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
  f1 = f2 = 1e9f;
  id = 0;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      int cx = ix + dx, cy = iy + dy;
      int wx = Wrap(cx, period), wy = Wrap(cy, period);
      float px = static_cast<float>(cx) + Hashf(wx, wy, seed), py = static_cast<float>(cy) + Hashf(wx, wy, seed + 7);
      float d = std::sqrt((px - x) * (px - x) + (py - y) * (py - y));
      if (d < f1) {
        f2 = f1;
        f1 = d;
        id = static_cast<int>(Hash(wx, wy, seed + 3) & 0x7FFFFFFF);
      } else if (d < f2) {
        f2 = d;
      }
    }
}

}  // namespace mediagen
