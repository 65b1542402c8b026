#include "codec/wavelet.h"
#include "fileio/fileio.h"

namespace codec {

bool writeFileAtomically(const std::string& fileName, const std::uint8_t* data, std::size_t size,
                         std::string* reason) {
  return fileio::writeWholeFile(fileName, data, size, {}, reason);
}

}  // namespace codec
