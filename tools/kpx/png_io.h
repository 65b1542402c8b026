// PNG reading and writing for the kpx tool, its tests and the codec
// benchmarks (libpng's simplified API).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kpx {

struct Picture {
  int width = 0, height = 0;
  bool grey = false;                 // one byte per pixel, else R,G,B
  std::vector<std::uint8_t> pixels;  // rows top first
};

// What readPng and decodePng accept: files up to 256 MiB, pictures up to
// 2^26 pixels (8192 x 8192; 192 MiB as RGB) with sides up to 65535. Both are
// checked before anything is allocated for them.
inline constexpr std::uint64_t kMaxPngFileBytes = std::uint64_t{256} << 20;
inline constexpr std::uint64_t kMaxPngPixels = std::uint64_t{1} << 26;

// Reads any PNG as 8-bit RGB (grey = false) or 8-bit grey (grey = true);
// alpha is composited onto black. False with reason on failure or beyond the
// limits above.
bool readPng(const std::string& fileName, bool grey, Picture& picture, std::string* reason);
bool decodePng(const std::uint8_t* data, std::size_t size, bool grey, Picture& picture,
               std::string* reason);
// Encodes a picture (grey or RGB as its flag says) as PNG bytes; empty on failure.
std::vector<std::uint8_t> encodePng(const Picture& picture, std::string* reason);
// encodePng into a file by fileio's output rules ("-" is standard output);
// refuses to write over any of inputs. False with reason.
bool writePng(const std::string& fileName, const Picture& picture, std::string* reason,
              const std::vector<std::string>& inputs = {});

}  // namespace kpx
