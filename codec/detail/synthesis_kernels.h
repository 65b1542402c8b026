// The fast decoder's row kernels behind one table, so that the instruction
// set can be chosen when the program runs (the binaries must run on any
// x86-64). Internal to the codec library.
#pragma once

#include <cstdint>

namespace codec::detail {

struct SynthesisKernels {
  // Vertical pass of pair i (of m) over count columns; lo: rows i−2 .. i+2,
  // hi: rows i−1 .. i+1 (clamped to valid rows); writes rows 2i, 2i+1.
  void (*verticalPair)(int i, int m, int count, const double* const lo[5],
                       const double* const hi[3], double* even, double* odd);
  // Horizontal pass of one row of 2m values into out.
  void (*horizontalRow)(int m, const double* in, double* out);
  // dst = src × factor.
  void (*convertRow)(int count, const std::int16_t* src, double factor, double* dst);
  void (*storeGreyRow)(int count, const double* row, std::uint8_t* out);
  void (*storeColorRow)(int count, const double* y, const double* u, const double* v,
                        std::uint8_t* out);
};

// The kernels for this processor: AVX2 where the codec was built with them
// and the processor has them, else SSE2 (or plain scalar code off x86).
const SynthesisKernels& synthesisKernels();

// For tests: which sets exist here, and forcing one (false when it cannot
// run on this processor). "auto" returns to the automatic choice.
enum class KernelSet { automatic, baseline, avx2 };
bool selectKernels(KernelSet set);

#if defined(VOLTRA_CODEC_AVX2)
extern const SynthesisKernels avx2Kernels;
#endif

}  // namespace codec::detail
