// Helpers shared by the archive tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "media/archive_reader.h"

namespace rartest {

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::vector<std::uint8_t> v;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    std::uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) v.insert(v.end(), buf, buf + n);
    std::fclose(f);
  }
  return v;
}

struct Extracted {
  int result = 0;
  bool nonNull = false;
  std::uint32_t length = 0;
  std::vector<std::uint8_t> bytes;
};

inline Extracted Extract(MediaArchive archive, const char* name) {
  Extracted e;
  unsigned char* buffer = reinterpret_cast<unsigned char*>(1);  // must be overwritten
  std::uint32_t length = 12345;
  e.result = ExtractArchiveMember(&buffer, &length, name, &archive, "pass");
  e.nonNull = buffer != nullptr;
  e.length = length;
  if (buffer) e.bytes.assign(buffer, buffer + length);
  FreeMediaBuffer(buffer);
  return e;
}

inline Extracted Extract(const std::vector<std::uint8_t>& bytes, const char* name) {
  return Extract(MediaArchive{bytes.data(), static_cast<std::uint32_t>(bytes.size()), 0}, name);
}

// Deterministic test data.
struct Rng {
  std::uint32_t s;
  explicit Rng(std::uint32_t seed) : s(seed) {}
  std::uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
};

inline std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed) {
  Rng r(seed);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(r.Next() >> 24);
  return v;
}

inline std::vector<std::uint8_t> WordText(std::size_t n, std::uint32_t seed) {
  static const char* words[] = {"the ",    "treasure ", "chamber ", "glitters ", "under ",  "flickering ",
                                "torches ", "and ",      "a ",       "dragon ",   "sleeps ", "on ",
                                "gold, ",   "gems ",     "crowns ",  "shields.\n"};
  Rng r(seed);
  std::vector<std::uint8_t> v;
  while (v.size() < n) {
    const char* w = words[r.Next() % 16];
    while (*w && v.size() < n) v.push_back(static_cast<std::uint8_t>(*w++));
  }
  return v;
}

// 16-bit little-endian PCM with `channels` interleaved channels: slow sines plus noise.
inline std::vector<std::uint8_t> Pcm16(std::size_t frames, int channels, std::uint32_t seed);

}  // namespace rartest

#include <cmath>

inline std::vector<std::uint8_t> rartest::Pcm16(std::size_t frames, int channels, std::uint32_t seed) {
  Rng r(seed);
  std::vector<std::uint8_t> v;
  v.reserve(frames * channels * 2);
  for (std::size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      double t = static_cast<double>(i);
      double s = 9000 * std::sin(t * (0.011 + 0.004 * c)) + 2500 * std::sin(t * 0.173 + c) +
                 static_cast<double>(r.Next() % 200) - 100;
      auto x = static_cast<std::int16_t>(s);
      v.push_back(static_cast<std::uint8_t>(x & 0xFF));
      v.push_back(static_cast<std::uint8_t>((x >> 8) & 0xFF));
    }
  }
  return v;
}
