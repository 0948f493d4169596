// Treasure census of the program's captures. Each frame is paired with the capture of the same
// run (same seed, --dt, --every) made from the treasure-mask media (hoardel-mediagen --mask):
// green marks gold, blue gems, cyan the chest. Prints per frame the share of treasure pixels
// (from the mask frame alone) and the hue of the gold's mid-tones in the real frame; then the
// share of frames with at least 10 % treasure and the hue quartiles over all frames.
// The two programs draw the same random numbers only as long as they play the same tracks; the
// particles can make them part at a cut, so the hue is sound only over frames checked to match
// (over a whole loop the treasure share does not depend on the order of the tracks).
//   treasure_census MASKDIR FRAME.png...
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Image {
  int w = 0, h = 0;
  std::vector<unsigned char> rgb;
};

bool ReadPng(const std::string& path, Image& img) {
  png_image p;
  std::memset(&p, 0, sizeof p);
  p.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&p, path.c_str())) return false;
  p.format = PNG_FORMAT_RGB;
  img.w = static_cast<int>(p.width);
  img.h = static_cast<int>(p.height);
  img.rgb.resize(PNG_IMAGE_SIZE(p));
  return png_image_finish_read(&p, nullptr, img.rgb.data(), 0, nullptr) != 0;
}

void Hsv(float r, float g, float b, float& h, float& s, float& v) {
  float mx = std::max({r, g, b}), mn = std::min({r, g, b}), d = mx - mn;
  v = mx;
  s = mx > 0 ? d / mx : 0;
  if (d <= 0) { h = 0; return; }
  if (mx == r) h = 60 * std::fmod((g - b) / d + 6, 6.0f);
  else if (mx == g) h = 60 * ((b - r) / d + 2);
  else h = 60 * ((r - g) / d + 4);
}

// 0 other, 1 gold, 2 gem, 3 chest.
int MaskClass(const unsigned char* m) {
  int r = m[0], g = m[1], b = m[2];
  if (g >= 16 && g > r + 10 && b < g / 2) return 1;
  if (b >= 16 && b > r + 10 && g < b / 2) return 2;
  if (g >= 16 && b >= 16 && g > r + 10 && b > r + 10) return 3;
  return 0;
}

float Quantile(std::vector<float>& v, float q) {
  if (v.empty()) return 0;
  size_t k = std::min(v.size() - 1, static_cast<size_t>(q * static_cast<float>(v.size())));
  std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
  return v[k];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s MASKDIR FRAME.png...\n", argv[0]);
    return 2;
  }
  std::string maskDir = argv[1];
  int rich = 0, counted = 0;
  std::vector<float> allMid, allHigh, allShadowV;
  for (int i = 2; i < argc; ++i) {
    std::string f = argv[i];
    Image img, mask;
    std::string name = f.substr(f.find_last_of('/') + 1);
    if (!ReadPng(f, img) || !ReadPng(maskDir + "/" + name, mask) || mask.w != img.w || mask.h != img.h) {
      std::fprintf(stderr, "cannot read %s with its mask\n", f.c_str());
      continue;
    }
    long n[4] = {0, 0, 0, 0};
    std::vector<float> mid;
    for (size_t p = 0; p < static_cast<size_t>(img.w) * img.h; ++p) {
      int c = MaskClass(&mask.rgb[3 * p]);
      ++n[c];
      if (c != 1) continue;
      const unsigned char* px = &img.rgb[3 * p];
      float h, s, v;
      Hsv(px[0] / 255.f, px[1] / 255.f, px[2] / 255.f, h, s, v);
      if (v >= 0.35f && v <= 0.8f && s >= 0.3f) mid.push_back(h);
      if (v > 0.85f) allHigh.push_back(s);
    }
    long total = n[0] + n[1] + n[2] + n[3];
    float share = static_cast<float>(n[1] + n[2] + n[3]) / static_cast<float>(total);
    allMid.insert(allMid.end(), mid.begin(), mid.end());
    ++counted;
    rich += share >= 0.10f;
    std::printf("%s treasure %5.1f%% (gold %5.1f%% gems %4.1f%% chest %4.1f%%) gold mid-tone hue %4.1f\n", f.c_str(),
                100 * share, 100.0 * n[1] / total, 100.0 * n[2] / total, 100.0 * n[3] / total, Quantile(mid, 0.5f));
  }
  std::printf("frames %d, with >=10%% treasure %d (%.0f%%); gold mid-tone hue median %.1f (quartiles %.1f..%.1f); "
              "saturation of gold highlights (v>0.85) median %.2f\n",
              counted, rich, counted ? 100.0 * rich / counted : 0.0, Quantile(allMid, 0.5f), Quantile(allMid, 0.25f),
              Quantile(allMid, 0.75f), Quantile(allHigh, 0.5f));
  return 0;
}
