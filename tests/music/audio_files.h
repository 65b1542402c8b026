// Music files made by the tests: sine tones through libsndfile.
#pragma once

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace testaudio {

inline constexpr int rate = 44100;
// The centre frequency of spectrum band 100 at 44100 Hz.
inline constexpr double band100Hz = 100.0 * rate / 1024.0;

// Writes frames of a 16-bit sine (amplitude 0 … 1 of full scale, rounded to the nearest sample) in format
// (SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_OGG | SF_FORMAT_VORBIS, …).
inline bool writeTone(const std::string& path, int format, std::int64_t frames, int channels, double hz,
                      double amplitude = 32767.0 / 32768.0) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return false;
  std::vector<std::int16_t> samples(static_cast<std::size_t>(frames * channels));
  for (std::int64_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      samples[static_cast<std::size_t>(i * channels + c)] = static_cast<std::int16_t>(std::clamp<long>(
          std::lround(amplitude * 32768.0 * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate)),
          -32768, 32767));
  const bool written = sf_writef_short(file, samples.data(), frames) == frames;
  return sf_close(file) == 0 && written;
}

// A file whose first bytes are prefix and whose rest is the file at path.
inline void writePacked(const std::string& packed, const std::string& prefix, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ofstream out(packed, std::ios::binary);
  out << prefix << in.rdbuf();
}

}  // namespace testaudio
