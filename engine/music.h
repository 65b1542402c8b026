// The music: the show's clock and the source of its spectrum.
//
// musicStart opens the file the script named and starts it through the
// installed MusicClock; every frame then reads musicTime and readSpectrum.
// Two clocks implement the same interface: the audio stream (real time,
// audible or silent output, platform/sound.h) and the virtual clock of the
// headless runner, whose time is set frame by frame (engine/virtual_clock.h).
//
// The audio stream:
//   - musicTime is the position of the sample being heard now, in
//     milliseconds, wrapping to 0 when the looping music starts again; it
//     advances every millisecond and never steps back except at that wrap.
//   - With musicEnabled false the stream runs on a silent output that opens
//     no device and advances in real time. With music on, a device that
//     cannot be opened is a start failure ("Error initializing output
//     device"); only the headless runner's audible option falls back to
//     silence, with a note on stderr.
//   - Without musicStart (a script with no @music line) musicTime is a silent
//     real-time clock that starts at 0 on its first call, and the spectrum
//     stays 0; the start-up sequence then ends the show with the longest
//     timeline.
//   - readSpectrum: 512 values 0 … 1 of the 1024 samples just heard, as
//     sound::SpectrumAnalyzer computes them (a full-scale sine at a band's
//     centre gives 1 in that band); all 0 until enableSpectrum.
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
  // 512 values in 0 … 1, low to high frequency, of the music at the position
  // timeMs last returned.
  virtual void readSpectrum(float* destination) = 0;
  // The same 512 values for the music at position ms (as readSpectrum gives
  // them after a frame that read ms), whatever is playing now.
  virtual void readSpectrumAt(std::int32_t ms, float* destination) = 0;
  virtual void stop() = 0;
  // Moves the music to ms (≥ 0) after a successful start: the next timeMs
  // reads ms, and an audible stream continues from there.
  virtual void seek(std::int32_t ms) = 0;
};

// Installs the clock musicStart will use; the default is the audio stream.
void useMusicClock(std::unique_ptr<MusicClock> clock);

// Starts the installed clock on the script's music; failures are fatal
// under module "FMOD" with fmodErrorText of the code. Sets endTime to the
// music's length when it is 0.
void musicStart(bool enabled);
std::int32_t musicTime();
// Moves the started music to ms (a start in the middle of the show).
void musicSeek(std::int32_t ms);
// destination: 512 floats.
void readSpectrum(float* destination);
// The spectrum a frame at music position ms reads (all 0 until enableSpectrum
// and without music): for catching up a start inside the show.
void readSpectrumAt(std::int32_t ms, float* destination);
void enableSpectrum();
void musicStop();

// The sound library's error texts, by code; "Unknown error" for any other.
const char* fmodErrorText(std::int32_t code);

// Masks every floating-point exception for the run (a division by zero gives
// an infinity, never a trap) and checks that the mask holds; fatal under
// "FMOD" when it cannot be set. Called at the very start of the program.
void checkFloatingPointEnvironment();
// True when no floating-point exception can trap on this thread.
bool floatingPointExceptionsMasked();

// For tests: back to the state of program start (default clock, spectrum
// off, settings cleared).
void resetMusicForTesting();
