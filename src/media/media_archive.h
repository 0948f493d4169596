// A read-only view of one archive resource and the block layout of RAR 2.0 archives.
#pragma once

#include <cstdint>

// One "MediaData" resource: bytes read in place (never copied, never written), their
// count, and the read position of the current request.
struct MediaArchive {
  const unsigned char* data = nullptr;
  std::uint32_t size = 0;
  std::uint32_t offset = 0;
};

// Looks up resource `id` of type "MediaData" in the running module. A missing resource
// gives data null and size 0; offset is 0 either way.
MediaArchive OpenMediaResource(unsigned id);

// All-or-nothing read: succeeds only when n != 0 and offset + n stays within size; then
// copies n bytes, advances offset and returns n. Otherwise copies nothing and returns 0.
std::uint32_t ReadArchive(MediaArchive& archive, void* dst, std::uint32_t n);

namespace media {

constexpr unsigned char kRarMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr std::uint32_t kMainHeaderSize = 13;
constexpr std::uint32_t kFileHeaderSize = 32;
constexpr std::uint32_t kMaxNameLength = 259;

enum BlockType : std::uint8_t {
  kBlockMarker = 0x72,
  kBlockMain = 0x73,
  kBlockFile = 0x74,
  kBlockSub = 0x77,
  kBlockEnd = 0x7B,
};

// Main header flags.
constexpr std::uint16_t kMainSolid = 0x0008;
// File header flags.
constexpr std::uint16_t kFileSolid = 0x0010;      // continues the previous member's stream
constexpr std::uint16_t kFileEncrypted = 0x0004;
constexpr std::uint16_t kFileComment = 0x0008;
constexpr std::uint16_t kFileLarge = 0x0100;      // 64-bit sizes: two more words before the name
constexpr std::uint16_t kFileUnicode = 0x0200;
constexpr std::uint16_t kFileDictMask = 0x00E0;   // all three bits set: a directory
constexpr std::uint16_t kFileDirectory = 0x00E0;
constexpr std::uint16_t kLongBlock = 0x8000;      // packed data follows the header

constexpr std::uint8_t kMethodStored = 0x30;

// The 32-byte view through which every block is read.
struct ArchiveFileHeader {
  std::uint16_t headCrc = 0;
  std::uint8_t type = 0;
  std::uint16_t flags = 0;
  std::uint16_t headSize = 0;
  std::uint32_t packSize = 0;
  std::uint32_t unpSize = 0;
  std::uint8_t hostOs = 0;
  std::uint32_t fileCrc = 0;
  std::uint32_t fileTime = 0;
  std::uint8_t unpVer = 0;
  std::uint8_t method = 0;
  std::uint16_t nameSize = 0;
  std::uint32_t attributes = 0;

  bool IsDirectory() const { return (flags & kFileDictMask) == kFileDirectory; }
};

// Decodes the 32 little-endian header bytes.
ArchiveFileHeader ParseFileHeader(const unsigned char bytes[32]);

// Reads and checks the marker and the main header from the start of the archive, then
// skips the rest of the main header. Sets *solid from the main header. False when the
// resource is too short or does not begin with the marker.
bool ReadArchiveStart(MediaArchive& archive, bool* solid);

enum class ScanResult { kFile, kEnd, kSubBlock };

// One file block found by the scan. dataStart is where its packed data begins (block
// start + header size); next is where the following block begins.
struct ArchiveBlock {
  ArchiveFileHeader header;
  std::uint32_t start = 0;
  std::uint32_t dataStart = 0;
  std::uint64_t next = 0;
  char name[kMaxNameLength + 1] = {};
};

// Scans from archive.offset for the next file block, skipping other block types. On
// kFile the archive's offset points at the member's packed data. The scan stops (kEnd) at
// a short read, a header size below 7, or a file header too small for its own fields.
ScanResult ScanNextFileBlock(MediaArchive& archive, ArchiveBlock* block);

// Moves the read position to `pos`, or to the end when pos lies beyond it.
void SeekArchive(MediaArchive& archive, std::uint64_t pos);

}  // namespace media
