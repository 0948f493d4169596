// Writes RAR 2.0 archives: marker, main header, file and directory blocks with their
// header CRCs, end-of-archive block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rar20_encoder.h"

namespace rarpack {

struct PackEntry {
  std::string name;  // as stored: folders separated by backslashes
  std::vector<std::uint8_t> data;
  bool directory = false;
  std::uint32_t dosTime = 0;  // MS-DOS date and time
};

struct PackOptions {
  bool solid = false;     // one stream through all compressed members
  bool store = false;     // every member stored (method 0x30)
  int level = 3;          // 0 stores; 1..5 compress with method 0x30 + level
  int multimedia = 0;     // see EncoderOptions::multimedia
};

struct PackedMember {
  std::string name;
  std::uint32_t unpacked = 0, packed = 0;
  std::uint8_t method = 0;
  bool solid = false;
};

struct PackResult {
  std::vector<std::uint8_t> archive;
  std::vector<PackedMember> members;
  EncoderStats stats;
};

// Header field values of the blocks we write.
constexpr std::uint8_t kHostWin32 = 2;
constexpr std::uint8_t kUnpackVersion = 20;
constexpr std::uint16_t kDict1M = 0x0080;
constexpr std::uint32_t kAttrFile = 0x20;
constexpr std::uint32_t kAttrDirectory = 0x10;

// Fails (returns false with a message) on names longer than the reader accepts, or on
// members or archives of 4 GiB and more.
bool BuildArchive(const std::vector<PackEntry>& entries, const PackOptions& options, PackResult* result,
                  std::string* error);

// The blocks one by one, for callers that bring their own packed data.
struct MemberBlock {
  std::string name;
  std::uint16_t flags = 0x8000 | kDict1M;
  std::uint8_t method = 0x30;
  std::uint8_t unpVer = kUnpackVersion;
  std::uint32_t unpSize = 0;
  std::uint32_t crc = 0;
  std::uint32_t dosTime = 0;
  std::uint32_t attributes = kAttrFile;
};
void AppendArchiveStart(std::vector<std::uint8_t>& out, bool solid);
void AppendMemberBlock(std::vector<std::uint8_t>& out, const MemberBlock& member, const std::vector<std::uint8_t>& packed);
void AppendArchiveEnd(std::vector<std::uint8_t>& out);

// DOS date/time of a Unix time, in local time.
std::uint32_t DosTime(long long unixTime);

}  // namespace rarpack
