// The forged show as the engine reads it: the soundtrack through the sound
// layer (length, rate, the beat the star swirl detects), the script through
// the script loader, and every texture through the engine's texture objects.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/loading.h"
#include "engine/music.h"
#include "engine/script.h"
#include "engine/timeline.h"
#include "engine/window.h"
#include "forge.h"
#include "music.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "show_env.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::unique_ptr<sound::Music> loadMusic() {
  std::unique_ptr<sound::Music> music;
  EXPECT_EQ(sound::Music::load(forgetest::showA() + "/music.ogg", 0, music), sound::ok);
  return music;
}

// Spectrum band 110 as the show sees it when the music is heard at ms.
float band110(const sound::Music& music, sound::SpectrumAnalyzer& analyzer, double ms) {
  std::array<float, sound::fftSize> window;
  std::array<float, sound::spectrumBands> bands;
  music.windowEndingAt(static_cast<std::int64_t>(std::llround(ms * music.rate() / 1000.0)), window.data());
  analyzer.analyze(window.data(), bands.data());
  return bands[110];
}

TEST(ForgedSoundtrack, IsLongEnoughStereoAt44100) {
  REQUIRE_SHOW();
  const auto music = loadMusic();
  ASSERT_TRUE(music);
  EXPECT_EQ(music->rate(), 44100);
  EXPECT_EQ(music->channels(), 2);
  EXPECT_GE(music->lengthMs(), 197500);
  EXPECT_LE(music->lengthMs(), 200100);
}

// In the star swirl the detector jumps when 10 s > 1.3 and rearms below 1.0:
// band 110 must pass 0.13 just after every beat and fall below 0.1 between.
TEST(ForgedSoundtrack, StarSwirlBeatsLiftBand110AndLetItFall) {
  REQUIRE_SHOW();
  const auto music = loadMusic();
  ASSERT_TRUE(music);
  sound::SpectrumAnalyzer analyzer;
  const forge::MusicSection* swirl = nullptr;
  for (const auto& s : forge::musicSections())
    if (std::string(s.name) == "swirl") swirl = &s;
  ASSERT_NE(swirl, nullptr);
  EXPECT_EQ(swirl->startMs, 50429);
  EXPECT_EQ(swirl->endMs, 60009);
  const auto beats = forge::sectionBeats(*swirl);
  const double beat = double(swirl->endMs - swirl->startMs) / beats.size();
  float onBeatLow = 1, betweenHigh = 0;
  for (double b : beats) {
    // Frames at 30 … 60 per second land somewhere in the first 40 ms.
    float best = 0;
    for (double d = 15; d <= 40; d += 5) best = std::max(best, band110(*music, analyzer, b + d));
    onBeatLow = std::min(onBeatLow, band110(*music, analyzer, b + 25));
    EXPECT_GT(best, 0.13f) << "beat at " << b;
    for (double d = 140; d <= beat - 10; d += 10) {
      const float v = band110(*music, analyzer, b + d);
      betweenHigh = std::max(betweenHigh, v);
      EXPECT_LT(v, 0.1f) << "between beats at " << b + d;
    }
  }
  std::printf("swirl: %zu beats of %.1f ms; band 110 at beat + 25 ms >= %.3f; between beats <= %.3f\n",
              beats.size(), beat, onBeatLow, betweenHigh);
  EXPECT_GT(onBeatLow, 0.13f);
}

// Every drummed section pulses band 110 on its beats (the page scenes push
// their pages with it); the figures are printed for the record.
TEST(ForgedSoundtrack, EveryTickingSectionPulsesOnItsBeats) {
  REQUIRE_SHOW();
  const auto music = loadMusic();
  ASSERT_TRUE(music);
  sound::SpectrumAnalyzer analyzer;
  for (const auto& s : forge::musicSections()) {
    if (s.tick <= 0) continue;
    const auto beats = forge::sectionBeats(s);
    const double beat = double(s.endMs - s.startMs) / beats.size();
    float on = 1, between = 0;
    for (double b : beats) {
      on = std::min(on, band110(*music, analyzer, b + 25));
      for (double d = 140; d <= beat - 10; d += 20) between = std::max(between, band110(*music, analyzer, b + d));
    }
    std::printf("%-9s %6d-%6d ms  %3zu beats of %5.1f ms  on beat >= %.3f  between <= %.3f\n", s.name, s.startMs,
                s.endMs, beats.size(), beat, on, between);
    EXPECT_GT(on, 2 * between) << s.name;
    EXPECT_GT(on, 0.05f) << s.name;
  }
}

template <int N> void enterProc() {}
template <int N> void renderProc() {}
template <int N> void updateProc() {}
template <int... N>
constexpr std::array<SceneProcedures, sizeof...(N)> makeScenes(std::integer_sequence<int, N...>) {
  return {{{nullptr, enterProc<N>, renderProc<N>, updateProc<N>}...}};
}

// Loads the script in a child (a script error ends the process) and reports
// what it placed: for every millisecond the scene whose render runs there.
TEST(ForgedScript, PlacesAllThirteenScenesOverTheWholeShow) {
  REQUIRE_SHOW();
  testsupport::ScopedTempDir dir;
  fs::copy_file(forgetest::showA() + "/script.qsc", "script.qsc");
  const auto child = testsupport::runInChild([] {
    static const char* names[13] = {"Scene01", "Scene02", "Scene03", "Scene04", "Scene05", "Scene06", "Scene07",
                                    "Scene08", "Scene09", "Scene10", "Scene11", "Scene12", "Scene13"};
    auto scenes = makeScenes(std::make_integer_sequence<int, 13>());
    for (int i = 0; i < 13; ++i) scenes[i].name = names[i];
    registerScenesAndTimeline(scenes);
    loadScript("script.qsc");
    const orbTimeline* timeline = timelineEntry(1);
    std::ofstream out("placed.txt");
    out << (musicFileName ? *musicFileName : std::string("-")) << " " << musicFileOffset << " " << endTime << " "
        << timeline->length() << "\n";
    int current = -1;
    for (std::int32_t t = 0; t <= timeline->length(); ++t) {
      int scene = 0;
      for (int i = 0; i < 13; ++i)
        if (timeline->renderSlot(t) == scenes[i].renderProc) scene = i + 1;
      if (scene != current) out << t << " " << scene << "\n";
      current = scene;
    }
    out.close();
    std::_Exit(0);
  });
  ASSERT_TRUE(child.exited);
  ASSERT_EQ(child.exitCode, 0) << child.errorOutput;
  ASSERT_FALSE(fs::exists("error.txt")) << testsupport::readFileBytes("error.txt");
  std::istringstream placed(testsupport::readFileBytes("placed.txt"));
  std::string file;
  int offset = 0, end = 0, length = 0;
  placed >> file >> offset >> end >> length;
  EXPECT_EQ(file, "music.ogg");
  EXPECT_EQ(offset, 0);
  EXPECT_EQ(length, showTimelineLength);
  // The last frame drawn is the first past end − 100; a frame later than
  // 100 ms would be a 5 fps show, so the timeline keeps every frame.
  EXPECT_GT(end, 197000);
  EXPECT_LE(end, length - 100 + 1);
  std::vector<std::pair<int, int>> runs;  // (start ms, scene)
  int t, scene;
  while (placed >> t >> scene) runs.push_back({t, scene});
  ASSERT_FALSE(runs.empty());
  EXPECT_EQ(runs.front().first, 0);
  bool seen[14] = {};
  for (const auto& [start, s] : runs) {
    EXPECT_NE(s, 0) << "no scene at " << start << " ms";
    seen[s] = true;
  }
  for (int s = 1; s <= 13; ++s) EXPECT_TRUE(seen[s]) << "Scene" << s << " is not placed";
  EXPECT_EQ(runs.size(), 13u) << "each scene should run in one stretch";
  // Scenes whose times are fixed in their formulas start where those times begin.
  auto startOf = [&](int s) {
    for (const auto& r : runs)
      if (r.second == s) return r.first;
    return -1;
  };
  EXPECT_LE(startOf(2), 6344);
  EXPECT_LE(startOf(8), 68245);
  EXPECT_LE(startOf(5), 86600);
  EXPECT_LE(startOf(9), 142683);
  EXPECT_LE(startOf(12), 159954);
  EXPECT_EQ(startOf(13), 188694);
}

// Every texture through the engine's own start-up (decode, alpha, upload)
// and the terrain from the heightmap, on a real headless GL context. In a
// child: a texture the engine cannot load ends the process.
TEST(ForgedTextures, EveryTextureLoadsThroughTheEngine) {
  REQUIRE_SHOW();
  testsupport::ScopedTempDir dir;
  fs::create_directory_symlink(fs::absolute(forgetest::showA()) / "data", "data");
  const auto child = testsupport::runInChild([] {
    setWindowBackend(platform::headlessBackend());
    orbCreateWindow("forge test", 800, 600, 32, false);
    loadingScreenInit();
    createSharedObjects();
    std::ofstream out("loaded.txt");
    for (int i = 0; i < textureSlotCount; ++i)
      out << textures[i].image.width << " " << textures[i].image.height << " "
          << (textures[i].glName != 0 && glIsTexture(textures[i].glName)) << " " << textures[i].image.components
          << "\n";
    out << "terrain " << (terrain.listId != 0) << "\n";
    out.close();
    std::_Exit(0);
  });
  ASSERT_TRUE(child.exited);
  ASSERT_EQ(child.exitCode, 0) << child.errorOutput;
  ASSERT_FALSE(fs::exists("error.txt")) << testsupport::readFileBytes("error.txt");
  std::istringstream loaded(testsupport::readFileBytes("loaded.txt"));
  const auto& list = forge::textureList();
  for (int i = 0; i < textureSlotCount; ++i) {
    int w = 0, h = 0, ok = 0, components = 0;
    loaded >> w >> h >> ok >> components;
    // The forge's table and the engine's agree, slot by slot.
    EXPECT_EQ(std::string(textureTable[i].fileName), std::string("data/") + list[i].name + ".kpx");
    EXPECT_EQ(textureTable[i].components, list[i].components) << list[i].name;
    EXPECT_EQ(textureTable[i].alphaSource, list[i].alphaSource) << list[i].name;
    EXPECT_GE(w, 32) << list[i].name;
    EXPECT_GE(h, 32) << list[i].name;
    EXPECT_EQ(ok, 1) << list[i].name;
    EXPECT_EQ(components, list[i].components) << list[i].name;
  }
  std::string word;
  int terrainBuilt = 0;
  loaded >> word >> terrainBuilt;
  EXPECT_EQ(word, "terrain");
  EXPECT_EQ(terrainBuilt, 1);
}

}  // namespace
