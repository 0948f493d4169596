#include "media/archive_reader.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "media/crc32.h"

namespace {

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

// Steps 3 to 10 of a request; true when the member was found and checked.
bool RunRequest(ArchiveReader& r, MediaArchive& archive) {
  using namespace media;
  bool solid = false;
  if (!ReadArchiveStart(archive, &solid)) return false;
  r.window = static_cast<std::uint8_t*>(std::calloc(kRarWindowSize, 1));
  if (r.window == nullptr) return false;
  r.unpacker.Reset(true);
  for (;;) {
    ArchiveBlock& b = r.block;
    if (ScanNextFileBlock(archive, &b) != ScanResult::kFile) return false;
    const ArchiveFileHeader& h = b.header;
    bool matched = MediaNamesMatch(b.name, r.wanted);
    bool stored = h.method == kMethodStored;
    if (matched) {
      // What the packed bytes present in the archive could possibly describe.
      std::uint64_t avail = std::uint64_t{archive.size} - b.dataStart;
      if (avail > h.packSize) avail = h.packSize;
      std::uint64_t most = stored ? avail : (avail + 1) * kMaxExpansionPerByte;
      if (h.unpSize > most) return false;
      r.output = static_cast<unsigned char*>(std::malloc(h.unpSize ? h.unpSize : 1));
      if (r.output == nullptr) return false;
      r.written = 0;
    }
    if (solid || matched) {
      if (h.unpVer < 13 || h.unpVer > 20) return false;
      // Encrypted data is not deciphered; decoding it would only end in a CRC failure.
      if (h.flags & kFileEncrypted) return false;
      if (stored) {
        if (matched) {
          std::uint32_t n = h.unpSize < h.packSize ? h.unpSize : h.packSize;
          if (n != 0 && ReadArchive(archive, r.output, n) == n) r.written = n;
        }
      } else {
        r.unpacker.DecompressMember(r.window, archive, h.packSize, h.unpSize, (h.flags & kFileSolid) != 0,
                                    matched ? r.output : nullptr, &r.written);
      }
    }
    if (matched) {
      // Every byte must have been written: a short member is as wrong as a bad CRC.
      if (r.written != h.unpSize) return false;
      if (Crc32(r.output, h.unpSize) != h.fileCrc) return false;
    }
    SeekArchive(archive, b.next);
    if (matched) return true;
  }
}

}  // namespace

int ExtractArchiveMember(unsigned char** buffer, std::uint32_t* length, const char* name,
                         MediaArchive* archive, const char* password) {
  if (buffer) *buffer = nullptr;
  if (length) *length = 0;
  if (buffer == nullptr || length == nullptr || name == nullptr || archive == nullptr) return 0;
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
  bool ok = RunRequest(r, *archive);
  std::free(r.window);
  r.window = nullptr;
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
