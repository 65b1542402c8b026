// The fast decoder's row kernels for processors with AVX2 (four doubles a
// vector). Built with -mavx2 only; chosen at run time by synthesisKernels().
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "codec/detail/synthesis_kernels.h"

namespace codec::detail {

namespace {

struct V {
  using T = __m256d;
  static constexpr int kLanes = 4;
  static T load(const double* p) { return _mm256_loadu_pd(p); }
  static void store(double* p, T v) { _mm256_storeu_pd(p, v); }
  static T set1(double v) { return _mm256_set1_pd(v); }
  static T add(T a, T b) { return _mm256_add_pd(a, b); }
  static T sub(T a, T b) { return _mm256_sub_pd(a, b); }
  static T mul(T a, T b) { return _mm256_mul_pd(a, b); }
  static T eq(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
  static T ne(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_NEQ_UQ); }  // true for NaN, as !=
  static T gt(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
  static T ge(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
  static T band(T a, T b) { return _mm256_and_pd(a, b); }
  static T bor(T a, T b) { return _mm256_or_pd(a, b); }
  // maxpd returns its second operand when the first is NaN.
  static T max0(T v) { return _mm256_max_pd(v, _mm256_setzero_pd()); }
  static T min(T a, T b) { return _mm256_min_pd(a, b); }
  static T select(T mask, T yes, T no) { return _mm256_blendv_pd(no, yes, mask); }
  static void storePairs(double* out, T e, T o) {
    const T lo = _mm256_unpacklo_pd(e, o), hi = _mm256_unpackhi_pd(e, o);  // e0 o0 e2 o2 | e1 o1 e3 o3
    _mm256_storeu_pd(out, _mm256_permute2f128_pd(lo, hi, 0x20));
    _mm256_storeu_pd(out + 4, _mm256_permute2f128_pd(lo, hi, 0x31));
  }
  static T fromI16(const std::int16_t* p) {
    return _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
  }
  static void storeGrey(std::uint8_t* out, T v) {
    const __m128i i = _mm256_cvtpd_epi32(v);
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(i, i), i);
    const int word = _mm_cvtsi128_si32(bytes);
    std::memcpy(out, &word, 4);
  }
  static void storeBgr0(std::uint8_t* out, T b, T g, T r) {
    const __m128i bi = _mm256_cvtpd_epi32(b), gi = _mm256_cvtpd_epi32(g),
                  ri = _mm256_cvtpd_epi32(r);
    const __m128i bgr = _mm_or_si128(bi, _mm_or_si128(_mm_slli_epi32(gi, 8), _mm_slli_epi32(ri, 16)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bgr);
  }
};

#include "codec/detail/synthesis_kernels.inc"

}  // namespace

extern const SynthesisKernels avx2Kernels = kernelTable<V>();

}  // namespace codec::detail
