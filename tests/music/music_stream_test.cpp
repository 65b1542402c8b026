// A streamed Music against the same file decoded whole: every frame, every
// spectrum window and both clocks' time and spectrum, position for position,
// through loop wraps, jumps back before what the stream keeps and jumps
// ahead. An Ogg Vorbis file, since its decoder is the one whose seeks land
// off the frame asked for. Also a cut-short Ogg file: played as far as it
// decodes, refused when nothing decodes.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <thread>
#include <vector>

#include "engine/music.h"
#include "engine/virtual_clock.h"
#include "platform/sound.h"
#include "tests/music/audio_files.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono_literals;
using testaudio::rate;

namespace {

constexpr int oggVorbis = SF_FORMAT_OGG | SF_FORMAT_VORBIS;

// A sweep with a pulsing level, so that neighbouring windows differ.
bool writeSweep(const std::string& path, std::int64_t frames) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 2;
  info.format = oggVorbis;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return false;
  std::vector<std::int16_t> samples(static_cast<std::size_t>(frames * 2));
  double phase = 0;
  for (std::int64_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    phase += 2.0 * std::numbers::pi * (200.0 + 3000.0 * t) / rate;
    const double level = 0.3 + 0.25 * std::sin(2.0 * std::numbers::pi * 3.0 * t);
    samples[static_cast<std::size_t>(2 * i)] = static_cast<std::int16_t>(std::lround(20000 * level * std::sin(phase)));
    samples[static_cast<std::size_t>(2 * i + 1)] =
        static_cast<std::int16_t>(std::lround(20000 * level * std::cos(1.5 * phase)));
  }
  const bool written = sf_writef_short(file, samples.data(), frames) == frames;
  return sf_close(file) == 0 && written;
}

std::vector<std::int16_t> framesOf(const sound::Music& music, std::int64_t from, std::int64_t count) {
  std::vector<std::int16_t> out(static_cast<std::size_t>(count * music.channels()));
  music.read(from, count, out.data());
  return out;
}

std::vector<float> windowOf(const sound::Music& music, std::int64_t frame) {
  std::vector<float> window(sound::fftSize);
  music.windowEndingAt(frame, window.data());
  return window;
}

class MusicStream : public ::testing::Test {
 protected:
  void SetUp() override {
    resetMusicForTesting();
    ASSERT_TRUE(writeSweep("sweep.ogg", seconds * rate));
    ASSERT_EQ(sound::Music::load("sweep.ogg", 0, whole_), sound::ok);
  }
  void TearDown() override { resetMusicForTesting(); }

  static constexpr std::int64_t seconds = 8;  // longer than a default stream keeps
  std::unique_ptr<sound::Music> whole_;
  testsupport::ScopedTempDir dir_;
};

}  // namespace

TEST_F(MusicStream, EveryFrameAndWindowIsTheWholeDecodes) {
  constexpr std::int64_t kept = 16384;  // a small ring: many wraps and restarts
  std::unique_ptr<sound::Music> streamed;
  ASSERT_EQ(sound::Music::open("sweep.ogg", 0, streamed, kept), sound::ok);
  ASSERT_TRUE(streamed->streamed());
  ASSERT_FALSE(whole_->streamed());
  const std::int64_t n = whole_->frames();
  EXPECT_EQ(streamed->frames(), n);
  EXPECT_EQ(streamed->lengthMs(), whole_->lengthMs());
  EXPECT_EQ(n, seconds * rate);

  // The loop's first pass, then across the wrap, in one read.
  EXPECT_EQ(framesOf(*streamed, 0, n + kept), framesOf(*whole_, 0, n + kept));
  // Silence before frame 0.
  EXPECT_EQ(framesOf(*streamed, -100, 200), framesOf(*whole_, -100, 200));
  EXPECT_EQ(framesOf(*streamed, -100, 1)[0], 0);
  // Frame-loop steps (30 fps) over the wrap, then back before what is kept,
  // forward far ahead, and back across the wrap.
  std::vector<std::int64_t> positions;
  for (std::int64_t p = n - 20 * 1470; p < n + 20 * 1470; p += 1470) positions.push_back(p);
  for (std::int64_t p : {std::int64_t{0}, std::int64_t{5}, n / 3, n / 3 - 1, 2 * n + 12345, n / 2, 3 * n - 1,
                         n + 1, std::int64_t{1024}, std::int64_t{1023}})
    positions.push_back(p);
  for (std::int64_t p : positions) {
    ASSERT_EQ(windowOf(*streamed, p), windowOf(*whole_, p)) << "window ending at " << p;
    ASSERT_EQ(framesOf(*streamed, p, 3000), framesOf(*whole_, p, 3000)) << "frames from " << p;
  }
}

// The audio callback waits for frames far ahead while the main thread reads
// once far behind (making the decoder start over there) and then reads no
// more, as when it blocks on the device lock the callback holds: the callback
// must still get its frames.
TEST_F(MusicStream, AReaderFarAheadIsServedWhileTheOtherOneStopsReading) {
  constexpr std::int64_t kept = 16384;
  const std::int64_t n = whole_->frames();
  for (int round = 0; round < 5; ++round) {
    std::unique_ptr<sound::Music> streamed;
    ASSERT_EQ(sound::Music::open("sweep.ogg", 0, streamed, kept), sound::ok);
    std::vector<std::int16_t> far;
    std::thread ahead([&] { far = framesOf(*streamed, n - 2048, 1024); });
    std::this_thread::sleep_for(std::chrono::microseconds(500 * round));
    EXPECT_EQ(framesOf(*streamed, 0, 1024), framesOf(*whole_, 0, 1024));
    ahead.join();
    EXPECT_EQ(far, framesOf(*whole_, n - 2048, 1024)) << "round " << round;
  }
}

TEST_F(MusicStream, ShortMusicAndUnknownLengthsAreDecodedWhole) {
  std::unique_ptr<sound::Music> music;
  ASSERT_EQ(sound::Music::open("sweep.ogg", 0, music, seconds * rate), sound::ok);
  EXPECT_FALSE(music->streamed());  // not longer than what a stream keeps
  EXPECT_EQ(framesOf(*music, 0, 5000), framesOf(*whole_, 0, 5000));
  EXPECT_EQ(sound::Music::open("missing.ogg", 0, music), sound::fileNotFound);
  EXPECT_EQ(music, nullptr);
  EXPECT_EQ(sound::Music::open("sweep.ogg", -1, music), sound::invalidParameter);
}

TEST_F(MusicStream, TheVirtualClockSeesTheSameSpectrumAtEveryPosition) {
  auto clock = std::make_unique<VirtualClock>();
  VirtualClock* raw = clock.get();
  useMusicClock(std::move(clock));
  musicFileName = "sweep.ogg";
  musicStart(false);
  enableSpectrum();
  EXPECT_EQ(endTime, whole_->lengthMs());
  sound::SpectrumAnalyzer analyzer;
  std::vector<float> expected(sound::spectrumBands), bands(sound::spectrumBands);
  std::vector<std::int32_t> times;
  for (std::int32_t ms = 0; ms < 9000; ms += 33) times.push_back(ms);  // through the wrap at 8000
  for (std::int32_t ms : {1000, 7999, 8000, 12345, 3, 0}) times.push_back(ms);  // jumps both ways
  for (std::int32_t ms : times) {
    raw->setTime(ms);
    ASSERT_EQ(musicTime(), ms % 8000);  // the looping music wraps as the stream does
    readSpectrum(bands.data());
    analyzer.analyze(windowOf(*whole_, static_cast<std::int64_t>(ms) * rate / 1000).data(), expected.data());
    ASSERT_EQ(bands, expected) << "at " << ms << " ms";
  }
}

// The stream clock runs in real time, so the frame behind a reading is only
// known to within its millisecond and its pass of the loop: one of those
// frames must give exactly the spectrum read (within a pass's first 1024
// frames the window still holds the end of the pass before).
TEST_F(MusicStream, TheStreamClockReadsTheSameSpectrumAtEveryPosition) {
  musicFileName = "sweep.ogg";
  musicStart(false);
  enableSpectrum();
  EXPECT_EQ(endTime, whole_->lengthMs());
  sound::SpectrumAnalyzer analyzer;
  std::vector<float> expected(sound::spectrumBands), bands(sound::spectrumBands);
  auto check = [&](int round) {
    const std::int32_t ms = musicTime();
    readSpectrum(bands.data());
    bool found = false;
    // Frames f with f × 1000 / rate = ms (whole milliseconds, rounded down).
    for (std::int64_t pass = 0; pass < 3; ++pass)
      for (std::int64_t f = (std::int64_t{ms} * rate + 999) / 1000; !found && f * 1000 / rate == ms; ++f) {
        analyzer.analyze(windowOf(*whole_, f + pass * whole_->frames()).data(), expected.data());
        found = bands == expected;
      }
    EXPECT_TRUE(found) << "round " << round << " at " << ms << " ms";
  };
  for (int round = 0; round < 10; ++round) {
    check(round);
    std::this_thread::sleep_for(20ms);
  }
  musicSeek(7900);  // on over the wrap
  for (int round = 10; round < 25; ++round) {
    check(round);
    std::this_thread::sleep_for(20ms);
  }
  musicSeek(2000);  // back before what the stream keeps
  check(25);
  musicStop();
}

TEST_F(MusicStream, ACutShortOggPlaysWhatDecodesAndNothingDecodableIsRefused) {
  const auto size = static_cast<std::streamsize>(std::filesystem::file_size("sweep.ogg"));
  std::string bytes(static_cast<std::size_t>(size), '\0');
  std::ifstream("sweep.ogg", std::ios::binary).read(bytes.data(), size);
  std::ofstream("cut.ogg", std::ios::binary).write(bytes.data(), size - 100);
  for (auto open : {&sound::Music::load, +[](const std::string& p, std::int64_t o, std::unique_ptr<sound::Music>& m) {
                      return sound::Music::open(p, o, m);
                    }}) {
    std::unique_ptr<sound::Music> cut;
    ASSERT_EQ(open("cut.ogg", 0, cut), sound::ok);
    // Almost all of it: at most the last page (about a second) is lost.
    EXPECT_LT(cut->frames(), whole_->frames());
    EXPECT_GT(cut->frames(), whole_->frames() - rate);
    EXPECT_EQ(framesOf(*cut, 0, cut->frames()), framesOf(*whole_, 0, cut->frames()));
    // It loops at its own end.
    EXPECT_EQ(framesOf(*cut, cut->frames(), 10), framesOf(*whole_, 0, 10));
  }
  // The headers and no audio: nothing to play.
  for (std::streamsize cut : {200, 4000}) {
    std::ofstream("headers.ogg", std::ios::binary | std::ios::trunc).write(bytes.data(), cut);
    std::unique_ptr<sound::Music> none;
    const int loaded = sound::Music::load("headers.ogg", 0, none);
    EXPECT_TRUE(loaded == sound::fileLoadError || loaded == sound::unknownFormat) << cut << ": " << loaded;
    EXPECT_EQ(sound::Music::open("headers.ogg", 0, none), loaded);
    EXPECT_EQ(none, nullptr);
  }
  // And the show starts on the cut file with its shorter length.
  musicFileName = "cut.ogg";
  musicStart(false);
  EXPECT_GT(endTime, 7000);
  EXPECT_LT(endTime, 8000);
}
