// Layer combinations (opcodes 10-17). Each per-channel result is a function
// of the two source bytes alone, so it is tabled once per call (256 × 256
// bytes, built with the exact per-value arithmetic) and the pixel loop is a
// lookup; the sources are read before the destination is written.
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

void addLayers(Synth& s, int a, int b, int destination, float wa, float wb) {
  const double da = wa, db = wb;
  combineByTable(s, a, b, destination, [&](int x, int y) {
    return clampByte(static_cast<float>(x * da + y * db));
  });
}

void mulLayers(Synth& s, int a, int b, int destination, float wa, float wb) {
  const float f = static_cast<float>(static_cast<double>(wa) * wb * 0.00392156862745);
  combineByTable(s, a, b, destination, [&](int x, int y) {
    return clampByte(static_cast<float>(static_cast<double>(f) * (x * y)));
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
