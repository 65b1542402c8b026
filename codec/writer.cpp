#include "codec/wavelet.h"

namespace codec {

bool encodeImageFile(const std::string&, const std::uint8_t*, int, int, const EncodeParams&,
                     std::string* reason) {
  if (reason) *reason = "not implemented yet";
  return false;
}

}  // namespace codec
