// The SDL2 start-up dialog, driven by key events queued before it opens (the
// test runs under Xvfb). Each case runs in a child process and reports what
// the dialog returned in result.txt: "OUTCOME WxH BITS fullscreen|windowed
// music|silent", plus " leaked" when an event of the dialog was left queued.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

using testsupport::readFileBytes;
using testsupport::runInChild;
using testsupport::ScopedTempDir;

namespace {

struct Key {
  SDL_Keycode sym;
  Uint16 mod = KMOD_NONE;
};

std::string describe(platform::DialogOutcome outcome, const platform::StartupChoices& c) {
  const char* name = outcome == platform::DialogOutcome::go ? "go" : outcome == platform::DialogOutcome::cancel ? "cancel" : "failed";
  return std::string(name) + " " + std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
         std::to_string(c.colorBits) + (c.fullscreen ? " fullscreen" : " windowed") + (c.music ? " music" : " silent");
}

// Queues the keys (and a quit request when quit is set), runs the dialog from
// start, and returns its description, or why it could not run.
std::string runDialog(std::initializer_list<Key> keys, platform::StartupChoices start = {}, bool quit = false) {
  ScopedTempDir dir;
  const std::vector<Key> queued(keys);
  const auto child = runInChild([&] {
    std::ofstream result("result.txt");
    platform::Backend& backend = platform::sdl2Backend();
    if (!backend.displayReachable()) {
      result << "no display";
      std::_Exit(0);
    }
    for (const Key& key : queued) {
      SDL_Event event{};
      event.type = SDL_KEYDOWN;
      event.key.state = SDL_PRESSED;
      event.key.keysym.sym = key.sym;
      event.key.keysym.scancode = SDL_GetScancodeFromKey(key.sym);
      event.key.keysym.mod = key.mod;
      SDL_PushEvent(&event);
    }
    if (quit) {
      SDL_Event event{};
      event.type = SDL_QUIT;
      SDL_PushEvent(&event);
    }
    platform::StartupChoices choices = start;
    const platform::DialogOutcome outcome = backend.runStartupDialog(choices);
    result << describe(outcome, choices);
    // Whatever the dialog left queued would reach the demo's window.
    SDL_Event left;
    bool leaked = false;
    while (SDL_PollEvent(&left))
      if (left.type == SDL_KEYDOWN || left.type == SDL_QUIT ||
          (left.type == SDL_WINDOWEVENT && left.window.event == SDL_WINDOWEVENT_CLOSE))
        leaked = true;
    if (leaked) result << " leaked";
    result.close();
    std::_Exit(0);
  });
  if (!child.exited) return "child killed by signal " + std::to_string(child.signal) + ": " + child.errorOutput;
  return readFileBytes("result.txt");
}

const Key tab{SDLK_TAB}, shiftTab{SDLK_TAB, KMOD_LSHIFT}, space{SDLK_SPACE}, enter{SDLK_RETURN},
    escape{SDLK_ESCAPE}, up{SDLK_UP}, down{SDLK_DOWN}, right{SDLK_RIGHT}, home{SDLK_HOME}, end{SDLK_END};

}  // namespace

TEST(Sdl2Dialog, ReturnUntouchedGivesTheDefaultsAndLeavesNothingQueued) {
  // The keys after Return would reach the demo's window if they leaked.
  EXPECT_EQ(runDialog({enter, escape, enter}), "go 800x600 32 fullscreen music");
}

TEST(Sdl2Dialog, EscapeLeavesItOpen) { EXPECT_EQ(runDialog({escape, escape, enter}), "go 800x600 32 fullscreen music"); }

TEST(Sdl2Dialog, TabOrderIsTheTemplateOrderAndSpaceTogglesTheFocusedBox) {
  // Go!, Cancel, list (Down: 1024 x 768), Fullscreen (off), True Color (off).
  EXPECT_EQ(runDialog({tab, tab, down, tab, space, tab, space, enter}), "go 1024x768 16 windowed music");
  // Shift+Tab from Go! wraps to Music.
  EXPECT_EQ(runDialog({shiftTab, space, enter}), "go 800x600 32 fullscreen silent");
}

TEST(Sdl2Dialog, TrueColorOffThenOnAgainGivesThirtyTwoBits) {
  EXPECT_EQ(runDialog({tab, tab, tab, tab, space, space, enter}), "go 800x600 32 fullscreen music");
  EXPECT_EQ(runDialog({tab, tab, tab, tab, space, enter}), "go 800x600 16 fullscreen music");
}

TEST(Sdl2Dialog, ArrowsStopAtTheEndsOfTheList) {
  EXPECT_EQ(runDialog({tab, tab, up, up, up, up, enter}), "go 640x480 32 fullscreen music");
  EXPECT_EQ(runDialog({tab, tab, right, right, right, right, enter}), "go 1280x960 32 fullscreen music");
  EXPECT_EQ(runDialog({tab, tab, end, up, enter}), "go 1024x768 32 fullscreen music");
  EXPECT_EQ(runDialog({tab, tab, end, home, enter}), "go 640x480 32 fullscreen music");
  // Away from the list the arrows move the focus: Down from Go! is Cancel.
  EXPECT_EQ(runDialog({down, space}), "cancel 800x600 32 fullscreen music");
}

TEST(Sdl2Dialog, BoxesStartFromTheGivenSettingsAndASizeOffTheListIsKept) {
  platform::StartupChoices start;
  start.width = 1000;
  start.height = 700;
  start.colorBits = 16;
  start.fullscreen = false;
  start.music = false;
  EXPECT_EQ(runDialog({enter}, start), "go 1000x700 16 windowed silent");
  // From no selection Down picks the first entry.
  EXPECT_EQ(runDialog({tab, tab, down, enter}, start), "go 640x480 16 windowed silent");
  start.width = 1280;
  start.height = 960;
  EXPECT_EQ(runDialog({tab, tab, up, enter}, start), "go 1024x768 16 windowed silent");
}

TEST(Sdl2Dialog, CancelAndTheCloseRequestLeaveTheChoicesAlone) {
  EXPECT_EQ(runDialog({tab, tab, down, tab, space, tab, space, shiftTab, shiftTab, shiftTab, space}),
            "cancel 800x600 32 fullscreen music");
  EXPECT_EQ(runDialog({tab, tab, down, tab, space}, {}, true), "cancel 800x600 32 fullscreen music");
}

TEST(HeadlessBackend, HasNoDialog) {
  platform::StartupChoices choices;
  choices.width = 1;
  EXPECT_EQ(platform::headlessBackend().runStartupDialog(choices), platform::DialogOutcome::failed);
  EXPECT_EQ(choices.width, 1);
}
