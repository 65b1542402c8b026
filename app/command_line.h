// What voltra and voltra-render share on their command lines. Every failure is
// a usage error: "PROGRAM: MESSAGE" and "(see PROGRAM --help)" on stderr, exit 2.
#pragma once

#include <cstdint>
#include <string>

[[noreturn]] void usageError(const char* program, const std::string& message);

// The whole number text names, from low to high, or a usage error for option.
std::int64_t parseNumberOption(const char* program, const char* option, const char* text, std::int64_t low,
                               std::int64_t high);

// "WxH" with both sides from 16 to 8192, or a usage error for --size.
void parseSizeOption(const char* program, const char* text, int& width, int& height);
