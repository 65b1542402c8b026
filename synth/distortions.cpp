// Distortions (opcodes 40-47, 49). All but kaleidLayer work through the
// scratch layer (copy the source there and sample it, or build the result
// there and copy it back), so source and destination may be the same layer.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "synth/detail.h"
#include "synth/operations.h"

namespace synth {

using namespace detail;

void sineDistort(Synth& s, int source, int destination, float yFrequency, float xAmplitude,
                 float xFrequency, float yAmplitude) {
  const int w = s.layerWidth(), h = s.layerHeight();
  std::uint8_t* scratch = s.layer(kScratchLayer);
  std::memcpy(scratch, s.layer(source), s.layerBytes());
  std::uint8_t* dst = s.layer(destination);
  std::vector<double> column(static_cast<std::size_t>(w));
  for (int x = 0; x < w; ++x)
    column[std::size_t(x)] = static_cast<double>(yAmplitude) * std::sin(static_cast<double>(xFrequency) * x);
  std::vector<float> xs(static_cast<std::size_t>(w)), ys(static_cast<std::size_t>(w));
  for (int y = 0; y < h; ++y) {
    const float shift = static_cast<float>(static_cast<double>(xAmplitude) * std::sin(static_cast<double>(yFrequency) * y));
    for (int x = 0; x < w; ++x) {
      xs[std::size_t(x)] = static_cast<float>(x + static_cast<double>(shift));
      ys[std::size_t(x)] = static_cast<float>(y + column[std::size_t(x)]);
    }
    sampleRow(dst + std::size_t(y) * std::size_t(w) * 3, scratch, w, h, xs.data(), ys.data(), w);
  }
}

namespace {

// twirlLayer's rotation angle for each pixel of a row (0 outside the circle).
SYNTH_CLONES void twirlAngles(float* __restrict angles, int w, int cx, float dy, float angle, float k) {
  for (int x = 0; x < w; ++x) {
    const float dx = static_cast<float>(x - cx);
    const float dist = fastSqrtInline(static_cast<float>(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy));
    const float r = static_cast<float>(cx - static_cast<double>(dist));
    // Outside the circle the sample point is (x, y) itself: angle 0 gives
    // c = 1, s = 0 and exactly that point.
    // A bit mask, not a conditional, so that the loop vectorises.
    const float v = static_cast<float>(static_cast<double>(angle) * r * r * k);
    const std::uint32_t inside = std::uint32_t(0) - static_cast<std::uint32_t>(r > 0.0f);
    angles[x] = std::bit_cast<float>(std::bit_cast<std::uint32_t>(v) & inside);
  }
}

// twirlLayer's sample points of a row from the cosines and sines.
SYNTH_CLONES void twirlPoints(const float* __restrict cs, const float* __restrict sn, float* __restrict xs,
                              float* __restrict ys, int w, int cx, int cy, float dyf) {
  const double dy = dyf;
  for (int x = 0; x < w; ++x) {
    const double dx = x - cx, c = cs[x], si = sn[x];
    xs[x] = static_cast<float>(cx + (c * dx - si * dy));
    ys[x] = static_cast<float>(cy + (si * dx + c * dy));
  }
}

}  // namespace

void twirlLayer(Synth& s, int source, int destination, float angle, float radiusScale) {
  const int w = s.layerWidth(), h = s.layerHeight();
  std::uint8_t* scratch = s.layer(kScratchLayer);
  std::memcpy(scratch, s.layer(source), s.layerBytes());
  std::uint8_t* dst = s.layer(destination);
  const int cx = w / 2, cy = h / 2;
  const float k = static_cast<float>(1.0 / (std::sqrt(2.0 * w * h) * radiusScale));
  const std::size_t n = static_cast<std::size_t>(w);
  std::vector<float> angles(n), cs(n), sn(n), xs(n), ys(n);
  // The angles depend on dy only through dy², so rows cy - d and cy + d
  // share one row of cosines and sines; likewise through dx², so columns
  // cx - j and cx + j share them (column 0 has no partner when w is even).
  const int half = w - cx;
  for (int d = 0; cy - d >= 0 || cy + d < h; ++d) {
    twirlAngles(angles.data(), w, cx, static_cast<float>(d), angle, k);
    cosSinRow(angles.data() + cx, cs.data() + cx, sn.data() + cx, half);
    for (int j = 1; j < half && j <= cx; ++j) {
      cs[std::size_t(cx - j)] = cs[std::size_t(cx + j)];
      sn[std::size_t(cx - j)] = sn[std::size_t(cx + j)];
    }
    if (half <= cx) cosSinRow(angles.data(), cs.data(), sn.data(), cx - half + 1);
    const auto row = [&](int y) {
      twirlPoints(cs.data(), sn.data(), xs.data(), ys.data(), w, cx, cy, static_cast<float>(y - cy));
      sampleRow(dst + std::size_t(y) * std::size_t(w) * 3, scratch, w, h, xs.data(), ys.data(), w);
    };
    if (cy - d >= 0) row(cy - d);
    if (d != 0 && cy + d < h) row(cy + d);
  }
}

void mapDistort(Synth& s, int source, int map, int destination, float xScale, float yScale) {
  const int w = s.layerWidth(), h = s.layerHeight();
  std::uint8_t* scratch = s.layer(kScratchLayer);
  const std::uint8_t* src = s.layer(source);
  const std::uint8_t* m = s.layer(map);
  float ox[256], oy[256];
  for (int v = 0; v < 256; ++v) {
    ox[v] = static_cast<float>(static_cast<double>(v) * xScale);
    oy[v] = static_cast<float>(static_cast<double>(v) * yScale);
  }
  std::vector<float> xs(static_cast<std::size_t>(w)), ys(static_cast<std::size_t>(w));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::size_t o = (std::size_t(y) * std::size_t(w) + std::size_t(x)) * 3;
      const int v = std::max(m[o], std::max(m[o + 1], m[o + 2]));
      xs[std::size_t(x)] = static_cast<float>(x + static_cast<double>(ox[v]));
      ys[std::size_t(x)] = static_cast<float>(y + static_cast<double>(oy[v]));
    }
    sampleRow(scratch + std::size_t(y) * std::size_t(w) * 3, src, w, h, xs.data(), ys.data(), w);
  }
  copyLayer(s, kScratchLayer, destination);
}

void tileLayer(Synth& s, int source, int destination) {
  const int w = s.layerWidth(), h = s.layerHeight();
  std::uint8_t* scratch = s.layer(kScratchLayer);
  const std::uint8_t* src = s.layer(source);
  const std::size_t stride = std::size_t(w) * 3;
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* top = src + std::size_t((2 * y) & (h - 1)) * stride;
    const std::uint8_t* bottom = top + stride;
    std::uint8_t* out = scratch + std::size_t(y) * stride;
    for (int x = 0; x < w; ++x) {
      const std::size_t a = std::size_t((2 * x) & (w - 1)) * 3;
      for (int c = 0; c < 3; ++c)
        out[std::size_t(x) * 3 + std::size_t(c)] = static_cast<std::uint8_t>(
            (top[a + std::size_t(c)] + top[a + 3 + std::size_t(c)] + bottom[a + std::size_t(c)] + bottom[a + 3 + std::size_t(c)]) >> 2);
    }
  }
  copyLayer(s, kScratchLayer, destination);
}

void noiseDistort(Synth& s, int source, int destination, int seed, int bits) {
  const int w = s.layerWidth(), h = s.layerHeight();
  std::uint8_t* scratch = s.layer(kScratchLayer);
  const std::uint8_t* src = s.layer(source);
  s.setRandSeed(static_cast<std::uint32_t>(seed));
  const unsigned shift = static_cast<unsigned>(16 - bits);
  const std::uint32_t mw = std::uint32_t(w - 1), mh = std::uint32_t(h - 1);
  std::uint8_t* out = scratch;
  for (std::uint32_t y = 0; y < std::uint32_t(h); ++y)
    for (std::uint32_t x = 0; x < std::uint32_t(w); ++x, out += 3) {
      const std::uint32_t ox = (s.nextRandom() - 32767u) >> shift;
      const std::uint32_t oy = (s.nextRandom() - 32767u) >> shift;
      const std::uint32_t sx = (x + ox) & mw, sy = (y + oy) & mh;
      std::memcpy(out, src + (std::size_t(sy) * std::size_t(w) + sx) * 3, 3);
    }
  copyLayer(s, kScratchLayer, destination);
}

void moveDistort(Synth& s, int source, int destination, int xOffset, int yOffset) {
  const int w = s.layerWidth(), h = s.layerHeight();
  std::uint8_t* scratch = s.layer(kScratchLayer);
  const std::uint8_t* src = s.layer(source);
  const std::size_t stride = std::size_t(w) * 3;
  const std::size_t sx = static_cast<std::uint32_t>(xOffset) & std::uint32_t(w - 1);
  for (std::uint32_t y = 0; y < std::uint32_t(h); ++y) {
    const std::uint32_t sy = (y + static_cast<std::uint32_t>(yOffset)) & std::uint32_t(h - 1);
    const std::uint8_t* in = src + std::size_t(sy) * stride;
    std::uint8_t* out = scratch + std::size_t(y) * stride;
    // Destination column x takes source column (x + sx) mod w: a rotation.
    std::memcpy(out, in + sx * 3, (std::size_t(w) - sx) * 3);
    std::memcpy(out + (std::size_t(w) - sx) * 3, in, sx * 3);
  }
  copyLayer(s, kScratchLayer, destination);
}

void kaleidLayer(Synth& s, int source, int destination, int quadrant) {
  const int w = s.layerWidth(), h = s.layerHeight();
  const int hw = w / 2, hh = h / 2;
  const std::uint8_t* src = s.layer(source);
  std::uint8_t* d = s.layer(destination);
  const std::size_t stride = std::size_t(w) * 3;
  const int col = hw * ((quadrant - 1) % 2), row = hh * ((quadrant - 1) / 2);
  if (src != d)
    for (int y = row; y < row + hh; ++y)
      std::memcpy(d + std::size_t(y) * stride + std::size_t(col) * 3,
                  src + std::size_t(y) * stride + std::size_t(col) * 3, std::size_t(hw) * 3);
  auto px = [&](int x, int y) { return d + std::size_t(y) * stride + std::size_t(x) * 3; };
  auto mirror = [&](int step) {
    switch (step & 3) {
      case 0:  // top-left -> top-right, left-right mirrored
        for (int y = 0; y < hh; ++y)
          for (int x = 0; x < hw; ++x) std::memcpy(px(w - 1 - x, y), px(x, y), 3);
        break;
      case 1:  // top-right -> bottom-right, top-bottom mirrored
        for (int y = 0; y < hh; ++y) std::memcpy(px(hw, h - 1 - y), px(hw, y), std::size_t(w - hw) * 3);
        break;
      case 2:  // bottom-right -> bottom-left, left-right mirrored
        for (int y = 0; y < hh; ++y)
          for (int x = 0; x < hw; ++x) std::memcpy(px(x, hh + y), px(w - 1 - x, hh + y), 3);
        break;
      default:  // bottom-left -> top-left, top-bottom mirrored
        for (int y = 0; y < hh; ++y) std::memcpy(px(0, y), px(0, h - 1 - y), std::size_t(hw) * 3);
        break;
    }
  };
  static constexpr int kStart[4] = {0, 1, 3, 2};
  const int start = kStart[quadrant - 1];
  for (int k = 0; k < 3; ++k) mirror(start + k);
}

void tunnelDistort(Synth& s, int source, int destination, float depth) {
  const int w = s.layerWidth(), h = s.layerHeight();
  std::uint8_t* scratch = s.layer(kScratchLayer);
  std::memcpy(scratch, s.layer(source), s.layerBytes());
  std::uint8_t* dst = s.layer(destination);
  const int cx = w / 2, cy = h / 2;
  const float k = static_cast<float>(w / (2.0 * static_cast<double>(kPi)));
  // For −dx the reciprocal and dy · inv change sign exactly, arctan is odd
  // and |cos| even, so a row needs the angle and distance of |dx| = 1 .. cx
  // only: a(−dx) = −a(dx), v(−dx) = v(dx). The same holds for −dy, so rows
  // cy − d and cy + d share one table: a(−dy) = −a(dy), v(−dy) = v(dy).
  // (The library's atan and cos have that symmetry exactly; a test checks
  // it over the argument range.)
  std::vector<float> angle(static_cast<std::size_t>(cx + 1)), dist(static_cast<std::size_t>(cx + 1));
  std::vector<float> inv(static_cast<std::size_t>(cx + 1));
  for (int m = 1; m <= cx; ++m) inv[std::size_t(m)] = static_cast<float>(1.0 / m);
  std::vector<float> us(static_cast<std::size_t>(w)), vs(static_cast<std::size_t>(w));
  auto emitRow = [&](int y, float sign) {
    // Right half: dx = m > 0; left half: dx = −m (the offset cx is added as
    // 0 there, kept so that −0 becomes +0 as before).
    for (int m = 1; m < w - cx; ++m) {
      const float a = sign * angle[std::size_t(m)];
      us[std::size_t(cx + m)] = static_cast<float>(static_cast<double>(a) * k + cx);
      vs[std::size_t(cx + m)] = dist[std::size_t(m)];
    }
    for (int m = 1; m <= cx; ++m) {
      const float a = -(sign * angle[std::size_t(m)]);
      us[std::size_t(cx - m)] = static_cast<float>(static_cast<double>(a) * k + 0.0);
      vs[std::size_t(cx - m)] = dist[std::size_t(m)];
    }
    // The centre column (dx = 0) repeats the pixel computed before it.
    us[std::size_t(cx)] = us[std::size_t(cx - 1)];
    vs[std::size_t(cx)] = vs[std::size_t(cx - 1)];
    sampleRow(dst + std::size_t(y) * std::size_t(w) * 3, scratch, w, h, us.data(), vs.data(), w);
  };
  for (int d = 0; d <= cy; ++d) {
    tunnelAngles(static_cast<float>(d), inv.data() + 1, depth, angle.data() + 1, dist.data() + 1, cx);
    if (cy + d < h) emitRow(cy + d, 1.0f);
    if (d > 0) emitRow(cy - d, -1.0f);
  }
}

void logPolLayer(Synth& s, int source, int destination) {
  const int w = s.layerWidth(), h = s.layerHeight();
  std::uint8_t* scratch = s.layer(kScratchLayer);
  const std::uint8_t* src = s.layer(source);
  const int cx = w / 2, cy = h / 2;
  const float k = static_cast<float>(2.0 * static_cast<double>(kPi) / h);
  std::vector<double> cosA(static_cast<std::size_t>(w)), sinA(static_cast<std::size_t>(w));
  for (int x = 0; x < w; ++x) {
    const float a = static_cast<float>(static_cast<double>(x) * k);
    cosA[std::size_t(x)] = std::cos(static_cast<double>(a));
    sinA[std::size_t(x)] = std::sin(static_cast<double>(a));
  }
  std::vector<float> xs(static_cast<std::size_t>(w)), ys(static_cast<std::size_t>(w));
  for (int y = 0; y < h; ++y) {
    const double rho = static_cast<float>(std::exp(static_cast<double>(y) * k));
    for (int x = 0; x < w; ++x) {
      xs[std::size_t(x)] = static_cast<float>(cosA[std::size_t(x)] * rho + cx);
      ys[std::size_t(x)] = static_cast<float>(sinA[std::size_t(x)] * rho + cy);
    }
    sampleRow(scratch + std::size_t(y) * std::size_t(w) * 3, src, w, h, xs.data(), ys.data(), w);
  }
  copyLayer(s, kScratchLayer, destination);
}

}  // namespace synth
