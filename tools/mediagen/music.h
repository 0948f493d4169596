// The saver's music: an original, quiet modal ambience synthesised here and encoded as
// Ogg Vorbis. The piece is built on a circular timeline of `period` seconds and written
// `period + 5` seconds long with a linear fade in and out over 5 s, so that the player's
// next copy, started 5 s before the end, sums with the old tail to the same signal.
#pragma once

#include <cstdint>
#include <vector>

namespace mediagen {

constexpr int kMusicRate = 44100;
constexpr float kMusicOverlap = 5.0f;

// Interleaved stereo samples in [-1, 1], (period + overlap) seconds long.
std::vector<float> SynthesiseMusic(float periodSeconds);
// Ogg Vorbis (libvorbisenc, VBR) of interleaved stereo samples; fixed serial number.
std::vector<uint8_t> EncodeOgg(const std::vector<float>& stereo, float quality);

}  // namespace mediagen
