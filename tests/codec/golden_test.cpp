// Hostile and damaged files (every truncation of valid files), and golden
// hashes: the exact bytes the encoder writes and the decoder produces for a
// fixed set of pictures, so that any change of arithmetic or order shows.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "codec/wavelet.h"
#include "test_support.h"

using namespace codec;

namespace {

struct GoldenCase {
  const char* name;
  int w, h;
  EncodeParams params;
  std::uint64_t fileHash, pixelHash;
};

// fnv1a of the encoded file and of the decoded pixels.
const GoldenCase kGolden[] = {
    {"colour 64x64, 6 steps, 8-bit, threshold 2", 64, 64, {5, {8, 8, 8}, 2.0, false},
     0x253bcb4f892b2453ull, 0x152bda812971cd72ull},
    {"colour 48x32, 4 steps, 8/6/5-bit", 48, 32, {3, {8, 6, 5}, -1, false},
     0x7b7cdb802bafc9c8ull, 0xae84d4dfe5ce018dull},
    {"grey 32x32, 3 steps, 4-bit, threshold 1", 32, 32, {2, {4, 4, 4}, 1.0, true},
     0x2dc49883b022731dull, 0x227c4f65debfe0e8ull},
    {"colour 16x8, 1 step, 3-bit", 16, 8, {0, {3, 3, 3}, -1, false},
     0x959a9db76c2d462dull, 0x8f626007acd3fabaull},
};

std::vector<std::uint8_t> encodeCase(const GoldenCase& c) {
  const auto rgb = codectest::syntheticPicture(c.w, c.h, unsigned(c.w + c.h));
  std::vector<std::uint8_t> grey(std::size_t(c.w) * c.h);
  for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = rgb[3 * i];
  std::string reason;
  auto file = encodeImage(c.params.grey ? grey.data() : rgb.data(), c.w, c.h, c.params, &reason);
  EXPECT_FALSE(file.empty()) << reason;
  return file;
}

}  // namespace

TEST(WaveletGolden, EncodedAndDecodedBytesAreFixed) {
  for (const GoldenCase& c : kGolden) {
    const auto file = encodeCase(c);
    std::vector<std::uint8_t> pixels;
    ImageHeader header;
    ASSERT_TRUE(decodeWaveletImage(file.data(), file.size(), pixels, header).ok()) << c.name;
    EXPECT_EQ(codectest::fnv1a(file), c.fileHash) << c.name;
    EXPECT_EQ(codectest::fnv1a(pixels), c.pixelHash) << c.name;
    std::vector<std::uint8_t> reference;
    ASSERT_TRUE(codectest::referenceDecode(file, reference).ok());
    EXPECT_EQ(codectest::fnv1a(reference), c.pixelHash) << c.name;
  }
  // The example file's pixels.
  std::vector<std::uint8_t> pixels;
  ImageHeader header;
  const auto example = codectest::exampleFile();
  ASSERT_TRUE(decodeWaveletImage(example.data(), example.size(), pixels, header).ok());
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{50, 50, 50, 50}));
}

TEST(WaveletGolden, EveryTruncationFailsCleanly) {
  for (const GoldenCase& c : kGolden) {
    const auto file = encodeCase(c);
    std::vector<std::uint8_t> whole;
    ImageHeader header;
    ASSERT_TRUE(decodeWaveletImage(file.data(), file.size(), whole, header).ok());
    for (std::size_t size = 0; size < file.size(); ++size) {
      std::vector<std::uint8_t> pixels(3, 9);
      const std::vector<std::uint8_t> cut(file.begin(), file.begin() + std::ptrdiff_t(size));
      const LoadResult r = decodeWaveletImage(cut.data(), cut.size(), pixels, header);
      ASSERT_EQ(r.status, LoadStatus::ioError) << c.name << ", " << size << " bytes: " << r.reason;
      ASSERT_FALSE(r.reason.empty());
      ASSERT_EQ(header.height, 0);
      ASSERT_TRUE(pixels.empty());
    }
    // Bytes after the announced sections are ignored.
    auto longer = file;
    longer.insert(longer.end(), 100, 0xAB);
    std::vector<std::uint8_t> pixels;
    ASSERT_TRUE(decodeWaveletImage(longer.data(), longer.size(), pixels, header).ok());
    EXPECT_EQ(pixels, whole);
  }
}

TEST(WaveletGolden, TruncatedFilesOnDiskAreIoErrorsNamingTheFile) {
  const GoldenCase& c = kGolden[1];
  const auto file = encodeCase(c);
  const std::string name = ::testing::TempDir() + "codec_truncated.kpx";
  // Every length is covered in memory above; on disk a sample of them.
  std::vector<std::size_t> sizes = {0, 1, 35, 36, 37, 100, file.size() / 2, file.size() - 1};
  for (std::size_t size : sizes) {
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(size));
    std::vector<std::uint8_t> pixels;
    ImageHeader header;
    const LoadResult r = loadWaveletImage(pixels, header, name, true);
    ASSERT_EQ(r.status, LoadStatus::ioError) << size;
    ASSERT_NE(r.reason.find(name), std::string::npos) << r.reason;
    ASSERT_EQ(header.height, 0);
  }
  std::remove(name.c_str());
}
