// The decompressor against bit streams written by hand with "flat" codes (every symbol of
// a table has the same length, so its code is its number), independent of our packer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "media/crc32.h"
#include "media/rar20_unpacker.h"

namespace {

using media::Rar20Unpacker;

class Bits {
 public:
  void Put(std::uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) {
      cur_ = static_cast<std::uint8_t>((cur_ << 1) | ((v >> i) & 1));
      if (++count_ == 8) {
        bytes_.push_back(cur_);
        cur_ = 0;
        count_ = 0;
      }
    }
  }
  std::vector<std::uint8_t> Finish() {
    std::vector<std::uint8_t> out = bytes_;
    if (count_) out.push_back(static_cast<std::uint8_t>(cur_ << (8 - count_)));
    return out;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint8_t cur_ = 0;
  int count_ = 0;
};

constexpr int kMainBits = 9, kDistBits = 6, kRepBits = 5;

// A table read: bit-length code of 19 five-bit codes, then every length as a plain
// symbol (new - base) & 15, base being the previous lengths when `keep`.
void PutTables(Bits& b, const std::vector<std::uint8_t>& lengths, bool keep, const std::vector<std::uint8_t>& base) {
  b.Put(keep ? 1 : 0, 2);
  for (int i = 0; i < 19; ++i) b.Put(5, 4);
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    std::uint8_t prev = keep ? base[i] : 0;
    b.Put((lengths[i] - prev) & 15, 5);
  }
}

std::vector<std::uint8_t> FlatLengths(int mainBits = kMainBits) {
  std::vector<std::uint8_t> l;
  l.insert(l.end(), 298, static_cast<std::uint8_t>(mainBits));
  l.insert(l.end(), 48, kDistBits);
  l.insert(l.end(), 28, kRepBits);
  return l;
}

struct Decoded {
  std::vector<std::uint8_t> bytes;
  std::uint32_t written = 0;
};

Decoded Decode(const std::vector<std::uint8_t>& packed, std::uint32_t unpacked) {
  static std::vector<std::uint8_t> window(media::kRarWindowSize);
  static Rar20Unpacker unpacker;
  unpacker.Reset();
  MediaArchive archive{packed.data(), static_cast<std::uint32_t>(packed.size()), 0};
  Decoded d;
  d.bytes.assign(unpacked, 0xEE);
  unpacker.DecompressMember(window.data(), archive, static_cast<std::uint32_t>(packed.size()), unpacked, false,
                            d.bytes.data(), &d.written);
  return d;
}

// A match with a new distance: length code, extra bits, distance code, extra bits.
void PutMatch(Bits& b, std::uint32_t length, std::uint32_t distance) {
  std::uint32_t adj = (distance >= 0x2000) + (distance >= 0x40000);
  std::uint32_t v = length - 3 - adj;
  int k = 27;
  while (media::kLengthBase[k] > v) --k;
  b.Put(270 + k, kMainBits);
  b.Put(v - media::kLengthBase[k], media::kLengthBits[k]);
  int d = 47;
  while (media::kDistBase[d] > distance - 1) --d;
  b.Put(d, kDistBits);
  b.Put(distance - 1 - media::kDistBase[d], media::kDistBits[d]);
}

TEST(Rar20Unpacker, LiteralStreamStopsExactlyAtTheUnpackedSize) {
  Bits b;
  PutTables(b, FlatLengths(), false, {});
  for (char c : std::string("hello, vault")) b.Put(static_cast<std::uint8_t>(c), kMainBits);
  auto packed = b.Finish();
  Decoded d = Decode(packed, 5);
  EXPECT_EQ(d.written, 5u);
  EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), "hello");
  d = Decode(packed, 12);
  EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), "hello, vault");
}

TEST(Rar20Unpacker, OverlappingMatchRepeatsThePattern) {
  Bits b;
  PutTables(b, FlatLengths(), false, {});
  b.Put('x', kMainBits);
  PutMatch(b, 10, 1);  // distance 1, length 10: ten more of the last byte
  b.Put('y', kMainBits);
  b.Put('z', kMainBits);
  PutMatch(b, 7, 2);  // "yz" pattern over a length that is not a multiple of it
  Decoded d = Decode(b.Finish(), 20);
  EXPECT_EQ(d.written, 20u);
  EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), "xxxxxxxxxxxyzyzyzyzy");
}

TEST(Rar20Unpacker, RepeatSymbolReusesLastMatchAndEntersTheRing) {
  Bits b;
  PutTables(b, FlatLengths(), false, {});
  for (char c : std::string("abcd")) b.Put(static_cast<std::uint8_t>(c), kMainBits);
  PutMatch(b, 4, 4);
  b.Put(256, kMainBits);  // the same match again
  // 258: the second most recent distance, which is 4 only if 256 stored it again.
  b.Put(258, kMainBits);
  b.Put(2, kRepBits);  // repeat length code 2: length 2 + 2 = 4
  for (char c : std::string("!")) b.Put(static_cast<std::uint8_t>(c), kMainBits);
  // 257 with a length needing extra bits: code 9 = base 10 + 1 bit.
  b.Put(257, kMainBits);
  b.Put(9, kRepBits);
  b.Put(1, 1);  // length 2 + 10 + 1 = 13 at the most recent distance (4)
  Decoded d = Decode(b.Finish(), 30);
  EXPECT_EQ(d.written, 30u);
  EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), "abcdabcdabcdabcd!bcd!bcd!bcd!b");
}

TEST(Rar20Unpacker, ShortDistanceSymbolsCopyTwoBytes) {
  Bits b;
  PutTables(b, FlatLengths(), false, {});
  std::string lit = "0123456789";
  for (char c : lit) b.Put(static_cast<std::uint8_t>(c), kMainBits);
  // 262: base 4 + 1 + 2 extra bits; extra 3 -> distance 8.
  b.Put(262, kMainBits);
  b.Put(3, 2);
  Decoded d = Decode(b.Finish(), 12);
  EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), "012345678923");
}

TEST(Rar20Unpacker, TableReadsWithAndWithoutKeptLengths) {
  Bits b;
  auto flat = FlatLengths();
  PutTables(b, flat, false, {});
  b.Put('a', kMainBits);
  // 269, then tables given as differences: every main code becomes 10 bits long.
  b.Put(269, kMainBits);
  auto wider = FlatLengths(10);
  PutTables(b, wider, true, flat);
  b.Put('b', 10);
  b.Put(269, 10);
  // Bit 14 clear: the same lengths written out in full, not as differences.
  PutTables(b, flat, false, {});
  b.Put('c', kMainBits);
  Decoded d = Decode(b.Finish(), 3);
  EXPECT_EQ(d.written, 3u);
  EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), "abc");
}

TEST(Rar20Unpacker, OutputBeyondTheWindowWrapsAndComesOutInOrder) {
  Bits b;
  PutTables(b, FlatLengths(), false, {});
  for (int i = 0; i < 256; ++i) b.Put(i, kMainBits);
  PutMatch(b, 256, 256);
  const std::uint32_t total = media::kRarWindowSize + 256 * 1172;
  for (std::uint32_t n = 512; n < total; n += 256) b.Put(256, kMainBits);
  Decoded d = Decode(b.Finish(), total);
  ASSERT_EQ(d.written, total);
  std::uint32_t wrong = 0;
  for (std::uint32_t i = 0; i < total; ++i) wrong += d.bytes[i] != static_cast<std::uint8_t>(i);
  EXPECT_EQ(wrong, 0u);
}

TEST(Rar20Unpacker, MatchRunningPastTheMemberEndDeliversNothingMore) {
  Bits b;
  PutTables(b, FlatLengths(), false, {});
  b.Put('q', kMainBits);
  PutMatch(b, 20, 1);
  Decoded d = Decode(b.Finish(), 8);
  // The member ends inside the match; the final delivery would overflow the output and
  // is refused, so the CRC check of the reader sees short output.
  EXPECT_LT(d.written, 8u);
}

TEST(Rar20Unpacker, TruncatedStreamStopsInsteadOfDecodingForever) {
  Bits b;
  PutTables(b, FlatLengths(), false, {});
  for (int i = 0; i < 100; ++i) b.Put('m', kMainBits);
  auto packed = b.Finish();
  packed.resize(packed.size() - 60);
  // Claims far more output than the packed bytes hold.
  Decoded d = Decode(packed, 5'000'000);
  EXPECT_LT(d.written, 5'000'000u);
}

TEST(Rar20Unpacker, AudioPredictorAdaptsWeightsEvery32Bytes) {
  media::AudioChannelState v{};
  std::int32_t channelDelta = 0;
  // A steady ramp: the byte rises by 3 every step. The first delta decodes to 0 - s.
  std::vector<std::uint8_t> outBytes;
  for (int i = 0; i < 64; ++i) outBytes.push_back(media::DecodeAudioByte(v, channelDelta, 0xFD));
  EXPECT_EQ(outBytes[0], 3);
  EXPECT_EQ(v.byteCount, 64u);
  // After two adaptation points some weight has moved off zero, within its bounds.
  int moved = (v.K1 != 0) + (v.K2 != 0) + (v.K3 != 0) + (v.K4 != 0) + (v.K5 != 0);
  EXPECT_GT(moved, 0);
  for (int k : {v.K1, v.K2, v.K3, v.K4, v.K5}) {
    EXPECT_GE(k, -17);
    EXPECT_LE(k, 16);
  }
  for (std::uint32_t dif : v.dif) EXPECT_EQ(dif, 0u);  // sums start over after adapting
}

}  // namespace

// A window reused for a new stream reads as zeros before the stream's first byte, however
// far the previous stream wrote (its last match running past its end included).
TEST(Rar20Unpacker, AReusedWindowReadsAsZerosBeforeTheFirstWrittenByte) {
  // The window is never cleared: whatever it held reads as zeros to a new stream.
  std::vector<std::uint8_t> window(media::kRarWindowSize, 0xEE);
  Rar20Unpacker unpacker;
  unpacker.Reset();
  auto run = [&](const std::vector<std::uint8_t>& packed, std::uint32_t unpacked) {
    MediaArchive archive{packed.data(), static_cast<std::uint32_t>(packed.size()), 0};
    Decoded d;
    d.bytes.assign(unpacked, 0xEE);
    unpacker.DecompressMember(window.data(), archive, static_cast<std::uint32_t>(packed.size()), unpacked, false,
                              d.bytes.data(), &d.written);
    return d;
  };
  Bits dirty;
  PutTables(dirty, FlatLengths(), false, {});
  for (int i = 0; i < 300; ++i) dirty.Put('x', kMainBits);
  PutMatch(dirty, 250, 1);
  run(dirty.Finish(), 400);
  ASSERT_EQ(window[0], 'x');
  ASSERT_EQ(window[549], 'x');  // the match's bytes past the member's end

  unpacker.Reset();
  Bits reach;
  PutTables(reach, FlatLengths(), false, {});
  PutMatch(reach, 40, 100);  // 100 back from position 0: the far end of the window
  reach.Put('k', kMainBits);
  PutMatch(reach, 30, media::kRarWindowSize - 100);  // wraps round to 141..170, the first stream's bytes
  Decoded d = run(reach.Finish(), 71);
  ASSERT_EQ(d.written, 71u);
  std::vector<std::uint8_t> want(71, 0);
  want[40] = 'k';
  EXPECT_EQ(d.bytes, want);

  // A repeated distance before any match is 0: the bytes at the write position itself,
  // which this stream has not written (the first stream's 'x' lies there).
  unpacker.Reset();
  Bits self;
  PutTables(self, FlatLengths(), false, {});
  for (int i = 0; i < 80; ++i) self.Put('y', kMainBits);
  self.Put(257, kMainBits);
  self.Put(2, kRepBits);  // length 4
  ASSERT_EQ(window[81], 'x');
  d = run(self.Finish(), 84);
  want.assign(84, 'y');
  std::fill(want.begin() + 80, want.end(), 0);
  EXPECT_EQ(d.bytes, want);
}
