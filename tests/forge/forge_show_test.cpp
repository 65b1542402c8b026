// The forged show folder, read back with the codec: every picture of the
// texture table, its size and masks, the heightmap, and byte-identical runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "codec/wavelet.h"
#include "forge.h"
#include "png_io.h"
#include "show_env.h"

namespace {

namespace fs = std::filesystem;

struct Loaded {
  codec::ImageHeader header{};
  std::vector<std::uint8_t> bgra;
  int width() const { return header.width; }
  int height() const { return header.height; }
  const std::uint8_t* pixel(int x, int y) const { return &bgra[(std::size_t(y) * width() + x) * 4]; }
};

Loaded load(const std::string& name) {
  Loaded l;
  const auto r = codec::loadWaveletImage(l.bgra, l.header, forgetest::showA() + "/data/" + name + ".kpx", true);
  EXPECT_TRUE(r.ok()) << name << ": " << r.reason;
  return l;
}

bool powerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

TEST(ForgedShow, EveryPictureOfTheTableDecodesAtAPowerOfTwoSize) {
  REQUIRE_SHOW();
  const auto& list = forge::textureList();
  ASSERT_EQ(list.size(), 55u);
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(forgetest::showA() + "/data")) {
    ++files;
    EXPECT_GE(forge::textureIndex(entry.path().stem().string()), 0) << "stray file " << entry.path();
  }
  EXPECT_EQ(files, 55u);
  for (const auto& t : list) {
    const Loaded l = load(t.name);
    EXPECT_EQ(l.header.bitsPerPixel, 24) << t.name;
    EXPECT_TRUE(powerOfTwo(l.width()) && powerOfTwo(l.height())) << t.name << " " << l.width() << "x" << l.height();
    EXPECT_EQ(l.header.levelCount, forge::kLevelCount) << t.name;
    for (int c = 0; c < 3; ++c) EXPECT_EQ(l.header.valueBits[c], forge::kValueBits) << t.name;
  }
  // The names keep their exact case.
  EXPECT_TRUE(fs::exists(forgetest::showA() + "/data/text1_1.kpx"));
  EXPECT_TRUE(fs::exists(forgetest::showA() + "/data/Text2_1.kpx"));
  EXPECT_TRUE(fs::exists(forgetest::showA() + "/data/text3_1.kpx"));
  EXPECT_TRUE(fs::exists(forgetest::showA() + "/data/Text3_2.kpx"));
}

TEST(ForgedShow, SelfMaskedPicturesHaveDarkBordersAndSomethingToShow) {
  REQUIRE_SHOW();
  const auto& list = forge::textureList();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].alphaSource != int(i)) continue;
    const Loaded l = load(list[i].name);
    int worst = 0, bright = 0;
    for (int y = 0; y < l.height(); ++y)
      for (int x = 0; x < l.width(); ++x) {
        const int blue = l.pixel(x, y)[0];
        if (x < 2 || y < 2 || x >= l.width() - 2 || y >= l.height() - 2) worst = std::max(worst, blue);
        bright += blue > 200;
      }
    // The blue byte is the alpha: the quad's edges must be see-through.
    EXPECT_LE(worst, 12) << list[i].name;
    EXPECT_GT(bright, 100) << list[i].name << " shows almost nothing";
  }
}

TEST(ForgedShow, AlphaPicturesMatchTheirColourPictures) {
  REQUIRE_SHOW();
  const auto& list = forge::textureList();
  int separate = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const int a = list[i].alphaSource;
    if (a < 0 || a == int(i)) continue;
    ++separate;
    const Loaded colour = load(list[i].name), alpha = load(list[a].name);
    EXPECT_EQ(colour.width(), alpha.width()) << list[i].name;
    EXPECT_EQ(colour.height(), alpha.height()) << list[i].name;
    // Where the mask is clear the picture must not be a solid block, and
    // its edges are clear.
    for (int x = 0; x < alpha.width(); ++x) EXPECT_LE(alpha.pixel(x, 0)[0], 12) << list[a].name;
  }
  EXPECT_EQ(separate, 2);  // voltra and star
}

TEST(ForgedShow, HeightmapIsLargeEnoughAndHasRelief) {
  REQUIRE_SHOW();
  const Loaded h = load("heightmap");
  ASSERT_GE(h.width(), 32);
  ASSERT_GE(h.height(), 32);
  // The terrain reads green from (1, 1) to (31, 31).
  int lo = 255, hi = 0, steps = 0;
  for (int y = 1; y < 32; ++y)
    for (int x = 1; x < 32; ++x) {
      const int g = h.pixel(x, y)[1];
      lo = std::min(lo, g);
      hi = std::max(hi, g);
      if (x > 1 && std::abs(g - h.pixel(x - 1, y)[1]) > 4) ++steps;
    }
  EXPECT_GE(hi - lo, 120);
  EXPECT_GT(steps, 100);  // hills, not one ramp
}

TEST(ForgedShow, TwoRunsWriteIdenticalBytes) {
  REQUIRE_SHOW();
  if (!fs::exists(forgetest::showB() + "/script.qsc")) GTEST_SKIP() << "the second forge run is not part of this build";
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(forgetest::showA()))
    if (e.is_regular_file()) names.push_back(fs::relative(e.path(), forgetest::showA()).string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names.size(), 57u);  // 55 pictures, music.ogg, script.qsc
  for (const auto& n : names) {
    const auto a = fs::path(forgetest::showA()) / n, b = fs::path(forgetest::showB()) / n;
    ASSERT_TRUE(fs::exists(b)) << n;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    const std::string ba((std::istreambuf_iterator<char>(fa)), std::istreambuf_iterator<char>());
    const std::string bb((std::istreambuf_iterator<char>(fb)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(ba == bb) << n << " differs between two runs";
  }
}

TEST(ForgedShow, ContactSheetIsAPictureOfEveryTexture) {
  REQUIRE_SHOW();
  const std::string sheet = fs::path(forgetest::showA()).parent_path() / "contact_sheet_a.png";
  kpx::Picture p;
  std::string why;
  ASSERT_TRUE(kpx::readPng(sheet, false, p, &why)) << why;
  EXPECT_GE(p.width * p.height, 55 * 160 * 160 * 2);
}

}  // namespace

// Where the ink of a self-masked picture sits: the mean row of its alpha
// (the blue byte), as a fraction of the height from the top row as stored.
double inkRow(const Loaded& l) {
  double sum = 0, weight = 0;
  for (int y = 0; y < l.height(); ++y)
    for (int x = 0; x < l.width(); ++x) sum += y * double(l.pixel(x, y)[0]), weight += l.pixel(x, y)[0];
  return sum / weight / l.height();
}

TEST(ForgedShow, SheetPicturesAreStoredUpsideDownAndPagesUpright) {
  REQUIRE_SHOW();
  // A large headline over a small line: upright the ink sits high, stored
  // upside down (the greetings sheet shows row 0 at the bottom) it sits low.
  EXPECT_LT(inkRow(load("text1_1")), 0.5);
  EXPECT_GT(inkRow(load("greets_voltra")), 0.5);
  EXPECT_GT(inkRow(load("greets_greets")), 0.5);
}

TEST(ForgedShow, StarPictureGivesEveryGridTileSomethingToShow) {
  REQUIRE_SHOW();
  // The star grid shows a twentieth of the picture on each tile.
  const Loaded a = load("star_alpha");
  const int cell = a.width() / 20;
  int empty = 0;
  for (int cy = 0; cy < 20; ++cy)
    for (int cx = 0; cx < 20; ++cx) {
      int most = 0;
      for (int y = cy * cell; y < (cy + 1) * cell; ++y)
        for (int x = cx * cell; x < (cx + 1) * cell; ++x) most = std::max(most, int(a.pixel(x, y)[0]));
      empty += most < 25;  // a tenth opaque at least
    }
  EXPECT_EQ(empty, 0);
}

TEST(ForgedShow, GlowFadesOutAtItsFirstAndLastRows) {
  REQUIRE_SHOW();
  // The scroller's glow column ends where the texture's first and last rows
  // meet (it repeats): both dark, or the column shows hard edges.
  const Loaded g = load("finger");
  auto rowMean = [&](int y) {
    double sum = 0;
    for (int x = 0; x < g.width(); ++x) sum += g.pixel(x, y)[0] + g.pixel(x, y)[1] + g.pixel(x, y)[2];
    return sum / (3.0 * g.width());
  };
  EXPECT_LT(rowMean(0), 2.0);
  EXPECT_LT(rowMean(g.height() - 1), 2.0);
  EXPECT_GT(rowMean(g.height() / 2), 20.0);
}
