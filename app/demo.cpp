#include "app/demo.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "engine/loading.h"
#include "engine/log.h"
#include "engine/music.h"
#include "engine/pipeline.h"
#include "engine/script.h"
#include "engine/state.h"
#include "engine/timeline.h"
#include "engine/window.h"

std::int64_t gridTime(std::int64_t frame, int fps) {
  return std::llround(static_cast<double>(frame) * 1000.0 / fps);
}

std::int64_t firstGridFrameAtOrAfter(std::int64_t ms, int fps) {
  std::int64_t frame = std::max<std::int64_t>(0, ms * fps / 1000 - 1);
  while (gridTime(frame, fps) < ms) ++frame;
  return frame;
}

std::int32_t catchUpStart(std::int32_t at) {
  std::int32_t start = at;
  for (int id = 1; id <= timelineTableSize; ++id) {
    const orbTimeline* timeline = timelineEntry(id);
    if (!timeline) continue;
    const SceneProc active = timeline->renderSlot(at);
    if (!active) continue;
    std::int32_t first = at;
    while (first > 0 && timeline->renderSlot(first - 1) == active) --first;
    start = std::min(start, first);
  }
  return start;
}

namespace {

void startUp() {
  startTextureDecoding();  // the files decode while the window and context come up
  orbCreateWindow("Voltra", settings.screenWidth, settings.screenHeight, settings.colorBits, settings.fullscreen);
  loadingScreenInit();
  createSharedObjects();
  registerScenesAndTimeline();
  loadScript("script.qsc");
  musicEnabled = settings.music;
  if (musicFileName) musicStart(musicEnabled);  // without music, loadScript set the end
  loadingProgress(1.0);
  createPipelineAndOverlay();
  enableSpectrum();
}

// Brings every scene active at `at` to the state a run from 0 on the frame
// grid has when it reaches `at`: the grid frames from the start of the
// scene's window up to `at` run as in the frame loop (set-up, render, capture,
// update, with the grid time and its spectrum), but with an empty scissor box
// and no screen captures, so GL takes every state change and draws nothing. Scenes keep no state
// across windows apart from what their set-up resets, so earlier scenes need
// not run; and no frame reads pixels an earlier frame drew (every effect
// captures the frame it blurs first).
// Leaves the scissor test and box as it found them.
void catchUp(std::int32_t at, int fps) {
  const std::int32_t start = catchUpStart(at);
  std::int64_t frame = firstGridFrameAtOrAfter(start, fps);
  if (gridTime(frame, fps) >= at) return;

  GLint box[4];
  glGetIntegerv(GL_SCISSOR_BOX, box);
  const GLboolean scissorWasOn = glIsEnabled(GL_SCISSOR_TEST);
  glScissor(0, 0, 0, 0);
  glEnable(GL_SCISSOR_TEST);
  setPipelineRehearsal(true);
  for (; gridTime(frame, fps) < at; ++frame) {
    pipelineBeginFrame();
    currentTime = static_cast<std::int32_t>(gridTime(frame, fps));
    readSpectrumAt(currentTime, spectrum.data());
    timelineRender();
    pipelineCaptureAndRedraw();
    timelineUpdate();
  }
  setPipelineRehearsal(false);
  if (!scissorWasOn) glDisable(GL_SCISSOR_TEST);
  glScissor(box[0], box[1], box[2], box[3]);
}

void frameLoop(const DemoRun& run) {
  for (std::int64_t frame = 0;; ++frame) {
    if (run.beforeFrame) run.beforeFrame(frame);
    dispatchOneEvent();
    pipelineBeginFrame();
    currentTime = musicTime();
    readSpectrum(spectrum.data());
    timelineRender();
    pipelineCaptureAndRedraw();
    pipelinePresentFrame();
    if (run.afterSwap) run.afterSwap(frame);
    timelineUpdate();
    // The test comes after the frame: the frame that saw Escape is still drawn.
    if (!running || std::int64_t{endTime} - 100 < currentTime) break;
    if (run.stopAfterFrame && run.stopAfterFrame(frame)) break;
  }
}

void shutDown() {
  if (musicFileName) musicStop();
  disposeSharedObjects();
  disposeScenesAndTimeline();
  windowDestroy();
}

}  // namespace

int runDemo(const DemoRun& run) {
  if (run.backend) setWindowBackend(*run.backend);
  startUp();
  if (run.startAt > 0) {
    // Seeking on both sides of the catch-up: what plays meanwhile is the
    // start's music, and the first frame finds the music at the start.
    if (musicFileName) musicSeek(run.startAt);
    catchUp(run.startAt, std::max(1, run.gridFps));
    if (musicFileName) musicSeek(run.startAt);
  }
  frameLoop(run);
  if (run.afterLoop) run.afterLoop();
  shutDown();
  return 0;
}
