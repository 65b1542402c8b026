// The music module: error texts, musicStart on the silent output and its
// fatal paths, the clock without music, the virtual clock's deterministic
// spectrum, and the floating-point environment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <array>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "engine/log.h"
#include "engine/music.h"
#include "engine/script.h"
#include "engine/state.h"
#include "engine/virtual_clock.h"
#include "tests/music/audio_files.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono_literals;
using testaudio::band100Hz;
using testaudio::rate;

namespace {

constexpr int wav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

class Music : public ::testing::Test {
 protected:
  void SetUp() override {
    resetMusicForTesting();
    resetLogForTesting();
  }
  void TearDown() override { resetMusicForTesting(); }

  // musicStart in a child that must end through fatalError; error.txt's message.
  static std::string fatalMessageOfStart(const std::string& file, std::int32_t offset) {
    musicFileName = file;
    musicFileOffset = offset;
    const auto child = testsupport::runInChild([] { musicStart(false); });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 1);
    const std::string error = testsupport::readFileBytes("error.txt");
    const std::string head = "Sorry, but the following module had something to say:\r\n\r\nFMOD\r\n";
    EXPECT_EQ(error.compare(0, head.size(), head), 0) << error;
    return error.size() > head.size() + 2 ? error.substr(head.size(), error.size() - head.size() - 2) : "";
  }

  testsupport::ScopedTempDir dir_;
};

std::vector<float> readBands() {
  std::vector<float> bands(spectrumSize);
  readSpectrum(bands.data());
  return bands;
}

}  // namespace

TEST(MusicErrors, EveryCodeHasItsText) {
  EXPECT_STREQ(fmodErrorText(0), "No errors");
  EXPECT_STREQ(fmodErrorText(1), "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first");
  EXPECT_STREQ(fmodErrorText(3), "Error initializing output device");
  EXPECT_STREQ(fmodErrorText(6),
               "Soundcard does not support the features needed for this soundsystem (16bit stereo output)");
  EXPECT_STREQ(fmodErrorText(9), "File not found");
  EXPECT_STREQ(fmodErrorText(10), "Unknown file format");
  EXPECT_STREQ(fmodErrorText(11), "Error loading file");
  EXPECT_STREQ(fmodErrorText(12), "Not enough memory or resources");
  EXPECT_STREQ(fmodErrorText(14), "An invalid parameter was passed to this function");
  EXPECT_STREQ(fmodErrorText(18), "Required Mediaplayer codec is not installed");
  for (std::int32_t code : {-1, 19, 100, INT32_MIN, INT32_MAX}) EXPECT_STREQ(fmodErrorText(code), "Unknown error");
}

TEST_F(Music, StartOnTheSilentOutputSetsTheEndTimeAndFollowsTheMusic) {
  ASSERT_TRUE(testaudio::writeTone("tone.wav", wav16, rate * 2, 2, band100Hz));
  testaudio::writePacked("packed.dat", std::string(100, 'p'), "tone.wav");
  musicFileName = "packed.dat";
  musicFileOffset = 100;
  musicStart(false);
  EXPECT_EQ(endTime, 2000);

  // The spectrum is off until enableSpectrum.
  std::this_thread::sleep_for(60ms);
  const std::int32_t first = musicTime();
  EXPECT_GE(first, 50);
  EXPECT_LT(first, 1000);
  auto bands = readBands();
  EXPECT_EQ(bands[100], 0.0f);
  enableSpectrum();
  bands = readBands();
  EXPECT_NEAR(bands[100], 1.0f, 1e-3);

  std::this_thread::sleep_for(20ms);
  EXPECT_GT(musicTime(), first);
  musicStop();
}

TEST_F(Music, AScriptEndTimeIsKept) {
  ASSERT_TRUE(testaudio::writeTone("tone.wav", wav16, rate / 10, 2, 440.0));
  musicFileName = "tone.wav";
  endTime = 5000;
  musicStart(false);
  EXPECT_EQ(endTime, 5000);
  musicStop();
}

TEST_F(Music, WithoutADeviceTheAudibleStartIsFatal) {
  ASSERT_TRUE(testaudio::writeTone("tone.wav", wav16, rate, 2, 440.0));
  const auto child = testsupport::runInChild([] {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    musicFileName = "tone.wav";
    musicStart(true);
  });
  EXPECT_EQ(child.exitCode, 1) << child.errorOutput;
  EXPECT_EQ(child.errorOutput,
            "voltra: FMOD: Error initializing output device (no sound device: uncheck Music, or pass --no-music)\n");
  EXPECT_EQ(testsupport::readFileBytes("error.txt"),
            "Sorry, but the following module had something to say:\r\n\r\nFMOD\r\nError initializing output device\r\n");
}

TEST_F(Music, StartFailuresAreFatalUnderFmodWithTheirText) {
  EXPECT_EQ(fatalMessageOfStart("missing.ogg", 0), "File not found");
  std::ofstream("words.ogg") << "not music";
  EXPECT_EQ(fatalMessageOfStart("words.ogg", 0), "Unknown file format");
  EXPECT_EQ(fatalMessageOfStart("words.ogg", -1), "An invalid parameter was passed to this function");
  ASSERT_TRUE(testaudio::writeTone("empty.wav", wav16, 0, 2, 440.0));
  EXPECT_EQ(fatalMessageOfStart("empty.wav", 0), "Error loading file");
}

TEST_F(Music, WithoutMusicTheClockIsSilentRealTimeFromTheFirstRead) {
  enableSpectrum();
  std::this_thread::sleep_for(30ms);
  EXPECT_LT(musicTime(), 10);  // starts at the first read, not at program start
  std::this_thread::sleep_for(50ms);
  const std::int32_t later = musicTime();
  EXPECT_GE(later, 50);
  EXPECT_LT(later, 1000);
  for (float value : readBands()) EXPECT_EQ(value, 0.0f);
}

TEST_F(Music, TheVirtualClockGivesTheSameSpectrumForTheSameTime) {
  ASSERT_TRUE(testaudio::writeTone("tone.wav", wav16, rate, 2, band100Hz));
  auto render = [](std::int32_t ms) {
    auto clock = std::make_unique<VirtualClock>();
    VirtualClock* raw = clock.get();
    useMusicClock(std::move(clock));
    musicFileName = "tone.wav";
    endTime = 0;
    musicStart(false);
    enableSpectrum();
    raw->setTime(ms);
    EXPECT_EQ(musicTime(), ms % 1000);  // one second of looping music
    return readBands();
  };
  const auto first = render(333);
  EXPECT_EQ(endTime, 1000);
  EXPECT_NEAR(first[100], 1.0f, 1e-3);
  EXPECT_EQ(render(333), first);
  // At time 0 nothing has been heard yet; past the end the music repeats.
  EXPECT_EQ(render(0)[100], 0.0f);
  EXPECT_NEAR(render(1500)[100], 1.0f, 1e-3);
}

TEST_F(Music, TheVirtualClockFailsLikeTheStream) {
  useMusicClock(std::make_unique<VirtualClock>());
  musicFileName = "missing.wav";
  const auto child = testsupport::runInChild([] { musicStart(false); });
  EXPECT_EQ(child.exitCode, 1);
  EXPECT_NE(testsupport::readFileBytes("error.txt").find("FMOD\r\nFile not found\r\n"), std::string::npos);
}

TEST(FloatingPoint, ExceptionsAreMaskedAndDivisionByZeroGivesInfinity) {
  const auto child = testsupport::runInChild([] {
    feenableexcept(FE_DIVBYZERO | FE_INVALID);  // what a careless library might leave behind
    if (floatingPointExceptionsMasked()) std::_Exit(1);
    checkFloatingPointEnvironment();
    volatile double zero = 0.0;
    const double infinite = 1.0 / zero;
    const double invalid = zero / zero;
    std::_Exit(floatingPointExceptionsMasked() && std::isinf(infinite) && std::isnan(invalid) ? 0 : 2);
  });
  EXPECT_TRUE(child.exited) << "trapped with signal " << child.signal;
  EXPECT_EQ(child.exitCode, 0);
}

TEST_F(Music, AnAudibleVirtualClockKeepsThePlaybackInStep) {
  ASSERT_EQ(setenv("SDL_AUDIODRIVER", "dummy", 1), 0);
  ASSERT_TRUE(testaudio::writeTone("tone.wav", wav16, rate * 10, 2, 440.0));
  VirtualClock silentClock;
  ASSERT_EQ(silentClock.start("tone.wav", 0, false), 0);
  EXPECT_EQ(silentClock.playbackMs(), -1);

  VirtualClock clock(true);
  ASSERT_EQ(clock.start("tone.wav", 0, false), 0);
  ASSERT_GE(clock.playbackMs(), 0);
  // A jump of the virtual time moves the playback there. The playback runs on
  // while this thread waits to be scheduled, so each bound allows for the
  // time that passed around the read.
  const auto elapsedMs = [](std::chrono::steady_clock::time_point since) {
    return static_cast<std::int32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count());
  };
  auto before = std::chrono::steady_clock::now();
  clock.setTime(5000);
  std::int32_t heard = clock.playbackMs();
  EXPECT_GE(heard, 5000 - VirtualClock::resyncMs);
  EXPECT_LT(heard, 5000 + VirtualClock::resyncMs + elapsedMs(before));
  // ...while time that moves with the playback leaves it alone. The device
  // thread may be late on a busy machine: wait (bounded) for it to move on.
  std::int32_t playing = clock.playbackMs();
  for (int i = 0; i < 200 && playing <= 5000 + 50; ++i) {
    std::this_thread::sleep_for(10ms);
    playing = clock.playbackMs();
  }
  EXPECT_GT(playing, 5000);
  clock.setTime(playing);
  EXPECT_GE(clock.playbackMs(), playing);
  // Back in time as well.
  before = std::chrono::steady_clock::now();
  clock.setTime(1000);
  heard = clock.playbackMs();
  EXPECT_GE(heard, 1000 - VirtualClock::resyncMs);
  EXPECT_LT(heard, 1000 + VirtualClock::resyncMs + elapsedMs(before));
  clock.stop();
  EXPECT_EQ(clock.playbackMs(), -1);
}

TEST_F(Music, TheVirtualClockWrapsAtTheEndOfTheMusicAsTheStreamDoes) {
  // 1.5 s of music at 44100 Hz: 66150 frames, the loop starts again at 1500 ms.
  ASSERT_TRUE(testaudio::writeTone("short.wav", wav16, rate * 3 / 2, 2, 440.0));
  VirtualClock clock;
  ASSERT_EQ(clock.start("short.wav", 0, false), 0);
  ASSERT_EQ(clock.lengthMs(), 1500);
  const std::pair<std::int32_t, std::int32_t> cases[] = {
      {0, 0}, {1499, 1499}, {1500, 0}, {1501, 1}, {2999, 1499}, {3000, 0}, {4250, 1250}};
  for (const auto& [set, read] : cases) {
    clock.setTime(set);
    EXPECT_EQ(clock.timeMs(), read) << "set to " << set;
  }
  // The spectrum is that of the music heard there: the same as one loop earlier.
  std::array<float, spectrumSize> wrapped{}, first{};
  clock.readSpectrumAt(1500 + 700, wrapped.data());
  clock.readSpectrumAt(700, first.data());
  EXPECT_EQ(wrapped, first);
}

TEST_F(Music, AnOggNamedByTheScriptPlaysAndDrivesTimeAndSpectrum) {
  ASSERT_TRUE(testaudio::writeTone("tone.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, rate * 2, 2, band100Hz, 0.5));
  testaudio::writePacked("music.pak", std::string(512, 'm'), "tone.ogg");
  std::ofstream("script.qsc", std::ios::binary) << "@music ogg music.pak $200 0 1\r\n";
  loadScript("script.qsc");
  ASSERT_TRUE(musicFileName);
  musicStart(false);
  EXPECT_EQ(endTime, 2000);  // 0 in the script: the music's length
  enableSpectrum();
  std::this_thread::sleep_for(100ms);
  currentTime = musicTime();
  readSpectrum(spectrum.data());
  EXPECT_GE(currentTime, 100);
  EXPECT_LT(currentTime, 2000);
  EXPECT_EQ(std::max_element(spectrum.begin(), spectrum.end()) - spectrum.begin(), 100);
  EXPECT_NEAR(spectrum[100], 0.5f, 0.05f);
  musicStop();
}
