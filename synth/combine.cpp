// Layer combinations (opcodes 10-17). addLayers and mulLayers run as
// vectorised element loops; the others depend on the two source bytes alone
// and are tabled once per call (256 × 256 bytes, built with the exact
// per-value arithmetic), so their pixel loop is a lookup. The sources are
// read before the destination is written.
#include <algorithm>
#include <cstring>
#include <vector>

#include "synth/detail.h"
#include "synth/operations.h"

namespace synth {

using namespace detail;

namespace {

template <typename F>
void combineByTable(Synth& s, int a, int b, int destination, F f) {
  static thread_local std::vector<std::uint8_t> table(65536);
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 256; ++y) table[std::size_t(x) * 256 + std::size_t(y)] = f(x, y);
  const std::uint8_t* pa = s.layer(a);
  const std::uint8_t* pb = s.layer(b);
  std::uint8_t* d = s.layer(destination);
  const std::uint8_t* t = table.data();
  const std::size_t n = s.layerBytes();
  for (std::size_t i = 0; i < n; ++i) d[i] = t[std::size_t(pa[i]) << 8 | pb[i]];
}

}  // namespace

namespace {

// Runs kernel(a, b, d, n) over a whole layer. The kernels are element-wise,
// so an operand that is also the destination is safe, but the compiler only
// vectorises the loop when it may assume no overlap: such calls go through
// a small local buffer.
template <typename Kernel>
void elementwise(Synth& s, int a, int b, int destination, Kernel kernel) {
  const std::uint8_t* pa = s.layer(a);
  const std::uint8_t* pb = s.layer(b);
  std::uint8_t* d = s.layer(destination);
  const std::size_t n = s.layerBytes();
  if (d != pa && d != pb) {
    kernel(pa, pb, d, n);
    return;
  }
  constexpr std::size_t kChunk = 4096;
  std::uint8_t out[kChunk];
  for (std::size_t i = 0; i < n; i += kChunk) {
    const std::size_t m = std::min(kChunk, n - i);
    kernel(pa + i, pb + i, out, m);
    std::memcpy(d + i, out, m);
  }
}

inline std::uint8_t clampSingle(float v) {
  return v >= 255.0f ? std::uint8_t(255) : v > 0.0f ? static_cast<std::uint8_t>(static_cast<int>(v)) : std::uint8_t(0);
}

}  // namespace

// The weighted loops are cloned for AVX2 where the processor has it (chosen
// at load time); both clones do the same IEEE operations, so the bytes
// are the same.
namespace {

SYNTH_CLONES void addKernel(const std::uint8_t* __restrict x, const std::uint8_t* __restrict y,
                            std::uint8_t* __restrict d, std::size_t n, double da, double db) {
  for (std::size_t i = 0; i < n; ++i) d[i] = clampSingle(static_cast<float>(x[i] * da + y[i] * db));
}

SYNTH_CLONES void mulKernel(const std::uint8_t* __restrict x, const std::uint8_t* __restrict y,
                            std::uint8_t* __restrict d, std::size_t n, double f) {
  for (std::size_t i = 0; i < n; ++i) d[i] = clampSingle(static_cast<float>(f * (x[i] * y[i])));
}

}  // namespace

void addLayers(Synth& s, int a, int b, int destination, float wa, float wb) {
  const double da = wa, db = wb;
  elementwise(s, a, b, destination,
              [da, db](const std::uint8_t* x, const std::uint8_t* y, std::uint8_t* d, std::size_t n) {
                addKernel(x, y, d, n, da, db);
              });
}

void mulLayers(Synth& s, int a, int b, int destination, float wa, float wb) {
  const double f = static_cast<float>(static_cast<double>(wa) * wb * 0.00392156862745);
  elementwise(s, a, b, destination,
              [f](const std::uint8_t* x, const std::uint8_t* y, std::uint8_t* d, std::size_t n) {
                mulKernel(x, y, d, n, f);
              });
}

void minCombineLayers(Synth& s, int a, int b, int destination, float wa, float wb) {
  const double da = wa, db = wb;
  combineByTable(s, a, b, destination, [&](int x, int y) {
    return static_cast<std::uint8_t>(x * da < y * db ? x : y);
  });
}

void maxCombineLayers(Synth& s, int a, int b, int destination, float wa, float wb) {
  const double da = wa, db = wb;
  combineByTable(s, a, b, destination, [&](int x, int y) {
    return static_cast<std::uint8_t>(x * da > y * db ? x : y);
  });
}

void xorLayers(Synth& s, int a, int b, int destination, float wa, float wb) {
  const double da = wa, db = wb;
  combineByTable(s, a, b, destination, [&](int x, int y) {
    return static_cast<std::uint8_t>(truncLow8(x * da) ^ truncLow8(y * db));
  });
}

void orLayers(Synth& s, int a, int b, int destination, float wa, float wb) {
  const double da = wa, db = wb;
  combineByTable(s, a, b, destination, [&](int x, int y) {
    return static_cast<std::uint8_t>(truncLow8(x * da) | truncLow8(y * db));
  });
}

void andLayers(Synth& s, int a, int b, int destination, float wa, float wb) {
  const double da = wa, db = wb;
  combineByTable(s, a, b, destination, [&](int x, int y) {
    return static_cast<std::uint8_t>(truncLow8(x * da) & truncLow8(y * db));
  });
}

void randCombineLayers(Synth& s, int a, int b, int destination, float wa, float wb) {
  const std::int64_t w = s.layerWidth(), h = s.layerHeight();
  const std::uint32_t mw = std::uint32_t(w - 1), mh = std::uint32_t(h - 1);
  std::uint8_t* scratch = s.layer(kScratchLayer);
  const std::uint8_t* pa = s.layer(a);
  const std::uint8_t* pb = s.layer(b);
  std::memset(scratch, 127, s.layerBytes());
  s.setRandSeed(45390954u);
  const double pixels = static_cast<double>(w * h);
  // Weights are bounded by validation, so the counts fit easily.
  const auto na = static_cast<std::int64_t>(roundHalfEven(static_cast<float>(1.5 * wa) * pixels));
  const auto nb = static_cast<std::int64_t>(roundHalfEven(static_cast<float>(1.5 * wb) * pixels));
  auto copy = [&](const std::uint8_t* from, std::uint32_t x, std::uint32_t y) {
    const std::size_t o = (std::size_t(y) * std::size_t(w) + x) * 3;
    scratch[o] = from[o];
    scratch[o + 1] = from[o + 1];
    scratch[o + 2] = from[o + 2];
  };
  std::int64_t ca = 0, cb = 0;
  while (ca < na || cb < nb) {
    if (ca < na) {
      std::uint32_t x = (s.nextRandom() >> 1) & mw;
      std::uint32_t y = s.nextRandom() & mh;
      copy(pa, x, y);
      x = s.nextRandom() & mw;
      y = (s.nextRandom() >> 2) & mh;
      copy(pa, x, y);
      ++ca;
    }
    if (cb < nb) {
      std::uint32_t y = (s.nextRandom() >> 1) & mh;
      std::uint32_t x = s.nextRandom() & mw;
      copy(pb, x, y);
      y = s.nextRandom() & mh;
      x = (s.nextRandom() >> 2) & mw;
      copy(pb, x, y);
      ++cb;
    }
  }
  copyLayer(s, kScratchLayer, destination);
}

}  // namespace synth
