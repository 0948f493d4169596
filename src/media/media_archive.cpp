#include "media/media_archive.h"

#include <cstring>

#include "platform/win32/little_endian.h"
#include "platform/win32/resources.h"

MediaArchive OpenMediaResource(unsigned id) {
  MediaArchive archive;
  win32::HRSRC res = win32::FindResourceA(nullptr, win32::MAKEINTRESOURCEA(id), "MediaData");
  if (res == nullptr) return archive;
  win32::HGLOBAL loaded = win32::LoadResource(nullptr, res);
  if (loaded == nullptr) return archive;
  const void* bytes = win32::LockResource(loaded);
  if (bytes == nullptr) return archive;
  archive.data = static_cast<const unsigned char*>(bytes);
  archive.size = win32::SizeofResource(nullptr, res);
  return archive;
}

std::uint32_t ReadArchive(MediaArchive& archive, void* dst, std::uint32_t n) {
  if (n == 0 || archive.data == nullptr) return 0;
  if (archive.offset > archive.size || n > archive.size - archive.offset) return 0;
  std::memcpy(dst, archive.data + archive.offset, n);
  archive.offset += n;
  return n;
}

namespace media {

using win32::Le16;
using win32::Le32;

ArchiveFileHeader ParseFileHeader(const unsigned char b[32]) {
  ArchiveFileHeader h;
  h.headCrc = Le16(b);
  h.type = b[2];
  h.flags = Le16(b + 3);
  h.headSize = Le16(b + 5);
  h.packSize = Le32(b + 7);
  h.unpSize = Le32(b + 11);
  h.hostOs = b[15];
  h.fileCrc = Le32(b + 16);
  h.fileTime = Le32(b + 20);
  h.unpVer = b[24];
  h.method = b[25];
  h.nameSize = Le16(b + 26);
  h.attributes = Le32(b + 28);
  return h;
}

void SeekArchive(MediaArchive& archive, std::uint64_t pos) {
  archive.offset = pos < archive.size ? static_cast<std::uint32_t>(pos) : archive.size;
}

bool ReadArchiveStart(MediaArchive& archive, bool* solid) {
  archive.offset = 0;
  unsigned char marker[7];
  if (ReadArchive(archive, marker, 7) != 7) return false;
  if (std::memcmp(marker, kRarMarker, 7) != 0) return false;
  unsigned char main[kMainHeaderSize];
  if (ReadArchive(archive, main, kMainHeaderSize) != kMainHeaderSize) return false;
  *solid = (Le16(main + 3) & kMainSolid) != 0;
  std::uint16_t headSize = Le16(main + 5);
  // A main header claiming fewer bytes than it has is damaged; go on right after it.
  if (headSize > kMainHeaderSize) SeekArchive(archive, std::uint64_t{archive.offset} + headSize - kMainHeaderSize);
  return true;
}

ScanResult ScanNextFileBlock(MediaArchive& archive, ArchiveBlock* block) {
  for (;;) {
    block->start = archive.offset;
    unsigned char raw[kFileHeaderSize];
    if (ReadArchive(archive, raw, kFileHeaderSize) != kFileHeaderSize) return ScanResult::kEnd;
    ArchiveFileHeader& h = block->header;
    h = ParseFileHeader(raw);
    if (h.headSize < 7) return ScanResult::kEnd;
    block->next = std::uint64_t{block->start} + h.headSize;
    if (h.flags & kLongBlock) block->next += h.packSize;
    if (h.type == kBlockSub) return ScanResult::kSubBlock;
    if (h.type != kBlockFile) {
      SeekArchive(archive, block->next);
      continue;
    }
    // Fields ahead of the name: with 64-bit sizes, the two high words.
    std::uint32_t nameAt = kFileHeaderSize;
    if (h.flags & kFileLarge) nameAt += 8;
    if (std::uint32_t{h.headSize} < nameAt + h.nameSize) return ScanResult::kEnd;
    SeekArchive(archive, std::uint64_t{block->start} + nameAt);
    std::uint32_t keep = h.nameSize < kMaxNameLength ? h.nameSize : kMaxNameLength;
    std::memset(block->name, 0, sizeof block->name);
    if (keep > 0 && ReadArchive(archive, block->name, keep) != keep) return ScanResult::kEnd;
    block->dataStart = block->start + h.headSize;
    SeekArchive(archive, block->dataStart);
    if (archive.offset != block->dataStart) return ScanResult::kEnd;
    return ScanResult::kFile;
  }
}

}  // namespace media
