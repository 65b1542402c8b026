// Start-up of the show from process start to the first frame, phase by phase:
// window and context, the 55 texture decodes and uploads (with the loading
// screen's first frames), terrain, script (scenes, timeline and script.qsc),
// music open, first frame (the last loading frame, pipeline and the first
// show frame). Each iteration starts a fresh process on the show folder
// (build/show, or the folder given as --show=DIR), as a user's start does, so
// library loading and first-touch page faults count.
//
//   before   the start-up as it was, kept here: every texture decoded on the
//            GL thread when its slot is made, 4-component textures uploaded
//            twice (once bare, once with alpha), the music decoded whole
//            before it starts
//   after    the start-up as the program runs it now (engine/loading.h,
//            engine/music.h)
//
// The two alternate within each iteration, so a machine shared with other
// work loads both alike. Counters: milliseconds per phase (means over the
// iterations), the total from the spawn to the first frame's swap, and the
// children's peak RSS at the first frame in MB (the largest seen). Anchor:
// BM_Anchor_Spawn, a fresh process of this program that only starts and
// reports, measured in the same run; read the phases as ratios to it, or
// before against after.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <GL/glu.h>

#include "engine/loading.h"
#include "engine/music.h"
#include "engine/script.h"
#include "engine/state.h"
#include "engine/timeline.h"
#include "engine/virtual_clock.h"
#include "engine/window.h"
#include "platform/sound.h"

extern char** environ;

namespace {

std::string showDirectory = VOLTRA_SHOW_DIR;

std::int64_t nowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

constexpr std::array<const char*, 6> phaseNames = {"window_ms", "textures_ms", "terrain_ms",
                                                    "script_ms", "music_ms",    "first_frame_ms"};

// The music as it was started before streaming: decoded whole, then played on
// the silent output of a virtual clock (what voltra-render does).
class WholeDecodeClock final : public MusicClock {
 public:
  int start(const std::string& fileName, std::int32_t offset, bool) override {
    std::unique_ptr<sound::Music> loaded;
    if (const int code = sound::Music::load(fileName, offset, loaded); code != sound::ok) return code;
    music_ = std::move(loaded);
    return sound::ok;
  }
  std::int32_t lengthMs() const override { return music_ ? music_->lengthMs() : 0; }
  std::int32_t timeMs() override { return 0; }
  void readSpectrum(float* destination) override {
    float window[sound::fftSize];
    music_->windowEndingAt(0, window);
    analyzer_.analyze(window, destination);
  }
  void stop() override { music_.reset(); }
  void readSpectrumAt(std::int32_t, float* destination) override { readSpectrum(destination); }
  void seek(std::int32_t) override {}

 private:
  std::shared_ptr<sound::Music> music_;
  sound::SpectrumAnalyzer analyzer_;
};

// A texture uploaded as create and upload did before: the filters set first,
// the levels built under GL_LINEAR.
void legacyUpload(orbTexture& t) {
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  if (t.mipmapped)
    gluBuild2DMipmaps(GL_TEXTURE_2D, t.image.components, t.image.width, t.image.height, GL_BGRA, GL_UNSIGNED_BYTE,
                      t.image.pixels.data());
  else
    glTexImage2D(GL_TEXTURE_2D, 0, t.image.components, t.image.width, t.image.height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 t.image.pixels.data());
}

// The textures as start-up made them before: decoded, uploaded, alpha set and
// uploaded again, one after another on the GL thread, the pixels kept.
orbTexture legacyTexture(int slot, int alphaSource) {
  const TextureSlotInfo& info = textureTable[slot];
  DecodedTexture decoded = decodeTextureFile(info.fileName);
  if (!decoded.result.ok()) std::_Exit(4);
  orbTexture made =
      orbTexture::create(info.fileName, std::move(decoded), info.components, info.mipmapped, /*uploadPixels=*/false);
  legacyUpload(made);
  if (info.components == 4) {
    fillAlpha(made.image, 255);
    copyAlpha(made.image, alphaSource == slot ? made.image : textures[alphaSource].image);
    glDeleteTextures(1, &made.glName);
    glGenTextures(1, &made.glName);
    glBindTexture(GL_TEXTURE_2D, made.glName);
    legacyUpload(made);
    glBindTexture(GL_TEXTURE_2D, 0);
  }
  return made;
}

void legacySlot(int slot, int alphaSource) {
  orbTexture made = legacyTexture(slot, alphaSource);
  if (textures[slot].glName != 0) textures[slot].dispose();
  textures[slot] = std::move(made);
}

// loadingScreenInit and createSharedObjects as they were.
void legacyLoading() {
  glViewport(0, 0, windowWidth(), windowHeight());
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 4.0 / 3.0, 0.1, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClearColor(0.3f, 0.0f, 0.0f, 1.0f);
  glShadeModel(GL_SMOOTH);
  glClearDepth(1.0);
  glDepthFunc(GL_LEQUAL);
  glDisable(GL_DEPTH_TEST);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  legacySlot(tex::loading, noAlphaSource);
  legacySlot(tex::voltra, tex::voltra);

  loadingProgress(0.1);
  particles1 = orbParticle::create(200);
  particles2 = orbParticle::create(200);
  loadingProgress(0.2);
  createLightMaterialsAndCamera();
  loadingProgress(0.3);
  for (int slot = 1; slot < textureSlotCount; ++slot) legacySlot(slot, textureTable[slot].alphaSource);
  loadingProgress(0.4);
  terrain = orbTerrain::create(30, 30, 1.0f);
  terrain.loadHeights(texture(tex::heightmap), 3.0f);
  terrain.build();
  loadingProgress(0.5);
}

// The child: one start-up, then the phase end times (monotonic ns) and the
// peak RSS in kB on stdout, one line.
int runChild(bool before) {
  if (chdir(showDirectory.c_str()) != 0) return 3;
  std::vector<std::int64_t> marks;
  setWindowBackend(platform::headlessBackend());
  settings = StartupSettings{};
  settings.fullscreen = false;
  settings.music = false;
  if (!before) startTextureDecoding();
  orbCreateWindow("Voltra", 800, 600, 32, false);
  marks.push_back(nowNs());
  int swaps = 0;
  platform::setHeadlessSwapHook([&] {
    // 0.4 closes the textures, 0.5 the terrain.
    if (++swaps == 4 || swaps == 5) marks.push_back(nowNs());
  });
  if (before) useMusicClock(std::make_unique<WholeDecodeClock>());
  else useMusicClock(std::make_unique<VirtualClock>());
  if (before) {
    legacyLoading();
  } else {
    loadingScreenInit();
    createSharedObjects();
  }
  platform::setHeadlessSwapHook(nullptr);
  registerScenesAndTimeline();
  loadScript("script.qsc");
  musicEnabled = settings.music;
  marks.push_back(nowNs());
  if (musicFileName) musicStart(musicEnabled);
  marks.push_back(nowNs());
  loadingProgress(1.0);
  createPipelineAndOverlay();
  enableSpectrum();
  // The frame loop's first frame, as app/demo.cpp draws it.
  dispatchOneEvent();
  pipelineBeginFrame();
  currentTime = musicTime();
  readSpectrum(spectrum.data());
  timelineRender();
  pipelineCaptureAndRedraw();
  pipelinePresentFrame();
  marks.push_back(nowNs());
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  for (std::int64_t mark : marks) std::printf("%lld ", static_cast<long long>(mark));
  std::printf("%ld\n", usage.ru_maxrss);
  std::fflush(stdout);
  std::_Exit(0);  // the start-up is what is measured, not the shutdown
}

// Spawns this program as a child with args; its stdout line, "" on failure.
std::string runInChild(const std::vector<std::string>& args, std::int64_t& spawnedNs) {
  int out[2];
  if (pipe(out) != 0) return "";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> argv;
  static std::string self = "/proc/self/exe";
  argv.push_back(self.data());
  std::vector<std::string> copies = args;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  spawnedNs = nowNs();
  const int spawned = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  close(out[0]);
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return "";
  return text;
}

void BM_Anchor_Spawn(benchmark::State& state) {
  for (auto _ : state) {
    std::int64_t spawned = 0;
    if (runInChild({"--child=none"}, spawned).empty()) state.SkipWithError("the child failed");
  }
}

// One start-up in a child; false when it failed. Adds each phase's
// milliseconds to sums, the total to sums[phases], and keeps the peak RSS.
bool startUpOnce(bool before, std::array<double, phaseNames.size() + 1>& sums, double& peakMb) {
  std::int64_t spawned = 0;
  const std::string line =
      runInChild({before ? "--child=before" : "--child=after", "--show=" + showDirectory}, spawned);
  std::vector<long long> values;
  const char* at = line.c_str();
  char* end = nullptr;
  for (long long v; (v = std::strtoll(at, &end, 10)), end != at; at = end) values.push_back(v);
  if (values.size() != phaseNames.size() + 1) return false;
  std::int64_t previous = spawned;
  for (std::size_t k = 0; k < phaseNames.size(); ++k) {
    sums[k] += static_cast<double>(values[k] - previous) / 1e6;
    previous = values[k];
  }
  sums[phaseNames.size()] += static_cast<double>(values[phaseNames.size() - 1] - spawned) / 1e6;
  peakMb = std::max(peakMb, static_cast<double>(values.back()) / 1024.0);
  return true;
}

void BM_StartUp_BeforeAndAfter(benchmark::State& state) {
  std::array<double, phaseNames.size() + 1> before{}, after{};
  double beforePeak = 0, afterPeak = 0;
  for (auto _ : state) {
    if (!startUpOnce(true, before, beforePeak) || !startUpOnce(false, after, afterPeak)) {
      state.SkipWithError("a start-up failed (is the show built?)");
      return;
    }
  }
  const double n = static_cast<double>(state.iterations());
  for (std::size_t k = 0; k <= phaseNames.size(); ++k) {
    const std::string name = k < phaseNames.size() ? phaseNames[k] : "total_ms";
    state.counters["before_" + name] = before[k] / n;
    state.counters["after_" + name] = after[k] / n;
  }
  state.counters["before_peak_rss_mb"] = beforePeak;
  state.counters["after_peak_rss_mb"] = afterPeak;
}

}  // namespace

BENCHMARK(BM_Anchor_Spawn)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();
BENCHMARK(BM_StartUp_BeforeAndAfter)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--show=", 7) == 0) showDirectory = argv[i] + 7;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--child=none") == 0) {
      std::printf("0\n");
      return 0;
    }
    if (std::strcmp(argv[i], "--child=before") == 0) return runChild(true);
    if (std::strcmp(argv[i], "--child=after") == 0) return runChild(false);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
