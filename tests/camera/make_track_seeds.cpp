// Writes two small track files in the "Cam_Tracks.bin" layout: the track fuzzer's seeds.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Image {
  std::vector<unsigned char> b;
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
  }
  void U8(std::uint8_t v) { b.push_back(v); }
  void F32(float f) {
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    U32(v);
  }
  // A track of `points` points along a bent line; nodes get a speed, every other node a
  // target; `targetFlag` is the byte written for a target (1 is the only one that counts).
  void Track(std::uint32_t countField, int points, std::uint8_t targetFlag, float pause) {
    U32(countField);
    U8(1);  // closed loop
    U8(0);
    for (int i = 0; i < points; ++i) {
      F32(10.0f * i);
      F32(i % 2 ? 5.0f : -3.0f);
      F32(2.5f * i * i);
      const bool node = i % 3 == 0;
      const bool target = node && i % 6 == 0;
      U8(target ? targetFlag : 0);
      if (target && targetFlag == 1) {
        F32(0);
        F32(20);
        F32(-40);
      }
      F32(node ? 1.5f + i : 0.0f);
      F32(node && i == 3 ? pause : 0.0f);
    }
  }
};

bool Write(const std::string& path, const Image& img) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(img.b.data(), 1, img.b.size(), f) == img.b.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_track_seeds OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  Image two;
  two.U32(2);
  two.Track(4, 4, 1, 0.5f);
  two.Track(7, 7, 1, 0);
  Image odd;  // high bits in the count field, a target flag of 2, a surplus point
  odd.U32(1);
  odd.Track(0xABCD0000u | 8, 8, 2, 1.0f);
  if (!Write(dir + "/two_tracks.bin", two) || !Write(dir + "/odd_fields.bin", odd)) {
    std::fprintf(stderr, "make_track_seeds: cannot write to %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
