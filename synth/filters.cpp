// Filters (opcodes 31, 33-39, 48, 50, 51). Each copies the source into the
// scratch layer and reads only the copy, so source and destination may be
// the same layer. Neighbourhoods wrap around the layer edges.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "synth/detail.h"
#include "synth/operations.h"

namespace synth {

using namespace detail;

namespace {

// Runs f(a, b, c, d, e, g, h, i... ) over every channel of every pixel: the
// nine values are the 3 × 3 neighbourhood in reading order (n0 top-left, n4
// the centre, n8 bottom-right) taken from the scratch copy.
template <typename F>
void filter3x3(Synth& s, int source, int destination, F f) {
  const int w = s.layerWidth(), h = s.layerHeight();
  std::uint8_t* scratch = s.layer(kScratchLayer);
  std::memcpy(scratch, s.layer(source), s.layerBytes());
  std::uint8_t* dst = s.layer(destination);
  const std::size_t stride = std::size_t(w) * 3;
  const int last = w * 3 - 3;  // byte offset of the last pixel in a row
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* up = scratch + std::size_t((y - 1) & (h - 1)) * stride;
    const std::uint8_t* mid = scratch + std::size_t(y) * stride;
    const std::uint8_t* down = scratch + std::size_t((y + 1) & (h - 1)) * stride;
    std::uint8_t* out = dst + std::size_t(y) * stride;
    auto edge = [&](int i, int left, int right) {
      out[i] = f(up[left], up[i], up[right], mid[left], mid[i], mid[right], down[left], down[i],
                 down[right]);
    };
    for (int c = 0; c < 3; ++c) {
      edge(c, last + c, w > 1 ? c + 3 : c);
    }
    for (int i = 3; i < last; ++i)
      out[i] = f(up[i - 3], up[i], up[i + 3], mid[i - 3], mid[i], mid[i + 3], down[i - 3], down[i],
                 down[i + 3]);
    for (int c = 0; c < 3; ++c) {
      edge(last + c, last + c - 3, c);
    }
  }
}

// Like filter3x3, but f yields an int per channel into a row buffer (a loop
// the compiler vectorises) and finish turns a row of those into bytes
// (table lookups, which do not vectorise).
template <typename F, typename Finish>
void filter3x3Staged(Synth& s, int source, int destination, F f, Finish finish) {
  const int w = s.layerWidth(), h = s.layerHeight();
  std::uint8_t* scratch = s.layer(kScratchLayer);
  std::memcpy(scratch, s.layer(source), s.layerBytes());
  std::uint8_t* dst = s.layer(destination);
  const std::size_t stride = std::size_t(w) * 3;
  const int last = w * 3 - 3;
  std::vector<std::int32_t> row(stride);
  std::int32_t* r = row.data();
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* up = scratch + std::size_t((y - 1) & (h - 1)) * stride;
    const std::uint8_t* mid = scratch + std::size_t(y) * stride;
    const std::uint8_t* down = scratch + std::size_t((y + 1) & (h - 1)) * stride;
    auto edge = [&](int i, int left, int right) {
      r[i] = f(up[left], up[i], up[right], mid[left], mid[i], mid[right], down[left], down[i], down[right]);
    };
    for (int c = 0; c < 3; ++c) edge(c, last + c, c + 3);
    for (int i = 3; i < last; ++i)
      r[i] = f(up[i - 3], up[i], up[i + 3], mid[i - 3], mid[i], mid[i + 3], down[i - 3], down[i], down[i + 3]);
    for (int c = 0; c < 3; ++c) edge(last + c, last + c - 3, c);
    finish(r, dst + std::size_t(y) * stride, stride);
  }
}

// min(255, intSqrt(n)) for every n up to 255² (beyond, the root is >= 255).
const std::uint8_t* embossRootTable() {
  static const std::unique_ptr<std::uint8_t[]> table = [] {
    auto t = std::make_unique<std::uint8_t[]>(65026);
    for (std::uint32_t n = 0; n <= 65025; ++n) t[n] = static_cast<std::uint8_t>(std::min<std::uint32_t>(255, intSqrt(n)));
    return t;
  }();
  return table.get();
}

// The angle code of a gradient (gx != 0), per the arctan rule.
std::uint8_t sculptureCode(int gx, int gy) {
  const float a = static_cast<float>(std::atan(static_cast<double>(gy) / gx));
  constexpr double k = 40.58451080322265625;  // the single nearest 255 / (2π)
  const double v = gx > 0 ? 127.5 + k * a : k * a;
  return truncLow8(v);
}

}  // namespace

void blurLayer(Synth& s, int source, int destination) {
  filter3x3(s, source, destination, [](int a, int b, int c, int d, int e, int f, int g, int h, int i) {
    return static_cast<std::uint8_t>((a + 2 * b + c + 2 * d + 4 * e + 2 * f + g + 2 * h + i) >> 4);
  });
}

void sharpenLayer(Synth& s, int source, int destination) {
  filter3x3(s, source, destination, [](int a, int b, int c, int d, int e, int f, int g, int h, int i) {
    const int v = ((5 * e) >> 1) - ((a + c + g + i) >> 3) - ((b + h + d + f) >> 2);
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
  });
}

void embossLayer(Synth& s, int source, int destination) {
  const std::uint8_t* root = embossRootTable();
  filter3x3Staged(
      s, source, destination,
      [](int a, int b, int c, int d, int, int f, int g, int h, int i) {
        const int gx = 128 + (c + f + i) - (a + d + g);
        const int gy = 128 + (g + h + i) - (a + b + c);
        const int n = gx * gx + gy * gy;
        return n < 65025 ? n : 65025;
      },
      [root](const std::int32_t* n, std::uint8_t* out, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) out[k] = root[n[k]];
      });
}

void edgeHLayer(Synth& s, int source, int destination) {
  filter3x3(s, source, destination, [](int a, int b, int c, int, int, int, int g, int h, int i) {
    const int v = (a + 2 * b + c) - (g + 2 * h + i);
    const int m = 2 * (v < 0 ? -v : v);
    return static_cast<std::uint8_t>(m > 255 ? 255 : m);
  });
}

void edgeVLayer(Synth& s, int source, int destination) {
  filter3x3(s, source, destination, [](int a, int, int c, int d, int, int f, int g, int, int i) {
    const int v = (a + 2 * d + g) - (c + 2 * f + i);
    const int m = 2 * (v < 0 ? -v : v);
    return static_cast<std::uint8_t>(m > 255 ? 255 : m);
  });
}

// The order filters compare bytes as bytes, so the loops use the processor's
// byte minimum and maximum.
using B = std::uint8_t;
inline B bmin(B a, B b) { return a < b ? a : b; }
inline B bmax(B a, B b) { return a > b ? a : b; }
inline void bsort(B& a, B& b) {
  const B lo = bmin(a, b), hi = bmax(a, b);
  a = lo;
  b = hi;
}

void medianLayer(Synth& s, int source, int destination) {
  // Any exact median of the nine gives the same byte: a selection network.
  filter3x3(s, source, destination, [](B p0, B p1, B p2, B p3, B p4, B p5, B p6, B p7, B p8) {
    bsort(p1, p2); bsort(p4, p5); bsort(p7, p8);
    bsort(p0, p1); bsort(p3, p4); bsort(p6, p7);
    bsort(p1, p2); bsort(p4, p5); bsort(p7, p8);
    p3 = bmax(p0, p3); p5 = bmin(p5, p8); bsort(p4, p7);
    p6 = bmax(p3, p6); p4 = bmax(p1, p4); p2 = bmin(p2, p5);
    p4 = bmin(p4, p7); bsort(p4, p2); p4 = bmax(p6, p4);
    return bmin(p4, p2);
  });
}

void erodeLayer(Synth& s, int source, int destination) {
  filter3x3(s, source, destination, [](B a, B b, B c, B d, B e, B f, B g, B h, B i) {
    return bmin(bmin(bmin(a, b), bmin(c, d)), bmin(bmin(e, f), bmin(bmin(g, h), i)));
  });
}

void dilateLayer(Synth& s, int source, int destination) {
  filter3x3(s, source, destination, [](B a, B b, B c, B d, B e, B f, B g, B h, B i) {
    return bmax(bmax(bmax(a, b), bmax(c, d)), bmax(bmax(e, f), bmax(bmax(g, h), i)));
  });
}

namespace {

// Angle codes by gradient (gx, gy in −1020..1020), computed on first use
// (4 MiB per thread: one byte each keeps more of the table in cache); the
// gx = 0 column holds the fixed codes. No gradient yields 192 (gx > 0 gives
// 63..191, gx < 0 gives 0..63 and 193..255, gx = 0 gives 64, 128, 196), so
// 192 marks an entry not yet computed (were a code 192, it would only be
// recomputed on each use, never wrong).
struct SculptureCodes {
  static constexpr int kFar = 1020, kFarSpan = 2 * kFar + 1;
  static constexpr std::uint8_t kUnset = 192;
  std::vector<std::uint8_t> codes;
  SculptureCodes() : codes(std::size_t(kFarSpan) * kFarSpan, kUnset) {
    for (int gy = -kFar; gy <= kFar; ++gy)
      codes[std::size_t(kFar) * kFarSpan + std::size_t(gy + kFar)] = gy > 0 ? 196 : gy == 0 ? 128 : 64;
  }
};

}  // namespace

void sculptureLayer(Synth& s, int source, int destination) {
  static thread_local std::unique_ptr<SculptureCodes> codes;
  if (!codes) codes = std::make_unique<SculptureCodes>();
  std::uint8_t* table = codes->codes.data();
  constexpr int kSpan = SculptureCodes::kFarSpan, kOff = SculptureCodes::kFar;
  filter3x3Staged(
      s, source, destination,
      [](int a, int b, int c, int d, int, int f, int g, int h, int i) {
        const int gx = (a + 2 * d + g) - (c + 2 * f + i);
        const int gy = (a + 2 * b + c) - (g + 2 * h + i);
        return (gx + kOff) * kSpan + (gy + kOff);
      },
      [table](const std::int32_t* key, std::uint8_t* out, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) {
          std::uint8_t& slot = table[key[k]];
          if (slot == SculptureCodes::kUnset) [[unlikely]]
            slot = sculptureCode(key[k] / kSpan - kOff, key[k] % kSpan - kOff);
          out[k] = slot;
        }
      });
}

void motionBlur(Synth& s, int source, int destination, int length) {
  // Σ_{k=−n..n} (n + 1 − |k|) v[x + k] is a box of n + 1 taps applied twice
  // (once forward, once backward) on the periodic row; each box is a whole
  // number of row totals plus a partial run, so any length costs O(width).
  const int w = s.layerWidth(), h = s.layerHeight();
  std::uint8_t* scratch = s.layer(kScratchLayer);
  std::memcpy(scratch, s.layer(source), s.layerBytes());
  std::uint8_t* dst = s.layer(destination);
  const std::int64_t n1 = std::int64_t(length) + 1;
  const std::int64_t q = n1 / w, r = n1 % w;
  const std::int64_t divisor = n1 * n1;
  // sum / divisor through a reciprocal: the estimate is off by at most a
  // few units (sums stay below 2^57), and the correction makes it exact.
  const double reciprocal = 1.0 / static_cast<double>(divisor);
  auto divide = [divisor, reciprocal](std::int64_t sum) {
    std::int64_t q = static_cast<std::int64_t>(static_cast<double>(sum) * reciprocal);
    while (q > 0 && q * divisor > sum) --q;
    while ((q + 1) * divisor <= sum) ++q;
    return q;
  };
  std::vector<std::int64_t> prefix(2 * std::size_t(w) + 1), box(static_cast<std::size_t>(w)),
      prefixBox(2 * std::size_t(w) + 1);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* row = scratch + std::size_t(y) * std::size_t(w) * 3;
    std::uint8_t* out = dst + std::size_t(y) * std::size_t(w) * 3;
    for (int c = 0; c < 3; ++c) {
      prefix[0] = 0;
      for (int k = 0; k < w; ++k) prefix[std::size_t(k + 1)] = prefix[std::size_t(k)] + row[std::size_t(k) * 3 + std::size_t(c)];
      for (int k = w; k < 2 * w; ++k) prefix[std::size_t(k + 1)] = prefix[std::size_t(k)] + row[std::size_t(k - w) * 3 + std::size_t(c)];
      const std::int64_t total = prefix[std::size_t(w)];
      for (int x = 0; x < w; ++x)  // forward box: v[x .. x + n]
        box[std::size_t(x)] = q * total + prefix[std::size_t(x + r)] - prefix[std::size_t(x)];
      prefixBox[0] = 0;
      for (int k = 0; k < 2 * w; ++k) prefixBox[std::size_t(k + 1)] = prefixBox[std::size_t(k)] + box[std::size_t(k < w ? k : k - w)];
      const std::int64_t totalBox = prefixBox[std::size_t(w)];
      for (int x = 0; x < w; ++x) {  // backward box: B[x − n .. x]
        const std::int64_t sum = q * totalBox + prefixBox[std::size_t(x + w + 1)] - prefixBox[std::size_t(x + w + 1 - r)];
        out[std::size_t(x) * 3 + std::size_t(c)] = static_cast<std::uint8_t>(divide(sum));
      }
    }
  }
}

void makeTilable(Synth& s, int source, int destination, int border) {
  const int w = s.layerWidth(), h = s.layerHeight();
  std::uint8_t* scratch = s.layer(kScratchLayer);
  std::memcpy(scratch, s.layer(source), s.layerBytes());
  std::uint8_t* dst = s.layer(destination);
  const std::int64_t cx = w / 2, cy = h / 2;
  const std::int64_t r0 = cx - std::int64_t(border);
  const float r2 = static_cast<float>(static_cast<double>(r0) * static_cast<double>(r0));
  const float d = static_cast<float>(static_cast<double>(cx * cy) - r2);
  const float scale = d == 0.0f ? 75000.0f : static_cast<float>(0.75 / d);
  const std::size_t stride = std::size_t(w) * 3;
  for (int y = 0; y < h; ++y) {
    const std::int64_t dy = y - cy;
    for (int x = 0; x < w; ++x) {
      const std::int64_t dx = x - cx;
      float e = static_cast<float>(static_cast<double>(dx * dx + dy * dy) - r2);
      if (!(e > 0.0f)) continue;
      e = static_cast<float>(static_cast<double>(e) * scale);
      float m, c;
      if (e > 0.75f) {
        m = c = 0.25f;
      } else {
        c = static_cast<float>(1.0 - e);
        m = static_cast<float>(0.333333 * e);
      }
      const std::uint8_t* p = scratch + std::size_t(y) * stride + std::size_t(x) * 3;
      const std::uint8_t* m1 = scratch + std::size_t(y) * stride + std::size_t(w - 1 - x) * 3;
      const std::uint8_t* m2 = scratch + std::size_t(h - 1 - y) * stride + std::size_t(w - 1 - x) * 3;
      const std::uint8_t* m3 = scratch + std::size_t(h - 1 - y) * stride + std::size_t(x) * 3;
      std::uint8_t* o = dst + std::size_t(y) * stride + std::size_t(x) * 3;
      for (int k = 0; k < 3; ++k)
        o[k] = clampByte(static_cast<double>(m) * (m1[k] + m2[k] + m3[k]) + static_cast<double>(c) * p[k]);
    }
  }
}

}  // namespace synth
