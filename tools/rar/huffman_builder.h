// Code lengths and canonical codes for the packer: length-limited Huffman codes
// (package-merge) and the codes a RAR 2.0 decoder assigns to a set of lengths.
#pragma once

#include <cstdint>
#include <vector>

namespace rarpack {

// Optimal code lengths of at most maxBits for the frequencies. Every code is complete:
// when fewer than two symbols occur, unused symbols are given codes to make up two.
std::vector<std::uint8_t> BuildCodeLengths(const std::uint32_t* freq, int count, int maxBits);

// Canonical codes, most significant bit first: shorter codes first, and within one length
// in symbol order.
std::vector<std::uint16_t> CanonicalCodes(const std::uint8_t* lengths, int count);

}  // namespace rarpack
