// Layer bank, random generator, square roots, sampling, dispatcher, history
// operations and dump files.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "test_support.h"

namespace synth {
namespace {

using test::params;
using test::pixel;

TEST(Random, SequencesFromKnownSeeds) {
  Synth s;
  s.setRandSeed(1);
  const std::uint32_t first[] = {346, 32552, 10851, 22876, 43333};
  for (std::uint32_t want : first) EXPECT_EQ(s.nextRandom(), want);
  s.setRandSeed(45390954);
  const std::uint32_t second[] = {65104, 21703, 45752};
  for (std::uint32_t want : second) EXPECT_EQ(s.nextRandom(), want);
  s.setRandSeed(0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s.nextRandom(), 0u);
}

TEST(IntSqrt, TableAndWholeRangeTermination) {
  const std::uint32_t in[] = {0, 1, 2, 3, 4, 8, 9, 15, 16, 100, 255, 32768, 65535};
  const std::uint32_t out[] = {0, 1, 1, 1, 2, 3, 3, 3, 4, 10, 15, 181, 255};
  for (std::size_t i = 0; i < std::size(in); ++i) EXPECT_EQ(intSqrt(in[i]), out[i]) << in[i];
  // The first Newton step of n = 2^32 − 1 needs 33 bits; the result must
  // still be the root or one above it.
  for (std::uint32_t n : {0xFFFFFFFFu, 0xFFFFFFFEu, 0x80000000u, 0xFFFE0001u}) {
    const std::uint64_t r = intSqrt(n);
    EXPECT_LE(r * r, std::uint64_t(n) + 2 * r) << n;
    EXPECT_GE((r + 1) * (r + 1), std::uint64_t(n)) << n;
  }
}

TEST(FastSqrt, PowersOfTwoExactOthersApproximate) {
  EXPECT_EQ(fastSqrt(4.0f), 2.0f);
  EXPECT_EQ(fastSqrt(16.0f), 4.0f);
  EXPECT_EQ(fastSqrt(0.25f), 0.5f);
  EXPECT_EQ(fastSqrt(2.0f), 1.5f);
  EXPECT_EQ(fastSqrt(1.0f), 1.0f);
}

TEST(SlotConversion, TruncationBooleansAndSaturation) {
  EXPECT_EQ(slotToInt(-2.7f), -2);
  EXPECT_EQ(slotToInt(255.9f), 255);
  EXPECT_EQ(slotToInt(-0.5f), 0);
  EXPECT_EQ(slotToInt(1e20f), 2147483647);
  EXPECT_EQ(slotToInt(-1e20f), -2147483647 - 1);
  EXPECT_EQ(slotToInt(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_TRUE(slotToBool(1.0f));
  EXPECT_FALSE(slotToBool(0.5f));
  EXPECT_FALSE(slotToBool(2.0f));
  EXPECT_FALSE(slotToBool(0.999f));
  EXPECT_FALSE(slotToBool(0.0f));
}

TEST(CosineBlend, CornersMidpointAndNonFinite) {
  const Rgb block[4] = {{0, 10, 20}, {255, 100, 200}, {30, 40, 50}, {60, 70, 80}};
  Rgb out;
  cosineBlend(out, block, 0.0f, 0.0f);
  EXPECT_EQ(out.r, 0);
  EXPECT_EQ(out.b, 20);
  cosineBlend(out, block, 1.0f, 0.0f);
  EXPECT_EQ(out.r, 255);
  EXPECT_EQ(out.g, 100);
  const Rgb blackWhite[4] = {{0, 0, 0}, {255, 255, 255}, {0, 0, 0}, {255, 255, 255}};
  cosineBlend(out, blackWhite, 0.5f, 0.0f);
  EXPECT_EQ(out.r, 127);  // 127.5 truncated
  cosineBlend(out, blackWhite, std::numeric_limits<float>::infinity(), 0.0f);
  EXPECT_EQ(out.r, 0);
}

class SampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(s.initLayers(256, 4), "");
    test::fillGrey(s, 0, 0);
    test::setPixel(s, 0, 1, 0, 255, 255, 255);
    test::setPixel(s, 0, 255, 0, 100, 100, 100);
  }
  Synth s;
};

TEST_F(SampleTest, IntegerCoordinatesReturnThePixel) {
  Rgb out;
  s.sampleLayer(out, 0, 1.0f, 0.0f);
  EXPECT_EQ(out.r, 255);
  s.sampleLayer(out, 0, 0.0f, 0.0f);
  EXPECT_EQ(out.r, 0);
}

TEST_F(SampleTest, HalfwayTruncates) {
  Rgb out;
  s.sampleLayer(out, 0, 0.5f, 0.0f);
  EXPECT_EQ(out.r, 127);
}

TEST_F(SampleTest, NegativeCoordinatesWrapAndBlendForward) {
  Rgb out;
  s.sampleLayer(out, 0, -1.0f, 0.0f);  // column 255
  EXPECT_EQ(out.r, 100);
  // −0.25 truncates to 0 and blends columns 0 and 1 by 0.25 (not 255 and 0).
  Rgb fwd;
  s.sampleLayer(out, 0, -0.25f, 0.0f);
  s.sampleLayer(fwd, 0, 0.25f, 0.0f);
  EXPECT_EQ(out.r, fwd.r);
  EXPECT_GT(out.r, 0);
  EXPECT_LT(out.r, 100);
}

TEST_F(SampleTest, HugeAndNonFiniteCoordinatesStayInside) {
  Rgb out;
  s.sampleLayer(out, 0, 1e30f, -1e30f);
  s.sampleLayer(out, 0, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN());
  s.sampleLayer(out, 0, 4294967296.0f + 256.0f, 3e9f);
  SUCCEED();
}

TEST(Layers, InitClearsAndRejectsBadSizes) {
  Synth s;
  EXPECT_NE(s.initLayers(100, 64), "");
  EXPECT_NE(s.initLayers(64, 0), "");
  EXPECT_NE(s.initLayers(1, 64), "");
  EXPECT_NE(s.initLayers(16384, 16), "");
  EXPECT_FALSE(s.allocated());
  ASSERT_EQ(s.initLayers(32, 16), "");
  EXPECT_EQ(s.layerWidth(), 32);
  EXPECT_EQ(s.layerHeight(), 16);
  for (int l = 0; l < 5; ++l) {
    EXPECT_TRUE(std::all_of(s.layer(l), s.layer(l) + s.layerBytes(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(s.history(l).count, 0);
  }
  ASSERT_EQ(s.addCommand(2, true, 4, params({2, 9, 9, 9})), "");
  // A refused resize changes nothing.
  EXPECT_NE(s.initLayers(3, 3), "");
  EXPECT_EQ(s.history(2).count, 1);
  EXPECT_EQ(pixel(s, 2, 0, 0)[0], 9);
  ASSERT_EQ(s.initLayers(64, 64), "");
  EXPECT_EQ(s.history(2).count, 0);
  EXPECT_EQ(pixel(s, 2, 5, 5)[0], 0);
  s.freeLayers();
  EXPECT_FALSE(s.allocated());
  EXPECT_NE(s.executeCommand(4, params({0, 1, 1, 1})), "");
}

TEST(Dispatcher, UnknownOpcodesDoNothing) {
  Synth s;
  ASSERT_EQ(s.initLayers(16, 16), "");
  test::fillPattern(s, 0);
  const auto before = test::hashLayer(s, 0);
  for (int op : {-1, 9, 18, 19, 27, 28, 29, 52, 1000}) EXPECT_NE(s.executeCommand(op, params({0, 0})), "");
  EXPECT_EQ(test::hashLayer(s, 0), before);
}

TEST(Dispatcher, MandelBrotReceivesSpansAndLimit) {
  Synth a, b;
  ASSERT_EQ(a.initLayers(64, 64), "");
  ASSERT_EQ(b.initLayers(64, 64), "");
  ASSERT_EQ(a.executeCommand(7, params({1, -2, -1.5f, 1, 1.5f})), "");
  mandelBrot(b, 1, -2.0f, 3.0f, -1.5f, 3.0f, 16.0f);
  EXPECT_TRUE(test::layersEqual(a, 1, b, 1));
}

TEST(History, AppendRestartsOnGenerators) {
  Synth s;
  ASSERT_EQ(s.initLayers(32, 32), "");
  for (int i = 0; i < 5; ++i) ASSERT_EQ(s.addCommand(1, false, 30, params({1, 1})), "");
  EXPECT_EQ(s.history(1).count, 5);
  ASSERT_EQ(s.addCommand(1, true, 2, params({1, 8, 5, 256, 128, 3, 0})), "");
  EXPECT_EQ(s.history(1).count, 1);
  ASSERT_EQ(s.addCommand(1, true, 33, params({1, 1})), "");
  EXPECT_EQ(s.history(1).count, 2);
}

TEST(History, UndoWithReplay) {
  Synth s;
  ASSERT_EQ(s.initLayers(32, 32), "");
  ASSERT_EQ(s.addCommand(0, true, 4, params({0, 200, 100, 50})), "");
  ASSERT_EQ(s.addCommand(0, true, 30, params({0, 0})), "");
  EXPECT_EQ(pixel(s, 0, 3, 3)[0], 55);
  ASSERT_EQ(s.undoCommand(0, true), "");
  EXPECT_EQ(s.history(0).count, 1);
  EXPECT_EQ(pixel(s, 0, 3, 3)[0], 200);
  ASSERT_EQ(s.undoCommand(0, true), "");
  EXPECT_EQ(s.history(0).count, 0);
  EXPECT_EQ(pixel(s, 0, 3, 3)[0], 0);
  ASSERT_EQ(s.undoCommand(0, false), "");  // empty history stays empty
  EXPECT_EQ(s.history(0).count, 0);
}

TEST(History, IndexedAddAndReplaceRunNothing) {
  Synth s;
  ASSERT_EQ(s.initLayers(32, 32), "");
  ASSERT_EQ(s.addCommand(3, true, 4, params({3, 10, 0, 0})), "");
  for (int i = 1; i < 5; ++i) ASSERT_EQ(s.addCommand(3, true, 22, params({3, 3, float(i), 0, 0})), "");
  EXPECT_EQ(pixel(s, 3, 0, 0)[0], 20);
  const auto before = test::hashLayer(s, 3);
  ASSERT_EQ(s.addCommand(3, true, 22, params({3, 3, 50, 0, 0}), 3), "");
  EXPECT_EQ(s.history(3).count, 5);
  EXPECT_EQ(s.history(3).params[3].p[2], 50.0f);
  EXPECT_EQ(s.history(3).params[2].p[2], 2.0f);
  EXPECT_EQ(test::hashLayer(s, 3), before);
  ASSERT_EQ(s.replaceCommand(3, 4, 22, params({3, 3, 100, 0, 0})), "");
  EXPECT_EQ(test::hashLayer(s, 3), before);
  s.replayHistory(3);  // the generator rebuilds, then 1 + 2 + 50 + 100
  EXPECT_EQ(pixel(s, 3, 0, 0)[0], 163);
}

TEST(History, FullHistoryRefusesAppendsButGeneratorsRestart) {
  Synth s;
  ASSERT_EQ(s.initLayers(8, 8), "");
  for (int i = 0; i < 100; ++i) ASSERT_EQ(s.addCommand(0, false, 30, params({0, 0})), "");
  EXPECT_NE(s.addCommand(0, false, 30, params({0, 0})), "");
  EXPECT_EQ(s.history(0).count, 100);
  EXPECT_EQ(s.addCommand(0, false, 4, params({0, 1, 2, 3})), "");
  EXPECT_EQ(s.history(0).count, 1);
}

std::string tempPath(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string("synth-test-") + name)).string();
}

TEST(Dump, LayoutRoundTripAndByteOffsets) {
  Histories h{};
  h[0].count = 2;
  h[0].opcodes[0] = 4;
  h[0].params[0] = params({0, 1, 2, 3});
  h[0].opcodes[1] = 9;
  h[4].count = 1;
  h[4].opcodes[0] = 30;
  h[4].params[0] = params({0, 4, 0.5f});
  const auto bytes = encodeDump(h);
  ASSERT_EQ(bytes.size(), 22020u);
  EXPECT_EQ(bytes[0], 2);
  EXPECT_EQ(bytes[4], 4);
  EXPECT_EQ(bytes[8], 9);
  // p1 of entry 0 of layer 0 = 1.0f = 0x3F800000 at 404 + 4.
  EXPECT_EQ(bytes[404 + 4 + 3], 0x3F);
  EXPECT_EQ(bytes[404 + 4 + 2], 0x80);
  EXPECT_EQ(bytes[4404 * 4], 1);
  EXPECT_EQ(bytes[4404 * 4 + 4], 30);
  Histories back{};
  std::string why;
  ASSERT_TRUE(decodeDump(bytes.data(), bytes.size(), back, &why)) << why;
  EXPECT_EQ(encodeDump(back), bytes);
  EXPECT_FALSE(decodeDump(bytes.data(), bytes.size() - 1, back, &why));
  auto bad = bytes;
  bad[4404 * 2] = 101;
  EXPECT_FALSE(decodeDump(bad.data(), bad.size(), back, &why));
  EXPECT_NE(why.find("layer 2"), std::string::npos);
  bad = bytes;
  bad[3] = 0x80;  // count −2^31 + 2
  EXPECT_FALSE(decodeDump(bad.data(), bad.size(), back, &why));
}

TEST(Dump, RenderEmptyIsBlackAndSkipsUnknownOpcodes) {
  const std::string path = tempPath("empty.dump");
  Histories h{};
  ASSERT_TRUE(saveDumpFile(path, h, nullptr));
  EXPECT_EQ(std::filesystem::file_size(path), 22020u);
  Synth s;
  std::vector<std::uint8_t> pixels;
  std::string why;
  ASSERT_TRUE(s.renderCommandFile(pixels, path, 16, 8, true, &why)) << why;
  ASSERT_EQ(pixels.size(), 16u * 8u * 4u);
  EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_FALSE(s.allocated());

  // Opcodes 9 and 27 between two commands are skipped; the others run.
  h[4].count = 4;
  h[4].opcodes = {4, 9, 27, 22};
  h[4].params[0] = params({4, 10, 20, 30});
  h[4].params[3] = params({4, 4, 1, 2, 3});
  ASSERT_TRUE(saveDumpFile(path, h, nullptr));
  ASSERT_TRUE(s.renderCommandFile(pixels, path, 16, 8, true, &why)) << why;
  EXPECT_EQ(pixels[0], 33);  // blue
  EXPECT_EQ(pixels[1], 22);
  EXPECT_EQ(pixels[2], 11);  // red
  EXPECT_EQ(pixels[3], 0);
  std::filesystem::remove(path);
}

TEST(Dump, LaterLayersSeeEarlierOnes) {
  Histories h{};
  h[0].count = 1;
  h[0].opcodes[0] = 4;
  h[0].params[0] = params({0, 100, 0, 0});
  h[4].count = 1;
  h[4].opcodes[0] = 30;
  h[4].params[0] = params({0, 4});
  Synth s;
  std::vector<std::uint8_t> pixels;
  ASSERT_TRUE(s.renderHistories(pixels, h, 8, 8, true, nullptr));
  EXPECT_EQ(pixels[2], 155);
  EXPECT_EQ(pixels[1], 255);
}

TEST(Dump, FailuresLeaveTheBufferAlone) {
  Synth s;
  std::vector<std::uint8_t> pixels(10, 7);
  std::string why;
  EXPECT_FALSE(s.renderCommandFile(pixels, tempPath("does-not-exist"), 16, 16, true, &why));
  EXPECT_FALSE(why.empty());
  const std::string path = tempPath("short.dump");
  {
    std::ofstream out(path, std::ios::binary);
    out << "short";
  }
  EXPECT_FALSE(s.renderCommandFile(pixels, path, 16, 16, true, &why));
  Histories h{};
  ASSERT_TRUE(saveDumpFile(path, h, nullptr));
  EXPECT_FALSE(s.renderCommandFile(pixels, path, 16, 16, false, &why));  // buffer too small
  EXPECT_FALSE(s.renderCommandFile(pixels, path, 12, 16, true, &why));   // not a power of two
  EXPECT_EQ(pixels, std::vector<std::uint8_t>(10, 7));
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace synth

// The fast sine, cosine and weight paths must give the library's singles.
#include "synth/detail.h"

namespace synth {
namespace {

TEST(FastTrig, MatchesTheLibraryOnManyArguments) {
  std::uint32_t state = 12345;
  auto next = [&] {
    state = state * 1664525u + 1013904223u;
    return state;
  };
  int checked = 0;
  // Fractions across [−1, 1], dense near 0, 0.5 and 1, plus random bit patterns.
  for (int k = 0; k < 400000; ++k) {
    float f;
    if (k % 2 == 0) {
      f = static_cast<float>(next() >> 8) / 16777216.0f * 2.0f - 1.0f;
    } else {
      std::uint32_t bits = next() & 0x3F7FFFFFu;  // |f| < 1
      std::memcpy(&f, &bits, 4);
    }
    ASSERT_EQ(detail::cosineWeight(f), detail::cosineWeightReference(f)) << f;
    const double t = static_cast<double>(f) * 3000.0;
    ASSERT_EQ(detail::singleCos(t), static_cast<float>(std::cos(t))) << t;
    ASSERT_EQ(detail::singleSin(t), static_cast<float>(std::sin(t))) << t;
    ++checked;
  }
  // The row form, including arguments beyond the polynomial's range.
  std::vector<float> a(5000), c(5000), sn(5000);
  for (std::size_t i = 0; i < a.size(); ++i)
    a[i] = (static_cast<float>(next() >> 8) / 16777216.0f - 0.5f) * (i % 3 == 0 ? 20.0f : i % 3 == 1 ? 4e5f : 1e-3f);
  a[0] = 3.0e9f;
  a[1] = -std::numeric_limits<float>::infinity();
  a[2] = 0.0f;
  a[3] = -0.0f;
  a[4] = std::numeric_limits<float>::denorm_min();
  a[5] = -1e-30f;
  EXPECT_EQ(detail::cosineWeight(0.0f), detail::cosineWeightReference(0.0f));
  EXPECT_EQ(std::bit_cast<std::uint32_t>(detail::cosineWeight(-0.0f)), std::bit_cast<std::uint32_t>(detail::cosineWeightReference(-0.0f)));
  detail::cosSinRow(a.data(), c.data(), sn.data(), static_cast<int>(a.size()));
  for (std::size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(std::bit_cast<std::uint32_t>(c[i]), std::bit_cast<std::uint32_t>(static_cast<float>(std::cos(double(a[i]))))) << a[i];
    ASSERT_EQ(std::bit_cast<std::uint32_t>(sn[i]), std::bit_cast<std::uint32_t>(static_cast<float>(std::sin(double(a[i]))))) << a[i];
  }
  for (double t : {0.0, -0.0, 1e-300, 1e5, -1e5, 1e6, 3.141592653589793, 1.5707963267948966})
    EXPECT_EQ(detail::singleCos(t), static_cast<float>(std::cos(t))) << t;
  EXPECT_EQ(checked, 400000);
}

TEST(SmallLayers, ByteOperationTailsMatchTheFormula) {
  for (auto [w, h] : {std::pair{2, 2}, {4, 2}, {2, 8}}) {
    Synth s;
    ASSERT_EQ(s.initLayers(w, h), "");
    for (std::size_t i = 0; i < s.layerBytes(); ++i) s.layer(0)[i] = static_cast<std::uint8_t>(i * 37 + 5);
    adjustLayerRGB(s, 0, 1, 100, -50, 7);
    woodLayer(s, 0, 2, 3);
    for (std::size_t i = 0; i < s.layerBytes(); ++i) {
      const int v = s.layer(0)[i];
      const int off[3] = {100, -50, 7};
      EXPECT_EQ(s.layer(1)[i], std::clamp(v + off[i % 3], 0, 255));
      EXPECT_EQ(s.layer(2)[i], ((v << 3) | (v >> 5)) & 255);
    }
  }
}

}  // namespace
}  // namespace synth

namespace synth {
namespace {

// tunnelDistort computes angles for one side of each row, and one table for
// rows cy − d and cy + d (checked once over every argument of layers up to
// 8192 × 8192 on the development machine): it relies on
// the library's arctangent being odd and its cosine even, exactly.
TEST(FastTrig, LibrarySymmetriesTheTunnelRelies) {
  for (int dy = -600; dy <= 600; dy += 7)
    for (int m = 1; m <= 600; m += 3) {
      const float inv = static_cast<float>(1.0 / m);
      const double t = static_cast<double>(dy) * inv;
      const float a = static_cast<float>(std::atan(t));
      ASSERT_EQ(static_cast<float>(std::atan(-t)), -a) << t;
      ASSERT_EQ(std::cos(static_cast<double>(a)), std::cos(-static_cast<double>(a))) << a;
      const float negInv = static_cast<float>(1.0 / -m);
      ASSERT_EQ(negInv, -inv);
    }
}

}  // namespace
}  // namespace synth

namespace synth {
namespace {

// tunnelDistort's polynomial arctangent and cosine against the library.
// Every argument of layers up to 8192 × 8192 (dy and |dx| up to 4096) was
// checked once this way on the development machine; here rows up to 200 and
// every 127th row beyond, for several depths.
TEST(FastTrig, TunnelAnglesMatchTheLibrary) {
  std::vector<float> inv(4097), angle(4097), dist(4097);
  for (int m = 1; m <= 4096; ++m) inv[std::size_t(m)] = static_cast<float>(1.0 / m);
  for (float depth : {32.0f, -7.5f, 0.0f, 1e-30f, 3e38f, std::numeric_limits<float>::infinity(),
                      std::numeric_limits<float>::quiet_NaN()})
    for (int dy = 0; dy <= 4096; dy += dy < 200 ? 1 : 127) {
      detail::tunnelAngles(static_cast<float>(dy), inv.data() + 1, depth, angle.data() + 1, dist.data() + 1, 4096);
      for (std::size_t m = 1; m <= 4096; ++m) {
        const float a = static_cast<float>(std::atan(static_cast<double>(dy) * inv[m]));
        const float d = static_cast<float>(std::fabs(std::cos(static_cast<double>(a)) * depth * inv[m]));
        ASSERT_EQ(std::bit_cast<std::uint32_t>(angle[m]), std::bit_cast<std::uint32_t>(a)) << dy << " / " << m;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(dist[m]), std::bit_cast<std::uint32_t>(d)) << dy << " / " << m << " depth " << depth;
      }
    }
}

}  // namespace
}  // namespace synth
