// Fuzz harness: history dump bytes. Loading must refuse bad sizes and
// counts; anything it accepts replays (invalid entries skipped) on a small
// layer and exports as text that parses back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "synth/synth.h"
#include "synth/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An input that starts with 0xD5 stands for the start of a dump (the rest
  // zero), so short inputs reach the replay too.
  std::vector<std::uint8_t> bytes(data, data + size);
  if (size > 0 && size <= synth::kDumpBytes && data[0] == 0xD5) {
    bytes.erase(bytes.begin());
    bytes.resize(synth::kDumpBytes, 0);
  }
  synth::Histories h{};
  std::string why;
  if (!synth::decodeDump(bytes.data(), bytes.size(), h, &why)) {
    if (why.empty()) std::abort();
    return 0;
  }
  synth::Synth s;
  std::vector<std::uint8_t> pixels;
  if (!s.renderHistories(pixels, h, 16, 8, true, &why)) std::abort();
  synth::Histories back{};
  if (!synth::parseCommandList(synth::historiesToText(h), back, &why)) std::abort();
  return 0;
}
