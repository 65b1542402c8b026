// Scenes and timelines (placeholder until the scheduler lands).
#pragma once

void timelineRender();
void timelineUpdate();
