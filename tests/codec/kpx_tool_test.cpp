// The kpx tool as a user runs it: help, errors on stderr with a non-zero
// exit, no half-written output, encode/decode round trips and the --psnr and
// --max-bytes searches on natural-looking and hard-edged pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "codec/wavelet.h"
#include "png_io.h"
#include "search.h"
#include "synthetic.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
  int exitCode = -1;
  std::string out, err;
};

// Runs kpx with the given arguments (already quoted where needed) in the
// current directory.
ToolRun runKpx(const std::string& arguments) {
  const std::string command =
      std::string("'") + KPX_BINARY + "' " + arguments + " >kpx.out 2>kpx.err";
  ToolRun run;
  const int status = std::system(command.c_str());
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = testsupport::readFileBytes("kpx.out");
  run.err = testsupport::readFileBytes("kpx.err");
  return run;
}

void writePng(const std::string& name, const kpx::Picture& p) {
  std::string reason;
  ASSERT_TRUE(kpx::writePng(name, p, &reason)) << reason;
}

kpx::Picture natural(int side) { return kpx::syntheticPicture(kpx::Scene::landscape, side, side, 3); }

// A hard-edged picture: stripes two pixels wide. Every pair of pixels is
// flat, so the decoder's edge smoothing blends each stripe with its
// neighbours whatever the encoder does.
kpx::Picture stripes(int side) {
  kpx::Picture p;
  p.width = p.height = side;
  p.pixels.resize(std::size_t(side) * side * 3);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const bool on = (x / 2) % 2 == 0;
      std::uint8_t* q = &p.pixels[(std::size_t(y) * side + x) * 3];
      q[0] = on ? 255 : 0;
      q[1] = on ? 40 : 200;
      q[2] = 128;
    }
  return p;
}

double psnrOfFile(const kpx::Picture& source, const std::string& kpxFile) {
  std::vector<std::uint8_t> pixels;
  codec::ImageHeader header;
  const codec::LoadResult r = codec::loadWaveletImage(pixels, header, kpxFile, true);
  EXPECT_TRUE(r.ok()) << r.reason;
  if (!r.ok()) return 0;
  return kpx::psnr(source, pixels);
}

}  // namespace

TEST(KpxTool, HelpAndUsageErrors) {
  testsupport::ScopedTempDir dir;
  ToolRun help = runKpx("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("kpx encode IN.png OUT.kpx"), std::string::npos);
  EXPECT_NE(help.out.find("--psnr"), std::string::npos);
  EXPECT_TRUE(help.err.empty());

  for (const char* bad : {"", "frobnicate", "info", "decode only-one", "encode a.png",
                          "encode a.png b.kpx --levels 17", "encode a.png b.kpx --bits 9",
                          "encode a.png b.kpx --bits 8,8", "encode a.png b.kpx --threshold -1",
                          "encode a.png b.kpx --psnr 30 --levels 2",
                          "encode a.png b.kpx --psnr 30 --max-bytes 100", "encode a.png b.kpx --x"}) {
    ToolRun r = runKpx(bad);
    EXPECT_NE(r.exitCode, 0) << bad;
    EXPECT_FALSE(r.err.empty()) << bad;
    EXPECT_TRUE(r.out.empty()) << bad;
  }
  EXPECT_FALSE(fs::exists("b.kpx"));
}

TEST(KpxTool, FailuresNameTheFileAndWriteNothing) {
  testsupport::ScopedTempDir dir;
  ToolRun r = runKpx("decode missing.kpx out.png");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("missing.kpx"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists("out.png"));

  // A truncated file: decoding fails and an existing output stays as it was.
  writePng("in.png", natural(32));
  ASSERT_EQ(runKpx("encode in.png whole.kpx --levels 3").exitCode, 0);
  const std::string whole = testsupport::readFileBytes("whole.kpx");
  std::ofstream("cut.kpx", std::ios::binary).write(whole.data(), std::streamsize(whole.size() - 5));
  std::ofstream("out.png") << "keep me";
  r = runKpx("decode cut.kpx out.png");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("cut.kpx"), std::string::npos) << r.err;
  EXPECT_EQ(testsupport::readFileBytes("out.png"), "keep me");
  r = runKpx("info cut.kpx");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.out.find("valid           no"), std::string::npos) << r.out;

  // Not a PNG; a size the level count cannot split.
  std::ofstream("junk.png") << "not a picture";
  EXPECT_NE(runKpx("encode junk.png j.kpx").exitCode, 0);
  EXPECT_FALSE(fs::exists("j.kpx"));
  EXPECT_NE(runKpx("encode in.png j.kpx --levels 5").exitCode, 0);  // 32 is not divisible by 64
  EXPECT_FALSE(fs::exists("j.kpx"));
  // An output in a folder that does not exist.
  r = runKpx("encode in.png no/such/dir/x.kpx --levels 1");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("no/such/dir/x.kpx"), std::string::npos) << r.err;
  // Nothing but the files made here: no temporaries left behind.
  int files = 0;
  for (const auto& entry : fs::directory_iterator(".")) files += entry.is_regular_file();
  EXPECT_EQ(files, 7);  // kpx.out, kpx.err, in.png, whole.kpx, cut.kpx, out.png, junk.png
}

// Outputs that are inputs, folders as inputs, and a PNG that claims more
// pixels than it could hold.
TEST(KpxTool, NeverDestroysAnInputAndBoundsWhatItReads) {
  testsupport::ScopedTempDir dir;
  writePng("a.png", natural(32));
  ASSERT_EQ(runKpx("encode a.png a.kpx --levels 1").exitCode, 0);
  const std::string png = testsupport::readFileBytes("a.png");
  const std::string kpxFile = testsupport::readFileBytes("a.kpx");
  fs::create_symlink("a.kpx", "same.kpx");
  for (const char* args : {"decode a.kpx a.kpx", "decode a.kpx same.kpx", "encode a.png a.png"}) {
    const ToolRun r = runKpx(args);
    EXPECT_EQ(r.exitCode, 1) << args;
    EXPECT_NE(r.err.find("it is the input"), std::string::npos) << args << ": " << r.err;
  }
  EXPECT_EQ(testsupport::readFileBytes("a.png"), png);
  EXPECT_EQ(testsupport::readFileBytes("a.kpx"), kpxFile);

  fs::create_directory("folder.kpx");
  for (const char* args : {"info folder.kpx", "decode folder.kpx x.png", "encode folder.kpx x.kpx"}) {
    const ToolRun r = runKpx(args);
    EXPECT_EQ(r.exitCode, 1) << args;
    EXPECT_NE(r.err.find("folder.kpx is a directory"), std::string::npos) << args << ": " << r.err;
  }
  const ToolRun missing = runKpx("info nope.kpx");
  EXPECT_NE(missing.err.find("cannot open nope.kpx: No such file or directory"), std::string::npos) << missing.err;

  // A tiny PNG whose header claims 65535 x 65535: refused before the
  // 12 GB its pixels would take are allocated (the size in 32 bits wraps).
  kpx::Picture tiny;
  tiny.width = tiny.height = 1;
  tiny.pixels = {1, 2, 3};
  std::vector<std::uint8_t> bytes = kpx::encodePng(tiny, nullptr);
  ASSERT_GT(bytes.size(), 33u);
  const std::uint8_t side[8] = {0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF};
  std::copy(side, side + 8, bytes.begin() + 16);  // IHDR width and height
  std::uint32_t crc = 0xFFFFFFFFu;                // the chunk's CRC over type and data
  for (std::size_t i = 12; i < 29; ++i) {
    crc ^= bytes[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  crc ^= 0xFFFFFFFFu;
  for (int i = 0; i < 4; ++i) bytes[29 + std::size_t(i)] = std::uint8_t(crc >> (24 - 8 * i));
  std::ofstream("huge.png", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  const ToolRun huge = runKpx("encode huge.png h.kpx");
  EXPECT_EQ(huge.exitCode, 1);
  EXPECT_NE(huge.err.find("65535 x 65535 is above the limit of 67108864 pixels"), std::string::npos) << huge.err;
  EXPECT_FALSE(fs::exists("h.kpx"));
}

TEST(KpxTool, EncodeDecodeRoundTripAndInfo) {
  testsupport::ScopedTempDir dir;
  const kpx::Picture picture = natural(64);
  writePng("in.png", picture);
  ToolRun enc = runKpx("encode in.png a.kpx --levels 2 --bits 8,7,6 --threshold 1.5");
  ASSERT_EQ(enc.exitCode, 0) << enc.err;
  EXPECT_NE(enc.out.find("PSNR"), std::string::npos);
  // The same picture and parameters always give the same file.
  ASSERT_EQ(runKpx("encode in.png b.kpx --levels 2 --bits 8,7,6 --threshold 1.5").exitCode, 0);
  EXPECT_EQ(testsupport::readFileBytes("a.kpx"), testsupport::readFileBytes("b.kpx"));
  // The file is the library's encoding of the PNG's bytes.
  std::string reason;
  const auto expected = codec::encodeImage(picture.pixels.data(), 64, 64,
                                           {2, {8, 7, 6}, 1.5, false}, &reason);
  const std::string file = testsupport::readFileBytes("a.kpx");
  EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.end()), expected);

  ToolRun info = runKpx("info a.kpx");
  EXPECT_EQ(info.exitCode, 0);
  EXPECT_NE(info.out.find("size            64 x 64"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("level count     2"), std::string::npos);
  EXPECT_NE(info.out.find("valid           yes"), std::string::npos);

  // Decoding gives an RGB PNG equal to the library's decode.
  ASSERT_EQ(runKpx("decode a.kpx a.png").exitCode, 0);
  kpx::Picture back;
  ASSERT_TRUE(kpx::readPng("a.png", false, back, &reason)) << reason;
  std::vector<std::uint8_t> pixels;
  codec::ImageHeader header;
  ASSERT_TRUE(codec::loadWaveletImage(pixels, header, "a.kpx", true).ok());
  ASSERT_EQ(back.pixels.size(), 64u * 64 * 3);
  for (std::size_t i = 0; i < 64 * 64; ++i)
    for (int c = 0; c < 3; ++c) ASSERT_EQ(back.pixels[3 * i + c], pixels[4 * i + 2 - c]) << i;
  EXPECT_GT(kpx::psnr(picture, pixels), 35.0);

  // Grey: a grey file and a grey PNG.
  ASSERT_EQ(runKpx("encode in.png g.kpx --grey --levels 1").exitCode, 0);
  ASSERT_EQ(runKpx("decode g.kpx g.png").exitCode, 0);
  ASSERT_TRUE(kpx::readPng("g.png", true, back, &reason));
  EXPECT_EQ(back.pixels.size(), 64u * 64);
  EXPECT_NE(runKpx("info g.kpx").out.find("grey"), std::string::npos);
}

TEST(KpxTool, PsnrAndSizeTargets) {
  testsupport::ScopedTempDir dir;
  const kpx::Picture picture = natural(128);
  writePng("in.png", picture);
  ToolRun r = runKpx("encode in.png q.kpx --psnr 38");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("chose --levels"), std::string::npos) << r.out;
  const double reached = psnrOfFile(picture, "q.kpx");
  EXPECT_GE(reached, 38.0);
  const auto qBytes = fs::file_size("q.kpx");
  // The search costs fewer bytes than the plain lossless-ish settings.
  ASSERT_EQ(runKpx("encode in.png full.kpx --levels 5 --bits 8").exitCode, 0);
  EXPECT_LT(qBytes, fs::file_size("full.kpx"));

  // A budget: the file fits it.
  r = runKpx("encode in.png s.kpx --max-bytes " + std::to_string(qBytes / 2));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_LE(fs::file_size("s.kpx"), qBytes / 2);
  EXPECT_LT(psnrOfFile(picture, "s.kpx"), reached);

  // Unreachable targets: the best figure is reported and nothing is written.
  writePng("hard.png", stripes(32));
  r = runKpx("encode hard.png h.kpx --psnr 30");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("best reachable"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists("h.kpx"));
  r = runKpx("encode in.png t.kpx --max-bytes 10");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("smallest reachable"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists("t.kpx"));
}
