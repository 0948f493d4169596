#include "textures.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace mediagen {

namespace {

using PixelFn = std::function<Color(float u, float v)>;  // u, v in [0, 1)

Image Paint(int w, int h, const PixelFn& fn) {
  Image img(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.at(x, y) = fn((x + 0.5f) / w, (y + 0.5f) / h);
  return img;
}

float Smooth(float e0, float e1, float x) {
  float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3 - 2 * t);
}

Color Shade(Color c, float k) { return {c.r * k, c.g * k, c.b * k, c.a}; }

// Masonry: rows of blocks with staggered joints. Sizes in texture fractions.
struct Block {
  float jointDist;  // distance to the nearest joint, in the units of bw/bh
  int id;
  float lu, lv;     // position inside the block 0..1
};
Block Masonry(float u, float v, int cols, int rows, float stagger, uint32_t seed) {
  float y = v * rows;
  int row = static_cast<int>(std::floor(y));
  float x = u * cols + (row % 2 ? stagger : 0.0f);
  // Jitter the vertical joints per row.
  x += (Noise2(static_cast<float>(row) * 7.3f, 0.5f, 0, seed) - 0.5f) * 0.3f;
  int col = static_cast<int>(std::floor(x));
  float fx = x - static_cast<float>(col), fy = y - static_cast<float>(row);
  float dx = std::min(fx, 1 - fx), dy = std::min(fy, 1 - fy);
  Block b;
  b.jointDist = std::min(dx, dy);
  int wc = ((col % cols) + cols) % cols;
  b.id = (row % rows) * 131 + wc * 17;
  b.lu = fx;
  b.lv = fy;
  return b;
}

Color StoneColor(float u, float v, int id, uint32_t seed, Color base, float var) {
  float n = Fbm(u * 8, v * 8, 5, 8, seed);
  float tint = (static_cast<float>((id * 2654435761u) >> 24) / 255.0f - 0.5f) * var;
  Color c = Shade(base, 0.75f + 0.5f * n + tint);
  float warm = Fbm(u * 3 + 5, v * 3, 3, 3, seed + 9);
  c.r *= 1.0f + 0.08f * (warm - 0.5f);
  c.b *= 1.0f - 0.1f * (warm - 0.5f);
  return c;
}

Image Brick(int w, int h, float unitsW, float unitsH, uint32_t seed) {
  // Bricks 22 x 9 units; mortar about 1.2 units.
  int cols = std::max(1, static_cast<int>(std::round(unitsW / 22.0f)));
  int rows = std::max(1, static_cast<int>(std::round(unitsH / 9.0f)));
  return Paint(w, h, [=](float u, float v) {
    float y = v * rows;
    int row = static_cast<int>(y);
    float x = u * cols + (row % 2 ? 0.5f : 0.0f);
    int col = static_cast<int>(std::floor(x));
    float fx = x - std::floor(x), fy = y - static_cast<float>(row);
    float jx = std::min(fx, 1 - fx) * (unitsW / cols), jy = std::min(fy, 1 - fy) * (unitsH / rows);
    float joint = std::min(jx, jy);
    int id = row * 977 + ((col % cols) + cols) % cols * 131;
    float edgeNoise = Fbm(u * 40, v * 40, 3, 40, seed + 4) * 0.9f;
    float mortar = 1 - Smooth(0.5f, 1.3f, joint + edgeNoise - 0.3f);
    Color brick = StoneColor(u, v, id, seed, Hex(0x7a6a5a), 0.35f);
    float warm = static_cast<float>((static_cast<uint32_t>(id) * 2246822519u) >> 28) / 15.0f;
    brick = Mix(brick, Hex(0x8a5c44), 0.25f * warm);
    float pits = Fbm(u * 60, v * 60, 2, 60, seed + 2);
    brick = Shade(brick, 0.85f + 0.3f * pits);
    // Rounded edges darken.
    brick = Shade(brick, 0.8f + 0.2f * Smooth(0.0f, 2.0f, joint));
    Color mort = Shade(Hex(0x2e2822), 0.8f + 0.4f * Fbm(u * 30, v * 30, 3, 30, seed + 5));
    return Mix(brick, mort, mortar);
  });
}

Image Grad(Image img) {
  // Darker, damp band at the base (bottom of the texture).
  for (int y = 0; y < img.height(); ++y) {
    float v = (y + 0.5f) / img.height();
    for (int x = 0; x < img.width(); ++x) {
      float u = (x + 0.5f) / img.width();
      float band = Smooth(0.62f, 0.95f, v + 0.04f * (Fbm(u * 6, v * 2, 3, 6, 91) - 0.5f));
      img.at(x, y) = Shade(img.at(x, y), 1.0f - 0.55f * band);
      img.at(x, y) = Mix(img.at(x, y), Hex(0x1c1a16), 0.25f * band);
    }
  }
  return img;
}

Image Hallway() {
  // The passage wall: 500 x 200 units; a dark arched passage in the bay at u = 0.625.
  Image img = Grad(Brick(1024, 512, 500, 200, 31));
  const float cu = 0.625f, halfW = 46.0f / 500.0f, top = 1.0f - 130.0f / 200.0f, spring = 1.0f - 92.0f / 200.0f;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      float u = (x + 0.5f) / img.width(), v = (y + 0.5f) / img.height();
      float du = (u - cu) / halfW;  // -1..1 across the opening
      float archV = v >= spring ? 1.0f : 0.0f;
      // Round arch: inside when du^2 + ((spring - v) / (spring - top))^2 < 1 above the spring.
      float dv = (spring - v) / (spring - top);
      bool inside = std::abs(du) < 1 && (v >= spring || du * du + dv * dv < 1);
      (void)archV;
      float frame = 0;
      float du2 = std::abs(du) * 1.16f, dv2 = (spring - v) / ((spring - top) * 1.16f);
      bool inFrame = du2 < 1.0f + 0.16f && (v >= spring ? std::abs(du) < 1.16f : du2 * du2 + dv2 * dv2 < 1.0f);
      if (inFrame && !inside) frame = 1;
      if (inside) {
        // Depth: darker toward the middle, a glimpse of steps going down.
        float depth = 1 - std::abs(du);
        float steps = (v > 0.78f) ? 0.12f * (std::fmod((v - 0.78f) * 40.0f, 1.0f) < 0.5f ? 1.0f : 0.6f) : 0.0f;
        Color dark = Shade(Hex(0x1a1410), 0.25f + 0.6f * (1 - depth) * (1 - depth) + steps);
        img.at(x, y) = Mix(img.at(x, y), dark, 0.97f);
      } else if (frame > 0) {
        // Dressed stone voussoirs around the opening.
        float ang = std::atan2(spring - v, du * halfW * 2.5f);
        int seg = static_cast<int>(ang * 6);
        Color stone = StoneColor(u, v, seg * 31 + 5, 77, Hex(0x8a7c6c), 0.25f);
        float joint = std::abs(std::fmod(ang * 6, 1.0f) - 0.5f);
        img.at(x, y) = joint > 0.45f ? Hex(0x2e2822) : stone;
      }
    }
  return img;
}

Image Flagstones() {
  // Irregular large slabs from a cellular pattern, worn and cracked.
  return Paint(512, 512, [](float u, float v) {
    float f1, f2;
    int id;
    float wu = u + 0.03f * (Fbm(u * 4, v * 4, 3, 4, 3) - 0.5f), wv = v + 0.03f * (Fbm(u * 4 + 9, v * 4, 3, 4, 4) - 0.5f);
    Cells(wu * 4, wv * 4, 4, 1234, f1, f2, id);
    float edge = f2 - f1;
    Color slab = StoneColor(u, v, id, 17, Hex(0x6e6256), 0.3f);
    float wear = Fbm(u * 16, v * 16, 4, 16, 8);
    slab = Shade(slab, 0.75f + 0.45f * wear);
    // Cracks.
    float crack = std::abs(Fbm(u * 10, v * 10, 4, 10, 55) - 0.5f);
    if (crack < 0.012f) slab = Shade(slab, 0.55f);
    float joint = 1 - Smooth(0.02f, 0.08f, edge);
    return Mix(slab, Hex(0x241f1a), joint);
  });
}

// The vault: rough hewn rock in warped strata, split by thin irregular fractures and lit
// from one side by its own relief (no cells, which read as cobbles).
Image Rock() {
  return Paint(256, 256, [](float u, float v) {
    auto height = [](float u, float v) {
      float wu = u + 0.07f * (Fbm(u * 4, v * 4, 4, 4, 310) - 0.5f);
      float wv = v + 0.07f * (Fbm(u * 4 + 7, v * 4, 4, 4, 311) - 0.5f);
      float strata = 0.5f + 0.5f * std::sin((wv * 5 + 0.5f * Fbm(wu * 2, wv * 2, 3, 2, 312)) * 2 * kPi);
      float n = Fbm(wu * 8, wv * 8, 6, 8, 301), grain = Fbm(wu * 24, wv * 24, 3, 24, 315);
      float ridge = 1 - std::abs(2 * Fbm(wu * 5, wv * 5, 4, 5, 313) - 1);
      return 0.6f * n + 0.12f * strata + 0.2f * grain - 0.25f * Smooth(0.965f, 0.995f, ridge);
    };
    const float e = 1.0f / 256;
    float h = height(u, v);
    float slope = (height(u - e, v - e) - height(u + e, v + e)) * 14.0f;
    float tone = Fbm(u * 3, v * 3, 3, 3, 314);
    Color c = Mix(Hex(0x4a4038), Hex(0x7a6c5c), std::clamp(0.1f + 0.8f * h + 0.4f * (tone - 0.5f), 0.0f, 1.0f));
    return Shade(c, std::clamp(0.85f + slope, 0.45f, 1.35f));
  });
}

Image ArchStone() {
  return Paint(256, 256, [](float u, float v) {
    float y = v * 4;
    int row = static_cast<int>(y);
    float x = u * 2 + (row % 2 ? 0.5f : 0.0f);
    float fx = x - std::floor(x), fy = y - static_cast<float>(row);
    float joint = std::min(std::min(fx, 1 - fx) * 2.0f, std::min(fy, 1 - fy));
    int id = row * 7 + static_cast<int>(std::floor(x)) * 3;
    Color c = StoneColor(u, v, id, 401, Hex(0x8a7c6c), 0.2f);
    c = Shade(c, 0.75f + 0.25f * Smooth(0.0f, 0.12f, joint));
    return joint < 0.025f ? Hex(0x2e2822) : c;
  });
}

Image Bars() {
  return Paint(128, 128, [](float u, float v) {
    float n = Fbm(u * 8, v * 8, 5, 8, 501);
    Color iron = Shade(Hex(0x3a3a40), 0.7f + 0.6f * n);
    float rust = Smooth(0.55f, 0.75f, Fbm(u * 5 + 3, v * 5, 4, 5, 502));
    return Mix(iron, Hex(0x5a3220), 0.6f * rust);
  });
}

Image Wood(uint32_t seed, int planks, bool bands) {
  return Paint(256, 256, [=](float u, float v) {
    float p = v * planks;
    int plank = static_cast<int>(p);
    float fp = p - static_cast<float>(plank);
    float grain = std::sin((u * 40 + 6 * Fbm(u * 3, v * planks, 4, 3, seed + static_cast<uint32_t>(plank))) * 3.0f) * 0.5f + 0.5f;
    Color wood = Mix(Hex(0x5a3a22), Hex(0x7a5232), 0.5f * grain);
    wood = Shade(wood, 0.8f + 0.3f * Fbm(u * 10, v * 10, 3, 10, seed + 7));
    wood = Shade(wood, 0.7f + 0.3f * Smooth(0.0f, 0.08f, std::min(fp, 1 - fp)));
    if (bands) {
      float bu = std::min(std::abs(u - 0.22f), std::abs(u - 0.78f));
      if (bu < 0.045f) {
        Color iron = Shade(Hex(0x3a3a40), 0.7f + 0.5f * Fbm(u * 30, v * 30, 3, 30, seed + 8));
        // Rivets.
        float rv = std::fmod(v * 8, 1.0f) - 0.5f, ru = (bu - 0.0f) / 0.045f;
        if (rv * rv + ru * ru * 0.2f < 0.02f) iron = Shade(iron, 1.8f);
        wood = iron;
      }
      // Lock plate in the middle of the front.
      if (std::abs(u - 0.5f) < 0.07f && v > 0.08f && v < 0.3f) {
        wood = Shade(Hex(0xb8860b), 0.6f + 0.4f * Fbm(u * 20, v * 20, 3, 20, seed + 9));
        float ku = (u - 0.5f) / 0.07f, kv = (v - 0.19f) / 0.11f;
        if (ku * ku + kv * kv < 0.12f) wood = Hex(0x100c08);
      }
    }
    return wood;
  });
}

}  // namespace

Color GoldShade(float k) {
  // k in 0..1: shadow, mid, highlight.
  // Yellow gold: the firelight that falls on it is orange, so the texture leans yellow and
  // its highlights pale.
  if (k < 0.5f) return Mix(Hex(0x5e420a), Hex(0xceac22), k * 2);
  if (k < 0.85f) return Mix(Hex(0xceac22), Hex(0xf4da5a), (k - 0.5f) / 0.35f);
  return Mix(Hex(0xf4da5a), Hex(0xfff4b0), (k - 0.85f) / 0.15f);
}

namespace {

Image Coins() {
  // Dense overlapping coins: random discs painted back to front, each with a rim and a relief.
  Image img(256, 256, Hex(0x3a2806));
  Rng rng(601);
  for (int k = 0; k < 420; ++k) {
    float cx = rng.Uniform() * 256, cy = rng.Uniform() * 256, r = rng.Range(9, 15);
    float tilt = rng.Range(0.55f, 1.0f), ang = rng.Range(0, kPi);
    float light = rng.Range(0.35f, 1.0f);
    float ca = std::cos(ang), sa = std::sin(ang);
    int R = static_cast<int>(r) + 2;
    for (int dy = -R; dy <= R; ++dy)
      for (int dx = -R; dx <= R; ++dx) {
        float lx = dx * ca + dy * sa, ly = (-dx * sa + dy * ca) / tilt;
        float d = std::sqrt(lx * lx + ly * ly) / r;
        if (d > 1.0f) continue;
        int x = ((static_cast<int>(cx) + dx) % 256 + 256) % 256, y = ((static_cast<int>(cy) + dy) % 256 + 256) % 256;
        float rim = Smooth(0.78f, 0.86f, d) * (1 - Smooth(0.93f, 1.0f, d));
        float relief = 0.5f + 0.5f * std::sin(lx * 0.9f) * std::cos(ly * 0.8f) * (d < 0.6f ? 1.0f : 0.0f);
        float sheen = light * (0.7f + 0.3f * (-lx - ly) / (r * 1.4f));
        float k2 = std::clamp(sheen * (0.75f + 0.25f * relief) + 0.25f * rim, 0.0f, 1.0f);
        img.at(x, y) = GoldShade(k2);
        if (d > 0.96f) img.at(x, y) = Shade(img.at(x, y), 0.5f);
      }
  }
  return img;
}

Image EngravedGold(uint32_t seed, int rings, bool gems) {
  return Paint(256, 256, [=](float u, float v) {
    float dx = u - 0.5f, dy = v - 0.5f;
    float r = std::sqrt(dx * dx + dy * dy) * 2, a = std::atan2(dy, dx);
    float n = Fbm(u * 12, v * 12, 4, 12, seed);
    float k = 0.55f + 0.35f * n;
    float ring = std::fmod(r * static_cast<float>(rings), 1.0f);
    if (ring < 0.08f) k -= 0.3f;
    if (ring > 0.5f && ring < 0.56f) k += 0.25f;
    // Leaf scrolls.
    float scroll = std::sin(a * 12 + r * 18) * std::sin(r * 30);
    if (r > 0.45f && r < 0.85f && scroll > 0.7f) k += 0.2f;
    Color c = GoldShade(std::clamp(k, 0.0f, 1.0f));
    if (gems) {
      float ga = std::fmod(a / (2 * kPi) * 8 + 8, 1.0f) - 0.5f, gr = (r - 0.7f) * 6;
      if (ga * ga * 4 + gr * gr < 0.08f) c = Mix(Hex(0x8a0a1a), Hex(0xff5060), 0.5f + 0.5f * (-ga));
    }
    return c;
  });
}

Image PlateTex() {
  // A polished gold disc: a smooth dished centre with a broad sheen, an engraved band of
  // running scrolls round the rim between two grooves, a bright rolled edge.
  return Paint(256, 256, [](float u, float v) {
    float dx = u - 0.5f, dy = v - 0.5f;
    float r = std::sqrt(dx * dx + dy * dy) * 2, a = std::atan2(dy, dx);
    float n = Fbm(u * 16, v * 16, 3, 16, 1804);
    // Polished metal mirrors the dark room with a bright band across it.
    float band = std::exp(-(u + v - 0.82f) * (u + v - 0.82f) / 0.012f);
    float spot = std::exp(-((u - 0.36f) * (u - 0.36f) + (v - 0.38f) * (v - 0.38f)) / 0.008f);
    float k = 0.22f + 0.05f * n + 0.18f * (1 - r) + 0.42f * band + 0.3f * spot;
    auto groove = [&](float at, float w) { return Smooth(w, 0.0f, std::abs(r - at)); };
    if (r > 0.7f && r < 0.95f) {
      float t = (r - 0.7f) / 0.25f;
      float scroll = std::sin(a * 24 + 5 * std::sin(t * kPi * 2)) * std::sin(t * kPi);
      k = 0.5f + 0.05f * n + (scroll > 0.35f ? 0.25f : (scroll < -0.35f ? -0.25f : 0.0f));
    }
    k -= 0.35f * (groove(0.7f, 0.018f) + groove(0.95f, 0.018f));
    if (r > 0.965f) k = 0.9f;
    return GoldShade(std::clamp(k, 0.0f, 1.0f));
  });
}

Image Steel(uint32_t seed, bool rivets) {
  return Paint(256, 256, [=](float u, float v) {
    float n = Fbm(u * 10, v * 10, 5, 10, seed);
    Color c = Shade(Hex(0x8a8c94), 0.55f + 0.5f * n);
    float brushed = 0.9f + 0.1f * std::sin(v * 400 + 5 * Fbm(u * 4, v * 4, 2, 4, seed + 1));
    c = Shade(c, brushed);
    float rust = Smooth(0.58f, 0.72f, Fbm(u * 6 + 2, v * 6, 4, 6, seed + 3));
    c = Mix(c, Hex(0x6a3a1e), 0.65f * rust);
    float plate = std::fmod(v * 5, 1.0f);
    if (plate < 0.04f) c = Shade(c, 0.45f);
    if (rivets) {
      float ru = std::fmod(u * 10, 1.0f) - 0.5f, rv = plate - 0.14f;
      if (ru * ru + rv * rv * 4 < 0.02f) c = Shade(Hex(0xb0b0b8), 0.9f + 0.2f * n);
    }
    return c;
  });
}

// The dragon statue's patinated bronze, in upright stripes that the model's parts pick by u:
// scales (0 - 0.75), wing membrane (to 0.875), polished bronze for horns and claws (to 0.9375)
// and the amber of the eyes. Each stripe tiles in v.
Image Scales() {
  return Paint(512, 512, [](float u, float v) {
    const Color verdigris = Hex(0x4f8c76), deepPatina = Hex(0x244a40);
    const Color darkBronze = Hex(0x4a3218), bronze = Hex(0xa07a40), bright = Hex(0xe0bc78);
    if (u < 0.75f) {
      float su = u / 0.75f;
      float y = v * 24;
      int row = static_cast<int>(y);
      float x = su * 18 + (row % 2 ? 0.5f : 0.0f);
      float fx = x - std::floor(x) - 0.5f, fy = y - static_cast<float>(row);
      // Each scale a rounded plate, its free edge toward the tail (low v), overlapping the row below.
      float d = std::sqrt(fx * fx * 1.6f + (fy - 0.25f) * (fy - 0.25f) * 0.8f);
      float dome = Smooth(0.62f, 0.05f, d);
      float n = Fbm(su * 8, v * 8, 4, 8, 701);
      Color c = Mix(darkBronze, bronze, 0.25f + 0.6f * dome + 0.3f * (n - 0.5f));
      // Worn bright where hands and time rubbed the crowns of the scales.
      c = Mix(c, bright, 0.55f * Smooth(0.25f, 0.05f, d) * Smooth(0.45f, 0.7f, n));
      // Patina fills the seams and spreads in blotches.
      float blotch = Smooth(0.45f, 0.75f, Fbm(su * 4 + 3, v * 4, 4, 4, 702));
      float seam = Smooth(0.4f, 0.66f, d);
      c = Mix(c, Mix(verdigris, deepPatina, 0.6f * seam), std::min(1.0f, 0.75f * seam + 0.45f * blotch * (1 - dome)));
      if (d > 0.6f && d < 0.7f) c = Shade(c, 0.55f);
      return c;
    }
    if (u < 0.875f) {
      // Membrane: thin cast bronze with fine wrinkles and a blush of patina.
      float su = (u - 0.75f) / 0.125f;
      float n = Fbm(su * 4, v * 8, 4, 4, 703);
      float wrinkle = 0.5f + 0.5f * std::sin((v * 22 + 0.3f * std::sin(su * 2 * kPi)) * 2 * kPi);
      Color c = Mix(Hex(0x5a4226), Hex(0x8a6a3c), 0.3f + 0.5f * n + 0.15f * wrinkle);
      return Mix(c, verdigris, 0.45f * Smooth(0.5f, 0.8f, Fbm(su * 2 + 7, v * 4, 3, 2, 704)));
    }
    if (u < 0.9375f) {
      float n = Fbm(u * 16, v * 8, 3, 8, 705);
      return Mix(bronze, bright, 0.55f + 0.45f * n);
    }
    // The eyes: amber with an upright slit, facing out on either side of the head.
    float fu = (u - 0.9375f) / 0.0625f;
    Color c = Mix(Hex(0xffc040), Hex(0xff7010), std::abs(v * 2 - 1));
    if (std::abs(std::abs(fu - 0.5f) - 0.25f) < 0.04f) c = Hex(0x1a0c04);
    return c;
  });
}

Image Sooty() {
  Image img = Paint(256, 256, [](float u, float v) {
    Block b = Masonry(u, v, 3, 5, 0.5f, 801);
    Color c = StoneColor(u, v, b.id, 802, Hex(0x8a7c6c), 0.25f);
    if (b.jointDist < 0.035f) c = Hex(0x2e2822);
    float soot = Smooth(0.3f, 0.9f, (1 - v) * 0.5f + Fbm(u * 4, v * 4, 4, 4, 803) * 0.6f);
    return Mix(c, Hex(0x0e0b09), 0.75f * soot);
  });
  return img;
}

Image Carved() {
  return Paint(256, 256, [](float u, float v) {
    float n = Fbm(u * 10, v * 10, 4, 10, 901);
    Color stone = Shade(Hex(0x9a8a76), 0.7f + 0.4f * n);
    // Scrolls: a running vine pattern in relief.
    float wave = std::sin(u * 2 * kPi * 3) * 0.18f + 0.5f;
    float d = std::abs(v - wave);
    float leaf = std::sin(u * 2 * kPi * 12) * std::sin(v * 2 * kPi * 6);
    float relief = Smooth(0.06f, 0.02f, d) + 0.4f * Smooth(0.6f, 0.9f, leaf) * Smooth(0.35f, 0.15f, d);
    stone = Shade(stone, 0.7f + 0.5f * relief);
    if (v < 0.06f || v > 0.94f) stone = Shade(stone, 1.15f);
    if ((v > 0.06f && v < 0.08f) || (v > 0.92f && v < 0.94f)) stone = Shade(stone, 0.5f);
    return stone;
  });
}

// Heraldry for the shields: field, division, charge, metal rim.
Image Heraldry(int style, bool round) {
  const Color fields[3][2] = {{Hex(0x7a1010), Hex(0xd8b040)}, {Hex(0x14306a), Hex(0xc8c8c0)}, {Hex(0x1e5a2a), Hex(0xd8b040)}};
  return Paint(256, 256, [=](float u, float v) {
    float x = u * 2 - 1, y = v * 2 - 1;
    Color a = fields[style][0], b = fields[style][1];
    Color c = a;
    if (style == 0) c = (std::abs(y + 0.2f - std::abs(x) * 0.9f) < 0.18f) ? b : a;  // chevron
    if (style == 1) c = (std::abs(x) < 0.16f || std::abs(y + 0.1f) < 0.16f) ? b : a;  // cross
    if (style == 2) c = (std::abs(x + y) < 0.25f) ? b : a;                           // bend
    // A central boss ring.
    float r = std::sqrt(x * x + y * y);
    if (round && r < 0.18f) c = Shade(Hex(0xb8b8c0), 1.0f - r);
    // Worn paint and scratches.
    float n = Fbm(u * 12, v * 12, 5, 12, 1000u + static_cast<uint32_t>(style));
    c = Shade(c, 0.7f + 0.45f * n);
    float scratch = std::abs(std::sin((u * 3 + v * 7) * 40 + 9 * Fbm(u * 2, v * 2, 2, 2, 5)));
    if (scratch > 0.995f) c = Shade(c, 1.6f);
    float edge = round ? r : std::max(std::abs(x), std::abs(y) * 0.95f);
    if (edge > 0.88f) c = Shade(Hex(0x6a6a70), 0.6f + 0.6f * n);
    return c;
  });
}

Image SwordTex() {
  return Paint(128, 128, [](float u, float v) {
    if (u < 0.5f) {
      float across = std::abs(u - 0.25f) / 0.25f;
      float n = Fbm(u * 10, v * 20, 3, 10, 1101);
      Color steel = Shade(Hex(0xc8ccd4), 0.65f + 0.45f * (1 - across) * 0.6f + 0.2f * n);
      if (across < 0.12f) steel = Shade(steel, 0.7f);  // fuller
      return steel;
    }
    if (v > 0.5f) {
      float wrap = std::fmod((u + v) * 16, 1.0f);
      return Shade(Hex(0x4a2a16), 0.6f + 0.5f * Smooth(0.0f, 0.5f, wrap));
    }
    return Shade(Hex(0xb8860b), 0.7f + 0.4f * Fbm(u * 10, v * 10, 3, 10, 1102));
  });
}

Image TorchTex() {
  return Paint(128, 128, [](float u, float v) {
    if (u < 0.5f) {
      Color iron = Shade(Hex(0x3a3a40), 0.6f + 0.6f * Fbm(u * 12, v * 12, 4, 12, 1201));
      float soot = Smooth(0.5f, 0.0f, v);
      return Mix(iron, Hex(0x120e0c), 0.5f * soot);
    }
    float grain = std::sin((v * 30 + 4 * Fbm(u * 3, v * 3, 3, 3, 1202)) * 4) * 0.5f + 0.5f;
    if (v > 0.9375f) {
      // The heart of the fire bed: glowing ash, yellow-white to orange (the last block row).
      return Mix(Hex(0xff8a20), Hex(0xffe6a0), Fbm(u * 24, v * 24, 3, 24, 1204));
    }
    if (v > 0.88f) {
      // Glowing coals: bright cracks in dark crust (the embers of the hearth sample here).
      float heat = Smooth(0.35f, 0.8f, Fbm(u * 24, v * 24, 4, 24, 1203));
      return Mix(Hex(0x3a0c04), Hex(0xffb040), heat);
    }
    return Mix(Hex(0x4a2e18), Hex(0x7a5232), grain * 0.6f);
  });
}

// Soft round sprite with alpha, used for flames, smoke and halos.
Image FlameSprite() {
  return Paint(64, 64, [](float u, float v) {
    float x = u * 2 - 1, y = v * 2 - 1;
    float r = std::sqrt(x * x + y * y);
    float a = std::pow(std::max(0.0f, 1 - r), 1.6f);
    a *= 0.85f + 0.15f * Fbm(u * 4, v * 4, 3, 4, 1301);
    Color c = Mix(Hex(0xffb060), Hex(0xfff4d8), Smooth(0.6f, 0.0f, r));
    c.a = std::clamp(a, 0.0f, 1.0f);
    return c;
  });
}

Image RayTex() {
  return Paint(64, 256, [](float u, float v) {
    float across = std::abs(u - 0.5f) * 2;
    float core = std::pow(std::max(0.0f, 1 - across), 1.8f);
    float streaks = 0.75f + 0.25f * Fbm(u * 8, 0.3f, 3, 8, 1401);
    float along = Smooth(0.0f, 0.08f, v) * (1 - Smooth(0.55f, 1.0f, v) * 0.85f);
    float k = core * streaks * along;
    return Color{0.95f * k, 0.92f * k, 0.85f * k, 1};
  });
}

Image GemTex(Color deep, Color bright, uint32_t seed) {
  return Paint(128, 256, [=](float u, float v) {
    float facets = std::abs(std::sin(u * 14 + 3 * Fbm(u * 2, v * 2, 2, 2, seed))) ;
    float streak = Smooth(0.85f, 1.0f, std::sin((u * 3 + v * 1.5f) * 9) * 0.5f + 0.5f);
    float n = Fbm(u * 6, v * 6, 4, 6, seed + 1);
    Color c = Mix(deep, bright, 0.25f + 0.45f * facets * n + 0.5f * streak);
    c.a = 0.84f + 0.15f * (facets * 0.5f + streak * 0.5f);
    return c;
  });
}

Image BannerTex() {
  // Deep red cloth with a gold border and a rampant dragon; a swallowtail cut at the bottom.
  Image img = Paint(128, 256, [](float u, float v) {
    float weave = 0.9f + 0.1f * (std::sin(u * 256 * kPi) * std::sin(v * 512 * kPi));
    float fold = 0.85f + 0.15f * Fbm(u * 3, v * 6, 3, 3, 1501);
    Color cloth = Shade(Hex(0x7a1010), weave * fold);
    float border = std::min({u, 1 - u, v}) ;
    if (border < 0.06f && border > 0.035f) cloth = GoldShade(0.6f + 0.3f * Fbm(u * 20, v * 20, 2, 20, 1502));
    // Alpha: swallowtail at the bottom, eyelets at the top.
    float cut = 0.86f + 0.12f * std::abs(u - 0.5f) * 2;
    cloth.a = v < cut ? 1.0f : 0.0f;
    if (v > cut - 0.035f && v < cut - 0.015f) cloth = GoldShade(0.7f);
    return cloth;
  });
  // The emblem: a rampant dragon in gold with a dark outline, a filled silhouette (bat wing,
  // arrow-tipped tail, horned head) that reads from across the room. Drawn in banner units
  // (40 wide, 96 long, y down) so that the cloth's stretch does not distort it.
  struct Capsule {
    Vec2 a, b;
    float ra, rb;
  };
  auto chain = [](std::vector<Vec2> p, std::vector<float> r) {
    std::vector<Capsule> c;
    for (size_t i = 0; i + 1 < p.size(); ++i) c.push_back({p[i], p[i + 1], r[i], r[i + 1]});
    return c;
  };
  std::vector<Capsule> limbs;
  auto add = [&](std::vector<Capsule> c) { limbs.insert(limbs.end(), c.begin(), c.end()); };
  add(chain({{-1, 38}, {-4, 31}, {-3, 25}, {-6, 21}}, {3.4f, 2.7f, 2.3f, 2.2f}));                  // neck
  add(chain({{-5, 19}, {-2.5f, 15.5f}, {-0.5f, 14.2f}}, {0.9f, 0.55f, 0.2f}));                        // horn
  add(chain({{3, 55}, {8, 62}, {6, 70}, {-1, 72.5f}, {-5, 68.5f}, {-4.2f, 64.5f}}, {3.2f, 2.4f, 1.8f, 1.4f, 1.0f, 0.7f}));
  add(chain({{1, 53}, {-3, 60}, {-6, 66}, {-9.5f, 67}}, {3.0f, 2.0f, 1.3f, 0.9f}));                  // hind legs
  add(chain({{6, 54}, {9, 60}, {7, 67}, {10, 69}}, {2.8f, 2.0f, 1.3f, 0.9f}));
  add(chain({{-1, 42}, {-6, 41}, {-8.5f, 37.5f}, {-10.5f, 35.5f}}, {2.0f, 1.6f, 1.1f, 0.5f}));      // forelegs
  add(chain({{0, 45.5f}, {-5, 47.5f}, {-8.5f, 45}, {-10.5f, 43.5f}}, {1.9f, 1.4f, 1.0f, 0.5f}));
  const std::vector<Vec2> head = {{-3.5f, 18.2f}, {-8.5f, 18.6f}, {-12.5f, 20.3f}, {-13.4f, 21.8f}, {-9, 22.4f},
                                  {-12.4f, 24.6f}, {-7, 24.4f}, {-3.5f, 23.4f}};
  const std::vector<Vec2> wing = {{1, 39}, {5, 30},        {9, 22},  {13, 14.5f}, {14.8f, 19},
                                  {13.4f, 25}, {15.8f, 29}, {13, 33}, {14.6f, 38}, {10, 40},
                                  {8, 44},  {4, 45}};
  const std::vector<Vec2> arrow = {{-4.6f, 60.8f}, {-7.2f, 65.6f}, {-1.6f, 65.0f}};
  auto inPolygon = [](const std::vector<Vec2>& poly, float x, float y) {
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++)
      if ((poly[i].y > y) != (poly[j].y > y) &&
          x < (poly[j].x - poly[i].x) * (y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x)
        in = !in;
    return in;
  };
  auto segment = [](Vec2 a, Vec2 b, float x, float y, float& t) {
    float dx = b.x - a.x, dy = b.y - a.y;
    t = std::clamp(((x - a.x) * dx + (y - a.y) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
    float ex = a.x + dx * t - x, ey = a.y + dy * t - y;
    return std::sqrt(ex * ex + ey * ey);
  };
  auto inside = [&](float x, float y) {
    // The body, an ellipse leaning back.
    float c = std::cos(0.35f), sn = std::sin(0.35f), bx = x - 2, by = y - 46;
    float ex = (bx * c + by * sn) / 5.8f, ey = (-bx * sn + by * c) / 10.5f;
    if (ex * ex + ey * ey < 1) return true;
    for (const Capsule& k : limbs) {
      float t, d = segment(k.a, k.b, x, y, t);
      if (d < k.ra + (k.rb - k.ra) * t) return true;
    }
    return inPolygon(head, x, y) || inPolygon(wing, x, y) || inPolygon(arrow, x, y);
  };
  auto fingerLine = [&](float x, float y) {
    float t, d = 9;
    for (Vec2 tip : {Vec2{13, 14.5f}, Vec2{15.8f, 29}, Vec2{14.6f, 38}}) d = std::min(d, segment({5, 36}, tip, x, y, t));
    return d;
  };
  const float sx = 40.0f / 128, sy = 96.0f / 256;  // banner units per texel
  for (int py = 0; py < 220; ++py)
    for (int px = 8; px < 120; ++px) {
      float cover = 0, ring = 0;
      for (int k = 0; k < 9; ++k) {
        float x = (static_cast<float>(px) + (static_cast<float>(k % 3) + 0.5f) / 3 - 64) * sx;
        float y = (static_cast<float>(py) + (static_cast<float>(k / 3) + 0.5f) / 3) * sy;
        if (inside(x, y)) cover += 1.0f / 9;
        else if (inside(x - 0.55f, y) || inside(x + 0.55f, y) || inside(x, y - 0.55f) || inside(x, y + 0.55f)) ring += 1.0f / 9;
      }
      if (cover + ring <= 0) continue;
      float x = (static_cast<float>(px) + 0.5f - 64) * sx, y = (static_cast<float>(py) + 0.5f) * sy;
      // Light from the upper left: bright where the shape ends below-right of a point, dark
      // where it ends above-left.
      float k = 0.62f + 0.18f * Fbm(x * 0.3f, y * 0.3f, 3, 64, 1503);
      if (!inside(x - 0.8f, y - 0.8f)) k += 0.25f;
      if (!inside(x + 0.8f, y + 0.8f)) k -= 0.3f;
      if (fingerLine(x, y) < 0.35f) k -= 0.3f;
      Color g = GoldShade(std::clamp(k, 0.0f, 1.0f));
      Color out = Mix(img.at(px, py), Hex(0x2a0a04), std::min(1.0f, ring + cover));
      Color c = Mix(out, g, cover);
      c.a = img.at(px, py).a;
      img.at(px, py) = c;
    }
  // The eye.
  for (int py = 50; py < 60; ++py)
    for (int px = 40; px < 50; ++px) {
      float x = (static_cast<float>(px) + 0.5f - 64) * sx, y = (static_cast<float>(py) + 0.5f) * sy;
      float d = std::sqrt((x + 6.8f) * (x + 6.8f) + (y - 20.6f) * (y - 20.6f));
      if (d < 0.75f) img.at(px, py) = Mix(img.at(px, py), Hex(0x2a0a04), Smooth(0.75f, 0.45f, d));
    }
  return img;
}

Image LogoBitmap() {
  return Paint(96, 52, [](float u, float v) {
    float x = u * 2 - 1, y = v * 2 - 1;
    float r = std::sqrt(x * x * 0.3f + y * y);
    Color c = Mix(Hex(0x1a1410), Hex(0x3a2a1a), 1 - r);
    float ring = std::abs(r - 0.6f);
    if (ring < 0.06f) c = GoldShade(0.8f);
    return c;
  });
}

}  // namespace

std::vector<TextureFile> BuildTextures() {
  std::vector<TextureFile> t;
  auto jpg = [&](const char* n, Image img) { t.push_back({n, TexFormat::Jpeg, std::move(img)}); };
  t.push_back({"banner.dds", TexFormat::Dds, BannerTex()});
  t.push_back({"giantgem.dds", TexFormat::Dds, GemTex(Hex(0x2214c4), Hex(0x7c80ff), 1601)});
  t.push_back({"giantgem_green.dds", TexFormat::Dds, GemTex(Hex(0x06702c), Hex(0x5cf08c), 1602)});
  t.push_back({"flame.tga", TexFormat::Tga, FlameSprite()});
  jpg("arch.jpg", ArchStone());
  jpg("bars.jpg", Bars());
  jpg("big_shield.jpg", Heraldry(0, false));
  jpg("big_shield2.jpg", Heraldry(1, false));
  jpg("big_shield3.jpg", Heraldry(2, false));
  jpg("brick_wall01.jpg", Brick(512, 512, 125, 125, 21));
  jpg("brick_wall01_grad.jpg", Grad(Brick(512, 512, 125, 200, 22)));
  jpg("brick_wall01_hway.jpg", Hallway());
  jpg("chest.jpg", Wood(1701, 5, true));
  jpg("chest_t2.jpg", Wood(1702, 6, false));
  jpg("crown.jpg", EngravedGold(1801, 3, true));
  jpg("cup.jpg", EngravedGold(1802, 5, false));
  jpg("decor1.jpg", Carved());
  jpg("draco.jpg", Scales());
  jpg("fireplace.jpg", Sooty());
  jpg("floor2.jpg", Flagstones());
  jpg("Gold2.jpg", Coins());
  jpg("golden_plate.jpg", PlateTex());
  jpg("knight.jpg", Steel(1901, true));
  jpg("knight2.jpg", Steel(1902, false));
  jpg("ray.jpg", RayTex());
  jpg("rock.jpg", Rock());
  jpg("round_shield.jpg", Heraldry(0, true));
  jpg("round_shield2.jpg", Heraldry(1, true));
  jpg("round_shield3.jpg", Heraldry(2, true));
  jpg("sword.jpg", SwordTex());
  jpg("s_shield.jpg", Heraldry(1, true).Resized(128, 128));
  jpg("torch.jpg", TorchTex());
  return t;
}

Image BuildTexture(const std::string& name) {
  for (auto& t : BuildTextures())
    if (t.name == name) return t.image;
  return {};
}

Image BuildLogoBitmap() { return LogoBitmap(); }

}  // namespace mediagen
