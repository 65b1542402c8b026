// loadScript end to end: the real scene and timeline tables, debug.txt, the
// music settings, and every fatal path (in a child process: error.txt,
// debug.txt and exit code 0).
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>

#include "engine/log.h"
#include "engine/music.h"
#include "engine/script.h"
#include "engine/script_reader.h"
#include "engine/timeline.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

using testsupport::readFileBytes;
using testsupport::runInChild;
using testsupport::ScopedTempDir;

namespace {

void enterA() {}
void renderA() {}
void updateA() {}
void enterB() {}
void renderB() {}
void updateB() {}

constexpr std::array<SceneProcedures, 2> twoScenes{{
    {"Scene01", enterA, renderA, updateA},
    {"Scene02", enterB, renderB, updateB},
}};

void writeScript(const std::string& bytes) { std::ofstream("script.qsc", std::ios::binary) << bytes; }

class ScriptLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    resetLogForTesting();
    resetMusicForTesting();
    registerScenesAndTimeline(twoScenes);
  }
  void TearDown() override {
    disposeScenesAndTimeline();
    resetMusicForTesting();
  }

  // Loads script bytes in a child that must end through fatalError; returns
  // error.txt's message line after checking the rest of the file.
  static std::string fatalMessageOf(const std::string& script, std::string* debug = nullptr) {
    writeScript(script);
    std::remove("error.txt");
    const auto child = runInChild([] { loadScript("script.qsc"); });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 1);
    const std::string error = readFileBytes("error.txt");
    const std::string head = "Sorry, but the following module had something to say:\r\n\r\norbTimeline\r\n";
    EXPECT_EQ(error.compare(0, head.size(), head), 0) << error;
    if (debug) *debug = readFileBytes("debug.txt");
    std::string message = error.size() > head.size() ? error.substr(head.size()) : "";
    if (message.size() >= 2 && message.compare(message.size() - 2, 2, "\r\n") == 0) message.resize(message.size() - 2);
    return message;
  }

  ScopedTempDir dir_;
};

}  // namespace

TEST_F(ScriptLoader, AScriptWithEverySyntaxLoadsAndLogsExactly) {
  writeScript(
      "Voltra script, free text\r\n"
      "@music ogg tune.ogg &20 $0002F6B0 %1\r\n"
      "  indented @scene is a comment\n"
      "@scene Scene01 1 0 +1000 first\n"
      "@Scene Scene02 1 0 1000 \r"
      "@fx flash 1 2 3\r"
      "@scene Scene02 1 $1F4 -$0 \n"
      "@music mp3 other.mp3 0 0 2\n");
  loadScript("script.qsc");
  EXPECT_EQ(readFileBytes("debug.txt"),
            "Command Line was found | 0\r\n"
            "Reading Module Type | 0\r\n"
            "Loading Module | 0\r\n"
            "tune.ogg | 0\r\n"
            "Start Time | 16\r\n"
            "End Time | 194224\r\n"
            "Module State | 1\r\n"
            "Command Line was found | 0\r\n"
            "Loading Scene | 1\r\n"
            "Timeline ID | 1\r\n"
            "Start Time | 0\r\n"
            "End Time | 1000\r\n"
            "Command Line was found | 0\r\n"
            "Command Line was found | 0\r\n"
            "Command Line was found | 0\r\n"
            "Loading Scene | 2\r\n"
            "Timeline ID | 1\r\n"
            "Start Time | 500\r\n"
            "End Time | 0\r\n"
            "Command Line was found | 0\r\n"
            "Reading Module Type | 0\r\n"
            "Loading Module | 0\r\n"
            "other.mp3 | 0\r\n"
            "Start Time | 0\r\n"
            "End Time | 0\r\n"
            "Module State | 2\r\n"
            "Script File Loaded | 0\r\n"
            "-------------------------- | 0\r\n");

  // The last @music line replaced every setting of the first.
  ASSERT_TRUE(musicFileName);
  EXPECT_EQ(*musicFileName, "other.mp3");
  EXPECT_EQ(musicFileOffset, 0);
  EXPECT_EQ(endTime, 0);
  EXPECT_FALSE(musicEnabled);

  // Scene02's second line (end before start) took only its enter slots.
  const orbTimeline& timeline = *timelineEntry(1);
  EXPECT_EQ(timeline.enterSlot(0), enterA);
  EXPECT_EQ(timeline.enterSlot(100), enterA);
  EXPECT_EQ(timeline.enterSlot(500), enterB);
  EXPECT_EQ(timeline.enterSlot(600), enterB);
  EXPECT_EQ(timeline.renderSlot(500), renderA);
  EXPECT_EQ(timeline.updateSlot(1000), updateA);
  EXPECT_NE(timeline.renderSlot(1001), renderA);
}

TEST_F(ScriptLoader, CommentsOnlyRegisterNothingAndTheShowEndsWithItsTimeline) {
  writeScript("nothing here\n\n@Music a b 0 0 1\n");
  loadScript("script.qsc");
  EXPECT_EQ(readFileBytes("debug.txt"),
            "Command Line was found | 0\r\nScript File Loaded | 0\r\n-------------------------- | 0\r\n");
  EXPECT_FALSE(musicFileName);
  EXPECT_EQ(endTime, showTimelineLength);
  for (std::int32_t t : {0, 1000, showTimelineLength}) EXPECT_NE(timelineEntry(1)->renderSlot(t), renderA);

  // An end time set before (by a test harness) is kept.
  resetLogForTesting();
  endTime = 1234;
  loadScript("script.qsc");
  EXPECT_EQ(endTime, 1234);
}

TEST_F(ScriptLoader, AnEmptyFileLoads) {
  writeScript("");
  loadScript("script.qsc");
  EXPECT_EQ(readFileBytes("debug.txt"), "Script File Loaded | 0\r\n-------------------------- | 0\r\n");
}

TEST_F(ScriptLoader, EveryMalformedLineEndsTheRunWithItsMessage) {
  struct Case {
    const char* script;
    const char* message;
  } cases[] = {
      {"@scene\r\n", scriptMessage::emptyCommand},
      {"@scene Scene03 1 0 10 \n", scriptMessage::sceneName},
      {"@scene Scene01 x 0 10 \n", scriptMessage::timelineId},
      {"@scene Scene01 1 ten 10 \n", scriptMessage::sceneStart},
      {"@scene Scene01 1 0 10\n", scriptMessage::sceneEnd},
      {"@music ogg a.ogg x 0 1\n", scriptMessage::moduleStart},
      {"@music ogg a.ogg 0 x 1\n", scriptMessage::moduleEnd},
      {"@music ogg a.ogg 0 0 1 \n", scriptMessage::moduleState},
      {"@scene Scene01 2 0 10 \n", scriptMessage::noTimeline},
      {"@scene Scene01 1 599901 10 \n", scriptMessage::startRange},
      {"@scene Scene01 1 0 600001 \n", scriptMessage::endRange},
  };
  for (const Case& c : cases) EXPECT_EQ(fatalMessageOf(c.script), c.message) << c.script;
}

TEST_F(ScriptLoader, AFatalLineKeepsTheLinesBeforeItInTheLog) {
  std::string debug;
  EXPECT_EQ(fatalMessageOf("@fx 1\n@scene Scene01 1 -5 10\n@scene Scene01 1 0 10 \n", &debug),
            scriptMessage::sceneEnd);
  EXPECT_EQ(debug,
            "Command Line was found | 0\r\n"
            "Command Line was found | 0\r\n"
            "Loading Scene | 1\r\n"
            "Timeline ID | 1\r\n"
            "Start Time | -5\r\n");
}

TEST_F(ScriptLoader, AMissingOrUnreadableFileIsFatal) {
  const auto missing = runInChild([] { loadScript("no-such-script.qsc"); });
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(readFileBytes("error.txt"),
            "Sorry, but the following module had something to say:\r\n\r\norbTimeline\r\n"
            "Could not load Script file!\r\n");
  EXPECT_EQ(readFileBytes("debug.txt"), "");

  std::remove("error.txt");
  std::filesystem::create_directory("folder.qsc");
  const auto folder = runInChild([] { loadScript("folder.qsc"); });
  EXPECT_EQ(folder.exitCode, 1);
  EXPECT_NE(readFileBytes("error.txt").find("Could not load Script file!"), std::string::npos);
}

TEST_F(ScriptLoader, RegistrationFillsTheTablesAndDisposalEmptiesThem) {
  EXPECT_EQ(sceneEntry(1)->name, "Scene01");
  EXPECT_EQ(sceneEntry(2)->renderProc, renderB);
  EXPECT_EQ(sceneEntry(3), nullptr);
  ASSERT_NE(timelineEntry(1), nullptr);
  EXPECT_EQ(timelineEntry(1)->name(), "Timeline1");
  EXPECT_EQ(timelineEntry(1)->length(), showTimelineLength);
  EXPECT_EQ(timelineEntry(2), nullptr);
  disposeScenesAndTimeline();
  EXPECT_EQ(sceneEntry(1), nullptr);
  EXPECT_EQ(timelineEntry(1), nullptr);
}

TEST_F(ScriptLoader, TheShowRegistersItsThirteenScenesAndOneTimeline) {
  disposeScenesAndTimeline();
  registerScenesAndTimeline();  // with the scenes module's own table
  for (int index = 1; index <= 13; ++index) {
    ASSERT_NE(sceneEntry(index), nullptr) << index;
    EXPECT_EQ(sceneEntry(index)->name, (index < 10 ? "Scene0" : "Scene") + std::to_string(index));
    EXPECT_NE(sceneEntry(index)->enterProc, nullptr);
    EXPECT_NE(sceneEntry(index)->renderProc, nullptr);
    EXPECT_NE(sceneEntry(index)->updateProc, nullptr);
  }
  EXPECT_EQ(sceneEntry(14), nullptr);
  EXPECT_EQ(timelineEntry(1)->length(), 197429);
}
