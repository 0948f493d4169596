#include <png.h>

#include "platform/d3d8/d3d8.h"

namespace d3d8 {

HRESULT WriteRgbaPng(const std::string& path, const std::vector<std::uint8_t>& rgba, UINT width, UINT height) {
  if (width == 0 || height == 0 || rgba.size() < static_cast<size_t>(width) * height * 4) return win32::E_FAIL;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGBA;
  const int ok = png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), static_cast<png_int_32>(width * 4),
                                         nullptr);
  png_image_free(&image);
  return ok ? win32::S_OK : win32::E_FAIL;
}

}  // namespace d3d8
