// Fuzz harness: command-list text. Parsing must never crash; a list that
// parses renders on a small layer, and its export parses to the same
// histories.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "synth/synth.h"
#include "synth/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  synth::Histories h{};
  std::string why;
  if (!synth::parseCommandList(text, h, &why)) {
    if (why.empty()) std::abort();
    return 0;
  }
  synth::Histories again{};
  if (!synth::parseCommandList(synth::historiesToText(h), again, &why)) std::abort();
  if (synth::historiesToText(again) != synth::historiesToText(h)) std::abort();
  synth::Synth s;
  std::vector<std::uint8_t> pixels;
  if (!s.renderHistories(pixels, h, 16, 8, true, &why)) std::abort();
  return 0;
}
