// Writer: the coder's run rules and packing, quantisation, and round trips
// through the decoder (rasters bit for bit, pixels, flips and channel swaps).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "codec/wavelet.h"
#include "test_support.h"

using namespace codec;

namespace {

struct Coded {
  std::vector<std::uint8_t> symbols, values;
};

Coded code(const std::vector<std::int32_t>& raster, int w, int h, int bits) {
  Coded c;
  c.symbols.resize(raster.size());
  c.values.resize(raster.size());
  std::uint32_t sc = 0, vc = 0;
  encodeCoefficients(raster.data(), c.symbols.data(), sc, c.values.data(), vc, w, h, 0, bits);
  c.symbols.resize(sc);
  c.values.resize(vc);
  return c;
}

}  // namespace

TEST(WaveletWriter, RunRules) {
  // 4 x 4 zeros at 8 bits: a run over positions 0..14 (n = 14), then a zero symbol.
  Coded c = code(std::vector<std::int32_t>(16, 0), 4, 4, 8);
  EXPECT_EQ(c.symbols, (std::vector<std::uint8_t>{1, 0, 0}));
  EXPECT_EQ(c.values, (std::vector<std::uint8_t>{14}));
  std::vector<std::uint8_t> packed = c.symbols;
  EXPECT_EQ(packSymbols(packed.data(), 3), 1u);
  EXPECT_EQ(packed[0], 0b00'00'01);

  // minRun = (8 + 4) div 2 = 6: a zero followed by 6 more zeros (7 in all)
  // stays single symbols; followed by 7 more it becomes a run.
  for (int zeros : {7, 8}) {
    std::vector<std::int32_t> r(std::size_t(zeros) + 2, 5);
    std::fill(r.begin() + 1, r.begin() + 1 + zeros, 0);
    Coded d = code(r, int(r.size()), 1, 8);
    if (zeros == 7) {
      EXPECT_EQ(d.symbols, (std::vector<std::uint8_t>{2, 0, 0, 0, 0, 0, 0, 0, 2}));
    } else {
      EXPECT_EQ(d.symbols, (std::vector<std::uint8_t>{2, 1, 0, 2}));
      EXPECT_EQ(d.values, (std::vector<std::uint8_t>{5, 7, 5}));
    }
  }
  // At 4 bits minRun = 4: runs start at 6 zeros.
  std::vector<std::int32_t> r4 = {1, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(code(r4, 8, 1, 4).symbols, (std::vector<std::uint8_t>{2, 1, 0, 2}));

  // 1030 zeros at 8 bits then a value: a run of 1024 (H 3, V 255) then the rest.
  std::vector<std::int32_t> r(1031, 0);
  r[1030] = -9;
  Coded e = code(r, 1031, 1, 8);
  EXPECT_EQ(e.symbols, (std::vector<std::uint8_t>{1, 3, 0, 0, 0, 0, 0, 0, 3}));
  EXPECT_EQ(e.values, (std::vector<std::uint8_t>{255, 9}));
  EXPECT_EQ(zeroRunLength(r.data(), 0, r.size(), 8), 1023u);
  // The last position is never part of a run.
  std::vector<std::int32_t> tail(10, 0);
  EXPECT_EQ(zeroRunLength(tail.data(), 0, tail.size(), 8), 8u);
}

TEST(WaveletWriter, Packing) {
  std::uint8_t s[5] = {3, 2, 1, 0, 2};
  EXPECT_EQ(packSymbols(s, 5), 2u);
  EXPECT_EQ(s[0], 3 + 4 * 2 + 16 * 1);
  EXPECT_EQ(s[1], 2);

  std::uint8_t v[3] = {0b10011, 0b10101, 0b01010};
  EXPECT_EQ(packValues(v, 3, 5), 2u);
  EXPECT_EQ(v[0], 0b101'10011);
  EXPECT_EQ(v[1], 0b0'01010'10);

  // Every width packs and unpacks back, including the final partial byte.
  for (int bits = 1; bits <= 8; ++bits) {
    std::vector<std::uint8_t> values(37), copy;
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::uint8_t((i * 37 + 11) & ((1 << bits) - 1));
    copy = values;
    const std::size_t bytes = packValues(values.data(), 37, bits);
    EXPECT_EQ(bytes, (37u * bits + 7) / 8);
    std::vector<std::uint8_t> back(37);
    unpackValues(values.data(), 37, bits, back.data());
    EXPECT_EQ(back, copy) << bits;
  }
}

TEST(WaveletWriter, QuantisationAndThreshold) {
  // 4 x 4, level count 0: detail band values -2 and 1 (rest 0) at 8 bits use
  // factor 127.5 and store -255 and 128; the low band has its own factor.
  std::vector<double> plane(16, 0.0);
  plane[2] = -2.0;   // row 0, x 2: detail
  plane[12] = 1.0;   // row 3, x 0: detail
  plane[0] = 10.0;   // low band
  plane[1] = -4.0;
  std::vector<std::int32_t> raster(16);
  double table[2];
  quantizePlane(plane.data(), raster.data(), 4, 4, 0, 8, table);
  EXPECT_EQ(table[0], 127.5);
  EXPECT_EQ(raster[2], -255);
  EXPECT_EQ(raster[12], 128);
  EXPECT_EQ(table[1], 25.5);
  EXPECT_EQ(raster[0], 255);
  EXPECT_EQ(raster[1], -102);
  EXPECT_EQ(countZeroCoefficients(raster.data(), 4, 4), 12u);

  // An all-zero band gets factor 0.
  std::vector<double> zero(16, 0.0);
  zero[0] = 3;
  quantizePlane(zero.data(), raster.data(), 4, 4, 0, 4, table);
  EXPECT_EQ(table[0], 0.0);
  EXPECT_EQ(table[1], 5.0);

  // Thresholding leaves the low band alone and counts what it changes.
  std::vector<double> t = {0.5, 0.5, 0.5, -0.5, 0.5, 0.5, 2, 0, 0, 0, 0, 0, 0, 0, 0, -0.7};
  EXPECT_EQ(thresholdDetails(t.data(), 0.7, 4, 4, 0), 3u);
  EXPECT_EQ(t[0], 0.5);
  EXPECT_EQ(t[2], 0.0);
  EXPECT_EQ(t[6], 2.0);
  EXPECT_EQ(t[15], 0.0);
}

TEST(WaveletWriter, ForwardStepIsExactlyInvertedWithoutSmoothing) {
  // A single step of a 2 x 2 block: sums go up/left, differences down/right.
  const double s[4] = {1, 2, 3, 4};
  double d[4];
  forwardHaar(s, d, 2, 2, 2, 2, 0);
  const double k = 0.7071067811865476;
  const double r0 = k * (2 + 1), r1 = k * (1 - 2.0), r2 = k * (4 + 3), r3 = k * (3 - 4.0);
  EXPECT_EQ(d[0], k * (r2 + r0));
  EXPECT_EQ(d[1], k * (r3 + r1));
  EXPECT_EQ(d[2], k * (r0 - r2));
  EXPECT_EQ(d[3], k * (r1 - r3));
}

TEST(WaveletWriter, ColourTransformInPlaceEqualsIntoOtherPlanes) {
  const int w = 16, h = 8;
  const auto rgb = codectest::syntheticPicture(w, h, 5);
  std::vector<double> in[3], out[3];
  for (int c = 0; c < 3; ++c) {
    in[c].resize(w * h);
    out[c].assign(w * h, -1.0);
    for (int i = 0; i < w * h; ++i) in[c][i] = rgb[3 * i + c];
  }
  forwardHaarColor(in[0].data(), in[1].data(), in[2].data(), out[0].data(), out[1].data(),
                   out[2].data(), w, h, w, h, 2);
  forwardHaarColor(in[0].data(), in[1].data(), in[2].data(), in[0].data(), in[1].data(),
                   in[2].data(), w, h, w, h, 2);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(in[c], out[c]) << c;
  // Step by step for one pixel's luma: the transform starts from Y.
  const double y0 = 0.3 * rgb[0] + 0.59 * rgb[1] + 0.11 * rgb[2];
  std::vector<double> lumaOnly(w * h);
  for (int i = 0; i < w * h; ++i)
    lumaOnly[i] = 0.3 * rgb[3 * i] + 0.59 * rgb[3 * i + 1] + 0.11 * rgb[3 * i + 2];
  EXPECT_EQ(lumaOnly[0], y0);
  forwardHaar(lumaOnly.data(), lumaOnly.data(), w, h, w, h, 2);
  EXPECT_EQ(lumaOnly, out[0]);
}

TEST(WaveletWriter, RasterRoundTripIsBitExact) {
  const int w = 32, h = 16;
  for (int bpp : {8, 24})
    for (int levels : {0, 1, 2, 3})
      for (int bits : {1, 3, 5, 8}) {
        const auto rgb = codectest::syntheticPicture(w, h, unsigned(levels * 10 + bits));
        std::vector<double> planes[3], coeff[3], tables[3];
        std::vector<std::int32_t> rasters[3];
        for (int c = 0; c < 3; ++c) {
          planes[c].resize(w * h);
          coeff[c].resize(w * h);
          rasters[c].resize(w * h);
          tables[c].resize(levels + 2);
          for (int i = 0; i < w * h; ++i) planes[c][i] = rgb[3 * i + c];
        }
        if (bpp == 8) {
          forwardHaar(planes[0].data(), coeff[0].data(), w, h, w, h, levels);
        } else {
          forwardHaarColor(planes[0].data(), planes[1].data(), planes[2].data(), coeff[0].data(),
                           coeff[1].data(), coeff[2].data(), w, h, w, h, levels);
        }
        const int vb[3] = {bits, bits == 8 ? 6 : bits, 2};
        for (int c = 0; c < (bpp == 8 ? 1 : 3); ++c)
          quantizePlane(coeff[c].data(), rasters[c].data(), w, h, levels, vb[c], tables[c].data());
        std::ostringstream out;
        std::string reason;
        ASSERT_TRUE(writeWaveletImage(out, rasters[0].data(), rasters[1].data(), rasters[2].data(),
                                      w, h, bpp, levels, tables[0].data(), tables[1].data(),
                                      tables[2].data(), vb[0], vb[1], vb[2], &reason))
            << reason;
        const std::string s = out.str();
        std::istringstream in(s);
        std::vector<std::int32_t> back[3];
        std::vector<double> backTables[3];
        const LoadResult r = readCoefficientStreams(in, back[0], back[1], back[2], backTables[0],
                                                    backTables[1], backTables[2]);
        ASSERT_TRUE(r.ok()) << r.reason;
        for (int c = 0; c < (bpp == 8 ? 1 : 3); ++c) {
          EXPECT_EQ(back[c], rasters[c]) << bpp << " " << levels << " " << bits << " ch " << c;
          EXPECT_EQ(backTables[c], tables[c]);
        }
        // The header carries the final counts of every channel.
        ImageHeader header;
        ASSERT_TRUE(parseImageHeader(reinterpret_cast<const std::uint8_t*>(s.data()), s.size(), header));
        ImageLayout layout;
        ASSERT_TRUE(validateImageHeader(header, s.size(), &layout).ok());
        EXPECT_EQ(layout.totalBytes, s.size());
      }
}

TEST(WaveletWriter, TinyAsymmetricColourImagesKeepOrientationAndChannels) {
  // 4 x 2 pixels, each a distinct saturated colour; level count 0, 8 bits.
  // Lossless enough that every pixel comes back within a few steps, so any
  // flip, transposition or channel swap shows.
  const std::uint8_t rgb[4 * 2 * 3] = {
      255, 0,   0,   0,   255, 0,   0,   0, 255, 255, 255, 0,  // row 0: R G B Y
      0,   255, 255, 255, 0,   255, 40,  40, 40, 200, 120, 30,  // row 1: C M dark orange
  };
  EncodeParams params{0, {8, 8, 8}, -1, false};
  std::string reason;
  const auto file = encodeImage(rgb, 4, 2, params, &reason);
  ASSERT_FALSE(file.empty()) << reason;
  std::vector<std::uint8_t> pixels;
  ImageHeader header;
  ASSERT_TRUE(decodeWaveletImage(file.data(), file.size(), pixels, header).ok());
  ASSERT_EQ(pixels.size(), 4u * 2 * 4);
  for (int i = 0; i < 8; ++i) {
    EXPECT_NEAR(pixels[4 * i + 2], rgb[3 * i + 0], 6) << "red of pixel " << i;
    EXPECT_NEAR(pixels[4 * i + 1], rgb[3 * i + 1], 6) << "green of pixel " << i;
    EXPECT_NEAR(pixels[4 * i + 0], rgb[3 * i + 2], 6) << "blue of pixel " << i;
    EXPECT_EQ(pixels[4 * i + 3], 0);
  }

  // Grey, 2 x 4 (tall): a ramp that must come back in the same order.
  const std::uint8_t grey[8] = {0, 30, 60, 90, 120, 150, 180, 210};
  params.grey = true;
  const auto g = encodeImage(grey, 2, 4, params, &reason);
  ASSERT_TRUE(decodeWaveletImage(g.data(), g.size(), pixels, header).ok());
  ASSERT_EQ(pixels.size(), 8u);
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(pixels[i], grey[i], 3) << i;
}

TEST(WaveletWriter, InvalidParametersAndAtomicFiles) {
  const std::uint8_t px[16 * 3] = {};
  std::string reason;
  EncodeParams bad[] = {{2, {8, 8, 8}, -1, false}, {0, {0, 8, 8}, -1, false},
                        {0, {8, 9, 8}, -1, false}, {17, {8, 8, 8}, -1, false},
                        {-1, {8, 8, 8}, -1, false}};
  for (const EncodeParams& p : bad) {
    reason.clear();
    EXPECT_TRUE(encodeImage(px, 4, 4, p, &reason).empty());
    EXPECT_FALSE(reason.empty());
  }
  // A grey image ignores the chroma widths.
  EXPECT_FALSE(encodeImage(px, 4, 4, {1, {4, 0, 0}, -1, true}, &reason).empty());

  const std::string name = ::testing::TempDir() + "codec_atomic.kpx";
  {
    std::ofstream(name) << "old contents";
  }
  EXPECT_FALSE(encodeImageFile(name, px, 4, 4, bad[0], &reason));
  std::ifstream old(name);
  std::string text;
  std::getline(old, text);
  EXPECT_EQ(text, "old contents");  // a failed write leaves the old file alone
  ASSERT_TRUE(encodeImageFile(name, px, 4, 4, {1, {8, 8, 8}, -1, false}, &reason)) << reason;
  std::vector<std::uint8_t> pixels;
  ImageHeader header;
  ASSERT_TRUE(loadWaveletImage(pixels, header, name, true).ok());
  EXPECT_EQ(pixels, std::vector<std::uint8_t>(64, 0));
  EXPECT_FALSE(encodeImageFile("/nonexistent-dir/x.kpx", px, 4, 4, {1, {8, 8, 8}, -1, false}, &reason));
  EXPECT_NE(reason.find("/nonexistent-dir/x.kpx"), std::string::npos) << reason;
  std::remove(name.c_str());

  // The raw writer refuses what the reader cannot read, and writes nothing.
  std::vector<std::int32_t> raster(12, 0);
  const double table[3] = {1, 1, 1};
  std::ostringstream out;
  EXPECT_FALSE(writeWaveletImage(out, raster.data(), raster.data(), raster.data(), 6, 2, 8, 1,
                                 table, table, table, 8, 8, 8, &reason));
  EXPECT_FALSE(writeWaveletImage(out, raster.data(), raster.data(), raster.data(), 4, 2, 16, 0,
                                 table, table, table, 8, 8, 8, &reason));
  EXPECT_TRUE(out.str().empty());
}
