#include "engine/script_reader.h"

#include <bit>
#include <limits>

namespace {

// Takes the next field off the front of rest (see script_reader.h).
std::string takeField(std::string& rest) {
  const std::size_t space = rest.find(' ');
  if (space == std::string::npos) return {};
  std::string field = rest.substr(0, space);
  rest.erase(0, space + 1);
  return field;
}

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// The line without its command word and the space after it.
std::string afterCommandWord(const std::string& line) {
  const std::size_t space = line.find(' ');
  return space == std::string::npos ? std::string() : line.substr(space + 1);
}

}  // namespace

bool readScriptLine(std::FILE* file, std::string& line) {
  line.clear();
  int c = std::fgetc(file);
  if (c == EOF) return false;
  while (c != EOF && c != '\n' && c != '\r') {
    if (line.size() < scriptLineLimit) line.push_back(static_cast<char>(c));
    c = std::fgetc(file);
  }
  if (c == '\r') {
    const int next = std::fgetc(file);
    if (next != '\n' && next != EOF) std::ungetc(next, file);
  }
  return true;
}

bool parseScriptInteger(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size()) {
    if (text[i] == '$') base = 16;
    else if (text[i] == '%') base = 2;
    else if (text[i] == '&') base = 8;
    if (base != 10) ++i;
  }
  if (i == text.size()) return false;
  std::uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit = digitValue(text[i]);
    if (digit >= base) return false;
    magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (magnitude > std::numeric_limits<std::uint32_t>::max()) return false;
  }
  if (base == 10) {
    const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
    if (magnitude > limit) return false;
    value = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                               : static_cast<std::int64_t>(magnitude));
    return true;
  }
  std::uint32_t pattern = static_cast<std::uint32_t>(magnitude);
  if (negative) pattern = 0u - pattern;
  value = std::bit_cast<std::int32_t>(pattern);
  return true;
}

const char* runScriptLine(const std::string& line, ScriptTarget& target) {
  if (line.empty() || line[0] != '@') return nullptr;
  target.log("Command Line was found", 0);
  const std::size_t space = line.find(' ');
  if (space == std::string::npos) return scriptMessage::emptyCommand;
  const std::string_view word(line.data(), space);
  if (word == "@music") return parseMusicCommand(line, target);
  if (word == "@scene") return parseSceneCommand(line, target);
  return nullptr;  // "@fx" and unknown words
}

const char* parseSceneCommand(const std::string& line, ScriptTarget& target) {
  std::string rest = afterCommandWord(line);
  const int scene = target.findScene(takeField(rest));
  if (scene == 0) return scriptMessage::sceneName;
  target.log("Loading Scene", scene);

  std::int32_t timelineId = 0, start = 0, end = 0;
  if (!parseScriptInteger(takeField(rest), timelineId)) return scriptMessage::timelineId;
  target.log("Timeline ID", timelineId);
  if (!parseScriptInteger(takeField(rest), start)) return scriptMessage::sceneStart;
  target.log("Start Time", start);
  if (!parseScriptInteger(takeField(rest), end)) return scriptMessage::sceneEnd;
  target.log("End Time", end);

  if (!target.timelineExists(timelineId)) return scriptMessage::noTimeline;
  if (start < 0 || start > 600000 - 100) return scriptMessage::startRange;
  if (end > 600000) return scriptMessage::endRange;
  target.placeScene(timelineId, scene, start, end);
  return nullptr;
}

const char* parseMusicCommand(const std::string& line, ScriptTarget& target) {
  std::string rest = afterCommandWord(line);
  target.log("Reading Module Type", 0);
  takeField(rest);  // module type: read, not used
  target.log("Loading Module", 0);
  const std::string fileName = takeField(rest);
  target.log(fileName, 0);

  std::int32_t offset = 0, end = 0, state = 0;
  if (!parseScriptInteger(takeField(rest), offset)) return scriptMessage::moduleStart;
  target.log("Start Time", offset);
  if (!parseScriptInteger(takeField(rest), end)) return scriptMessage::moduleEnd;
  target.log("End Time", end);
  if (!parseScriptInteger(rest, state)) return scriptMessage::moduleState;
  target.log("Module State", state);
  target.setMusic(fileName, offset, end, state);
  return nullptr;
}
