// CRC-32 (reflected, polynomial 0xEDB88320) as archive members carry it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace media {

// Continues a running CRC: start from 0, feed pieces in order; the value after the last
// piece is the finished CRC (initial value and final complement are applied inside).
std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t size);

inline std::uint32_t Crc32(const void* data, std::size_t size) { return Crc32Update(0, data, size); }

}  // namespace media
