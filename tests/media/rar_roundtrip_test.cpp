// Our packer against our reader: many shapes of data, every level, the multimedia mode,
// solid streams, and damaged archives. (tests/media/rar_tool_test.cpp checks the same
// archives against an independent decoder.)
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "huffman_builder.h"
#include "media/archive_walk.h"
#include "media/crc32.h"
#include "rar_test_util.h"

namespace {

using rartest::Extract;

rarpack::PackResult Pack(const std::vector<rarpack::PackEntry>& entries, rarpack::PackOptions options) {
  rarpack::PackResult r;
  std::string error;
  EXPECT_TRUE(rarpack::BuildArchive(entries, options, &r, &error)) << error;
  return r;
}

rarpack::PackEntry Entry(const std::string& name, std::vector<std::uint8_t> data) {
  rarpack::PackEntry e;
  e.name = name;
  e.data = std::move(data);
  return e;
}

// Unpacks every member in one pass and compares it with what went in.
void ExpectAllMembers(const rarpack::PackResult& r, const std::vector<rarpack::PackEntry>& entries,
                      const std::string& what) {
  std::size_t i = 0;
  bool ok = media::WalkArchive(r.archive.data(), static_cast<std::uint32_t>(r.archive.size()), true,
                               [&](const media::WalkedMember& m) {
                                 ASSERT_LT(i, entries.size());
                                 EXPECT_EQ(m.block.name, entries[i].name) << what;
                                 if (!entries[i].directory) {
                                   EXPECT_EQ(m.status, media::MemberStatus::kOk) << what << " " << m.block.name;
                                   EXPECT_TRUE(m.size == entries[i].data.size() &&
                                               std::equal(m.data, m.data + m.size, entries[i].data.begin()))
                                       << what << " " << m.block.name;
                                 }
                                 ++i;
                               });
  EXPECT_TRUE(ok);
  EXPECT_EQ(i, entries.size()) << what;
}

std::vector<rarpack::PackEntry> Shapes() {
  std::vector<rarpack::PackEntry> v;
  v.push_back(Entry("empty.bin", {}));
  v.push_back(Entry("one.bin", {0x42}));
  v.push_back(Entry("two.bin", {0x42, 0x42}));
  v.push_back(Entry("zeros.bin", std::vector<std::uint8_t>(70000, 0)));
  std::vector<std::uint8_t> period;
  for (int i = 0; i < 50000; ++i) period.push_back(static_cast<std::uint8_t>("abcab"[i % 5]));
  v.push_back(Entry("period.bin", period));
  v.push_back(Entry("random.bin", rartest::RandomBytes(150000, 3)));
  v.push_back(Entry("text.txt", rartest::WordText(120000, 5)));
  // Structured binary: little-endian floats of a slow curve, the kind of a model file.
  std::vector<std::uint8_t> floats;
  for (int i = 0; i < 30000; ++i) {
    float f = static_cast<float>(std::sin(i * 0.002) * 40.0);
    auto* p = reinterpret_cast<std::uint8_t*>(&f);
    floats.insert(floats.end(), p, p + 4);
  }
  v.push_back(Entry("model.bin", floats));
  return v;
}

TEST(RarRoundTrip, ShapesOfDataAtEveryLevel) {
  auto entries = Shapes();
  for (int level = 0; level <= 5; ++level) {
    for (bool solid : {false, true}) {
      rarpack::PackOptions o;
      o.level = level;
      o.solid = solid;
      auto r = Pack(entries, o);
      ExpectAllMembers(r, entries, "level " + std::to_string(level) + (solid ? " solid" : ""));
      // Compression actually happens where the data allows it.
      if (level > 0) {
        EXPECT_LT(r.members[3].packed, 200u);  // 70000 zeros
        EXPECT_LT(r.members[6].packed, r.members[6].unpacked / 3);  // text
        EXPECT_LT(r.members[5].packed, r.members[5].unpacked + r.members[5].unpacked / 100);  // random
      }
    }
  }
}

TEST(RarRoundTrip, ReaderFindsEachMemberOfASolidArchive) {
  auto entries = Shapes();
  rarpack::PackOptions o;
  o.solid = true;
  auto r = Pack(entries, o);
  for (const auto& e : entries) {
    auto got = Extract(r.archive, e.name.c_str());
    EXPECT_EQ(got.result, 1) << e.name;
    EXPECT_EQ(got.bytes, e.data) << e.name;
  }
}

TEST(RarRoundTrip, DataLongerThanTheWindowWraps) {
  // 2.5 MB: text, noise and a repeat of the text more than 1 MiB back (out of reach) and
  // a near repeat (in reach).
  auto text = rartest::WordText(700000, 9);
  auto noise = rartest::RandomBytes(500000, 10);
  std::vector<std::uint8_t> big = text;
  big.insert(big.end(), noise.begin(), noise.end());
  big.insert(big.end(), text.begin(), text.end());
  big.insert(big.end(), noise.begin(), noise.begin() + 300000);
  big.insert(big.end(), text.begin(), text.begin() + 300000);
  std::vector<rarpack::PackEntry> entries = {Entry("big.bin", big), Entry("after.txt", rartest::WordText(5000, 1))};
  for (bool solid : {false, true}) {
    rarpack::PackOptions o;
    o.solid = solid;
    auto r = Pack(entries, o);
    ExpectAllMembers(r, entries, solid ? "solid" : "plain");
    auto got = Extract(r.archive, "after.txt");
    EXPECT_EQ(got.bytes, entries[1].data);
  }
}

TEST(RarRoundTrip, MultimediaModeWithOneToFourChannels) {
  for (int channels = 1; channels <= 4; ++channels) {
    // 16-bit samples: one channel per byte lane, so 2 lanes per audio channel.
    auto pcm = rartest::Pcm16(30000, channels <= 2 ? 1 : 2, 20 + channels);
    std::vector<rarpack::PackEntry> entries = {Entry("a.wav", pcm), Entry("b.txt", rartest::WordText(20000, 2)),
                                               Entry("c.wav", rartest::Pcm16(9000, 2, 77))};
    for (bool solid : {false, true}) {
      rarpack::PackOptions o;
      o.multimedia = channels;
      o.solid = solid;
      auto r = Pack(entries, o);
      std::string what = "channels " + std::to_string(channels) + (solid ? " solid" : "");
      ExpectAllMembers(r, entries, what);
      EXPECT_GT(r.stats.audioBlocks, 0u) << what;
      EXPECT_EQ(r.stats.lzBlocks, 0u) << what;
      EXPECT_EQ(r.stats.lastChannels, channels) << what;
    }
  }
}

TEST(RarRoundTrip, MultimediaChosenWhereItCodesShorter) {
  auto stereo = rartest::Pcm16(60000, 2, 4);  // 4 byte lanes
  auto text = rartest::WordText(60000, 4);
  std::vector<rarpack::PackEntry> entries = {Entry("music.raw", stereo), Entry("words.txt", text)};
  rarpack::PackOptions automatic;
  automatic.solid = true;
  rarpack::PackOptions lzOnly = automatic;
  lzOnly.multimedia = -1;
  auto a = Pack(entries, automatic);
  auto l = Pack(entries, lzOnly);
  ExpectAllMembers(a, entries, "automatic");
  ExpectAllMembers(l, entries, "lz only");
  EXPECT_GT(a.stats.audioBlocks, 0u);
  EXPECT_GT(a.stats.lzBlocks, 0u);  // the text stays LZ
  EXPECT_EQ(l.stats.audioBlocks, 0u);
  EXPECT_LT(a.members[0].packed, l.members[0].packed * 9 / 10);
  // Text alone never goes to the audio coder.
  rarpack::PackOptions plain;
  auto t = Pack({Entry("words.txt", text)}, plain);
  EXPECT_EQ(t.stats.audioBlocks, 0u);
}

TEST(RarRoundTrip, BestLevelPacksTextAtLeastAsWellAsDeflateLevel9) {
  auto text = rartest::WordText(400000, 12);
  uLongf zlen = compressBound(static_cast<uLong>(text.size()));
  std::vector<Bytef> z(zlen);
  ASSERT_EQ(compress2(z.data(), &zlen, text.data(), static_cast<uLong>(text.size()), 9), Z_OK);
  rarpack::PackOptions best;
  best.level = 5;
  auto r = Pack({Entry("t.txt", text)}, best);
  EXPECT_LE(r.members[0].packed, zlen);
  // The default level stays within 15% of it.
  auto d = Pack({Entry("t.txt", text)}, rarpack::PackOptions{});
  EXPECT_LE(d.members[0].packed, zlen + zlen * 15 / 100);
}

// Every single-byte change of a small archive either fails cleanly or, where the byte
// does not matter to the reader (header CRCs, times, attributes), yields the right bytes.
TEST(RarRoundTrip, EverySingleByteChangeFailsCleanlyOrChangesNothing) {
  std::vector<rarpack::PackEntry> entries = {Entry("one.txt", rartest::WordText(300, 1)),
                                             Entry("two.bin", rartest::RandomBytes(120, 2)),
                                             Entry("three.txt", rartest::WordText(200, 3))};
  for (bool solid : {false, true}) {
    rarpack::PackOptions o;
    o.solid = solid;
    auto r = Pack(entries, o);
    int failed = 0, unchanged = 0;
    for (std::size_t pos = 0; pos < r.archive.size(); ++pos) {
      for (std::uint8_t x : {0x01, 0x80, 0xFF}) {
        auto damaged = r.archive;
        damaged[pos] ^= x;
        for (const auto& e : entries) {
          auto got = Extract(damaged, e.name.c_str());
          if (got.result == 1) {
            ++unchanged;
            ASSERT_EQ(got.bytes, e.data) << "byte " << pos << " ^ " << int(x) << " member " << e.name;
          } else {
            ++failed;
            ASSERT_FALSE(got.nonNull);
            ASSERT_EQ(got.length, 0u);
          }
        }
      }
    }
    EXPECT_GT(failed, 0);
    EXPECT_GT(unchanged, 0);
  }
}

TEST(HuffmanBuilder, LengthsStayWithin15BitsAndFormCompleteCodes) {
  // Fibonacci frequencies would need codes far longer than 15 bits.
  std::vector<std::uint32_t> freq(40);
  std::uint32_t a = 1, b = 1;
  for (auto& f : freq) {
    f = a;
    std::uint32_t c = a + b;
    a = b;
    b = c > 1000000000u ? 1000000000u : c;
  }
  freq[7] = 0;
  auto lengths = rarpack::BuildCodeLengths(freq.data(), 40, 15);
  double kraft = 0;
  for (int i = 0; i < 40; ++i) {
    EXPECT_LE(lengths[i], 15);
    if (freq[i]) {
      EXPECT_GT(lengths[i], 0) << i;
    }
    if (lengths[i]) kraft += std::ldexp(1.0, -lengths[i]);
  }
  EXPECT_EQ(lengths[7], 0);
  EXPECT_DOUBLE_EQ(kraft, 1.0);
  // Rarer symbols never get shorter codes.
  for (int i = 1; i < 40; ++i)
    if (i != 7 && i - 1 != 7) {
      EXPECT_LE(lengths[i], lengths[i - 1]);
    }
  // One used symbol still gets a complete code of two.
  std::uint32_t single[5] = {0, 0, 9, 0, 0};
  auto l1 = rarpack::BuildCodeLengths(single, 5, 15);
  EXPECT_EQ(l1[2], 1);
  EXPECT_EQ(l1[0] + l1[1] + l1[3] + l1[4], 1);
}

}  // namespace
