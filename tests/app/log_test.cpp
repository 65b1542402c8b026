#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/log.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

using testsupport::readFileBytes;
using testsupport::runInChild;
using testsupport::ScopedTempDir;

TEST(LogLine, WritesTextBarNumberCrLfAndTruncatesOnlyOnFirstLineOfRun) {
  ScopedTempDir dir;
  {
    std::ofstream old("debug.txt", std::ios::binary);
    old << "left from an earlier run\r\n";
  }
  resetLogForTesting();
  logLine("orbCreateWindow", 0);
  logLine("Width: ", 512);  // trailing space kept: two spaces before the bar
  logLine("Start Time", -5);
  logLine("max", 2147483647);
  logLine("min", -2147483647 - 1);
  logLine(logSeparator, 0);
  EXPECT_EQ(readFileBytes("debug.txt"),
            "orbCreateWindow | 0\r\n"
            "Width:  | 512\r\n"
            "Start Time | -5\r\n"
            "max | 2147483647\r\n"
            "min | -2147483648\r\n"
            "-------------------------- | 0\r\n");

  // A second run replaces the first run's log.
  resetLogForTesting();
  logLine("second run", 1);
  EXPECT_EQ(readFileBytes("debug.txt"), "second run | 1\r\n");
}

TEST(LogLine, TextWithEmbeddedNulIsWrittenWhole) {
  ScopedTempDir dir;
  resetLogForTesting();
  logLine(std::string_view("a\0b", 3), 7);
  EXPECT_EQ(readFileBytes("debug.txt"), std::string("a\0b | 7\r\n", 9));
}

namespace {

// The fatal teardown a window would register: notes whether error.txt was
// already complete when it ran.
void recordTeardown() {
  const bool written = std::filesystem::is_regular_file("error.txt") && readFileBytes("error.txt").size() > 60;
  std::ofstream("teardown.txt") << (written ? "after error.txt" : "before error.txt");
}

}  // namespace

TEST(FatalError, WritesFourLinesSaysSoOnStderrAndExitsWithOne) {
  ScopedTempDir dir;
  resetLogForTesting();
  logLine("before", 0);
  {
    std::ofstream old("error.txt", std::ios::binary);
    old << "an older, much longer error file that must be replaced entirely\r\n\r\n\r\n\r\n\r\n";
  }
  const auto child = runInChild([] {
    setFatalTeardown(recordTeardown);
    fatalError("orbTexture", "Could not load Texture");
  });
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.exitCode, 1);
  EXPECT_EQ(child.errorOutput, "voltra: orbTexture: Could not load Texture\n");
  EXPECT_EQ(readFileBytes("error.txt"),
            "Sorry, but the following module had something to say:\r\n\r\norbTexture\r\nCould not load Texture\r\n");
  EXPECT_EQ(readFileBytes("debug.txt"), "before | 0\r\n");
  EXPECT_EQ(readFileBytes("teardown.txt"), "after error.txt");
}

TEST(FatalError, BeforeAnyLogLineWritesNoDebugFileAndNamesTheRemedy) {
  ScopedTempDir dir;
  resetLogForTesting();
  const auto child = runInChild([] {
    setProgramName("voltra-render");
    fatalError("Startup Dialog", "Can`t create startup dialog", noDisplayRemedy);
  });
  EXPECT_EQ(child.exitCode, 1);
  EXPECT_EQ(child.errorOutput,
            "voltra-render: Startup Dialog: Can`t create startup dialog (no display: set DISPLAY, or use "
            "voltra-render)\n");
  EXPECT_FALSE(std::filesystem::exists("debug.txt"));
  EXPECT_EQ(readFileBytes("error.txt"),
            "Sorry, but the following module had something to say:\r\n\r\nStartup Dialog\r\nCan`t create startup dialog\r\n");
}

TEST(LogFailure, UnwritableFilesGiveOneClearLineAndANonZeroExit) {
  ScopedTempDir dir;
  // A folder where the file should be: fails for root too.
  std::filesystem::create_directory("debug.txt");
  std::filesystem::create_directory("error.txt");

  resetLogForTesting();
  auto child = runInChild([] { logLine("orbCreateWindow", 0); });
  EXPECT_TRUE(child.exited) << "killed by signal " << child.signal;
  EXPECT_NE(child.exitCode, 0);
  EXPECT_NE(child.errorOutput.find("debug.txt"), std::string::npos) << child.errorOutput;
  EXPECT_EQ(std::count(child.errorOutput.begin(), child.errorOutput.end(), '\n'), 1) << child.errorOutput;

  // The fatal error is still told, and the window still torn down.
  child = runInChild([] {
    setFatalTeardown(recordTeardown);
    fatalError("orbWinAPI", "Could not create orbWindow!");
  });
  EXPECT_TRUE(child.exited) << "killed by signal " << child.signal;
  EXPECT_NE(child.exitCode, 0);
  EXPECT_EQ(child.errorOutput.rfind("voltra: orbWinAPI: Could not create orbWindow!\nvoltra: cannot write error.txt: ", 0), 0u)
      << child.errorOutput;
  EXPECT_EQ(std::count(child.errorOutput.begin(), child.errorOutput.end(), '\n'), 2) << child.errorOutput;
  EXPECT_EQ(readFileBytes("teardown.txt"), "before error.txt");
}
