#include "scenes/scenes_b_common.h"

#include <GL/gl.h>

#include <cmath>

#include "engine/camera.h"
#include "engine/shared.h"
#include "engine/window.h"
#include "scenes/common.h"

namespace scene {

double sinDeg(double x) { return std::sin(degToRad(x)); }

double msSince(std::int32_t t, std::int32_t then) { return static_cast<double>(t) - static_cast<double>(then); }

void emitCorners(const Corner (&corners)[4]) {
  for (const Corner& c : corners) {
    glTexCoord2d(c.s, c.t);
    glVertex3d(c.x, c.y, c.z);
  }
}

void quadFacingZ(const Corner (&corners)[4]) {
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  emitCorners(corners);
  glEnd();
}

double spinStepForTicks(std::uint32_t g) { return std::sin(static_cast<double>(g) / 1000.0) / 10.0; }

void emitStarGridSheet(double t, StarGridStretch stretch) {
  const double k = stretch.k;
  const double widen = stretch.on ? k / 10.0 : 0.0;
  const double seconds = t / 1000.0;
  for (int j = -20; j <= 20; ++j) {
    const double rA = stretch.on ? std::fabs(seconds + k * j / 20.0) : std::fabs(seconds + j / 20.0);
    const double rB = std::fabs(seconds + (j - 1) / 20.0);
    const double zA = sinDeg(4.5 * j + t / 10.0);
    const double zB = sinDeg(4.5 * (j - 1) + t / 10.0);
    const double cy = j / 2.5;
    for (int i = -20; i <= 20; ++i) {
      const double sA = std::fabs(seconds + (i - 1) / 20.0);
      const double sB = stretch.on ? std::fabs(seconds + i / 20.0) * k : std::fabs(seconds + i / 20.0);
      const double cx = i / 2.5;
      glNormal3f(0.0f, 0.0f, 1.0f);
      emitCorners({{sA, rA, cx - 0.2 - widen, cy - 0.2, zA + 0.1},
                   {sB, rA, cx + 0.2 + widen, cy - 0.2, zB + 0.1},
                   {sB, rB, cx + 0.2 + widen, cy + 0.2, zB + 0.1},
                   {sA, rB, cx - 0.2 - widen, cy + 0.2, zA + 0.1}});
      glNormal3f(0.0f, 0.0f, 1.0f);
      emitCorners({{sA, rA, cx - 0.2, cy - 0.2, zA},
                   {sB, rA, cx + 0.2, cy - 0.2, zB},
                   {sB, rB, cx + 0.2, cy + 0.2, zB},
                   {sA, rB, cx - 0.2, cy + 0.2, zA}});
    }
  }
}

void starGridBackground(StarGridStretch stretch) {
  const double t = scene::t();

  glLoadIdentity();
  camera.setView(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 0.0f);
  camera.apply();

  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glLoadIdentity();

  glTranslated(0.0, 0.0, -6.8);
  glRotated(sinDeg(t / 50.0), 1.0, 0.6, 0.2);
  glRotated((t / 2000.0) * std::sin(t / 1000.0), 0.0, 0.0, 1.0);
  glRotated(-15.0 * std::sin(t / 1500.0), 0.0, 0.0, 1.0);
  glRotated(-15.0 * std::sin(t / 1600.0), 1.0, 0.0, 0.0);

  glEnable(GL_TEXTURE_2D);
  bindTexture(tex::star);
  glColor4f(0.8f, 0.8f, 0.8f, 0.5f);
  glBegin(GL_QUADS);
  emitStarGridSheet(t, stretch);
  glEnd();
  glDisable(GL_TEXTURE_2D);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);

  pipeline.captureAndRedraw();
  // The blur turns with the window system's tick count, not the music: it
  // keeps moving while the music is paused (a renderer that must repeat its
  // frames gives its backend a virtual tick count).
  const double step = spinStepForTicks(windowBackend().tickCount());
  overlayFX.spinBlur(30, 0.2f, static_cast<float>(step), 0.5f);
}

}  // namespace scene
