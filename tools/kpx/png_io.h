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

// Reads any PNG as 8-bit RGB (grey = false) or 8-bit grey (grey = true);
// alpha is composited onto black. False with reason on failure or when a
// side exceeds 65535.
bool readPng(const std::string& fileName, bool grey, Picture& picture, std::string* reason);
bool decodePng(const std::uint8_t* data, std::size_t size, bool grey, Picture& picture,
               std::string* reason);
// Encodes a picture (grey or RGB as its flag says) as PNG bytes; empty on failure.
std::vector<std::uint8_t> encodePng(const Picture& picture, std::string* reason);
// encodePng into a file, written through a temporary name and a rename.
bool writePng(const std::string& fileName, const Picture& picture, std::string* reason);

}  // namespace kpx
