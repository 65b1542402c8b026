// Row sampling: cosine weights for a row of fractions in one pass.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "synth/detail.h"

namespace synth::detail {

namespace {

// a[i] = the single (1 − cos(f[i] · π)) · 0.5 by the polynomial of
// polyTrig (|f| < 1), certified as certifiedSingle does; ok[i] = 0 where the
// library must decide. Written without branches so that the loop vectorises.
SYNTH_CLONES void polyWeights(const float* __restrict f, float* __restrict a, std::uint8_t* __restrict ok,
                              int count) {
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(f[i]) * static_cast<double>(kPi);
    const auto [k, r] = reduceQuarterTurns(t);
    const double z = r * r;
    // Quadrant k mod 4 picks c, −s, −c, s (two's complement bits work for
    // negative k too), selected by bit masks: a branch keeps the loop scalar.
    const auto ki = static_cast<std::int64_t>(static_cast<int>(k));
    const std::uint64_t odd = std::uint64_t(0) - static_cast<std::uint64_t>(ki & 1);
    const std::uint64_t sign = static_cast<std::uint64_t>((ki + 1) & 2) << 62;
    // Each lane needs only one kernel: the same Horner chain runs on the
    // cosine's or the sine's coefficients (picked per lane), so each value
    // is computed by exactly the operations of polyTrig.
    const auto coef = [odd](double sinCoef, double cosCoef) {
      return std::bit_cast<double>((std::bit_cast<std::uint64_t>(sinCoef) & odd) | (std::bit_cast<std::uint64_t>(cosCoef) & ~odd));
    };
    const double p = coef(-1.66666666666666324348e-01, 4.16666666666666019037e-02) +
                     z * (coef(8.33333333332248946124e-03, -1.38888888888741095749e-03) +
                     z * (coef(-1.98412698298579493134e-04, 2.48015872894767294178e-05) +
                     z * (coef(2.75573137070700676789e-06, -2.75573143513906633035e-07) +
                     z * (coef(-2.50507602534068634195e-08, 2.08757232129817482790e-09) +
                     z * coef(1.58969099521155010221e-10, -1.13596475577881948265e-11)))));
    const double c = 1.0 - 0.5 * z + z * z * p;
    const double sn = r + r * z * p;
    const std::uint64_t bits = ((std::bit_cast<std::uint64_t>(sn) & odd) | (std::bit_cast<std::uint64_t>(c) & ~odd)) ^ sign;
    const double w = (1.0 - std::bit_cast<double>(bits)) * 0.5;
    const float lo = static_cast<float>(w - 1e-15), hi = static_cast<float>(w + 1e-15);
    // A zero fraction (integer coordinates, common in the distortions) has
    // weight exactly 0 (cos ±0 is exactly 1), but the margin around 0 spans
    // singles of both signs: it is settled here instead of by the library.
    const bool zero = f[i] == 0.0f;
    a[i] = zero ? 0.0f : lo;
    ok[i] = zero || lo == hi;
  }
}

// c[i], s[i] = the singles of cos(a[i]) and sin(a[i]) by polynomial where
// certified; ok[i] = 0 where the library must decide (also |a| > 1e5).
SYNTH_CLONES void cosSinKernel(const float* __restrict a, float* __restrict c, float* __restrict s,
                               std::uint8_t* __restrict ok, int count) {
  for (int i = 0; i < count; ++i) {
    const bool inRange = std::fabs(a[i]) <= 1e5f;
    const std::uint32_t keep = std::uint32_t(0) - static_cast<std::uint32_t>(inRange);
    const double t = static_cast<double>(std::bit_cast<float>(std::bit_cast<std::uint32_t>(a[i]) & keep));
    const auto [k, r] = reduceQuarterTurns(t);
    const double z = r * r;
    const double pc = cosKernel(z);
    const double ps = sinKernel(r, z);
    const auto ki = static_cast<std::int64_t>(static_cast<int>(k));
    const std::uint64_t cb = std::bit_cast<std::uint64_t>(pc), sb = std::bit_cast<std::uint64_t>(ps);
    // cos(r + qπ/2): c, −s, −c, s; sin(r + qπ/2) = cos(r + (q + 3)π/2).
    const std::uint64_t oddC = std::uint64_t(0) - static_cast<std::uint64_t>(ki & 1);
    const std::uint64_t signC = static_cast<std::uint64_t>((ki + 1) & 2) << 62;
    const std::uint64_t oddS = ~oddC;
    const std::uint64_t signS = static_cast<std::uint64_t>((ki + 4) & 2) << 62;
    const double vc = std::bit_cast<double>(((sb & oddC) | (cb & ~oddC)) ^ signC);
    const double vs = std::bit_cast<double>(((sb & oddS) | (cb & ~oddS)) ^ signS);
    const float cl = static_cast<float>(vc - 1e-15), ch = static_cast<float>(vc + 1e-15);
    const float sl = static_cast<float>(vs - 1e-15), sh = static_cast<float>(vs + 1e-15);
    // Angle ±0 (points left in place): cos is exactly 1 and sin is the
    // argument itself, whereas the margin around sin = 0 spans singles of
    // both signs.
    // Bit masks, as above: a select keeps the loop scalar.
    const bool zero = a[i] == 0.0f;
    const std::uint32_t zm = std::uint32_t(0) - static_cast<std::uint32_t>(zero);
    c[i] = std::bit_cast<float>((std::bit_cast<std::uint32_t>(1.0f) & zm) | (std::bit_cast<std::uint32_t>(cl) & ~zm));
    s[i] = std::bit_cast<float>((std::bit_cast<std::uint32_t>(a[i]) & zm) | (std::bit_cast<std::uint32_t>(sl) & ~zm));
    ok[i] = zero | (inRange & (cl == ch) & (sl == sh));
  }
}

// Whole part (low 32 bits) and single fraction of each coordinate, as
// splitCoordinate; far or non-finite coordinates are redone one by one.
SYNTH_CLONES void splitRow(const float* __restrict v, std::int32_t* __restrict whole,
                           float* __restrict frac, std::uint8_t* __restrict near, int count) {
  for (int i = 0; i < count; ++i) {
    const bool inRange = std::fabs(v[i]) < 2147483648.0f;
    // Far values become 0 by a bit mask, so the conversion below is always
    // in range (a select would keep the loop scalar).
    const std::uint32_t keep = std::uint32_t(0) - static_cast<std::uint32_t>(inRange);
    const float x = std::bit_cast<float>(std::bit_cast<std::uint32_t>(v[i]) & keep);
    const int t = static_cast<int>(x);
    whole[i] = t;
    frac[i] = static_cast<float>(static_cast<double>(x) - t);
    near[i] = inRange;
  }
}

// The blends of a row: weights from the single cosine weights ax, ay (as
// blendWeights), then per channel the weighted sum of the four corner
// pixels (as blendPixels). Corner pixels arrive as little-endian words
// R | G << 8 | B << 16 (the fourth byte is ignored).
SYNTH_CLONES void blendRowOfSamples(const float* __restrict ax, const float* __restrict ay,
                                    const std::uint32_t* __restrict tl, const std::uint32_t* __restrict tr,
                                    const std::uint32_t* __restrict bl, const std::uint32_t* __restrict br,
                                    std::uint8_t* __restrict out, int count) {
  for (int i = 0; i < count; ++i) {
    const double wx = ax[i], wy = ay[i];
    const double ix = 1.0 - wx, iy = 1.0 - wy;
    const double w0 = static_cast<float>(ix * iy), w1 = static_cast<float>(wx * iy);
    const double w2 = static_cast<float>(ix * wy), w3 = static_cast<float>(wx * wy);
    for (int c = 0; c < 3; ++c) {
      const int shift = 8 * c;
      // No clamp is needed: ax, ay lie in 0 .. 1, so the four weights are
      // non-negative and (each rounded to single) sum to at most
      // 1 + 2^-22; v therefore lies in 0 .. 255.0002 and truncates to 0 .. 255.
      const double v = w0 * static_cast<double>((tl[i] >> shift) & 255u) + w1 * static_cast<double>((tr[i] >> shift) & 255u) +
                       w2 * static_cast<double>((bl[i] >> shift) & 255u) + w3 * static_cast<double>((br[i] >> shift) & 255u);
      out[3 * i + c] = static_cast<std::uint8_t>(static_cast<int>(v));
    }
  }
}

// The four corner pixels of each sample, as little-endian words (the
// fourth byte belongs to the next pixel or the layer's padding). Integer
// work only, so the AVX2 clone may gather.
SYNTH_CLONES void gatherCorners(const std::uint8_t* __restrict layer, const std::int32_t* __restrict ix,
                                const std::int32_t* __restrict iy, std::uint32_t mw, std::uint32_t mh,
                                std::uint32_t stride, std::uint32_t* __restrict tl, std::uint32_t* __restrict tr,
                                std::uint32_t* __restrict bl, std::uint32_t* __restrict br, int count) {
  for (int i = 0; i < count; ++i) {
    const std::uint32_t x0 = static_cast<std::uint32_t>(ix[i]) & mw, x1 = (static_cast<std::uint32_t>(ix[i]) + 1u) & mw;
    const std::uint32_t y0 = static_cast<std::uint32_t>(iy[i]) & mh, y1 = (static_cast<std::uint32_t>(iy[i]) + 1u) & mh;
    const std::uint32_t r0 = y0 * stride, r1 = y1 * stride;
    std::memcpy(&tl[i], layer + r0 + x0 * 3, 4);
    std::memcpy(&tr[i], layer + r0 + x1 * 3, 4);
    std::memcpy(&bl[i], layer + r1 + x0 * 3, 4);
    std::memcpy(&br[i], layer + r1 + x1 * 3, 4);
  }
}

// c ? a : b by bit masks (a conditional keeps loops scalar).
inline double pick(bool c, double a, double b) {
  const std::uint64_t m = std::uint64_t(0) - static_cast<std::uint64_t>(c);
  return std::bit_cast<double>((std::bit_cast<std::uint64_t>(a) & m) | (std::bit_cast<std::uint64_t>(b) & ~m));
}

// The arctangent by the classic argument reduction (breakpoints 7/16,
// 11/16, 19/16, 39/16 with stored atan(1/2), atan(1), atan(3/2), π/2 in two
// parts) and an odd polynomial of degree 23; error below one ulp. Written
// with selects only, for t >= 0.
SYNTH_CLONES void tunnelKernel(float dy, const float* __restrict inv, float depth, float* __restrict angle,
                               float* __restrict dist, std::uint8_t* __restrict ok, int count) {
  constexpr double kHi[4] = {4.63647609000806093515e-01, 7.85398163397448278999e-01, 9.82793723247329054082e-01,
                             1.57079632679489655800e+00};
  constexpr double kLo[4] = {2.26987774529616870924e-17, 3.06161699786838301793e-17, 1.39033110312309984516e-17,
                             6.12323399573676603587e-17};
  const double d = depth;
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(dy) * inv[i];
    const bool r0 = t < 0.4375, r1 = t < 0.6875, r2 = t < 1.1875, r3 = t < 2.4375;
    // Innermost first: the selects of the classic branches.
    const double num = pick(r0, t, pick(r1, 2.0 * t - 1.0, pick(r2, t - 1.0, pick(r3, t - 1.5, -1.0))));
    const double den = pick(r0, 1.0, pick(r1, 2.0 + t, pick(r2, t + 1.0, pick(r3, 1.0 + 1.5 * t, t))));
    const double hi = pick(r1, kHi[0], pick(r2, kHi[1], pick(r3, kHi[2], kHi[3])));
    const double lo = pick(r1, kLo[0], pick(r2, kLo[1], pick(r3, kLo[2], kLo[3])));
    const double x = num / den;
    const double z = x * x, w = z * z;
    const double s1 = z * (3.33333333333329318027e-01 + w * (1.42857142725034663711e-01 + w * (9.09088713343650656196e-02 + w * (6.66107313738753120669e-02 + w * (4.97687799461593236017e-02 + w * 1.62858201153657823623e-02)))));
    const double s2 = w * (-1.99999999998764832476e-01 + w * (-1.11111104054623557880e-01 + w * (-7.69187620504482999495e-02 + w * (-5.83357013379057348645e-02 + w * -3.65315727442169155270e-02))));
    const double small = x - x * (s1 + s2);
    const double reduced = hi - ((x * (s1 + s2) - lo) - x);
    const double a = pick(r0, small, reduced);
    // Both this and the library's result lie within an ulp of the true
    // value: a margin of 1e-15 relative (over four ulps) covers both.
    const double ma = a * 1e-15;
    const float al = static_cast<float>(a - ma), ah = static_cast<float>(a + ma);
    // cos of the single angle (|angle| < π/2, so the first quadrant
    // kernel of polyTrig with its reduction).
    const double ta = al;
    const auto [k, r] = reduceQuarterTurns(ta);
    const double zz = r * r;
    const double pc = cosKernel(zz);
    const double ps = sinKernel(r, zz);
    // k is 0 or 1 (0 <= angle < π/2 + rounding): cos r or −sin r.
    const double c = pick(k == 0.0, pc, -ps);
    const double p = c * d * inv[i];
    // The library's cos lies within 2.3e-16 of the true value, the
    // polynomial within 4e-16; with the two products' roundings the results
    // differ by less than 1.1e-15 · |depth · inv| (1.5e-15 leaves room for
    // the rounding of the bounds themselves).
    const double mp = std::fabs(d * inv[i]) * 1.5e-15;
    const double ap = std::fabs(p);
    const float pl = static_cast<float>(ap - mp), ph = static_cast<float>(ap + mp);
    angle[i] = al;
    dist[i] = pl;
    ok[i] = (al == ah) & (pl == ph) & ((k == 0.0) | (k == 1.0));
  }
}

}  // namespace

void sampleRow(std::uint8_t* out, const std::uint8_t* layer, int w, int h, const float* xs,
               const float* ys, int count) {
  struct Buffers {
    std::vector<float> fx, fy, ax, ay;
    std::vector<std::int32_t> ix, iy;
    std::vector<std::uint8_t> nearX, nearY, okX, okY;
    std::vector<std::uint32_t> corners;
  };
  static thread_local Buffers buf;
  const std::size_t n = static_cast<std::size_t>(count);
  if (buf.fx.size() < n) {
    for (auto* v : {&buf.fx, &buf.fy, &buf.ax, &buf.ay}) v->resize(n);
    buf.ix.resize(n);
    buf.iy.resize(n);
    for (auto* v : {&buf.nearX, &buf.nearY, &buf.okX, &buf.okY}) v->resize(n);
    buf.corners.resize(4 * n);
  }
  splitRow(xs, buf.ix.data(), buf.fx.data(), buf.nearX.data(), count);
  splitRow(ys, buf.iy.data(), buf.fy.data(), buf.nearY.data(), count);
  // The flags are almost always all set: a byte search skips the repairs.
  const auto anyClear = [n](const std::vector<std::uint8_t>& flags) {
    return n != 0 && std::memchr(flags.data(), 0, n) != nullptr;
  };
  if (anyClear(buf.nearX) || anyClear(buf.nearY))
    for (std::size_t i = 0; i < n; ++i) {
      if (!buf.nearX[i]) {
        const Split sp = splitCoordinate(xs[i]);
        buf.ix[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(sp.whole));
        buf.fx[i] = sp.frac;
      }
      if (!buf.nearY[i]) {
        const Split sp = splitCoordinate(ys[i]);
        buf.iy[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(sp.whole));
        buf.fy[i] = sp.frac;
      }
    }
  polyWeights(buf.fx.data(), buf.ax.data(), buf.okX.data(), count);
  polyWeights(buf.fy.data(), buf.ay.data(), buf.okY.data(), count);
  std::uint32_t* tl = buf.corners.data();
  std::uint32_t* tr = tl + n;
  std::uint32_t* bl = tr + n;
  std::uint32_t* br = bl + n;
  if (anyClear(buf.okX) || anyClear(buf.okY))
    for (std::size_t i = 0; i < n; ++i) {
      if (!buf.okX[i]) buf.ax[i] = cosineWeightReference(buf.fx[i]);
      if (!buf.okY[i]) buf.ay[i] = cosineWeightReference(buf.fy[i]);
    }
  // Offsets stay below 2^32: a layer holds at most 2^24 pixels.
  gatherCorners(layer, buf.ix.data(), buf.iy.data(), static_cast<std::uint32_t>(w - 1), static_cast<std::uint32_t>(h - 1),
                static_cast<std::uint32_t>(w) * 3u, tl, tr, bl, br, count);
  blendRowOfSamples(buf.ax.data(), buf.ay.data(), tl, tr, bl, br, out, count);
}

void cosSinRow(const float* a, float* c, float* s, int count) {
  static thread_local std::vector<std::uint8_t> ok;
  if (ok.size() < static_cast<std::size_t>(count)) ok.resize(static_cast<std::size_t>(count));
  cosSinKernel(a, c, s, ok.data(), count);
  if (count == 0 || std::memchr(ok.data(), 0, static_cast<std::size_t>(count)) == nullptr) return;
  for (int i = 0; i < count; ++i)
    if (!ok[std::size_t(i)]) {
      c[i] = static_cast<float>(std::cos(static_cast<double>(a[i])));
      s[i] = static_cast<float>(std::sin(static_cast<double>(a[i])));
    }
}

}  // namespace synth::detail

namespace synth::detail {

void tunnelAngles(float dy, const float* inv, float depth, float* angle, float* dist, int count) {
  static thread_local std::vector<std::uint8_t> ok;
  if (ok.size() < static_cast<std::size_t>(count)) ok.resize(static_cast<std::size_t>(count));
  tunnelKernel(dy, inv, depth, angle, dist, ok.data(), count);
  if (count == 0 || std::memchr(ok.data(), 0, static_cast<std::size_t>(count)) == nullptr) return;
  for (int i = 0; i < count; ++i)
    if (!ok[std::size_t(i)]) {
      const float a = static_cast<float>(std::atan(static_cast<double>(dy) * inv[i]));
      angle[i] = a;
      dist[i] = static_cast<float>(std::fabs(std::cos(static_cast<double>(a)) * depth * inv[i]));
    }
}

}  // namespace synth::detail
