// Decoding from memory and mixing, on the library's own classes (no output device).
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/audio/mixer.h"
#include "platform/audio/ogg_stream.h"
#include "tone_ogg.h"

namespace {

using audiotest::EncodeToneOgg;
using audiotest::EstimateFrequency;
using audiotest::ToneSpec;
using bass::Mixer;
using bass::OggStream;

ToneSpec Tone(int rate, int channels, double seconds, std::vector<double> freqs) {
  ToneSpec s;
  s.rate = rate;
  s.channels = channels;
  s.frames = static_cast<long>(seconds * rate);
  s.freqs = std::move(freqs);
  return s;
}

std::vector<std::int16_t> MixFrames(Mixer& m, std::size_t frames) {
  std::vector<std::int16_t> out(frames * 2);
  m.Mix(out.data(), frames);
  return out;
}

TEST(OggStream, LengthAndFormatMatchTheEncodedPcm) {
  struct Case {
    int rate, channels;
    long frames;
  } cases[] = {{44100, 2, 44100}, {22050, 1, 33075}, {48000, 2, 12345}};
  for (const auto& c : cases) {
    ToneSpec spec = Tone(c.rate, c.channels, 0, {440.0});
    spec.frames = c.frames;
    auto bytes = EncodeToneOgg(spec);
    auto s = OggStream::Open(bytes.data(), bytes.size());
    ASSERT_TRUE(s) << c.rate;
    EXPECT_EQ(s->rate(), static_cast<std::uint32_t>(c.rate));
    EXPECT_EQ(s->channels(), static_cast<std::uint32_t>(c.channels));
    EXPECT_EQ(s->lengthFrames(), static_cast<std::uint64_t>(c.frames));
    EXPECT_EQ(s->lengthBytes(), static_cast<std::uint64_t>(c.frames) * c.channels * 2);
    // Everything announced can be read, and nothing more.
    std::vector<std::int16_t> buf(4096 * c.channels);
    std::uint64_t total = 0;
    while (std::size_t n = s->Read(buf.data(), 4096)) total += n;
    EXPECT_EQ(total, static_cast<std::uint64_t>(c.frames));
  }
}

TEST(OggStream, DecodesTheTonesAndRewindsToTheFirstSample) {
  auto bytes = EncodeToneOgg(Tone(44100, 2, 1.0, {440.0, 1000.0}));
  auto s = OggStream::Open(bytes.data(), bytes.size());
  ASSERT_TRUE(s);
  std::vector<std::int16_t> first(22050 * 2), again(22050 * 2);
  ASSERT_EQ(s->Read(first.data(), 22050), 22050u);
  EXPECT_NEAR(EstimateFrequency(first.data(), 22050, 2, 0, 44100), 440.0, 2.0);
  EXPECT_NEAR(EstimateFrequency(first.data(), 22050, 2, 1, 44100), 1000.0, 3.0);
  ASSERT_TRUE(s->Rewind());
  ASSERT_EQ(s->Read(again.data(), 22050), 22050u);
  EXPECT_EQ(first, again);
}

TEST(OggStream, DamagedOrForeignBytesAreRefused) {
  auto good = EncodeToneOgg(Tone(44100, 2, 0.5, {440.0}));
  std::vector<unsigned char> empty;
  std::vector<unsigned char> text(2000, 'x');
  std::vector<unsigned char> truncated(good.begin(), good.begin() + 40);
  std::vector<unsigned char> badHeader = good;
  for (std::size_t i = 28; i < 60; ++i) badHeader[i] ^= 0x5A;
  EXPECT_FALSE(OggStream::Open(nullptr, 10));
  EXPECT_FALSE(OggStream::Open(empty.data(), 0));
  EXPECT_FALSE(OggStream::Open(text.data(), text.size()));
  EXPECT_FALSE(OggStream::Open(truncated.data(), truncated.size()));
  EXPECT_FALSE(OggStream::Open(badHeader.data(), badHeader.size()));
}

class MixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    a_ = EncodeToneOgg(Tone(44100, 2, 1.0, {440.0, 660.0}));
    b_ = EncodeToneOgg(Tone(44100, 1, 1.0, {1000.0}));
  }
  std::vector<unsigned char> a_, b_;
};

TEST_F(MixerTest, TwoStreamsSumAndVolumeScalesTheMix) {
  const std::size_t n = 8192;
  std::vector<std::int16_t> alone[2];
  for (int k = 0; k < 2; ++k) {
    Mixer m(44100);
    auto& bytes = k == 0 ? a_ : b_;
    auto h = m.Add(OggStream::Open(bytes.data(), bytes.size()), false);
    ASSERT_TRUE(m.Play(h, true, false));
    alone[k] = MixFrames(m, n);
  }
  Mixer m(44100);
  auto ha = m.Add(OggStream::Open(a_.data(), a_.size()), false);
  auto hb = m.Add(OggStream::Open(b_.data(), b_.size()), false);
  ASSERT_NE(ha, hb);
  ASSERT_TRUE(m.Play(ha, true, false));
  ASSERT_TRUE(m.Play(hb, true, false));
  auto both = MixFrames(m, n);
  int nonzeroB = 0;
  for (std::size_t i = 0; i < n * 2; ++i) {
    ASSERT_EQ(both[i], alone[0][i] + alone[1][i]) << i;
    nonzeroB += alone[1][i] != 0;
  }
  EXPECT_GT(nonzeroB, 1000);
  // The mono stream feeds both sides equally.
  for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(alone[1][2 * i], alone[1][2 * i + 1]);

  // Volume 30 on a fresh pair: every sample is 30 % of the full-volume mix.
  Mixer quiet(44100);
  auto qa = quiet.Add(OggStream::Open(a_.data(), a_.size()), false);
  auto qb = quiet.Add(OggStream::Open(b_.data(), b_.size()), false);
  quiet.SetVolume(30);
  EXPECT_EQ(quiet.Volume(), 30u);
  quiet.Play(qa, true, false);
  quiet.Play(qb, true, false);
  auto scaled = MixFrames(quiet, n);
  for (std::size_t i = 0; i < n * 2; ++i) ASSERT_NEAR(scaled[i], both[i] * 0.3, 1.0) << i;
  quiet.SetVolume(0);
  for (auto v : MixFrames(quiet, 1024)) ASSERT_EQ(v, 0);
  quiet.SetVolume(500);
  EXPECT_EQ(quiet.Volume(), 100u);
}

TEST_F(MixerTest, FlushRestartsResumeContinuesAndTheEndStops) {
  Mixer m(44100);
  auto h = m.Add(OggStream::Open(a_.data(), a_.size()), false);
  Mixer::Info info;
  ASSERT_TRUE(m.Query(h, &info));
  EXPECT_FALSE(info.playing);
  EXPECT_EQ(info.positionBytes, 0u);
  // Not playing: silence and no progress.
  for (auto v : MixFrames(m, 512)) ASSERT_EQ(v, 0);
  ASSERT_TRUE(m.Play(h, true, false));
  auto head = MixFrames(m, 3000);
  m.Query(h, &info);
  EXPECT_EQ(info.positionBytes, 3000u * 4);
  ASSERT_TRUE(m.Play(h, true, false));  // flush: from the beginning again
  m.Query(h, &info);
  EXPECT_EQ(info.positionBytes, 0u);
  EXPECT_EQ(MixFrames(m, 3000), head);
  MixFrames(m, 1000);
  m.StopAll();
  for (auto v : MixFrames(m, 256)) ASSERT_EQ(v, 0);
  ASSERT_TRUE(m.Play(h, false, false));  // resume where it stopped
  auto resumed = MixFrames(m, 1000);
  Mixer ref(44100);
  auto r = ref.Add(OggStream::Open(a_.data(), a_.size()), false);
  ref.Play(r, true, false);
  auto whole = MixFrames(ref, 5000);
  EXPECT_TRUE(std::equal(resumed.begin(), resumed.end(), whole.begin() + 4000 * 2));
  m.Query(h, &info);
  EXPECT_EQ(info.positionBytes, 5000u * 4);

  // Run off the end: the stream stops exactly at its length and goes silent.
  MixFrames(m, 44100);
  m.Query(h, &info);
  EXPECT_FALSE(info.playing);
  EXPECT_EQ(info.positionBytes, info.lengthBytes);
  for (auto v : MixFrames(m, 512)) ASSERT_EQ(v, 0);
  // Play without flush after the end starts over.
  ASSERT_TRUE(m.Play(h, false, false));
  EXPECT_EQ(MixFrames(m, 3000), head);
}

TEST(MixerResample, OtherRatesKeepPitchAndPositionCountsSourceBytes) {
  auto bytes = EncodeToneOgg(Tone(22050, 1, 1.0, {500.0}));
  Mixer m(44100);
  auto h = m.Add(OggStream::Open(bytes.data(), bytes.size()), false);
  ASSERT_TRUE(m.Play(h, true, false));
  auto out = MixFrames(m, 22050);  // half a second of output
  EXPECT_NEAR(EstimateFrequency(out.data(), 22050, 2, 0, 44100), 500.0, 3.0);
  Mixer::Info info;
  m.Query(h, &info);
  // Half a second of a 22050 Hz mono stream is 11025 frames of 2 bytes.
  EXPECT_NEAR(static_cast<double>(info.positionBytes), 22050.0, 4.0);
  MixFrames(m, 44100 + 100);
  m.Query(h, &info);
  EXPECT_FALSE(info.playing);
  EXPECT_EQ(info.positionBytes, info.lengthBytes);
}

TEST(DecodeMemory, OneStreamStaysSmall) {
  auto bytes = EncodeToneOgg(Tone(44100, 2, 2.0, {440.0, 660.0}));
  struct mallinfo2 before = mallinfo2();
  Mixer m(44100);
  auto h = m.Add(OggStream::Open(bytes.data(), bytes.size()), false);
  m.Play(h, true, false);
  MixFrames(m, 4096);
  struct mallinfo2 after = mallinfo2();
  const double kib = (static_cast<double>(after.uordblks) - static_cast<double>(before.uordblks)) / 1024.0;
  std::printf("decode memory for one 44.1 kHz stereo stream: %.0f KiB (encoded %zu KiB, read in place)\n", kib,
              bytes.size() / 1024);
  ::testing::Test::RecordProperty("decode_memory_kib", static_cast<int>(kib));
  // The music is decoded as it plays, never expanded whole (2 s would be 345 KiB of PCM).
  EXPECT_LT(kib, 300.0);
}

}  // namespace
