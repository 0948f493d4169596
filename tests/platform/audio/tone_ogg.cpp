#include "tone_ogg.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ogg_encode.h"

namespace audiotest {

std::vector<unsigned char> EncodeToneOgg(const ToneSpec& spec) {
  const double twoPi = 6.283185307179586;
  const std::size_t channels = static_cast<std::size_t>(std::max(spec.channels, 0));
  std::vector<float> samples(static_cast<std::size_t>(std::max(spec.frames, 0L)) * channels);
  for (long t = 0; t < spec.frames; ++t) {
    double env = 1.0;
    if (spec.fade > 0) {
      if (t < spec.fade) env = static_cast<double>(t) / spec.fade;
      long fromEnd = spec.frames - 1 - t;
      if (fromEnd < spec.fade) env = std::min(env, static_cast<double>(fromEnd) / spec.fade);
    }
    for (std::size_t c = 0; c < channels; ++c) {
      double f = spec.freqs.empty() ? 0.0 : spec.freqs[c % spec.freqs.size()];
      samples[static_cast<std::size_t>(t) * channels + c] =
          static_cast<float>(spec.amplitude * env * std::sin(twoPi * f * t / spec.rate));
    }
  }
  mediagen::OggEncoding how;
  how.channels = spec.channels;
  how.rate = spec.rate;
  how.quality = spec.quality;
  how.serial = 12345;
  const std::vector<std::uint8_t> bytes =
      mediagen::EncodeOggVorbis(samples.data(), static_cast<std::size_t>(std::max(spec.frames, 0L)), how);
  return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

namespace {
struct Reader {
  const std::vector<unsigned char>* bytes;
  std::size_t pos;
};
std::size_t ReadCb(void* p, std::size_t size, std::size_t n, void* src) {
  auto* r = static_cast<Reader*>(src);
  std::size_t avail = (r->bytes->size() - r->pos) / size;
  if (n > avail) n = avail;
  std::memcpy(p, r->bytes->data() + r->pos, n * size);
  r->pos += n * size;
  return n;
}
}  // namespace

bool DecodeOgg(const std::vector<unsigned char>& bytes, std::vector<std::int16_t>* pcm, int* rate, int* channels) {
  Reader r{&bytes, 0};
  OggVorbis_File vf;
  ov_callbacks cb{ReadCb, nullptr, nullptr, nullptr};  // unseekable: a different path from the library's
  if (ov_open_callbacks(&r, &vf, nullptr, 0, cb) != 0) return false;
  vorbis_info* vi = ov_info(&vf, -1);
  *rate = static_cast<int>(vi->rate);
  *channels = vi->channels;
  pcm->clear();
  char buf[8192];
  int link = 0;
  for (;;) {
    long n = ov_read(&vf, buf, sizeof buf, 0, 2, 1, &link);
    if (n == OV_HOLE) continue;
    if (n <= 0) break;
    std::size_t old = pcm->size();
    pcm->resize(old + static_cast<std::size_t>(n) / 2);
    std::memcpy(pcm->data() + old, buf, static_cast<std::size_t>(n));
  }
  ov_clear(&vf);
  return true;
}

double EstimateFrequency(const std::int16_t* s, std::size_t frames, int channels, int channel, int rate) {
  // Count upward zero crossings between the first and the last one (robust to offset).
  long first = -1, last = -1, count = 0;
  for (std::size_t i = 1; i < frames; ++i) {
    int a = s[(i - 1) * channels + channel];
    int b = s[i * channels + channel];
    if (a < 0 && b >= 0) {
      if (first < 0) first = static_cast<long>(i);
      last = static_cast<long>(i);
      ++count;
    }
  }
  if (count < 2) return 0.0;
  return static_cast<double>(count - 1) * rate / static_cast<double>(last - first);
}

}  // namespace audiotest
