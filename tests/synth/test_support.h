// Small helpers shared by the synthesizer tests.
#pragma once

#include <cstdint>
#include <string>

#include "synth/operations.h"
#include "synth/synth.h"

namespace synth::test {

inline CommandParams params(std::initializer_list<float> values) {
  CommandParams p;
  int k = 0;
  for (float v : values) p.p[k++] = v;
  return p;
}

// FNV-1a over a layer's bytes.
inline std::uint64_t hashLayer(const Synth& s, int layer) {
  std::uint64_t h = 1469598103934665603ull;
  const std::uint8_t* p = s.layer(layer);
  for (std::size_t i = 0; i < s.layerBytes(); ++i) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

inline const std::uint8_t* pixel(const Synth& s, int layer, int x, int y) {
  return s.layer(layer) + (std::size_t(y) * std::size_t(s.layerWidth()) + std::size_t(x)) * 3;
}

inline void setPixel(Synth& s, int layer, int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  std::uint8_t* p = s.layer(layer) + (std::size_t(y) * std::size_t(s.layerWidth()) + std::size_t(x)) * 3;
  p[0] = r;
  p[1] = g;
  p[2] = b;
}

inline void fillGrey(Synth& s, int layer, std::uint8_t v) { colorLayer(s, layer, v, v, v); }

// A varied, reproducible picture: colour noise with structure.
inline void fillPattern(Synth& s, int layer, int seed = 7) {
  subPlasma(s, layer, 8, seed, 256, true);
  for (std::size_t i = 0; i < s.layerBytes(); i += 7) s.layer(layer)[i] ^= std::uint8_t(i * 31);
}

inline bool layersEqual(const Synth& a, int la, const Synth& b, int lb) {
  return a.layerBytes() == b.layerBytes() &&
         std::equal(a.layer(la), a.layer(la) + a.layerBytes(), b.layer(lb));
}

}  // namespace synth::test
