#include "scenes/common.h"

#include <GL/gl.h>

#include <random>

#include "engine/state.h"
#include "engine/timeline.h"

namespace scene {

double t() { return static_cast<double>(currentTime); }

double s() { return static_cast<double>(spectrum[110]); }

namespace {
// No scene depends on a particular sequence. Each visit starts its own
// sequence from its marker, so a visit draws the same numbers whatever ran
// before it (a render that starts inside the show repeats a run from 0).
std::minstd_rand generator(20050);
}  // namespace

bool alreadyEntered(std::int32_t marker) {
  orbTimeline* timeline = timelineEntry(1);
  if (!timeline) return false;
  if (timeline->activeScene == marker) return true;
  timeline->activeScene = marker;
  generator.seed(20050u + static_cast<std::uint32_t>(marker));
  return false;
}

void standardSetup(bool freshCamera, float clearRed, float clearGreen, float clearBlue) {
  if (freshCamera) {
    camera = orbCamera::create(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 0.0f);
    camera.setActive(true);
  }
  glClearColor(clearRed, clearGreen, clearBlue, 1.0f);
  light.setEnabled(false);
  material1.setEnabled(false);
  material2.setEnabled(false);
}

std::int32_t random(std::int32_t n) {
  if (n < 1) return 0;
  return static_cast<std::int32_t>(generator() % static_cast<std::uint32_t>(n));
}

namespace {

void beginVirtualScreen() {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0.0, 640.0, 480.0, 0.0, -100.0, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void endVirtualScreen() {
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
}

}  // namespace

void drawSprite(tex::Slot texture, double size, double x, double y, double z, double red, double green,
                double blue, double alpha, double angle) {
  beginVirtualScreen();
  glTranslated(x, y, z);
  glRotated(angle, 0.0, 0.0, 1.0);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  bindTexture(texture);
  glColor4d(red, green, blue, alpha);
  const double h = size / 2.0;
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glTexCoord2d(0.0, 0.0);
  glVertex3d(-h, -h, 0.0);
  glTexCoord2d(1.0, 0.0);
  glVertex3d(h, -h, 0.0);
  glTexCoord2d(1.0, 1.0);
  glVertex3d(h, h, 0.0);
  glTexCoord2d(0.0, 1.0);
  glVertex3d(-h, h, 0.0);
  glEnd();
  endVirtualScreen();
}

void drawTiledBackdrop(tex::Slot texture, std::int32_t repeat, double alpha) {
  beginVirtualScreen();
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_2D);
  bindTexture(texture);
  glColor4d(0.0, 0.0, 0.0, alpha);
  const double r = repeat;
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glTexCoord2d(0.0, 0.0);
  glVertex3d(0.0, 0.0, -99.0);
  glTexCoord2d(r, 0.0);
  glVertex3d(640.0, 0.0, -99.0);
  glTexCoord2d(r, r);
  glVertex3d(640.0, 640.0, -99.0);
  glTexCoord2d(0.0, r);
  glVertex3d(0.0, 640.0, -99.0);
  glEnd();
  endVirtualScreen();
}

}  // namespace scene
