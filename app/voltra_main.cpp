// The demo: a window on the display, the music stream as the clock.
#include "app/demo.h"
#include "engine/music.h"
#include "engine/state.h"
#include "platform/platform.h"

extern "C" __attribute__((visibility("default"))) int voltraMain(int, char**) {
  checkFloatingPointEnvironment();
  settings = StartupSettings{};  // the command line is not read
  DemoRun run;
  run.backend = &platform::sdl2Backend();
  return runDemo(run);
}
