// The thirteen scenes of the show.
#pragma once

// Registers Scene01 … Scene13 into scene table entries 1 … 13.
void registerScenes();
