// Quality measures and the parameter search behind `kpx encode --psnr` and
// `--max-bytes`: level count, value widths and threshold chosen for a target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codec/wavelet.h"
#include "png_io.h"

namespace kpx {

// PSNR in dB of decoded output (grey bytes, or B,G,R,0 pixels) against the
// source picture (grey or R,G,B as its flag says); infinity when equal.
double psnr(const Picture& source, const std::vector<std::uint8_t>& decoded);

// The largest level count the picture's size allows (capped at `cap`), or -1
// when a side is odd.
int maxLevelCount(int width, int height, int cap = 16);

struct Trial {
  codec::EncodeParams params{};
  std::size_t bytes = 0;
  double psnr = 0;
};

struct SearchResult {
  bool reached = false;  // a trial meets the target
  Trial best;            // the chosen trial when reached, else the closest one
  int trials = 0;        // how many encodings were tried
};

// Encodes and decodes picture with params; the transform of each level count
// is computed once and reused across trials.
class TrialEncoder {
 public:
  explicit TrialEncoder(const Picture& picture);
  // False with reason for parameters the picture's size does not allow.
  bool run(const codec::EncodeParams& params, Trial& trial, std::string* reason,
           std::vector<std::uint8_t>* file = nullptr);

 private:
  const Picture& picture_;
  std::vector<std::vector<double>> planes_;                   // per channel, as reals
  std::vector<std::optional<std::vector<std::vector<double>>>> transforms_;  // per level count
};

// Fewest bytes with PSNR >= targetDb; else the best reachable PSNR.
SearchResult searchForPsnr(const Picture& picture, double targetDb);
// Best PSNR within maxBytes; else the smallest reachable size.
SearchResult searchForSize(const Picture& picture, std::size_t maxBytes);

std::string describe(const codec::EncodeParams& params);

}  // namespace kpx
