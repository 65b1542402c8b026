// Golden hashes: every operation on fixed inputs, so that any silent change
// of output bytes shows. The inputs are layers 0..2 made by generators with
// fixed seeds; the hash covers the destination layer and the random state.
// Operations that call sin, cos, atan or exp take them from the C library;
// a machine whose libm rounds a last bit differently could move a byte.
// To print the table after a deliberate change: SYNTH_PRINT_GOLDEN=1.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "test_support.h"

namespace synth {
namespace {

using test::params;

struct Golden {
  int opcode;
  CommandParams p;
  int width, height;
  std::uint64_t hash;
};

std::uint64_t runGolden(int opcode, const CommandParams& p, int width, int height) {
  Synth s;
  EXPECT_EQ(s.initLayers(width, height), "");
  perlinNoise(s, 0, 16, 101, 256, 160, 5, true);
  blobsLayer(s, 1, 202, 6, true);
  subPlasma(s, 2, 4, 303, 256, false);
  std::memset(s.layer(kScratchLayer), 0, s.layerBytes());
  s.setRandSeed(4242);
  EXPECT_EQ(s.executeCommand(opcode, p), "") << opcode;
  const OperationInfo* op = findOperation(opcode);
  int destination = slotToInt(p.p[0]);
  for (int k = 0; k < op->argCount; ++k)
    if (std::string(op->args[k].name) == "destination") destination = slotToInt(p.p[op->args[k].slot]);
  return test::hashLayer(s, destination) ^ (std::uint64_t(s.randSeed()) << 7);
}

const Golden kGolden[] = {
    {0, params({3, 8, 77, 256, 1}), 64, 64, 0xe0cb9443370219fbull},
    {0, params({3, 5, 0, 100, 0}), 128, 32, 0x92da6d95c9abc2c9ull},
    {1, params({3, 0.11f, 0.07f, 384}), 64, 64, 0x37c765349c28e4d7ull},
    {2, params({3, 32, 1234, 255, 128, 6, 1}), 64, 64, 0x795e3e303b5a63dbull},
    {2, params({3, 16, 0, 200, 180, 3, 0}), 128, 32, 0x459c585cd667975cull},
    {3, params({3, 1.25f}), 64, 64, 0x17b61f866fba9cf2ull},
    {3, params({3, 0.8f}), 128, 32, 0x140276549bc4af67ull},
    {4, params({3, 12, 200, 301}), 64, 64, 0xfad65224678ada83ull},
    {5, params({3, 12, 6, 255, 0, 0, 0, 0, 255}), 64, 64, 0x81956e0790d4e303ull},
    {6, params({3, 99, 16, 1}), 64, 64, 0xc35e900ee307f2ecull},
    {6, params({3, 7, 5, 0}), 128, 32, 0x2837389e482db1f8ull},
    {7, params({3, -2, -1.5f, 1, 1.5f}), 64, 64, 0x40873cb260707ea5ull},
    {7, params({3, -0.75f, 0.05f, -0.70f, 0.1f}), 64, 64, 0x2bf584fa23ad8771ull},
    {8, params({3, 5, 30}), 64, 64, 0xe7f1e5a99c91ff78ull},
    {8, params({3, 9, 110}), 128, 32, 0x2851e5ebf041b161ull},
    {10, params({0, 1, 3, 0.6f, 0.7f}), 64, 64, 0xea3b00aba97fbb8bull},
    {11, params({0, 1, 3, 1.5f, 1.2f}), 64, 64, 0x55e20865c9141e3cull},
    {12, params({0, 1, 3, 0.5f, 0.4f}), 64, 64, 0xae70ee5371f31962ull},
    {13, params({0, 1, 3, 1.0f, 0.8f}), 64, 64, 0x8bd5aa42abd67150ull},
    {14, params({0, 1, 3, 0.9f, 1.0f}), 64, 64, 0xe65a8d2769d7b51eull},
    {15, params({0, 1, 3, 1.0f, 1.5f}), 64, 64, 0xe5c451204da931e2ull},
    {16, params({0, 1, 3, 0.5f, 1.0f}), 64, 64, 0x99940ee9d5bb165full},
    {17, params({0, 1, 3, 2.0f, 1.0f}), 64, 64, 0xa9cd937d598275a3ull},
    {20, params({0, 3, 1.3f, 0.6f, 2.0f}), 64, 64, 0x89ac6e805933ed74ull},
    {21, params({0, 3, 1.2f, 0.7f, 1.1f}), 64, 64, 0xf79b29887649942eull},
    {22, params({0, 3, 40, -30, 300}), 64, 64, 0x71239fb48349ad45ull},
    {23, params({0, 3, 75.0f, 0.2f, -20.0f}), 64, 64, 0xdf346702eb1aa59full},
    {24, params({0, 3, 0.01f, 0.02f, 0.005f}), 64, 64, 0x5116535ece78354cull},
    {25, params({0, 3}), 64, 64, 0x8f67b59f1502b857ull},
    {26, params({2, 3}), 64, 64, 0xd86dd0f3ec003b93ull},
    {30, params({0, 3}), 64, 64, 0x27ee29c5f8cbabfaull},
    {31, params({0, 3}), 64, 64, 0xee4e49cc31b1f753ull},
    {32, params({0, 3, 3}), 64, 64, 0x871ee1462c66c916ull},
    {33, params({0, 3}), 64, 64, 0x40771474b1dbacecull},
    {34, params({0, 3}), 64, 64, 0xecf8b3fdcb346d45ull},
    {35, params({0, 3}), 64, 64, 0xb58c947ac36c5779ull},
    {36, params({0, 3}), 64, 64, 0x7e84ebb1b2534d3aull},
    {37, params({0, 3, 5}), 64, 64, 0x7f1ff2e5e1743f34ull},
    {37, params({0, 3, 100}), 128, 32, 0xd2e3d74a23e34b71ull},
    {38, params({0, 3, 8}), 64, 64, 0xd5c555cc7873eff6ull},
    {38, params({0, 3, 4}), 128, 32, 0x2c4ceb744c25d030ull},
    {39, params({0, 3}), 64, 64, 0x1bd9db080138ee55ull},
    {40, params({0, 3, 0.2f, 3.5f, 0.15f, 2.5f}), 64, 64, 0x8aca8ee5fe76cf55ull},
    {41, params({0, 3, 4.0f, 0.5f}), 64, 64, 0x5ab128e8fe6a7868ull},
    {41, params({0, 3, -3.0f, 0.8f}), 128, 32, 0x2522e4c15fcd3df3ull},
    {42, params({0, 1, 3, 0.05f, -0.03f}), 64, 64, 0xebd7626138a547f8ull},
    {43, params({0, 3}), 64, 64, 0x9bdf109391bc3e5bull},
    {44, params({0, 3, 17, 3}), 64, 64, 0x8789d763fe0b54eeull},
    {45, params({0, 3, 13, -7}), 64, 64, 0x547c1b3acbad93d4ull},
    {46, params({0, 3, 2}), 64, 64, 0xf7d5b4c9c3a67617ull},
    {46, params({0, 3, 4}), 128, 32, 0x27eced7430297d3bull},
    {47, params({0, 3, 20.0f}), 64, 64, 0x9eff3becf1081793ull},
    {47, params({0, 3, 7.5f}), 128, 32, 0xf40e7aec606b69deull},
    {48, params({0, 3}), 64, 64, 0xd01f5f02cf2103f2ull},
    {49, params({0, 3}), 64, 64, 0xd11162bee38382beull},
    {49, params({1, 3}), 128, 32, 0xc5e6e7977da82ff4ull},
    {50, params({0, 3}), 64, 64, 0xbccc553aa114d81aull},
    {51, params({0, 3}), 64, 64, 0xf23bdec035715180ull},
};

TEST(Golden, EveryOperationKeepsItsBytes) {
  const bool print = std::getenv("SYNTH_PRINT_GOLDEN") != nullptr;
  std::set<int> covered;
  for (const Golden& g : kGolden) {
    const std::uint64_t h = runGolden(g.opcode, g.p, g.width, g.height);
    covered.insert(g.opcode);
    if (print) {
      std::printf("%d %dx%d 0x%016llxull\n", g.opcode, g.width, g.height, static_cast<unsigned long long>(h));
      continue;
    }
    EXPECT_EQ(h, g.hash) << findOperation(g.opcode)->name << " " << g.width << "x" << g.height;
  }
  EXPECT_EQ(covered.size(), 46u);
}

}  // namespace
}  // namespace synth
