#include "jpeg_io.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace codecbench {

namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

void onError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

}  // namespace

std::vector<std::uint8_t> encodeJpeg(const kpx::Picture& rgb, int quality, bool fullChroma) {
  jpeg_compress_struct c{};
  ErrorManager err{};
  c.err = jpeg_std_error(&err.base);
  err.base.error_exit = onError;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return {};
  }
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = JDIMENSION(rgb.width);
  c.image_height = JDIMENSION(rgb.height);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  if (fullChroma)
    for (int i = 0; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&rgb.pixels[std::size_t(c.next_scanline) * rgb.width * 3]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<std::uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

bool decodeJpeg(const std::vector<std::uint8_t>& jpeg, kpx::Picture& out) {
  jpeg_decompress_struct d{};
  ErrorManager err{};
  d.err = jpeg_std_error(&err.base);
  err.base.error_exit = onError;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&d);
    return false;
  }
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  out.width = int(d.output_width);
  out.height = int(d.output_height);
  out.grey = false;
  out.pixels.resize(std::size_t(out.width) * out.height * 3);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = &out.pixels[std::size_t(d.output_scanline) * out.width * 3];
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return true;
}

}  // namespace codecbench
