// The decoder's fast path: the same double-precision arithmetic as the
// reference routines (inverseHaar and friends), in cache-friendly fused
// passes. Internal to the codec library.
#pragma once

#include <cstdint>

#include "codec/wavelet.h"

namespace codec::detail {

// Decodes a file whose header passed validateImageHeader against `data`'s
// size into out (width*height bytes grey, width*height*4 B,G,R,0 colour).
void decodeFast(const std::uint8_t* data, const ImageHeader& header, std::uint8_t* out);

// The reference composition of the named routines, for comparison in tests.
void decodeReference(const std::uint8_t* data, std::size_t size, const ImageHeader& header,
                     std::uint8_t* out);

}  // namespace codec::detail
