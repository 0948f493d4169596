// PNG through libpng's simplified png_image API, which handles libpng's error jumps itself.
#include <png.h>

#include "platform/d3dx/image_decode.h"

namespace d3dx {

win32::HRESULT DecodePng(const std::uint8_t* data, std::size_t size, DecodedImage& out, const DecodeLimits& limits) {
  out = DecodedImage();
  if (!data || size < 8) return D3DXERR_INVALIDDATA;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) {
    png_image_free(&image);
    return D3DXERR_INVALIDDATA;
  }
  if (!image_detail::DimensionsAllowed(image.width, image.height, limits)) {
    png_image_free(&image);
    return D3DXERR_INVALIDDATA;
  }
  const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  const bool colour = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
  image.format = PNG_FORMAT_RGBA;
  ImageLevel level;
  level.width = image.width;
  level.height = image.height;
  level.rgba.assign(static_cast<std::size_t>(image.width) * image.height * 4, 0);
  // finish_read releases the decoder on success and on failure.
  if (!png_image_finish_read(&image, nullptr, level.rgba.data(), static_cast<png_int_32>(image.width * 4),
                             nullptr)) {
    png_image_free(&image);
    return D3DXERR_INVALIDDATA;
  }
  out.fileFormat = D3DXIFF_PNG;
  out.fileD3DFormat = alpha ? d3d8::D3DFMT_A8R8G8B8 : (colour ? d3d8::D3DFMT_X8R8G8B8 : d3d8::D3DFMT_L8);
  if (alpha && !colour) out.fileD3DFormat = d3d8::D3DFMT_A8L8;
  out.hasAlpha = alpha;
  out.levels.push_back(std::move(level));
  return win32::S_OK;
}

}  // namespace d3dx
