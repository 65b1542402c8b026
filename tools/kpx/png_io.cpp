#include "png_io.h"

#include <png.h>

#include <cstring>

#include "fileio/fileio.h"

namespace kpx {

namespace {

bool finishRead(png_image& image, bool grey, Picture& picture, std::string* reason) {
  const std::string size = std::to_string(image.width) + " x " + std::to_string(image.height);
  bool fits = image.width != 0 && image.height != 0 && image.width <= 65535 && image.height <= 65535;
  if (!fits && reason) *reason = "picture size " + size + " is outside 1 .. 65535";
  // In 64 bits: libpng's PNG_IMAGE_SIZE wraps at 32.
  const std::uint64_t pixels = std::uint64_t(image.width) * image.height;
  if (fits && pixels > kMaxPngPixels) {
    fits = false;
    if (reason) *reason = "picture size " + size + " is above the limit of " + std::to_string(kMaxPngPixels) + " pixels";
  }
  if (!fits) {
    png_image_free(&image);
    return false;
  }
  image.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
  picture.width = int(image.width);
  picture.height = int(image.height);
  picture.grey = grey;
  picture.pixels.assign(std::size_t(pixels) * (grey ? 1 : 3), 0);  // zeros: alpha composites onto black
  if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) {
    if (reason) *reason = image.message;
    png_image_free(&image);
    picture.pixels.clear();
    return false;
  }
  return true;
}

}  // namespace

bool decodePng(const std::uint8_t* data, std::size_t size, bool grey, Picture& picture,
               std::string* reason) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) {
    if (reason) *reason = image.message;
    return false;
  }
  return finishRead(image, grey, picture, reason);
}

bool readPng(const std::string& fileName, bool grey, Picture& picture, std::string* reason) {
  std::vector<std::uint8_t> bytes;
  if (!fileio::readFile(fileName, kMaxPngFileBytes, bytes, reason)) return false;
  if (!decodePng(bytes.data(), bytes.size(), grey, picture, reason)) {
    if (reason) *reason = fileName + ": " + *reason;
    return false;
  }
  return true;
}

std::vector<std::uint8_t> encodePng(const Picture& picture, std::string* reason) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(picture.width);
  image.height = png_uint_32(picture.height);
  image.format = picture.grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_get_memory_size(image, size, 0, picture.pixels.data(), 0, nullptr)) {
    if (reason) *reason = image.message;
    return {};
  }
  std::vector<std::uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, picture.pixels.data(), 0, nullptr)) {
    if (reason) *reason = image.message;
    return {};
  }
  out.resize(size);
  return out;
}

bool writePng(const std::string& fileName, const Picture& picture, std::string* reason,
              const std::vector<std::string>& inputs) {
  const std::vector<std::uint8_t> bytes = encodePng(picture, reason);
  if (bytes.empty()) return false;
  fileio::OutputOptions options;
  options.inputs = inputs;
  options.allowStdout = true;
  return fileio::writeWholeFile(fileName, bytes.data(), bytes.size(), options, reason);
}

}  // namespace kpx
