#include "app/frame_png.h"

#include <GL/gl.h>
#include <png.h>

#include <vector>

#include "fileio/fileio.h"

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}

// Encodes rows (bottom row first, as GL reads them) into memory. libpng
// reports errors by longjmp, so this function keeps no state across it.
bool encodeRows(std::vector<unsigned char>& file, const unsigned char* pixels, int width, int height) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &file, appendBytes, nullptr);
  png_set_compression_level(png, 1);  // frames are many; speed over size
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const std::size_t stride = static_cast<std::size_t>(width) * 3;
  for (int y = height - 1; y >= 0; --y)
    png_write_row(png, const_cast<unsigned char*>(pixels) + stride * static_cast<std::size_t>(y));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool writeFramePng(const std::string& fileName, int width, int height, std::string* reason,
                   const std::vector<std::string>& inputs) {
  std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(height));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());

  std::vector<unsigned char> file;
  if (!encodeRows(file, pixels.data(), width, height)) {
    if (reason) *reason = "cannot write " + fileName + ": the PNG encoder failed";
    return false;
  }
  fileio::OutputOptions options;
  options.inputs = inputs;
  return fileio::writeWholeFile(fileName, file.data(), file.size(), options, reason);
}
