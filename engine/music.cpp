#include "engine/music.h"

#include <chrono>
#include <cstring>

#include "engine/log.h"
#include "engine/state.h"
#include "engine/virtual_clock.h"

std::optional<std::string> musicFileName;
std::int32_t musicFileOffset = 0;
std::int32_t endTime = 0;
bool musicEnabled = true;

namespace {

// Placeholder until the audio stream exists: a silent real-time clock.
class SilentClock final : public MusicClock {
 public:
  int start(const std::string&, std::int32_t, bool) override {
    start_ = std::chrono::steady_clock::now();
    return 0;
  }
  std::int32_t lengthMs() const override { return 0; }
  std::int32_t timeMs() override {
    return static_cast<std::int32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count());
  }
  void readSpectrum(float* destination) override { std::memset(destination, 0, spectrumSize * sizeof(float)); }
  void stop() override {}

 private:
  std::chrono::steady_clock::time_point start_{};
};

std::unique_ptr<MusicClock> clock_;

MusicClock& activeClock() {
  if (!clock_) clock_ = std::make_unique<SilentClock>();
  return *clock_;
}

}  // namespace

void useMusicClock(std::unique_ptr<MusicClock> clock) { clock_ = std::move(clock); }

void musicStart(bool enabled) {
  const int code = activeClock().start(musicFileName.value_or(""), musicFileOffset, enabled);
  if (code != 0) fatalError("FMOD", fmodErrorText(code));
  if (endTime == 0) endTime = activeClock().lengthMs();
}

std::int32_t musicTime() { return activeClock().timeMs(); }

void readSpectrum(float* destination) { activeClock().readSpectrum(destination); }

void enableSpectrum() {}

void musicStop() { activeClock().stop(); }

const char* fmodErrorText(std::int32_t code) {
  switch (code) {
    case 0: return "No errors";
    case 9: return "File not found";
    case 10: return "Unknown file format";
    default: return "Unknown error";
  }
}

int VirtualClock::start(const std::string&, std::int32_t, bool) { return 0; }

void VirtualClock::readSpectrum(float* destination) { std::memset(destination, 0, spectrumSize * sizeof(float)); }
