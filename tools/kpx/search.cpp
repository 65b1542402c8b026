#include "search.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "codec/detail/writer_internal.h"

namespace kpx {

double psnr(const Picture& source, const std::vector<std::uint8_t>& decoded) {
  const std::size_t count = std::size_t(source.width) * source.height;
  double sum = 0;
  if (source.grey) {
    for (std::size_t i = 0; i < count; ++i) {
      const double d = double(source.pixels[i]) - decoded[i];
      sum += d * d;
    }
  } else {
    for (std::size_t i = 0; i < count; ++i)
      for (int c = 0; c < 3; ++c) {
        const double d = double(source.pixels[3 * i + c]) - decoded[4 * i + 2 - c];
        sum += d * d;
      }
  }
  const double mse = sum / double(count * (source.grey ? 1 : 3));
  if (mse == 0) return std::numeric_limits<double>::infinity();
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

int maxLevelCount(int width, int height, int cap) {
  int n = -1;
  while (n < cap && width % (2L << (n + 1)) == 0 && height % (2L << (n + 1)) == 0) ++n;
  return n;
}

TrialEncoder::TrialEncoder(const Picture& picture) : picture_(picture) {
  const int channels = picture.grey ? 1 : 3;
  const std::size_t count = std::size_t(picture.width) * picture.height;
  planes_.resize(channels);
  for (int c = 0; c < channels; ++c) {
    planes_[c].resize(count);
    for (std::size_t i = 0; i < count; ++i) planes_[c][i] = picture.pixels[channels * i + c];
  }
  transforms_.resize(codec::kMaxLevelCount + 1);
}

bool TrialEncoder::run(const codec::EncodeParams& params, Trial& trial, std::string* reason,
                       std::vector<std::uint8_t>* file) {
  const int w = picture_.width, h = picture_.height, n = params.levelCount;
  const int bpp = picture_.grey ? 8 : 24;
  const int bits[3] = {params.valueBits[0], params.valueBits[1], params.valueBits[2]};
  const std::string problem = codec::checkEncodeGeometry(w, h, bpp, n, bits);
  if (!problem.empty()) {
    if (reason) *reason = problem;
    return false;
  }
  const std::size_t count = std::size_t(w) * h;
  auto& cached = transforms_[std::size_t(n)];
  if (!cached) {
    std::vector<std::vector<double>> t(planes_.size(), std::vector<double>(count));
    if (picture_.grey)
      codec::forwardHaar(planes_[0].data(), t[0].data(), w, h, w, h, n);
    else
      codec::forwardHaarColor(planes_[0].data(), planes_[1].data(), planes_[2].data(),
                              t[0].data(), t[1].data(), t[2].data(), w, h, w, h, n);
    cached = std::move(t);
  }
  std::vector<std::int32_t> rasters[3];
  std::vector<double> tables[3];
  std::vector<double> work;
  for (std::size_t c = 0; c < planes_.size(); ++c) {
    work = (*cached)[c];
    if (params.threshold >= 0) codec::thresholdDetails(work.data(), params.threshold, w, h, n);
    rasters[c].resize(count);
    tables[c].resize(std::size_t(n) + 2);
    codec::quantizePlane(work.data(), rasters[c].data(), w, h, n, bits[c], tables[c].data());
  }
  const std::int32_t* r[3] = {rasters[0].data(), rasters[1].data(), rasters[2].data()};
  const double* t[3] = {tables[0].data(), tables[1].data(), tables[2].data()};
  std::vector<std::uint8_t> bytes = codec::detail::buildWaveletImage(r, w, h, bpp, n, t, bits);
  std::vector<std::uint8_t> pixels;
  codec::ImageHeader header;
  const codec::LoadResult loaded =
      codec::decodeWaveletImage(bytes.data(), bytes.size(), pixels, header);
  if (!loaded.ok()) {
    if (reason) *reason = loaded.reason;
    return false;
  }
  trial.params = params;
  trial.bytes = bytes.size();
  trial.psnr = psnr(picture_, pixels);
  if (file) *file = std::move(bytes);
  return true;
}

namespace {

// Detail coefficients of the coarse levels reach thousands (each step can
// double a magnitude), so low quality targets need thresholds far above the
// pixel range; 12 halvings of 0 .. 1024 end at a step of 0.25.
constexpr double kMaxThreshold = 1024.0;
constexpr int kBisections = 12;

// Candidate level counts and value widths, coarse to fine.
struct Shape {
  int levels;
  int bitsY, bitsC;
};

std::vector<Shape> shapes(const Picture& p, int levels) {
  std::vector<Shape> out;
  for (int by = 3; by <= 8; ++by) {
    if (p.grey) {
      out.push_back({levels, by, by});
      continue;
    }
    for (int bc = std::max(1, by - 2); bc <= by; ++bc) out.push_back({levels, by, bc});
  }
  return out;
}

codec::EncodeParams paramsOf(const Picture& p, const Shape& s, double threshold) {
  codec::EncodeParams e{};
  e.levelCount = s.levels;
  e.valueBits[0] = std::uint8_t(s.bitsY);
  e.valueBits[1] = e.valueBits[2] = std::uint8_t(p.grey ? s.bitsY : s.bitsC);
  e.threshold = threshold > 0 ? threshold : -1;
  e.grey = p.grey;
  return e;
}

// Runs one search: `ok` says whether a trial meets the target, `better`
// orders two trials that both meet it, `closer` two that both miss it, and
// `thresholdHelps` says that raising the threshold moves toward meeting the
// target (a size budget) rather than away from it (a quality target).
template <class Ok, class Better, class Closer>
SearchResult search(const Picture& picture, bool thresholdHelps, Ok ok, Better better,
                    Closer closer) {
  SearchResult result;
  TrialEncoder encoder(picture);
  const int top = maxLevelCount(picture.width, picture.height, 7);
  bool haveAny = false;
  auto consider = [&](const Trial& t) {
    ++result.trials;
    const bool meets = ok(t);
    if (!haveAny || (meets && !result.reached) ||
        (meets && result.reached && better(t, result.best)) ||
        (!meets && !result.reached && closer(t, result.best))) {
      result.best = t;
      result.reached = meets;
      haveAny = true;
    }
    return meets;
  };
  auto tryShape = [&](const Shape& s) {
    Trial t;
    auto at = [&](double threshold) {
      encoder.run(paramsOf(picture, s, threshold), t, nullptr);
      return consider(t);
    };
    // Bisect the threshold between a side that meets the target and one that does not.
    double meetsAt, failsAt;
    if (thresholdHelps) {  // size: higher thresholds meet the budget
      if (at(0)) return;
      if (!at(kMaxThreshold)) return;
      meetsAt = kMaxThreshold, failsAt = 0;
    } else {  // quality: lower thresholds meet the target
      if (!at(0)) return;
      if (at(kMaxThreshold)) return;
      meetsAt = 0, failsAt = kMaxThreshold;
    }
    for (int i = 0; i < kBisections; ++i) {
      const double mid = 0.5 * (meetsAt + failsAt);
      (at(mid) ? meetsAt : failsAt) = mid;
    }
  };
  if (top < 0) return result;
  for (const Shape& s : shapes(picture, top)) tryShape(s);
  // Fewer levels for the value widths that won.
  const Shape won{top, result.best.params.valueBits[0], result.best.params.valueBits[1]};
  for (int levels = top - 1; levels >= std::max(0, top - 2); --levels)
    tryShape({levels, won.bitsY, won.bitsC});
  return result;
}

}  // namespace

SearchResult searchForPsnr(const Picture& picture, double targetDb) {
  return search(
      picture, false, [&](const Trial& t) { return t.psnr >= targetDb; },
      [](const Trial& a, const Trial& b) {
        return a.bytes < b.bytes || (a.bytes == b.bytes && a.psnr > b.psnr);
      },
      [](const Trial& a, const Trial& b) { return a.psnr > b.psnr; });
}

SearchResult searchForSize(const Picture& picture, std::size_t maxBytes) {
  return search(
      picture, true, [&](const Trial& t) { return t.bytes <= maxBytes; },
      [](const Trial& a, const Trial& b) {
        return a.psnr > b.psnr || (a.psnr == b.psnr && a.bytes < b.bytes);
      },
      [](const Trial& a, const Trial& b) { return a.bytes < b.bytes; });
}

std::string describe(const codec::EncodeParams& p) {
  char text[128];
  int n = std::snprintf(text, sizeof text, "--levels %d --bits %d", p.levelCount, p.valueBits[0]);
  if (!p.grey)
    n += std::snprintf(text + n, sizeof text - n, ",%d,%d", p.valueBits[1], p.valueBits[2]);
  if (p.threshold >= 0) n += std::snprintf(text + n, sizeof text - n, " --threshold %.6g", p.threshold);
  if (p.grey) std::snprintf(text + n, sizeof text - n, " --grey");
  return text;
}

}  // namespace kpx
