// The music clock against what the audio device really consumed, for ten
// seconds on SDL's disk driver (the truth is the size of the file it writes)
// or its dummy driver (the truth is the frames handed to it). Run by CTest
// once per driver (SDL_AUDIODRIVER, SDL_DISKAUDIOFILE set there).
//
// Truth at time t: the device has consumed C frames, C last changed at time
// tc, and the last buffer of B frames is heard over the following buffer
// period: heard(t) = min(C, C - B + (t - tc) × rate). tc is when this loop
// first saw the change (it looks every quarter millisecond); a change seen
// after a longer pause of the loop has no reliable tc and is not judged.
// The disk driver writes through the C library's buffer, which holds every
// other buffer back, so the file only tells the truth during one buffer
// period after its size changes; only those reads are judged there. Silence
// the driver wrote before playback was unpaused is not counted as consumed.
//
// Checked: the millisecond position never decreases except at the loop's
// wrap (once per pass of the 3-second music), no step is larger than the
// time between two reads (+1 ms for whole-millisecond rounding), the music
// advances less than a 60 Hz frame interval + 1 ms per frame interval, and the
// position stays within ±5 ms of heard(t).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

#include "platform/sound.h"
#include "tests/music/audio_files.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono_literals;

TEST(MusicClock, FollowsTheSamplesTheDeviceConsumed) {
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  ASSERT_TRUE(driver && (std::strcmp(driver, "disk") == 0 || std::strcmp(driver, "dummy") == 0))
      << "run with SDL_AUDIODRIVER=disk or dummy";
  const bool disk = std::strcmp(driver, "disk") == 0;
  const char* diskFile = std::getenv("SDL_DISKAUDIOFILE");
  if (disk) {
    ASSERT_TRUE(diskFile) << "the disk driver needs SDL_DISKAUDIOFILE";
  }

  testsupport::ScopedTempDir dir;
  constexpr int rate = testaudio::rate;
  ASSERT_TRUE(testaudio::writeTone("tone.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate * 3, 2, 440.0));
  std::unique_ptr<sound::Music> loaded;
  // Streamed, through a ring of a third of a second: the device reads from
  // the decoder's thread across every wrap.
  ASSERT_EQ(sound::Music::open("tone.wav", 0, loaded, 16384), sound::ok);
  ASSERT_TRUE(loaded->streamed());
  std::shared_ptr<const sound::Music> music = std::move(loaded);
  std::unique_ptr<sound::Player> player;
  ASSERT_EQ(sound::Player::open(sound::Output::device, player), sound::ok);
  ASSERT_EQ(player->play(music), sound::ok);
  const double queue = player->deviceQueueFrames();

  // SDL starts the device's thread paused and it writes silence until play()
  // unpauses it: on a quick machine a buffer or two of it lead the file. The
  // tone's first buffer is not silent, so whole silent buffers at the start
  // are that lead-in, not music.
  std::int64_t leadInFrames = -1;
  auto countLeadIn = [&](std::int64_t fileFrames) {
    std::FILE* file = std::fopen(diskFile, "rb");
    if (!file) return;
    std::vector<std::int16_t> buffer(static_cast<std::size_t>(queue) * 2);
    std::int64_t silent = 0;
    while (silent + static_cast<std::int64_t>(queue) <= fileFrames &&
           std::fread(buffer.data(), 4, buffer.size() / 2, file) == buffer.size() / 2) {
      if (std::any_of(buffer.begin(), buffer.end(), [](std::int16_t sample) { return sample != 0; })) {
        leadInFrames = silent;
        break;
      }
      silent += static_cast<std::int64_t>(queue);
    }
    std::fclose(file);
  };
  auto consumed = [&]() -> std::int64_t {
    if (!disk) return player->framesHandedOut();
    struct stat info {};
    if (stat(diskFile, &info) != 0) return 0;
    const std::int64_t fileFrames = info.st_size / 4;  // 16-bit stereo frames
    if (leadInFrames < 0 && fileFrames > 0) countLeadIn(fileFrames);
    return leadInFrames < 0 ? 0 : fileFrames - leadInFrames;
  };

  const std::int64_t begin = sound::monotonicNs();
  const std::int64_t finish = begin + 10'000'000'000;
  std::int64_t lastCount = 0, changedNs = begin;
  std::int64_t previousNs = begin;
  std::int32_t previousMs = player->positionMs();
  int wraps = 0, reads = 0, backwards = 0, tooLargeSteps = 0;
  double worstError = 0, worstStep = 0, errorSum = 0;
  double earlyMean = 0, lateMean = 0;
  int earlyCount = 0, lateCount = 0;

  const double bufferNs = queue * 1e9 / rate;
  bool reliable = false;
  int judged = 0;
  int lateReads = 0;  // reads more than 5 ms away from what was heard
  // Reads since the last change of C, judged once the change has settled: a
  // change followed by another within a millisecond (the C library writing
  // its held-back buffer and the new one in two calls) is not judged.
  struct Read {
    std::int64_t ns, frame;
  };
  std::vector<Read> pending;
  constexpr std::int64_t frameIntervalNs = 16'666'667;
  std::deque<Read> recent;
  double worstFrameStep = -1e9;
  auto judge = [&](std::int64_t count, std::int64_t since) {
    for (const Read& read : pending) {
      if (count <= 0 || (disk && read.ns - since > bufferNs)) continue;
      ++judged;
      const double heard = std::min<double>(count, count - queue + (read.ns - since) * 1e-9 * rate);
      const double error = (read.frame - std::max(heard, 0.0)) * 1000.0 / rate;
      worstError = std::max(worstError, std::abs(error));
      if (std::abs(error) > 5.0) ++lateReads;
      errorSum += error;
      const double second = (read.ns - begin) * 1e-9;
      if (second < 2) earlyMean += error, ++earlyCount;
      if (second > 8) lateMean += error, ++lateCount;
    }
    pending.clear();
  };
  while (true) {
    std::this_thread::sleep_for(250us);
    const std::int64_t count = consumed();
    const std::int64_t now = sound::monotonicNs();
    if (now >= finish) break;
    const std::int64_t frame = player->positionFrames();
    const std::int32_t ms = static_cast<std::int32_t>((frame % music->frames()) * 1000 / rate);
    if (count != lastCount) {
      if (now - changedNs < 1'000'000) pending.clear();
      if (reliable) judge(lastCount, changedNs);
      pending.clear();
      lastCount = count;
      changedNs = now;
      reliable = now - previousNs < 1'000'000;
    }
    ++reads;
    pending.push_back({now, frame});
    // The advance over the last 60 Hz frame interval, as a frame loop sees it.
    recent.push_back({now, frame});
    while (recent.size() > 1 && now - recent[1].ns >= frameIntervalNs) recent.pop_front();
    if (now - recent.front().ns >= frameIntervalNs) {
      const double advanceMs = static_cast<double>(frame - recent.front().frame) * 1000.0 / rate;
      worstFrameStep = std::max(worstFrameStep, advanceMs - (now - recent.front().ns) * 1e-6);
    }
    const double elapsedMs = (now - previousNs) * 1e-6;
    if (ms < previousMs) {
      if (previousMs > 2900 && ms < 100) ++wraps;
      else ++backwards;
    } else {
      const double step = ms - previousMs;
      worstStep = std::max(worstStep, step - elapsedMs);
      if (step > std::ceil(elapsedMs) + 1) ++tooLargeSteps;
    }
    previousMs = ms;
    previousNs = now;
  }
  player->close();
  pending.clear();  // the last change has not settled

  earlyMean /= std::max(earlyCount, 1);
  lateMean /= std::max(lateCount, 1);
  std::printf(
      "driver %s: %d reads over 10 s (%d judged), device queue %.0f frames; worst |clock - heard| %.2f ms, mean %.2f ms "
      "(first 2 s %.2f, last 2 s %.2f); worst step beyond the read interval %.2f ms, beyond a 60 Hz frame "
      "interval %.3f ms; %d wraps, %d steps back; %lld silent lead-in frames\n",
      driver, reads, judged, queue, worstError, errorSum / std::max(judged, 1), earlyMean, lateMean, worstStep, worstFrameStep, wraps,
      backwards, static_cast<long long>(leadInFrames));
  RecordProperty("worst_error_ms", std::to_string(worstError));
  RecordProperty("worst_step_beyond_interval_ms", std::to_string(worstStep));

  EXPECT_GT(lastCount, rate * 9) << "the device consumed too little in 10 s";
  if (disk) {
    EXPECT_LE(leadInFrames, 4 * queue) << "silence ahead of the music in the device's file";
  }
  EXPECT_GT(judged, reads / 4);
  EXPECT_EQ(backwards, 0);
  EXPECT_EQ(wraps, 3);
  EXPECT_EQ(tooLargeSteps, 0);
  EXPECT_LT(worstFrameStep, 1.0);
  // A loaded machine can hold up the device thread for a few milliseconds
  // now and then; a clock that is off shows in far more reads than that.
  EXPECT_LE(lateReads, judged / 100) << "worst " << worstError << " ms";
  EXPECT_LE(std::abs(errorSum / std::max(judged, 1)), 1.0);
}
