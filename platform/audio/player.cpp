// Looping playback on SDL2 audio, or on a silent output that is only a clock.
//
// The device's queue: after a callback the frames it produced wait in SDL's
// buffer while the device plays the previous ones. The dummy and disk drivers
// consume a buffer per callback and then wait one buffer's time, so what a
// callback handed out is heard over the following buffer period (queue = one
// buffer). Real drivers keep a second period in the hardware (queue = two).
#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "platform/sound.h"

namespace sound {

std::int64_t monotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

namespace {
constexpr double nsPerSecond = 1e9;
// The smoothed position follows each callback's figure over this time...
constexpr double followSeconds = 0.05;
// ...at most this much faster or slower than the music's rate...
constexpr double maxCorrection = 0.05;
// ...and jumps forward when it lags by more than this (start, device stall).
constexpr double snapSeconds = 0.1;
constexpr int deviceBufferFrames = 1024;
}  // namespace

Player::~Player() { close(); }

int Player::open(Output output, std::unique_ptr<Player>& out) {
  out.reset();
  auto player = std::unique_ptr<Player>(new Player(output));
  if (output == Output::device && SDL_WasInit(SDL_INIT_AUDIO) == 0) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return initFailed;
    player->ownsAudioSubsystem_ = true;
  }
  out = std::move(player);
  return ok;
}

int Player::play(std::shared_ptr<const Music> music) {
  if (!music || music_ || music->frames() <= 0) return invalidParameter;
  if (output_ == Output::device) {
    SDL_AudioSpec want{};
    want.freq = music->rate();
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(music->channels());
    want.samples = deviceBufferFrames;
    want.callback = [](void* self, Uint8* stream, int length) { fill(self, stream, length); };
    want.userdata = this;
    SDL_AudioSpec have{};
    music_ = music;  // the callback may run as soon as the device is unpaused
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
      music_.reset();
      return initFailed;
    }
    device_ = device;
    const char* driver = SDL_GetCurrentAudioDriver();
    const bool bufferOnly = driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "disk") == 0);
    queueFrames_ = have.samples * (bufferOnly ? 1 : 2);
    startNs_ = monotonicNs();
    SDL_PauseAudioDevice(device_, 0);
  } else {
    music_ = music;
    startNs_ = monotonicNs();
  }
  return ok;
}

void Player::fill(void* self, std::uint8_t* stream, int length) {
  auto* player = static_cast<Player*>(self);
  const Music& music = *player->music_;
  // The device asks for the frames now: that is the moment the position is
  // anchored to, not the end of a read that may wait for the decoder.
  const std::int64_t askedNs = monotonicNs();
  const std::int64_t frames = length / (2 * music.channels());
  music.read(player->cursor_, frames, reinterpret_cast<std::int16_t*>(stream));
  player->cursor_ += frames;
  player->callbackNs_ = askedNs;
}

Player::Snapshot Player::snapshot() {
  SDL_LockAudioDevice(device_);
  const Snapshot taken{cursor_, callbackNs_};
  SDL_UnlockAudioDevice(device_);
  return taken;
}

std::int64_t Player::framesHandedOut() {
  if (output_ != Output::device || device_ == 0) return 0;
  return snapshot().handedOut;
}

std::int64_t Player::positionFrames() {
  if (!music_) return 0;
  const std::int64_t now = monotonicNs();
  const double rate = music_->rate();
  if (output_ == Output::silent || device_ == 0) {
    return baseFrame_ + static_cast<std::int64_t>(static_cast<double>(now - startNs_) * rate / nsPerSecond);
  }
  const Snapshot snap = snapshot();
  if (snap.callbackNs < 0) return static_cast<std::int64_t>(smoothed_);  // nothing heard yet
  const double handedOut = static_cast<double>(snap.handedOut);
  double raw = handedOut - queueFrames_ + static_cast<double>(now - snap.callbackNs) * rate / nsPerSecond;
  raw = std::min(raw, handedOut);

  double next;
  if (smoothedNs_ < 0) {
    next = raw;
  } else {
    const double dt = static_cast<double>(now - smoothedNs_) / nsPerSecond;
    const double predicted = smoothed_ + dt * rate;
    const double error = raw - predicted;
    if (error > snapSeconds * rate) {
      next = raw;
    } else {
      const double limit = maxCorrection * dt * rate;
      next = predicted + std::clamp(error * std::min(1.0, dt / followSeconds), -limit, limit);
    }
  }
  next = std::max(std::min(next, handedOut), smoothed_);
  smoothed_ = next;
  smoothedNs_ = now;
  return static_cast<std::int64_t>(smoothed_);
}

std::int32_t Player::positionMs() {
  if (!music_) return 0;
  const std::int64_t frame = positionFrames() % music_->frames();
  return static_cast<std::int32_t>(frame * 1000 / music_->rate());
}

void Player::seek(std::int64_t playFrame) {
  if (!music_ || playFrame < 0) return;
  const std::int64_t now = monotonicNs();
  if (output_ == Output::device && device_ != 0) {
    SDL_LockAudioDevice(device_);
    cursor_ = playFrame;
    callbackNs_ = -1;
    SDL_UnlockAudioDevice(device_);
  }
  baseFrame_ = playFrame;
  startNs_ = now;
  smoothed_ = static_cast<double>(playFrame);
  smoothedNs_ = now;
}

void Player::close() {
  if (device_ != 0) {
    SDL_CloseAudioDevice(device_);  // waits for the callback to finish
    device_ = 0;
  }
  if (ownsAudioSubsystem_) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    ownsAudioSubsystem_ = false;
  }
  music_.reset();
}

}  // namespace sound
