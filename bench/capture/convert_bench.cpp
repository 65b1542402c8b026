// Per-frame cost of the 4:2:0 conversion of an 800 x 600 read-back frame,
// against an anchor measured in the same run: copying that frame once.
// Read the results as ratios to BM_AnchorCopyFrame.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "app/video_out.h"

namespace {

constexpr int width = 800, height = 600;

std::vector<unsigned char> frame() {
  std::vector<unsigned char> rgba(std::size_t{width} * height * 4);
  for (std::size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
  return rgba;
}

void BM_AnchorCopyFrame(benchmark::State& state) {
  const std::vector<unsigned char> from = frame();
  std::vector<unsigned char> to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_AnchorCopyFrame);

void BM_RgbaToYuv420(benchmark::State& state) {
  const std::vector<unsigned char> rgba = frame();
  std::vector<unsigned char> yuv(std::size_t{width} * height * 3 / 2);
  for (auto _ : state) {
    rgbaToYuv420(rgba.data(), width, height, yuv.data());
    benchmark::DoNotOptimize(yuv.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RgbaToYuv420);

}  // namespace

BENCHMARK_MAIN();
