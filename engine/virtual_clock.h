// The headless runner's clock: time is whatever the runner sets for the frame.
//
// start decodes the music (for its length and its samples); readSpectrum
// computes the spectrum from the decoded samples at the virtual position, so
// two renders of the same frames see the same spectrum. When audible (given
// to the constructor or to start, which gets the Music setting), start also plays the music on the audio device (silently ignored when there
// is none) and setTime keeps that playback in step: when the device's
// position drifts more than resyncMs from the virtual time, it seeks there.
#pragma once

#include <memory>

#include "engine/music.h"

namespace sound {
class Music;
class Player;
class SpectrumAnalyzer;
}  // namespace sound

class VirtualClock final : public MusicClock {
 public:
  // audible: also play the music in step (voltra-render --audio).
  explicit VirtualClock(bool audible = false);
  ~VirtualClock() override;

  int start(const std::string& fileName, std::int32_t offset, bool audible) override;
  std::int32_t lengthMs() const override { return length_; }
  // The set time, wrapped into the music as the audio stream's position wraps
  // when the looping music starts again.
  std::int32_t timeMs() override;
  void readSpectrum(float* destination) override;
  void readSpectrumAt(std::int32_t ms, float* destination) override;
  void stop() override;
  void seek(std::int32_t ms) override { setTime(ms); }

  // The music position of the next frame, in milliseconds (≥ 0; beyond the
  // length the music repeats and timeMs wraps).
  void setTime(std::int32_t ms);

  // The audible playback's position in milliseconds, or -1 when nothing plays.
  std::int32_t playbackMs();

  static constexpr std::int32_t resyncMs = 40;

 private:
  bool audible_;
  std::int32_t time_ = 0;
  std::int32_t length_ = 0;
  std::shared_ptr<sound::Music> music_;
  std::unique_ptr<sound::Player> player_;
  std::unique_ptr<sound::SpectrumAnalyzer> analyzer_;
};
