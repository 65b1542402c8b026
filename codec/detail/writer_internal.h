// The file layout step shared by the writers. Internal to the codec library.
#pragma once

#include <cstdint>
#include <vector>

namespace codec::detail {

// Codes, packs and lays out a whole file in memory (parameters already
// checked). For grey files only index 0 of rasters and tables is read; all
// three value widths go into the header.
std::vector<std::uint8_t> buildWaveletImage(const std::int32_t* const rasters[3], int width,
                                            int height, int bitsPerPixel, int levelCount,
                                            const double* const tables[3],
                                            const int valueBits[3]);

}  // namespace codec::detail
