// Stream creation, decoding, rewinding and mixing over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/audio/mixer.h"
#include "platform/audio/ogg_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto stream = bass::OggStream::Open(data, size);
  if (!stream) return 0;
  if (stream->channels() < 1 || stream->channels() > 8 || stream->rate() == 0) __builtin_trap();
  bass::Mixer mixer(44100);
  const auto handle = mixer.Add(std::move(stream), false);
  std::vector<std::int16_t> out(2048 * 2);
  for (int pass = 0; pass < 2; ++pass) {
    if (!mixer.Play(handle, true, false)) break;
    // Bounded work per input: at most ~0.5 s of output per pass.
    for (int i = 0; i < 10; ++i) mixer.Mix(out.data(), 2048);
  }
  bass::Mixer::Info info;
  if (!mixer.Query(handle, &info) || info.positionBytes > info.lengthBytes + 4 * 2048 * 20) __builtin_trap();
  mixer.Free(handle);
  return 0;
}
