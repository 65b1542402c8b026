// The frame loop's order and end conditions, on the scripted backend with the
// virtual clock. Each run is a child process (the show's state is global).
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "app/demo.h"
#include "engine/log.h"
#include "engine/music.h"
#include "engine/state.h"
#include "engine/timeline.h"
#include "engine/virtual_clock.h"
#include "tests/support/child_process.h"
#include "tests/support/scripted_backend.h"
#include "tests/support/show_fixture.h"
#include "tests/support/temp_dir.h"

using testsupport::readFileBytes;
using testsupport::runInChild;
using testsupport::ScopedTempDir;
using testsupport::ScriptedBackend;

namespace {

struct LoopResult {
  int exitCode = -1;
  std::string frames;  // one line per frame: "<frame> <currentTime>"
};

// Runs the show in a child with frames every stepMs of virtual time; the
// backend is armed by `arm` before the frame with that number.
LoopResult runLoop(std::int32_t presetEndTime, int stepMs,
                   std::function<void(ScriptedBackend&, std::int64_t)> arm = nullptr) {
  LoopResult result;
  const auto child = runInChild([&] {
    ScriptedBackend backend;
    auto clockOwner = std::make_unique<VirtualClock>();
    VirtualClock* clock = clockOwner.get();
    useMusicClock(std::move(clockOwner));
    settings = StartupSettings{};
    settings.fullscreen = false;
    settings.music = false;
    endTime = presetEndTime;
    std::ofstream frames("frames.txt");
    DemoRun run;
    run.backend = &backend;
    run.beforeFrame = [&](std::int64_t frame) {
      clock->setTime(static_cast<std::int32_t>(frame * stepMs));
      if (arm) arm(backend, frame);
    };
    run.afterSwap = [&](std::int64_t frame) { frames << frame << " " << currentTime << "\n" << std::flush; };
    run.stopAfterFrame = [](std::int64_t frame) { return frame >= 200; };  // a safety net only
    std::_Exit(runDemo(run));
  });
  EXPECT_TRUE(child.exited) << "signal " << child.signal << ": " << child.errorOutput;
  result.exitCode = child.exitCode;
  result.frames = readFileBytes("frames.txt");
  return result;
}

int lineCount(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

}  // namespace

TEST(FrameLoop, EndsWithTheFirstFrameAfterEndTimeLessOneHundred) {
  ScopedTempDir dir;
  testsupport::writeMinimalShow();
  // Frames at 0, 100, … 1000 ms: 1000 is the first time above 1000 - 100.
  auto result = runLoop(1000, 100);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(lineCount(result.frames), 11);
  EXPECT_NE(result.frames.find("10 1000\n"), std::string::npos) << result.frames;

  // An end time below 100 ends the show after its first frame.
  result = runLoop(50, 100);
  EXPECT_EQ(lineCount(result.frames), 1);

  // A script without music: the show runs to the end of its timeline
  // (197429 ms), so the frame at 198000 ms is the last.
  result = runLoop(0, 1000);
  EXPECT_EQ(lineCount(result.frames), 199);
  EXPECT_NE(result.frames.find("198 198000\n"), std::string::npos);
}

TEST(FrameLoop, EscapeEndsTheLoopAfterTheFrameThatHandledIt) {
  ScopedTempDir dir;
  testsupport::writeMinimalShow();
  auto result = runLoop(600000, 10, [](ScriptedBackend& b, std::int64_t frame) {
    if (frame == 3) b.queue.push_back({platform::Message::keyDown, platform::keyEscape});
  });
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(lineCount(result.frames), 4) << result.frames;

  // One event per frame: a key queued ahead of Escape delays it by one frame.
  result = runLoop(600000, 10, [](ScriptedBackend& b, std::int64_t frame) {
    if (frame == 3) {
      b.queue.push_back({platform::Message::keyDown, 0x41});
      b.queue.push_back({platform::Message::keyDown, platform::keyEscape});
    }
  });
  EXPECT_EQ(lineCount(result.frames), 5) << result.frames;
}

TEST(FrameLoop, ClosingTheWindowEndsTheLoopAndShutdownTearsDownOnce) {
  ScopedTempDir dir;
  testsupport::writeMinimalShow();
  auto result = runLoop(600000, 10, [](ScriptedBackend& b, std::int64_t frame) {
    if (frame == 1) b.queue.push_back({platform::Message::close, 0});
  });
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(lineCount(result.frames), 2);
  const std::string calls = readFileBytes("calls.txt");
  // destroyed by the close, then the normal teardown, which finds nothing left.
  EXPECT_NE(calls.find("destroyWindow\nreleaseContext\ndestroyWindow\n"), std::string::npos) << calls;
}

TEST(StartInsideTheShow, GridAndCatchUpWindow) {
  // Frame n at round(n × 1000 / fps): at 30 fps 33, 67, 100, ... ms.
  EXPECT_EQ(gridTime(1, 30), 33);
  EXPECT_EQ(gridTime(2, 30), 67);
  EXPECT_EQ(gridTime(1892, 30), 63067);
  EXPECT_EQ(firstGridFrameAtOrAfter(0, 30), 0);
  EXPECT_EQ(firstGridFrameAtOrAfter(34, 30), 2);
  EXPECT_EQ(firstGridFrameAtOrAfter(67, 30), 2);
  EXPECT_EQ(firstGridFrameAtOrAfter(99950, 10), 1000);
  EXPECT_EQ(firstGridFrameAtOrAfter(600000, 7), 4200);

  // Scene A 0–1000, scene B 1001–3000 placed twice back to back (its state
  // runs on: the catch-up starts at its first window), and A again 3001–4000.
  // (Procedures with different bodies, so that no two share an address.)
  static int calls[2];
  for (int id = 1; id <= timelineTableSize; ++id) setTimelineEntry(id, nullptr);
  setSceneEntry(1, orbScene::create("A", [] { calls[0] += 1; }, [] { calls[0] += 2; }, [] { calls[0] += 3; }));
  setSceneEntry(2, orbScene::create("B", [] { calls[1] += 4; }, [] { calls[1] += 5; }, [] { calls[1] += 6; }));
  setTimelineEntry(1, orbTimeline::create("T", 5000));
  orbTimeline& timeline = *timelineEntry(1);
  timeline.placeScene(*sceneEntry(1), 0, 1000);
  timeline.placeScene(*sceneEntry(2), 1001, 2000);
  timeline.placeScene(*sceneEntry(2), 2001, 3000);
  timeline.placeScene(*sceneEntry(1), 3001, 4000);
  EXPECT_EQ(catchUpStart(500), 0);
  EXPECT_EQ(catchUpStart(1001), 1001);
  EXPECT_EQ(catchUpStart(2500), 1001);
  EXPECT_EQ(catchUpStart(3500), 3001);
  EXPECT_EQ(catchUpStart(4500), 4001);  // the timeline's own no-op slots past the scenes
  EXPECT_EQ(catchUpStart(5500), 5500);  // past the timeline: nothing to catch up
  for (int id = 1; id <= timelineTableSize; ++id) setTimelineEntry(id, nullptr);
  for (int index = 1; index <= 2; ++index) setSceneEntry(index, nullptr);
}
