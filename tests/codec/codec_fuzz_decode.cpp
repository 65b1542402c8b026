// Fuzzes decoding from memory: any bytes must give either a decoded picture
// of the header's size or a failure with a reason, never a crash, a hang or
// an out-of-bounds access; small pictures must match the reference routines
// byte for byte.
#include <cstdlib>
#include <vector>

#include "codec/wavelet.h"
#include "test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> pixels;
  codec::ImageHeader header;
  const codec::LoadResult r = codec::decodeWaveletImage(data, size, pixels, header);
  if (!r.ok()) {
    if (r.reason.empty() || header.height != 0 || !pixels.empty()) std::abort();
    return 0;
  }
  const std::size_t count = std::size_t(header.width) * header.height;
  if (pixels.size() != count * (header.bitsPerPixel == 24 ? 4 : 1)) std::abort();
  if (count <= 4096) {
    std::vector<std::uint8_t> reference;
    const std::vector<std::uint8_t> file(data, data + size);
    if (!codectest::referenceDecode(file, reference).ok() || reference != pixels) std::abort();
  }
  return 0;
}
