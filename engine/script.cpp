#include "engine/script.h"

#include <algorithm>
#include <cstdio>

#include "engine/log.h"
#include "engine/music.h"
#include "engine/script_reader.h"

namespace {

// The engine's side of a script line: the real tables, log and music settings.
class EngineScriptTarget final : public ScriptTarget {
 public:
  void log(std::string_view text, std::int32_t number) override { logLine(text, number); }
  int findScene(const std::string& name) override { return ::findScene(name); }
  bool timelineExists(std::int32_t id) override { return timelineEntry(id) != nullptr; }
  void placeScene(std::int32_t timelineId, int sceneIndex, std::int32_t start, std::int32_t end) override {
    timelineEntry(timelineId)->placeScene(*sceneEntry(sceneIndex), start, end);
  }
  void setMusic(const std::string& fileName, std::int32_t fileOffset, std::int32_t end,
                std::int32_t moduleState) override {
    musicFileName = fileName;
    musicFileOffset = fileOffset;
    endTime = end;
    musicEnabled = moduleState == 1;
  }
};

}  // namespace

void loadScript(const char* fileName) {
  std::FILE* file = std::fopen(fileName ? fileName : "", "rb");
  if (!file) fatalError("orbTimeline", scriptMessage::cannotOpen);
  EngineScriptTarget target;
  std::string line;
  while (readScriptLine(file, line)) {
    if (const char* failure = runScriptLine(line, target)) {
      std::fclose(file);
      fatalError("orbTimeline", failure);
    }
  }
  // A file that opens but cannot be read (a directory) is as unusable as a
  // missing one.
  const bool readFailed = std::ferror(file) != 0;
  std::fclose(file);
  if (readFailed) fatalError("orbTimeline", scriptMessage::cannotOpen);
  logLine("Script File Loaded", 0);
  logLine(logSeparator, 0);

  // Without music nothing else gives the show an end: the silent clock runs
  // the timelines to their end.
  if (!musicFileName && endTime == 0) endTime = longestTimelineLength();
}

void registerScenesAndTimeline(std::span<const SceneProcedures> scenes) {
  int index = 1;
  for (const SceneProcedures& scene : scenes) {
    if (index > sceneTableSize) break;
    setSceneEntry(index++, orbScene::create(scene.name ? scene.name : "", scene.enterProc, scene.renderProc,
                                            scene.updateProc));
  }
  setTimelineEntry(1, orbTimeline::create("Timeline1", showTimelineLength));
}

void disposeScenesAndTimeline() {
  for (int index = 1; index <= sceneTableSize; ++index) setSceneEntry(index, nullptr);
  for (int id = 1; id <= timelineTableSize; ++id) setTimelineEntry(id, nullptr);
}
