#include "codec/detail/fast_decoder.h"

#include <vector>

namespace codec::detail {

void decodeReference(const std::uint8_t* data, std::size_t size, const ImageHeader& h,
                     std::uint8_t* out) {
  std::vector<std::int32_t> r[3];
  std::vector<double> t[3];
  readCoefficientStreams(data, size, r[0], r[1], r[2], t[0], t[1], t[2]);
  const int w = h.width, ht = h.height, n = h.levelCount;
  const std::size_t count = std::size_t(w) * ht;
  if (h.bitsPerPixel == 8) {
    std::vector<double> a(count), b(count);
    dequantizePlane(r[0].data(), a.data(), w, ht, n, t[0].data());
    inverseHaar(a.data(), b.data(), w, ht, w, ht, n);
    storeGreyPixels(b.data(), out, count);
    return;
  }
  std::vector<double> a[3], rgb[3];
  for (int c = 0; c < 3; ++c) a[c].resize(count), rgb[c].resize(count);
  const std::int32_t* rasters[3] = {r[0].data(), r[1].data(), r[2].data()};
  double* planes[3] = {a[0].data(), a[1].data(), a[2].data()};
  const double* tables[3] = {t[0].data(), t[1].data(), t[2].data()};
  dequantizeColorPlanes(rasters, planes, w, ht, n, tables);
  inverseHaarColor(planes[0], planes[1], planes[2], rgb[0].data(), rgb[1].data(), rgb[2].data(),
                   w, ht, w, ht, n);
  storeColorPixels(rgb[0].data(), rgb[1].data(), rgb[2].data(), out, count);
}

void decodeFast(const std::uint8_t* data, const ImageHeader& h, std::uint8_t* out) {
  ImageLayout layout;
  validateImageHeader(h, ~std::uint64_t{0}, &layout);
  decodeReference(data, layout.totalBytes, h, out);
}

}  // namespace codec::detail
