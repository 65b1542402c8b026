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
// The row kernels (synthesis_kernels.inc) work on vectors of doubles with
// selects instead of branches: SSE2 here, AVX2 in fast_kernels_avx2.cpp when
// the processor has it. Lanes are independent, so the results do not depend
// on the vector width.
#include <algorithm>
#include <bit>
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
#include "codec/detail/synthesis_kernels.h"

namespace codec::detail {

namespace {


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
    // Four symbols at once, without branches, when none of them is a run and
    // every limit is at least four away (8-bit values only: plain bytes).
    if (bits == 8 && std::uint64_t(s) + 8 <= symbolCount && p + 4 <= total &&
        std::uint64_t(v) + 4 <= valueCount) {
      const unsigned at = s >> 2;
      const unsigned window = ((sym[at] | (unsigned(sym[at + 1]) << 8)) >> (2 * (s & 3))) & 0xFF;
      if ((window & 0x55 & ~(window >> 1)) == 0) {  // no pair is 01
        for (int j = 0; j < 4; ++j) {
          const unsigned symbol = (window >> (2 * j)) & 3;
          const unsigned nonzero = symbol >> 1;  // 2 or 3
          const int value = int(val[v]) * int(nonzero);
          raster[p + std::size_t(j)] = std::int16_t((symbol & 1) ? -value : value);
          v += nonzero;
        }
        s += 4;
        p += 4;
        continue;
      }
    }
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

// ---- Row kernels ----------------------------------------------------------------

#if defined(__SSE2__)
struct V {
  using T = __m128d;
  static constexpr int kLanes = 2;
  static T load(const double* p) { return _mm_loadu_pd(p); }
  static void store(double* p, T v) { _mm_storeu_pd(p, v); }
  static T set1(double v) { return _mm_set1_pd(v); }
  static T add(T a, T b) { return _mm_add_pd(a, b); }
  static T sub(T a, T b) { return _mm_sub_pd(a, b); }
  static T mul(T a, T b) { return _mm_mul_pd(a, b); }
  static T eq(T a, T b) { return _mm_cmpeq_pd(a, b); }
  static T ne(T a, T b) { return _mm_cmpneq_pd(a, b); }  // true for NaN, as !=
  static T gt(T a, T b) { return _mm_cmpgt_pd(a, b); }
  static T ge(T a, T b) { return _mm_cmpge_pd(a, b); }
  static T band(T a, T b) { return _mm_and_pd(a, b); }
  static T bor(T a, T b) { return _mm_or_pd(a, b); }
  // maxpd returns its second operand when the first is NaN.
  static T max0(T v) { return _mm_max_pd(v, _mm_setzero_pd()); }
  static T min(T a, T b) { return _mm_min_pd(a, b); }
  static T select(T mask, T yes, T no) { return _mm_or_pd(_mm_and_pd(mask, yes), _mm_andnot_pd(mask, no)); }
  static void storePairs(double* out, T e, T o) {
    _mm_storeu_pd(out, _mm_unpacklo_pd(e, o));
    _mm_storeu_pd(out + 2, _mm_unpackhi_pd(e, o));
  }
  static T fromI16(const std::int16_t* p) {
    std::int32_t two;
    std::memcpy(&two, p, 4);
    const __m128i x = _mm_cvtsi32_si128(two);
    return _mm_cvtepi32_pd(_mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16));
  }
  static void storeGrey(std::uint8_t* out, T v) {
    const __m128i i = _mm_cvtpd_epi32(v);
    const int word = _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(i, i), i));
    std::memcpy(out, &word, 2);
  }
  static void storeBgr0(std::uint8_t* out, T b, T g, T r) {
    const __m128i bi = _mm_cvtpd_epi32(b), gi = _mm_cvtpd_epi32(g), ri = _mm_cvtpd_epi32(r);
    const __m128i bgr = _mm_or_si128(bi, _mm_or_si128(_mm_slli_epi32(gi, 8), _mm_slli_epi32(ri, 16)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bgr);
  }
};
#else
// One lane; masks are all-ones or all-zero bit patterns, as in the vector sets.
struct V {
  using T = double;
  static constexpr int kLanes = 1;
  static T mask(bool b) { return std::bit_cast<double>(b ? ~std::uint64_t{0} : std::uint64_t{0}); }
  static std::uint64_t bits(T v) { return std::bit_cast<std::uint64_t>(v); }
  static T load(const double* p) { return *p; }
  static void store(double* p, T v) { *p = v; }
  static T set1(double v) { return v; }
  static T add(T a, T b) { return a + b; }
  static T sub(T a, T b) { return a - b; }
  static T mul(T a, T b) { return a * b; }
  static T eq(T a, T b) { return mask(a == b); }
  static T ne(T a, T b) { return mask(a != b); }
  static T gt(T a, T b) { return mask(a > b); }
  static T ge(T a, T b) { return mask(a >= b); }
  static T band(T a, T b) { return std::bit_cast<double>(bits(a) & bits(b)); }
  static T bor(T a, T b) { return std::bit_cast<double>(bits(a) | bits(b)); }
  static T select(T m, T yes, T no) { return bits(m) ? yes : no; }
  static void storePairs(double* out, T e, T o) { out[0] = e, out[1] = o; }
  static T fromI16(const std::int16_t* p) { return double(*p); }
  static T max0(T v) { return v > 0 ? v : 0.0; }
  static T min(T a, T b) { return a < b ? a : b; }
  // Rounds 0 .. 255 to nearest, halves to even (1.5 × 2^52 trick).
  static std::uint8_t round(T v) { return std::uint8_t(int((v + 6755399441055744.0) - 6755399441055744.0)); }
  static void storeGrey(std::uint8_t* out, T v) { *out = round(v); }
  static void storeBgr0(std::uint8_t* out, T b, T g, T r) {
    out[0] = round(b), out[1] = round(g), out[2] = round(r), out[3] = 0;
  }
};
#endif

#include "codec/detail/synthesis_kernels.inc"

constexpr SynthesisKernels kBaselineKernels = kernelTable<V>();

const SynthesisKernels* automaticKernels() {
#if defined(VOLTRA_CODEC_AVX2)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return &avx2Kernels;
#endif
  return &kBaselineKernels;
}

const SynthesisKernels* chosenKernels = nullptr;

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
      size_ = 0;  // stays consistent if the allocation throws
      block_.reset(new std::byte[bytes + 64]);
      size_ = bytes;
    }
    auto address = reinterpret_cast<std::uintptr_t>(block_.get());
    return block_.get() + ((64 - address % 64) % 64);
  }
  void releaseAll() {
    block_.reset();
    size_ = 0;
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

// Hands out 64-byte aligned pieces of a block in order (over no block it
// only measures).
class Carver {
 public:
  explicit Carver(std::byte* base) : base_(base) {}
  template <class T>
  T* take(std::size_t count) {
    T* p = base_ ? reinterpret_cast<T*>(base_ + used_) : nullptr;
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
      for (int x = 0; x < lw; ++x)
        prev_[std::size_t(y) * lw + x] = raster_[std::size_t(y) * w_ + x] * f;
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
    kernels_.verticalPair(i, m_, half, loLeft, hiRow, rowE_, rowO_);
    kernels_.verticalPair(i, m_, half, loRight, hiRight, rowE_ + half, rowO_ + half);
    kernels_.horizontalRow(half, rowE_, e);
    kernels_.horizontalRow(half, rowO_, o);
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
    kernels_.convertRow(half, src, f_, dst);
  }
  // Hi row r: the whole width of the step's bottom half.
  void convertHi(int r) {
    const std::int16_t* src = raster_ + std::size_t(m_ + r) * w_;
    double* dst = ringHi_ + std::size_t(r % kHiRing) * bw_;
    kernels_.convertRow(bw_, src, f_, dst);
  }

  const SynthesisKernels& kernels_ = synthesisKernels();
  const std::int16_t* raster_;
  const double* table_;
  int w_, h_, n_;
  int level_ = 0, bw_ = 0, bh_ = 0, m_ = 0, loRows_ = 0, hiRows_ = 0;
  double f_ = 0;
  double *bufA_, *bufB_, *ringLo_, *ringHi_, *rowE_, *rowO_;
  double* prev_ = nullptr;
  double* out_ = nullptr;
};

}  // namespace

const SynthesisKernels& synthesisKernels() {
  static const SynthesisKernels* const automatic = automaticKernels();
  return chosenKernels ? *chosenKernels : *automatic;
}

bool selectKernels(KernelSet set) {
  switch (set) {
    case KernelSet::automatic:
      chosenKernels = nullptr;
      return true;
    case KernelSet::baseline:
      chosenKernels = &kBaselineKernels;
      return true;
    case KernelSet::avx2:
#if defined(VOLTRA_CODEC_AVX2)
      __builtin_cpu_init();
      if (__builtin_cpu_supports("avx2")) {
        chosenKernels = &avx2Kernels;
        return true;
      }
#endif
      return false;
  }
  return false;
}

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

  const SynthesisKernels& kernels = synthesisKernels();
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
        kernels.storeGreyRow(w, rows + std::size_t(w) * r, out + y * w);
      } else {
        kernels.storeColorRow(w, rows + std::size_t(w) * r, rows + std::size_t(w) * (2 + r),
                      rows + std::size_t(w) * (4 + r), out + y * w * 4);
      }
    }
  }
  workspace.release();
}

}  // namespace codec::detail

namespace codec {

void releaseDecoderWorkspace() { detail::workspace.releaseAll(); }

}  // namespace codec
