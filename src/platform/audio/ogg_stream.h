// One Ogg Vorbis stream decoded from bytes in memory with libvorbisfile. The bytes are read in
// place (borrowed) or owned by the stream when it was created from a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace bass {

class OggStream {
 public:
  // Opens the stream; nullptr when the bytes are not a seekable Ogg Vorbis stream with a known
  // length, or have an unusable rate or channel count.
  static std::unique_ptr<OggStream> Open(const unsigned char* data, std::size_t size);
  static std::unique_ptr<OggStream> OpenOwned(std::vector<unsigned char> bytes);
  ~OggStream();
  OggStream(const OggStream&) = delete;
  OggStream& operator=(const OggStream&) = delete;

  std::uint32_t rate() const { return rate_; }
  std::uint32_t channels() const { return channels_; }
  std::uint64_t lengthFrames() const { return lengthFrames_; }
  std::uint64_t lengthBytes() const { return lengthFrames_ * channels_ * 2; }

  // Back to the first sample. False when the decoder cannot seek.
  bool Rewind();
  // Decodes up to `maxFrames` frames of interleaved 16-bit samples into `out`
  // (room for maxFrames * channels()). Returns frames written, 0 at the end or on a damaged
  // packet that cannot be skipped.
  std::size_t Read(std::int16_t* out, std::size_t maxFrames);

  struct Memory;  // read position over the encoded bytes (for the libvorbisfile callbacks)

 private:
  OggStream() = default;
  bool Init(const unsigned char* data, std::size_t size);

  std::vector<unsigned char> owned_;
  std::unique_ptr<Memory> memory_;
  void* vf_ = nullptr;  // OggVorbis_File, kept out of the header
  std::uint32_t rate_ = 0;
  std::uint32_t channels_ = 0;
  std::uint64_t lengthFrames_ = 0;
};

}  // namespace bass
