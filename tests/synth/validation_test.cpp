// Invalid commands are refused with a reason and change nothing: no layer
// (the scratch layer included), no history, not the random state.
#include <gtest/gtest.h>

#include "synth/text.h"
#include "test_support.h"

namespace synth {
namespace {

using test::params;

struct Snapshot {
  std::vector<std::uint64_t> layers;
  std::vector<std::uint8_t> histories;
  std::uint32_t seed;
  bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const Synth& s) {
  Snapshot out;
  for (int l = 0; l < kLayerCount; ++l) out.layers.push_back(test::hashLayer(s, l));
  out.histories = encodeDump(s.histories());
  out.seed = s.randSeed();
  return out;
}

class Rejected : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(s.initLayers(32, 32), "");
    for (int l = 0; l < kLayerCount; ++l) test::fillPattern(s, l, l + 1);
    ASSERT_EQ(s.addCommand(2, false, 4, params({2, 1, 2, 3})), "");
    ASSERT_EQ(s.addCommand(2, false, 30, params({2, 2})), "");
    s.setRandSeed(12345);
  }
  void expectRejected(int opcode, const CommandParams& p, const char* what) {
    const Snapshot before = snapshot(s);
    const std::string why = s.executeCommand(opcode, p);
    EXPECT_FALSE(why.empty()) << what;
    EXPECT_EQ(validateCommand(opcode, p), why) << what;
    EXPECT_TRUE(snapshot(s) == before) << what;
    // Nor may it enter a history.
    EXPECT_FALSE(s.addCommand(0, true, opcode, p).empty()) << what;
    EXPECT_FALSE(s.replaceCommand(0, 0, opcode, p).empty()) << what;
    EXPECT_TRUE(snapshot(s) == before) << what;
  }
  Synth s;
};

TEST_F(Rejected, OperationLimits) {
  expectRejected(0, params({0, 0, 1, 256, 1}), "subPlasma step 0");
  expectRejected(0, params({0, -4, 1, 256, 1}), "subPlasma step -4");
  expectRejected(2, params({0, 0, 1, 256, 128, 4, 1}), "perlinNoise step 0");
  expectRejected(5, params({0, 0, 8, 1, 1, 1, 2, 2, 2}), "checker cell width 0");
  expectRejected(5, params({0, 8, 0, 1, 1, 1, 2, 2, 2}), "checker cell height 0");
  expectRejected(6, params({0, 1, 17, 1}), "17 blobs");
  expectRejected(6, params({0, 1, -1, 1}), "-1 blobs");
  expectRejected(46, params({0, 1, 0}), "quadrant 0");
  expectRejected(46, params({0, 1, 5}), "quadrant 5");
  expectRejected(44, params({0, 1, 7, 17}), "noiseDistort bits 17");
  expectRejected(44, params({0, 1, 7, -1}), "noiseDistort bits -1");
  expectRejected(32, params({0, 1, 9}), "woodLayer bits 9");
  expectRejected(32, params({0, 1, -1}), "woodLayer bits -1");
  expectRejected(41, params({0, 1, 2.0f, 0.0f}), "radius scale 0");
  expectRejected(41, params({0, 1, 2.0f, -0.0f}), "radius scale -0");
  expectRejected(37, params({0, 1, -1}), "motionBlur length -1");
  expectRejected(37, params({0, 1, 2e9f}), "motionBlur length 2e9");
  expectRejected(12, params({0, 1, 2, 1e9f, 0.5f}), "randCombine weight 1e9");
  expectRejected(12, params({0, 1, 2, 0.5f, std::numeric_limits<float>::quiet_NaN()}), "randCombine weight NaN");
  // A huge negative weight once reached a float-to-integer conversion out of
  // range (the fuzz seed rand-combine-negative-weight.txt keeps it).
  expectRejected(12, params({0, 0, 0, 0, -3.689349e+19f}), "randCombine weight -3.7e19");
  expectRejected(12, params({0, 1, 2, -16.5f, 0.5f}), "randCombine weight -16.5");
  EXPECT_EQ(validateCommand(12, params({0, 1, 2, -16.0f, 16.0f})), "");
}

TEST_F(Rejected, ScratchOperands) {
  expectRejected(2, params({5, 8, 1, 256, 128, 4, 1}), "perlinNoise onto the scratch layer");
  expectRejected(33, params({5, 1}), "blur from scratch");
  expectRejected(33, params({0, 5}), "blur to scratch");
  expectRejected(38, params({0, 5, 3}), "makeTilable to scratch");
  expectRejected(10, params({5, 1, 2, 1, 1}), "add source a scratch");
  expectRejected(10, params({0, 5, 2, 1, 1}), "add source b scratch");
  expectRejected(12, params({0, 1, 5, 1, 1}), "randCombine to scratch");
  expectRejected(42, params({0, 5, 1, 1, 1}), "map from scratch");
  expectRejected(42, params({5, 1, 2, 1, 1}), "mapDistort source scratch");
  expectRejected(40, params({0, 5, 0.1f, 1, 0.1f, 1}), "sineDistort to scratch");
  expectRejected(46, params({5, 1, 1}), "kaleid from scratch");
  // Allowed: generators (but perlinNoise) and colour operations on layer 5.
  EXPECT_EQ(s.executeCommand(0, params({5, 4, 1, 256, 1})), "");
  EXPECT_EQ(s.executeCommand(30, params({5, 5})), "");
  EXPECT_EQ(s.executeCommand(25, params({0, 5})), "");
}

TEST_F(Rejected, LayersOutsideTheBank) {
  expectRejected(4, params({6, 1, 2, 3}), "colorLayer layer 6");
  expectRejected(4, params({-1, 1, 2, 3}), "colorLayer layer -1");
  expectRejected(30, params({0, 1e10f}), "invert to layer 1e10");
  expectRejected(30, params({std::numeric_limits<float>::infinity(), 1}), "invert from inf");
  expectRejected(17, params({0, 1, 7, 1, 1}), "and to layer 7");
}

TEST_F(Rejected, HistoryArguments) {
  const Snapshot before = snapshot(s);
  EXPECT_NE(s.addCommand(5, true, 30, params({0, 0})), "");
  EXPECT_NE(s.addCommand(-1, false, 30, params({0, 0})), "");
  EXPECT_NE(s.addCommand(0, false, 30, params({0, 0}), 100), "");
  EXPECT_NE(s.undoCommand(5, true), "");
  EXPECT_NE(s.undoCommand(-1, false), "");
  EXPECT_NE(s.replaceCommand(7, 0, 30, params({0, 0})), "");
  EXPECT_NE(s.replaceCommand(0, 100, 30, params({0, 0})), "");
  EXPECT_NE(s.replaceCommand(0, -1, 30, params({0, 0})), "");
  EXPECT_NE(s.addCommand(0, false, 9, params({0, 0})), "");  // no operation
  EXPECT_TRUE(snapshot(s) == before);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(s.addCommand(1, false, 30, params({1, 1})), "");
  const Snapshot full = snapshot(s);
  const std::string why = s.addCommand(1, true, 30, params({1, 1}));
  EXPECT_NE(why.find("full"), std::string::npos) << why;
  EXPECT_TRUE(snapshot(s) == full);
}

TEST_F(Rejected, LayerSizes) {
  const Snapshot before = snapshot(s);
  for (auto [w, h] : {std::pair{100, 64}, {64, 100}, {0, 0}, {-64, 64}, {1, 1}, {16384, 2}, {8192, 8192}}) {
    EXPECT_NE(s.initLayers(w, h), "") << w << "x" << h;
    std::vector<std::uint8_t> px;
    Synth other;
    EXPECT_FALSE(other.renderHistories(px, s.histories(), w, h, true, nullptr));
  }
  EXPECT_TRUE(snapshot(s) == before);
  EXPECT_EQ(s.layerWidth(), 32);
}

TEST(RejectedText, ReasonsReachTheListParser) {
  Histories h{};
  std::string why;
  EXPECT_FALSE(parseCommandList("kaleidLayer(0,1,7);", h, &why));
  EXPECT_NE(why.find("quadrant"), std::string::npos) << why;
  EXPECT_FALSE(parseCommandList("\nperlinNoise(5,8,1,256,128,4,true);", h, &why));
  EXPECT_NE(why.find("line 2"), std::string::npos) << why;
  EXPECT_NE(why.find("scratch"), std::string::npos) << why;
}

}  // namespace
}  // namespace synth
