#include "app/demo.h"

#include "engine/loading.h"
#include "engine/log.h"
#include "engine/music.h"
#include "engine/script.h"
#include "engine/state.h"
#include "engine/timeline.h"
#include "engine/window.h"

namespace {

void startUp() {
  startTextureDecoding();  // the files decode while the window and context come up
  orbCreateWindow("Voltra", settings.screenWidth, settings.screenHeight, settings.colorBits, settings.fullscreen);
  loadingScreenInit();
  createSharedObjects();
  registerScenesAndTimeline();
  loadScript("script.qsc");
  musicEnabled = settings.music;
  if (musicFileName) musicStart(musicEnabled);
  // Without music the silent clock runs the timelines to their end.
  else if (endTime == 0) endTime = longestTimelineLength();
  loadingProgress(1.0);
  createPipelineAndOverlay();
  enableSpectrum();
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
  frameLoop(run);
  shutDown();
  return 0;
}
