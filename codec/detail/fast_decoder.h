// The decoder's fast path: the same double-precision arithmetic as the
// reference routines (dequantizePlane, inverseHaar and friends) in fused,
// row-wise passes. Internal to the codec library.
#pragma once

#include <cstdint>

#include "codec/wavelet.h"

namespace codec::detail {

// Decodes a file whose header passed validateImageHeader against `data`'s
// size into out (width*height bytes grey, width*height*4 B,G,R,0 colour).
// Never fails on such a file; every byte equals the reference routines'.
void decodeFast(const std::uint8_t* data, const ImageHeader& header, std::uint8_t* out);

}  // namespace codec::detail
