// Decoder: the format's edge cases, the byte conversion, the line rule,
// and files that describe no valid image.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "codec/wavelet.h"
#include "test_support.h"

using namespace codec;
using codectest::exampleFile;
using codectest::greyFile;

namespace {

constexpr double k = 0.7071067811865476;

LoadResult decode(const std::vector<std::uint8_t>& file, std::vector<std::uint8_t>& pixels,
                  ImageHeader& header) {
  return decodeWaveletImage(file.data(), file.size(), pixels, header);
}

std::vector<std::int32_t> rasterOf(const std::vector<std::uint8_t>& file) {
  std::vector<std::int32_t> r0, r1, r2;
  std::vector<double> t0, t1, t2;
  EXPECT_TRUE(readCoefficientStreams(file.data(), file.size(), r0, r1, r2, t0, t1, t2).ok());
  return r0;
}

}  // namespace

TEST(WaveletDecoder, ExampleFileIs54BytesAndDecodesToFifty) {
  const auto file = exampleFile();
  ASSERT_EQ(file.size(), 54u);
  const std::uint8_t expectedHead[36] = {'K', 'P', 'X', 2, 0, 2, 0, 8, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0,
                                         0,   0,   0,   1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0};
  EXPECT_EQ(0, std::memcmp(file.data(), expectedHead, 36));
  EXPECT_EQ(file[42], 0xF0);
  EXPECT_EQ(file[43], 0x3F);

  std::vector<std::uint8_t> pixels;
  ImageHeader header;
  const LoadResult r = decode(file, pixels, header);
  ASSERT_TRUE(r.ok()) << r.reason;
  EXPECT_EQ(header.width, 2);
  EXPECT_EQ(header.height, 2);
  EXPECT_EQ(header.bitsPerPixel, 8);
  EXPECT_EQ(header.symbolCount[0], 4u);
  EXPECT_EQ(header.valueCount[0], 1u);
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{50, 50, 50, 50}));
  EXPECT_EQ(rasterOf(file), (std::vector<std::int32_t>{100, 0, 0, 0}));
}

TEST(WaveletDecoder, LoadsFromFileAndNamesMissingFiles) {
  const std::string name = ::testing::TempDir() + "codec_example.kpx";
  {
    const auto file = exampleFile();
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), 54);
  }
  std::vector<std::uint8_t> pixels;
  ImageHeader header;
  LoadResult r = loadWaveletImage(pixels, header, name, true);
  ASSERT_TRUE(r.ok()) << r.reason;
  EXPECT_EQ(pixels.size(), 4u);

  // allocate = false writes into the caller's buffer as it is ...
  std::vector<std::uint8_t> mine(6, 7);
  r = loadWaveletImage(mine, header, name, false);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(mine, (std::vector<std::uint8_t>{50, 50, 50, 50, 7, 7}));
  // ... and refuses one that is too small.
  std::vector<std::uint8_t> small(3);
  r = loadWaveletImage(small, header, name, false);
  EXPECT_EQ(r.status, LoadStatus::rejected);
  EXPECT_EQ(header.height, 0);

  std::remove(name.c_str());
  pixels.assign(10, 1);
  r = loadWaveletImage(pixels, header, name, true);
  EXPECT_EQ(r.status, LoadStatus::ioError);
  EXPECT_NE(r.reason.find(name), std::string::npos) << r.reason;
  EXPECT_EQ(header.height, 0);
  EXPECT_TRUE(pixels.empty());

  // A folder where a texture should be: said so, not "shorter than the header".
  std::filesystem::create_directory(name);
  r = loadWaveletImage(pixels, header, name, true);
  std::filesystem::remove(name);
  EXPECT_EQ(r.status, LoadStatus::ioError);
  EXPECT_EQ(r.reason, name + " is a directory");
}

TEST(WaveletDecoder, SymbolAndValueUnpacking) {
  // A value width of 5 with 3 values reads 2 bytes: value 1 takes 3 bits of
  // byte 0 and 2 bits of byte 1.
  const std::uint8_t packed[2] = {std::uint8_t(0b101'10011), std::uint8_t(0b0'01010'10)};
  std::uint8_t values[3];
  unpackValues(packed, 3, 5, values);
  EXPECT_EQ(values[0], 0b10011);
  EXPECT_EQ(values[1], 0b10101);
  EXPECT_EQ(values[2], 0b01010);

  // 5 symbols: the second byte contributes bits 0-1 only.
  const std::uint8_t sym[2] = {0b11'10'01'00, 0b11'11'11'10};
  std::uint8_t s[5];
  unpackSymbols(sym, 5, s);
  EXPECT_EQ(std::vector<std::uint8_t>(s, s + 5), (std::vector<std::uint8_t>{0, 1, 2, 3, 2}));

  // 3-bit values crossing byte boundaries, all 8 of them in 3 bytes.
  const std::uint8_t v3[3] = {0b10'001'000, 0b1'100'011'0, 0b111'110'10};
  std::uint8_t out[8];
  unpackValues(v3, 8, 3, out);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], i);
}

TEST(WaveletDecoder, RunsAndShortStreams) {
  // Run with H = 3, V = 255 at 8 bits: 1024 zeros, then +7.
  std::int32_t raster[1100];
  std::fill(raster, raster + 1100, -99);
  const std::uint8_t symbols[] = {1, 3, 2};
  const std::uint8_t values[] = {255, 7};
  expandCoefficients(raster, symbols, 3, values, 2, 1100, 1, 0, 8);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(raster[i], 0) << i;
  EXPECT_EQ(raster[1024], 7);
  EXPECT_EQ(raster[1025], -99);  // streams end: the rest is left as it was

  // A run never writes past the raster; a symbol without its value stops.
  std::int32_t small[4] = {9, 9, 9, 9};
  const std::uint8_t s2[] = {3, 1, 3};
  const std::uint8_t v2[] = {5, 200};
  expandCoefficients(small, s2, 3, v2, 2, 2, 2, 0, 8);
  EXPECT_EQ(small[0], -5);
  EXPECT_EQ(small[1], 0);
  EXPECT_EQ(small[3], 0);
  std::int32_t stop[3] = {9, 9, 9};
  const std::uint8_t s3[] = {2, 2, 1};
  const std::uint8_t v3[] = {4};
  expandCoefficients(stop, s3, 3, v3, 1, 3, 1, 0, 8);
  EXPECT_EQ(stop[0], 4);
  EXPECT_EQ(stop[1], 9);

  // In a file, the uncovered rest of the raster is zero: 4 x 4 with only two values.
  const auto file = greyFile(4, 4, 0, 2, 2, 8, {1, 1}, {0b1010, 3, 4});
  std::vector<std::int32_t> expected(16, 0);
  expected[0] = 3;
  expected[1] = 4;
  EXPECT_EQ(rasterOf(file), expected);

  // Empty streams: an all-zero raster, decoded as black; still so at 256 x
  // 256, the largest raster accepted without streams that could cover it.
  for (int side : {2, 256}) {
    std::vector<std::uint8_t> pixels;
    ImageHeader header;
    const auto empty = greyFile(side, side, 0, 0, 0, 8, {1, 1}, {});
    ASSERT_TRUE(decode(empty, pixels, header).ok()) << side;
    EXPECT_EQ(pixels, std::vector<std::uint8_t>(std::size_t(side) * side, 0));
  }
  std::vector<std::uint8_t> pixels;
  ImageHeader header;
  EXPECT_EQ(decode(greyFile(258, 258, 0, 0, 0, 8, {1, 1}, {}), pixels, header).status,
            LoadStatus::rejected);
}

TEST(WaveletDecoder, DequantisationPerBandAndZeroFactor) {
  // 4 x 4, level count 0: detail factor 2, low band factor 0 zeroes the band.
  std::vector<std::int32_t> raster(16, 4);
  std::vector<double> plane(16, -1);
  const double table[2] = {2.0, 0.0};
  dequantizePlane(raster.data(), plane.data(), 4, 4, 0, table);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(plane[y * 4 + x], (x < 2 && y < 2) ? 0.0 : 2.0);
}

TEST(WaveletDecoder, ByteConversionRoundsHalfToEvenAndClamps) {
  EXPECT_EQ(realToByte(-3.7), 0);
  EXPECT_EQ(realToByte(127.5), 128);
  EXPECT_EQ(realToByte(128.5), 128);
  EXPECT_EQ(realToByte(300), 255);
  EXPECT_EQ(realToByte(254.5), 254);
  EXPECT_EQ(realToByte(0.5), 0);
  EXPECT_EQ(realToByte(1.5), 2);
  EXPECT_EQ(realToByte(std::nan("")), 0);
  EXPECT_EQ(realToByte(INFINITY), 255);
  EXPECT_EQ(realToByte(-INFINITY), 0);
}

TEST(WaveletDecoder, ColourConversionOfGreyIsGrey) {
  // Y = 100, U = V = 0 gives G = 99.999985, stored as B = G = R = 100.
  const double y = 100, zero = 0;
  double r = y + 1.140251 * zero, b = y + 2.028398 * zero;
  double g = (y - 0.3 * r - 0.11 * b) * 1.694915;
  std::uint8_t px[4];
  storeColorPixels(&r, &g, &b, px, 1);
  EXPECT_EQ(px[0], 100);
  EXPECT_EQ(px[1], 100);
  EXPECT_EQ(px[2], 100);
  EXPECT_EQ(px[3], 0);
  EXPECT_NEAR(g, 99.999985, 1e-6);

  // Through the whole decoder: a 2 x 2 colour file whose luma low band is
  // 200 (pixels 100) and chroma zero.
  std::vector<std::uint8_t> f(36, 0);
  std::memcpy(f.data(), "KPX", 3);
  codectest::putU16(f, 3, 2);
  codectest::putU16(f, 5, 2);
  f[7] = 24;
  for (int c = 0; c < 3; ++c) {
    codectest::putU32(f, 9 + 4 * c, 4);
    codectest::putU32(f, 21 + 4 * c, c == 0 ? 1 : 0);
    f[33 + c] = 8;
  }
  for (int i = 0; i < 6; ++i) codectest::appendF64(f, 1.0);
  f.insert(f.end(), {0x02, 200, 0x00, 0x00});
  std::vector<std::uint8_t> pixels;
  ImageHeader header;
  ASSERT_TRUE(decode(f, pixels, header).ok());
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{100, 100, 100, 0, 100, 100, 100, 0, 100, 100, 100,
                                               0, 100, 100, 100, 0}));
}

TEST(WaveletDecoder, EdgeSmoothingOnlyOnInnerFlatPairs) {
  // One synthesis step on an 8 x 2 band: the vertical pass has one pair
  // (plain), the horizontal pass four pairs with all Hi = 0.
  const double lo[4] = {10, 30, 50, 70};
  std::vector<double> S(16, 0.0), D(16, -1.0);
  for (int j = 0; j < 4; ++j) S[j] = lo[j];  // row 0: Lo then Hi = 0; row 1 all 0
  inverseHaar(S.data(), D.data(), 8, 2, 8, 2, 0);
  double L[4];
  for (int j = 0; j < 4; ++j) L[j] = k * (lo[j] + 0.0);
  double expected[8];
  expected[0] = k * (L[0] + 0.0);  // pair 0: plain
  expected[1] = k * (L[0] - 0.0);
  expected[2] = k * (0.8 * L[1] + 0.2 * L[0]);  // pairs 1, 2: smoothed both ways
  expected[3] = k * (0.8 * L[1] + 0.2 * L[2]);
  expected[4] = k * (0.8 * L[2] + 0.2 * L[1]);
  expected[5] = k * (0.8 * L[2] + 0.2 * L[3]);
  expected[6] = k * (L[3] + 0.0);  // pair 3: plain
  expected[7] = k * (L[3] - 0.0);
  for (int c = 0; c < 8; ++c) {
    EXPECT_EQ(D[c], expected[c]) << c;
    EXPECT_EQ(D[8 + c], expected[c]) << c;  // row 1 equal: vertical Hi was 0
  }

  // A neighbour with detail, or equal neighbours, switch smoothing off.
  std::vector<double> S2 = S;
  S2[4 + 0] = 1.0;              // Hi[0] != 0: pair 1's even output not smoothed
  S2[2] = S2[3] = 30;           // Lo = 10, 30, 30, 30
  inverseHaar(S2.data(), D.data(), 8, 2, 8, 2, 0);
  const double L1 = k * 30.0;
  EXPECT_EQ(D[2], k * L1);       // Hi[0] != 0
  EXPECT_EQ(D[3], k * (0.8 * L1 + 0.2 * L1));  // still smoothed: Lo[1] != Lo[0], Hi[2] == 0
  EXPECT_EQ(D[4], k * L1);       // Lo[2] == Lo[3]
  EXPECT_EQ(D[5], k * L1);       // Lo[2] == Lo[1]
}

TEST(WaveletDecoder, RejectsImpossibleHeadersBeforeAllocating) {
  struct Case {
    const char* what;
    void (*edit)(std::vector<std::uint8_t>&);
    LoadStatus status;
  };
  const Case cases[] = {
      {"width 0", [](auto& f) { codectest::putU16(f, 3, 0); }, LoadStatus::rejected},
      {"height 0", [](auto& f) { codectest::putU16(f, 5, 0); }, LoadStatus::rejected},
      {"16 bits per pixel", [](auto& f) { f[7] = 16; }, LoadStatus::rejected},
      {"level count 17", [](auto& f) { f[8] = 17; }, LoadStatus::rejected},
      {"size not divisible", [](auto& f) { f[8] = 1; }, LoadStatus::rejected},
      {"value bits 0", [](auto& f) { f[33] = 0; }, LoadStatus::rejected},
      {"value bits 9", [](auto& f) { f[33] = 9; }, LoadStatus::rejected},
      {"symbols beyond the file", [](auto& f) { codectest::putU32(f, 9, 0xFFFFFFFF); },
       LoadStatus::ioError},
      {"values beyond the file", [](auto& f) { codectest::putU32(f, 21, 0xFFFFFFFF); },
       LoadStatus::ioError},
      {"huge raster, tiny streams",
       [](auto& f) { codectest::putU16(f, 3, 65534), codectest::putU16(f, 5, 65534); },
       LoadStatus::rejected},
  };
  for (const Case& c : cases) {
    auto file = exampleFile();
    c.edit(file);
    std::vector<std::uint8_t> pixels(5, 1);
    ImageHeader header;
    const LoadResult r = decode(file, pixels, header);
    EXPECT_EQ(r.status, c.status) << c.what << ": " << r.reason;
    EXPECT_FALSE(r.reason.empty()) << c.what;
    EXPECT_EQ(header.height, 0) << c.what;
    EXPECT_TRUE(pixels.empty()) << c.what;
  }
  // The unused grey-file fields and the magic are not checked.
  auto file = exampleFile();
  file[0] = 'x';
  file[34] = 0;
  codectest::putU32(file, 13, 0xFFFFFFFF);
  std::vector<std::uint8_t> pixels;
  ImageHeader header;
  EXPECT_TRUE(decode(file, pixels, header).ok());
}

TEST(WaveletDecoder, HostileTablesDecodeWithoutFault) {
  // NaN, infinite, negative and denormal factors follow IEEE arithmetic; no
  // byte conversion is undefined.
  const double tables[][2] = {{NAN, NAN}, {INFINITY, -INFINITY}, {-1, -2}, {5e-324, 1e-310}};
  for (const auto& t : tables) {
    const auto file = greyFile(4, 4, 0, 16, 16, 8, {t[0], t[1]},
                               {0xEE, 0xEE, 0xEE, 0xEE, 9, 8, 7, 6, 5, 4, 3, 2, 1, 255, 254, 0, 0,
                                128, 127, 126});
    std::vector<std::uint8_t> pixels;
    ImageHeader header;
    EXPECT_TRUE(decode(file, pixels, header).ok());
    EXPECT_EQ(pixels.size(), 16u);
  }
}
