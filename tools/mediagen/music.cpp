#include "music.h"

#include <algorithm>
#include <cmath>

#include "ogg_encode.h"
#include "vecmath.h"

namespace mediagen {

namespace {

constexpr double kTwoPi = 6.283185307179586;

float Midi(int note) { return 440.0f * std::pow(2.0f, static_cast<float>(note - 69) / 12.0f); }

// One period of a waveform from harmonic amplitudes.
std::vector<float> Table(const std::vector<float>& harmonics) {
  std::vector<float> t(2048);
  for (size_t i = 0; i < t.size(); ++i) {
    double ph = kTwoPi * static_cast<double>(i) / static_cast<double>(t.size());
    double s = 0;
    for (size_t h = 0; h < harmonics.size(); ++h) s += harmonics[h] * std::sin(ph * static_cast<double>(h + 1));
    t[i] = static_cast<float>(s);
  }
  return t;
}

float Lookup(const std::vector<float>& t, double phase) {
  double p = phase - std::floor(phase);
  double x = p * static_cast<double>(t.size());
  size_t i = static_cast<size_t>(x) % t.size();
  float f = static_cast<float>(x - std::floor(x));
  return t[i] + (t[(i + 1) % t.size()] - t[i]) * f;
}

// Vowel-like spectrum for the choir pad: harmonics weighted by two formants.
std::vector<float> Vowel(float f0) {
  std::vector<float> h;
  for (int k = 1; k <= 24; ++k) {
    float f = f0 * static_cast<float>(k);
    float a = std::exp(-std::pow((f - 650.0f) / 260.0f, 2.0f)) + 0.6f * std::exp(-std::pow((f - 1080.0f) / 300.0f, 2.0f)) +
              0.25f * std::exp(-std::pow((f - 2600.0f) / 500.0f, 2.0f));
    h.push_back((0.35f / static_cast<float>(k) + a) * (f < 5000 ? 1.0f : 0.0f));
  }
  return h;
}

struct Stereo {
  std::vector<float> l, r;
  explicit Stereo(size_t n) : l(n, 0.0f), r(n, 0.0f) {}
  size_t size() const { return l.size(); }
  // Adds at circular position.
  void Add(size_t i, float v, float pan) {
    i %= l.size();
    l[i] += v * std::sqrt(1 - pan) * 1.41421f * 0.5f;
    r[i] += v * std::sqrt(pan) * 1.41421f * 0.5f;
  }
};

// A small stereo reverb (parallel combs, then allpasses), run twice over the circular
// buffer so that tails wrap around the loop point.
void Reverb(Stereo& s, float wet) {
  const int combs[4] = {1557, 1617, 1491, 1422};
  const int alls[2] = {556, 441};
  size_t n = s.size();
  for (int ch = 0; ch < 2; ++ch) {
    std::vector<float>& x = ch == 0 ? s.l : s.r;
    std::vector<float> out(n, 0.0f);
    int spread = ch * 23;
    for (int c = 0; c < 4; ++c) {
      std::vector<float> buf(static_cast<size_t>(combs[c] * 2 + spread), 0.0f);
      size_t len = buf.size(), pos = 0;
      float filt = 0;
      for (int pass = 0; pass < 2; ++pass)
        for (size_t i = 0; i < n; ++i) {
          float y = buf[pos];
          filt = y * 0.6f + filt * 0.4f;
          buf[pos] = x[i] + filt * 0.84f;
          pos = (pos + 1) % len;
          if (pass == 1) out[i] += y * 0.25f;
        }
    }
    for (int a = 0; a < 2; ++a) {
      std::vector<float> buf(static_cast<size_t>(alls[a] + spread), 0.0f);
      size_t len = buf.size(), pos = 0;
      std::vector<float> in = out;
      for (int pass = 0; pass < 2; ++pass)
        for (size_t i = 0; i < n; ++i) {
          float b = buf[pos];
          float y = -in[i] + b;
          buf[pos] = in[i] + b * 0.5f;
          pos = (pos + 1) % len;
          if (pass == 1) out[i] = y;
        }
    }
    for (size_t i = 0; i < n; ++i) x[i] = x[i] * (1 - wet * 0.5f) + out[i] * wet;
  }
}

}  // namespace

std::vector<float> SynthesiseMusic(float period) {
  const size_t n = static_cast<size_t>(period * kMusicRate);
  const double P = static_cast<double>(n) / kMusicRate;
  Stereo s(n);
  Rng rng(4242);
  auto at = [&](double t) { return static_cast<size_t>(std::llround(t * kMusicRate)); };
  // Loop-periodic slow modulation: whole numbers of cycles per period.
  auto lfo = [&](double t, int cycles, double phase) { return std::sin(kTwoPi * (t / P * cycles) + phase); };

  // Drone on D with its fifth, slowly breathing.
  {
    auto t1 = Table({1.0f, 0.5f, 0.33f, 0.2f, 0.12f, 0.08f, 0.05f});
    auto t2 = Table({1.0f, 0.3f, 0.15f, 0.05f});
    const double f1 = Midi(38), f2 = Midi(45), f3 = Midi(26);
    // Frequencies rounded to whole cycles per period keep the phase continuous at the loop.
    auto whole = [&](double f) { return std::round(f * P) / P; };
    double g1 = whole(f1), g2 = whole(f2), g3 = whole(f3 * 1.003), g4 = whole(f1 * 1.004);
    for (size_t i = 0; i < n; ++i) {
      double t = static_cast<double>(i) / kMusicRate;
      float breathe = 0.75f + 0.25f * static_cast<float>(lfo(t, 5, 0.3));
      float v = 0.055f * breathe * (Lookup(t1, g1 * t) + 0.6f * Lookup(t1, g4 * t)) +
                0.035f * (0.7f + 0.3f * static_cast<float>(lfo(t, 3, 1.1))) * Lookup(t2, g2 * t) +
                0.05f * Lookup(t2, g3 * t);
      s.l[i] += v * (0.9f + 0.1f * static_cast<float>(lfo(t, 2, 0)));
      s.r[i] += v * (0.9f - 0.1f * static_cast<float>(lfo(t, 2, 0)));
    }
  }

  // Choir pad: a slow progression in D Dorian, each chord swelling in and out.
  {
    const int chords[8][3] = {{50, 57, 62}, {48, 55, 64}, {53, 57, 60}, {50, 57, 65},
                              {47, 55, 62}, {48, 52, 57}, {45, 52, 60}, {50, 57, 62}};
    const double len = P / 8.0;
    for (int c = 0; c < 8; ++c)
      for (int v = 0; v < 3; ++v) {
        float f0 = Midi(chords[c][v]);
        auto table = Table(Vowel(f0));
        double start = c * len - len * 0.35, dur = len * 1.7;
        float pan = 0.25f + 0.25f * static_cast<float>(v);
        for (int det = 0; det < 2; ++det) {
          double f = f0 * (det ? 1.0035 : 0.9975);
          for (size_t k = 0; k < at(dur); ++k) {
            double t = static_cast<double>(k) / kMusicRate;
            float env = static_cast<float>(std::pow(std::sin(kPi * t / dur), 2.0));
            float vib = 1.0f + 0.003f * static_cast<float>(std::sin(kTwoPi * 4.8 * t + v));
            float x = 0.012f * env * Lookup(table, f * t * vib);
            s.Add(at(start + P) + k, x, det ? pan * 0.8f + 0.1f : pan);
          }
        }
      }
  }

  // Harp-like plucks: a slow modal melody, sparse near the loop point.
  {
    const int scale[] = {50, 52, 53, 55, 57, 59, 60, 62, 64, 65, 67, 69, 72};
    int idx = 7;
    double t = 6.5;
    while (t < P - 6.5) {
      int step = rng.Int(-2, 2);
      idx = std::clamp(idx + step, 0, 12);
      float f0 = Midi(scale[idx]);
      float vel = rng.Range(0.5f, 1.0f);
      double dur = 3.5;
      float pan = rng.Range(0.2f, 0.8f);
      for (size_t k = 0; k < at(dur); ++k) {
        double tt = static_cast<double>(k) / kMusicRate;
        float x = 0;
        for (int h = 1; h <= 7; ++h) {
          float amp = 1.0f / static_cast<float>(h * h) * (h == 2 ? 1.6f : 1.0f);
          float decay = static_cast<float>(std::exp(-tt * (1.1 + 0.9 * h)));
          x += amp * decay * static_cast<float>(std::sin(kTwoPi * f0 * h * tt * (1 + 0.0004 * h)));
        }
        float attack = static_cast<float>(std::min(1.0, tt * 300.0));
        s.Add(at(t) + k, 0.09f * vel * attack * x, pan);
        // A soft fifth above now and then.
        if (idx % 4 == 0 && tt > 0.03) {
          float y = static_cast<float>(std::exp(-tt * 2.2) * std::sin(kTwoPi * f0 * 1.5 * (tt - 0.03)));
          s.Add(at(t) + k, 0.025f * vel * y, 1 - pan);
        }
      }
      double gaps[] = {0.66, 0.66, 1.33, 1.33, 2.0, 2.66};
      t += gaps[rng.Int(0, 5)];
    }
  }

  // A distant low drum every few bars.
  for (double t = 8.0; t < P - 8.0; t += 10.625) {
    for (int hit = 0; hit < 2; ++hit) {
      double start = t + hit * 0.66;
      float vel = hit ? 0.5f : 0.9f;
      double phase = 0;
      for (size_t k = 0; k < at(1.6); ++k) {
        double tt = static_cast<double>(k) / kMusicRate;
        double f = 52.0 + 30.0 * std::exp(-tt * 18.0);
        phase += f / kMusicRate;
        float x = static_cast<float>(std::exp(-tt * 3.2) * std::sin(kTwoPi * phase));
        x += static_cast<float>(std::exp(-tt * 40.0)) * (rng.Uniform() - 0.5f) * 0.3f;
        s.Add(at(start) + k, 0.16f * vel * x, 0.5f);
      }
    }
  }

  Reverb(s, 0.35f);

  // Unroll the circle: period + overlap seconds with complementary linear fades.
  size_t overlap = static_cast<size_t>(kMusicOverlap * kMusicRate);
  size_t total = n + overlap;
  std::vector<float> out(total * 2);
  float peak = 1e-6f;
  for (size_t i = 0; i < n; ++i) peak = std::max({peak, std::abs(s.l[i]), std::abs(s.r[i])});
  float gain = 0.5f / peak;
  for (size_t i = 0; i < total; ++i) {
    float env = 1;
    if (i < overlap) env = static_cast<float>(i) / static_cast<float>(overlap);
    if (i >= n) env = 1.0f - static_cast<float>(i - n) / static_cast<float>(overlap);
    out[2 * i] = s.l[i % n] * gain * env;
    out[2 * i + 1] = s.r[i % n] * gain * env;
  }
  return out;
}

std::vector<uint8_t> EncodeOgg(const std::vector<float>& stereo, float quality) {
  OggEncoding how;
  how.channels = 2;
  how.rate = kMusicRate;
  how.quality = quality;
  how.serial = 0x48443344;
  how.title = "Hoard";
  return EncodeOggVorbis(stereo.data(), stereo.size() / 2, how);
}

}  // namespace mediagen
