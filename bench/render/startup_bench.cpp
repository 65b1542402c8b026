// Start-up cost with a full texture set of show-like sizes (128 … 512 px),
// split into decoding the 55 files and uploading them (create's upload, the
// alpha operations and the second upload of 4-component textures), and the
// whole start-up from the first progress frame to the pipeline's creation.
// Anchor: copying the decoded pixels of the whole set once (memcpy), so the
// figures can be read as ratios independent of the machine.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "codec/wavelet.h"
#include "engine/loading.h"
#include "engine/window.h"
#include "tests/render/render_test_support.h"

namespace {

std::vector<orbTexture>& decodedSet() {
  static std::vector<orbTexture> set = [] {
    std::vector<orbTexture> made(textureSlotCount);
    for (int slot = 0; slot < textureSlotCount; ++slot) {
      orbTexture& t = made[slot];
      codec::loadWaveletImage(t.image.pixels, t.header, textureTable[slot].fileName, true);
      t.image.width = t.header.width;
      t.image.height = t.header.height;
      t.image.components = textureTable[slot].components;
      t.mipmapped = textureTable[slot].mipmapped;
    }
    return made;
  }();
  return set;
}

std::size_t setBytes() {
  std::size_t bytes = 0;
  for (const orbTexture& t : decodedSet()) bytes += t.image.pixels.size();
  return bytes;
}

void BM_Anchor_CopyDecodedPixels(benchmark::State& state) {
  std::vector<std::uint8_t> target(setBytes());
  for (auto _ : state) {
    std::size_t at = 0;
    for (const orbTexture& t : decodedSet()) {
      std::memcpy(target.data() + at, t.image.pixels.data(), t.image.pixels.size());
      at += t.image.pixels.size();
    }
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setBytes()));
}

void BM_DecodeTextureSet(benchmark::State& state) {
  std::vector<std::uint8_t> pixels;
  codec::ImageHeader header{};
  for (auto _ : state) {
    for (int slot = 0; slot < textureSlotCount; ++slot) {
      codec::loadWaveletImage(pixels, header, textureTable[slot].fileName, true);
      benchmark::DoNotOptimize(pixels.data());
    }
  }
}

void BM_UploadTextureSet(benchmark::State& state) {
  std::vector<orbTexture>& set = decodedSet();
  for (auto _ : state) {
    for (int slot = 0; slot < textureSlotCount; ++slot) {
      orbTexture& t = set[slot];
      t.upload();  // what create uploads
      if (t.image.components == 4) {
        fillAlpha(t.image, 255);
        const int source = textureTable[slot].alphaSource;
        copyAlpha(t.image, set[source].image);
        t.upload();
      }
    }
    glFinish();
  }
}

void BM_StartUpFirstFrameToPipeline(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    if (textures[tex::loading].glName != 0) disposeSharedObjects();
    loadingScreenInit();
    glFinish();
    state.ResumeTiming();
    createSharedObjects();
    loadingProgress(1.0);
    createPipelineAndOverlay();
    glFinish();
  }
}

}  // namespace

BENCHMARK(BM_Anchor_CopyDecodedPixels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTextureSet)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_UploadTextureSet)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StartUpFirstFrameToPipeline)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string directory = rendertest::scratchDirectory();
  if (chdir(directory.c_str()) != 0) return 1;
  rendertest::writeTextureSet(".", 1);
  setWindowBackend(platform::headlessBackend());
  orbCreateWindow("render bench", 800, 600, 32, false);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
  return 0;
}
