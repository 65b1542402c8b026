// Fuzzes the script syntax: any bytes must give either success or one of the
// script's messages, never a crash, and the ScriptTarget contract must hold.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/script_reader.h"

namespace {

class CheckingTarget final : public ScriptTarget {
 public:
  void log(std::string_view, std::int32_t) override {}
  int findScene(const std::string& name) override {
    // Scene01 … Scene13 at 1 … 13, and a duplicate of Scene01 at 14.
    if (name.size() == 7 && name.compare(0, 5, "Scene") == 0) {
      const int number = (name[5] - '0') * 10 + (name[6] - '0');
      if (number == 1) return 14;
      if (number >= 2 && number <= 13) return number;
    }
    return 0;
  }
  bool timelineExists(std::int32_t id) override { return id == 1; }
  void placeScene(std::int32_t id, int scene, std::int32_t start, std::int32_t end) override {
    if (id != 1 || scene < 1 || scene > 14 || start < 0 || start > 599900 || end > 600000) std::abort();
  }
  void setMusic(const std::string&, std::int32_t, std::int32_t, std::int32_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (!file) return 0;
  CheckingTarget target;
  std::string line;
  while (readScriptLine(file, line)) {
    if (line.size() > scriptLineLimit) std::abort();
    if (runScriptLine(line, target)) break;
  }
  std::fclose(file);
  std::int32_t value = 0;
  parseScriptInteger(std::string_view(reinterpret_cast<const char*>(data), size), value);
  return 0;
}
