// Texture files decoded and filtered ahead of time. A loading worker hands file bytes to
// PrepareImageAhead while the device is still being made; the texture creation call that later
// gets the same bytes with the default size, levels and filters and no colour key takes the
// finished levels and only writes and uploads them. The texture is the same either way: the
// levels are made by the same code, and any other call decodes the file as usual.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3dx/image_decode.h"
#include "platform/d3dx/image_filter.h"

namespace d3dx {

// Opens the registry for a loading run: from now until DropPreparedImages, creation calls look
// for prepared levels and mark the bytes they decode themselves. A worker waits while the
// levels made and not yet taken pass `mostBytesAhead`, so that it does not hold a whole
// scene's pictures at once (whoever prepares everything on one thread lifts the bound).
constexpr std::size_t kPreparedBytesAhead = 6u << 20;
void StartPreparingImages(std::size_t mostBytesAhead = kPreparedBytesAhead);

// Decodes `data` and makes the levels of a default texture from it, on the calling thread
// (any thread). Files that are damaged, DDS files and bytes already prepared or already
// asked for are left alone. The bytes are copied. Waits while the levels made and not yet
// taken pass the bound.
void PrepareImageAhead(const void* data, std::size_t size);

// Ends the preparing: a worker waiting for room ahead returns, later PrepareImageAhead calls do
// nothing and creation calls decode as usual. Call it before waiting for the worker.
void StopPreparingImages();

// Frees what no creation call took and closes the registry; later calls decode as usual. Waits for nothing: call it
// once the worker that prepares has finished.
void DropPreparedImages();

namespace image_detail {

// The filters of a creation call that leaves them open.
constexpr std::uint32_t kDefaultFilter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;
constexpr std::uint32_t kDefaultMipFilter = D3DX_FILTER_BOX;

// The size a file's side gets when the caller leaves it open: the next power of two.
inline std::uint32_t NextPow2(std::uint32_t v) {
  std::uint32_t p = 1;
  while (p < v && p < 0x80000000u) p <<= 1;
  return p;
}

// Levels of a full mipmap chain down to 1 x 1.
inline std::uint32_t FullChain(std::uint32_t w, std::uint32_t h) {
  std::uint32_t levels = 1;
  for (std::uint32_t s = w > h ? w : h; s > 1; s >>= 1) ++levels;
  return levels;
}

// What a prepared file gives a creation call: the file's description (one level with its size
// and no pixels) and the texture's levels, largest first.
struct PreparedImage {
  DecodedImage file;
  std::vector<ImageLevel> levels;
};

// The levels of a default texture made from a one-level image: the top resized with `filter`
// to width x height (when it differs), then each level filtered down with `mipFilter`.
std::vector<ImageLevel> DefaultLevels(const ImageLevel& file, std::uint32_t width, std::uint32_t height,
                                      std::uint32_t levels, std::uint32_t filter, std::uint32_t mipFilter);

// Takes the prepared levels of these bytes, waiting while a worker still makes them. False when
// nothing was prepared for them; the bytes are then marked as asked for, so that a worker
// that comes to them later leaves them alone.
bool TakePreparedImage(const void* data, std::size_t size, PreparedImage& out);

}  // namespace image_detail
}  // namespace d3dx
