// Shared inner routines of the synthesizer operations (not a public header).
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "synth/synth.h"

// Hot loops built twice, for AVX2 and plain x86-64, and chosen when the
// program loads; both give the same bytes (no contraction, same operations).
#if defined(__x86_64__) && defined(__GNUC__)
#define SYNTH_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define SYNTH_CLONES
#endif

namespace synth::detail {

// A real as a byte, saturating: 255 if v >= 255, 0 if v <= 0 or NaN, else
// truncated.
inline std::uint8_t clampByte(double v) {
  return v >= 255.0 ? std::uint8_t(255) : v > 0.0 ? static_cast<std::uint8_t>(static_cast<int>(v)) : std::uint8_t(0);
}

// The low 8 bits of a real truncated toward zero (two's complement for
// negative values; NaN and infinities give 0).
inline std::uint8_t truncLow8(double v) {
  if (std::fabs(v) < 2147483648.0) return static_cast<std::uint8_t>(static_cast<std::int32_t>(v));
  if (!std::isfinite(v)) return 0;
  double m = std::fmod(std::trunc(v), 256.0);  // exact
  if (m < 0) m += 256.0;
  return static_cast<std::uint8_t>(static_cast<int>(m));
}

// Nearest integer, halves to even, whatever the FPU rounding mode.
inline double roundHalfEven(double v) {
  const double f = std::floor(v);
  const double d = v - f;
  if (d > 0.5) return f + 1.0;
  if (d < 0.5) return f;
  return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

// fastSqrt's bit-pattern root, inline so that row loops vectorise.
inline float fastSqrtInline(float x) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
  // 32-bit wrap-around arithmetic, arithmetic shift of the signed difference.
  const auto d = static_cast<std::int32_t>(bits - 0x3F800000u);
  return std::bit_cast<float>(static_cast<std::uint32_t>(d >> 1) + 0x3F800000u);
}

// ----- Certified fast trigonometry ------------------------------------------
// The operations round trigonometric results to single precision (or use
// them in a sum that is rounded to single). A polynomial evaluates sin and
// cos to within 4e-16 of the true value; the C library's result lies within
// one ulp (glibc's documented bound) of it. When every value within 1e-15 of
// the polynomial's result rounds to the same single, the library's result
// rounds there too, so that single is returned; otherwise (about one case in
// ten million) the library is called. The bytes are therefore those of the
// library calls, at a fraction of their cost.

// The pieces of the polynomial sin and cos, shared by the scalar helpers
// below and the vectorised row kernels: r = t − k·π/2 with a three-part π/2
// (k rounded to nearest by the 1.5 · 2^52 trick, no library call on plain
// SSE2), then the fdlibm kernels of cos r and sin r (|r| <= π/4).
struct QuarterTurns {
  double k;  // the nearest whole number of quarter turns
  double r;  // what is left, in radians
};
inline QuarterTurns reduceQuarterTurns(double t) {
  constexpr double kMagic = 6755399441055744.0;
  const double k = (t * 0.63661977236758134308 + kMagic) - kMagic;
  const double r = ((t - k * 1.57079632673412561417e+00) - k * 6.07710050630396597660e-11) -
                   k * 2.02226624879595063154e-21;
  return {k, r};
}
// z = r · r.
inline double cosKernel(double z) {
  return 1.0 - 0.5 * z +
         z * z * (4.16666666666666019037e-02 + z * (-1.38888888888741095749e-03 + z * (2.48015872894767294178e-05 + z * (-2.75573143513906633035e-07 + z * (2.08757232129817482790e-09 + z * -1.13596475577881948265e-11)))));
}
inline double sinKernel(double r, double z) {
  return r + r * z * (-1.66666666666666324348e-01 + z * (8.33333333332248946124e-03 + z * (-1.98412698298579493134e-04 + z * (2.75573137070700676789e-06 + z * (-2.50507602534068634195e-08 + z * 1.58969099521155010221e-10)))));
}

// sin or cos of t (|t| <= 1e5) by the kernel the quadrant needs.
// quadrantShift 0 gives cos, 3 gives sin.
inline double polyTrig(double t, int quadrantShift) {
  const auto [k, r] = reduceQuarterTurns(t);
  const double z = r * r;
  // cos(r + qπ/2) for q = 0, 1, 2, 3: cos r, −sin r, −cos r, sin r.
  const int q = (static_cast<int>(static_cast<long long>(k) & 3) + quadrantShift) & 3;
  // Both kernels and a table pick: the quadrant varies from pixel to pixel,
  // so a branch would mispredict half the time.
  const double c = cosKernel(z);
  const double sn = sinKernel(r, z);
  const double pick[4] = {c, -sn, -c, sn};
  return pick[q];
}

inline bool certifiedSingle(double v, float& out) {
  const float lo = static_cast<float>(v - 1e-15), hi = static_cast<float>(v + 1e-15);
  if (lo != hi) return false;
  out = lo;
  return true;
}

// static_cast<float>(std::cos(t)) and the same for sin (any t).
inline float singleCos(double t) {
  float out;
  if (std::fabs(t) <= 1e5 && certifiedSingle(polyTrig(t, 0), out)) return out;
  return static_cast<float>(std::cos(t));
}
inline float singleSin(double t) {
  float out;
  if (std::fabs(t) <= 1e5 && certifiedSingle(polyTrig(t, 3), out)) return out;
  return static_cast<float>(std::sin(t));
}

// The cosine weight of a fraction: (1 − cos(f × π)) × 0.5 as a single.
inline float cosineWeight(float f) {
  if (f == 0.0f) return 0.0f;  // cos ±0 is exactly 1
  const double t = static_cast<double>(f) * static_cast<double>(kPi);
  float out;
  if (std::fabs(t) <= 1e5 && certifiedSingle((1.0 - polyTrig(t, 0)) * 0.5, out)) return out;
  return static_cast<float>((1.0 - std::cos(t)) * 0.5);
}

// The library version, for tests that check the fast one against it.
inline float cosineWeightReference(float f) {
  return static_cast<float>((1.0 - std::cos(static_cast<double>(f) * static_cast<double>(kPi))) * 0.5);
}

// The four single weights of a cosine blend from wx, wy.
struct BlendWeights {
  double w0, w1, w2, w3;
};

inline BlendWeights blendWeights(float wx, float wy) {
  const double ix = 1.0 - static_cast<double>(wx), iy = 1.0 - static_cast<double>(wy);
  return {static_cast<float>(ix * iy), static_cast<float>(static_cast<double>(wx) * iy),
          static_cast<float>(ix * static_cast<double>(wy)),
          static_cast<float>(static_cast<double>(wx) * static_cast<double>(wy))};
}

inline std::uint8_t blendByte(double v) {
  if (v >= 0.0 && v < 256.0) return static_cast<std::uint8_t>(static_cast<int>(v));
  return v >= 256.0 ? std::uint8_t(255) : std::uint8_t(0);
}

// out[c] = truncated weighted sum of the four pixels' channel c.
inline void blendPixels(std::uint8_t* out, const BlendWeights& w, const std::uint8_t* tl,
                        const std::uint8_t* tr, const std::uint8_t* bl, const std::uint8_t* br) {
  for (int c = 0; c < 3; ++c)
    out[c] = blendByte(w.w0 * tl[c] + w.w1 * tr[c] + w.w2 * bl[c] + w.w3 * br[c]);
}

// Integer part (low bits are all that is used) and single fraction of a
// sampling coordinate: truncation toward zero.
struct Split {
  std::int64_t whole;
  float frac;
};

inline Split splitCoordinate(float x) {
  if (std::fabs(x) < 2147483648.0f) {
    const int i = static_cast<int>(x);
    return {i, static_cast<float>(static_cast<double>(x) - i)};
  }
  if (std::isfinite(x))  // integer-valued: keep the exact low bits
    return {static_cast<std::int64_t>(std::fmod(static_cast<double>(x), 4294967296.0)), 0.0f};
  return {0, 0.0f};
}

// Wrap-around cosine sample of layer l (w × h) at (x, y) into out.
inline void sampleInto(std::uint8_t* out, const std::uint8_t* l, int w, int h, float x, float y) {
  const Split sx = splitCoordinate(x), sy = splitCoordinate(y);
  const std::int64_t mw = w - 1, mh = h - 1;
  const std::int64_t x0 = sx.whole & mw, x1 = (sx.whole + 1) & mw;
  const std::int64_t y0 = sy.whole & mh, y1 = (sy.whole + 1) & mh;
  const BlendWeights wt = blendWeights(cosineWeight(sx.frac), cosineWeight(sy.frac));
  blendPixels(out, wt, l + (y0 * w + x0) * 3, l + (y0 * w + x1) * 3, l + (y1 * w + x0) * 3,
              l + (y1 * w + x1) * 3);
}

// ----- Row sampling ---------------------------------------------------------
// sampleInto for a whole row of coordinates: the cosine weights of all
// fractions are computed in one vectorisable pass (then certified as in
// cosineWeight), and the blends follow. Same bytes as sampleInto. layer must
// be a bank layer (it reads pixels as 4-byte words; the bank pads each
// layer by kLayerPadding bytes). out must not overlap layer.
void sampleRow(std::uint8_t* out, const std::uint8_t* layer, int w, int h, const float* xs,
               const float* ys, int count);

// c[i] = static_cast<float>(std::cos(a[i])), s[i] likewise for sin, for a
// row of arguments (certified polynomial as singleCos, vectorised).
void cosSinRow(const float* a, float* c, float* s, int count);

// tunnelDistort's table for one row: angle[i] = the single of
// atan(dy · inv[i]) and dist[i] = the single of |cos(angle[i]) · depth ·
// inv[i]|, all as the library computes them (dy >= 0, inv[i] > 0). A
// polynomial arctangent and cosine serve where their singles are certified,
// the library elsewhere.
void tunnelAngles(float dy, const float* inv, float depth, float* angle, float* dist, int count);

inline void copyLayer(Synth& s, int from, int to) {
  if (from != to) std::memcpy(s.layer(to), s.layer(from), s.layerBytes());
}

}  // namespace synth::detail
