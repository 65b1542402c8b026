// The demo script loader and the start-up steps around it.
//
// loadScript reads the script (syntax in engine/script_reader.h): each
// command line fills timeline slots or the music settings and writes its
// progress lines to debug.txt; the end of the file writes "Script File
// Loaded" and the separator. The first malformed line, or a file that cannot
// be opened or read, ends the run through fatalError under "orbTimeline".
//
// A script without a @music line still runs: no music file is set, so the
// start-up starts no stream; musicTime then runs as a silent real-time clock
// from the first frame (engine/music.h), and loadScript sets endTime, when
// nothing set it yet, to the length of the longest registered timeline, so
// the show ends with its timeline.
#pragma once

#include <span>

#include "engine/timeline.h"

// Reads the script, fills the timeline slots and the music settings. Returns
// only on success.
void loadScript(const char* fileName);

// The three procedures of one scene, as the scenes module hands them over.
struct SceneProcedures {
  const char* name;
  SceneProc enterProc;
  SceneProc renderProc;
  SceneProc updateProc;
};

// Start-up steps 12 and 13: scenes into scene table entries 1, 2, … in the
// order given (at most 100), then "Timeline1" of length 197429 into timeline
// table entry 1.
void registerScenesAndTimeline(std::span<const SceneProcedures> scenes);
// The same with the show's thirteen scenes (scenes/scenes.h sceneProcedures());
// defined by the scenes module, which owns them.
void registerScenesAndTimeline();
// Shutdown step 4: every scene entry in table order, then every timeline.
void disposeScenesAndTimeline();

inline constexpr std::int32_t showTimelineLength = 197429;
