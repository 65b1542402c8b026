// libFuzzer harness: the text source format of the forge (any bytes must
// parse or be refused with a reason, never crash).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<forge::TextSection> sections;
  std::string reason;
  const bool ok = forge::parseTextSource(std::string(reinterpret_cast<const char*>(data), size), sections, &reason);
  if (!ok && reason.empty()) __builtin_trap();
  return 0;
}
