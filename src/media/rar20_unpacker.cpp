#include "media/rar20_unpacker.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace media {

const std::uint32_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10,  12,  14,  16,  20,
                                       24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
const std::uint8_t kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                      2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
const std::uint32_t kDistBase[48] = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
const std::uint8_t kDistBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                    7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                                    15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
const std::uint32_t kShortDistBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
const std::uint8_t kShortDistBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

namespace {

// Refill points, as bit positions: before a main-loop symbol when in_byte > 8162, at the
// start of a table read when in_byte > 8167, before a table-length symbol when > 8187.
constexpr std::uint32_t kRefillLoop = 8163 * 8;
constexpr std::uint32_t kRefillTables = 8168 * 8;
constexpr std::uint32_t kRefillLengths = 8188 * 8;
constexpr std::uint32_t kKeepBytes = 32;
// Deliver once the undelivered stretch comes this close to the whole window.
constexpr std::uint32_t kDeliverMargin = 270;
// Most input one LZ symbol takes with its extra bits and distance (15 + 5 + 15 + 16 bits),
// and most output it makes (a match of 255 + 5).
constexpr std::uint32_t kMostBitsPerSymbol = 51;
constexpr std::uint32_t kMostBytesPerSymbol = 260;

// The next 16 bits: bytes in_byte..in_byte+2 as a big-endian number, shifted by in_bit.
// Reads one byte more than that; the buffer has padding for it.
inline std::uint32_t PeekAt(const std::uint8_t* in, std::uint32_t bitPos) {
  std::uint32_t v;
  std::memcpy(&v, in + (bitPos >> 3), 4);
  v = __builtin_bswap32(v);
  return ((v << (bitPos & 7)) >> 16) & 0xFFFF;
}

// The exact decode of a code longer than quickBits, or of a bit pattern no code covers.
inline unsigned DecodeSlow(const HuffmanTable& t, std::uint32_t v, unsigned& length) {
  v &= 0xFFFE;
  unsigned n = t.quickBits + 1;
  while (n < 15 && v >= t.limit[n]) ++n;
  length = n;
  std::uint32_t index = t.firstIndex[n] + ((v - t.limit[n - 1]) >> (16 - n));
  if (index >= static_cast<std::uint32_t>(t.symbolCount)) index = 0;
  return t.symbols[index];
}

inline unsigned DecodeAt(const HuffmanTable& t, const std::uint8_t* in, std::uint32_t& bitPos) {
  std::uint32_t v = PeekAt(in, bitPos);
  std::uint32_t q = v >> (16 - t.quickBits);
  if (unsigned n = t.quickLength[q]) {
    bitPos += n;
    return t.quickSymbol[q];
  }
  unsigned n;
  unsigned s = DecodeSlow(t, v, n);
  bitPos += n;
  return s;
}

template <typename Chunk>
inline void CopyChunk(std::uint8_t* d, const std::uint8_t* s) {
  Chunk c;
  std::memcpy(&c, s, sizeof c);
  std::memcpy(d, &c, sizeof c);
}

// Copies a match through the window, with the result of a byte-by-byte copy even where
// source and destination overlap.
inline void CopyMatch(std::uint8_t* w, std::uint32_t& pos, std::uint32_t distance, std::uint32_t length) {
  std::uint32_t src = (pos - distance) & kRarWindowMask;
  if (pos + length <= kRarWindowSize && src + length <= kRarWindowSize) {
    std::uint8_t* d = w + pos;
    const std::uint8_t* s = w + src;
    const bool ahead = src > pos;
    pos = (pos + length) & kRarWindowMask;
    if (distance >= 8 && distance <= kRarWindowSize - 8) {
      // The source lies at least 8 bytes behind or ahead: whole chunks copy the same bytes
      // a byte at a time would, and the last chunk may overlap the one before it.
      if (length >= 8) {
        for (; length > 8; length -= 8, s += 8, d += 8) CopyChunk<std::uint64_t>(d, s);
        CopyChunk<std::uint64_t>(d + length - 8, s + length - 8);
      } else if (length >= 4) {
        CopyChunk<std::uint32_t>(d, s);
        CopyChunk<std::uint32_t>(d + length - 4, s + length - 4);
      } else if (length >= 2) {
        CopyChunk<std::uint16_t>(d, s);
        CopyChunk<std::uint16_t>(d + length - 2, s + length - 2);
      } else if (length == 1) {
        *d = *s;
      }
      return;
    }
    if (distance == 1) {
      std::memset(d, *s, length);
      return;
    }
    if (ahead) {
      // Source ahead of the destination (or on it): a forward copy reads each byte before
      // it is overwritten.
      for (; length >= 8; length -= 8, s += 8, d += 8) CopyChunk<std::uint64_t>(d, s);
    }
    while (length--) *d++ = *s++;
    return;
  }
  while (length--) {
    w[pos] = w[src];
    pos = (pos + 1) & kRarWindowMask;
    src = (src + 1) & kRarWindowMask;
  }
}

// A match in a stream that has not yet filled the window, reaching before the stream's first
// byte (or, with distance 0, at the byte it is about to write): those bytes read as zeros,
// as in a window cleared for the stream, without the window having been cleared.
void CopyMatchFromStart(std::uint8_t* w, std::uint32_t& pos, std::uint32_t distance, std::uint32_t length) {
  const std::int64_t back = distance != 0 ? distance : kRarWindowSize;
  for (std::uint32_t i = 0; i < length; ++i) {
    std::int64_t from = std::int64_t{pos} + i - back;  // stream offset of the source byte
    w[(pos + i) & kRarWindowMask] = from < 0 ? 0 : w[from & kRarWindowMask];
  }
  pos = (pos + length) & kRarWindowMask;
}

// A table built from no code lengths at all, copied instead of built on every reset.
void ResetTable(HuffmanTable& t, int size) {
  static const HuffmanTable empty = [] {
    HuffmanTable e;
    const std::uint8_t none[kMainSymbols] = {};
    e.Build(none, kMainSymbols, true);
    return e;
  }();
  t = empty;
  t.symbolCount = size;
}

}  // namespace

void HuffmanTable::Build(const std::uint8_t* lengths, int size, bool full) {
  std::uint32_t count[16] = {};
  for (int i = 0; i < size; ++i) ++count[lengths[i] & 15];
  count[0] = 0;
  limit[0] = 0;
  firstIndex[0] = 0;
  std::uint32_t code = 0;
  for (int n = 1; n < 16; ++n) {
    code = 2 * (code + count[n]);
    std::uint32_t l = code << (15 - n);
    limit[n] = l > 0xFFFF ? 0xFFFF : l;
    firstIndex[n] = firstIndex[n - 1] + count[n - 1];
  }
  std::memset(symbols, 0, sizeof symbols);
  std::uint32_t next[16];
  std::memcpy(next, firstIndex, sizeof next);
  for (int i = 0; i < size; ++i) {
    int n = lengths[i] & 15;
    if (n != 0) symbols[next[n]++] = static_cast<std::uint16_t>(i);
  }
  symbolCount = size;

  // Quick tables: every prefix of quickBits bits whose code length is at most that long
  // maps to one (length, symbol). Limits are multiples of 2^(16-n) except the 0xFFFF
  // cap, which every peeked value (low bit clear) lies below. The codes of length n
  // cover runs of 2^(quickBits-n) entries, one run per code. No longer than the longest
  // code, so that small tables are cheap to build; beyond it the limits stay the same and
  // the exact decode answers as it would after a longer quick table.
  int longest = 0;
  for (int n = 1; n < 16; ++n)
    if (count[n] != 0) longest = n;
  quickBits = full || longest > kQuickBits ? kQuickBits : longest < 1 ? 1 : longest;
  const int Q = quickBits;
  std::uint32_t p = 0;
  for (int n = 1; n <= Q; ++n) {
    std::uint32_t lim = limit[n] >= 0xFFFF ? 0x10000 : limit[n];
    std::uint32_t hi = lim >> (16 - Q);
    const std::uint32_t run = 1u << (Q - n);
    for (std::uint32_t index = firstIndex[n]; p < hi; p += run, ++index) {
      std::uint32_t sym = index < static_cast<std::uint32_t>(size) ? symbols[index] : symbols[0];
      std::fill_n(quickLength + p, run, static_cast<std::uint8_t>(n));
      std::fill_n(quickSymbol + p, run, static_cast<std::uint16_t>(sym));
    }
  }
  std::fill(quickLength + p, quickLength + (1u << Q), std::uint8_t{0});
  std::fill(quickSymbol + p, quickSymbol + (1u << Q), std::uint16_t{0});
}

namespace {

// Every 32 bytes: the weight whose error sum is smallest moves one step (the first of equal
// sums wins).
void Adapt(AudioChannelState& v, const std::uint32_t* dif) {
  std::uint32_t best = dif[0];
  int which = 0;
  for (int i = 1; i < 11; ++i) {
    if (dif[i] < best) {
      best = dif[i];
      which = i;
    }
  }
  std::int32_t* k[5] = {&v.K1, &v.K2, &v.K3, &v.K4, &v.K5};
  if (which > 0) {
    std::int32_t& w = *k[(which - 1) / 2];
    if (which & 1) {
      if (w >= -16) --w;
    } else {
      if (w < 16) ++w;
    }
  }
}


// The same step for a channel whose error sums run in vector lanes: |e - Dk| and |e + Dk|
// for the four deltas at once, four sums each, in the order the scalar step keeps them.
using Lanes = std::int32_t __attribute__((vector_size(16)));
using SumLanes = std::uint32_t __attribute__((vector_size(16)));

struct FastChannel {
  AudioChannelState v;         // all but the error sums
  SumLanes minus{}, plus{};    // dif[1,3,5,7] and dif[2,4,6,8]
  SumLanes rest{};             // dif[0], dif[9], dif[10] and an unused lane

  explicit FastChannel(const AudioChannelState& s) : v(s) {
    for (int k = 0; k < 4; ++k) {
      minus[k] = s.dif[1 + 2 * k];
      plus[k] = s.dif[2 + 2 * k];
    }
    rest[0] = s.dif[0];
    rest[1] = s.dif[9];
    rest[2] = s.dif[10];
  }
  void StoreTo(AudioChannelState& s) const {
    s = v;
    SpillSums(s.dif);
  }
  void SpillSums(std::uint32_t* dif) const {
    dif[0] = rest[0];
    for (int k = 0; k < 4; ++k) {
      dif[1 + 2 * k] = minus[k];
      dif[2 + 2 * k] = plus[k];
    }
    dif[9] = rest[1];
    dif[10] = rest[2];
  }

  std::uint8_t Step(std::int32_t& channelDelta, unsigned s) {
    v.byteCount++;
    v.D4 = v.D3;
    v.D3 = v.D2;
    v.D2 = v.lastDelta - v.D1;
    v.D1 = v.lastDelta;
    std::int32_t p = 8 * v.lastChar + v.K1 * v.D1 + v.K2 * v.D2 + v.K3 * v.D3 + v.K4 * v.D4 +
                     v.K5 * channelDelta;
    p = (p >> 3) & 0xFF;
    std::int32_t c = p - static_cast<std::int32_t>(s);
    std::int32_t e = static_cast<std::int8_t>(s) * 8;
    const Lanes d = {v.D1, v.D2, v.D3, v.D4};
    const Lanes es = {e, e, e, e};
    const Lanes r = {0, channelDelta, -channelDelta, 0};
    minus += reinterpret_cast<SumLanes>(AbsLanes(es - d));
    plus += reinterpret_cast<SumLanes>(AbsLanes(es + d));
    rest += reinterpret_cast<SumLanes>(AbsLanes(es - r));
    v.lastDelta = channelDelta = static_cast<std::int8_t>(c - v.lastChar);
    v.lastChar = c;
    if ((v.byteCount & 0x1F) == 0) {
      std::uint32_t dif[11];
      SpillSums(dif);
      Adapt(v, dif);
      minus = plus = rest = SumLanes{};
    }
    return static_cast<std::uint8_t>(c & 0xFF);
  }

  static Lanes AbsLanes(Lanes x) {
    const Lanes m = x >> 31;
    return (x ^ m) - m;
  }
};

}  // namespace

std::uint8_t DecodeAudioByte(AudioChannelState& v, std::int32_t& channelDelta, unsigned s) {
  v.byteCount++;
  v.D4 = v.D3;
  v.D3 = v.D2;
  v.D2 = v.lastDelta - v.D1;
  v.D1 = v.lastDelta;
  std::int32_t p = 8 * v.lastChar + v.K1 * v.D1 + v.K2 * v.D2 + v.K3 * v.D3 + v.K4 * v.D4 +
                   v.K5 * channelDelta;
  p = (p >> 3) & 0xFF;
  std::int32_t c = p - static_cast<std::int32_t>(s);
  std::int32_t e = static_cast<std::int8_t>(s) * 8;
  v.dif[0] += std::abs(e);
  v.dif[1] += std::abs(e - v.D1);
  v.dif[2] += std::abs(e + v.D1);
  v.dif[3] += std::abs(e - v.D2);
  v.dif[4] += std::abs(e + v.D2);
  v.dif[5] += std::abs(e - v.D3);
  v.dif[6] += std::abs(e + v.D3);
  v.dif[7] += std::abs(e - v.D4);
  v.dif[8] += std::abs(e + v.D4);
  v.dif[9] += std::abs(e - channelDelta);
  v.dif[10] += std::abs(e + channelDelta);
  v.lastDelta = channelDelta = static_cast<std::int8_t>(c - v.lastChar);
  v.lastChar = c;
  if ((v.byteCount & 0x1F) == 0) {
    Adapt(v, v.dif);
    std::memset(v.dif, 0, sizeof v.dif);
  }
  return static_cast<std::uint8_t>(c & 0xFF);
}

void Rar20Unpacker::Reset() {
  windowUsed_ = 0;
  memberStart_ = 0;
  std::memset(in_, 0, sizeof in_);
  bitPos_ = inTop_ = validTop_ = packedLeft_ = 0;
  archive_ = nullptr;
  window_ = nullptr;
  windowPos_ = flushPos_ = 0;
  outLeft_ = 0;
  out_ = nullptr;
  outCapacity_ = 0;
  written_ = nullptr;
  ResetTable(main_, kMainSymbols);
  ResetTable(dist_, kDistSymbols);
  ResetTable(rep_, kRepSymbols);
  ResetTable(bitLength_, kBitLengthSymbols);
  for (auto& t : audio_) ResetTable(t, kAudioSymbols);
  std::memset(previousLengths_, 0, sizeof previousLengths_);
  std::memset(ring_, 0, sizeof ring_);
  ringIndex_ = lastDistance_ = lastLength_ = 0;
  audioMode_ = false;
  channelCount_ = 1;
  currentChannel_ = 0;
  channelDelta_ = 0;
  std::memset(channels_, 0, sizeof channels_);
}

std::uint32_t Rar20Unpacker::Peek() const { return PeekAt(in_, bitPos_); }

std::uint32_t Rar20Unpacker::Extra(unsigned width) {
  if (width == 0) return 0;
  std::uint32_t v = Peek() >> (16 - width);
  Skip(width);
  return v;
}

unsigned Rar20Unpacker::DecodeSymbol(const HuffmanTable& t) { return DecodeAt(t, in_, bitPos_); }

std::uint32_t Rar20Unpacker::ReadPacked(std::uint8_t* dst, std::uint32_t request) {
  std::uint32_t n = request < packedLeft_ ? request : packedLeft_;
  if (n == 0) return 0;
  std::uint32_t got = ReadArchive(*archive_, dst, n);
  packedLeft_ -= got;
  return got;
}

void Rar20Unpacker::FillInput(bool first) {
  if (first) {
    inTop_ = validTop_ = ReadPacked(in_, kRarInputSize);
    bitPos_ = 0;
    return;
  }
  std::memmove(in_, in_ + kRarInputSize - kKeepBytes, kKeepBytes);
  std::uint32_t inByte = (bitPos_ >> 3) % kKeepBytes;
  bitPos_ = inByte * 8 + (bitPos_ & 7);
  std::uint32_t got = ReadPacked(in_ + kKeepBytes, kRarInputSize - kKeepBytes);
  inTop_ = got != 0 ? got + kKeepBytes : inByte;
  // What the buffer really holds: the kept bytes were valid input as well.
  validTop_ = validTop_ > kRarInputSize - kKeepBytes ? validTop_ - (kRarInputSize - kKeepBytes) : 0;
  if (got != 0) validTop_ = got + kKeepBytes;
}

void Rar20Unpacker::ReadTables() {
  if (bitPos_ >= kRefillTables) FillInput(false);
  std::uint32_t b = Peek();
  audioMode_ = (b & 0x8000) != 0;
  if ((b & 0x4000) == 0) std::memset(previousLengths_, 0, sizeof previousLengths_);
  Skip(2);
  int count;
  if (audioMode_) {
    channelCount_ = static_cast<int>((b >> 12) & 3) + 1;
    if (currentChannel_ >= channelCount_) currentChannel_ = 0;
    Skip(2);
    count = kAudioSymbols * channelCount_;
  } else {
    count = kLzTableLengths;
  }
  std::uint8_t bitLengths[kBitLengthSymbols];
  for (auto& l : bitLengths) {
    l = static_cast<std::uint8_t>(Peek() >> 12);
    Skip(4);
  }
  bitLength_.Build(bitLengths, kBitLengthSymbols);

  std::uint8_t lengths[kMaxTableLengths] = {};
  for (int i = 0; i < count;) {
    if (bitPos_ >= kRefillLengths) FillInput(false);
    unsigned sym = DecodeSymbol(bitLength_);
    if (sym < 16) {
      lengths[i] = static_cast<std::uint8_t>((sym + previousLengths_[i]) & 15);
      ++i;
    } else if (sym == 16) {
      int n = static_cast<int>(Peek() >> 14) + 3;
      Skip(2);
      std::uint8_t prev = i > 0 ? lengths[i - 1] : 0;
      while (n-- > 0 && i < count) lengths[i++] = prev;
    } else {
      int n;
      if (sym == 17) {
        n = static_cast<int>(Peek() >> 13) + 3;
        Skip(3);
      } else {
        n = static_cast<int>(Peek() >> 9) + 11;
        Skip(7);
      }
      while (n-- > 0 && i < count) lengths[i++] = 0;
    }
  }
  if (audioMode_) {
    for (int c = 0; c < channelCount_; ++c) audio_[c].Build(lengths + c * kAudioSymbols, kAudioSymbols, true);
  } else {
    main_.Build(lengths, kMainSymbols, true);
    dist_.Build(lengths + kMainSymbols, kDistSymbols);
    rep_.Build(lengths + kMainSymbols + kDistSymbols, kRepSymbols);
  }
  // Positions beyond this read count as zero for the next one.
  std::memcpy(previousLengths_, lengths, sizeof previousLengths_);
}

void Rar20Unpacker::Deliver() {
  if (out_ != nullptr) {
    std::uint32_t n = (windowPos_ - flushPos_) & kRarWindowMask;
    if (std::uint64_t{*written_} + n > outCapacity_) {
      // Ends the member (kept below -1 where a match ran past the end, so that the
      // count of bytes written into the window stays right).
      if (outLeft_ > -1) outLeft_ = -1;
    } else if (n != 0) {
      std::uint8_t* dst = out_ + *written_;
      if (windowPos_ < flushPos_) {
        std::uint32_t tail = kRarWindowSize - flushPos_;
        std::memcpy(dst, window_ + flushPos_, tail);
        std::memcpy(dst + tail, window_, windowPos_);
      } else {
        std::memcpy(dst, window_ + flushPos_, n);
      }
      *written_ += n;
    }
  }
  flushPos_ = windowPos_;
}

// Checks done before every symbol: refill, running past the end of the packed data (a
// damaged stream; the member ends short and fails its CRC), and delivery.
#define RAR_LOOP_CHECKS(onRefill)                                                       \
  if (bitPos >= checkAt) {                                                         \
    if (bitPos >= kRefillLoop) {                                                   \
      bitPos_ = bitPos;                                                            \
      FillInput(false);                                                            \
      bitPos = bitPos_;                                                            \
      onRefill;                                                                    \
    }                                                                              \
    if (bitPos > validTop_ * 8) {                                                  \
      outLeft = -1;                                                                \
      break;                                                                       \
    }                                                                              \
    checkAt = validTop_ * 8 + 1 < kRefillLoop ? validTop_ * 8 + 1 : kRefillLoop;   \
  }                                                                                \
  /* flush_pos != window_pos and (flush_pos - window_pos) mod 2^20 < 270 */        \
  if (((wpos - flush) & kRarWindowMask) > kRarWindowSize - kDeliverMargin) {      \
    windowPos_ = wpos;                                                             \
    outLeft_ = outLeft;                                                            \
    Deliver();                                                                     \
    flush = flushPos_;                                                             \
    outLeft = outLeft_;                                                            \
    if (outLeft < 0) break;                                                        \
  }

// Bits of the input held in a register, most significant first: the top `avail` bits of
// `bits` are the input from the bit position on; `next` is the first byte not yet taken in.
// A refill tops it up to at least 56 bits without a branch, so one refill covers a whole LZ
// symbol with its extra bits and distance.
struct BitCache {
  std::uint64_t bits = 0;
  unsigned avail = 0;
  const std::uint8_t* next = nullptr;

  void Start(const std::uint8_t* in, std::uint32_t bitPos) {
    next = in + (bitPos >> 3);
    bits = 0;
    avail = 0;
    Refill();
    Skip(bitPos & 7);
  }
  // Reads 8 bytes at `next`: the input buffer has that much padding past any bit position
  // a run of symbols can reach.
  void Refill() {
    std::uint64_t v;
    std::memcpy(&v, next, 8);
    bits |= __builtin_bswap64(v) >> avail;  // the bits below `avail` are the same input
    next += (63 - avail) >> 3;
    avail |= 56;
  }
  std::uint32_t BitPos(const std::uint8_t* in) const {
    return static_cast<std::uint32_t>(next - in) * 8 - avail;
  }
  std::uint32_t Peek16() const { return static_cast<std::uint32_t>(bits >> 48); }
  void Skip(unsigned n) {
    bits <<= n;
    avail -= n;
  }
  std::uint32_t Take(unsigned n) {  // n in 1..16
    std::uint32_t v = static_cast<std::uint32_t>(bits >> (64 - n));
    Skip(n);
    return v;
  }
  // A table built `full` (main and multimedia) decodes with a fixed shift.
  template <bool kFull = false>
  unsigned Decode(const HuffmanTable& t) {
    const unsigned quickBits = kFull ? HuffmanTable::kQuickBits : t.quickBits;
    std::uint32_t q = static_cast<std::uint32_t>(bits >> (64 - quickBits));
    if (unsigned n = t.quickLength[q]) {
      Skip(n);
      return t.quickSymbol[q];
    }
    unsigned n;
    unsigned s = DecodeSlow(t, Peek16(), n);
    Skip(n);
    return s;
  }
};

void Rar20Unpacker::RunLz() {
  std::uint32_t bitPos = bitPos_;
  std::uint32_t wpos = windowPos_;
  std::int64_t outLeft = outLeft_;
  std::uint8_t* const w = window_;
  const std::uint8_t* const in = in_;
  std::uint32_t checkAt = 0;
  std::uint32_t flush = flushPos_;
  // The match history in registers (window stores could alias the members).
  std::uint32_t ring[4] = {ring_[0], ring_[1], ring_[2], ring_[3]};
  std::uint32_t ringIndex = ringIndex_, lastDistance = lastDistance_, lastLength = lastLength_;
  // The stream's byte count is streamBytes - outLeft.
  const std::int64_t streamBytes = static_cast<std::int64_t>(windowUsed_) + memberStart_;
  BitCache c;
  while (outLeft >= 0) {
    RAR_LOOP_CHECKS((void)0)
    // The checks cannot fire for this many symbols in a row: none of them can reach the
    // refill point or the end of the input, the delivery margin or the member's end.
    std::uint32_t run = std::min((checkAt - 1 - bitPos) / kMostBitsPerSymbol,
                                 (kRarWindowSize - kDeliverMargin - ((wpos - flush) & kRarWindowMask)) /
                                     kMostBytesPerSymbol);
    run = 1 + static_cast<std::uint32_t>(std::min<std::int64_t>(run, outLeft / kMostBytesPerSymbol));
    bool newTables = false;
    c.Start(in, bitPos);  // a refill may have moved the bytes under bitPos
    do {
      c.Refill();
      unsigned s = c.Decode<true>(main_);
      if (s < 256) {
        // Two literals leave at least 26 bits: enough for a third symbol's code without a
        // refill, which keeps the refill out of the way of the next lookups.
        w[wpos] = static_cast<std::uint8_t>(s);
        wpos = (wpos + 1) & kRarWindowMask;
        --outLeft;
        if (--run == 0) break;
        s = c.Decode<true>(main_);
        if (s < 256) {
          w[wpos] = static_cast<std::uint8_t>(s);
          wpos = (wpos + 1) & kRarWindowMask;
          --outLeft;
          if (--run == 0) break;
          s = c.Decode<true>(main_);
          if (s < 256) {
            w[wpos] = static_cast<std::uint8_t>(s);
            wpos = (wpos + 1) & kRarWindowMask;
            --outLeft;
            continue;
          }
        }
        c.Refill();  // for the extra bits and distance
      }
      std::uint32_t length, distance;
      if (s > 269) {
        unsigned k = s - 270;
        length = kLengthBase[k] + 3;
        if (unsigned bits = kLengthBits[k]) length += c.Take(bits);
        unsigned d = c.Decode(dist_);
        distance = kDistBase[d] + 1;
        if (unsigned bits = kDistBits[d]) distance += c.Take(bits);
        if (distance >= 0x2000) {
          ++length;
          if (distance >= 0x40000) ++length;
        }
      } else if (s == 269) {
        bitPos_ = c.BitPos(in);
        ReadTables();
        bitPos = bitPos_;
        newTables = true;
        break;
      } else if (s == 256) {
        length = lastLength;
        distance = lastDistance;
      } else if (s > 260) {
        unsigned k = s - 261;
        distance = kShortDistBase[k] + 1 + c.Take(kShortDistBits[k]);
        length = 2;
      } else {
        distance = ring[(ringIndex - (s - 256)) & 3];
        unsigned r = c.Decode(rep_);
        length = kLengthBase[r] + 2;
        if (unsigned bits = kLengthBits[r]) length += c.Take(bits);
        if (distance >= 0x101) {
          ++length;
          if (distance >= 0x2000) {
            ++length;
            if (distance >= 0x40000) ++length;
          }
        }
      }
      ring[ringIndex++ & 3] = distance;
      lastDistance = distance;
      lastLength = length;
      // Until the stream fills the window, wpos is its byte count: a match from further back
      // (or from distance 0) would read bytes it never wrote.
      if ((distance > wpos || distance == 0) &&
          streamBytes - outLeft < kRarWindowSize)
        CopyMatchFromStart(w, wpos, distance, length);
      else
        CopyMatch(w, wpos, distance, length);
      outLeft -= length;
    } while (--run != 0);
    if (newTables) {
      checkAt = 0;
      if (audioMode_) break;
    } else {
      bitPos = c.BitPos(in);
    }
  }
  std::memcpy(ring_, ring, sizeof ring_);
  ringIndex_ = ringIndex;
  lastDistance_ = lastDistance;
  lastLength_ = lastLength;
  bitPos_ = bitPos;
  windowPos_ = wpos;
  outLeft_ = outLeft;
}

void Rar20Unpacker::RunAudio() {
  std::uint32_t bitPos = bitPos_;
  std::uint32_t wpos = windowPos_;
  std::int64_t outLeft = outLeft_;
  std::uint8_t* const w = window_;
  const std::uint8_t* const in = in_;
  std::uint32_t checkAt = 0;
  std::uint32_t flush = flushPos_;
  // The predictors in locals: window stores cannot alias them, so a single channel's state
  // stays in registers.
  FastChannel channels[4] = {FastChannel(channels_[0]), FastChannel(channels_[1]), FastChannel(channels_[2]),
                             FastChannel(channels_[3])};
  std::int32_t channelDelta = channelDelta_;
  int current = currentChannel_;
  BitCache c;
  while (outLeft >= 0) {
    RAR_LOOP_CHECKS((void)0)
    // As in RunLz, with symbols of at most 15 bits making one byte each.
    std::uint32_t run = std::min((checkAt - 1 - bitPos) / 15,
                                 kRarWindowSize - kDeliverMargin - ((wpos - flush) & kRarWindowMask));
    run = 1 + static_cast<std::uint32_t>(std::min<std::int64_t>(run, outLeft));
    bool newTables = false;
    c.Start(in, bitPos);
    if (channelCount_ == 1) {
      FastChannel v = channels[current];
      const HuffmanTable& t = audio_[current];
      do {
        c.Refill();
        unsigned s = c.Decode<true>(t);
        if (s == 256) {
          newTables = true;
          break;
        }
        w[wpos] = v.Step(channelDelta, s);
        wpos = (wpos + 1) & kRarWindowMask;
        --outLeft;
      } while (--run != 0);
      channels[current] = v;
    } else {
      do {
        c.Refill();
        unsigned s = c.Decode<true>(audio_[current]);
        if (s == 256) {
          newTables = true;
          break;
        }
        w[wpos] = channels[current].Step(channelDelta, s);
        wpos = (wpos + 1) & kRarWindowMask;
        if (++current >= channelCount_) current = 0;
        --outLeft;
      } while (--run != 0);
    }
    if (newTables) {
      bitPos_ = c.BitPos(in);
      currentChannel_ = current;
      ReadTables();
      current = currentChannel_;
      bitPos = bitPos_;
      checkAt = 0;
      if (!audioMode_) break;
    } else {
      bitPos = c.BitPos(in);
    }
  }
  for (int k = 0; k < 4; ++k) channels[k].StoreTo(channels_[k]);
  channelDelta_ = channelDelta;
  currentChannel_ = current;
  bitPos_ = bitPos;
  windowPos_ = wpos;
  outLeft_ = outLeft;
}

#undef RAR_LOOP_CHECKS

void Rar20Unpacker::DecompressMember(std::uint8_t* window, MediaArchive& archive, std::uint32_t packedSize,
                                     std::uint32_t unpackedSize, bool solid, std::uint8_t* out,
                                     std::uint32_t* written) {
  archive_ = &archive;
  window_ = window;
  out_ = out;
  outCapacity_ = unpackedSize;
  written_ = written;
  packedLeft_ = packedSize;
  bitPos_ = 0;
  if (!solid) {
    currentChannel_ = 0;
    channelDelta_ = 0;
    std::memset(channels_, 0, sizeof channels_);
    std::memset(ring_, 0, sizeof ring_);
    ringIndex_ = 0;
    lastLength_ = lastDistance_ = 0;
    windowUsed_ = 0;
    std::memset(previousLengths_, 0, sizeof previousLengths_);
    windowPos_ = flushPos_ = 0;
  }
  FillInput(true);
  if (!solid) ReadTables();
  outLeft_ = memberStart_ = static_cast<std::int64_t>(unpackedSize) - 1;
  while (outLeft_ >= 0) {
    if (audioMode_) {
      RunAudio();
    } else {
      RunLz();
    }
  }
  // Every byte written moved out_left down by one.
  windowUsed_ += static_cast<std::uint64_t>(memberStart_ - outLeft_);
  EndOfMember();
  archive_ = nullptr;
  out_ = nullptr;
  written_ = nullptr;
}

void Rar20Unpacker::EndOfMember() {
  if (inTop_ >= (bitPos_ >> 3) + 5 && bitPos_ <= validTop_ * 8) {
    if (audioMode_) {
      if (DecodeSymbol(audio_[currentChannel_]) == 256) ReadTables();
    } else {
      if (DecodeSymbol(main_) == 269) ReadTables();
    }
  }
  Deliver();
  flushPos_ = windowPos_;
}

}  // namespace media
