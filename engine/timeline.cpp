#include "engine/timeline.h"

void timelineRender() {}
void timelineUpdate() {}
