#include "platform/audio/mixer.h"

#include <algorithm>
#include <cstdlib>

namespace bass {

namespace {
constexpr std::size_t kDecodeFrames = 1024;
constexpr std::uint64_t kOne = std::uint64_t{1} << 32;  // 32.32 fixed-point resampling phase
}  // namespace

struct Mixer::Channel {
  std::uint32_t handle = 0;
  std::unique_ptr<OggStream> stream;
  bool playing = false;
  bool ended = false;  // ran to its last sample
  bool loop = false;
  std::uint64_t position = 0;  // frames of the source already passed
  std::uint64_t step = kOne;   // source frames per output frame, 32.32
  std::uint64_t phase = 0;
  std::int32_t cur[2] = {0, 0};
  std::int32_t next[2] = {0, 0};
  bool haveNext = false;
  std::vector<std::int16_t> buffer;
  std::size_t bufferPos = 0;   // frames
  std::size_t bufferCount = 0; // frames
  std::uint32_t peak[2] = {0, 0};
};

Mixer::Mixer(std::uint32_t outputRate) : outputRate_(outputRate ? outputRate : 44100) {}
Mixer::~Mixer() = default;

std::uint32_t Mixer::Add(std::unique_ptr<OggStream> stream, bool loop) {
  auto c = std::make_unique<Channel>();
  c->stream = std::move(stream);
  c->loop = loop;
  c->step = (static_cast<std::uint64_t>(c->stream->rate()) << 32) / outputRate_;
  c->buffer.resize(kDecodeFrames * c->stream->channels());
  std::lock_guard lock(mutex_);
  // Handles are never 0 and never reused while alive.
  do {
    c->handle = nextHandle_++;
    if (nextHandle_ == 0) nextHandle_ = 1;
  } while (c->handle == 0 || Find(c->handle));
  std::uint32_t h = c->handle;
  channels_.push_back(std::move(c));
  return h;
}

Mixer::Channel* Mixer::Find(std::uint32_t handle) const {
  for (const auto& c : channels_)
    if (c->handle == handle) return c.get();
  return nullptr;
}

bool Mixer::Free(std::uint32_t handle) {
  std::unique_ptr<Channel> doomed;  // destroyed (decoder freed) outside the lock
  {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(channels_.begin(), channels_.end(),
                           [&](const auto& c) { return c->handle == handle; });
    if (it == channels_.end()) return false;
    doomed = std::move(*it);
    channels_.erase(it);
  }
  return true;
}

bool Mixer::Pull(Channel& c, std::int32_t frame[2]) {
  if (c.bufferPos >= c.bufferCount) {
    c.bufferPos = 0;
    c.bufferCount = c.stream->Read(c.buffer.data(), kDecodeFrames);
    if (c.bufferCount == 0 && c.loop && c.stream->Rewind()) {
      c.bufferCount = c.stream->Read(c.buffer.data(), kDecodeFrames);
    }
    if (c.bufferCount == 0) return false;
  }
  const std::uint32_t ch = c.stream->channels();
  const std::int16_t* s = c.buffer.data() + c.bufferPos * ch;
  frame[0] = s[0];
  frame[1] = ch > 1 ? s[1] : s[0];
  ++c.bufferPos;
  return true;
}

// Loads the first two frames after a rewind; false when the stream has no samples at all.
bool Mixer::Prime(Channel& c) {
  c.bufferPos = c.bufferCount = 0;
  c.phase = 0;
  c.position = 0;
  c.ended = false;
  if (!c.stream->Rewind()) return false;
  if (!Pull(c, c.cur)) return false;
  c.haveNext = Pull(c, c.next);
  if (!c.haveNext) {
    c.next[0] = c.cur[0];
    c.next[1] = c.cur[1];
  }
  return true;
}

bool Mixer::Play(std::uint32_t handle, bool flush, bool loop) {
  std::lock_guard lock(mutex_);
  Channel* c = Find(handle);
  if (!c) return false;
  c->loop = c->loop || loop;
  const bool fresh = !c->playing && c->position == 0 && c->phase == 0;
  if (flush || c->ended || fresh) {
    if (!Prime(*c)) {
      c->playing = false;
      return false;
    }
  }
  c->playing = true;
  return true;
}

void Mixer::StopAll() {
  std::lock_guard lock(mutex_);
  for (auto& c : channels_) c->playing = false;
}

bool Mixer::Query(std::uint32_t handle, Info* info) const {
  std::lock_guard lock(mutex_);
  const Channel* c = Find(handle);
  if (!c) return false;
  if (info) {
    const std::uint64_t frameBytes = std::uint64_t{c->stream->channels()} * 2;
    info->rate = c->stream->rate();
    info->channels = c->stream->channels();
    info->lengthBytes = c->stream->lengthBytes();
    // A looping stream's position wraps back to the start at every pass.
    const std::uint64_t len = c->stream->lengthFrames();
    info->positionBytes = (c->loop && len ? c->position % len : c->position) * frameBytes;
    info->playing = c->playing;
    info->loop = c->loop;
    info->level = (c->peak[0] & 0xFFFFu) | ((c->peak[1] & 0xFFFFu) << 16);
  }
  return true;
}

std::size_t Mixer::StreamCount() const {
  std::lock_guard lock(mutex_);
  return channels_.size();
}

void Mixer::SetVolume(std::uint32_t volume) {
  std::lock_guard lock(mutex_);
  volume_ = std::min<std::uint32_t>(volume, 100);
}

std::uint32_t Mixer::Volume() const {
  std::lock_guard lock(mutex_);
  return volume_;
}

void Mixer::MixChannel(Channel& c, std::int32_t* acc, std::size_t frames) {
  std::uint32_t peak[2] = {0, 0};
  for (std::size_t i = 0; i < frames && c.playing; ++i) {
    for (int k = 0; k < 2; ++k) {
      std::int64_t d = static_cast<std::int64_t>(c.next[k] - c.cur[k]) * static_cast<std::int64_t>(c.phase);
      std::int32_t v = c.cur[k] + static_cast<std::int32_t>(d / static_cast<std::int64_t>(kOne));
      acc[2 * i + k] += v;
      peak[k] = std::max(peak[k], static_cast<std::uint32_t>(std::abs(v)));
    }
    c.phase += c.step;
    while (c.phase >= kOne) {
      c.phase -= kOne;
      ++c.position;
      if (!c.haveNext) {
        // The last sample has been played: the stream stops at its end.
        c.playing = false;
        c.ended = true;
        c.phase = 0;
        break;
      }
      c.cur[0] = c.next[0];
      c.cur[1] = c.next[1];
      c.haveNext = Pull(c, c.next);
      if (!c.haveNext) {
        c.next[0] = c.cur[0];
        c.next[1] = c.cur[1];
      }
    }
  }
  c.peak[0] = peak[0];
  c.peak[1] = peak[1];
}

void Mixer::Mix(std::int16_t* out, std::size_t frames) {
  std::lock_guard lock(mutex_);
  accumulator_.assign(frames * 2, 0);
  for (auto& c : channels_) {
    if (c->playing)
      MixChannel(*c, accumulator_.data(), frames);
    else
      c->peak[0] = c->peak[1] = 0;
  }
  const std::int64_t vol = volume_;
  for (std::size_t i = 0; i < frames * 2; ++i) {
    std::int64_t v = static_cast<std::int64_t>(accumulator_[i]) * vol / 100;
    out[i] = static_cast<std::int16_t>(std::clamp<std::int64_t>(v, -32768, 32767));
  }
}

}  // namespace bass
