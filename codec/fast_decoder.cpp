// The decoder's fast path. It performs, value for value, the same double
// operations in the same order as the reference routines (dequantizePlane,
// inverseHaar, inverseHaarColor, storeColorPixels), so every output byte is
// identical; only the memory traffic differs:
//  - the streams expand straight from the packed bytes into a 16-bit raster
//    (magnitudes are at most 255);
//  - dequantisation happens row by row as a synthesis step first reads a row
//    (each step reads one band factor for its three detail quadrants);
//  - a step's vertical and horizontal passes are fused per pair of output
//    rows, and its result goes to a compact buffer the next step reads;
//  - the last step of every channel feeds the colour conversion and the byte
//    conversion two rows at a time, so no full-size real plane exists.
// The line-rule loops are branch-free selects so that GCC vectorises them.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/detail/fast_decoder.h"
#include "codec/detail/io.h"

namespace codec::detail {

namespace {

constexpr double kK = 0.7071067811865476;

// ---- Stream expansion --------------------------------------------------------

// Same stopping rules as expandCoefficients; raster must be zeroed.
void expandPacked(const std::uint8_t* sym, std::uint32_t symbolCount, const std::uint8_t* val,
                  std::uint32_t valueCount, int bits, std::int16_t* raster, std::size_t total) {
  std::size_t p = 0;
  std::uint32_t s = 0, v = 0;
  const unsigned mask = (1u << bits) - 1;
  std::uint64_t bitPos = 0;
  auto nextValue = [&]() -> unsigned {
    if (bits == 8) return val[v++];
    const std::size_t byte = std::size_t(bitPos >> 3);
    const unsigned shift = unsigned(bitPos & 7);
    unsigned x = val[byte] >> shift;
    if (shift + unsigned(bits) > 8) x |= unsigned(val[byte + 1]) << (8 - shift);
    bitPos += unsigned(bits);
    ++v;
    return x & mask;
  };
  // Whole bytes of four symbols while far from every limit.
  while (p < total && s < symbolCount) {
    const unsigned symbol = (sym[s >> 2] >> (2 * (s & 3))) & 3;
    ++s;
    switch (symbol) {
      case 0:
        ++p;
        break;
      case 1: {
        if (s >= symbolCount || v >= valueCount) return;
        const unsigned high = (sym[s >> 2] >> (2 * (s & 3))) & 3;
        ++s;
        const std::size_t run = (std::size_t(high) << bits) + nextValue() + 1;
        p += std::min(run, total - p);
        break;
      }
      default: {
        if (v >= valueCount) return;
        const int value = int(nextValue());
        raster[p++] = std::int16_t(symbol == 2 ? value : -value);
        break;
      }
    }
  }
}

// ---- The line rule -----------------------------------------------------------

// Pair i of a line: Out[2i], Out[2i + 1] from Lo[i − 2 .. i + 2] and
// Hi[i − 1 .. i + 1]; First means i == 1, Last means i == m − 2. Exactly the
// reference's expressions; the unused candidates are computed and dropped.
template <bool First, bool Last>
inline void innerPair(double lpp, double lp, double l, double ln, double lnn, double hp, double h,
                      double hn, double& e, double& o) {
  const double pe = kK * (l + h), po = kK * (l - h), kl = kK * l;
  const double se = kK * (0.8 * l + 0.2 * lp);
  const double so = kK * (0.8 * l + 0.2 * ln);
  const bool flat = h == 0;
  const bool smE = (hp == 0) & (l != ln) & (Last | (lnn != ln));
  const bool smO = (hn == 0) & (l != lp) & (First | (lpp != lp));
  const double ev = smE ? se : kl, ov = smO ? so : kl;
  e = flat ? ev : pe;
  o = flat ? ov : po;
}

// Vertical pass of one inner pair over count columns: row pointers for
// Lo[i − 2 .. i + 2], Hi[i − 1 .. i + 1]; outputs rows 2i and 2i + 1.
template <bool First, bool Last>
void verticalInner(int count, const double* __restrict lpp, const double* __restrict lp,
                   const double* __restrict l, const double* __restrict ln,
                   const double* __restrict lnn, const double* __restrict hp,
                   const double* __restrict h, const double* __restrict hn, double* __restrict e,
                   double* __restrict o) {
  for (int x = 0; x < count; ++x)
    innerPair<First, Last>(lpp[x], lp[x], l[x], ln[x], lnn[x], hp[x], h[x], hn[x], e[x], o[x]);
}

void verticalPlain(int count, const double* __restrict l, const double* __restrict h,
                   double* __restrict e, double* __restrict o) {
  for (int x = 0; x < count; ++x) {
    e[x] = kK * (l[x] + h[x]);
    o[x] = kK * (l[x] - h[x]);
  }
}

void verticalPair(int i, int m, int count, const double* const lo[5], const double* const hi[3],
                  double* e, double* o) {
  // lo[2] / hi[1] are rows i; the others are neighbours (valid pointers even
  // where the rule does not read them).
  if (i == 0 || i == m - 1) return verticalPlain(count, lo[2], hi[1], e, o);
  const bool first = i == 1, last = i == m - 2;
  if (first && last)
    verticalInner<true, true>(count, lo[0], lo[1], lo[2], lo[3], lo[4], hi[0], hi[1], hi[2], e, o);
  else if (first)
    verticalInner<true, false>(count, lo[0], lo[1], lo[2], lo[3], lo[4], hi[0], hi[1], hi[2], e, o);
  else if (last)
    verticalInner<false, true>(count, lo[0], lo[1], lo[2], lo[3], lo[4], hi[0], hi[1], hi[2], e, o);
  else
    verticalInner<false, false>(count, lo[0], lo[1], lo[2], lo[3], lo[4], hi[0], hi[1], hi[2], e,
                                o);
}

// Horizontal pass of one row: Lo = in[0 .. m), Hi = in[m .. 2m), out[0 .. 2m).
void horizontalRow(int m, const double* __restrict in, double* __restrict out) {
  const double* lo = in;
  const double* hi = in + m;
  out[0] = kK * (lo[0] + hi[0]);
  out[1] = kK * (lo[0] - hi[0]);
  if (m == 1) return;
  const int last = m - 1;
  if (m == 3) {
    // The only inner pair is both the first and the last one.
    innerPair<true, true>(0.0, lo[0], lo[1], lo[2], 0.0, hi[0], hi[1], hi[2], out[2], out[3]);
  } else if (m > 3) {
    innerPair<true, false>(0.0, lo[0], lo[1], lo[2], lo[3], hi[0], hi[1], hi[2], out[2], out[3]);
    for (int j = 2; j < m - 2; ++j)
      innerPair<false, false>(lo[j - 2], lo[j - 1], lo[j], lo[j + 1], lo[j + 2], hi[j - 1], hi[j],
                              hi[j + 1], out[2 * j], out[2 * j + 1]);
    const int j = m - 2;
    innerPair<false, true>(lo[j - 2], lo[j - 1], lo[j], lo[j + 1], 0.0, hi[j - 1], hi[j],
                           hi[j + 1], out[2 * j], out[2 * j + 1]);
  }
  out[2 * last] = kK * (lo[last] + hi[last]);
  out[2 * last + 1] = kK * (lo[last] - hi[last]);
}

// ---- One channel's synthesis ---------------------------------------------------

double reciprocal(double factor) { return factor == 0 ? 0.0 : 1.0 / factor; }

class ChannelSynthesis {
 public:
  ChannelSynthesis(const std::int16_t* raster, const double* table, int width, int height,
                   int levelCount)
      : raster_(raster), table_(table), w_(width), h_(height), n_(levelCount) {
    const std::size_t quarter = std::size_t(width / 2) * (height / 2);
    bufA_.reset(new double[quarter]);
    bufB_.reset(new double[quarter]);
    ringLo_.reset(new double[std::size_t(kLoRing) * (width / 2)]);
    ringHi_.reset(new double[std::size_t(kHiRing) * width]);
    rowE_.reset(new double[std::size_t(width)]);
    rowO_.reset(new double[std::size_t(width)]);
    // The coarsest low band, dequantised, is the first step's low quadrant.
    const int lw = w_ >> (n_ + 1), lh = h_ >> (n_ + 1);
    const double f = reciprocal(table_[n_ + 1]);
    prev_ = n_ % 2 == 1 ? bufB_.get() : bufA_.get();
    for (int y = 0; y < lh; ++y)
      for (int x = 0; x < lw; ++x) prev_[y * lw + x] = raster_[std::size_t(y) * w_ + x] * f;
  }

  // Starts the step that rebuilds the (width >> level) × (height >> level) band.
  void beginStep(int level) {
    level_ = level;
    bw_ = w_ >> level;
    bh_ = h_ >> level;
    m_ = bh_ / 2;
    f_ = reciprocal(table_[level]);
    loRows_ = hiRows_ = 0;
    out_ = (prev_ == bufA_.get()) ? bufB_.get() : bufA_.get();
  }

  // Rows 2i and 2i + 1 of the step's output into e and o (bw values each).
  void pair(int i, double* e, double* o) {
    const int half = bw_ / 2;
    const int top = std::min(i + 2, m_ - 1);
    while (loRows_ <= top) convertLo(loRows_++);
    const int bottom = std::min(i + 1, m_ - 1);
    while (hiRows_ <= bottom) convertHi(hiRows_++);
    auto clampRow = [&](int r) { return std::clamp(r, 0, m_ - 1); };
    const double* loLeft[5];
    const double* loRight[5];
    const double* hiRow[3];
    for (int d = -2; d <= 2; ++d) {
      const int r = clampRow(i + d);
      loLeft[d + 2] = prev_ + std::size_t(r) * half;
      loRight[d + 2] = ringLo_.get() + std::size_t(r % kLoRing) * half;
    }
    for (int d = -1; d <= 1; ++d)
      hiRow[d + 1] = ringHi_.get() + std::size_t(clampRow(i + d) % kHiRing) * bw_;
    const double* hiRight[3] = {hiRow[0] + half, hiRow[1] + half, hiRow[2] + half};
    verticalPair(i, m_, half, loLeft, hiRow, rowE_.get(), rowO_.get());
    verticalPair(i, m_, half, loRight, hiRight, rowE_.get() + half, rowO_.get() + half);
    horizontalRow(half, rowE_.get(), e);
    horizontalRow(half, rowO_.get(), o);
  }

  // Runs a whole inner step into the compact output buffer.
  void runStep(int level) {
    beginStep(level);
    for (int i = 0; i < m_; ++i)
      pair(i, out_ + std::size_t(2 * i) * bw_, out_ + std::size_t(2 * i + 1) * bw_);
    prev_ = out_;
  }

  // All steps but the last (level 0), which the caller drives pair by pair.
  void runInnerSteps() {
    for (int level = n_; level >= 1; --level) runStep(level);
    beginStep(0);
  }

 private:
  static constexpr int kLoRing = 8, kHiRing = 4;

  // Lo row r of the right half: the step's top-right detail quadrant.
  void convertLo(int r) {
    const int half = bw_ / 2;
    const std::int16_t* src = raster_ + std::size_t(r) * w_ + half;
    double* dst = ringLo_.get() + std::size_t(r % kLoRing) * half;
    for (int x = 0; x < half; ++x) dst[x] = src[x] * f_;
  }
  // Hi row r: the whole width of the step's bottom half.
  void convertHi(int r) {
    const std::int16_t* src = raster_ + std::size_t(m_ + r) * w_;
    double* dst = ringHi_.get() + std::size_t(r % kHiRing) * bw_;
    for (int x = 0; x < bw_; ++x) dst[x] = src[x] * f_;
  }

  const std::int16_t* raster_;
  const double* table_;
  int w_, h_, n_;
  int level_ = 0, bw_ = 0, bh_ = 0, m_ = 0, loRows_ = 0, hiRows_ = 0;
  double f_ = 0;
  std::unique_ptr<double[]> bufA_, bufB_, ringLo_, ringHi_, rowE_, rowO_;
  double* prev_ = nullptr;
  double* out_ = nullptr;
};

// ---- Byte conversion -------------------------------------------------------------

// realToByte, branch-free: adding and removing 1.5 × 2^52 rounds a value
// below 2^51 to an integer, halves to even (the default rounding mode, as
// nearbyint uses).
inline std::uint8_t toByte(double v) {
  constexpr double kMagic = 6755399441055744.0;
  const double r = (v + kMagic) - kMagic;
  double c = v > 0 ? r : 0.0;  // NaN fails the test too
  c = v >= 255 ? 255.0 : c;
  return std::uint8_t(int(c));
}

void storeGreyRow(int count, const double* __restrict row, std::uint8_t* __restrict out) {
  for (int x = 0; x < count; ++x) out[x] = toByte(row[x]);
}

void storeColorRow(int count, const double* __restrict y, const double* __restrict u,
                   const double* __restrict v, std::uint8_t* __restrict out) {
  for (int x = 0; x < count; ++x) {
    const double r = y[x] + 1.140251 * v[x];
    const double b = y[x] + 2.028398 * u[x];
    const double g = (y[x] - 0.3 * r - 0.11 * b) * 1.694915;
    out[4 * x + 0] = toByte(b);
    out[4 * x + 1] = toByte(g);
    out[4 * x + 2] = toByte(r);
    out[4 * x + 3] = 0;
  }
}

}  // namespace

void decodeFast(const std::uint8_t* data, const ImageHeader& h, std::uint8_t* out) {
  ImageLayout layout;
  validateImageHeader(h, ~std::uint64_t{0}, &layout);
  const int channels = h.bitsPerPixel == 24 ? 3 : 1;
  const int w = h.width, ht = h.height, n = h.levelCount;
  const std::size_t total = std::size_t(w) * ht;

  // Tables: read as doubles from their (unaligned) little-endian bytes.
  const std::uint8_t* cursor = data + kHeaderSize;
  std::vector<double> tables(std::size_t(channels) * (n + 2));
  for (double& t : tables) {
    t = readF64(cursor);
    cursor += 8;
  }
  std::unique_ptr<std::int16_t[]> rasters(new std::int16_t[total * channels]);
  std::memset(rasters.get(), 0, sizeof(std::int16_t) * total * channels);
  for (int c = 0; c < channels; ++c) {
    const std::uint8_t* symbols = cursor;
    cursor += layout.symbolBytes[c];
    const std::uint8_t* values = cursor;
    cursor += layout.valueBytes[c];
    expandPacked(symbols, h.symbolCount[c], values, h.valueCount[c], h.valueBits[c],
                 rasters.get() + total * c, total);
  }

  std::vector<std::unique_ptr<ChannelSynthesis>> synth;
  for (int c = 0; c < channels; ++c) {
    synth.push_back(std::make_unique<ChannelSynthesis>(rasters.get() + total * c,
                                                       tables.data() + std::size_t(c) * (n + 2),
                                                       w, ht, n));
    synth.back()->runInnerSteps();
  }
  std::unique_ptr<double[]> rows(new double[std::size_t(w) * 2 * channels]);
  for (int i = 0; i < ht / 2; ++i) {
    for (int c = 0; c < channels; ++c) {
      double* even = rows.get() + std::size_t(w) * (2 * c);
      synth[std::size_t(c)]->pair(i, even, even + w);
    }
    for (int r = 0; r < 2; ++r) {
      const std::size_t y = std::size_t(2 * i + r);
      if (channels == 1) {
        storeGreyRow(w, rows.get() + std::size_t(w) * r, out + y * w);
      } else {
        storeColorRow(w, rows.get() + std::size_t(w) * r, rows.get() + std::size_t(w) * (2 + r),
                      rows.get() + std::size_t(w) * (4 + r), out + y * w * 4);
      }
    }
  }
}

}  // namespace codec::detail
