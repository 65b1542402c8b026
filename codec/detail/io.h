// Little-endian field access shared by the decoder, the writer and the tool.
// Internal to the codec library (files go through fileio).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace codec::detail {

inline std::uint16_t readU16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t readU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}
inline std::uint64_t readU64(const std::uint8_t* p) {
  return std::uint64_t(readU32(p)) | (std::uint64_t(readU32(p + 4)) << 32);
}
inline double readF64(const std::uint8_t* p) { return std::bit_cast<double>(readU64(p)); }

inline void writeU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
inline void writeU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
inline void writeF64(std::uint8_t* p, double v) {
  const std::uint64_t u = std::bit_cast<std::uint64_t>(v);
  for (int i = 0; i < 8; ++i) p[i] = std::uint8_t(u >> (8 * i));
}

}  // namespace codec::detail
