// The script syntax on its own: integers, line splitting, fields and the
// progress lines and messages of each command, through a recording target.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "engine/script_reader.h"

namespace {

struct Placement {
  std::int32_t timeline;
  int scene;
  std::int32_t start;
  std::int32_t end;
  bool operator==(const Placement&) const = default;
};

struct Music {
  std::string file;
  std::int32_t offset, end, state;
  bool operator==(const Music&) const = default;
};

// Scenes "Scene01" … "Scene13" at 1 … 13, plus a second "Scene05" at 20;
// timelines 1 and 3 exist.
class RecordingTarget final : public ScriptTarget {
 public:
  void log(std::string_view text, std::int32_t number) override {
    lines += std::string(text) + " | " + std::to_string(number) + "\n";
  }
  int findScene(const std::string& name) override {
    if (name == "Scene05") return 20;
    for (int i = 1; i <= 13; ++i) {
      char expected[24];  // room for any int
      std::snprintf(expected, sizeof expected, "Scene%02d", i);
      if (name == expected) return i;
    }
    return 0;
  }
  bool timelineExists(std::int32_t id) override { return id == 1 || id == 3; }
  void placeScene(std::int32_t timeline, int scene, std::int32_t start, std::int32_t end) override {
    placements.push_back({timeline, scene, start, end});
  }
  void setMusic(const std::string& file, std::int32_t offset, std::int32_t end, std::int32_t state) override {
    music = Music{file, offset, end, state};
  }

  std::string lines;
  std::vector<Placement> placements;
  std::optional<Music> music;
};

struct Outcome {
  const char* message;
  std::string lines;
};

Outcome run(const std::string& line, RecordingTarget& target) {
  const char* message = runScriptLine(line, target);
  return {message, target.lines};
}

std::optional<std::int32_t> integer(std::string_view text) {
  std::int32_t value = 12345;
  if (!parseScriptInteger(text, value)) {
    EXPECT_EQ(value, 12345) << "a failed conversion must not write";
    return std::nullopt;
  }
  return value;
}

std::vector<std::string> splitLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::FILE* file = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
  if (!file) return lines;  // fmemopen refuses an empty buffer
  std::string line;
  while (readScriptLine(file, line)) lines.push_back(line);
  std::fclose(file);
  return lines;
}

}  // namespace

TEST(ScriptInteger, DecimalFieldsAndTheirLimits) {
  EXPECT_EQ(integer("0"), 0);
  EXPECT_EQ(integer("8000"), 8000);
  EXPECT_EQ(integer("+17"), 17);
  EXPECT_EQ(integer("-5"), -5);
  EXPECT_EQ(integer("-0"), 0);
  EXPECT_EQ(integer("007"), 7);
  EXPECT_EQ(integer("2147483647"), 2147483647);
  EXPECT_EQ(integer("-2147483648"), INT32_MIN);
  EXPECT_EQ(integer("2147483648"), std::nullopt);
  EXPECT_EQ(integer("-2147483649"), std::nullopt);
  EXPECT_EQ(integer("99999999999999999999999"), std::nullopt);  // overflows 64 bits on the way
  EXPECT_EQ(integer("+2147483648"), std::nullopt);
}

TEST(ScriptInteger, PrefixedFieldsUseAllThirtyTwoBits) {
  EXPECT_EQ(integer("$1F40"), 8000);
  EXPECT_EQ(integer("$1f40"), 8000);
  EXPECT_EQ(integer("%1010"), 10);
  EXPECT_EQ(integer("&17"), 15);
  EXPECT_EQ(integer("$7FFFFFFF"), INT32_MAX);
  EXPECT_EQ(integer("$80000000"), INT32_MIN);
  EXPECT_EQ(integer("$FFFFFFFF"), -1);
  EXPECT_EQ(integer("%11111111111111111111111111111111"), -1);
  EXPECT_EQ(integer("&37777777777"), -1);
  EXPECT_EQ(integer("$00000000000FF"), 255);  // leading zeros do not count
  EXPECT_EQ(integer("-$1"), -1);
  EXPECT_EQ(integer("+$10"), 16);
  EXPECT_EQ(integer("-$FFFFFFFF"), 1);  // the negated pattern
  EXPECT_EQ(integer("$100000000"), std::nullopt);
  EXPECT_EQ(integer("&40000000000"), std::nullopt);
}

TEST(ScriptInteger, LeadingBlanksOnlyAndNothingElse) {
  EXPECT_EQ(integer("  42"), 42);
  EXPECT_EQ(integer("\t \t-42"), -42);
  EXPECT_EQ(integer(" $10"), 16);
  for (const char* bad : {"", " ", "\t", "+", "-", "$", "%", "&", "-$", "42 ", "42\t", "4 2", "- 1", "+-1",
                          "--1", "$G", "%2", "&8", "0x10", "1e3", "12a", "$1F40 ", "1.0", "\n1", "1\r"}) {
    EXPECT_EQ(integer(bad), std::nullopt) << '"' << bad << '"';
  }
}

TEST(ScriptLines, EveryLineEndingAndTheLengthLimit) {
  EXPECT_EQ(splitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(splitLines("only\n"), std::vector<std::string>{"only"});
  EXPECT_EQ(splitLines("\n"), std::vector<std::string>{""});
  EXPECT_EQ(splitLines("\r\r\n\n"), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(splitLines("x\r"), std::vector<std::string>{"x"});
  // A CR-only file (classic Mac line ends) is read line by line.
  EXPECT_EQ(splitLines("@fx a\r@fx b\r"), (std::vector<std::string>{"@fx a", "@fx b"}));

  const std::string exact(255, 'e');
  EXPECT_EQ(splitLines(exact + "\r\nnext"), (std::vector<std::string>{exact, "next"}));
  const std::string longLine = std::string(255, 'x') + "TAIL that is skipped";
  EXPECT_EQ(splitLines(longLine + "\rnext\n"), (std::vector<std::string>{std::string(255, 'x'), "next"}));
  EXPECT_EQ(splitLines(std::string(100000, 'y') + "\n"), std::vector<std::string>{std::string(255, 'y')});
}

TEST(ScriptCommands, CommentsAndUnknownWordsAreIgnored) {
  RecordingTarget target;
  for (const char* comment : {"", " @scene Scene01 1 0 10 ", "just text", "#@music a b 0 0 1", "\t@fx x"})
    EXPECT_EQ(run(comment, target).message, nullptr);
  EXPECT_EQ(target.lines, "");

  // Command lines with a word we do not know, including other letter case.
  for (const char* unknown : {"@Scene Scene01 1 0 10 ", "@MUSIC a b 0 0 1", "@fx anything at all", "@ x",
                              "@scenes Scene01 1 0 10 ", "@fx "})
    EXPECT_EQ(run(unknown, target).message, nullptr);
  std::string expected;
  for (int i = 0; i < 6; ++i) expected += "Command Line was found | 0\n";
  EXPECT_EQ(target.lines, expected);
  EXPECT_TRUE(target.placements.empty());
  EXPECT_FALSE(target.music);
}

TEST(ScriptCommands, AWordWithoutASpaceIsAnEmptyCommand) {
  for (const char* line : {"@", "@scene", "@music", "@fx", "@Scene01\t1\t0\t10"}) {
    RecordingTarget target;
    const Outcome outcome = run(line, target);
    EXPECT_STREQ(outcome.message, scriptMessage::emptyCommand) << line;
    EXPECT_EQ(outcome.lines, "Command Line was found | 0\n");
  }
}

TEST(SceneCommand, AWellFormedLineLogsEveryFieldAndPlacesTheScene) {
  RecordingTarget target;
  const Outcome outcome = run("@scene Scene04 1 $1F40 %10011100010000 trailing words ignored", target);
  EXPECT_EQ(outcome.message, nullptr);
  EXPECT_EQ(outcome.lines,
            "Command Line was found | 0\n"
            "Loading Scene | 4\n"
            "Timeline ID | 1\n"
            "Start Time | 8000\n"
            "End Time | 10000\n");
  EXPECT_EQ(target.placements, (std::vector<Placement>{{1, 4, 8000, 10000}}));
}

TEST(SceneCommand, TheLastOfSeveralEqualNamesIsUsed) {
  RecordingTarget target;
  EXPECT_EQ(run("@scene Scene05 3 0 0 ", target).message, nullptr);
  EXPECT_EQ(target.placements, (std::vector<Placement>{{3, 20, 0, 0}}));
}

TEST(SceneCommand, EachBadFieldNamesItselfAfterTheLinesBeforeIt) {
  const std::string found = "Command Line was found | 0\n";
  struct Case {
    const char* line;
    const char* message;
    std::string lines;
  } cases[] = {
      {"@scene Scene14 1 0 10 ", scriptMessage::sceneName, found},
      {"@scene scene01 1 0 10 ", scriptMessage::sceneName, found},
      {"@scene  Scene01 1 0 10 ", scriptMessage::sceneName, found},  // empty name
      {"@scene Scene01", scriptMessage::sceneName, found},            // no space after the name
      {"@scene Scene01 ", scriptMessage::timelineId, found + "Loading Scene | 1\n"},
      {"@scene Scene01  1 0 10 ", scriptMessage::timelineId, found + "Loading Scene | 1\n"},
      {"@scene Scene01 one 0 10 ", scriptMessage::timelineId, found + "Loading Scene | 1\n"},
      {"@scene Scene01 1 0x10 10 ", scriptMessage::sceneStart, found + "Loading Scene | 1\nTimeline ID | 1\n"},
      {"@scene Scene01 1 2147483648 10 ", scriptMessage::sceneStart, found + "Loading Scene | 1\nTimeline ID | 1\n"},
      // The end time must be followed by a space.
      {"@scene Scene01 1 0 10", scriptMessage::sceneEnd,
       found + "Loading Scene | 1\nTimeline ID | 1\nStart Time | 0\n"},
      {"@scene Scene01 1 0 10\t", scriptMessage::sceneEnd,
       found + "Loading Scene | 1\nTimeline ID | 1\nStart Time | 0\n"},
      {"@scene Scene01 1 0  10 ", scriptMessage::sceneEnd,
       found + "Loading Scene | 1\nTimeline ID | 1\nStart Time | 0\n"},
  };
  for (const Case& c : cases) {
    RecordingTarget target;
    const Outcome outcome = run(c.line, target);
    EXPECT_STREQ(outcome.message, c.message) << c.line;
    EXPECT_EQ(outcome.lines, c.lines) << c.line;
    EXPECT_TRUE(target.placements.empty()) << c.line;
  }
}

TEST(SceneCommand, TimelinesAndTimesThatHaveNoSlotsAreErrorsAfterTheProgressLines) {
  struct Case {
    const char* line;
    const char* message;
  } cases[] = {
      {"@scene Scene01 2 0 10 ", scriptMessage::noTimeline},
      {"@scene Scene01 0 0 10 ", scriptMessage::noTimeline},
      {"@scene Scene01 11 0 10 ", scriptMessage::noTimeline},
      {"@scene Scene01 -1 0 10 ", scriptMessage::noTimeline},
      {"@scene Scene01 1 -1 10 ", scriptMessage::startRange},
      {"@scene Scene01 1 599901 600000 ", scriptMessage::startRange},
      {"@scene Scene01 1 $7FFFFFFF 10 ", scriptMessage::startRange},
      {"@scene Scene01 1 0 600001 ", scriptMessage::endRange},
      // Checked in the order ID, start, end.
      {"@scene Scene01 2 -1 600001 ", scriptMessage::noTimeline},
      {"@scene Scene01 1 -1 600001 ", scriptMessage::startRange},
  };
  for (const Case& c : cases) {
    RecordingTarget target;
    const Outcome outcome = run(c.line, target);
    EXPECT_STREQ(outcome.message, c.message) << c.line;
    // All four progress lines come first.
    EXPECT_NE(outcome.lines.find("End Time | "), std::string::npos) << c.line;
    EXPECT_TRUE(target.placements.empty()) << c.line;
  }

  RecordingTarget target;
  EXPECT_EQ(run("@scene Scene01 1 599900 600000 ", target).message, nullptr);
  EXPECT_EQ(run("@scene Scene02 3 0 0 ", target).message, nullptr);
  // An end before the start is allowed (only enter slots), even a negative one.
  EXPECT_EQ(run("@scene Scene03 1 500 -$1 ", target).message, nullptr);
  EXPECT_EQ(target.placements,
            (std::vector<Placement>{{1, 1, 599900, 600000}, {3, 2, 0, 0}, {1, 3, 500, -1}}));
}

TEST(MusicCommand, AWellFormedLineLogsEveryFieldAndSetsTheMusic) {
  RecordingTarget target;
  const Outcome outcome = run("@music ogg data/tune.ogg $400 -5 1", target);
  EXPECT_EQ(outcome.message, nullptr);
  EXPECT_EQ(outcome.lines,
            "Command Line was found | 0\n"
            "Reading Module Type | 0\n"
            "Loading Module | 0\n"
            "data/tune.ogg | 0\n"
            "Start Time | 1024\n"
            "End Time | -5\n"
            "Module State | 1\n");
  EXPECT_EQ(target.music, (Music{"data/tune.ogg", 1024, -5, 1}));
}

TEST(MusicCommand, TheStateIsTheWholeRestOfTheLine) {
  RecordingTarget target;
  // Two spaces before the state: the rest is " 7", a leading blank is allowed.
  EXPECT_EQ(run("@music mod a.wav 0 0  7", target).message, nullptr);
  EXPECT_EQ(target.music, (Music{"a.wav", 0, 0, 7}));
  EXPECT_EQ(run("@music mod b.wav 0 0 \t%1", target).message, nullptr);
  EXPECT_EQ(target.music, (Music{"b.wav", 0, 0, 1}));
  // An empty module type and file name are fields too.
  EXPECT_EQ(run("@music   0 0 0", target).message, nullptr);
  EXPECT_EQ(target.music, (Music{"", 0, 0, 0}));
}

TEST(MusicCommand, EachBadFieldNamesItselfAfterTheLinesBeforeIt) {
  const std::string head = "Command Line was found | 0\nReading Module Type | 0\nLoading Module | 0\n";
  struct Case {
    const char* line;
    const char* message;
    std::string lines;
  } cases[] = {
      // No space after the type: type, name and offset are all empty.
      {"@music ogg", scriptMessage::moduleStart, head + " | 0\n"},
      {"@music ogg a.ogg", scriptMessage::moduleStart, head + " | 0\n"},
      {"@music ogg a.ogg x 0 1", scriptMessage::moduleStart, head + "a.ogg | 0\n"},
      {"@music ogg a.ogg 0 0x1 1", scriptMessage::moduleEnd, head + "a.ogg | 0\nStart Time | 0\n"},
      {"@music ogg a.ogg 0 1", scriptMessage::moduleEnd, head + "a.ogg | 0\nStart Time | 0\n"},
      // A trailing space after the state makes the state unreadable.
      {"@music ogg a.ogg 0 0 1 ", scriptMessage::moduleState, head + "a.ogg | 0\nStart Time | 0\nEnd Time | 0\n"},
      {"@music ogg a.ogg 0 0 ", scriptMessage::moduleState, head + "a.ogg | 0\nStart Time | 0\nEnd Time | 0\n"},
      {"@music ogg a.ogg 0 0 1 2", scriptMessage::moduleState,
       head + "a.ogg | 0\nStart Time | 0\nEnd Time | 0\n"},
  };
  for (const Case& c : cases) {
    RecordingTarget target;
    const Outcome outcome = run(c.line, target);
    EXPECT_STREQ(outcome.message, c.message) << c.line;
    EXPECT_EQ(outcome.lines, c.lines) << c.line;
    EXPECT_FALSE(target.music) << c.line;
  }
}
