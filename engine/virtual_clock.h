// The headless runner's clock: time is whatever the runner sets for the frame.
#pragma once

#include "engine/music.h"

class VirtualClock final : public MusicClock {
 public:
  int start(const std::string& fileName, std::int32_t offset, bool audible) override;
  std::int32_t lengthMs() const override { return length_; }
  std::int32_t timeMs() override { return time_; }
  void readSpectrum(float* destination) override;
  void stop() override {}

  void setTime(std::int32_t ms) { time_ = ms; }

 private:
  std::int32_t time_ = 0;
  std::int32_t length_ = 0;
};
