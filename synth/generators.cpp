// Generators: operations that fill one layer from their parameters and the
// random generator alone (opcodes 0-8).
#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

#include "synth/detail.h"
#include "synth/operations.h"

namespace synth {

using namespace detail;

namespace {

// out[k] = the (k + 1)-th next nextRandom() result, for k < count, and the
// generator left as count calls would leave it. The seed j steps ahead is
// seed · a^j mod 2^32, so each seed is the one eight before times a^8:
// products eight apart, which the compiler vectorises, where the one-by-one
// chain waits on each multiplication.
SYNTH_CLONES void randomRun(Synth& s, std::uint32_t* __restrict out, std::size_t count) {
  if (count == 0) return;
  constexpr std::uint32_t kA = 22695477u;
  std::uint32_t a8 = 1;
  for (int j = 0; j < 8; ++j) a8 *= kA;
  std::uint32_t seed = s.randSeed();
  const std::size_t head = count < 8 ? count : 8;
  for (std::size_t k = 0; k < head; ++k) out[k] = seed *= kA;
  for (std::size_t k = 8; k < count; ++k) out[k] = out[k - 8] * a8;
  s.setRandSeed(out[count - 1]);
  for (std::size_t k = 0; k < count; ++k) out[k] >>= 16;
}

// The three channels of one row: out[3·x + c] = the blend of channel
// c's corner values with the weights, summed in blendPixels' order. The
// weights arrive as singles (widening them to double is exact), the corner
// values already as doubles (no conversion per pixel).
SYNTH_CLONES void blendRow(const float* __restrict w0, const float* __restrict w1,
                           const float* __restrict w2, const float* __restrict w3,
                           const double* __restrict corners, std::uint8_t* __restrict out,
                           std::int64_t count) {
  for (std::int64_t i = 0; i < count; ++i) {
    const double a = w0[i], b = w1[i], c = w2[i], d = w3[i];
    for (std::int64_t ch = 0; ch < 3; ++ch) {
      const double* k = corners + 4 * ch * count;
      // The weights are non-negative singles whose sum is at most
      // 1 + 2^-22 (cosine weights lie in 0 .. 1): v lies in 0 .. 255.0002
      // and truncates to 0 .. 255 without a clamp.
      const double v = a * k[i] + b * k[count + i] +
                       c * k[2 * count + i] + d * k[3 * count + i];
      out[3 * i + ch] = static_cast<std::uint8_t>(static_cast<int>(v));
    }
  }
}

// out[k] = the low byte of mask AND v[k].
SYNTH_CLONES void maskedBytes(std::uint8_t* __restrict out, const std::uint32_t* __restrict v, std::uint32_t mask,
                              std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) out[k] = static_cast<std::uint8_t>(mask & v[k]);
}

// l[i] = min(255, l[i] + add[i]) for distinct buffers.
SYNTH_CLONES void addSaturated(std::uint8_t* __restrict l, const std::uint8_t* __restrict add, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned v = unsigned(l[i]) + add[i];
    l[i] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
  }
}

// One channel's corner values along a row from the grid values of the top
// and bottom rows (cell k spans x = k · 2^shift .. and reads cells k, k + 1).
SYNTH_CLONES void spreadCorners(const double* __restrict top, const double* __restrict bottom, double* __restrict out,
                                int shift, std::int64_t count) {
  double* tl = out;
  double* tr = tl + count;
  double* bl = tr + count;
  double* br = bl + count;
  if (shift >= 3) {  // cells of 8 or more: runs of one value each
    const std::int64_t step = std::int64_t(1) << shift;
    for (std::int64_t x0 = 0, k = 0; x0 < count; x0 += step, ++k) {
      const double a = top[k], b = top[k + 1], d = bottom[k], e = bottom[k + 1];
      for (std::int64_t x = x0; x < x0 + step; ++x) {
        tl[x] = a;
        tr[x] = b;
        bl[x] = d;
        br[x] = e;
      }
    }
    return;
  }
  for (std::int64_t x = 0; x < count; ++x) {
    const std::int64_t k = x >> shift;
    tl[x] = top[k];
    tr[x] = top[k + 1];
    bl[x] = bottom[k];
    br[x] = bottom[k + 1];
  }
}

// The interpolation pass when the step divides both sides: cells do not
// overlap and grid pixels keep their values (their weight is exactly 1), so
// the layer can be filled whole rows at a time, with the corner values of
// each band of cells spread along the row once. The result equals the
// cell-by-cell order.
void interpolateCells(std::uint8_t* l, std::int64_t w, std::int64_t h, std::int64_t step,
                      const float* wx, const float* wy) {
  const std::size_t n = static_cast<std::size_t>(w);
  // Corner values per channel along the row: top-left, top-right,
  // bottom-left, bottom-right of each pixel's cell.
  const bool cached = step <= 16;
  const std::size_t cells = static_cast<std::size_t>(w / step);
  const int shift = std::countr_zero(static_cast<std::uint64_t>(step));
  std::vector<double> gridTop(3 * (cells + 1)), gridBottom(3 * (cells + 1));
  std::vector<double> corners(12 * n);
  std::vector<float> weights(4 * n * std::size_t(cached ? step : 1));
  const std::int64_t mw = w - 1, mh = h - 1;
  // The grid values of a row per channel (one more cell at the end: the
  // wrap-around neighbour).
  const auto gridValues = [&](const std::uint8_t* row, std::vector<double>& grid) {
    for (std::size_t c = 0; c < 3; ++c)
      for (std::size_t k = 0; k <= cells; ++k)
        grid[c * (cells + 1) + k] = row[((k * std::size_t(step)) & std::size_t(mw)) * 3 + c];
  };
  // A band's bottom row is the next band's top row, and its grid points
  // keep their values until then: each row is read once.
  gridValues(l, gridTop);
  for (std::int64_t y0 = 0; y0 < h; y0 += step) {
    if (y0 != 0) std::swap(gridTop, gridBottom);
    gridValues(l + ((y0 + step) & mh) * w * 3, gridBottom);
    // Spread along the row.
    for (int c = 0; c < 3; ++c)
      spreadCorners(gridTop.data() + std::size_t(c) * (cells + 1), gridBottom.data() + std::size_t(c) * (cells + 1),
                    corners.data() + 4 * std::size_t(c) * n, shift, w);
    for (std::int64_t j = 0; j < step; ++j) {
      // Row j's weights are the same in every band: with few rows per band
      // they are made once, else per row.
      float* w0 = weights.data() + (cached ? std::size_t(j) * 4 * n : 0);
      float* w1 = w0 + n;
      float* w2 = w1 + n;
      float* w3 = w2 + n;
      if (!cached || y0 == 0) {
        for (std::int64_t i = 0; i < step; ++i) {
          const BlendWeights bw = blendWeights(wx[i], wy[j]);  // singles held in doubles
          w0[i] = static_cast<float>(bw.w0);
          w1[i] = static_cast<float>(bw.w1);
          w2[i] = static_cast<float>(bw.w2);
          w3[i] = static_cast<float>(bw.w3);
        }
        // The step divides the power-of-two width: the weights repeat with
        // period step, spread by doubling copies.
        for (std::int64_t have = step; have < w; have *= 2)
          for (float* v : {w0, w1, w2, w3}) std::memcpy(v + have, v, std::size_t(have) * sizeof(float));
      }
      blendRow(w0, w1, w2, w3, corners.data(), l + (y0 + j) * w * 3, w);
    }
  }
}

}  // namespace

void subPlasma(Synth& s, int layer, int step, int seed, int range, bool colour) {
  std::uint8_t* l = s.layer(layer);
  const std::int64_t w = s.layerWidth(), h = s.layerHeight();
  // When the step divides both sides every pixel is drawn or interpolated
  // below (and interpolation reads grid points only): no clearing needed.
  if (step < 1 || w % step != 0 || h % step != 0) std::memset(l, 0, s.layerBytes());
  if (seed != 0) s.setRandSeed(static_cast<std::uint32_t>(seed));
  const std::uint32_t mask = static_cast<std::uint32_t>(range) - 1u;
  // One row of grid points at a time: its random numbers first (in the
  // order nextRandom gives them), then the pixels.
  const std::size_t perPoint = colour ? 3 : 1;
  const std::size_t points = static_cast<std::size_t>((w + step - 1) / step);
  std::vector<std::uint32_t> randoms(points * perPoint);
  for (std::int64_t y = 0; y < h; y += step) {
    randomRun(s, randoms.data(), randoms.size());
    const std::uint32_t* r = randoms.data();
    if (step == 1 && colour) {  // the draws are the row's bytes in order
      maskedBytes(l + y * w * 3, r, mask, randoms.size());
      continue;
    }
    for (std::int64_t x = 0; x < w; x += step, r += perPoint) {
      std::uint8_t* p = l + (y * w + x) * 3;
      p[0] = static_cast<std::uint8_t>(mask & r[0]);
      if (colour) {
        p[1] = static_cast<std::uint8_t>(mask & r[1]);
        p[2] = static_cast<std::uint8_t>(mask & r[2]);
      } else {
        p[1] = p[2] = p[0];
      }
    }
  }
  if (step <= 1) return;

  // A cell wider than the layer rewrites its columns; only the last layer
  // width of i (and height of j) values decides the result, so the loops
  // start there and huge steps stay cheap.
  const float inv = static_cast<float>(1.0 / step);
  const std::int64_t iStart = step > w ? step - w : 0, jStart = step > h ? step - h : 0;
  std::vector<float> wx(static_cast<std::size_t>(step - iStart)),
      wy(static_cast<std::size_t>(step - jStart));
  for (std::int64_t i = iStart; i < step; ++i)
    wx[std::size_t(i - iStart)] = cosineWeight(static_cast<float>(static_cast<double>(i) * inv));
  for (std::int64_t j = jStart; j < step; ++j)
    wy[std::size_t(j - jStart)] = cosineWeight(static_cast<float>(static_cast<double>(j) * inv));
  const std::int64_t mw = w - 1, mh = h - 1;
  if (w % step == 0 && h % step == 0) {
    interpolateCells(l, w, h, step, wx.data(), wy.data());
    return;
  }
  for (std::int64_t y0 = 0; y0 < h; y0 += step)
    for (std::int64_t x0 = 0; x0 < w; x0 += step) {
      const std::int64_t xr = (x0 + step) & mw, yb = (y0 + step) & mh;
      std::uint8_t tl[3], tr[3], bl[3], br[3];
      std::memcpy(tl, l + (y0 * w + x0) * 3, 3);
      std::memcpy(tr, l + (y0 * w + xr) * 3, 3);
      std::memcpy(bl, l + (yb * w + x0) * 3, 3);
      std::memcpy(br, l + (yb * w + xr) * 3, 3);
      for (std::int64_t j = jStart; j < step; ++j) {
        std::uint8_t* row = l + ((y0 + j) & mh) * w * 3;
        const float fy = wy[std::size_t(j - jStart)];
        for (std::int64_t i = iStart; i < step; ++i) {
          const BlendWeights bw = blendWeights(wx[std::size_t(i - iStart)], fy);
          blendPixels(row + ((x0 + i) & mw) * 3, bw, tl, tr, bl, br);
        }
      }
    }
}

void sinePlasma(Synth& s, int layer, float xFrequency, float yFrequency, float amplitude) {
  std::uint8_t* l = s.layer(layer);
  const int w = s.layerWidth(), h = s.layerHeight();
  const float a = static_cast<float>(static_cast<double>(amplitude) * 0.00390625);
  std::vector<double> column(static_cast<std::size_t>(w));
  for (int x = 0; x < w; ++x)
    column[std::size_t(x)] = std::sin(static_cast<double>(x) * xFrequency) * 63.5;
  for (int y = 0; y < h; ++y) {
    const float r = static_cast<float>(std::sin(static_cast<double>(y) * yFrequency) * 63.5 + 127.0);
    std::uint8_t* p = l + std::size_t(y) * std::size_t(w) * 3;
    for (int x = 0; x < w; ++x, p += 3)
      p[0] = p[1] = p[2] = truncLow8((column[std::size_t(x)] + r) * a);
  }
}

void perlinNoise(Synth& s, int layer, int step, int seed, int amplitude, int persistence,
                 int octaves, bool colour) {
  subPlasma(s, layer, step, seed, 1, colour);
  std::uint8_t* l = s.layer(layer);
  const std::uint8_t* scratch = s.layer(kScratchLayer);
  const std::size_t bytes = s.layerBytes();
  std::uint32_t amp = static_cast<std::uint32_t>(amplitude);
  for (int o = 1; o < octaves; ++o) {
    amp = (amp * static_cast<std::uint32_t>(persistence)) >> 8;
    if (amp == 0) break;
    step >>= 1;
    if (step == 0) break;
    subPlasma(s, kScratchLayer, step, 0, static_cast<int>(amp), colour);
    if (l != scratch) {
      addSaturated(l, scratch, bytes);
    } else {  // perlinNoise on the scratch layer itself
      for (std::size_t i = 0; i < bytes; ++i) {
        const unsigned v = unsigned(l[i]) + scratch[i];
        l[i] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
      }
    }
  }
}

void particle(Synth& s, int layer, float falloff) {
  std::uint8_t* l = s.layer(layer);
  const int w = s.layerWidth(), h = s.layerHeight();
  const int hw = w / 2, hh = h / 2;
  const float ix = static_cast<float>(1.0 / hw), iy = static_cast<float>(1.0 / hh);
  const float k = static_cast<float>(static_cast<double>(falloff) * 180.0);
  for (int y = 0; y < h; ++y) {
    const float ny = static_cast<float>(static_cast<double>(y - hh) * iy);
    std::uint8_t* p = l + std::size_t(y) * std::size_t(w) * 3;
    for (int x = 0; x < w; ++x, p += 3) {
      const float nx = static_cast<float>(static_cast<double>(x - hw) * ix);
      const float d = fastSqrt(static_cast<float>(static_cast<double>(nx) * nx + static_cast<double>(ny) * ny));
      const float v = static_cast<float>(255.0 - static_cast<double>(k) * d);
      p[0] = p[1] = p[2] = clampByte(v);
    }
  }
}

void colorLayer(Synth& s, int layer, int red, int green, int blue) {
  std::uint8_t* p = s.layer(layer);
  const std::size_t n = std::size_t(s.layerWidth()) * std::size_t(s.layerHeight());
  const std::uint8_t c[3] = {static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green),
                             static_cast<std::uint8_t>(blue)};
  if (c[0] == c[1] && c[1] == c[2]) {
    std::memset(p, c[0], n * 3);
    return;
  }
  for (std::size_t i = 0; i < n; ++i, p += 3) {
    p[0] = c[0];
    p[1] = c[1];
    p[2] = c[2];
  }
}

void checkerBoardLayer(Synth& s, int layer, int cellWidth, int cellHeight, int red1, int green1,
                       int blue1, int red2, int green2, int blue2) {
  std::uint8_t* l = s.layer(layer);
  const int w = s.layerWidth(), h = s.layerHeight();
  using C = std::array<std::uint8_t, 3>;
  C next = {std::uint8_t(red1), std::uint8_t(green1), std::uint8_t(blue1)};
  C other = {std::uint8_t(red2), std::uint8_t(green2), std::uint8_t(blue2)};
  C current{};
  auto toggle = [&] {
    current = next;
    std::swap(next, other);
  };
  const bool correction = (w / cellWidth) % 2 == 0 && w % cellWidth != 0;
  int yc = 0;
  for (int y = 0; y < h; ++y) {
    if (yc == 0) toggle();
    if (++yc == cellHeight) yc = 0;
    std::uint8_t* p = l + std::size_t(y) * std::size_t(w) * 3;
    int xc = 0;
    for (int x = 0; x < w; ++x, p += 3) {
      if (xc == 0) toggle();
      if (++xc == cellWidth) xc = 0;
      p[0] = current[0];
      p[1] = current[1];
      p[2] = current[2];
    }
    if (correction) toggle();
  }
}

void blobsLayer(Synth& s, int layer, int seed, int blobCount, bool colour) {
  std::uint8_t* l = s.layer(layer);
  const int w = s.layerWidth(), h = s.layerHeight();
  s.setRandSeed(static_cast<std::uint32_t>(seed));
  struct Blob {
    int x, y;
    float s0, s1, s2;
  };
  Blob blobs[16] = {};
  const int count = std::clamp(blobCount, 0, 16);
  auto strength = [&] {
    return static_cast<float>(150.0 * (0.1 + 0.00392156862745 * (s.nextRandom() & 255u)));
  };
  for (int i = 0; i < count; ++i) {
    Blob& b = blobs[i];
    b.x = static_cast<int>(((s.nextRandom() * static_cast<std::uint32_t>(w)) >> 8) & std::uint32_t(w - 1));
    b.y = static_cast<int>(((s.nextRandom() * static_cast<std::uint32_t>(h)) >> 8) & std::uint32_t(h - 1));
    b.s0 = strength();
    if (colour) {
      b.s1 = strength();
      b.s2 = strength();
    }
  }
  const float invR = static_cast<float>(1.0 / (0.333333 * w * h));
  for (int y = 0; y < h; ++y) {
    std::uint8_t* p = l + std::size_t(y) * std::size_t(w) * 3;
    for (int x = 0; x < w; ++x, p += 3) {
      float s0 = 0, s1 = 0, s2 = 0;
      for (int i = 0; i < count; ++i) {
        const Blob& b = blobs[i];
        const std::int64_t dx = b.x - x, dy = b.y - y;
        const float r = static_cast<float>(static_cast<double>(invR) * static_cast<double>(dx * dx + dy * dy));
        const double rd = r;
        const float q = static_cast<float>(rd * rd);
        const double qd = q;
        const float f = static_cast<float>((qd * -0.444444 * rd + qd * 1.888888) - rd * 2.444444 + 1.0);
        s0 = static_cast<float>(s0 + static_cast<double>(f) * b.s0);
        if (colour) {
          s1 = static_cast<float>(s1 + static_cast<double>(f) * b.s1);
          s2 = static_cast<float>(s2 + static_cast<double>(f) * b.s2);
        }
      }
      p[0] = clampByte(s0);
      if (colour) {
        p[1] = clampByte(s1);
        p[2] = clampByte(s2);
      } else {
        p[1] = p[2] = p[0];
      }
    }
  }
}

namespace {

int escapeCount(float cx, float cy, float limit) {
  float zr = cx, zi = cy;
  int n = 0;
  for (;;) {
    const float a = static_cast<float>(static_cast<double>(zr) * zr);
    const float b = static_cast<float>(static_cast<double>(zi) * zi);
    if (static_cast<double>(a) + b > limit) return n;
    zi = static_cast<float>(2.0 * zr * zi + cy);
    zr = static_cast<float>(static_cast<double>(a) - b + cx);
    if (n >= 255) return 255;
    ++n;
  }
}

}  // namespace

void mandelBrot(Synth& s, int layer, float left, float horizontalSpan, float top,
                float verticalSpan, float bailout) {
  std::uint8_t* l = s.layer(layer);
  const int w = s.layerWidth(), h = s.layerHeight();
  const float dx = static_cast<float>(static_cast<double>(horizontalSpan) / w);
  const float dy = static_cast<float>(static_cast<double>(verticalSpan) / h);
  float cy = top;
  for (int y = 0; y < h; ++y) {
    float cx = left;
    std::uint8_t* p = l + std::size_t(y) * std::size_t(w) * 3;
    for (int x = 0; x < w; ++x, p += 3) {
      const int n = escapeCount(cx, cy, bailout);
      p[0] = static_cast<std::uint8_t>(n);
      p[1] = p[2] = static_cast<std::uint8_t>(255 - n);
      cx = static_cast<float>(static_cast<double>(cx) + dx);
    }
    cy = static_cast<float>(static_cast<double>(cy) + dy);
  }
}

void cellMachine(Synth& s, int layer, int seed, int rule) {
  std::uint8_t* l = s.layer(layer);
  const int w = s.layerWidth(), h = s.layerHeight();
  s.setRandSeed(static_cast<std::uint32_t>(seed));
  std::memset(l, 0, s.layerBytes());
  for (int x = 0; x < w; ++x)
    if ((s.nextRandom() >> 10) == 0) std::memset(l + std::size_t(x) * 3, 255, 3);
  const std::uint32_t bits = static_cast<std::uint32_t>(rule);
  const int mw = w - 1;
  for (int y = 1; y < h; ++y) {
    const std::uint8_t* above = l + std::size_t(y - 1) * std::size_t(w) * 3;
    std::uint8_t* row = l + std::size_t(y) * std::size_t(w) * 3;
    for (int x = 0; x < w; ++x) {
      const unsigned pattern = (above[((x - 1) & mw) * 3] != 0 ? 1u : 0u) |
                               (above[x * 3] != 0 ? 2u : 0u) |
                               (above[((x + 1) & mw) * 3] != 0 ? 4u : 0u);
      if ((bits >> pattern) & 1u) std::memset(row + std::size_t(x) * 3, 255, 3);
    }
  }
}

}  // namespace synth
