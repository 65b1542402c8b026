#include "scenes/scenes.h"

#include <array>

namespace {

void placeholderProc() {}

constexpr std::array<SceneProcedures, 13> procedures{{
    {"Scene01", placeholderProc, placeholderProc, placeholderProc},
    {"Scene02", placeholderProc, placeholderProc, placeholderProc},
    {"Scene03", placeholderProc, placeholderProc, placeholderProc},
    {"Scene04", placeholderProc, placeholderProc, placeholderProc},
    {"Scene05", placeholderProc, placeholderProc, placeholderProc},
    {"Scene06", placeholderProc, placeholderProc, placeholderProc},
    {"Scene07", placeholderProc, placeholderProc, placeholderProc},
    {"Scene08", placeholderProc, placeholderProc, placeholderProc},
    {"Scene09", placeholderProc, placeholderProc, placeholderProc},
    {"Scene10", placeholderProc, placeholderProc, placeholderProc},
    {"Scene11", placeholderProc, placeholderProc, placeholderProc},
    {"Scene12", placeholderProc, placeholderProc, placeholderProc},
    {"Scene13", placeholderProc, placeholderProc, placeholderProc},
}};

}  // namespace

std::span<const SceneProcedures> sceneProcedures() { return procedures; }

void registerScenesAndTimeline() { registerScenesAndTimeline(sceneProcedures()); }

void registerScenes() { registerScenesAndTimeline(); }
