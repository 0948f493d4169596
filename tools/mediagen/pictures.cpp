#include "pictures.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "raster.h"
#include "textures.h"

namespace mediagen {

namespace {

float Smooth(float e0, float e1, float x) {
  float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3 - 2 * t);
}

// Renders UTF-32 text into a coverage mask of the image's size, left edge at x, baseline y.
// Returns the advance in pixels, or -1 when the font cannot be used.
class Text {
 public:
  explicit Text(const std::string& font) {
    if (FT_Init_FreeType(&lib_) == 0 && FT_New_Face(lib_, font.c_str(), 0, &face_) == 0) ok_ = true;
  }
  ~Text() {
    if (face_) FT_Done_Face(face_);
    if (lib_) FT_Done_FreeType(lib_);
  }
  bool ok() const { return ok_; }
  float Measure(const std::u32string& s, int px) {
    float w = 0;
    if (!ok_) return 0;
    FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(px));
    for (char32_t c : s)
      if (FT_Load_Char(face_, c, FT_LOAD_DEFAULT) == 0) w += static_cast<float>(face_->glyph->advance.x) / 64.0f;
    return w;
  }
  // Calls plot(x, y, coverage) for every covered pixel.
  template <typename F>
  void Draw(const std::u32string& s, int px, float x, float y, F&& plot) {
    if (!ok_) return;
    FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(px));
    for (char32_t c : s) {
      if (FT_Load_Char(face_, c, FT_LOAD_RENDER) != 0) continue;
      FT_GlyphSlot g = face_->glyph;
      int ox = static_cast<int>(std::lround(x)) + g->bitmap_left, oy = static_cast<int>(std::lround(y)) - g->bitmap_top;
      for (unsigned r = 0; r < g->bitmap.rows; ++r)
        for (unsigned q = 0; q < g->bitmap.width; ++q) {
          unsigned char v = g->bitmap.buffer[r * static_cast<unsigned>(g->bitmap.pitch) + q];
          if (v) plot(ox + static_cast<int>(q), oy + static_cast<int>(r), v / 255.0f);
        }
      x += static_cast<float>(g->advance.x) / 64.0f;
    }
  }
  // Vertical extent of the glyphs of s above and below the baseline.
  void Extent(const std::u32string& s, int px, float& ascent, float& descent) {
    ascent = descent = 0;
    if (!ok_) return;
    FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(px));
    for (char32_t c : s)
      if (FT_Load_Char(face_, c, FT_LOAD_DEFAULT) == 0) {
        float top = static_cast<float>(face_->glyph->metrics.horiBearingY) / 64.0f;
        float h = static_cast<float>(face_->glyph->metrics.height) / 64.0f;
        ascent = std::max(ascent, top);
        descent = std::max(descent, h - top);
      }
  }

 private:
  FT_Library lib_ = nullptr;
  FT_Face face_ = nullptr;
  bool ok_ = false;
};

void GoldText(Image& img, Text& text, const std::u32string& s, int px, float cx, float baseline, bool shadow) {
  float w = text.Measure(s, px);
  float asc, desc;
  text.Extent(s, px, asc, desc);
  float x = cx - w / 2;
  if (shadow)
    text.Draw(s, px, x + px * 0.05f, baseline + px * 0.06f, [&](int X, int Y, float k) { img.Blend(X, Y, {0, 0, 0, 0.85f}, k); });
  text.Draw(s, px, x, baseline, [&](int X, int Y, float k) {
    float t = std::clamp((baseline - static_cast<float>(Y)) / std::max(asc, 1.0f), 0.0f, 1.0f);
    Color g = GoldShade(0.35f + 0.6f * t);
    img.Blend(X, Y, g, k);
  });
}

}  // namespace

std::vector<NamedImage> BuildDigits(const Fonts& fonts) {
  Text text(fonts.sansBold);
  if (!text.ok()) return {};
  const char* names[15] = {"digit_0", "digit_1", "digit_2", "digit_3", "digit_4", "digit_5", "digit_6", "digit_7",
                           "digit_8", "digit_9", "digit_A", "digit_ddot", "digit_dot", "digit_M", "digit_P"};
  const char32_t glyphs[15] = {U'0', U'1', U'2', U'3', U'4', U'5', U'6', U'7', U'8', U'9', U'A', U':', U'.', U'M', U'P'};
  std::vector<NamedImage> out;
  const int S = 64, px = 58;
  float asc, desc;
  text.Extent(U"0123456789AMP", px, asc, desc);
  float baseline = (S + asc) / 2.0f;
  for (int i = 0; i < 15; ++i) {
    Image img(S, S, {0, 0, 0, 1});
    std::u32string s(1, glyphs[i]);
    float w = text.Measure(s, px);
    text.Draw(s, px, (S - w) / 2.0f, baseline, [&](int x, int y, float k) { img.Blend(x, y, {1, 1, 1, 1}, k); });
    out.push_back({std::string(names[i]) + ".jpg", std::move(img)});
  }
  return out;
}

Image BuildLoadingBackground(const Fonts& fonts) {
  const int W = 640, H = 480;
  Image img(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      float u = x / static_cast<float>(W), v = y / static_cast<float>(H);
      float n = Fbm(u * 6, v * 4.5f, 5, 6, 2101);
      float f1, f2;
      int id;
      Cells(u * 7, v * 5, 7, 2102, f1, f2, id);
      float joint = Smooth(0.03f, 0.1f, f2 - f1);
      float vig = 1 - 0.7f * std::pow(std::hypot(u - 0.5f, (v - 0.5f) * 0.8f) * 1.6f, 2.0f);
      Color c = Mix(Hex(0x1a1512), Hex(0x4a4038), 0.35f + 0.5f * n);
      c = c * (0.45f + 0.55f * joint) * std::max(vig, 0.15f);
      // Warm glow behind the title.
      float glow = std::exp(-std::pow((u - 0.5f) / 0.35f, 2.0f) - std::pow((v - 0.42f) / 0.16f, 2.0f));
      c = c + Hex(0xff9a3a) * (0.18f * glow);
      c.a = 1;
      img.at(x, y) = c;
    }
  Text serif(fonts.serifBold);
  GoldText(img, serif, U"Hoardel 3D", 78, W / 2.0f, H * 0.47f, true);
  // A thin gold rule and the loading line.
  for (int x = W / 2 - 150; x < W / 2 + 150; ++x) {
    float k = 1 - std::abs(x - W / 2) / 150.0f;
    img.Blend(x, static_cast<int>(H * 0.53f), GoldShade(0.8f), k);
  }
  GoldText(img, serif, U"Loading\u2026", 28, W / 2.0f, H * 0.62f, true);
  return img;
}

Image BuildLoadingCorner(int corner) {
  // Drawn for the top-left corner, then mirrored.
  const int W = 256, H = 128;
  Image tl(W, H, {0, 0, 0, 0});
  auto stroke = [&](float x, float y, float r, float lit) {
    int R = static_cast<int>(r) + 2;
    for (int dy = -R; dy <= R; ++dy)
      for (int dx = -R; dx <= R; ++dx) {
        float d = std::hypot(static_cast<float>(dx), static_cast<float>(dy));
        if (d > r + 1) continue;
        Color g = GoldShade(std::clamp(lit + 0.25f * (-dx - dy) / (r + 1), 0.0f, 1.0f));
        tl.Blend(static_cast<int>(x) + dx, static_cast<int>(y) + dy, g, Smooth(r + 1, r - 0.5f, d));
      }
  };
  // Two straight bars along the edges and a curling scroll.
  for (int x = 10; x < 240; ++x) stroke(static_cast<float>(x), 12, 3.0f * (1 - x / 300.0f), 0.75f);
  for (int y = 10; y < 118; ++y) stroke(12, static_cast<float>(y), 3.0f * (1 - y / 150.0f), 0.75f);
  for (int x = 24; x < 170; ++x) stroke(static_cast<float>(x), 24, 1.4f, 0.6f);
  for (int y = 24; y < 90; ++y) stroke(24, static_cast<float>(y), 1.4f, 0.6f);
  for (int k = 0; k < 400; ++k) {
    float t = k / 400.0f * 4.2f * kPi;
    float r = 30 * std::exp(-0.16f * t);
    stroke(48 + r * std::cos(t), 46 + r * std::sin(t), 3.2f * std::exp(-0.12f * t) + 0.6f, 0.85f);
  }
  for (int k = 0; k < 200; ++k) {
    float t = k / 200.0f;
    stroke(70 + t * 120, 44 + 10 * std::sin(t * 2 * kPi * 1.5f) * (1 - t), 2.2f * (1 - t) + 0.5f, 0.7f);
    stroke(44 + 10 * std::sin(t * 2 * kPi * 1.2f) * (1 - t), 70 + t * 45, 2.0f * (1 - t) + 0.5f, 0.7f);
  }
  stroke(12, 12, 7, 0.95f);
  Image out(W, H, {0, 0, 0, 0});
  bool flipX = corner == 0 || corner == 3, flipY = corner == 0 || corner == 1;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) out.at(x, y) = tl.at(flipX ? W - 1 - x : x, flipY ? H - 1 - y : y);
  return out;
}

Image BuildEmblem(int size) {
  Image img(size, size, Hex(0x000000));
  float c = size / 2.0f;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      float dx = (x + 0.5f - c) / c, dy = (y + 0.5f - c) / c;
      float r = std::hypot(dx, dy);
      if (r > 0.96f) continue;
      float rim = Smooth(0.74f, 0.8f, r);
      float relief = 0.55f + 0.35f * (-dx - dy) * 0.5f;
      // A coiled dragon as a spiral ridge in the field.
      float a = std::atan2(dy, dx);
      float spiral = std::sin(a * 1.0f + r * 14.0f);
      float body = r < 0.7f ? Smooth(0.55f, 0.9f, spiral) * Smooth(0.7f, 0.6f, r) : 0.0f;
      float k = std::clamp(relief + 0.3f * rim + 0.3f * body - 0.15f * (1 - rim) * (r > 0.7f ? 0.0f : 0.5f), 0.0f, 1.0f);
      Color g = GoldShade(k);
      float edge = Smooth(0.96f, 0.92f, r);
      img.at(x, y) = Mix(img.at(x, y), g, edge);
    }
  return img;
}

Image BuildTitlePicture(const Scene& scene, const RoomInfo& info, const Fonts& fonts, int w, int h, bool title) {
  // Render the hoard at twice the size and shrink for smooth edges.
  Camera cam{{-30, 105, -205}, {0, 30, 20}, 0.95f, 2.0f, 1500.0f};
  Rasterizer r(w * 2, h * 2, cam);
  std::vector<TextureFile> textures = BuildTextures();
  auto texture = [&](const std::string& n) -> const Image* {
    for (auto& t : textures)
      if (t.name == n) return &t.image;
    return nullptr;
  };
  ForEachFrame(scene.root, Mat4::Identity(), [&](const Frame& f, const Mat4& world) {
    if (!f.mesh || f.name.find("banner") != std::string::npos) return;
    const Image* tex = texture(f.mesh->texture);
    const Mesh& mesh = *f.mesh;
    r.Draw(mesh, world, [&](const Fragment& fr) {
      Color t = tex ? tex->Sample(fr.uv.x * tex->width(), fr.uv.y * tex->height()) : Color{1, 1, 1, 1};
      float l = 0.12f;
      for (Vec3 s : info.torches) {
        Vec3 d = s - fr.world;
        float dist = Length(d);
        l += 0.9f * std::max(0.2f, Dot(fr.normal, d) / dist) / (1 + (dist / 110) * (dist / 110));
      }
      Vec3 up{0, 380, 0};
      float sky = std::max(0.0f, Dot(fr.normal, Normalize(up - fr.world)));
      Color light = Hex(0xff9a3a) * l + Color{0.5f, 0.45f, 0.35f, 0} * sky;
      return Color{std::min(1.0f, t.r * light.r * 1.3f), std::min(1.0f, t.g * light.g * 1.3f), std::min(1.0f, t.b * light.b * 1.3f), 1};
    });
  });
  Image img = r.image().Resized(w, h);
  if (title) {
    Text serif(fonts.serifBold);
    GoldText(img, serif, U"Hoardel 3D", std::max(12, h / 6), w / 2.0f, h * 0.2f, true);
  }
  return img;
}

std::vector<uint8_t> EncodePackedDib(const Image& img) {
  std::vector<uint8_t> bmp = EncodeBmp(img);
  return std::vector<uint8_t>(bmp.begin() + 14, bmp.end());  // without the file header
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

std::vector<uint8_t> EncodeIconImage(const Image& img) {
  int w = img.width(), h = img.height();
  std::vector<uint8_t> out;
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(w));
  Put32(out, static_cast<uint32_t>(h * 2));  // colour rows and the mask rows
  Put16(out, 1);
  Put16(out, 32);
  Put32(out, 0);
  Put32(out, 0);
  for (int i = 0; i < 4; ++i) Put32(out, 0);
  for (int y = h - 1; y >= 0; --y)
    for (int x = 0; x < w; ++x) {
      const Color& c = img.at(x, y);
      out.push_back(ToByte(c.b));
      out.push_back(ToByte(c.g));
      out.push_back(ToByte(c.r));
      out.push_back(ToByte(c.a));
    }
  int maskStride = ((w + 31) / 32) * 4;
  for (int y = h - 1; y >= 0; --y) {
    std::vector<uint8_t> row(static_cast<size_t>(maskStride), 0);
    for (int x = 0; x < w; ++x)
      if (img.at(x, y).a < 0.5f) row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

std::vector<uint8_t> EncodeIconGroup(int size, uint32_t bytes, uint16_t id) {
  std::vector<uint8_t> out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, 1);
  out.push_back(static_cast<uint8_t>(size >= 256 ? 0 : size));
  out.push_back(static_cast<uint8_t>(size >= 256 ? 0 : size));
  out.push_back(0);
  out.push_back(0);
  Put16(out, 1);
  Put16(out, 32);
  Put32(out, bytes);
  Put16(out, id);
  return out;
}

std::string BuildSphereObj() {
  std::string s = "# Unit sphere\r\n";
  char line[96];
  const int rings = 12, segs = 16;
  for (int r = 0; r <= rings; ++r)
    for (int k = 0; k <= segs; ++k) {
      float a = kPi * r / rings - kPi / 2, b = 2 * kPi * k / segs;
      std::snprintf(line, sizeof line, "v %.5f %.5f %.5f\r\n", static_cast<double>(std::cos(a) * std::cos(b)),
                    static_cast<double>(std::sin(a)), static_cast<double>(std::cos(a) * std::sin(b)));
      s += line;
    }
  for (int r = 0; r <= rings; ++r)
    for (int k = 0; k <= segs; ++k) {
      std::snprintf(line, sizeof line, "vt %.5f %.5f\r\n", static_cast<double>(k) / segs, 1.0 - static_cast<double>(r) / rings);
      s += line;
    }
  for (int r = 0; r < rings; ++r)
    for (int k = 0; k < segs; ++k) {
      int a = r * (segs + 1) + k + 1, b = a + segs + 1;
      std::snprintf(line, sizeof line, "f %d/%d %d/%d %d/%d\r\nf %d/%d %d/%d %d/%d\r\n", a, a, b, b, b + 1, b + 1, a, a,
                    b + 1, b + 1, a + 1, a + 1);
      s += line;
    }
  return s;
}

}  // namespace mediagen
