// libjpeg-turbo in memory, for comparing the codec against JPEG.
#pragma once

#include <cstdint>
#include <vector>

#include "png_io.h"

namespace codecbench {

// RGB picture to JPEG bytes at the given quality; 4:4:4 when fullChroma,
// else libjpeg's default 4:2:0. Empty on failure.
std::vector<std::uint8_t> encodeJpeg(const kpx::Picture& rgb, int quality, bool fullChroma);
// JPEG bytes to RGB (3 bytes a pixel) in out; false on failure.
bool decodeJpeg(const std::vector<std::uint8_t>& jpeg, kpx::Picture& out);

}  // namespace codecbench
