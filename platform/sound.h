// The sound layer: what the show needs from a sound library, on SDL2 audio and
// libsndfile (WAV, FLAC, Ogg Vorbis, MP3 and whatever else libsndfile reads).
//
//   Music           a music file as 16-bit samples (1 or 2 channels): decoded
//                   whole into memory, or streamed (decoded on a thread of its
//                   own a few seconds around where it is read)
//   Player          one looping playback of a Music, audible or silent, with a
//                   millisecond position that users can trust (see Player)
//   SpectrumAnalyzer  512 bands from a windowed 1024-point FFT
//
// Failures are reported as the error codes below (the numbering of the
// show's sound error texts); nothing here logs or ends the process.
//
// Threads: every call is made from one thread (the show's main thread). An
// audible Player also runs SDL's audio thread, which only reads the Music and
// writes the Player's own hand-out counters under SDL's device lock. A
// streamed Music's reads are safe from both; its decoder thread is its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sound {

enum Error : int {
  ok = 0,
  notInitialised = 2,
  initFailed = 3,        // output device could not be opened
  playFailed = 5,
  fileNotFound = 9,
  unknownFormat = 10,    // not a format the decoder knows, or malformed
  fileLoadError = 11,    // the file exists but cannot be read to the end, or holds no samples
  outOfMemory = 12,
  invalidParameter = 14,
};

inline constexpr int fftSize = 1024;
inline constexpr int spectrumBands = 512;

// Music as 16-bit samples. Its content never changes once made: a streamed
// Music gives, frame for frame, what the whole decode of the same file gives.
class Music {
 public:
  // Frames a streamed Music keeps decoded (about 6 s at 44.1 kHz, 1 MB in
  // stereo): a quarter behind the latest read, the rest ahead of it.
  static constexpr std::int64_t defaultStreamFrames = std::int64_t{1} << 18;

  ~Music();

  // Decodes the music whose data begins byteOffset bytes into the file at
  // path (a music file packed inside a larger one; 0 for a plain file).
  // Returns ok and sets out, or an Error: fileNotFound when the path does not
  // exist, fileLoadError when it cannot be opened or read, invalidParameter
  // for a negative offset, unknownFormat when the bytes from the offset on are
  // not a readable music format, fileLoadError for music without samples,
  // outOfMemory above 2^31 samples. A stream whose length the decoder cannot
  // tell (an Ogg file cut short) is decoded as far as it goes.
  static int load(const std::string& path, std::int64_t byteOffset, std::unique_ptr<Music>& out);

  // The same music streamed: reads the header, then decodes on a thread of
  // its own as the music is read, keeping streamFrames frames. Music whose
  // length the header does not tell, or not longer than streamFrames, is
  // decoded whole as load does. The same errors as load. Reading back to
  // before what is kept decodes again from the start of the file; reading
  // ahead decodes on to there. Frames the decoder fails to deliver (a file
  // damaged after its header) are silence.
  static int open(const std::string& path, std::int64_t byteOffset, std::unique_ptr<Music>& out,
                  std::int64_t streamFrames = defaultStreamFrames);

  std::int64_t frames() const { return frames_; }  // > 0
  int rate() const { return rate_; }               // frames per second, > 0
  int channels() const { return channels_; }       // 1 or 2 (more are cut to the first two)
  bool streamed() const { return stream_ != nullptr; }
  // Length in whole milliseconds (frames × 1000 / rate, rounded down).
  std::int32_t lengthMs() const;
  // Interleaved samples, frames() × channels() values; null when streamed.
  const std::int16_t* samples() const { return stream_ ? nullptr : samples_.data(); }

  // count interleaved frames from playFrame on, counted in frames played
  // since the start of the loop's first pass: frames before 0 are silence,
  // later ones repeat the music (the stream loops). Waits for the decoder
  // when streamed.
  void read(std::int64_t playFrame, std::int64_t count, std::int16_t* destination) const;

  // The fftSize mono samples (mean of the channels, scaled to −1 … 1) that
  // end just before playFrame, counted as read counts. Pure: the same
  // playFrame gives the same window.
  void windowEndingAt(std::int64_t playFrame, float* destination) const;

 private:
  struct Stream;
  Music() = default;
  std::vector<std::int16_t> samples_;
  std::unique_ptr<Stream> stream_;
  std::int64_t frames_ = 0;
  int rate_ = 0;
  int channels_ = 0;
};

// The spectrum: periodic Hann window, 1024-point real FFT, band k = bin k
// (centre frequency k × rate / 1024) for k = 0 … 511, magnitude × 4 / 1024,
// clamped to 0 … 1. Calibration: a full-scale sine at a band's centre gives
// 1 in that band and 0.5 in its two neighbours; a sine of amplitude a gives a.
class SpectrumAnalyzer {
 public:
  SpectrumAnalyzer();
  ~SpectrumAnalyzer();
  SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
  SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

  // samples: fftSize values (not changed); bands: spectrumBands values.
  void analyze(const float* samples, float* bands);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

enum class Output { silent, device };

// One looping playback of a Music.
//
// Position: the frame being heard now, counted from the start of the first
// pass (it keeps growing across loop wraps; positionMs wraps it). With a
// device it is the frames handed to the device minus those still queued in
// it, as of the last audio callback, carried forward between callbacks with
// the monotonic clock at the music's rate and pulled towards each new
// callback's figure at no more than ±5 % of the rate (a lag above 100 ms, as
// after a device stall, is caught up at once). So it advances every
// millisecond, never decreases (until seek), never runs past what was handed
// out, never runs more than 5 % faster than the music, and follows a device
// that consumes slightly faster or slower than the wall clock. Silent output
// opens no device: the position is the monotonic clock since play times the
// rate.
class Player {
 public:
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Prepares an output. device: initialises SDL audio (initFailed when that
  // fails); silent: always ok.
  static int open(Output output, std::unique_ptr<Player>& out);

  // Starts music from its first frame, looping. device: opens the default
  // device at the music's rate and channel count (initFailed when it cannot
  // be opened). invalidParameter when music is null or play was called before.
  int play(std::shared_ptr<const Music> music);

  Output output() const { return output_; }
  // Frames being heard (see above); 0 before play.
  std::int64_t positionFrames();
  // positionFrames wrapped into the music and converted to whole milliseconds.
  std::int32_t positionMs();
  // Continues playback from playFrame (the position then restarts there;
  // the only way it moves backwards). Ignored before play or for a negative frame.
  void seek(std::int64_t playFrame);
  // Frames handed to the device so far (device output), for measurements.
  std::int64_t framesHandedOut();
  // Frames the device holds between being handed out and being heard.
  int deviceQueueFrames() const { return queueFrames_; }
  // Stops playback and releases the device. Safe to call twice.
  void close();

 private:
  explicit Player(Output output) : output_(output) {}
  static void fill(void* self, std::uint8_t* stream, int length);
  struct Snapshot {
    std::int64_t handedOut;
    std::int64_t callbackNs;
  };
  Snapshot snapshot();

  Output output_;
  std::shared_ptr<const Music> music_;
  std::uint32_t device_ = 0;
  bool ownsAudioSubsystem_ = false;
  int queueFrames_ = 0;
  // Written by the audio thread under the device lock.
  std::int64_t cursor_ = 0;       // next frame to hand out
  std::int64_t callbackNs_ = -1;  // monotonic time of the last callback
  // Main thread only.
  std::int64_t startNs_ = 0;
  std::int64_t baseFrame_ = 0;  // silent output: the frame at startNs_
  double smoothed_ = 0;         // frames
  std::int64_t smoothedNs_ = -1;
};

// Monotonic clock in nanoseconds (the one Player uses).
std::int64_t monotonicNs();

}  // namespace sound
