// Extraction of named members from the RAR 2.0 archives carried as "MediaData" resources.
#pragma once

#include <cstdint>

#include "media/media_archive.h"
#include "media/rar20_unpacker.h"

// Finds `name` in `archive`, unpacks it and checks its CRC-32. Returns 1 with *buffer (a
// heap block of the member's unpacked size, owned by the caller: FreeMediaBuffer) and
// *length (bytes written); otherwise 0 with *buffer null and *length 0. `password` may be
// null; encrypted members are not supported and fail. Requests share the process-wide
// ArchiveReader: one from another thread waits for the one in progress.
int ExtractArchiveMember(unsigned char** buffer, std::uint32_t* length, const char* name,
                         MediaArchive* archive, const char* password);

// Releases a buffer from ExtractArchiveMember (null is fine).
void FreeMediaBuffer(unsigned char* buffer);

// The two names denote the same member: slashes, backslashes and underscores are one
// character, letters compare without case (C locale), each name taken up to 511 chars.
bool MediaNamesMatch(const char* a, const char* b);

// While streams are kept (the program's loading phase), the first request to a solid archive
// unpacks all its members in one pass and later requests are served from memory: the same
// bytes, checks and failures as unpacking the stream from its start for every request, at a
// fraction of the cost. Calls nest: streams are kept while any keeper that turned it on has
// not turned it off, and the last one off frees what was kept.
void KeepArchiveStreams(bool keep);

// Frees the reader's window (1 MiB); the next request allocates it again.
void ReleaseArchiveReader();

// Keeps the streams for the life of the object (the loading of a run), then frees them and
// the reader's window.
struct KeptArchiveStreams {
  KeptArchiveStreams() { KeepArchiveStreams(true); }
  ~KeptArchiveStreams() {
    KeepArchiveStreams(false);
    ReleaseArchiveReader();
  }
  KeptArchiveStreams(const KeptArchiveStreams&) = delete;
  KeptArchiveStreams& operator=(const KeptArchiveStreams&) = delete;
};

// Context of the request in progress. The window is allocated once and reused without
// clearing (the unpacker never reads a byte the current stream did not write).
struct ArchiveReader {
  media::ArchiveBlock block;
  char wanted[512] = {};
  char password[128] = {};
  bool havePassword = false;
  std::uint8_t* window = nullptr;
  unsigned char* output = nullptr;
  std::uint32_t written = 0;
  media::Rar20Unpacker unpacker;
};

namespace media {
// Largest output a member's packed bytes can describe: every symbol takes at least one
// bit and yields at most 260 bytes. Bigger claims are damaged headers.
constexpr std::uint64_t kMaxExpansionPerByte = 8 * 260;
}  // namespace media
