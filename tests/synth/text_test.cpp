// Text form: the export examples, round trips for every operation, the
// locale, the parser's errors and whole command lists.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <locale>

#include "synth/text.h"
#include "test_support.h"

namespace synth {
namespace {

using test::params;

TEST(CommandToText, Examples) {
  EXPECT_EQ(commandToText(49, params({0, 4})), "logPolLayer(0,4);");
  EXPECT_EQ(commandToText(4, params({2, 255.9f, -0.5f, 17})), "colorLayer(2,255,0,17);");
  EXPECT_EQ(commandToText(1, params({0, 0.5f, 0.25f, 1})), "sinePlasma(0,0.5,0.25,1);");
  EXPECT_EQ(commandToText(0, params({0, 8, 1, 256, 1.0f})), "subPlasma(0,8,1,256,true);");
  EXPECT_EQ(commandToText(0, params({0, 8, 1, 256, 0.0f})), "subPlasma(0,8,1,256,false);");
  EXPECT_EQ(commandToText(0, params({0, 8, 1, 256, 2.0f})), "subPlasma(0,8,1,256,false);");
  EXPECT_EQ(commandToText(7, params({1, -2, -1.5f, 1, 1.5f})), "mandelBrot(1,-2,3,-1.5,3,16);");
  EXPECT_EQ(commandToText(2, params({4, 32, 1234, 255, 128, 6, 1})), "perlinNoise(4,32,1234,255,128,6,true);");
  EXPECT_EQ(commandToText(1, params({0, 0, 255, -1.5f})), "sinePlasma(0,0,255,-1.5);");
  EXPECT_EQ(commandToText(1, params({0, 0.1f, 1, 1})), "sinePlasma(0,0.10000000149011612,1,1);");
  for (int op : {9, 27, 99, -1}) EXPECT_EQ(commandToText(op, params({0, 1})), " ");
}

TEST(CommandToText, ExponentCasesAndSpecialValues) {
  EXPECT_EQ(realToText(1e-6f), "1e-06");
  EXPECT_EQ(realToText(0.00001f), "1e-05");  // the single nearest 1e-5 lies just below it
  EXPECT_EQ(realToText(0.000011f), "0.00001100000008591");
  EXPECT_EQ(realToText(-1e-6f), "-0.00000099999999748");  // negative values stay fixed
  EXPECT_EQ(realToText(-1e-20f), "-0");
  EXPECT_EQ(realToText(1e15f), "999999986991104");  // 15 characters: still fixed
  EXPECT_EQ(realToText(1e16f), "1e+16");
  EXPECT_EQ(realToText(999999995904.0f), "999999995904");
  EXPECT_EQ(realToText(-1e14f), "-1e+14");
  EXPECT_EQ(realToText(std::numeric_limits<float>::infinity()), "inf");
  EXPECT_EQ(realToText(-std::numeric_limits<float>::infinity()), "-inf");
  EXPECT_EQ(realToText(std::numeric_limits<float>::quiet_NaN()), "nan");
  EXPECT_EQ(realToText(0.0f), "0");
  EXPECT_EQ(realToText(255.0f), "255");
}

// A numpunct that writes "," as the decimal point.
struct CommaPunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(CommandToText, DecimalPointWhateverTheLocale) {
  const std::locale before = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
  const char* cBefore = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = cBefore ? cBefore : "C";
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
    if (std::setlocale(LC_NUMERIC, name)) break;
  const std::string text = commandToText(1, params({0, 0.5f, 0.25f, 1}));
  std::int32_t op = 0;
  CommandParams p;
  const bool parsed = parseCommandText("sinePlasma(0,0.5,0.25,1);", op, p, nullptr);
  std::setlocale(LC_NUMERIC, saved.c_str());
  std::locale::global(before);
  EXPECT_EQ(text, "sinePlasma(0,0.5,0.25,1);");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(p.p[1], 0.5f);
}

// Parameter records for every operation: edge values for each kind.
std::vector<CommandParams> samples(const OperationInfo& op) {
  const float ints[] = {0, 3, -2, 255, 16777216, -2147483648.0f};
  const float reals[] = {0.0f, 0.1f, -1.5f, 1e-6f, 3.4e38f, 12345.678f, -0.007f, 1e15f};
  std::vector<CommandParams> out;
  for (int variant = 0; variant < 8; ++variant) {
    CommandParams p;
    for (int k = 0; k < op.argCount; ++k) {
      const ArgSpec& a = op.args[k];
      switch (a.kind) {
        case ArgKind::layer:
        case ArgKind::workLayer:
          p.p[a.slot] = float((variant + k) % 6);
          break;
        case ArgKind::integer:
          p.p[a.slot] = ints[(variant + k) % 6];
          break;
        case ArgKind::real:
          p.p[a.slot] = op.opcode == 7 ? reals[(variant + k) % 8 % 3] : reals[(variant + k) % 8];
          break;
        case ArgKind::boolean:
          p.p[a.slot] = variant % 2 ? 1.0f : 0.0f;
          break;
        case ArgKind::span: {
          // Corners as a view is chosen: the span's 17 decimals carry the
          // far edge exactly only for edges of comparable magnitude.
          const float spans[] = {3.0f, 0.5f, 0.0123f, 2.75f};
          p.p[a.slot] = p.p[a.base] + spans[(variant + k) % 4];
          break;
        }
        case ArgKind::bailout:
          break;
      }
    }
    out.push_back(p);
  }
  return out;
}

TEST(ParseCommandText, EveryOperationRoundTrips) {
  ASSERT_EQ(operationTable().size(), 46u);
  for (const OperationInfo& op : operationTable()) {
    for (const CommandParams& p : samples(op)) {
      const std::string text = commandToText(op.opcode, p);
      std::int32_t opcode = -1;
      CommandParams back;
      std::string why;
      ASSERT_TRUE(parseCommandText(text, opcode, back, &why)) << text << ": " << why;
      EXPECT_EQ(opcode, op.opcode);
      EXPECT_EQ(commandToText(opcode, back), text);
      // Exact values come back exactly (the spans as the far edges).
      for (int k = 0; k < op.argCount; ++k)
        if (op.args[k].slot >= 0 && op.args[k].kind != ArgKind::boolean) {
          EXPECT_EQ(back.p[op.args[k].slot], p.p[op.args[k].slot]) << text << " slot " << int(op.args[k].slot);
        }
    }
  }
}

TEST(ParseCommandText, LenientSpacingStrictContent) {
  std::int32_t op;
  CommandParams p;
  std::string why;
  ASSERT_TRUE(parseCommandText("  addLayers ( 0 , 1,4, 0.5 ,+0.25 )  # mix", op, p, &why)) << why;
  EXPECT_EQ(op, 10);
  EXPECT_EQ(p.p[2], 4.0f);
  EXPECT_EQ(p.p[4], 0.25f);
  ASSERT_TRUE(parseCommandText("perlinNoise(4,32,1234,255,128,6,true);", op, p, &why));
  EXPECT_EQ(p.p[6], 1.0f);
  // A slot beyond the int range exports saturated and reads back the same.
  const std::string big = commandToText(4, params({0, 3e9f, -3e9f, 0}));
  EXPECT_EQ(big, "colorLayer(0,2147483647,-2147483648,0);");
  ASSERT_TRUE(parseCommandText(big, op, p, &why)) << why;
  EXPECT_EQ(commandToText(op, p), big);
  ASSERT_TRUE(parseCommandText("sinePlasma(0,1e-3,-2E2,inf)", op, p, &why)) << why;
  EXPECT_EQ(p.p[2], -200.0f);

  const char* bad[] = {
      "",
      "noSuchOp(1,2)",
      "invertLayer 0,1",
      "invertLayer(0,1",
      "invertLayer(0)",
      "invertLayer(0,1,2)",
      "invertLayer(0,1);x",
      "invertLayer(0.5,1)",
      "invertLayer(a,1)",
      "invertLayer(0,99999999999)",
      "colorLayer(0,16777217,0,0)",
      "subPlasma(0,8,1,256,yes)",
      "sinePlasma(0,1,2,abc)",
      "sinePlasma(0,1,2,1e-60)",
      "mandelBrot(0,-2,3,-1.5,3,15)",
      "invertLayer(,)",
      "(0,1)",
      "checkerBoardLayer(0,1,1,1,1,1,1,1,1,1,1,1)",
  };
  for (const char* line : bad) {
    why.clear();
    EXPECT_FALSE(parseCommandText(line, op, p, &why)) << line;
    EXPECT_FALSE(why.empty()) << line;
  }
}

TEST(CommandList, SectionsCommentsAndDefaults) {
  const char* text =
      "# a texture\n"
      "colorLayer(4,1,2,3);\n"
      "\r\n"
      "[layer 0]\n"
      "  subPlasma(0,8,1,256,false);   # noise\n"
      "blurLayer(0,0);\n"
      "[ layer 4 ]\n"
      "addLayers(0,4,4,0.5,0.5)\n"
      "[layer 0]\n"
      "invertLayer(0,0);";
  Histories h{};
  std::string why;
  ASSERT_TRUE(parseCommandList(text, h, &why)) << why;
  EXPECT_EQ(h[0].count, 3);
  EXPECT_EQ(h[0].opcodes[0], 0);
  EXPECT_EQ(h[0].opcodes[2], 30);
  EXPECT_EQ(h[4].count, 2);
  EXPECT_EQ(h[4].opcodes[0], 4);
  EXPECT_EQ(h[4].opcodes[1], 10);
  for (int l = 1; l < 4; ++l) EXPECT_EQ(h[l].count, 0);
  // Export and re-read give the same histories.
  const std::string exported = historiesToText(h);
  Histories again{};
  ASSERT_TRUE(parseCommandList(exported, again, &why)) << why;
  EXPECT_EQ(encodeDump(again), encodeDump(h));
  EXPECT_EQ(historiesToText(again), exported);
}

TEST(CommandList, ExportKeepsCommandsWhoseTextReadsBackInvalidAsComments) {
  // A radius scale of -1e-30 is valid, but its text "-0" would read back as
  // the rejected scale 0 (found by fuzzing dump files).
  Histories h{};
  std::string why;
  ASSERT_TRUE(parseCommandList("[layer 0]\ntwirlLayer(0,1,0.5,1);\n", h, &why)) << why;
  h[0].params[0].p[3] = -1e-30f;
  ASSERT_EQ(validateCommand(h[0].opcodes[0], h[0].params[0]), "");
  const std::string exported = historiesToText(h);
  EXPECT_NE(exported.find("# not exact as text, twirlLayer: radius scale 0: twirlLayer(0,1,0.5,-0);"), std::string::npos)
      << exported;
  Histories again{};
  ASSERT_TRUE(parseCommandList(exported, again, &why)) << why;
  EXPECT_EQ(again[0].count, 0);
}

TEST(CommandList, ByteOrderMarkAndWindowsLineEnds) {
  Histories h{};
  std::string why;
  ASSERT_TRUE(parseCommandList("\xEF\xBB\xBFinvertLayer(4,4);\r\n[layer 1]\r\nblurLayer(1,1);\r\n", h, &why)) << why;
  EXPECT_EQ(h[4].count, 1);
  EXPECT_EQ(h[1].count, 1);
}

TEST(CommandList, ErrorsNameTheLine) {
  struct Case {
    const char* text;
    const char* line;
  };
  const Case cases[] = {
      {"invertLayer(0,1);\nbogus(1);\n", "line 2:"},
      {"\n\n[layer 5]\n", "line 3:"},
      {"[layer]\n", "line 1:"},
      {"[layer 1\n", "line 1:"},
      {"[stack 1]\n", "line 1:"},
      {"# ok\nblurLayer(5,1);\n", "line 2:"},       // scratch operand
      {"subPlasma(0,0,1,256,true);", "line 1:"},   // step 0
      {"a\0b", "line 1:"},
  };
  for (const Case& c : cases) {
    Histories h{};
    h[1].count = 7;
    std::string why;
    const std::string text(c.text, c.text[0] == 'a' ? 3 : std::strlen(c.text));
    EXPECT_FALSE(parseCommandList(text, h, &why)) << c.text;
    EXPECT_EQ(why.rfind(c.line, 0), 0u) << why;
    EXPECT_EQ(h[1].count, 7);  // untouched on failure
  }
  std::string many;
  for (int i = 0; i < 101; ++i) many += "invertLayer(0,0);\n";
  Histories h{};
  std::string why;
  EXPECT_FALSE(parseCommandList(many, h, &why));
  EXPECT_EQ(why.rfind("line 101:", 0), 0u) << why;
}

TEST(CommandList, RendersLikeTheDumpOfTheSameHistories) {
  const char* text =
      "[layer 1]\n"
      "perlinNoise(1,32,77,256,140,5,true);\n"
      "[layer 2]\n"
      "checkerBoardLayer(2,16,16,0,0,0,255,255,255);\n"
      "twirlLayer(2,2,2.5,0.75);\n"
      "[layer 4]\n"
      "mulLayers(1,2,4,1,1);\n"
      "sharpenLayer(4,4);\n";
  std::vector<std::uint8_t> fromText, fromDump, rgb;
  std::string why;
  ASSERT_TRUE(renderCommandText(text, 64, 32, fromText, &why)) << why;
  ASSERT_EQ(fromText.size(), 64u * 32u * 4u);
  Histories h{};
  ASSERT_TRUE(parseCommandList(text, h, &why));
  const auto bytes = encodeDump(h);
  Histories loaded{};
  ASSERT_TRUE(decodeDump(bytes.data(), bytes.size(), loaded, &why));
  Synth s;
  ASSERT_TRUE(s.renderHistories(fromDump, loaded, 64, 32, true, &why)) << why;
  EXPECT_EQ(fromText, fromDump);
  ASSERT_TRUE(renderCommandText(text, 64, 32, rgb, &why, PixelFormat::rgb));
  ASSERT_EQ(rgb.size(), 64u * 32u * 3u);
  EXPECT_EQ(rgb[0], fromText[2]);
  EXPECT_EQ(rgb[2], fromText[0]);
  std::vector<std::uint8_t> untouched = {1, 2, 3};
  EXPECT_FALSE(renderCommandText("bogus", 64, 32, untouched, &why));
  EXPECT_FALSE(renderCommandText(text, 63, 32, untouched, &why));
  EXPECT_EQ(untouched, (std::vector<std::uint8_t>{1, 2, 3}));
}

}  // namespace
}  // namespace synth
