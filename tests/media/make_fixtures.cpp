// Writes the deterministic input files of the test archives: clock digits (stored
// archive), a bitmap in a folder (compressed archive) and a few scene files (solid).
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::uint32_t g_seed = 12345;
std::uint8_t Rand() {
  g_seed = g_seed * 214013u + 2531011u;
  return static_cast<std::uint8_t>(g_seed >> 16);
}

bool Write(const std::string& path, const std::vector<std::uint8_t>& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<std::uint8_t> Noise(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = Rand();
  return v;
}

std::vector<std::uint8_t> Text(std::size_t n) {
  static const char* words[] = {"gold ", "dragon ", "torch ", "vault ", "gem ", "shield ", "crown ", "flame\n"};
  std::vector<std::uint8_t> v;
  while (v.size() < n) {
    const char* w = words[Rand() % 8];
    while (*w && v.size() < n) v.push_back(static_cast<std::uint8_t>(*w++));
  }
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fixtures OUTDIR\n");
    return 2;
  }
  std::string out = argv[1];
  for (const char* d : {"", "/digits", "/texture", "/scene", "/small"}) mkdir((out + d).c_str(), 0755);
  bool ok = true;
  const char* digits[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "ddot", "dot", "M", "P"};
  int i = 0;
  for (const char* d : digits) {
    std::size_t size = std::string(d) == "A" ? 1545 : 1200 + 37 * i;
    ok &= Write(out + "/digits/digit_" + d + ".jpg", Noise(size));
    ++i;
  }
  // A bitmap: header, then rows of a smooth gradient.
  std::vector<std::uint8_t> bmp = {'B', 'M'};
  while (bmp.size() < 14894) bmp.push_back(static_cast<std::uint8_t>((bmp.size() / 3) % 97 + (Rand() & 3)));
  ok &= Write(out + "/texture/QL Logo.bmp", bmp);
  ok &= Write(out + "/scene/Cam_Tracks.txt", Text(9000));
  std::vector<std::uint8_t> track;
  for (int k = 0; k < 4000; ++k) {
    float f = std::sin(k * 0.01f) * 100.0f;
    auto* p = reinterpret_cast<std::uint8_t*>(&f);
    track.insert(track.end(), p, p + 4);
  }
  ok &= Write(out + "/scene/Cam_Tracks.bin", track);
  ok &= Write(out + "/scene/gildmoor_room.X", Text(120000));
  ok &= Write(out + "/scene/wall2_IL0010.jpg", Noise(18332));
  // Small inputs for the fuzzer's seed archives.
  ok &= Write(out + "/small/words.txt", Text(700));
  ok &= Write(out + "/small/noise.bin", Noise(200));
  std::vector<std::uint8_t> wave;
  for (int k = 0; k < 300; ++k) {
    auto x = static_cast<std::int16_t>(std::sin(k * 0.05) * 12000);
    wave.push_back(static_cast<std::uint8_t>(x & 0xFF));
    wave.push_back(static_cast<std::uint8_t>((x >> 8) & 0xFF));
  }
  ok &= Write(out + "/small/wave.raw", wave);
  if (!ok) {
    std::fprintf(stderr, "make_fixtures: cannot write into %s\n", out.c_str());
    return 1;
  }
  return 0;
}
