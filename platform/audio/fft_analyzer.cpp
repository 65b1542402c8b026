// 512-band spectrum: periodic Hann window, kissfft real FFT, scaled so that a
// full-scale sine at a band's centre gives 1 (see platform/sound.h).
#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/sound.h"

namespace sound {

struct SpectrumAnalyzer::State {
  kiss_fftr_cfg config = nullptr;
  std::vector<float> window = std::vector<float>(fftSize);
  std::vector<float> input = std::vector<float>(fftSize);
  std::vector<kiss_fft_cpx> output = std::vector<kiss_fft_cpx>(fftSize / 2 + 1);
};

SpectrumAnalyzer::SpectrumAnalyzer() : state_(std::make_unique<State>()) {
  state_->config = kiss_fftr_alloc(fftSize, 0, nullptr, nullptr);
  for (int i = 0; i < fftSize; ++i)
    state_->window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / fftSize));
}

SpectrumAnalyzer::~SpectrumAnalyzer() { kiss_fftr_free(state_->config); }

void SpectrumAnalyzer::analyze(const float* samples, float* bands) {
  // The Hann window sums to fftSize / 2, so a sine of amplitude a peaks at
  // a × fftSize / 4 in its bin.
  constexpr float scale = 4.0f / fftSize;
  for (int i = 0; i < fftSize; ++i) state_->input[i] = samples[i] * state_->window[i];
  kiss_fftr(state_->config, state_->input.data(), state_->output.data());
  for (int k = 0; k < spectrumBands; ++k) {
    const kiss_fft_cpx bin = state_->output[k];
    const float magnitude = std::sqrt(bin.r * bin.r + bin.i * bin.i) * scale;
    // NaN input stays out of the scenes: it compares false and becomes 0.
    bands[k] = magnitude > 0.0f ? std::min(magnitude, 1.0f) : 0.0f;
  }
}

}  // namespace sound
