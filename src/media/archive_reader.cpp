#include "media/archive_reader.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "media/crc32.h"

namespace {

// Requests, the keeping and the window are shared by the whole process: one at a time.
std::mutex& ReaderLock() {
  static auto* lock = new std::mutex();
  return *lock;
}

ArchiveReader& Reader() {
  static auto* reader = new ArchiveReader();
  return *reader;
}

void NormaliseName(const char* in, char out[512]) {
  int i = 0;
  for (; i < 511 && in[i] != '\0'; ++i) {
    char c = in[i];
    if (c == '\\' || c == '/') c = '_';
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    out[i] = c;
  }
  out[i] = '\0';
}

void Wipe(char* p, std::size_t n) {
  volatile char* v = p;
  while (n--) *v++ = 0;
}

}  // namespace

bool MediaNamesMatch(const char* a, const char* b) {
  char na[512], nb[512];
  NormaliseName(a, na);
  NormaliseName(b, nb);
  return std::strcmp(na, nb) == 0;
}

void FreeMediaBuffer(unsigned char* buffer) { std::free(buffer); }

namespace {

// Makes the reader ready for a new stream. The window is allocated once and never cleared:
// the unpacker reads only bytes the stream wrote.
bool StartStream(ArchiveReader& r) {
  if (r.window == nullptr) {
    r.window = static_cast<std::uint8_t*>(std::malloc(media::kRarWindowSize));
    if (r.window == nullptr) return false;
  }
  r.unpacker.Reset();
  return true;
}

// What the packed bytes present in the archive could possibly describe.
std::uint64_t MostUnpacked(const MediaArchive& archive, const media::ArchiveBlock& b) {
  std::uint64_t avail = std::uint64_t{archive.size} - b.dataStart;
  if (avail > b.header.packSize) avail = b.header.packSize;
  return b.header.method == media::kMethodStored ? avail : (avail + 1) * media::kMaxExpansionPerByte;
}

// A member a solid stream cannot be carried through: it and every member after it fail.
bool StopsTheStream(const media::ArchiveFileHeader& h) {
  // Encrypted data is not deciphered; decoding it would only end in a CRC failure.
  return h.unpVer < 13 || h.unpVer > 20 || (h.flags & media::kFileEncrypted) != 0;
}

// Unpacks the member at the archive's read position into out (null: decode and discard).
void UnpackMember(ArchiveReader& r, MediaArchive& archive, const media::ArchiveFileHeader& h,
                  unsigned char* out, std::uint32_t* written) {
  if (h.method == media::kMethodStored) {
    if (out) {
      std::uint32_t n = h.unpSize < h.packSize ? h.unpSize : h.packSize;
      if (n != 0 && ReadArchive(archive, out, n) == n) *written = n;
    }
  } else {
    r.unpacker.DecompressMember(r.window, archive, h.packSize, h.unpSize, (h.flags & media::kFileSolid) != 0, out,
                                written);
  }
}

// Every byte must have been written (a short member is as wrong as a bad CRC) and match.
bool Checked(const media::ArchiveFileHeader& h, const unsigned char* out, std::uint32_t written) {
  return written == h.unpSize && media::Crc32(out, h.unpSize) == h.fileCrc;
}

// Steps 3 to 10 of a request; true when the member was found and checked.
bool RunRequest(ArchiveReader& r, MediaArchive& archive) {
  using namespace media;
  bool solid = false;
  if (!ReadArchiveStart(archive, &solid)) return false;
  if (!StartStream(r)) return false;
  for (;;) {
    ArchiveBlock& b = r.block;
    if (ScanNextFileBlock(archive, &b) != ScanResult::kFile) return false;
    const ArchiveFileHeader& h = b.header;
    bool matched = MediaNamesMatch(b.name, r.wanted);
    if (matched) {
      if (h.unpSize > MostUnpacked(archive, b)) return false;
      r.output = static_cast<unsigned char*>(std::malloc(h.unpSize ? h.unpSize : 1));
      if (r.output == nullptr) return false;
      r.written = 0;
    }
    if (solid || matched) {
      if (StopsTheStream(h)) return false;
      UnpackMember(r, archive, h, matched ? r.output : nullptr, &r.written);
    }
    if (matched && !Checked(h, r.output, r.written)) return false;
    SeekArchive(archive, b.next);
    if (matched) return true;
  }
}

// ---- solid streams kept while loading ----

struct FreeDeleter {
  void operator()(unsigned char* p) const { std::free(p); }
};

struct KeptMember {
  char name[512] = {};  // normalised
  bool ok = false;      // a request for it succeeds with these bytes
  std::unique_ptr<unsigned char, FreeDeleter> bytes;
  std::uint32_t size = 0;
  std::uint64_t next = 0;
};

struct KeptStream {
  const unsigned char* data = nullptr;
  std::uint32_t size = 0;
  bool solid = false;
  std::vector<KeptMember> members;  // in archive order, up to the first that stops the stream
};

struct Kept {
  int on = 0;  // keepers alive
  std::vector<std::unique_ptr<KeptStream>> streams;
};

Kept& KeptStreams() {
  static auto* kept = new Kept();
  return *kept;
}

// One pass over the whole archive, decoding every member exactly as a request for it would
// find it; false when the archive does not even open (then every request fails).
bool UnpackStream(ArchiveReader& r, MediaArchive archive, KeptStream& ks) {
  using namespace media;
  if (!ReadArchiveStart(archive, &ks.solid)) return false;
  if (!ks.solid) return true;
  if (!StartStream(r)) return false;
  for (;;) {
    ArchiveBlock& b = r.block;
    if (ScanNextFileBlock(archive, &b) != ScanResult::kFile) return true;
    const ArchiveFileHeader& h = b.header;
    KeptMember& m = ks.members.emplace_back();
    NormaliseName(b.name, m.name);
    m.next = b.next;
    if (StopsTheStream(h)) return true;
    // A member too big for its packed bytes fails; the stream still runs through it.
    if (h.unpSize <= MostUnpacked(archive, b))
      m.bytes.reset(static_cast<unsigned char*>(std::malloc(h.unpSize ? h.unpSize : 1)));
    UnpackMember(r, archive, h, m.bytes.get(), &m.size);
    m.ok = m.bytes && Checked(h, m.bytes.get(), m.size);
    if (!m.ok) m.bytes.reset();
    SeekArchive(archive, b.next);
  }
}

// The kept stream of this archive, unpacked on first use; null when it is not solid.
const KeptStream* KeptStreamOf(ArchiveReader& r, const MediaArchive& archive) {
  Kept& kept = KeptStreams();
  for (const auto& ks : kept.streams)
    if (ks->data == archive.data && ks->size == archive.size) return ks->solid ? ks.get() : nullptr;
  auto ks = std::make_unique<KeptStream>();
  ks->data = archive.data;
  ks->size = archive.size;
  if (!UnpackStream(r, MediaArchive{archive.data, archive.size, 0}, *ks)) {
    // Not even an archive: a request fails the same way without the keeping.
    ks->solid = true;
    ks->members.clear();
  }
  kept.streams.push_back(std::move(ks));
  return kept.streams.back()->solid ? kept.streams.back().get() : nullptr;
}

// Serves a request from a kept stream: the first member of that name decides.
bool ServeKept(ArchiveReader& r, const KeptStream& ks, MediaArchive& archive) {
  char wanted[512];
  NormaliseName(r.wanted, wanted);
  for (const KeptMember& m : ks.members) {
    if (std::strcmp(m.name, wanted) != 0) continue;
    if (!m.ok) return false;
    r.output = static_cast<unsigned char*>(std::malloc(m.size ? m.size : 1));
    if (r.output == nullptr) return false;
    if (m.size) std::memcpy(r.output, m.bytes.get(), m.size);
    r.written = m.size;
    media::SeekArchive(archive, m.next);
    return true;
  }
  return false;
}

}  // namespace

void KeepArchiveStreams(bool keep) {
  const std::lock_guard<std::mutex> lock(ReaderLock());
  Kept& kept = KeptStreams();
  if (keep) {
    ++kept.on;
  } else if (kept.on > 0 && --kept.on == 0) {
    kept.streams.clear();
  }
}

void ReleaseArchiveReader() {
  const std::lock_guard<std::mutex> lock(ReaderLock());
  ArchiveReader& r = Reader();
  std::free(r.window);
  r.window = nullptr;
}

int ExtractArchiveMember(unsigned char** buffer, std::uint32_t* length, const char* name,
                         MediaArchive* archive, const char* password) {
  if (buffer) *buffer = nullptr;
  if (length) *length = 0;
  if (buffer == nullptr || length == nullptr || name == nullptr || archive == nullptr) return 0;
  const std::lock_guard<std::mutex> lock(ReaderLock());
  ArchiveReader& r = Reader();
  std::strncpy(r.wanted, name, sizeof r.wanted - 1);
  r.wanted[sizeof r.wanted - 1] = '\0';
  r.havePassword = password != nullptr;
  if (password) {
    std::strncpy(r.password, password, sizeof r.password - 1);
    r.password[sizeof r.password - 1] = '\0';
  }
  r.output = nullptr;
  r.written = 0;
  archive->offset = 0;
  bool ok = false;
  const KeptStream* kept = KeptStreams().on > 0 && archive->data ? KeptStreamOf(r, *archive) : nullptr;
  if (kept)
    ok = ServeKept(r, *kept, *archive);
  else
    ok = RunRequest(r, *archive);
  Wipe(r.password, sizeof r.password);
  r.havePassword = false;
  if (!ok) {
    std::free(r.output);
    r.output = nullptr;
    return 0;
  }
  *buffer = r.output;
  *length = r.written;
  r.output = nullptr;
  return 1;
}
