// Test helper: small Ogg Vorbis files of pure tones, encoded with libvorbisenc.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace audiotest {

struct ToneSpec {
  int rate = 44100;
  int channels = 2;
  long frames = 44100;
  // Frequency of each channel in Hz (channel i uses freqs[i % size]); 0 = silence.
  std::vector<double> freqs{440.0, 660.0};
  double amplitude = 0.4;
  // Frames of fade-in and fade-out at the ends (linear), 0 = none.
  long fade = 0;
  float quality = 0.4f;
};

std::vector<unsigned char> EncodeToneOgg(const ToneSpec& spec);
bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes);

// Decodes a whole Ogg Vorbis buffer to interleaved 16-bit samples (independently of the
// library under test). Returns false when the bytes do not decode.
bool DecodeOgg(const std::vector<unsigned char>& bytes, std::vector<std::int16_t>* pcm, int* rate,
               int* channels);

// Frequency of one channel of interleaved samples estimated from its zero crossings.
double EstimateFrequency(const std::int16_t* samples, std::size_t frames, int channels, int channel, int rate);

}  // namespace audiotest
