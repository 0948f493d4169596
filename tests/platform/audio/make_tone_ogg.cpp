// Writes a tone Ogg for the tests' resource bundles:
//   make_tone_ogg OUT SECONDS RATE CHANNELS FREQ [FADE_SECONDS]
// or, with "damaged", a file that looks like Ogg but does not decode.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tone_ogg.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[2]) == "damaged") {
    audiotest::ToneSpec spec;
    spec.frames = 4410;
    auto bytes = audiotest::EncodeToneOgg(spec);
    // Keep the capture pattern, wreck the identification header.
    for (std::size_t i = 28; i < 60 && i < bytes.size(); ++i) bytes[i] ^= 0x5A;
    return audiotest::WriteFile(argv[1], bytes) ? 0 : 1;
  }
  if (argc < 6) {
    std::fprintf(stderr, "usage: make_tone_ogg OUT SECONDS RATE CHANNELS FREQ [FADE_SECONDS] | OUT damaged\n");
    return 2;
  }
  audiotest::ToneSpec spec;
  spec.rate = std::atoi(argv[3]);
  spec.channels = std::atoi(argv[4]);
  spec.frames = static_cast<long>(std::atof(argv[2]) * spec.rate);
  double f = std::atof(argv[5]);
  spec.freqs = {f, f * 1.5};
  if (argc > 6) spec.fade = static_cast<long>(std::atof(argv[6]) * spec.rate);
  auto bytes = audiotest::EncodeToneOgg(spec);
  if (bytes.empty() || !audiotest::WriteFile(argv[1], bytes)) return 1;
  return 0;
}
