// Shared state of the show: the start-up settings and the per-frame values the
// scenes read. One instance each, owned by the start-up sequence.
#pragma once

#include <array>
#include <cstdint>

struct StartupSettings {
  std::int32_t screenWidth = 800;
  std::int32_t screenHeight = 600;
  std::int32_t colorBits = 32;  // 32 or 16
  bool fullscreen = true;
  bool music = true;            // audible music
};

inline constexpr int spectrumSize = 512;

extern StartupSettings settings;

// Music position of the current frame in milliseconds.
extern std::int32_t currentTime;

// Spectrum of the current frame, index 0 the lowest band, each value 0 … 1.
extern std::array<float, spectrumSize> spectrum;
