#include "codec/wavelet.h"

namespace codec {

LoadResult loadWaveletImage(std::vector<std::uint8_t>& pixels, ImageHeader& header,
                            const std::string& fileName, bool) {
  pixels.clear();
  header.height = 0;
  return {LoadStatus::ioError, "not implemented yet: " + fileName};
}

LoadResult decodeWaveletImage(const std::uint8_t*, std::size_t, std::vector<std::uint8_t>& pixels,
                              ImageHeader& header) {
  pixels.clear();
  header.height = 0;
  return {LoadStatus::rejected, "not implemented yet"};
}

}  // namespace codec
