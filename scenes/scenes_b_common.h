// Drawing shared by Scenes 08 … 13: quads with texture coordinates, sine of
// degrees, time differences that cannot overflow, and the star-grid
// background of the last three scenes. Nothing here fails; the drawing needs
// a current GL context and, for the background, the shared objects.
#pragma once

#include <cstdint>

namespace scene {

// sin(x π / 180).
double sinDeg(double x);

// t − then in milliseconds, taken in double so no pair of int32 values can
// overflow (particle records may hold whatever an earlier scene left).
double msSince(std::int32_t t, std::int32_t then);

// One corner of a quad: texture coordinate (s, t) and position (x, y, z).
struct Corner {
  double s, t, x, y, z;
};

// glTexCoord2d + glVertex3d for each corner, in order. Call inside glBegin(GL_QUADS).
void emitCorners(const Corner (&corners)[4]);

// A whole quad: glBegin(GL_QUADS), glNormal3f(0, 0, 1), the corners, glEnd.
void quadFacingZ(const Corner (&corners)[4]);

// The finale's changes to the star grid: off for Scenes 11 and 12.
struct StarGridStretch {
  bool on = false;
  std::int32_t k = 0;  // beat counter (t − 188694) div 458
};

// The sheet alone: per tile an upper and a lower quad, each after the normal
// (0, 0, 1), rows j = −20 … 20 outer, columns i = −20 … 20 inner. Call inside
// glBegin(GL_QUADS); sets nothing else.
void emitStarGridSheet(double t, StarGridStretch stretch);

// Background steps 1 to 6 of Scenes 11 … 13 at the current frame: the camera
// at the default view; the double sheet of 41 × 41 star tiles (3362 quads in
// one glBegin/glEnd, blend SRC_ALPHA / ONE_MINUS_SRC_ALPHA, depth test off);
// the capture of the frame and a 30-pass spin blur whose angle step follows
// the system clock. Leaves: projection orthographic (from the blur),
// model-view selected and identity, GL_TEXTURE_2D off, GL_BLEND on, depth test
// off, blend function SRC_ALPHA / ONE_MINUS_SRC_ALPHA (the blur's).
void starGridBackground(StarGridStretch stretch);

// The spin blur's angle step for a system tick count g: sin(g / 1000) / 10.
double spinStepForTicks(std::uint32_t g);

}  // namespace scene
