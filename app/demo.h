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
  // Called once after the last frame, while the GL context still exists.
  std::function<void()> afterLoop;
  // Music time of the first frame. A start inside the show seeks the music
  // there and, before the first frame, catches up every scene active at that
  // time: its set-up and the state it builds up, simulated on the frame grid
  // round(n × 1000 / gridFps) from the start of the scene's window, so the
  // first frame is the one a run from 0 on that grid draws.
  std::int32_t startAt = 0;
  int gridFps = 30;
};

// The frame grid: frame n of a run at fps frames per second of music time
// lies at round(n × 1000 / fps) ms.
std::int64_t gridTime(std::int64_t frame, int fps);
// The first frame n whose grid time is at or after ms (ms ≥ 0).
std::int64_t firstGridFrameAtOrAfter(std::int64_t ms, int fps);
// Where the catch-up for a start at `at` begins: the earliest start of the
// window (the run of slots holding the same render procedure) of any scene
// whose render slot holds `at`; `at` itself when no scene is active there.
// Needs the timelines registered and placed.
std::int32_t catchUpStart(std::int32_t at);

// Runs the whole show with the current start-up settings (engine/state.h) and
// returns the process exit code (0). Fatal errors end the process inside.
int runDemo(const DemoRun& run);
