// Progress log and fatal errors.
//
// debug.txt: one line per call of logLine: the text unchanged, " | ", the
// number in decimal, CR LF. The first line of a run creates (truncates) the
// file; every line opens and closes it, so each line is on disk at once.
//
// error.txt: written by fatalError only, exactly four CR LF lines:
//   "Sorry, but the following module had something to say:", "", module, message.
//
// Both files live in the current directory. When either cannot be written the
// process prints one line naming the file and the system's reason to stderr
// and exits with a non-zero code (the errno of the failure).
#pragma once

#include <cstdint>
#include <string_view>

// Appends one line to debug.txt (creating it on the first call of the run).
// Never returns on an I/O failure: see above.
void logLine(std::string_view text, std::int32_t number);

// Writes error.txt, tears the window down (see engine/window.h), restores the
// display mode and the cursor, and ends the process with exit code 0.
[[noreturn]] void fatalError(const char* module, const char* message);

// The separator line texts use: 26 dashes.
inline constexpr std::string_view logSeparator = "--------------------------";

// For tests that log several runs in one process: forget that debug.txt was
// created, so the next logLine truncates it again.
void resetLogForTesting();
