// The demo script loader (placeholder until the loader lands).
#pragma once

// Reads the script, fills the timeline slots and the music settings.
void loadScript(const char* fileName);

// Start-up steps 12 and 13 and their disposal at shutdown: the scene table and
// the one timeline.
void registerScenesAndTimeline();
void disposeScenesAndTimeline();
