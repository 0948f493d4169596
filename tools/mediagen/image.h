// Images in memory (linear floats, RGBA) and the file formats the program reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vecmath.h"

namespace mediagen {

struct Color {
  float r = 0, g = 0, b = 0, a = 1;
  Color operator+(Color o) const { return {r + o.r, g + o.g, b + o.b, a + o.a}; }
  Color operator*(float s) const { return {r * s, g * s, b * s, a * s}; }
  Color Mul(Color o) const { return {r * o.r, g * o.g, b * o.b, a * o.a}; }
};
Color Hex(uint32_t rgb, float a = 1.0f);
Color Mix(Color a, Color b, float t);

class Image {
 public:
  Image() = default;
  Image(int w, int h, Color fill = {0, 0, 0, 1}) : w_(w), h_(h), px_(static_cast<size_t>(w * h), fill) {}
  int width() const { return w_; }
  int height() const { return h_; }
  Color& at(int x, int y) { return px_[static_cast<size_t>(y * w_ + x)]; }
  const Color& at(int x, int y) const { return px_[static_cast<size_t>(y * w_ + x)]; }
  // Wrapping bilinear lookup in texel units.
  Color Sample(float x, float y) const;
  // Alpha-blends `c` into the pixel with coverage `k`.
  void Blend(int x, int y, Color c, float k);
  Image Resized(int w, int h) const;

 private:
  int w_ = 0, h_ = 0;
  std::vector<Color> px_;
};

// Encoders; each returns the file's bytes.
std::vector<uint8_t> EncodeJpeg(const Image& img, int quality);   // baseline, 4:2:0
std::vector<uint8_t> EncodePng(const Image& img, bool alpha);
std::vector<uint8_t> EncodeTga(const Image& img);                  // 32-bit, top-left origin
std::vector<uint8_t> EncodeDds(const Image& img);                  // A8R8G8B8 with a mip chain
std::vector<uint8_t> EncodeBmp(const Image& img);                  // 24-bit, bottom-up
// Decoders used by the tests and the preview.
bool DecodeJpeg(const std::vector<uint8_t>& bytes, Image& out);

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool WriteText(const std::string& path, const std::string& text);

uint8_t ToByte(float v);

// Value noise and fractal noise, tileable with the given period (in lattice cells).
float Noise2(float x, float y, int period, uint32_t seed);
float Fbm(float x, float y, int octaves, int period, uint32_t seed);
// Distance to the nearest and second nearest feature points (cellular), tileable.
void Cells(float x, float y, int period, uint32_t seed, float& f1, float& f2, int& id);

}  // namespace mediagen
