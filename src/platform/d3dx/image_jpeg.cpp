// JPEG through libjpeg. libjpeg reports fatal errors by calling error_exit, which must not
// return: it longjmps back here. Everything that owns memory is created before setjmp and
// released on both paths, so the jump skips no destructor.
#include "platform/d3dx/image_decode.h"  // first: jpeglib.h defines TRUE and FALSE as macros

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace d3dx {

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  bool truncated;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  // Warnings (level -1) are kept silent; a premature end of data marks the file as damaged.
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
    reinterpret_cast<ErrorManager*>(cinfo->err)->truncated = true;
  }
}

// Runs the decompression; returns false on any libjpeg error. `pixels` is sized here.
bool RunDecompress(jpeg_decompress_struct* cinfo, ErrorManager* err, const std::uint8_t* data, std::size_t size,
                   std::vector<std::uint8_t>* pixels, std::vector<std::uint8_t>* row, const DecodeLimits& limits,
                   std::uint32_t* width, std::uint32_t* height) {
  if (setjmp(err->jump)) return false;
  jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;
  if (!image_detail::DimensionsAllowed(cinfo->image_width, cinfo->image_height, limits)) return false;
  const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
  cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  jpeg_start_decompress(cinfo);
  const std::uint32_t w = cinfo->output_width, h = cinfo->output_height;
  if (cinfo->output_components != 4 || !image_detail::DimensionsAllowed(w, h, limits)) return false;
  pixels->assign(static_cast<std::size_t>(w) * h * 4, 0);
  row->assign(static_cast<std::size_t>(w) * 4, 0);
  while (cinfo->output_scanline < h) {
    const std::uint32_t y = cinfo->output_scanline;
    JSAMPROW rows[1] = {row->data()};
    if (jpeg_read_scanlines(cinfo, rows, 1) != 1) return false;
    std::uint8_t* dst = pixels->data() + static_cast<std::size_t>(y) * w * 4;
    const std::uint8_t* src = row->data();
    for (std::uint32_t x = 0; x < w; ++x, src += 4, dst += 4) {
      if (cmyk) {
        // Adobe writes CMYK inverted: the stored values are already 255 - ink.
        const unsigned k = src[3];
        dst[0] = static_cast<std::uint8_t>(src[0] * k / 255);
        dst[1] = static_cast<std::uint8_t>(src[1] * k / 255);
        dst[2] = static_cast<std::uint8_t>(src[2] * k / 255);
        dst[3] = 255;
      } else {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
        dst[3] = 255;
      }
    }
    if (err->truncated) return false;
  }
  jpeg_finish_decompress(cinfo);
  *width = w;
  *height = h;
  return !err->truncated;
}

}  // namespace

win32::HRESULT DecodeJpeg(const std::uint8_t* data, std::size_t size, DecodedImage& out, const DecodeLimits& limits) {
  out = DecodedImage();
  if (!data || size < 4) return D3DXERR_INVALIDDATA;
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnError;
  err.pub.emit_message = OnMessage;
  err.truncated = false;
  jpeg_create_decompress(&cinfo);
  std::vector<std::uint8_t> pixels, row;
  std::uint32_t width = 0, height = 0;
  const bool ok = RunDecompress(&cinfo, &err, data, size, &pixels, &row, limits, &width, &height);
  jpeg_destroy_decompress(&cinfo);
  if (!ok) return D3DXERR_INVALIDDATA;
  out.fileFormat = D3DXIFF_JPG;
  out.fileD3DFormat = d3d8::D3DFMT_R8G8B8;
  out.hasAlpha = false;
  out.levels.resize(1);
  out.levels[0].width = width;
  out.levels[0].height = height;
  out.levels[0].rgba = std::move(pixels);
  return win32::S_OK;
}

}  // namespace d3dx
