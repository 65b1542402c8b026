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
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codec/detail/fast_decoder.h"
#include "codec/detail/io.h"

namespace codec::detail {

namespace {

constexpr double kK = 0.7071067811865476;

// ---- Stream expansion --------------------------------------------------------

// Same stopping rules as expandCoefficients; every position the streams do
// not reach is set to 0.
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
  while (p < total && s < symbolCount) {
    const unsigned symbol = (sym[s >> 2] >> (2 * (s & 3))) & 3;
    ++s;
    switch (symbol) {
      case 0:
        raster[p++] = 0;
        break;
      case 1: {
        if (s >= symbolCount || v >= valueCount) {
          s = symbolCount;  // a run without its high part or value ends the streams
          break;
        }
        const unsigned high = (sym[s >> 2] >> (2 * (s & 3))) & 3;
        ++s;
        const std::size_t run = (std::size_t(high) << bits) + nextValue() + 1;
        const std::size_t n = std::min(run, total - p);
        std::memset(raster + p, 0, n * sizeof *raster);
        p += n;
        break;
      }
      default: {
        if (v >= valueCount) {
          s = symbolCount;  // so does a symbol without its value
          break;
        }
        const int value = int(nextValue());
        raster[p++] = std::int16_t(symbol == 2 ? value : -value);
        break;
      }
    }
  }
  std::memset(raster + p, 0, (total - p) * sizeof *raster);
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

#if defined(__SSE2__)
// Two lanes of innerPair: the same operations on each lane, selects by mask.
template <bool First, bool Last>
inline void innerPair2(__m128d lpp, __m128d lp, __m128d l, __m128d ln, __m128d lnn, __m128d hp,
                       __m128d h, __m128d hn, __m128d& e, __m128d& o) {
  const __m128d k = _mm_set1_pd(kK), zero = _mm_setzero_pd();
  const __m128d p8 = _mm_set1_pd(0.8), p2 = _mm_set1_pd(0.2);
  const __m128d pe = _mm_mul_pd(k, _mm_add_pd(l, h)), po = _mm_mul_pd(k, _mm_sub_pd(l, h));
  const __m128d kl = _mm_mul_pd(k, l);
  const __m128d a = _mm_mul_pd(p8, l);
  const __m128d se = _mm_mul_pd(k, _mm_add_pd(a, _mm_mul_pd(p2, lp)));
  const __m128d so = _mm_mul_pd(k, _mm_add_pd(a, _mm_mul_pd(p2, ln)));
  const __m128d flat = _mm_cmpeq_pd(h, zero);
  __m128d smE = _mm_and_pd(_mm_cmpeq_pd(hp, zero), _mm_cmpneq_pd(l, ln));
  if (!Last) smE = _mm_and_pd(smE, _mm_cmpneq_pd(lnn, ln));
  __m128d smO = _mm_and_pd(_mm_cmpeq_pd(hn, zero), _mm_cmpneq_pd(l, lp));
  if (!First) smO = _mm_and_pd(smO, _mm_cmpneq_pd(lpp, lp));
  auto select = [](__m128d mask, __m128d yes, __m128d no) {
    return _mm_or_pd(_mm_and_pd(mask, yes), _mm_andnot_pd(mask, no));
  };
  e = select(flat, select(smE, se, kl), pe);
  o = select(flat, select(smO, so, kl), po);
}
#endif

// Vertical pass of one inner pair over count columns: row pointers for
// Lo[i − 2 .. i + 2], Hi[i − 1 .. i + 1]; outputs rows 2i and 2i + 1.
template <bool First, bool Last>
void verticalInner(int count, const double* __restrict lpp, const double* __restrict lp,
                   const double* __restrict l, const double* __restrict ln,
                   const double* __restrict lnn, const double* __restrict hp,
                   const double* __restrict h, const double* __restrict hn, double* __restrict e,
                   double* __restrict o) {
  int x = 0;
#if defined(__SSE2__)
  for (; x + 2 <= count; x += 2) {
    __m128d ev, ov;
    innerPair2<First, Last>(_mm_loadu_pd(lpp + x), _mm_loadu_pd(lp + x), _mm_loadu_pd(l + x),
                            _mm_loadu_pd(ln + x), _mm_loadu_pd(lnn + x), _mm_loadu_pd(hp + x),
                            _mm_loadu_pd(h + x), _mm_loadu_pd(hn + x), ev, ov);
    _mm_storeu_pd(e + x, ev);
    _mm_storeu_pd(o + x, ov);
  }
#endif
  for (; x < count; ++x)
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
    int j = 2;
#if defined(__SSE2__)
    for (; j + 2 <= m - 2; j += 2) {
      __m128d ev, ov;
      innerPair2<false, false>(_mm_loadu_pd(lo + j - 2), _mm_loadu_pd(lo + j - 1),
                               _mm_loadu_pd(lo + j), _mm_loadu_pd(lo + j + 1),
                               _mm_loadu_pd(lo + j + 2), _mm_loadu_pd(hi + j - 1),
                               _mm_loadu_pd(hi + j), _mm_loadu_pd(hi + j + 1), ev, ov);
      _mm_storeu_pd(out + 2 * j, _mm_unpacklo_pd(ev, ov));
      _mm_storeu_pd(out + 2 * j + 2, _mm_unpackhi_pd(ev, ov));
    }
#endif
    for (; j < m - 2; ++j)
      innerPair<false, false>(lo[j - 2], lo[j - 1], lo[j], lo[j + 1], lo[j + 2], hi[j - 1], hi[j],
                              hi[j + 1], out[2 * j], out[2 * j + 1]);
    j = m - 2;
    innerPair<false, true>(lo[j - 2], lo[j - 1], lo[j], lo[j + 1], 0.0, hi[j - 1], hi[j],
                           hi[j + 1], out[2 * j], out[2 * j + 1]);
  }
  out[2 * last] = kK * (lo[last] + hi[last]);
  out[2 * last + 1] = kK * (lo[last] - hi[last]);
}

// ---- Working memory ------------------------------------------------------------

// One block per thread, kept between decodes up to kKeptBytes: the textures
// of a start-up are decoded one after another, and fresh pages for every one
// of them cost as much as the synthesis itself.
constexpr std::size_t kKeptBytes = std::size_t(16) << 20;

class Workspace {
 public:
  // A block of at least `bytes`, 64-byte aligned; contents undefined.
  std::byte* acquire(std::size_t bytes) {
    if (bytes > size_) {
      block_.reset();
      block_.reset(new std::byte[bytes + 64]);
      size_ = bytes;
    }
    auto address = reinterpret_cast<std::uintptr_t>(block_.get());
    return block_.get() + ((64 - address % 64) % 64);
  }
  void release() {
    if (size_ > kKeptBytes) {
      block_.reset();
      size_ = 0;
    }
  }

 private:
  std::unique_ptr<std::byte[]> block_;
  std::size_t size_ = 0;
};

thread_local Workspace workspace;

// Hands out 64-byte aligned pieces of a block in order.
class Carver {
 public:
  explicit Carver(std::byte* base) : base_(base) {}
  template <class T>
  T* take(std::size_t count) {
    T* p = reinterpret_cast<T*>(base_ + used_);
    used_ += (count * sizeof(T) + 63) / 64 * 64;
    return p;
  }
  std::size_t used() const { return used_; }

 private:
  std::byte* base_;
  std::size_t used_ = 0;
};

// ---- One channel's synthesis ---------------------------------------------------

double reciprocal(double factor) { return factor == 0 ? 0.0 : 1.0 / factor; }

class ChannelSynthesis {
 public:
  // Working memory for one channel, carved from `memory` (pass a Carver
  // over nullptr to measure).
  static void carve(Carver& memory, int width, int height, double** parts) {
    const std::size_t quarter = std::size_t(width / 2) * (height / 2);
    parts[0] = memory.take<double>(quarter);      // outputs of odd levels
    parts[1] = memory.take<double>(quarter / 4);  // outputs of even levels >= 2
    parts[2] = memory.take<double>(std::size_t(kLoRing) * (width / 2));
    parts[3] = memory.take<double>(std::size_t(kHiRing) * width);
    parts[4] = memory.take<double>(std::size_t(width));
    parts[5] = memory.take<double>(std::size_t(width));
  }

  ChannelSynthesis(const std::int16_t* raster, const double* table, int width, int height,
                   int levelCount, Carver& memory)
      : raster_(raster), table_(table), w_(width), h_(height), n_(levelCount) {
    double* parts[6];
    carve(memory, width, height, parts);
    bufA_ = parts[0];
    bufB_ = parts[1];
    ringLo_ = parts[2];
    ringHi_ = parts[3];
    rowE_ = parts[4];
    rowO_ = parts[5];
    // The coarsest low band, dequantised, is the first step's low quadrant;
    // it and the steps' outputs alternate between the two buffers so that
    // the level-1 output (a quarter of the image) lands in the larger one.
    const int lw = w_ >> (n_ + 1), lh = h_ >> (n_ + 1);
    const double f = reciprocal(table_[n_ + 1]);
    prev_ = n_ % 2 == 0 ? bufA_ : bufB_;
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
    out_ = level % 2 == 1 ? bufA_ : bufB_;
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
      loRight[d + 2] = ringLo_ + std::size_t(r % kLoRing) * half;
    }
    for (int d = -1; d <= 1; ++d)
      hiRow[d + 1] = ringHi_ + std::size_t(clampRow(i + d) % kHiRing) * bw_;
    const double* hiRight[3] = {hiRow[0] + half, hiRow[1] + half, hiRow[2] + half};
    verticalPair(i, m_, half, loLeft, hiRow, rowE_, rowO_);
    verticalPair(i, m_, half, loRight, hiRight, rowE_ + half, rowO_ + half);
    horizontalRow(half, rowE_, e);
    horizontalRow(half, rowO_, o);
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
    double* dst = ringLo_ + std::size_t(r % kLoRing) * half;
    for (int x = 0; x < half; ++x) dst[x] = src[x] * f_;
  }
  // Hi row r: the whole width of the step's bottom half.
  void convertHi(int r) {
    const std::int16_t* src = raster_ + std::size_t(m_ + r) * w_;
    double* dst = ringHi_ + std::size_t(r % kHiRing) * bw_;
    for (int x = 0; x < bw_; ++x) dst[x] = src[x] * f_;
  }

  const std::int16_t* raster_;
  const double* table_;
  int w_, h_, n_;
  int level_ = 0, bw_ = 0, bh_ = 0, m_ = 0, loRows_ = 0, hiRows_ = 0;
  double f_ = 0;
  double *bufA_, *bufB_, *ringLo_, *ringHi_, *rowE_, *rowO_;
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

#if defined(__SSE2__)
// toByte on two lanes, as 32-bit integers in the low half.
inline __m128i toBytes2(__m128d v) {
  const __m128d magic = _mm_set1_pd(6755399441055744.0), top = _mm_set1_pd(255.0);
  const __m128d r = _mm_sub_pd(_mm_add_pd(v, magic), magic);
  __m128d c = _mm_and_pd(_mm_cmpgt_pd(v, _mm_setzero_pd()), r);
  const __m128d high = _mm_cmpge_pd(v, top);
  c = _mm_or_pd(_mm_and_pd(high, top), _mm_andnot_pd(high, c));
  return _mm_cvttpd_epi32(c);
}
// Four lanes from two pairs: 32-bit integers 0 .. 255.
inline __m128i toBytes4(__m128d a, __m128d b) {
  return _mm_unpacklo_epi64(toBytes2(a), toBytes2(b));
}
#endif

void storeGreyRow(int count, const double* __restrict row, std::uint8_t* __restrict out) {
  int x = 0;
#if defined(__SSE2__)
  for (; x + 4 <= count; x += 4) {
    const __m128i v = toBytes4(_mm_loadu_pd(row + x), _mm_loadu_pd(row + x + 2));
    const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(v, v), _mm_setzero_si128());
    const int word = _mm_cvtsi128_si32(packed);
    std::memcpy(out + x, &word, 4);
  }
#endif
  for (; x < count; ++x) out[x] = toByte(row[x]);
}

// The colour conversion, in the reference's order of operations.
void storeColorRow(int count, const double* __restrict y, const double* __restrict u,
                   const double* __restrict v, std::uint8_t* __restrict out) {
  int x = 0;
#if defined(__SSE2__)
  const __m128d cv = _mm_set1_pd(1.140251), cu = _mm_set1_pd(2.028398);
  const __m128d c3 = _mm_set1_pd(0.3), c11 = _mm_set1_pd(0.11), cg = _mm_set1_pd(1.694915);
  for (; x + 4 <= count; x += 4) {
    __m128d r[2], g[2], b[2];
    for (int k = 0; k < 2; ++k) {
      const __m128d yy = _mm_loadu_pd(y + x + 2 * k);
      r[k] = _mm_add_pd(yy, _mm_mul_pd(cv, _mm_loadu_pd(v + x + 2 * k)));
      b[k] = _mm_add_pd(yy, _mm_mul_pd(cu, _mm_loadu_pd(u + x + 2 * k)));
      g[k] = _mm_mul_pd(_mm_sub_pd(_mm_sub_pd(yy, _mm_mul_pd(c3, r[k])), _mm_mul_pd(c11, b[k])), cg);
    }
    const __m128i bi = toBytes4(b[0], b[1]), gi = toBytes4(g[0], g[1]), ri = toBytes4(r[0], r[1]);
    const __m128i bgr =
        _mm_or_si128(bi, _mm_or_si128(_mm_slli_epi32(gi, 8), _mm_slli_epi32(ri, 16)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), bgr);
  }
#endif
  for (; x < count; ++x) {
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

  // Working memory: tables, rasters, each channel's synthesis buffers and
  // the two output rows of every channel.
  auto layoutMemory = [&](Carver& memory, double** tables, std::int16_t** rasters,
                          double** rows) {
    *tables = memory.take<double>(std::size_t(channels) * (n + 2));
    *rasters = memory.take<std::int16_t>(total * channels);
    for (int c = 0; c < channels; ++c) {
      double* parts[6];
      ChannelSynthesis::carve(memory, w, ht, parts);
    }
    *rows = memory.take<double>(std::size_t(w) * 2 * channels);
  };
  double* tables;
  std::int16_t* rasters;
  double* rows;
  Carver measure(nullptr);
  layoutMemory(measure, &tables, &rasters, &rows);
  std::byte* block = workspace.acquire(measure.used());
  Carver memory(block);
  layoutMemory(memory, &tables, &rasters, &rows);
  Carver channelMemory(block);  // the channels' parts again, in the same order
  channelMemory.take<double>(std::size_t(channels) * (n + 2));
  channelMemory.take<std::int16_t>(total * channels);

  const std::uint8_t* cursor = data + kHeaderSize;
  for (int i = 0; i < channels * (n + 2); ++i, cursor += 8) tables[i] = readF64(cursor);
  for (int c = 0; c < channels; ++c) {
    const std::uint8_t* symbols = cursor;
    cursor += layout.symbolBytes[c];
    const std::uint8_t* values = cursor;
    cursor += layout.valueBytes[c];
    expandPacked(symbols, h.symbolCount[c], values, h.valueCount[c], h.valueBits[c],
                 rasters + total * c, total);
  }

  std::optional<ChannelSynthesis> synth[3];
  for (int c = 0; c < channels; ++c) {
    synth[c].emplace(rasters + total * c, tables + std::size_t(c) * (n + 2), w, ht, n,
                     channelMemory);
    synth[c]->runInnerSteps();
  }
  for (int i = 0; i < ht / 2; ++i) {
    for (int c = 0; c < channels; ++c) {
      double* even = rows + std::size_t(w) * (2 * c);
      synth[c]->pair(i, even, even + w);
    }
    for (int r = 0; r < 2; ++r) {
      const std::size_t y = std::size_t(2 * i + r);
      if (channels == 1) {
        storeGreyRow(w, rows + std::size_t(w) * r, out + y * w);
      } else {
        storeColorRow(w, rows + std::size_t(w) * r, rows + std::size_t(w) * (2 + r),
                      rows + std::size_t(w) * (4 + r), out + y * w * 4);
      }
    }
  }
  workspace.release();
}

}  // namespace codec::detail
