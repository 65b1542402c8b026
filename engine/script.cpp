#include "engine/script.h"

void loadScript(const char*) {}
void registerScenesAndTimeline() {}
void disposeScenesAndTimeline() {}
