// Mixes any number of decoded streams into interleaved 16-bit stereo at the output rate, with a
// master volume. Thread-safe: the output thread calls Mix while the program's thread creates,
// plays, queries and frees streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio/ogg_stream.h"

namespace bass {

class Mixer {
 public:
  explicit Mixer(std::uint32_t outputRate);
  ~Mixer();

  std::uint32_t outputRate() const { return outputRate_; }

  // Takes the stream; returns its handle (never 0).
  std::uint32_t Add(std::unique_ptr<OggStream> stream, bool loop);
  bool Free(std::uint32_t handle);
  // flush: restart from the first sample; otherwise resume (a stream that ran to its end
  // starts again from the beginning).
  bool Play(std::uint32_t handle, bool flush, bool loop);
  void StopAll();

  struct Info {
    std::uint32_t rate = 0;
    std::uint32_t channels = 0;
    std::uint64_t lengthBytes = 0;
    std::uint64_t positionBytes = 0;  // bytes of the stream's own PCM already mixed
    bool playing = false;
    bool loop = false;
    std::uint32_t level = 0;  // peaks of the last block: left low word, right high word
  };
  bool Query(std::uint32_t handle, Info* info) const;
  std::size_t StreamCount() const;

  void SetVolume(std::uint32_t volume);  // 0..100, clamped
  std::uint32_t Volume() const;

  // Writes `frames` stereo frames of the mix (silence when nothing plays).
  void Mix(std::int16_t* out, std::size_t frames);

 private:
  struct Channel;
  bool Prime(Channel& c);
  bool Pull(Channel& c, std::int32_t frame[2]);
  void MixChannel(Channel& c, std::int32_t* acc, std::size_t frames);
  Channel* Find(std::uint32_t handle) const;

  const std::uint32_t outputRate_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Channel>> channels_;
  std::vector<std::int32_t> accumulator_;
  std::uint32_t nextHandle_ = 1;
  std::uint32_t volume_ = 100;
};

}  // namespace bass
