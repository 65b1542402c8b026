#include "scenes/scenes.h"

#include <array>

#include "scenes/scene_list.h"

namespace {

#define VOLTRA_SCENE(n) {"Scene" #n, scene##n##Enter, scene##n##Render, scene##n##Update}

constexpr std::array<SceneProcedures, 13> procedures{{
    VOLTRA_SCENE(01), VOLTRA_SCENE(02), VOLTRA_SCENE(03), VOLTRA_SCENE(04), VOLTRA_SCENE(05),
    VOLTRA_SCENE(06), VOLTRA_SCENE(07), VOLTRA_SCENE(08), VOLTRA_SCENE(09), VOLTRA_SCENE(10),
    VOLTRA_SCENE(11), VOLTRA_SCENE(12), VOLTRA_SCENE(13),
}};

#undef VOLTRA_SCENE

}  // namespace

std::span<const SceneProcedures> sceneProcedures() { return procedures; }

void registerScenesAndTimeline() { registerScenesAndTimeline(sceneProcedures()); }

void registerScenes() { registerScenesAndTimeline(); }
