#include "engine/log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/window.h"

namespace {

bool logCreated = false;

[[noreturn]] void ioFailure(const char* fileName, int error) {
  std::fprintf(stderr, "voltra: cannot write %s: %s\n", fileName, std::strerror(error));
  std::fflush(stderr);
  std::_Exit(error > 0 && error < 256 ? error : 1);
}

// Writes the whole buffer to fileName in the given fopen mode, or dies with
// ioFailure naming the file.
void writeFile(const char* fileName, const char* mode, const std::string& bytes) {
  errno = 0;
  std::FILE* file = std::fopen(fileName, mode);
  if (!file) ioFailure(fileName, errno ? errno : EIO);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int writeError = errno;
  if (std::fclose(file) != 0 || !written) ioFailure(fileName, writeError ? writeError : (errno ? errno : EIO));
}

}  // namespace

void logLine(std::string_view text, std::int32_t number) {
  std::string line;
  line.reserve(text.size() + 16);
  line.append(text);
  line.append(" | ");
  line.append(std::to_string(number));
  line.append("\r\n");
  writeFile("debug.txt", logCreated ? "ab" : "wb", line);
  logCreated = true;
}

void fatalError(const char* module, const char* message) {
  std::string text = "Sorry, but the following module had something to say:\r\n\r\n";
  text.append(module ? module : "");
  text.append("\r\n");
  text.append(message ? message : "");
  text.append("\r\n");
  writeFile("error.txt", "wb", text);
  windowTeardownAfterFatal();
  std::fflush(nullptr);
  std::_Exit(0);
}

void resetLogForTesting() { logCreated = false; }
