// voltra: the demo in a window, the music stream as the clock. The start-up
// dialog comes first; the command line sets what it starts with.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/command_line.h"
#include "app/demo.h"
#include "engine/log.h"
#include "engine/music.h"
#include "engine/state.h"
#include "platform/platform.h"

namespace {

const char* const usage =
    "usage: voltra [options]\n"
    "Plays the show in the current directory (script.qsc, data/) in a window.\n"
    "The settings dialog comes first; the options set what it starts with.\n"
    "Writes debug.txt there, and error.txt when a fatal error ends the run\n"
    "(exit code 1, with the reason on stderr).\n"
    "\n"
    "  --no-dialog        start at once with the settings as given\n"
    "  --size WxH         window size (default 800x600)\n"
    "  --windowed         a window instead of the full screen\n"
    "  --colour-bits N    16 or 32 (default 32)\n"
    "  --no-music         run the music clock silently, without a sound device\n"
    "  --from MS          start the show at music position MS\n"
    "  --help             this text\n";

struct Options {
  StartupSettings settings;
  bool dialog = true;
  std::int32_t from = 0;
};

[[noreturn]] void usageError(const std::string& message) { ::usageError("voltra", message); }

Options parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(usage, stdout);
      std::exit(0);
    }
    if (arg == "--no-dialog") {
      options.dialog = false;
    } else if (arg == "--windowed") {
      options.settings.fullscreen = false;
    } else if (arg == "--no-music") {
      options.settings.music = false;
    } else if (arg == "--size" || arg == "--colour-bits" || arg == "--from") {
      if (i + 1 >= argc) usageError(arg + " needs a value");
      const char* value = argv[++i];
      if (arg == "--size") {
        parseSizeOption("voltra", value, options.settings.screenWidth, options.settings.screenHeight);
      } else if (arg == "--colour-bits") {
        const std::string bits = value;
        if (bits != "16" && bits != "32") usageError("--colour-bits takes 16 or 32, not '" + bits + "'");
        options.settings.colorBits = bits == "16" ? 16 : 32;
      } else {
        // The timeline holds 600001 milliseconds.
        options.from = static_cast<std::int32_t>(parseNumberOption("voltra", "--from", value, 0, 600000));
      }
    } else {
      usageError((arg.rfind("-", 0) == 0 ? "unknown option " : "unknown argument ") + arg);
    }
  }
  return options;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int voltraMain(int argc, char** argv) {
  setProgramName("voltra");
  checkFloatingPointEnvironment();
  const Options options = parseOptions(argc, argv);
  settings = options.settings;
  platform::Backend& backend = platform::sdl2Backend();

  if (options.dialog) {
    platform::StartupChoices choices{settings.screenWidth, settings.screenHeight, settings.colorBits,
                                     settings.fullscreen, settings.music};
    switch (backend.runStartupDialog(choices)) {
      case platform::DialogOutcome::go:
        settings.screenWidth = choices.width;
        settings.screenHeight = choices.height;
        settings.colorBits = choices.colorBits;
        settings.fullscreen = choices.fullscreen;
        settings.music = choices.music;
        break;
      case platform::DialogOutcome::cancel:
        return 0;  // nothing was started, nothing is written
      case platform::DialogOutcome::failed:
        fatalError("Startup Dialog", "Can`t create startup dialog",
                   backend.displayReachable() ? nullptr : noDisplayRemedy);
    }
  }

  DemoRun run;
  run.backend = &backend;
  run.startAt = options.from;
  return runDemo(run);
}
