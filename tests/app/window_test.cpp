// Window steps, their failures and the window procedure, on the scripted
// backend (headless GL underneath). Paths that create a context or end the
// process run in a child.
#include <gtest/gtest.h>

#include "engine/log.h"
#include "engine/window.h"
#include "tests/support/child_process.h"
#include "tests/support/scripted_backend.h"
#include "tests/support/temp_dir.h"

using testsupport::readFileBytes;
using testsupport::runInChild;
using testsupport::ScopedTempDir;
using testsupport::ScriptedBackend;

namespace {

const std::string errorHeader = "Sorry, but the following module had something to say:\r\n\r\norbWinAPI\r\n";

testsupport::ChildResult createIn(ScriptedBackend& backend, bool fullscreen) {
  return runInChild([&] {
    resetLogForTesting();
    setWindowBackend(backend);
    orbCreateWindow("Voltra", 800, 600, 32, fullscreen);
    std::_Exit(running ? 10 : 11);
  });
}

}  // namespace

TEST(Window, CreationLogsItsFiveStepsAndSetsRunning) {
  ScopedTempDir dir;
  ScriptedBackend backend;
  const auto child = createIn(backend, false);
  EXPECT_EQ(child.exitCode, 10) << child.errorOutput;
  EXPECT_EQ(readFileBytes("debug.txt"),
            "orbCreateWindow | 0\r\nWindowRegister | 0\r\nWindowCreate | 0\r\nWindowInit | 0\r\n"
            "Initialisation done. | 0\r\n");
  EXPECT_EQ(readFileBytes("calls.txt"), "register\ncreateWindow Voltra windowed\ncreateContext 32 16\n");
}

TEST(Window, FullscreenChangesTheModeFirstAndHidesTheCursor) {
  ScopedTempDir dir;
  ScriptedBackend backend;
  const auto child = createIn(backend, true);
  EXPECT_EQ(child.exitCode, 10) << child.errorOutput;
  EXPECT_EQ(readFileBytes("calls.txt"),
            "register\nchangeDisplayMode 800x600x32\ncreateWindow Voltra fullscreen\nhideCursor\ncreateContext 32 16\n");
}

TEST(Window, EachFailingStepIsFatalWithItsMessage) {
  struct Case {
    const char* name;
    void (*arm)(ScriptedBackend&);
    bool fullscreen;
    const char* message;
    const char* lastLogLine;
    const char* calls;
  };
  const Case cases[] = {
      {"register", [](ScriptedBackend& b) { b.failRegister = true; }, false, "Could not register orbWindow!",
       "WindowRegister | 0\r\n", "register\nreleaseContext\ndestroyWindow\n"},
      {"create", [](ScriptedBackend& b) { b.failCreate = true; }, false, "Could not create orbWindow!",
       "WindowCreate | 0\r\n", "register\ncreateWindow Voltra windowed\nreleaseContext\ndestroyWindow\n"},
      {"context", [](ScriptedBackend& b) { b.failContext = true; }, false, "Could not initialise orbWindow!",
       "WindowInit | 0\r\n",
       "register\ncreateWindow Voltra windowed\ncreateContext 32 16\nreleaseContext\ndestroyWindow\n"},
      // The display mode is refused before any window exists; the mode and the
      // cursor are still restored.
      {"display mode", [](ScriptedBackend& b) { b.failDisplayMode = true; }, true,
       "Screen resolution is not supported by your gfx card!", "WindowCreate | 0\r\n",
       "register\nchangeDisplayMode 800x600x32\nreleaseContext\ndestroyWindow\nrestoreDisplayMode\nshowCursor\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    ScriptedBackend backend;
    c.arm(backend);
    const auto child = createIn(backend, c.fullscreen);
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 1);
    EXPECT_EQ(child.errorOutput, std::string("voltra: orbWinAPI: ") + c.message + "\n");
    EXPECT_EQ(readFileBytes("error.txt"), errorHeader + c.message + "\r\n");
    const std::string log = readFileBytes("debug.txt");
    EXPECT_TRUE(log.size() >= std::string(c.lastLogLine).size() &&
                log.compare(log.size() - std::string(c.lastLogLine).size(), std::string::npos, c.lastLogLine) == 0)
        << log;
    EXPECT_EQ(readFileBytes("calls.txt"), c.calls);
  }
}

TEST(Window, WithoutADisplayTheRegisterFailureNamesTheRemedy) {
  ScopedTempDir dir;
  ScriptedBackend backend;
  backend.noDisplay = true;
  const auto child = createIn(backend, true);
  EXPECT_EQ(child.exitCode, 1);
  EXPECT_EQ(child.errorOutput,
            "voltra: orbWinAPI: Could not register orbWindow! (no display: set DISPLAY, or use voltra-render)\n");
  EXPECT_EQ(readFileBytes("error.txt"), errorHeader + "Could not register orbWindow!\r\n");
  // Torn down through the hook the window registered, fullscreen included.
  EXPECT_EQ(readFileBytes("calls.txt"), "register\nreleaseContext\ndestroyWindow\nrestoreDisplayMode\nshowCursor\n");
}

TEST(WindowProc, EscapeClearsRunningOtherKeysDoNothingCloseDestroysTheWindow) {
  ScopedTempDir dir;
  ScriptedBackend backend;
  setWindowBackend(backend);
  using platform::Event;
  using platform::Message;

  windowProc(Event{Message::create, 0});
  EXPECT_TRUE(running);
  for (std::uint32_t key : {0x41u, 0x0Du, 0x20u, 0x1Cu, 0x1Au})
    windowProc(Event{Message::keyDown, key});
  windowProc(Event{Message::paint, 0});
  windowProc(Event{Message::screenSaver, 0});
  windowProc(Event{Message::monitorPower, 0});
  windowProc(Event{Message::other, 0});
  EXPECT_TRUE(running);
  EXPECT_FALSE(std::filesystem::exists("calls.txt")) << "no message but close may reach the backend";

  windowProc(Event{Message::keyDown, platform::keyEscape});
  EXPECT_FALSE(running);
  EXPECT_FALSE(std::filesystem::exists("calls.txt")) << "Escape must not destroy the window";

  windowProc(Event{Message::create, 0});
  windowProc(Event{Message::close, 0});
  EXPECT_FALSE(running);
  EXPECT_EQ(readFileBytes("calls.txt"), "destroyWindow\n");
}
