// Ogg Vorbis encoding (libvorbisenc, VBR) of interleaved float samples, for the generated
// music and the tests' tone files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mediagen {

struct OggEncoding {
  int channels = 2;
  int rate = 44100;
  float quality = 0.4f;
  int serial = 0;                 // the stream's serial number: fixed, so output is repeatable
  const char* title = nullptr;    // a TITLE comment when set
};

// Samples in [-1, 1], `frames` frames of `channels` interleaved values. Empty when the
// encoder refuses the parameters.
std::vector<std::uint8_t> EncodeOggVorbis(const float* interleaved, std::size_t frames, const OggEncoding& how);

}  // namespace mediagen
