// CPU work behind texture creation: colour keying, resampling with the D3DX filters, mipmap
// reduction, and packing RGBA pixels into Direct3D surface formats.
#pragma once

#include <cstdint>

#include "platform/d3d8/d3d8_types.h"
#include "platform/d3dx/image_decode.h"

namespace d3dx {

// Filter flags of texture loading (low byte: kind; high bits: modifiers).
constexpr std::uint32_t D3DX_FILTER_NONE = 1;
constexpr std::uint32_t D3DX_FILTER_POINT = 2;
constexpr std::uint32_t D3DX_FILTER_LINEAR = 3;
constexpr std::uint32_t D3DX_FILTER_TRIANGLE = 4;
constexpr std::uint32_t D3DX_FILTER_BOX = 5;
constexpr std::uint32_t D3DX_FILTER_MIRROR_U = 1u << 16;
constexpr std::uint32_t D3DX_FILTER_MIRROR_V = 2u << 16;
constexpr std::uint32_t D3DX_FILTER_MIRROR_W = 4u << 16;
constexpr std::uint32_t D3DX_FILTER_MIRROR = 7u << 16;
constexpr std::uint32_t D3DX_FILTER_DITHER = 8u << 16;

// Whether the low byte names a filter (1..5).
bool IsValidFilter(std::uint32_t filter);

// Replaces every pixel equal to `key` (compared as 32-bit ARGB) with transparent black.
// Returns whether any pixel matched.
bool ApplyColorKey(ImageLevel& image, d3d8::D3DCOLOR key);

// Resamples to width x height. NONE copies the overlapping top-left part (the rest is
// transparent black); POINT takes the nearest pixel; LINEAR interpolates bilinearly; TRIANGLE
// and BOX average the exact area each target pixel covers. Samples beyond an edge wrap, or
// mirror with the MIRROR_U/V flags.
ImageLevel ResizeImage(const ImageLevel& src, std::uint32_t width, std::uint32_t height, std::uint32_t filter);

// The next smaller mipmap level (each side halved, at least 1) with the given mip filter.
ImageLevel NextMipLevel(const ImageLevel& src, std::uint32_t filter);

// Whether PackPixels can write this format.
bool CanPackFormat(d3d8::D3DFORMAT format);
// Bytes per pixel of a packable uncompressed format (0 for DXT and unknown formats).
std::uint32_t FormatBytesPerPixel(d3d8::D3DFORMAT format);

// Writes the image into locked surface memory of `format` (rows `pitch` bytes apart; for DXT
// formats a row is one row of 4x4 blocks). Returns false for a format it cannot write.
bool PackPixels(const ImageLevel& image, d3d8::D3DFORMAT format, std::uint8_t* dest, std::int32_t pitch);

// Reads locked surface memory of `format` back into RGBA. Returns false for a format it
// cannot read.
bool UnpackPixels(const std::uint8_t* src, std::int32_t pitch, d3d8::D3DFORMAT format, ImageLevel& image);

// Compresses one level to DXT1..DXT5 blocks (range fit between the block's extreme colours).
std::vector<std::uint8_t> CompressDxt(const ImageLevel& image, d3d8::D3DFORMAT format);

}  // namespace d3dx
