#include <cstddef>
#include <cstdint>

#include "gallery.h"

namespace forge {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

bool parseGalleryList(const std::string& text, std::vector<GalleryEntry>& entries, std::string* reason) {
  entries.clear();
  std::size_t start = 0;
  for (int lineNumber = 1; start < text.size(); ++lineNumber) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && isBlank(line.back())) line.pop_back();
    std::size_t i = 0;
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i == line.size() || line[i] == '#') continue;
    auto fail = [&](const std::string& why) {
      if (reason) *reason = "line " + std::to_string(lineNumber) + ": " + why;
      return false;
    };
    std::int64_t ms = 0;
    std::size_t digits = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i, ++digits) {
      ms = ms * 10 + (line[i] - '0');
      if (ms > 600000) return fail("the time is above 600000 ms");
    }
    if (digits == 0) return fail("expected a time in milliseconds, found '" + line.substr(i, 20) + "'");
    if (i < line.size() && !isBlank(line[i])) return fail("the time is not a whole number of milliseconds");
    while (i < line.size() && isBlank(line[i])) ++i;
    entries.push_back({static_cast<std::int32_t>(ms), line.substr(i)});
  }
  if (entries.empty()) {
    if (reason) *reason = "the list names no frame";
    return false;
  }
  return true;
}

}  // namespace forge
