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
