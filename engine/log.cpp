#include "engine/log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool logCreated = false;
void (*fatalTeardown)() = nullptr;
const char* programName = "voltra";

void reportIoFailure(const char* fileName, int error) {
  std::fprintf(stderr, "%s: cannot write %s: %s\n", programName, fileName, std::strerror(error));
  std::fflush(stderr);
}

int ioExitCode(int error) { return error > 0 && error < 256 ? error : 1; }

// Writes the whole buffer to fileName in the given fopen mode. Returns 0, or
// the errno of the failure.
int writeFile(const char* fileName, const char* mode, const std::string& bytes) {
  errno = 0;
  std::FILE* file = std::fopen(fileName, mode);
  if (!file) return errno ? errno : EIO;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int writeError = errno;
  if (std::fclose(file) != 0 || !written) return writeError ? writeError : (errno ? errno : EIO);
  return 0;
}

}  // namespace

void logLine(std::string_view text, std::int32_t number) {
  std::string line;
  line.reserve(text.size() + 16);
  line.append(text);
  line.append(" | ");
  line.append(std::to_string(number));
  line.append("\r\n");
  if (const int error = writeFile("debug.txt", logCreated ? "ab" : "wb", line)) {
    reportIoFailure("debug.txt", error);
    std::_Exit(ioExitCode(error));
  }
  logCreated = true;
}

void fatalError(const char* module, const char* message, const char* remedy) {
  module = module ? module : "";
  message = message ? message : "";
  std::string text = "Sorry, but the following module had something to say:\r\n\r\n";
  text.append(module);
  text.append("\r\n");
  text.append(message);
  text.append("\r\n");
  const int error = writeFile("error.txt", "wb", text);

  // Printed before the teardown, which talks to the window system and might not come back.
  if (remedy) std::fprintf(stderr, "%s: %s: %s (%s)\n", programName, module, message, remedy);
  else std::fprintf(stderr, "%s: %s: %s\n", programName, module, message);
  std::fflush(stderr);
  if (error) reportIoFailure("error.txt", error);

  if (fatalTeardown) fatalTeardown();
  std::fflush(nullptr);
  std::_Exit(error ? ioExitCode(error) : 1);
}

void setFatalTeardown(void (*teardown)()) { fatalTeardown = teardown; }

void setProgramName(const char* name) { programName = name ? name : "voltra"; }

void resetLogForTesting() { logCreated = false; }
