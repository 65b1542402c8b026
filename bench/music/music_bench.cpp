// Per-frame cost of the music module, against an anchor measured in the same
// run: copying the 512 spectrum floats (what the frame loop's copy costs).
// Read the results as ratios to BM_AnchorCopySpectrum.
#include <benchmark/benchmark.h>

#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <cstring>
#include <numbers>
#include <vector>

#include "platform/sound.h"

namespace {

void BM_AnchorCopySpectrum(benchmark::State& state) {
  std::vector<float> from(sound::spectrumBands, 0.5f), to(sound::spectrumBands);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), sizeof(float) * to.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_AnchorCopySpectrum);

// Window + 1024-point FFT + 512 magnitudes: once per frame.
void BM_Spectrum(benchmark::State& state) {
  std::vector<float> samples(sound::fftSize), bands(sound::spectrumBands);
  for (int i = 0; i < sound::fftSize; ++i) samples[i] = std::sin(2.0f * std::numbers::pi_v<float> * 0.1f * i);
  sound::SpectrumAnalyzer analyzer;
  for (auto _ : state) {
    analyzer.analyze(samples.data(), bands.data());
    benchmark::DoNotOptimize(bands.data());
  }
}
BENCHMARK(BM_Spectrum);

// A second of decoded music, written to a temporary file once.
std::shared_ptr<const sound::Music> benchMusic() {
  static std::shared_ptr<const sound::Music> music = [] {
    const std::string path = (std::filesystem::temp_directory_path() / "voltra-music-bench.wav").string();
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    std::vector<std::int16_t> samples(44100 * 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
      samples[i] = static_cast<std::int16_t>(20000 * std::sin(0.05 * static_cast<double>(i / 2)));
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    sf_writef_short(file, samples.data(), 44100);
    sf_close(file);
    std::unique_ptr<sound::Music> loaded;
    sound::Music::load(path, 0, loaded);
    std::filesystem::remove(path);
    return std::shared_ptr<const sound::Music>(std::move(loaded));
  }();
  return music;
}

// readSpectrum's whole path: the window at a position, then the spectrum.
void BM_SpectrumAtPosition(benchmark::State& state) {
  auto music = benchMusic();
  std::vector<float> window(sound::fftSize), bands(sound::spectrumBands);
  sound::SpectrumAnalyzer analyzer;
  std::int64_t frame = 5000;
  for (auto _ : state) {
    music->windowEndingAt(frame, window.data());
    analyzer.analyze(window.data(), bands.data());
    benchmark::DoNotOptimize(bands.data());
    frame += 735;  // one frame at 60 fps
  }
}
BENCHMARK(BM_SpectrumAtPosition);

// The silent output's position: what musicTime costs once per frame.
void BM_SilentPosition(benchmark::State& state) {
  std::unique_ptr<sound::Player> player;
  sound::Player::open(sound::Output::silent, player);
  player->play(benchMusic());
  for (auto _ : state) benchmark::DoNotOptimize(player->positionMs());
}
BENCHMARK(BM_SilentPosition);

}  // namespace

BENCHMARK_MAIN();
