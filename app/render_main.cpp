// voltra-render: the show on the headless backend with a virtual clock.
//
// Frames lie on one grid for the whole show: frame n at round(n × 1000 / fps)
// ms of music. A run that starts inside the show (--from, --at) first catches
// up the scenes active there (app/demo.h), so each frame is the one a run from
// 0 at the same frame rate draws. The spin blur's tick count is the frame's
// music time, so two runs give the same frames.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "app/demo.h"
#include "app/frame_png.h"
#include "app/video_out.h"
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
    "  --size WxH      frame size (default 800x600)\n"
    "  --fps N         frames per second of music time (default 30); frame n is\n"
    "                  drawn at round(n x 1000 / N) ms\n"
    "  --from MS       start at the first frame at or after MS\n"
    "  --to MS         stop after the last frame at or before MS\n"
    "  --at MS         render one frame at MS\n"
    "  --out FILE.mp4|FILE.mkv|FILE.webm\n"
    "                  write a video with the music (needs ffmpeg)\n"
    "  --out DIR       write every frame as DIR/frame_NNNNNN.png\n"
    "  --out FILE.png  with --at: write that frame to FILE.png\n"
    "  --crf N         video quality, lower is better (H.264 0-51, default 20;\n"
    "                  VP9 0-63, default 32)\n"
    "  --preset NAME   H.264 speed preset, ultrafast ... veryslow (default: veryfast\n"
    "                  with its quickest motion search, a thread per 4 cores)\n"
    "  --audio         play the music audibly in step with the frames\n"
    "  --help          this text\n"
    "\n"
    "Scenes active at --from or --at are caught up first, so every frame is the\n"
    "one a run from 0 at the same --fps draws.\n";

struct Options {
  int width = 800;
  int height = 600;
  int fps = 30;
  std::int64_t from = 0;
  std::optional<std::int64_t> to;
  std::optional<std::int64_t> at;
  std::string out;
  int crf = -1;
  std::string preset;
  bool audio = false;
};

[[noreturn]] void usageError(const std::string& message) { ::usageError("voltra-render", message); }

std::int64_t parseNumber(const char* option, const char* text, std::int64_t low, std::int64_t high) {
  return parseNumberOption("voltra-render", option, text, low, high);
}

bool isPreset(const std::string& name) {
  for (const char* preset :
       {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium", "slow", "slower", "veryslow"})
    if (name == preset) return true;
  return false;
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
      parseSizeOption("voltra-render", value, options.width, options.height);
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
      if (options.out.empty()) usageError("--out needs a name");
    } else if (arg == "--crf") {
      options.crf = static_cast<int>(parseNumber("--crf", value, 0, 63));
    } else if (arg == "--preset") {
      options.preset = value;
      if (!isPreset(options.preset))
        usageError("--preset takes one of ultrafast, superfast, veryfast, faster, fast, medium, slow, slower, "
                   "veryslow, not '" +
                   options.preset + "'");
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

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted = true; }

std::string clockText(double seconds) {
  if (!(seconds >= 0) || seconds > 359999) return "--:--";
  const long whole = std::lround(seconds);
  char text[48];
  std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  return text;
}

// One status line on stderr: rewritten in place on a terminal, otherwise a
// plain line every ten seconds.
class Progress {
 public:
  Progress() : terminal_(::isatty(2) == 1) {}

  // The rate counts from the first frame: start-up and catch-up are not frames.
  void update(std::int64_t done, std::int64_t total, std::int64_t musicMs, bool last = false) {
    const auto now = std::chrono::steady_clock::now();
    if (first_ < 0) {
      first_ = done;
      started_ = now;
    }
    const double since = std::chrono::duration<double>(now - shown_).count();
    if (!last && since < (terminal_ ? 0.25 : 10.0)) return;
    shown_ = now;
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    const double rate = elapsed > 0 ? static_cast<double>(done - first_) / elapsed : 0;
    const double left = rate > 0 && total >= done ? static_cast<double>(total - done) / rate : -1;
    char line[160];
    std::snprintf(line, sizeof line, "frame %lld/%lld  music %s.%01lld  %.1f frames/s  %s left",
                  static_cast<long long>(done), static_cast<long long>(total),
                  clockText(static_cast<double>(musicMs / 1000)).c_str(),
                  static_cast<long long>(musicMs % 1000 / 100), rate, clockText(left).c_str());
    if (terminal_)
      std::fprintf(stderr, "\r\033[K%s%s", line, last ? "\n" : "");
    else
      std::fprintf(stderr, "voltra-render: %s\n", line);
    std::fflush(stderr);
  }

  // Ends a terminal line that is still open.
  void close() {
    if (terminal_ && shown_ != std::chrono::steady_clock::time_point{}) std::fputc('\n', stderr);
    shown_ = {};
  }

 private:
  bool terminal_;
  std::int64_t first_ = -1;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point shown_{};
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int voltraRenderMain(int argc, char** argv) {
  setProgramName("voltra-render");
  checkFloatingPointEnvironment();
  const Options options = parseOptions(argc, argv);
  const bool video = isVideoName(options.out);
  const bool singleFile = options.at && endsWithPng(options.out);
  if (video && options.at) usageError("--at renders one frame: give --out FILE.png, not a video");
  if (video && (options.width % 2 != 0 || options.height % 2 != 0))
    usageError("a video needs an even width and height: --size " + std::to_string(options.width) + "x" +
               std::to_string(options.height));
  if (!options.out.empty() && !singleFile && !video) {
    if (endsWithPng(options.out)) usageError("--out FILE.png goes with --at; give a folder otherwise");
    std::error_code error;
    std::filesystem::create_directories(options.out, error);
    if (error) usageError("cannot make folder " + options.out + ": " + error.message());
  }

  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a dead encoder is a write error, not the end of the renderer

  settings = StartupSettings{};
  settings.screenWidth = options.width;
  settings.screenHeight = options.height;
  settings.fullscreen = false;
  settings.music = options.audio;

  auto clockOwner = std::make_unique<VirtualClock>();
  VirtualClock* clock = clockOwner.get();
  useMusicClock(std::move(clockOwner));

  const std::int64_t firstFrame = options.at ? 0 : firstGridFrameAtOrAfter(options.from, options.fps);
  auto frameTime = [&](std::int64_t frame) -> std::int64_t {
    if (options.at) return *options.at;
    return gridTime(firstFrame + frame, options.fps);
  };

  std::int64_t framesDrawn = 0;
  std::int64_t lastTime = frameTime(0);
  std::int64_t totalFrames = 1;
  std::string failure;
  std::unique_ptr<VideoEncoder> encoder;
  Progress progress;
  const auto started = std::chrono::steady_clock::now();

  // Virtual milliseconds: the spin blur turns with the frame's music time.
  platform::setHeadlessTickSource([&] { return static_cast<std::uint32_t>(lastTime); });

  DemoRun run;
  run.backend = &platform::headlessBackend();
  run.startAt = static_cast<std::int32_t>(frameTime(0));
  run.gridFps = options.fps;
  run.beforeFrame = [&](std::int64_t frame) {
    if (frame == 0 && !options.at) {
      // The frames up to the show's end (the first past endTime - 100) or --to.
      std::int64_t last = firstFrame;
      while (gridTime(last, options.fps) <= std::int64_t{endTime} - 100 &&
             !(options.to && gridTime(last + 1, options.fps) > *options.to))
        ++last;
      totalFrames = last - firstFrame + 1;
    }
    lastTime = frameTime(frame);
    clock->setTime(static_cast<std::int32_t>(lastTime));
  };
  run.afterSwap = [&](std::int64_t frame) {
    ++framesDrawn;
    if (!failure.empty()) return;
    if (video) {
      if (!encoder) {
        VideoSettings video;
        video.output = options.out;
        video.width = options.width;
        video.height = options.height;
        video.fps = options.fps;
        video.crf = options.crf;
        video.preset = options.preset;
        video.musicFile = musicFileName.value_or("");
        video.musicOffsetBytes = musicFileOffset;
        video.musicStartMs = lastTime;
        encoder = VideoEncoder::start(video, failure);
        if (!encoder) return;
      }
      if (!encoder->addFrame()) failure = "cannot write " + options.out + ": " + encoder->reason();
    } else if (!options.out.empty()) {
      char name[32];
      std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(frame));
      const std::string path = singleFile ? options.out : (std::filesystem::path(options.out) / name).string();
      writeFramePng(path, options.width, options.height, &failure);
    }
    if (!options.at) progress.update(framesDrawn, totalFrames, lastTime);
  };
  run.stopAfterFrame = [&](std::int64_t frame) {
    if (!failure.empty() || interrupted || options.at) return true;
    return options.to && frameTime(frame + 1) > *options.to;
  };
  run.afterLoop = [&] {
    // The last read-back needs the GL context, which shutdown tears down.
    if (!encoder) return;
    if (interrupted) {
      encoder->abort();
    } else {
      // After a failed frame this collects ffmpeg's own reason (and removes
      // what it wrote).
      std::string reason;
      if (!encoder->finish(reason)) failure = reason;
    }
    encoder.reset();
  };

  const int code = runDemo(run);
  if (framesDrawn > 0 && !options.at && !interrupted && failure.empty()) progress.update(framesDrawn, totalFrames, lastTime, true);
  progress.close();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!failure.empty()) {
    std::fprintf(stderr, "voltra-render: %s\n", failure.c_str());
    return 1;
  }
  if (interrupted) {
    std::fprintf(stderr, "voltra-render: interrupted after %lld frames%s%s\n", static_cast<long long>(framesDrawn),
                 video ? "; nothing written to " : "", video ? options.out.c_str() : "");
    return 130;
  }
  std::printf("voltra-render: %lld frames up to %lld ms in %.1f s (%.1f frames/s)%s%s\n",
              static_cast<long long>(framesDrawn), static_cast<long long>(lastTime), seconds,
              seconds > 0 ? framesDrawn / seconds : 0.0, options.out.empty() ? "" : ", written to ",
              options.out.c_str());
  return code;
}
