// RAR 2.0 decompression: LZ77 over a 1 MiB window with canonical Huffman codes, and the
// multimedia mode with adaptive per-channel predictors. The state runs on from one member
// into the next in solid archives.
#pragma once

#include <cstdint>

#include "media/media_archive.h"

namespace media {

constexpr std::uint32_t kRarWindowSize = 0x100000;
constexpr std::uint32_t kRarWindowMask = kRarWindowSize - 1;
constexpr std::uint32_t kRarInputSize = 8192;

constexpr int kMainSymbols = 298;
constexpr int kDistSymbols = 48;
constexpr int kRepSymbols = 28;
constexpr int kBitLengthSymbols = 19;
constexpr int kAudioSymbols = 257;
constexpr int kLzTableLengths = kMainSymbols + kDistSymbols + kRepSymbols;  // 374
constexpr int kMaxTableLengths = 4 * kAudioSymbols;                       // 1028

extern const std::uint8_t kLengthBits[28];
extern const std::uint32_t kLengthBase[28];
extern const std::uint8_t kDistBits[48];
extern const std::uint32_t kDistBase[48];
extern const std::uint8_t kShortDistBits[8];
extern const std::uint32_t kShortDistBase[8];

// Canonical Huffman decoding table. `limit` and `firstIndex` drive the exact decode; the
// quick tables answer codes of up to quickBits (at most kQuickBits) bits with one lookup.
struct HuffmanTable {
  static constexpr int kQuickBits = 11;
  int symbolCount = 0;
  unsigned quickBits = 1;
  std::uint32_t limit[16] = {};
  std::uint32_t firstIndex[16] = {};
  std::uint16_t symbols[kMainSymbols] = {};
  // Indexed by the next quickBits bits of input: the code's length (0: longer than
  // quickBits) and its symbol. Apart, so that the length, which the next lookup waits
  // for, comes from a load of its own.
  std::uint8_t quickLength[1 << kQuickBits] = {};
  std::uint16_t quickSymbol[1 << kQuickBits] = {};

  // With `full`, quickBits is kQuickBits whatever the lengths (the hot tables, decoded
  // with a fixed shift); otherwise no more than the longest code needs.
  void Build(const std::uint8_t* lengths, int size, bool full = false);
};

struct AudioChannelState {
  std::int32_t K1, K2, K3, K4, K5;
  std::int32_t D1, D2, D3, D4;
  std::int32_t lastDelta;
  std::uint32_t dif[11];
  std::uint32_t byteCount;
  std::int32_t lastChar;
};

// One step of the multimedia predictor: turns the coded delta `s` into the output byte
// and adapts the channel's weights. channelDelta is shared by all channels.
std::uint8_t DecodeAudioByte(AudioChannelState& v, std::int32_t& channelDelta, unsigned s);

class Rar20Unpacker {
 public:
  // Forgets everything; the next member starts a new stream. The window's contents do not
  // matter: a stream never reads a byte it has not written (what lies before its first
  // byte reads as zeros), so a window is neither cleared nor needs to start zeroed.
  void Reset();

  // Decodes one member whose packed data starts at archive.offset. `window` is the
  // caller's 1 MiB window. With `out` non-null the member's bytes are appended to it at
  // *written (capacity unpackedSize); with `out` null they are decoded and discarded.
  void DecompressMember(std::uint8_t* window, MediaArchive& archive, std::uint32_t packedSize,
                        std::uint32_t unpackedSize, bool solid, std::uint8_t* out,
                        std::uint32_t* written);

 private:
  std::uint32_t Peek() const;
  void Skip(unsigned n) { bitPos_ += n; }
  std::uint32_t Extra(unsigned width);
  unsigned DecodeSymbol(const HuffmanTable& t);
  std::uint32_t ReadPacked(std::uint8_t* dst, std::uint32_t request);
  void FillInput(bool first);
  void ReadTables();
  void Deliver();
  void RunLz();
  void RunAudio();
  void EndOfMember();

  // Input.
  std::uint8_t in_[kRarInputSize + 16] = {};
  std::uint32_t bitPos_ = 0;  // in_byte * 8 + in_bit
  std::uint32_t inTop_ = 0;     // in_top as the format defines it
  std::uint32_t validTop_ = 0;  // bytes of real input in the buffer
  std::uint32_t packedLeft_ = 0;
  MediaArchive* archive_ = nullptr;
  // Output.
  std::uint8_t* window_ = nullptr;
  // Bytes the current stream wrote into the window (from position 0 on) before this member.
  std::uint64_t windowUsed_ = 0;
  // out_left at the start of this member: windowUsed_ + memberStart_ - out_left is the
  // stream's byte count so far.
  std::int64_t memberStart_ = 0;
  std::uint32_t windowPos_ = 0;
  std::uint32_t flushPos_ = 0;
  std::int64_t outLeft_ = 0;
  std::uint8_t* out_ = nullptr;
  std::uint32_t outCapacity_ = 0;
  std::uint32_t* written_ = nullptr;
  // Codes.
  HuffmanTable main_, dist_, rep_, bitLength_;
  HuffmanTable audio_[4];
  std::uint8_t previousLengths_[kMaxTableLengths] = {};
  // History.
  std::uint32_t ring_[4] = {};
  std::uint32_t ringIndex_ = 0;
  std::uint32_t lastDistance_ = 0;
  std::uint32_t lastLength_ = 0;
  bool audioMode_ = false;
  int channelCount_ = 1;
  int currentChannel_ = 0;
  std::int32_t channelDelta_ = 0;
  AudioChannelState channels_[4] = {};
};

}  // namespace media
