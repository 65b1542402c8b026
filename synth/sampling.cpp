// Row sampling: cosine weights for a row of fractions in one pass.
#include <bit>
#include <cstdint>
#include <vector>

#include "synth/detail.h"

namespace synth::detail {

namespace {

#if defined(__x86_64__) && defined(__GNUC__)
#define SYNTH_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define SYNTH_CLONES
#endif

// w[i] = (1 − cos(f[i] · π)) · 0.5 by the polynomial of polyTrig (|f| <= 1),
// written without branches so that the loop vectorises.
SYNTH_CLONES void polyWeights(const float* __restrict f, double* __restrict w, int count) {
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(f[i]) * static_cast<double>(kPi);
    constexpr double kMagic = 6755399441055744.0;
    const double k = (t * 0.63661977236758134308 + kMagic) - kMagic;
    const double r = ((t - k * 1.57079632673412561417e+00) - k * 6.07710050630396597660e-11) -
                     k * 2.02226624879595063154e-21;
    const double z = r * r;
    const double c = 1.0 - 0.5 * z +
                     z * z * (4.16666666666666019037e-02 + z * (-1.38888888888741095749e-03 + z * (2.48015872894767294178e-05 + z * (-2.75573143513906633035e-07 + z * (2.08757232129817482790e-09 + z * -1.13596475577881948265e-11)))));
    const double sn = r + r * z * (-1.66666666666666324348e-01 + z * (8.33333333332248946124e-03 + z * (-1.98412698298579493134e-04 + z * (2.75573137070700676789e-06 + z * (-2.50507602534068634195e-08 + z * 1.58969099521155010221e-10)))));
    // Quadrant k mod 4 picks c, −s, −c, s (two's complement bits work for
    // negative k too).
    // Selected by bit masks: a branch or select keeps the loop scalar.
    const auto ki = static_cast<std::int64_t>(static_cast<int>(k));
    const std::uint64_t odd = std::uint64_t(0) - static_cast<std::uint64_t>(ki & 1);
    const std::uint64_t sign = static_cast<std::uint64_t>((ki + 1) & 2) << 62;
    const std::uint64_t bits = ((std::bit_cast<std::uint64_t>(sn) & odd) | (std::bit_cast<std::uint64_t>(c) & ~odd)) ^ sign;
    w[i] = (1.0 - std::bit_cast<double>(bits)) * 0.5;
  }
}

}  // namespace

void sampleRow(std::uint8_t* out, const std::uint8_t* layer, int w, int h, const float* xs,
               const float* ys, int count) {
  static thread_local std::vector<float> fx, fy;
  static thread_local std::vector<std::int64_t> ix, iy;
  static thread_local std::vector<double> wx, wy;
  const std::size_t n = static_cast<std::size_t>(count);
  if (fx.size() < n) {
    fx.resize(n);
    fy.resize(n);
    ix.resize(n);
    iy.resize(n);
    wx.resize(n);
    wy.resize(n);
  }
  for (std::size_t i = 0; i < n; ++i) {
    const Split sx = splitCoordinate(xs[i]), sy = splitCoordinate(ys[i]);
    ix[i] = sx.whole;
    fx[i] = sx.frac;
    iy[i] = sy.whole;
    fy[i] = sy.frac;
  }
  polyWeights(fx.data(), wx.data(), count);
  polyWeights(fy.data(), wy.data(), count);
  const std::int64_t mw = w - 1, mh = h - 1;
  for (std::size_t i = 0; i < n; ++i) {
    float ax, ay;
    if (!certifiedSingle(wx[i], ax)) ax = cosineWeightReference(fx[i]);
    if (!certifiedSingle(wy[i], ay)) ay = cosineWeightReference(fy[i]);
    const std::int64_t x0 = ix[i] & mw, x1 = (ix[i] + 1) & mw;
    const std::int64_t y0 = iy[i] & mh, y1 = (iy[i] + 1) & mh;
    blendPixels(out + 3 * i, blendWeights(ax, ay), layer + (y0 * w + x0) * 3, layer + (y0 * w + x1) * 3,
                layer + (y1 * w + x0) * 3, layer + (y1 * w + x1) * 3);
  }
}

}  // namespace synth::detail
