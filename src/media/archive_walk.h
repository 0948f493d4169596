// A single pass over every member of an archive, for tools and tests: listing, and
// unpacking each member in order (solid streams continue) with its CRC check. The program
// itself reads members through ExtractArchiveMember.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "media/media_archive.h"

namespace media {

enum class MemberStatus {
  kListed,              // not unpacked (listing only, or a directory)
  kOk,                  // unpacked, CRC matches
  kCrcError,            // unpacked, wrong CRC or short output
  kUnsupportedVersion,  // unpack version outside 13..20
  kEncrypted,           // encrypted data is not deciphered
  kDamaged,             // header claims more than its packed data could hold
};

const char* MemberStatusText(MemberStatus s);

struct WalkedMember {
  ArchiveBlock block;
  bool archiveSolid = false;
  MemberStatus status = MemberStatus::kListed;
  const std::uint8_t* data = nullptr;  // unpacked bytes (valid during the callback)
  std::uint32_t size = 0;
  std::uint32_t crc = 0;               // CRC-32 of the unpacked bytes
};

// Calls fn for every file block in order. With `unpack`, also unpacks and checks each
// member. Returns false when the bytes are not an archive; the walk ends at the first
// block that cannot be read.
bool WalkArchive(const std::uint8_t* data, std::uint32_t size, bool unpack,
                 const std::function<void(const WalkedMember&)>& fn);

}  // namespace media
