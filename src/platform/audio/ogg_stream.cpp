#include "platform/audio/ogg_stream.h"

#include <vorbis/vorbisfile.h>

#include <cstring>

namespace bass {

struct OggStream::Memory {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
  std::size_t pos = 0;
};

namespace {

constexpr std::uint32_t kMaxChannels = 8;
constexpr std::uint32_t kMinRate = 1000;
constexpr std::uint32_t kMaxRate = 384000;
// Far beyond any real piece (about 290 days at 44.1 kHz), and small enough that byte counts
// cannot overflow.
constexpr std::uint64_t kMaxFrames = std::uint64_t{1} << 40;
// A damaged packet is skipped; this many in a row end the stream.
constexpr int kMaxHolesInARow = 64;

std::size_t MemRead(void* ptr, std::size_t size, std::size_t nmemb, void* source) {
  auto* m = static_cast<OggStream::Memory*>(source);
  if (size == 0 || nmemb == 0 || m->pos >= m->size) return 0;
  std::size_t want = nmemb;
  std::size_t avail = (m->size - m->pos) / size;
  if (want > avail) want = avail;
  std::memcpy(ptr, m->data + m->pos, want * size);
  m->pos += want * size;
  return want;
}

int MemSeek(void* source, ogg_int64_t offset, int whence) {
  auto* m = static_cast<OggStream::Memory*>(source);
  ogg_int64_t base = 0;
  switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<ogg_int64_t>(m->pos); break;
    case SEEK_END: base = static_cast<ogg_int64_t>(m->size); break;
    default: return -1;
  }
  if ((offset > 0 && base > INT64_MAX - offset)) return -1;
  ogg_int64_t target = base + offset;
  if (target < 0 || static_cast<std::uint64_t>(target) > m->size) return -1;
  m->pos = static_cast<std::size_t>(target);
  return 0;
}

long MemTell(void* source) { return static_cast<long>(static_cast<OggStream::Memory*>(source)->pos); }

OggVorbis_File* File(void* vf) { return static_cast<OggVorbis_File*>(vf); }

}  // namespace

std::unique_ptr<OggStream> OggStream::Open(const unsigned char* data, std::size_t size) {
  std::unique_ptr<OggStream> s(new OggStream);
  if (!s->Init(data, size)) return nullptr;
  return s;
}

std::unique_ptr<OggStream> OggStream::OpenOwned(std::vector<unsigned char> bytes) {
  std::unique_ptr<OggStream> s(new OggStream);
  s->owned_ = std::move(bytes);
  if (!s->Init(s->owned_.data(), s->owned_.size())) return nullptr;
  return s;
}

bool OggStream::Init(const unsigned char* data, std::size_t size) {
  if (!data || size == 0) return false;
  memory_ = std::make_unique<Memory>();
  memory_->data = data;
  memory_->size = size;
  auto* vf = new OggVorbis_File;
  ov_callbacks cb{MemRead, MemSeek, nullptr, MemTell};
  if (ov_open_callbacks(memory_.get(), vf, nullptr, 0, cb) != 0) {
    delete vf;  // ov_open_callbacks clears the structure itself on failure
    return false;
  }
  vf_ = vf;
  if (!ov_seekable(vf)) return false;
  // Every link must share the first one's format: the mixer reads one layout throughout.
  long links = ov_streams(vf);
  if (links < 1) return false;
  for (long i = 0; i < links; ++i) {
    vorbis_info* info = ov_info(vf, static_cast<int>(i));
    if (!info || info->channels < 1 || static_cast<std::uint32_t>(info->channels) > kMaxChannels ||
        info->rate < static_cast<long>(kMinRate) || info->rate > static_cast<long>(kMaxRate))
      return false;
    if (i == 0) {
      channels_ = static_cast<std::uint32_t>(info->channels);
      rate_ = static_cast<std::uint32_t>(info->rate);
    } else if (static_cast<std::uint32_t>(info->channels) != channels_ ||
               static_cast<std::uint32_t>(info->rate) != rate_) {
      return false;
    }
  }
  ogg_int64_t total = ov_pcm_total(vf, -1);
  if (total < 0 || static_cast<std::uint64_t>(total) > kMaxFrames) return false;
  lengthFrames_ = static_cast<std::uint64_t>(total);
  return true;
}

OggStream::~OggStream() {
  if (vf_) {
    ov_clear(File(vf_));
    delete File(vf_);
  }
}

bool OggStream::Rewind() { return vf_ && ov_pcm_seek(File(vf_), 0) == 0; }

std::size_t OggStream::Read(std::int16_t* out, std::size_t maxFrames) {
  if (!vf_ || maxFrames == 0) return 0;
  const std::size_t frameBytes = channels_ * 2;
  char* dst = reinterpret_cast<char*>(out);
  std::size_t done = 0;  // bytes
  const std::size_t want = maxFrames * frameBytes;
  int holes = 0;
  while (done < want) {
    std::size_t chunk = want - done;
    if (chunk > 65536) chunk = 65536;
    int link = 0;
    long n = ov_read(File(vf_), dst + done, static_cast<int>(chunk), 0, 2, 1, &link);
    if (n == OV_HOLE) {
      if (++holes > kMaxHolesInARow) break;
      continue;
    }
    if (n <= 0) break;  // end of stream or an unrecoverable error
    holes = 0;
    done += static_cast<std::size_t>(n);
  }
  // ov_read hands out whole frames; drop a partial one defensively.
  return done / frameBytes;
}

}  // namespace bass
