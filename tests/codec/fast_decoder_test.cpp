// The fast decoder against the straightforward composition of the reference
// routines, byte for byte, on encoded pictures and on random files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iterator>
#include <random>
#include <sstream>

#include "codec/detail/synthesis_kernels.h"
#include "codec/wavelet.h"
#include "test_support.h"

using namespace codec;

namespace {

void expectSameAsReference(const std::vector<std::uint8_t>& file, const std::string& what) {
  std::vector<std::uint8_t> fast, reference;
  ImageHeader header;
  const LoadResult a = decodeWaveletImage(file.data(), file.size(), fast, header);
  const LoadResult b = codectest::referenceDecode(file, reference);
  ASSERT_EQ(a.ok(), b.ok()) << what << ": " << a.reason << " / " << b.reason;
  if (!a.ok()) return;
  ASSERT_EQ(fast.size(), reference.size()) << what;
  for (std::size_t i = 0; i < fast.size(); ++i)
    ASSERT_EQ(fast[i], reference[i]) << what << ": byte " << i;
}

// A file of random but consistent streams: sparse rasters (long zero runs,
// so edge smoothing is exercised everywhere) with random values.
std::vector<std::uint8_t> randomFile(std::mt19937& rng, bool colour) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int n = pick(0, 4);
  const int unit = 2 << n;
  const int w = unit * pick(1, std::max(1, 48 / unit)), h = unit * pick(1, std::max(1, 48 / unit));
  const int channels = colour ? 3 : 1;
  const double density = std::uniform_real_distribution<double>(0.02, 0.9)(rng);
  std::vector<std::int32_t> rasters[3];
  std::vector<double> tables[3];
  int bits[3] = {8, 8, 8};
  for (int c = 0; c < channels; ++c) {
    bits[c] = pick(1, 8);
    const int top = (1 << bits[c]) - 1;
    rasters[c].resize(std::size_t(w) * h);
    for (auto& v : rasters[c])
      v = std::bernoulli_distribution(density)(rng) ? pick(-top, top) : 0;
    tables[c].resize(std::size_t(n) + 2);
    for (auto& t : tables[c]) {
      const int kind = pick(0, 20);
      t = kind == 0 ? 0.0 : kind == 1 ? -3.0 : std::uniform_real_distribution<double>(0.05, 40)(rng);
    }
  }
  std::ostringstream out;
  std::string reason;
  EXPECT_TRUE(writeWaveletImage(out, rasters[0].data(), rasters[1].data(), rasters[2].data(), w,
                                h, colour ? 24 : 8, n, tables[0].data(), tables[1].data(),
                                tables[2].data(), bits[0], bits[1], bits[2], &reason))
      << reason;
  const std::string s = out.str();
  return std::vector<std::uint8_t>(s.begin(), s.end());
}

// Runs body once per instruction set this processor can run.
template <class Body>
void forEachKernelSet(Body body) {
  using codec::detail::KernelSet;
  for (KernelSet set : {KernelSet::baseline, KernelSet::avx2}) {
    if (!codec::detail::selectKernels(set)) {
      std::printf("  (kernel set %d not available here)\n", int(set));
      continue;
    }
    SCOPED_TRACE(set == KernelSet::baseline ? "baseline kernels" : "AVX2 kernels");
    body();
  }
  codec::detail::selectKernels(KernelSet::automatic);
}

}  // namespace

TEST(WaveletFastDecoder, MatchesReferenceOnEncodedPictures) {
  struct Case {
    int w, h, levels, bits;
    double threshold;
    bool grey;
  };
  const Case cases[] = {{64, 64, 5, 8, 4.0, false},  {128, 32, 4, 8, -1, false},
                        {32, 64, 3, 5, 2.0, false},  {96, 64, 4, 6, 8.0, true},
                        {16, 16, 3, 8, 0.5, true},   {4, 4, 1, 8, -1, false},
                        {2, 2, 0, 8, -1, true},      {6, 10, 0, 3, 1.0, false}};
  for (const Case& c : cases) {
    const auto rgb = codectest::syntheticPicture(c.w, c.h, unsigned(c.w * 7 + c.h));
    std::vector<std::uint8_t> grey(std::size_t(c.w) * c.h);
    for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = rgb[3 * i + 1];
    const std::uint8_t b = std::uint8_t(c.bits);
    const EncodeParams params{c.levels, {b, b, b}, c.threshold, c.grey};
    std::string reason;
    const auto file = encodeImage(c.grey ? grey.data() : rgb.data(), c.w, c.h, params, &reason);
    ASSERT_FALSE(file.empty()) << reason;
    forEachKernelSet([&] { expectSameAsReference(file, std::to_string(c.w) + "x" + std::to_string(c.h)); });
  }
}

TEST(WaveletFastDecoder, MatchesReferenceOnRandomFiles) {
  std::mt19937 rng(20261208);
  for (int i = 0; i < 200; ++i) {
    const auto file = randomFile(rng, i % 2 == 0);
    forEachKernelSet([&] { expectSameAsReference(file, "random file " + std::to_string(i)); });
  }
}

TEST(WaveletFastDecoder, MatchesReferenceOnShortAndHostileStreams) {
  std::mt19937 rng(7);
  for (int i = 0; i < 100; ++i) {
    auto file = randomFile(rng, i % 3 != 0);
    ImageHeader h;
    ASSERT_TRUE(parseImageHeader(file.data(), file.size(), h));
    // Random body bytes under a consistent header: arbitrary symbol mixes,
    // runs cut short, streams ending early.
    for (std::size_t j = 36 + std::size_t(h.bitsPerPixel == 24 ? 3 : 1) * (h.levelCount + 2) * 8;
         j < file.size(); ++j)
      if (rng() % 4 == 0) file[j] = std::uint8_t(rng());
    if (i % 5 == 0) codectest::putU32(file, 9, h.symbolCount[0] / 2);
    forEachKernelSet([&] { expectSameAsReference(file, "mangled file " + std::to_string(i)); });
  }
  // Special factors: NaN, infinities, denormals.
  const double specials[] = {NAN, INFINITY, -INFINITY, 5e-324, -0.0};
  for (double s : specials) {
    auto file = randomFile(rng, true);
    for (int k = 0; k < 3; ++k) {
      std::vector<std::uint8_t> bytes;
      codectest::appendF64(bytes, s);
      std::copy(bytes.begin(), bytes.end(), file.begin() + 36 + 8 * k);
    }
    forEachKernelSet([&] { expectSameAsReference(file, "special factor " + std::to_string(s)); });
  }
}

TEST(WaveletFastDecoder, ByteStoresRoundAndClampLikeTheReference) {
  // Halves, both sides of the clamps, NaN, infinities and signed zeros, at
  // every position of a vector and in the scalar tail.
  const double specials[] = {-3.7, 127.5, 128.5, 300, 254.5, 255, 254.49999999999997, 0.5, 1.5,
                             2.5,  -0.0,  0.0,   NAN, INFINITY, -INFINITY, 1e300, -1e300, 0.49999999999999994,
                             6755399441055744.0, -6755399441055744.0, 3e15};
  const int n = int(std::size(specials));
  std::vector<double> row(specials, specials + n), zero(n, 0.0);
  forEachKernelSet([&] {
    const auto& k = codec::detail::synthesisKernels();
    for (int shift = 0; shift < 4; ++shift) {
      std::vector<double> r(row.begin() + shift, row.end());
      r.insert(r.end(), row.begin(), row.begin() + shift);
      std::vector<std::uint8_t> grey(r.size()), colour(r.size() * 4);
      k.storeGreyRow(int(r.size()), r.data(), grey.data());
      for (std::size_t i = 0; i < r.size(); ++i) EXPECT_EQ(grey[i], realToByte(r[i])) << r[i];
      // Y alone (U = V = 0): R = B = Y, G = (Y − 0.3Y − 0.11Y) × 1.694915.
      k.storeColorRow(int(r.size()), r.data(), zero.data(), zero.data(), colour.data());
      for (std::size_t i = 0; i < r.size(); ++i) {
        const double y = r[i], red = y + 1.140251 * 0.0, blue = y + 2.028398 * 0.0;
        const double green = (y - 0.3 * red - 0.11 * blue) * 1.694915;
        EXPECT_EQ(colour[4 * i], realToByte(blue)) << y;
        EXPECT_EQ(colour[4 * i + 1], realToByte(green)) << y;
        EXPECT_EQ(colour[4 * i + 2], realToByte(red)) << y;
        EXPECT_EQ(colour[4 * i + 3], 0);
      }
    }
  });
}
