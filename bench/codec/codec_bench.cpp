// Decoding and encoding a 512 x 512 colour picture: the wavelet codec
// (level count 5, 8-bit values, a threshold chosen for about 1.25 bits per
// pixel) against libpng and libjpeg-turbo (quality 90, 4:4:4) on the same
// picture in the same run, so the ratios hold on a busy machine. Read the
// results as ratios: BM_DecodeKpx / BM_DecodePng, BM_DecodeKpx / BM_DecodeJpegQ90.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "codec/detail/synthesis_kernels.h"
#include "codec/wavelet.h"
#include "jpeg_io.h"
#include "png_io.h"
#include "synthetic.h"
#include "test_support.h"

namespace {

constexpr int kSide = 512;
constexpr double kTargetBitsPerPixel = 1.25;

struct Fixture {
  kpx::Picture picture;
  codec::EncodeParams params{};
  std::vector<std::uint8_t> kpx, png, jpeg;

  Fixture() {
    picture = kpx::syntheticPicture(kpx::Scene::landscape, kSide, kSide, 1);
    params = {5, {8, 8, 8}, 0, false};
    // Bisect the threshold for the target rate.
    double lo = 0, hi = 64;
    for (int i = 0; i < 14; ++i) {
      params.threshold = 0.5 * (lo + hi);
      kpx = encode();
      (bitsPerPixel() > kTargetBitsPerPixel ? lo : hi) = params.threshold;
    }
    params.threshold = hi;
    kpx = encode();
    std::string reason;
    png = kpx::encodePng(picture, &reason);
    jpeg = codecbench::encodeJpeg(picture, 90, true);
    if (kpx.empty() || png.empty() || jpeg.empty()) {
      std::fprintf(stderr, "codec_bench: cannot prepare the pictures: %s\n", reason.c_str());
      std::exit(1);
    }
    std::fprintf(stderr,
                 "picture %dx%d: kpx %zu bytes (%.3f bits/pixel, threshold %.4g), png %zu, "
                 "jpeg q90 4:4:4 %zu\n",
                 kSide, kSide, kpx.size(), bitsPerPixel(), params.threshold, png.size(),
                 jpeg.size());
  }
  std::vector<std::uint8_t> encode() {
    std::string reason;
    return codec::encodeImage(picture.pixels.data(), kSide, kSide, params, &reason);
  }
  double bitsPerPixel() const { return 8.0 * double(kpx.size()) / (kSide * kSide); }
};

const Fixture& fixture() {
  static const Fixture f;
  return f;
}

void BM_DecodeKpx(benchmark::State& state) {
  const Fixture& f = fixture();
  std::vector<std::uint8_t> pixels;
  codec::ImageHeader header;
  for (auto _ : state) {
    const codec::LoadResult r = codec::decodeWaveletImage(f.kpx.data(), f.kpx.size(), pixels, header);
    benchmark::DoNotOptimize(r.status);
    benchmark::DoNotOptimize(pixels.data());
  }
}
BENCHMARK(BM_DecodeKpx)->Unit(benchmark::kMillisecond);

// The same with the baseline (SSE2) row kernels, as on a processor without AVX2.
void BM_DecodeKpxBaselineKernels(benchmark::State& state) {
  const Fixture& f = fixture();
  std::vector<std::uint8_t> pixels;
  codec::ImageHeader header;
  codec::detail::selectKernels(codec::detail::KernelSet::baseline);
  for (auto _ : state) {
    const codec::LoadResult r = codec::decodeWaveletImage(f.kpx.data(), f.kpx.size(), pixels, header);
    benchmark::DoNotOptimize(r.status);
    benchmark::DoNotOptimize(pixels.data());
  }
  codec::detail::selectKernels(codec::detail::KernelSet::automatic);
}
BENCHMARK(BM_DecodeKpxBaselineKernels)->Unit(benchmark::kMillisecond);

// The reference routines composed plainly (full-size planes, a pair of
// temporaries per synthesis step): what the fast path is measured against.
void BM_DecodeKpxReference(benchmark::State& state) {
  const Fixture& f = fixture();
  std::vector<std::uint8_t> pixels;
  for (auto _ : state) {
    benchmark::DoNotOptimize(codectest::referenceDecode(f.kpx, pixels).status);
    benchmark::DoNotOptimize(pixels.data());
  }
}
BENCHMARK(BM_DecodeKpxReference)->Unit(benchmark::kMillisecond);

void BM_DecodePng(benchmark::State& state) {
  const Fixture& f = fixture();
  kpx::Picture out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(kpx::decodePng(f.png.data(), f.png.size(), false, out, nullptr));
    benchmark::DoNotOptimize(out.pixels.data());
  }
}
BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond);

void BM_DecodeJpegQ90(benchmark::State& state) {
  const Fixture& f = fixture();
  kpx::Picture out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(codecbench::decodeJpeg(f.jpeg, out));
    benchmark::DoNotOptimize(out.pixels.data());
  }
}
BENCHMARK(BM_DecodeJpegQ90)->Unit(benchmark::kMillisecond);

void BM_EncodeKpx(benchmark::State& state) {
  const Fixture& f = fixture();
  std::string reason;
  for (auto _ : state) {
    auto bytes = codec::encodeImage(f.picture.pixels.data(), kSide, kSide, f.params, &reason);
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_EncodeKpx)->Unit(benchmark::kMillisecond);

void BM_EncodePng(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state) {
    auto bytes = kpx::encodePng(f.picture, nullptr);
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_EncodePng)->Unit(benchmark::kMillisecond);

void BM_EncodeJpegQ90(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state) {
    auto bytes = codecbench::encodeJpeg(f.picture, 90, true);
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_EncodeJpegQ90)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
