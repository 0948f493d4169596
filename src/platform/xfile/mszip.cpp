// MSZIP blocks of the compressed .X forms, over zlib's raw deflate.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "platform/xfile/xfile_internal.h"

namespace xfile::detail {

namespace {
constexpr std::size_t kBlock = 32768;  // uncompressed bytes per block
}

HRESULT MsZipDecompress(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>* out) {
  out->clear();
  if (size < 4) return DXFILEERR_BADFILE;
  std::uint32_t total = static_cast<std::uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16)) |
                        (static_cast<std::uint32_t>(data[3]) << 24);
  if (total < 16) return DXFILEERR_BADFILE;
  std::size_t expected = total - 16;
  // A deflate block expands at most ~1032:1; refuse sizes the input cannot hold.
  if (expected / 1032 > size) return DXFILEERR_BADFILE;
  out->reserve(std::min<std::size_t>(expected, size * 8));
  std::size_t pos = 4;
  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return DXFILEERR_BADALLOC;
  HRESULT hr = DXFILE_OK;
  std::size_t prevStart = 0, prevSize = 0;
  while (pos < size && out->size() < expected) {
    if (size - pos < 6) { hr = DXFILEERR_BADFILE; break; }
    std::size_t usize = static_cast<std::size_t>(data[pos] | (data[pos + 1] << 8));
    std::size_t csize = static_cast<std::size_t>(data[pos + 2] | (data[pos + 3] << 8));
    pos += 4;
    if (csize < 2 || csize > size - pos || data[pos] != 'C' || data[pos + 1] != 'K') { hr = DXFILEERR_BADFILE; break; }
    if (usize == 0 || usize > expected - out->size()) { hr = DXFILEERR_BADFILE; break; }
    inflateReset(&zs);
    if (prevSize) {
      if (inflateSetDictionary(&zs, out->data() + prevStart, static_cast<uInt>(prevSize)) != Z_OK) {
        hr = DXFILEERR_BADFILE;
        break;
      }
    }
    std::size_t start = out->size();
    out->resize(start + usize);
    zs.next_in = const_cast<Bytef*>(data + pos + 2);
    zs.avail_in = static_cast<uInt>(csize - 2);
    zs.next_out = out->data() + start;
    zs.avail_out = static_cast<uInt>(usize);
    int r = inflate(&zs, Z_FINISH);
    if ((r != Z_STREAM_END && !(r == Z_BUF_ERROR && zs.avail_out == 0)) || zs.avail_out != 0) {
      hr = DXFILEERR_BADFILE;
      break;
    }
    // The dictionary of the next block is this block's output.
    prevStart = start;
    prevSize = usize;
    pos += csize;
  }
  inflateEnd(&zs);
  if (hr >= 0 && out->size() != expected) hr = DXFILEERR_BADFILE;
  if (hr < 0) out->clear();
  return hr;
}

HRESULT MsZipCompress(const std::uint8_t* body, std::size_t size, std::size_t headerSize,
                      std::vector<std::uint8_t>* out) {
  std::uint64_t total = size + headerSize;
  if (total > 0xFFFFFFFFu) return DXFILEERR_BADVALUE;
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<std::uint8_t>(total >> (8 * i)));
  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    return DXFILEERR_BADALLOC;
  std::vector<std::uint8_t> buf(deflateBound(&zs, kBlock) + 16);
  HRESULT hr = DXFILE_OK;
  for (std::size_t off = 0; off < size; off += kBlock) {
    std::size_t n = std::min(kBlock, size - off);
    deflateReset(&zs);
    if (off) deflateSetDictionary(&zs, body + off - kBlock, static_cast<uInt>(kBlock));
    zs.next_in = const_cast<Bytef*>(body + off);
    zs.avail_in = static_cast<uInt>(n);
    zs.next_out = buf.data();
    zs.avail_out = static_cast<uInt>(buf.size());
    if (deflate(&zs, Z_FINISH) != Z_STREAM_END) { hr = DXFILEERR_BADALLOC; break; }
    std::size_t c = buf.size() - zs.avail_out + 2;
    if (c > 0xFFFF) { hr = DXFILEERR_BADVALUE; break; }
    out->push_back(static_cast<std::uint8_t>(n));
    out->push_back(static_cast<std::uint8_t>(n >> 8));
    out->push_back(static_cast<std::uint8_t>(c));
    out->push_back(static_cast<std::uint8_t>(c >> 8));
    out->push_back('C');
    out->push_back('K');
    out->insert(out->end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(c - 2));
  }
  deflateEnd(&zs);
  return hr;
}

}  // namespace xfile::detail
