// PNG through libpng's simplified API, which does the colour conversions
// (palette, grey, 16-bit, with or without alpha) to one 32-bit layout.
#include <png.h>

#include <cstring>

#include "orvwebkit/platform/platform.h"

namespace velmora::orvwebkit::platform {

std::optional<DecodedImage> DecodePng(const std::uint8_t* data, std::size_t size,
                                      std::uint8_t* pixels, std::int32_t stride,
                                      std::int32_t max_width, std::int32_t max_height) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) return std::nullopt;
  if (image.width == 0 || image.height == 0 ||
      image.width > static_cast<png_uint_32>(max_width) ||
      image.height > static_cast<png_uint_32>(max_height)) {
    png_image_free(&image);
    return std::nullopt;
  }
  image.format = PNG_FORMAT_BGRA;
  if (!png_image_finish_read(&image, nullptr, pixels, stride, nullptr)) {
    png_image_free(&image);
    return std::nullopt;
  }
  DecodedImage result;
  result.width = static_cast<std::int32_t>(image.width);
  result.height = static_cast<std::int32_t>(image.height);
  return result;
}

bool EncodePng(const std::uint8_t* pixels, std::int32_t width, std::int32_t height,
               std::int32_t stride, std::vector<std::uint8_t>* png) {
  if (width <= 0 || height <= 0) return false;
  // The surface's fourth byte is not meaningful for a picture of the view.
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint8_t* in = pixels + static_cast<std::ptrdiff_t>(y) * stride;
    std::uint8_t* out = rgb.data() + static_cast<std::size_t>(y) * width * 3;
    for (std::int32_t x = 0; x < width; ++x) {
      out[x * 3 + 0] = in[x * 4 + 2];
      out[x * 3 + 1] = in[x * 4 + 1];
      out[x * 3 + 2] = in[x * 4 + 0];
    }
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t needed = 0;
  if (!png_image_write_to_memory(&image, nullptr, &needed, 0, rgb.data(), width * 3, nullptr)) {
    return false;
  }
  png->resize(needed);
  if (!png_image_write_to_memory(&image, png->data(), &needed, 0, rgb.data(), width * 3,
                                 nullptr)) {
    return false;
  }
  png->resize(needed);
  return true;
}

}  // namespace velmora::orvwebkit::platform
