// The spine of the show: start-up sequence, frame loop and shutdown, shared by
// `voltra` (a window, the audio stream) and `voltra-render` (headless, a
// virtual clock).
#pragma once

#include <cstdint>
#include <functional>

namespace platform {
class Backend;
}

struct DemoRun {
  platform::Backend* backend = nullptr;  // the window system to run on
  // Called before each frame of the loop with the frame's number (0, 1, …),
  // before the event is dispatched; the headless runner sets its clock here.
  std::function<void(std::int64_t frame)> beforeFrame;
  // Called after each frame's end test passed; true ends the loop early.
  std::function<bool(std::int64_t frame)> stopAfterFrame;
  // Called right after each frame's buffer swap.
  std::function<void(std::int64_t frame)> afterSwap;
};

// Runs the whole show with the current start-up settings (engine/state.h) and
// returns the process exit code (0). Fatal errors end the process inside.
int runDemo(const DemoRun& run);
