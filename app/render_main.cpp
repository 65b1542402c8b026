// voltra-render: the show on the headless backend with a virtual clock.
// Frame n is drawn at currentTime = from + round(n × 1000 / fps).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/demo.h"
#include "app/frame_png.h"
#include "engine/log.h"
#include "engine/music.h"
#include "engine/state.h"
#include "engine/virtual_clock.h"
#include "platform/platform.h"

namespace {

const char* const usage =
    "usage: voltra-render [options]\n"
    "Renders the show in the current directory (script.qsc, data/) without a window.\n"
    "Writes debug.txt and error.txt there, like voltra.\n"
    "\n"
    "  --size WxH     frame size (default 800x600)\n"
    "  --fps N        frames per second of music time (default 30)\n"
    "  --from MS      music time of the first frame (default 0)\n"
    "  --to MS        stop after the last frame at or before MS\n"
    "  --at MS        render one frame at MS\n"
    "  --out DIR      write every frame as DIR/frame_NNNNNN.png\n"
    "  --out FILE.png with --at: write that frame to FILE.png\n"
    "  --audio        play the music audibly in step with the frames\n"
    "  --help         this text\n";

struct Options {
  int width = 800;
  int height = 600;
  int fps = 30;
  std::int64_t from = 0;
  std::optional<std::int64_t> to;
  std::optional<std::int64_t> at;
  std::string out;
  bool audio = false;
};

[[noreturn]] void usageError(const std::string& message) {
  std::fprintf(stderr, "voltra-render: %s\n(see voltra-render --help)\n", message.c_str());
  std::exit(2);
}

std::int64_t parseNumber(const char* option, const char* text, std::int64_t low, std::int64_t high) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
    usageError(std::string(option) + " takes a whole number from " + std::to_string(low) + " to " +
               std::to_string(high) + ", not '" + text + "'");
  return value;
}

Options parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(usage, stdout);
      std::exit(0);
    }
    if (arg == "--audio") {
      options.audio = true;
      continue;
    }
    if (i + 1 >= argc) usageError(arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown argument " + arg);
    const char* value = argv[++i];
    if (arg == "--size") {
      int w = 0, h = 0;
      char extra = 0;
      if (std::sscanf(value, "%dx%d%c", &w, &h, &extra) != 2 || w < 16 || h < 16 || w > 8192 || h > 8192)
        usageError("--size takes WxH with both sides from 16 to 8192, not '" + std::string(value) + "'");
      options.width = w;
      options.height = h;
    } else if (arg == "--fps") {
      options.fps = static_cast<int>(parseNumber("--fps", value, 1, 1000));
    } else if (arg == "--from") {
      options.from = parseNumber("--from", value, 0, 600000);
    } else if (arg == "--to") {
      options.to = parseNumber("--to", value, 0, 600000);
    } else if (arg == "--at") {
      options.at = parseNumber("--at", value, 0, 600000);
    } else if (arg == "--out") {
      options.out = value;
    } else {
      usageError("unknown option " + arg);
    }
  }
  if (options.to && *options.to < options.from) usageError("--to is before --from");
  return options;
}

bool endsWithPng(const std::string& name) {
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int voltraRenderMain(int argc, char** argv) {
  setProgramName("voltra-render");
  checkFloatingPointEnvironment();
  const Options options = parseOptions(argc, argv);
  const bool singleFile = options.at && endsWithPng(options.out);
  if (!options.out.empty() && !singleFile) {
    if (endsWithPng(options.out)) usageError("--out FILE.png goes with --at; give a folder otherwise");
    std::error_code error;
    std::filesystem::create_directories(options.out, error);
    if (error) usageError("cannot make folder " + options.out + ": " + error.message());
  }

  settings = StartupSettings{};
  settings.screenWidth = options.width;
  settings.screenHeight = options.height;
  settings.fullscreen = false;
  settings.music = options.audio;

  auto clockOwner = std::make_unique<VirtualClock>();
  VirtualClock* clock = clockOwner.get();
  useMusicClock(std::move(clockOwner));

  auto frameTime = [&](std::int64_t frame) -> std::int64_t {
    if (options.at) return *options.at;
    return options.from + std::llround(static_cast<double>(frame) * 1000.0 / options.fps);
  };

  std::int64_t framesDrawn = 0;
  std::int64_t lastTime = 0;
  std::string failure;
  const auto started = std::chrono::steady_clock::now();

  DemoRun run;
  run.backend = &platform::headlessBackend();
  run.beforeFrame = [&](std::int64_t frame) {
    lastTime = frameTime(frame);
    clock->setTime(static_cast<std::int32_t>(lastTime));
  };
  run.afterSwap = [&](std::int64_t frame) {
    ++framesDrawn;
    if (options.out.empty() || !failure.empty()) return;
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(frame));
    const std::string path = singleFile ? options.out : (std::filesystem::path(options.out) / name).string();
    writeFramePng(path, options.width, options.height, &failure);
  };
  run.stopAfterFrame = [&](std::int64_t frame) {
    if (!failure.empty() || options.at) return true;
    return options.to && frameTime(frame + 1) > *options.to;
  };

  const int code = runDemo(run);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!failure.empty()) {
    std::fprintf(stderr, "voltra-render: %s\n", failure.c_str());
    return 1;
  }
  std::printf("voltra-render: %lld frames up to %lld ms in %.1f s (%.1f frames/s)%s%s\n",
              static_cast<long long>(framesDrawn), static_cast<long long>(lastTime), seconds,
              seconds > 0 ? framesDrawn / seconds : 0.0, options.out.empty() ? "" : ", written to ",
              options.out.c_str());
  return code;
}
