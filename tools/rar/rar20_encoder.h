// RAR 2.0 compression: LZ77 over the 1 MiB window with a hash-chain match finder, lazy
// matching and the format's repeated-distance and short-distance symbols, canonical
// Huffman codes of at most 15 bits rebuilt per block, and the multimedia mode
// (per-channel delta coding with the format's adaptive predictor), chosen per block when it
// codes shorter or always when asked for.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace rarpack {

struct EncoderOptions {
  int level = 3;  // 1 fastest .. 5 best
  // 0: multimedia blocks where they code shorter; -1: never; 1..4: always, with that many
  // channels; 5: always, with the channel count that codes shortest.
  int multimedia = 0;
};

struct EncoderStats {
  std::uint64_t lzBlocks = 0;
  std::uint64_t audioBlocks = 0;
  std::uint64_t tableReads = 0;
  int lastChannels = 0;  // channel count of the last multimedia block
};

class Rar20Encoder {
 public:
  explicit Rar20Encoder(const EncoderOptions& options);
  ~Rar20Encoder();
  Rar20Encoder(const Rar20Encoder&) = delete;
  Rar20Encoder& operator=(const Rar20Encoder&) = delete;

  // Starts a new stream: the next member is decoded from fresh state (solid flag clear).
  void ResetStream();
  // Packs the next member of the stream (size > 0). After the first member of a stream the
  // packed data continues the stream: such members carry the solid flag.
  std::vector<std::uint8_t> EncodeMember(const std::uint8_t* data, std::size_t size);

  const EncoderStats& Stats() const { return stats_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  EncoderStats stats_;
};

}  // namespace rarpack
