// libFuzzer harness: the frame gallery's list format (any bytes must parse or
// be refused with a reason, never crash).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gallery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<forge::GalleryEntry> entries;
  std::string reason;
  const bool ok =
      forge::parseGalleryList(std::string(reinterpret_cast<const char*>(data), size), entries, &reason);
  if (!ok && reason.empty()) __builtin_trap();
  if (ok && entries.empty()) __builtin_trap();
  for (const auto& e : entries)
    if (e.ms < 0 || e.ms > 600000) __builtin_trap();
  return 0;
}
