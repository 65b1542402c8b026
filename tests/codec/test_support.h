// Helpers shared by the codec tests: hand-built files and synthetic pictures.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/wavelet.h"

namespace codectest {

inline void putU16(std::vector<std::uint8_t>& b, std::size_t at, unsigned v) {
  b[at] = std::uint8_t(v);
  b[at + 1] = std::uint8_t(v >> 8);
}
inline void putU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}
inline void appendF64(std::vector<std::uint8_t>& b, double v) {
  std::uint64_t u;
  std::memcpy(&u, &v, 8);
  for (int i = 0; i < 8; ++i) b.push_back(std::uint8_t(u >> (8 * i)));
}

// A grey file built by hand: header fields, then the given body bytes.
inline std::vector<std::uint8_t> greyFile(int w, int h, int levels, std::uint32_t symbols,
                                          std::uint32_t values, int bits,
                                          const std::vector<double>& table,
                                          const std::vector<std::uint8_t>& streams) {
  std::vector<std::uint8_t> f(36, 0);
  std::memcpy(f.data(), "KPX", 3);
  putU16(f, 3, unsigned(w));
  putU16(f, 5, unsigned(h));
  f[7] = 8;
  f[8] = std::uint8_t(levels);
  putU32(f, 9, symbols);
  putU32(f, 21, values);
  f[33] = std::uint8_t(bits);
  for (double t : table) appendF64(f, t);
  f.insert(f.end(), streams.begin(), streams.end());
  return f;
}

// The 54-byte example: grey 2 x 2, one level, table {1, 1}, symbols 2,0,0,0, value 100.
inline std::vector<std::uint8_t> exampleFile() {
  return greyFile(2, 2, 0, 4, 1, 8, {1.0, 1.0}, {0x02, 100});
}

// A smooth picture with edges and texture, R,G,B per pixel.
inline std::vector<std::uint8_t> syntheticPicture(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-6, 6);
  std::vector<std::uint8_t> p(std::size_t(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool disc = (x - w / 3) * (x - w / 3) + (y - h / 2) * (y - h / 2) < (w / 5) * (w / 5);
      int r = 40 + 180 * x / w, g = 60 + 150 * y / h, b = disc ? 220 : 90 + ((x / 8 + y / 8) % 2) * 40;
      r += noise(rng), g += noise(rng), b += noise(rng);
      std::uint8_t* q = &p[(std::size_t(y) * w + x) * 3];
      q[0] = std::uint8_t(std::clamp(r, 0, 255));
      q[1] = std::uint8_t(std::clamp(g, 0, 255));
      q[2] = std::uint8_t(std::clamp(b, 0, 255));
    }
  return p;
}

inline std::uint64_t fnv1a(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t hsh = 1469598103934665603ull;
  for (std::uint8_t b : bytes) hsh = (hsh ^ b) * 1099511628211ull;
  return hsh;
}

}  // namespace codectest

namespace codectest {

// The straightforward decoder: the named reference routines composed as
// loadWaveletImage's description lists them, with int32 rasters and
// full-size real planes. The fast decoder must match it byte for byte.
inline codec::LoadResult referenceDecode(const std::vector<std::uint8_t>& file,
                                         std::vector<std::uint8_t>& out) {
  using namespace codec;
  std::vector<std::int32_t> r[3];
  std::vector<double> t[3];
  LoadResult result = readCoefficientStreams(file.data(), file.size(), r[0], r[1], r[2], t[0],
                                             t[1], t[2]);
  if (!result.ok()) return result;
  ImageHeader h;
  parseImageHeader(file.data(), file.size(), h);
  const int w = h.width, ht = h.height, n = h.levelCount;
  const std::size_t count = std::size_t(w) * ht;
  if (h.bitsPerPixel == 8) {
    out.resize(count);
    std::vector<double> a(count), b(count);
    dequantizePlane(r[0].data(), a.data(), w, ht, n, t[0].data());
    inverseHaar(a.data(), b.data(), w, ht, w, ht, n);
    storeGreyPixels(b.data(), out.data(), count);
    return result;
  }
  out.resize(count * 4);
  std::vector<double> a[3], rgb[3];
  for (int c = 0; c < 3; ++c) a[c].resize(count), rgb[c].resize(count);
  const std::int32_t* rasters[3] = {r[0].data(), r[1].data(), r[2].data()};
  double* planes[3] = {a[0].data(), a[1].data(), a[2].data()};
  const double* tables[3] = {t[0].data(), t[1].data(), t[2].data()};
  dequantizeColorPlanes(rasters, planes, w, ht, n, tables);
  inverseHaarColor(planes[0], planes[1], planes[2], rgb[0].data(), rgb[1].data(), rgb[2].data(),
                   w, ht, w, ht, n);
  storeColorPixels(rgb[0].data(), rgb[1].data(), rgb[2].data(), out.data(), count);
  return result;
}

}  // namespace codectest
