// What the scenes share: the set-up guard, the standard set-up, two 2D
// drawing procedures on a virtual 640 × 480 screen, the scenes' random
// numbers, and the two inputs every scene reads (time and one spectrum value).
#pragma once

#include <cstdint>

#include "engine/shared.h"

namespace scene {

// The frame's music time t in milliseconds, as a double.
double t();
// Spectrum element 110 of the frame (the one value the scenes react to).
double s();

// The set-up guard: true when the timeline's marker already holds `marker`
// (nothing to do); otherwise stores it and returns false.
bool alreadyEntered(std::int32_t marker);

// Standard set-up after the guard: a fresh default camera made active (full
// true, Scenes 01 to 10), the clear colour, light and both materials off.
void standardSetup(bool freshCamera, float clearRed, float clearGreen, float clearBlue);

// A uniform pseudo-random integer in [0, n); 0 when n < 1.
std::int32_t random(std::int32_t n);

// One textured quad of `size` centred at (x, y, z) on the virtual 640 × 480
// screen (y down), rotated by angle degrees about z, blended with
// (SRC_ALPHA, ONE_MINUS_SRC_ALPHA) in colour (r, g, b, a).
// Leaves: the projection matrix as it found it (pushed and popped), the
// model-view matrix selected holding the sprite's transform, GL_TEXTURE_2D
// and GL_BLEND disabled, blend function (SRC_ALPHA, ONE).
void drawSprite(tex::Slot texture, double size, double x, double y, double z, double red, double green,
                double blue, double alpha, double angle);

// A 640 × 640 quad at z = -99 on the virtual screen, texture repeated
// `repeat` times, colour (0, 0, 0, alpha): darkens what lies behind it.
// Leaves the same state as drawSprite, with the model-view matrix the identity.
void drawTiledBackdrop(tex::Slot texture, std::int32_t repeat, double alpha);

}  // namespace scene
