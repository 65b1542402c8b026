// The music: the show's clock and the source of its spectrum.
//
// musicStart opens the file the script named and starts it through the
// installed MusicClock; every frame then reads musicTime and readSpectrum.
// Two clocks implement the same interface: the audio stream (real time,
// audible or silent output) and the virtual clock of the headless runner,
// whose time is set frame by frame.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Music settings, filled by the script loader and the start-up sequence.
extern std::optional<std::string> musicFileName;  // none without a @music line
extern std::int32_t musicFileOffset;
extern std::int32_t endTime;  // 0 until set
extern bool musicEnabled;

class MusicClock {
 public:
  virtual ~MusicClock() = default;
  // Opens fileName (whose music data starts offset bytes in) and starts it
  // looping. Returns 0, or an error code that fmodErrorText explains.
  virtual int start(const std::string& fileName, std::int32_t offset, bool audible) = 0;
  // Length of the music in milliseconds (valid after a successful start).
  virtual std::int32_t lengthMs() const = 0;
  // Position of the music being heard, in milliseconds.
  virtual std::int32_t timeMs() = 0;
  // 512 values in 0 … 1, low to high frequency, of the music at timeMs.
  virtual void readSpectrum(float* destination) = 0;
  virtual void stop() = 0;
};

// Installs the clock musicStart will use; the default is the audio stream.
void useMusicClock(std::unique_ptr<MusicClock> clock);

// Starts the installed clock on the script's music; failures are fatal
// under module "FMOD". Sets endTime to the music's length when it is 0.
void musicStart(bool enabled);
std::int32_t musicTime();
void readSpectrum(float* destination);
void enableSpectrum();
void musicStop();

// The sound library's error texts, by code; "Unknown error" for any other.
const char* fmodErrorText(std::int32_t code);
