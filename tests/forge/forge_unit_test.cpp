// The forge's pieces: the text source format, typesetting limits, the Ogg
// serial rewrite, the soundtrack's grid, and the tool's handling of bad
// arguments.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "forge.h"
#include "gallery.h"
#include "music.h"
#include "png_io.h"
#include "show_env.h"
#include "tests/support/temp_dir.h"
#include "text.h"

namespace {

using forge::TextSection;

TEST(TextSource, ParsesSectionsOptionsAndLines) {
  std::vector<TextSection> s;
  std::string why;
  ASSERT_TRUE(forge::parseTextSource("# note\n\n[a size=256 body=20]\n! HEAD\nbody\n\n\n[b]\r\nx\r\n", s, &why)) << why;
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].name, "a");
  EXPECT_EQ(s[0].options.at("size"), "256");
  EXPECT_EQ(s[0].lines, (std::vector<std::string>{"! HEAD", "body"}));  // trailing gaps dropped
  EXPECT_EQ(s[1].lines, (std::vector<std::string>{"x"}));
}

TEST(TextSource, RejectsMalformedInputNamingTheLine) {
  struct Case {
    const char* text;
    const char* where;
  } cases[] = {
      {"words before\n[a]\n", "line 1"},
      {"[a]\n[a]\n", "line 2"},
      {"[a\n", "line 1"},
      {"[a] trailing\n", "line 1"},
      {"[]\n", "line 1"},
      {"[a size]\n", "line 1"},
      {"[a =3]\n", "line 1"},
  };
  for (const Case& c : cases) {
    std::vector<TextSection> s;
    std::string why;
    EXPECT_FALSE(forge::parseTextSource(c.text, s, &why)) << c.text;
    EXPECT_NE(why.find(c.where), std::string::npos) << c.text << " -> " << why;
  }
}

class Typesetting : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!ts.open("/usr/share/fonts/truetype/dejavu", &why)) GTEST_SKIP() << why;
  }
  forge::Typesetter ts;
};

TEST_F(Typesetting, PageIsSquareWithABlackMarginAndInkInside) {
  TextSection s{"p", {{"size", "256"}, {"body", "20"}}, {"! HI", "a few words on a page"}};
  forge::Image im;
  std::string why;
  ASSERT_TRUE(forge::setTextPicture(ts, s, im, &why)) << why;
  ASSERT_EQ(im.width, 256);
  ASSERT_EQ(im.height, 256);
  int ink = 0;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      const bool border = x < 15 || y < 15 || x > 240 || y > 240;
      if (border) {
        EXPECT_EQ(im.at(x, y)[2], 0) << x << "," << y;
      }
      ink += im.at(x, y)[2] > 128;
    }
  EXPECT_GT(ink, 300);
}

TEST_F(Typesetting, RefusesTextThatDoesNotFit) {
  forge::Image im;
  std::string why;
  TextSection wide{"w", {{"size", "64"}, {"body", "30"}}, {"unbreakablewordthatiswide"}};
  EXPECT_FALSE(forge::setTextPicture(ts, wide, im, &why));
  EXPECT_NE(why.find("wider"), std::string::npos) << why;
  TextSection tall{"t", {{"size", "64"}, {"body", "20"}}, {"a", "b", "c", "d", "e"}};
  EXPECT_FALSE(forge::setTextPicture(ts, tall, im, &why));
  EXPECT_NE(why.find("taller"), std::string::npos) << why;
  TextSection badSize{"s", {{"size", "300"}}, {"a"}};
  EXPECT_FALSE(forge::setTextPicture(ts, badSize, im, &why));
  TextSection badAlign{"s", {{"valign", "middle"}}, {"a"}};
  EXPECT_FALSE(forge::setTextPicture(ts, badAlign, im, &why));
}

// The first and last rows that hold ink.
std::pair<int, int> inkRows(const forge::Image& im) {
  int first = -1, last = -1;
  for (int y = 0; y < im.height; ++y)
    for (int x = 0; x < im.width; ++x)
      if (im.at(x, y)[2] > 64) {
        if (first < 0) first = y;
        last = y;
      }
  return {first, last};
}

TEST_F(Typesetting, VerticalPlacementPutsTheBlockAtTopCentreOrBottom) {
  forge::Image top, centre, bottom;
  std::string why;
  ASSERT_TRUE(forge::setTextPicture(ts, {"t", {{"size", "256"}, {"valign", "top"}}, {"words"}}, top, &why)) << why;
  ASSERT_TRUE(forge::setTextPicture(ts, {"c", {{"size", "256"}}, {"words"}}, centre, &why)) << why;
  ASSERT_TRUE(forge::setTextPicture(ts, {"b", {{"size", "256"}, {"valign", "bottom"}}, {"words"}}, bottom, &why)) << why;
  const auto t = inkRows(top), c = inkRows(centre), b = inkRows(bottom);
  EXPECT_LT(t.first, 40);
  EXPECT_GT(b.second, 256 - 40);
  EXPECT_LT(t.second, c.first + 20);
  EXPECT_NEAR((c.first + c.second) / 2.0, 128, 16);
  EXPECT_LT(b.second, 256 - 14);  // the margin stays black
}

TEST_F(Typesetting, SqueezeNarrowsTheText) {
  EXPECT_NEAR(ts.measure(forge::Typesetter::bold, 40, "Low Tide", 0.75),
              0.75 * ts.measure(forge::Typesetter::bold, 40, "Low Tide"), 0.5);
  // Malformed UTF-8 is drawn as replacement glyphs, never a crash.
  EXPECT_GT(ts.measure(forge::Typesetter::regular, 20, std::string("a\xff\xc3", 3)), 0);
}

// One minimal Ogg page: header, one segment of 3 bytes.
std::vector<std::uint8_t> oggPage(std::uint8_t fill) {
  std::vector<std::uint8_t> p = {'O', 'g', 'g', 'S', 0, 2, 0, 0, 0, 0, 0, 0, 0, 0,
                                 1, 2, 3, 4, 0, 0, 0, 0, 9, 9, 9, 9, 1, 3, fill, fill, fill};
  return p;
}

TEST(OggSerial, RewritesEveryPageAndItsChecksum) {
  std::vector<std::uint8_t> bytes = oggPage(7);
  const auto second = oggPage(8);
  bytes.insert(bytes.end(), second.begin(), second.end());
  ASSERT_TRUE(forge::setOggSerial(bytes, 0xA1B2C3D4u));
  for (std::size_t page : {0u, 31u}) {
    EXPECT_EQ(bytes[page + 14], 0xD4);
    EXPECT_EQ(bytes[page + 17], 0xA1);
  }
  // The checksum of a known page (computed with the Ogg polynomial by hand
  // would be brittle): it must change with the contents and be stable.
  auto again = bytes;
  ASSERT_TRUE(forge::setOggSerial(again, 0xA1B2C3D4u));
  EXPECT_EQ(again, bytes);
  EXPECT_NE(std::vector<std::uint8_t>(bytes.begin() + 22, bytes.begin() + 26),
            std::vector<std::uint8_t>(bytes.begin() + 31 + 22, bytes.begin() + 31 + 26));
}

TEST(OggSerial, RejectsWhatIsNotWholePages) {
  std::vector<std::uint8_t> empty;
  EXPECT_FALSE(forge::setOggSerial(empty, 1));
  auto truncated = oggPage(1);
  truncated.pop_back();
  EXPECT_FALSE(forge::setOggSerial(truncated, 1));
  auto garbage = oggPage(1);
  garbage[0] = 'X';
  EXPECT_FALSE(forge::setOggSerial(garbage, 1));
  auto tail = oggPage(1);
  tail.push_back('O');
  EXPECT_FALSE(forge::setOggSerial(tail, 1));
}

TEST(Soundtrack, SectionsTileTheTrackOnTheirGrids) {
  const auto& sections = forge::musicSections();
  ASSERT_FALSE(sections.empty());
  EXPECT_EQ(sections.front().startMs, 0);
  EXPECT_EQ(sections.back().endMs, forge::kMusicLengthMs);
  for (std::size_t i = 0; i + 1 < sections.size(); ++i) EXPECT_EQ(sections[i].endMs, sections[i + 1].startMs);
  for (const auto& s : sections) {
    const auto beats = forge::sectionBeats(s);
    if (s.beatMs == 0) {
      EXPECT_TRUE(beats.empty()) << s.name;
      continue;
    }
    ASSERT_FALSE(beats.empty()) << s.name;
    const double beat = double(s.endMs - s.startMs) / beats.size();
    EXPECT_NEAR(beat, s.beatMs, 4.0) << s.name;  // the grid holds its nominal tempo
    EXPECT_EQ(beats.front(), s.startMs);
  }
  // The text vortex and the finale run on the faster beat.
  for (const auto& s : sections) {
    const std::string n = s.name;
    if (n == "vortex" || n == "finale") {
      EXPECT_EQ(s.beatMs, 458);
    }
    if (n == "swirl") {
      EXPECT_GT(s.tick, 0.13);
    }
  }
}

int runForge(const std::string& args) {
  const std::string binary = forgetest::forgeBinary();
  const int status = std::system((binary + " " + args + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ForgeTool, BadArgumentsAndUnwritableFoldersFailCleanly) {
  if (!std::filesystem::exists(forgetest::forgeBinary())) GTEST_SKIP() << "the forge is not built";
  EXPECT_EQ(runForge(""), 2);
  EXPECT_EQ(runForge("--bogus x"), 2);
  EXPECT_EQ(runForge("a b"), 2);
  EXPECT_EQ(runForge("x --assets"), 2);
  EXPECT_EQ(runForge("--help"), 0);
  const auto dir = std::filesystem::temp_directory_path() / ("forge-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "file") << "x";
  // The output folder is a file: a clear failure, nothing crashes.
  EXPECT_EQ(runForge((dir / "file").string()), 1);
  // Missing sources: failure, and nothing is written.
  EXPECT_EQ(runForge((dir / "out").string() + " --assets " + (dir / "none").string()), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "out" / "script.qsc"));
  std::filesystem::remove_all(dir);
}

// A run that fails part-way (here a broken synthesizer list) leaves the
// previous show whole: the new one is built beside it and never swapped in.
TEST(ForgeTool, AFailedRunLeavesThePreviousShowWhole) {
  namespace fs = std::filesystem;
  if (!fs::exists(forgetest::forgeBinary())) GTEST_SKIP() << "the forge is not built";
  testsupport::ScopedTempDir dir;
  fs::copy(FORGE_ASSETS, "assets", fs::copy_options::recursive);
  std::ofstream("assets/synth/flower1.txt") << "noSuchOperation(1);\n";
  fs::create_directories("show/data");
  std::ofstream("show/data/flower1.kpx") << "old picture";
  std::ofstream("show/music.ogg") << "old music";
  std::ofstream("show/script.qsc") << "old script";
  const fs::path root = fs::current_path();
  EXPECT_EQ(runForge((root / "show").string() + " --assets " + (root / "assets").string()), 1);
  EXPECT_EQ(testsupport::readFileBytes("show/data/flower1.kpx"), "old picture");
  EXPECT_EQ(testsupport::readFileBytes("show/music.ogg"), "old music");
  EXPECT_EQ(testsupport::readFileBytes("show/script.qsc"), "old script");
  int entries = 0;
  for (auto it = fs::recursive_directory_iterator("show"); it != fs::recursive_directory_iterator(); ++it) ++entries;
  EXPECT_EQ(entries, 4);  // data/, its one picture, music.ogg, script.qsc
  std::vector<std::string> beside;
  for (const auto& e : fs::directory_iterator(".")) beside.push_back(e.path().filename().string());
  std::sort(beside.begin(), beside.end());
  EXPECT_EQ(beside, (std::vector<std::string>{"assets", "show"}));  // no half-built folder left
}

}  // namespace

TEST(GalleryList, ParsesTimesLabelsNotesAndBlankLines) {
  std::vector<forge::GalleryEntry> e;
  std::string why;
  ASSERT_TRUE(forge::parseGalleryList("# note\n\n1000 Scene01 logo\r\n  250\t tab  label \n600000\n", e, &why)) << why;
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].ms, 1000);
  EXPECT_EQ(e[0].label, "Scene01 logo");
  EXPECT_EQ(e[1].ms, 250);
  EXPECT_EQ(e[1].label, "tab  label");
  EXPECT_EQ(e[2].ms, 600000);
  EXPECT_EQ(e[2].label, "");
}

TEST(GalleryList, RejectsMalformedLinesNamingThem) {
  for (const char* text : {"x 1000\n", "1000 ok\n12a label\n", "1000 ok\n\n600001\n", "99999999999999999999\n",
                           "-5 label\n", "", "# only a note\n"}) {
    std::vector<forge::GalleryEntry> e;
    std::string why;
    EXPECT_FALSE(forge::parseGalleryList(text, e, &why)) << text;
    EXPECT_FALSE(why.empty());
  }
  std::string why;
  std::vector<forge::GalleryEntry> e;
  forge::parseGalleryList("1 a\n2 b\n3x\n", e, &why);
  EXPECT_NE(why.find("line 3"), std::string::npos) << why;
}

TEST(GalleryList, TheRepositoryListShowsEveryGreetingInsideTheShow) {
  std::ifstream in(std::string(VOLTRA_SOURCE_DIR) + "/scripts/gallery.txt");
  ASSERT_TRUE(in);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<forge::GalleryEntry> e;
  std::string why;
  ASSERT_TRUE(forge::parseGalleryList(text, e, &why)) << why;
  for (const auto& entry : e) EXPECT_LT(entry.ms, 197429) << entry.label;
  // One frame inside each window of the greetings sheet.
  const int windows[][2] = {{86600, 90801},   {90800, 95501},   {95500, 99501},   {99500, 104301}, {104300, 108001},
                            {108000, 113001}, {113000, 117001}, {117000, 121501}, {121500, 125466}};
  for (const auto& w : windows) {
    bool shown = false;
    for (const auto& entry : e) shown = shown || (w[0] < entry.ms && entry.ms < w[1]);
    EXPECT_TRUE(shown) << w[0] << " … " << w[1];
  }
}

TEST_F(Typesetting, GalleryTilesFramesUnderTheirLabelsAndNamesAMissingOne) {
  const auto dir = std::filesystem::temp_directory_path() / ("gallery-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  // Two 40 × 30 frames, one red and one blue; the second at half size is
  // stretched to the first one's size.
  auto frame = [&](int ms, int w, int h, std::uint8_t r, std::uint8_t b) {
    kpx::Picture p;
    p.width = w, p.height = h;
    p.pixels.resize(std::size_t(w) * h * 3);
    for (std::size_t i = 0; i < p.pixels.size(); i += 3) p.pixels[i] = r, p.pixels[i + 2] = b;
    std::string why;
    ASSERT_TRUE(kpx::writePng((dir / (std::to_string(ms) + ".png")).string(), p, &why)) << why;
  };
  frame(1000, 40, 30, 255, 0);
  frame(2000, 20, 15, 0, 255);
  std::vector<forge::GalleryEntry> entries{{1000, "red"}, {2000, "blue"}, {1000, "red again"}};
  const std::string out = (dir / "sheet.png").string();
  std::string why;
  ASSERT_TRUE(forge::writeGallery(entries, dir.string(), "/usr/share/fonts/truetype/dejavu", 2, out, &why)) << why;
  kpx::Picture sheet;
  ASSERT_TRUE(kpx::readPng(out, false, sheet, &why)) << why;
  // Cells of 40 + 2 × 6 by 30 + 2 × 6 + 20 (the label), two to a row.
  EXPECT_EQ(sheet.width, 2 * 52);
  EXPECT_EQ(sheet.height, 2 * 62);
  auto at = [&](int x, int y) { return &sheet.pixels[(std::size_t(y) * sheet.width + x) * 3]; };
  EXPECT_EQ(at(6 + 20, 6 + 15)[0], 255);       // first cell red
  EXPECT_EQ(at(52 + 6 + 39, 6 + 29)[2], 255);  // second cell blue to its corner
  EXPECT_EQ(at(6 + 20, 62 + 6 + 15)[0], 255);  // third cell, next row
  int labelInk = 0;                            // the labels under the frames
  for (int y = 6 + 30; y < 62; ++y)
    for (int x = 0; x < 52; ++x) labelInk += at(x, y)[1] > 100;
  EXPECT_GT(labelInk, 20);

  entries.push_back({3000, "never rendered"});
  std::filesystem::remove(out);
  EXPECT_FALSE(forge::writeGallery(entries, dir.string(), "/usr/share/fonts/truetype/dejavu", 2, out, &why));
  EXPECT_NE(why.find("3000.png"), std::string::npos) << why;
  EXPECT_FALSE(std::filesystem::exists(out));
  std::filesystem::remove_all(dir);
}
