#include "app/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

void usageError(const char* program, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n(see %s --help)\n", program, message.c_str(), program);
  std::exit(2);
}

std::int64_t parseNumberOption(const char* program, const char* option, const char* text, std::int64_t low,
                               std::int64_t high) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
    usageError(program, std::string(option) + " takes a whole number from " + std::to_string(low) + " to " +
                            std::to_string(high) + ", not '" + text + "'");
  return value;
}

void parseSizeOption(const char* program, const char* text, int& width, int& height) {
  int w = 0, h = 0;
  char extra = 0;
  if (std::sscanf(text, "%dx%d%c", &w, &h, &extra) != 2 || w < 16 || h < 16 || w > 8192 || h > 8192)
    usageError(program, "--size takes WxH with both sides from 16 to 8192, not '" + std::string(text) + "'");
  width = w;
  height = h;
}
