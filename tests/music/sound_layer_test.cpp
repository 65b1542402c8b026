// The sound layer on files made here: decoding (WAV, Ogg, mono, packed at an
// offset, bad input), the spectrum's calibration, and the silent output's
// clock (real time, loop wrap, seek).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <thread>
#include <vector>

#include "platform/sound.h"
#include "tests/music/audio_files.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono_literals;
using testaudio::band100Hz;
using testaudio::rate;

namespace {

constexpr int wav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr int oggVorbis = SF_FORMAT_OGG | SF_FORMAT_VORBIS;

std::unique_ptr<sound::Music> load(const std::string& path, std::int64_t offset, int expected = sound::ok) {
  std::unique_ptr<sound::Music> music;
  EXPECT_EQ(sound::Music::load(path, offset, music), expected) << path << " at " << offset;
  EXPECT_EQ(music != nullptr, expected == sound::ok);
  return music;
}

std::vector<float> spectrumOf(const std::vector<float>& samples) {
  sound::SpectrumAnalyzer analyzer;
  std::vector<float> bands(sound::spectrumBands);
  analyzer.analyze(samples.data(), bands.data());
  return bands;
}

std::vector<float> sine(double hz, double amplitude, double phase = 0.0) {
  std::vector<float> samples(sound::fftSize);
  for (int i = 0; i < sound::fftSize; ++i)
    samples[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate + phase));
  return samples;
}

int loudestBand(const std::vector<float>& bands) {
  return static_cast<int>(std::max_element(bands.begin(), bands.end()) - bands.begin());
}

class SoundLayer : public ::testing::Test {
 protected:
  testsupport::ScopedTempDir dir_;
};

}  // namespace

TEST_F(SoundLayer, WavAndOggDecodeWithTheirLength) {
  ASSERT_TRUE(testaudio::writeTone("tone.wav", wav16, rate, 2, band100Hz));
  ASSERT_TRUE(testaudio::writeTone("tone.ogg", oggVorbis, rate / 2, 2, band100Hz));
  ASSERT_TRUE(testaudio::writeTone("mono.wav", wav16, 441, 1, 1000.0));

  auto wav = load("tone.wav", 0);
  EXPECT_EQ(wav->frames(), rate);
  EXPECT_EQ(wav->rate(), rate);
  EXPECT_EQ(wav->channels(), 2);
  EXPECT_EQ(wav->lengthMs(), 1000);
  // Bit-exact 16-bit samples: frame 1 of a full-scale sine.
  EXPECT_EQ(wav->samples()[2], static_cast<std::int16_t>(std::lround(
                                   32767.0 * std::sin(2.0 * std::numbers::pi * band100Hz / rate))));

  auto ogg = load("tone.ogg", 0);
  EXPECT_EQ(ogg->lengthMs(), 500);
  EXPECT_EQ(ogg->channels(), 2);

  auto mono = load("mono.wav", 0);
  EXPECT_EQ(mono->channels(), 1);
  EXPECT_EQ(mono->lengthMs(), 10);
}

TEST_F(SoundLayer, FlacAndMp3Decode) {
  ASSERT_TRUE(testaudio::writeTone("tone.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, rate / 2, 2, band100Hz));
  ASSERT_TRUE(testaudio::writeTone("tone.wav", wav16, rate / 2, 2, band100Hz));
  auto flac = load("tone.flac", 0);
  auto wav = load("tone.wav", 0);
  EXPECT_EQ(flac->lengthMs(), 500);
  ASSERT_EQ(flac->frames(), wav->frames());
  EXPECT_TRUE(std::equal(wav->samples(), wav->samples() + wav->frames() * 2, flac->samples()));  // lossless

  // MP3 adds encoder delay and padding: the length is close, not exact.
  ASSERT_TRUE(testaudio::writeTone("tone.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, rate, 2, 440.0, 0.5));
  auto mp3 = load("tone.mp3", 0);
  EXPECT_NEAR(mp3->lengthMs(), 1000, 100);
  EXPECT_EQ(mp3->rate(), rate);
}

TEST_F(SoundLayer, MusicPackedInsideALargerFileIsReadFromItsOffset) {
  ASSERT_TRUE(testaudio::writeTone("tone.wav", wav16, 4410, 2, 440.0));
  ASSERT_TRUE(testaudio::writeTone("tone.ogg", oggVorbis, 4410, 1, 440.0));
  const std::string junk(777, 'x');
  testaudio::writePacked("packed.bin", junk, "tone.wav");
  testaudio::writePacked("packed_ogg.bin", std::string(4096, '\0'), "tone.ogg");

  auto plain = load("tone.wav", 0);
  auto packed = load("packed.bin", 777);
  ASSERT_EQ(packed->frames(), plain->frames());
  EXPECT_TRUE(std::equal(plain->samples(), plain->samples() + plain->frames() * 2, packed->samples()));
  EXPECT_EQ(load("packed_ogg.bin", 4096)->lengthMs(), 100);

  // The junk itself, an offset inside the music, and offsets at or past the end.
  load("packed.bin", 0, sound::unknownFormat);
  load("packed.bin", 778, sound::unknownFormat);
  const auto size = static_cast<std::int64_t>(std::filesystem::file_size("packed.bin"));
  load("packed.bin", size, sound::unknownFormat);
  load("packed.bin", size + 100000, sound::unknownFormat);
  load("packed.bin", -1, sound::invalidParameter);
}

TEST_F(SoundLayer, UnusableFilesGiveTheirErrorCodes) {
  load("missing.ogg", 0, sound::fileNotFound);
  load("", 0, sound::fileNotFound);
  load("missing/dir/file.wav", 0, sound::fileNotFound);
  std::filesystem::create_directory("folder.ogg");
  load("folder.ogg", 0, sound::fileLoadError);
  std::ofstream("text.ogg") << "this is not music at all, only words\n";
  load("text.ogg", 0, sound::unknownFormat);
  std::ofstream("empty.wav");
  load("empty.wav", 0, sound::unknownFormat);
  // A valid header with no samples, and a header cut off in the middle.
  ASSERT_TRUE(testaudio::writeTone("silent.wav", wav16, 0, 2, 440.0));
  load("silent.wav", 0, sound::fileLoadError);
  ASSERT_TRUE(testaudio::writeTone("tone.wav", wav16, 4410, 2, 440.0));
  std::filesystem::resize_file("tone.wav", 30);
  load("tone.wav", 0, sound::unknownFormat);
}

TEST(Spectrum, AFullScaleSineAtABandCentreGivesOneInThatBand) {
  // The first and last bands have a neighbour missing or shared with the mirror image.
  EXPECT_NEAR(spectrumOf(sine(1 * rate / 1024.0, 1.0, 0.3))[1], 1.0f, 1e-3);
  EXPECT_NEAR(spectrumOf(sine(511 * rate / 1024.0, 1.0, 0.3))[511], 1.0f, 1e-3);
  for (int band : {2, 10, 100, 110, 300, 510}) {
    const auto bands = spectrumOf(sine(band * rate / 1024.0, 1.0, 0.3));
    EXPECT_NEAR(bands[band], 1.0f, 1e-4) << band;
    // The Hann window spreads a centred sine over the band's two neighbours.
    EXPECT_NEAR(bands[band - 1], 0.5f, 1e-4) << band;
    EXPECT_NEAR(bands[band + 1], 0.5f, 1e-4) << band;
    for (int other = 0; other < sound::spectrumBands; ++other)
      if (std::abs(other - band) > 1) {
        EXPECT_LT(bands[other], 1e-4) << band << " leaks into " << other;
      }
  }
}

TEST(Spectrum, ScaleIsLinearInAmplitudeAndClampedToOne) {
  EXPECT_NEAR(spectrumOf(sine(100 * rate / 1024.0, 0.25))[100], 0.25f, 1e-4);
  EXPECT_NEAR(spectrumOf(sine(100 * rate / 1024.0, 0.001))[100], 0.001f, 1e-5);
  // Between two band centres the energy is shared and the peak is lower.
  const auto between = spectrumOf(sine(100.5 * rate / 1024.0, 1.0));
  EXPECT_GT(between[100], 0.8f);
  EXPECT_LT(between[100], 0.9f);

  std::vector<float> square(sound::fftSize);
  for (int i = 0; i < sound::fftSize; ++i) square[i] = (i / 4) % 2 ? 1.0f : -1.0f;
  for (float value : spectrumOf(square)) {
    EXPECT_GE(value, 0.0f);
    EXPECT_LE(value, 1.0f);
  }
  const std::vector<float> loud(sound::fftSize, 8.0f);  // way above full scale
  EXPECT_EQ(spectrumOf(loud)[0], 1.0f);
  const auto silence = spectrumOf(std::vector<float>(sound::fftSize, 0.0f));
  EXPECT_TRUE(std::all_of(silence.begin(), silence.end(), [](float v) { return v == 0.0f; }));
  // Not-a-number input never reaches the scenes.
  std::vector<float> broken = sine(1000.0, 0.5);
  broken[17] = std::nanf("");
  for (float value : spectrumOf(broken)) EXPECT_FALSE(std::isnan(value));
}

TEST_F(SoundLayer, TheWindowEndsAtThePlayFrameAndLoops) {
  ASSERT_TRUE(testaudio::writeTone("tone.wav", wav16, rate, 2, band100Hz));
  auto music = load("tone.wav", 0);
  std::vector<float> window(sound::fftSize);

  // Before the first frame there is only silence.
  music->windowEndingAt(0, window.data());
  EXPECT_TRUE(std::all_of(window.begin(), window.end(), [](float v) { return v == 0.0f; }));
  music->windowEndingAt(512, window.data());
  EXPECT_EQ(window[511], 0.0f);
  EXPECT_EQ(window[1023], static_cast<float>(music->samples()[511 * 2]) / 32768.0f);

  // The window at frames() + 10 is the end of the music followed by its start.
  music->windowEndingAt(music->frames() + 10, window.data());
  EXPECT_EQ(window[1013], static_cast<float>(music->samples()[(music->frames() - 1) * 2]) / 32768.0f);
  EXPECT_EQ(window[1014], static_cast<float>(music->samples()[0]) / 32768.0f);

  // A tone in the music shows in its band.
  sound::SpectrumAnalyzer analyzer;
  std::vector<float> bands(sound::spectrumBands);
  music->windowEndingAt(20000, window.data());
  analyzer.analyze(window.data(), bands.data());
  EXPECT_EQ(loudestBand(bands), 100);
  EXPECT_NEAR(bands[100], 1.0f, 1e-3);
}

TEST_F(SoundLayer, OggToneKeepsItsBand) {
  ASSERT_TRUE(testaudio::writeTone("tone.ogg", oggVorbis, rate, 1, band100Hz, 0.5));
  auto music = load("tone.ogg", 0);
  std::vector<float> window(sound::fftSize), bands(sound::spectrumBands);
  sound::SpectrumAnalyzer analyzer;
  music->windowEndingAt(30000, window.data());
  analyzer.analyze(window.data(), bands.data());
  EXPECT_EQ(loudestBand(bands), 100);
  EXPECT_NEAR(bands[100], 0.5f, 0.05f);
}

TEST_F(SoundLayer, SilentOutputAdvancesInRealTimeAndWraps) {
  ASSERT_TRUE(testaudio::writeTone("short.wav", wav16, rate / 4, 2, 440.0));  // 250 ms
  std::shared_ptr<sound::Music> music = load("short.wav", 0);
  std::unique_ptr<sound::Player> player;
  ASSERT_EQ(sound::Player::open(sound::Output::silent, player), sound::ok);
  EXPECT_EQ(player->positionMs(), 0);  // before play
  EXPECT_EQ(player->play(nullptr), sound::invalidParameter);

  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(player->play(music), sound::ok);
  EXPECT_EQ(player->play(music), sound::invalidParameter);
  std::this_thread::sleep_for(100ms);
  const std::int64_t frames = player->positionFrames();
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_GE(frames, static_cast<std::int64_t>(0.1 * rate));
  EXPECT_LE(frames, static_cast<std::int64_t>(elapsed * rate) + 1);

  // Past the end the position wraps to the start, in whole milliseconds.
  std::this_thread::sleep_for(200ms);
  const std::int64_t after = player->positionFrames();
  EXPECT_GT(after, music->frames());
  const std::int32_t ms = player->positionMs();
  EXPECT_LT(ms, 250);
  EXPECT_EQ(player->framesHandedOut(), 0);  // no device

  // A seek restarts the position there.
  player->seek(rate / 10);
  const std::int32_t sought = player->positionMs();
  EXPECT_GE(sought, 100);
  EXPECT_LT(sought, 150);
  player->seek(-5);  // ignored
  EXPECT_GE(player->positionMs(), 100);
  player->close();
  player->close();
  EXPECT_EQ(player->positionMs(), 0);
}

TEST_F(SoundLayer, AnUnknownAudioDriverCannotInitialiseTheDevice) {
  // SDL reads the driver name when its audio part starts.
  ASSERT_EQ(setenv("SDL_AUDIODRIVER", "no-such-driver", 1), 0);
  std::unique_ptr<sound::Player> player;
  EXPECT_EQ(sound::Player::open(sound::Output::device, player), sound::initFailed);
  EXPECT_EQ(player, nullptr);
  ASSERT_EQ(setenv("SDL_AUDIODRIVER", "dummy", 1), 0);
}

TEST_F(SoundLayer, TheDummyDevicePlaysAndTheClockMoves) {
  ASSERT_EQ(setenv("SDL_AUDIODRIVER", "dummy", 1), 0);
  ASSERT_TRUE(testaudio::writeTone("tone.wav", wav16, rate, 2, 440.0));
  std::shared_ptr<sound::Music> music = load("tone.wav", 0);
  std::unique_ptr<sound::Player> player;
  ASSERT_EQ(sound::Player::open(sound::Output::device, player), sound::ok);
  ASSERT_EQ(player->play(music), sound::ok);
  EXPECT_EQ(player->deviceQueueFrames(), 1024);
  std::this_thread::sleep_for(150ms);
  const std::int64_t first = player->positionFrames();
  EXPECT_GT(first, 0);
  EXPECT_LE(first, player->framesHandedOut());
  std::this_thread::sleep_for(50ms);
  EXPECT_GT(player->positionFrames(), first);
  player->close();
}
