// Progress log and fatal errors.
//
// debug.txt: one line per call of logLine: the text unchanged, " | ", the
// number in decimal, CR LF. The first line of a run creates (truncates) the
// file; every line opens and closes it, so each line is on disk at once.
//
// error.txt: written by fatalError only, exactly four CR LF lines:
//   "Sorry, but the following module had something to say:", "", module, message.
//
// Both files live in the current directory. When debug.txt cannot be written
// the process prints one line naming the file and the system's reason to
// stderr and exits with a non-zero code (the errno of the failure).
//
// A fatal error also prints one line to stderr, so that a failure is seen
// where the program was started:
//   PROGRAM: MODULE: MESSAGE
//   PROGRAM: MODULE: MESSAGE (REMEDY)        when the caller knows a remedy
// and ends the process with exit code 1.
#pragma once

#include <cstdint>
#include <string_view>

// Appends one line to debug.txt (creating it on the first call of the run).
// Never returns on an I/O failure: see above.
void logLine(std::string_view text, std::int32_t number);

// Writes error.txt, prints the stderr line, runs the fatal teardown (see
// setFatalTeardown) and ends the process with exit code 1. When error.txt
// cannot be written the stderr line is still printed, followed by a line
// naming the file, and the exit code is the errno of that failure.
[[noreturn]] void fatalError(const char* module, const char* message, const char* remedy = nullptr);

// Remedies the callers name, for the two causes a user can mend at once.
inline constexpr const char* noDisplayRemedy = "no display: set DISPLAY, or use voltra-render";
inline constexpr const char* noSoundDeviceRemedy = "no sound device: uncheck Music, or pass --no-music";

// Registers what fatalError runs after writing error.txt: the window's
// teardown (engine/window.h registers it), so the log depends on nothing
// above it. nullptr: none.
void setFatalTeardown(void (*teardown)());

// The name the stderr lines begin with; "voltra" unless an entry point sets
// its own. name must outlive the process's use of it (a literal).
void setProgramName(const char* name);

// The separator line texts use: 26 dashes.
inline constexpr std::string_view logSeparator = "--------------------------";

// For tests that log several runs in one process: forget that debug.txt was
// created, so the next logLine truncates it again.
void resetLogForTesting();
