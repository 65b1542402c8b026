#include "engine/music.h"

#include <cfenv>
#include <cstdio>
#include <cstring>

#include "engine/log.h"
#include "engine/state.h"
#include "engine/virtual_clock.h"
#include "platform/sound.h"

std::optional<std::string> musicFileName;
std::int32_t musicFileOffset = 0;
std::int32_t endTime = 0;
bool musicEnabled = true;

namespace {

// The frame a music position in milliseconds falls on (negative positions: 0).
std::int64_t frameAtMs(std::int32_t ms, const sound::Music& music) {
  return static_cast<std::int64_t>(ms < 0 ? 0 : ms) * music.rate() / 1000;
}

// The spectrum of what is heard at playFrame; all 0 without music.
void spectrumAtFrame(const sound::Music* music, std::int64_t playFrame, sound::SpectrumAnalyzer& analyzer,
                     float* destination) {
  if (!music) {
    std::memset(destination, 0, sizeof(float) * sound::spectrumBands);
    return;
  }
  float window[sound::fftSize];
  music->windowEndingAt(playFrame, window);
  analyzer.analyze(window, destination);
}

std::int32_t wrappedMs(std::int64_t frame, const sound::Music& music) {
  return static_cast<std::int32_t>((frame % music.frames()) * 1000 / music.rate());
}

// The show's own clock: the music on an audio device or the silent output.
class AudioStreamClock final : public MusicClock {
 public:
  int start(const std::string& fileName, std::int32_t offset, bool audible) override {
    std::unique_ptr<sound::Music> loaded;
    if (const int code = sound::Music::open(fileName, offset, loaded); code != sound::ok) return code;
    music_ = std::move(loaded);
    // A device that cannot be opened is an error, not a silent show: the user
    // asked for music (the settings' Music switch selects the silent output).
    return startOn(audible ? sound::Output::device : sound::Output::silent);
  }

  std::int32_t lengthMs() const override { return music_ ? music_->lengthMs() : 0; }

  std::int32_t timeMs() override {
    if (!player_) {
      // No music was started: a silent real-time clock from the first call.
      if (silentStartNs_ < 0) silentStartNs_ = sound::monotonicNs();
      return static_cast<std::int32_t>((sound::monotonicNs() - silentStartNs_) / 1000000);
    }
    frame_ = player_->positionFrames();
    return wrappedMs(frame_, *music_);
  }

  void readSpectrum(float* destination) override {
    spectrumAtFrame(music_.get(), frame_, analyzer_, destination);
  }

  void readSpectrumAt(std::int32_t ms, float* destination) override {
    spectrumAtFrame(music_.get(), music_ ? frameAtMs(ms, *music_) : 0, analyzer_, destination);
  }

  void seek(std::int32_t ms) override {
    if (player_ && music_) player_->seek(frameAtMs(ms, *music_));
  }

  void stop() override {
    if (player_) player_->close();
    player_.reset();
    music_.reset();
  }

 private:
  int startOn(sound::Output output) {
    player_.reset();
    std::unique_ptr<sound::Player> player;
    if (const int code = sound::Player::open(output, player); code != sound::ok) return code;
    if (const int code = player->play(music_); code != sound::ok) return code;
    player_ = std::move(player);
    return sound::ok;
  }

  std::shared_ptr<sound::Music> music_;
  std::unique_ptr<sound::Player> player_;
  sound::SpectrumAnalyzer analyzer_;
  std::int64_t frame_ = 0;
  std::int64_t silentStartNs_ = -1;
};

std::unique_ptr<MusicClock> clock_;
bool spectrumEnabled = false;

MusicClock& activeClock() {
  if (!clock_) clock_ = std::make_unique<AudioStreamClock>();
  return *clock_;
}

}  // namespace

void useMusicClock(std::unique_ptr<MusicClock> clock) { clock_ = std::move(clock); }

void musicStart(bool enabled) {
  const int code = activeClock().start(musicFileName.value_or(""), musicFileOffset, enabled);
  if (code != 0)
    fatalError("FMOD", fmodErrorText(code), enabled && code == sound::initFailed ? noSoundDeviceRemedy : nullptr);
  if (endTime == 0) endTime = activeClock().lengthMs();
}

std::int32_t musicTime() { return activeClock().timeMs(); }

void musicSeek(std::int32_t ms) { activeClock().seek(ms); }

void readSpectrum(float* destination) {
  if (!spectrumEnabled) {
    std::memset(destination, 0, sizeof(float) * spectrumSize);
    return;
  }
  activeClock().readSpectrum(destination);
}

void readSpectrumAt(std::int32_t ms, float* destination) {
  if (!spectrumEnabled) {
    std::memset(destination, 0, sizeof(float) * spectrumSize);
    return;
  }
  activeClock().readSpectrumAt(ms, destination);
}

void enableSpectrum() { spectrumEnabled = true; }

void musicStop() { activeClock().stop(); }

const char* fmodErrorText(std::int32_t code) {
  static constexpr const char* texts[] = {
      "No errors",
      "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first",
      "This command failed because FSOUND_Init was not called",
      "Error initializing output device",
      "The output device is already in use and cannot be reused",
      "Playing the sound failed",
      "Soundcard does not support the features needed for this soundsystem (16bit stereo output)",
      "Error setting cooperative level for hardware",
      "Error creating hardware sound buffer",
      "File not found",
      "Unknown file format",
      "Error loading file",
      "Not enough memory or resources",
      "The version number of this file format is not supported",
      "An invalid parameter was passed to this function",
      "Tried to use an EAX command on a non EAX enabled channel or output",
      "Failed to allocate a new channel",
      "Recording is not supported on this machine",
      "Required Mediaplayer codec is not installed",
  };
  if (code < 0 || code >= static_cast<std::int32_t>(std::size(texts))) return "Unknown error";
  return texts[code];
}

bool floatingPointExceptionsMasked() { return fegetexcept() == 0; }

void checkFloatingPointEnvironment() {
  fedisableexcept(FE_ALL_EXCEPT);
  if (!floatingPointExceptionsMasked()) fatalError("FMOD", "Floating point exceptions could not be masked");
}

void resetMusicForTesting() {
  if (clock_) clock_->stop();
  clock_.reset();
  spectrumEnabled = false;
  musicFileName.reset();
  musicFileOffset = 0;
  endTime = 0;
  musicEnabled = true;
}

// The virtual clock of the headless runner.

VirtualClock::VirtualClock(bool audible) : audible_(audible), analyzer_(std::make_unique<sound::SpectrumAnalyzer>()) {}

VirtualClock::~VirtualClock() { stop(); }

int VirtualClock::start(const std::string& fileName, std::int32_t offset, bool audible) {
  std::unique_ptr<sound::Music> loaded;
  if (const int code = sound::Music::open(fileName, offset, loaded); code != sound::ok) return code;
  music_ = std::move(loaded);
  length_ = music_->lengthMs();
  if (audible_ || audible) {
    std::unique_ptr<sound::Player> player;
    if (sound::Player::open(sound::Output::device, player) == sound::ok && player->play(music_) == sound::ok) {
      player_ = std::move(player);
      player_->seek(frameAtMs(time_, *music_));
    } else {
      std::fprintf(stderr, "voltra: no audio device, rendering without sound\n");
    }
  }
  return sound::ok;
}

void VirtualClock::setTime(std::int32_t ms) {
  time_ = ms < 0 ? 0 : ms;
  if (!player_) return;
  const std::int64_t target = frameAtMs(time_, *music_);
  const std::int64_t heard = player_->positionFrames();
  const std::int64_t drift = (heard > target ? heard - target : target - heard) * 1000 / music_->rate();
  if (drift > resyncMs) player_->seek(target);
}

std::int32_t VirtualClock::timeMs() {
  if (!music_) return time_;
  // Exact in frames: the position of frame time × rate / 1000 within the loop.
  const std::int64_t scaled = static_cast<std::int64_t>(time_) * music_->rate();
  return static_cast<std::int32_t>(scaled % (music_->frames() * 1000) / music_->rate());
}

std::int32_t VirtualClock::playbackMs() { return player_ ? player_->positionMs() : -1; }

void VirtualClock::readSpectrum(float* destination) { readSpectrumAt(time_, destination); }

void VirtualClock::readSpectrumAt(std::int32_t ms, float* destination) {
  spectrumAtFrame(music_.get(), music_ ? frameAtMs(ms, *music_) : 0, *analyzer_, destination);
}

void VirtualClock::stop() {
  if (player_) player_->close();
  player_.reset();
}
