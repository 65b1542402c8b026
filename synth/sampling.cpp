// Row sampling: cosine weights for a row of fractions in one pass.
#include <algorithm>
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

// The blends of a row: weights from the single cosine weights ax, ay (as
// blendWeights), then per channel the weighted sum of the four corner
// bytes (as blendPixels). corner[k] holds corner k / 3, channel k % 3.
SYNTH_CLONES void blendRowOfSamples(const float* __restrict ax, const float* __restrict ay,
                                    const std::uint8_t* const* corner, std::uint8_t* __restrict r,
                                    std::uint8_t* __restrict g, std::uint8_t* __restrict b, int count) {
  const std::uint8_t* __restrict c0 = corner[0];
  const std::uint8_t* __restrict c1 = corner[1];
  const std::uint8_t* __restrict c2 = corner[2];
  const std::uint8_t* __restrict c3 = corner[3];
  const std::uint8_t* __restrict c4 = corner[4];
  const std::uint8_t* __restrict c5 = corner[5];
  const std::uint8_t* __restrict c6 = corner[6];
  const std::uint8_t* __restrict c7 = corner[7];
  const std::uint8_t* __restrict c8 = corner[8];
  const std::uint8_t* __restrict c9 = corner[9];
  const std::uint8_t* __restrict c10 = corner[10];
  const std::uint8_t* __restrict c11 = corner[11];
  for (int i = 0; i < count; ++i) {
    const double wx = ax[i], wy = ay[i];
    const double ix = 1.0 - wx, iy = 1.0 - wy;
    const double w0 = static_cast<float>(ix * iy), w1 = static_cast<float>(wx * iy);
    const double w2 = static_cast<float>(ix * wy), w3 = static_cast<float>(wx * wy);
    // Finite weights summing to 1 keep every sum within 0 .. 255 (plus
    // rounding): clamping before the truncation changes no value.
    double v = w0 * c0[i] + w1 * c3[i] + w2 * c6[i] + w3 * c9[i];
    r[i] = static_cast<std::uint8_t>(static_cast<int>(std::min(std::max(v, 0.0), 255.0)));
    v = w0 * c1[i] + w1 * c4[i] + w2 * c7[i] + w3 * c10[i];
    g[i] = static_cast<std::uint8_t>(static_cast<int>(std::min(std::max(v, 0.0), 255.0)));
    v = w0 * c2[i] + w1 * c5[i] + w2 * c8[i] + w3 * c11[i];
    b[i] = static_cast<std::uint8_t>(static_cast<int>(std::min(std::max(v, 0.0), 255.0)));
  }
}

}  // namespace

void sampleRow(std::uint8_t* out, const std::uint8_t* layer, int w, int h, const float* xs,
               const float* ys, int count) {
  struct Buffers {
    std::vector<float> fx, fy, ax, ay;
    std::vector<std::int64_t> ix, iy;
    std::vector<double> wx, wy;
    std::vector<std::uint8_t> corners, channels;
  };
  static thread_local Buffers buf;
  const std::size_t n = static_cast<std::size_t>(count);
  if (buf.fx.size() < n) {
    for (auto* v : {&buf.fx, &buf.fy, &buf.ax, &buf.ay}) v->resize(n);
    buf.ix.resize(n);
    buf.iy.resize(n);
    buf.wx.resize(n);
    buf.wy.resize(n);
    buf.corners.resize(12 * n);
    buf.channels.resize(3 * n);
  }
  for (std::size_t i = 0; i < n; ++i) {
    const Split sx = splitCoordinate(xs[i]), sy = splitCoordinate(ys[i]);
    buf.ix[i] = sx.whole;
    buf.fx[i] = sx.frac;
    buf.iy[i] = sy.whole;
    buf.fy[i] = sy.frac;
  }
  polyWeights(buf.fx.data(), buf.wx.data(), count);
  polyWeights(buf.fy.data(), buf.wy.data(), count);
  std::uint8_t* corner[12];
  for (std::size_t k = 0; k < 12; ++k) corner[k] = buf.corners.data() + k * n;
  const std::int64_t mw = w - 1, mh = h - 1;
  for (std::size_t i = 0; i < n; ++i) {
    if (!certifiedSingle(buf.wx[i], buf.ax[i])) buf.ax[i] = cosineWeightReference(buf.fx[i]);
    if (!certifiedSingle(buf.wy[i], buf.ay[i])) buf.ay[i] = cosineWeightReference(buf.fy[i]);
    const std::int64_t x0 = buf.ix[i] & mw, x1 = (buf.ix[i] + 1) & mw;
    const std::int64_t y0 = buf.iy[i] & mh, y1 = (buf.iy[i] + 1) & mh;
    const std::uint8_t* p[4] = {layer + (y0 * w + x0) * 3, layer + (y0 * w + x1) * 3,
                                layer + (y1 * w + x0) * 3, layer + (y1 * w + x1) * 3};
    for (int k = 0; k < 4; ++k)
      for (int c = 0; c < 3; ++c) corner[3 * k + c][i] = p[k][c];
  }
  std::uint8_t* r = buf.channels.data();
  blendRowOfSamples(buf.ax.data(), buf.ay.data(), corner, r, r + n, r + 2 * n, count);
  for (std::size_t i = 0; i < n; ++i) {
    out[3 * i] = r[i];
    out[3 * i + 1] = r[n + i];
    out[3 * i + 2] = r[2 * n + i];
  }
}

}  // namespace synth::detail
