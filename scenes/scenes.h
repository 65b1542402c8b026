// The thirteen scenes of the show.
#pragma once

#include <span>

#include "engine/script.h"

// Scene01 … Scene13 with their enter, render and update procedures, in
// scene table order.
std::span<const SceneProcedures> sceneProcedures();

// Registers Scene01 … Scene13 into scene table entries 1 … 13 and Timeline1.
void registerScenes();
