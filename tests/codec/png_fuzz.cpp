// Fuzzes the kpx tool's PNG reading from memory: any bytes give either a
// picture whose pixel buffer matches its size or a failure with a reason;
// sizes beyond the stated limit are refused before their pixels are
// allocated (libFuzzer's memory limit catches an allocation that is not).
#include <cstdlib>

#include "png_io.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const bool grey : {false, true}) {
    kpx::Picture picture;
    std::string reason;
    if (!kpx::decodePng(data, size, grey, picture, &reason)) {
      if (reason.empty()) std::abort();
      continue;
    }
    const std::uint64_t pixels = std::uint64_t(picture.width) * std::uint64_t(picture.height);
    if (pixels == 0 || pixels > kpx::kMaxPngPixels || picture.pixels.size() != pixels * (grey ? 1 : 3))
      std::abort();
  }
  return 0;
}
