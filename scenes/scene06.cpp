// Scene06: two large turning discs at the screen's edges, a spinning flower
// in the centre that pulses toward the viewer with the music, and three rings
// of small flowers orbiting it on Lissajous paths, all smeared by a zoom blur
// of the finished frame.
#include <GL/gl.h>

#include <cmath>
#include <cstdint>

#include "engine/state.h"
#include "scenes/common.h"
#include "scenes/quads.h"
#include "scenes/scene_list.h"

namespace {

constexpr std::int32_t marker = 60;

// Finishes one orbiting flower after its ring's transforms: its own spin,
// then the quad of half-width h at z = 0.
void orbitingFlower(double t, double h) {
  glRotatef(static_cast<GLfloat>(t / 300.0), 0.0f, 0.0f, 1.0f);
  scene::pictureQuad(-h, -h, h, h, 0.0);
}

void rotateZ(double degrees) { glRotatef(static_cast<GLfloat>(degrees), 0.0f, 0.0f, 1.0f); }
void translate(double x, double y, double z) {
  glTranslatef(static_cast<GLfloat>(x), static_cast<GLfloat>(y), static_cast<GLfloat>(z));
}

}  // namespace

void scene06Enter() {
  if (scene::alreadyEntered(marker)) return;
  scene::standardSetup(true, 0.3f, 0.0f, 0.0f);
}

// Leaves: GL_BLEND and GL_TEXTURE_2D off, GL_DEPTH_TEST on, blend function
// (SRC_ALPHA, ONE_MINUS_SRC_ALPHA) and the orthographic projection from the
// zoom blur, the render texture bound.
void scene06Render() {
  const double t = scene::t();
  glLoadIdentity();
  const double d = 30.0 * std::sin(t / 1000.0) + 500.0;  // breathing sprite size
  scene::drawSprite(tex::flower1, d, 0.0, 240.0, -99.0, 0.68, 0.51, 0.2, 1.0, t / 60.0);
  scene::drawSprite(tex::star, d, 640.0, 240.0, -99.0, 1.0, 1.0, 1.0, 1.0, -t / 60.0);

  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_2D);
  bindTexture(tex::flower1);  // stays bound for the rest of the scene

  // Centre flower.
  glColor4f(1.0f, 1.0f, 1.0f, 0.8f);
  glLoadIdentity();
  rotateZ(t / 50.0);
  const double cz = scene::s() - 4.0;
  scene::pictureQuad(-0.3, -0.3, 0.3, 0.3, cz);

  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  for (int i = 1; i <= 8; ++i) {  // ring A
    glLoadIdentity();
    rotateZ(t / 50.0);
    rotateZ(45.0 * i);
    translate(std::sin(t / 800.0), 0.0, -4.0);
    translate(0.0, std::sin((t - 2000.0) / 700.0), 0.0);
    orbitingFlower(t, 0.2);
  }
  const double swing = -170.0 * std::sin(t / 1000.0);
  for (int i = 1; i <= 8; ++i) {  // ring B
    glLoadIdentity();
    rotateZ(swing);
    rotateZ(-45.0);
    rotateZ(-45.0 * i);
    translate(-std::sin((t + 1000.0) / 800.0), 0.0, -4.0);
    translate(0.0, -std::sin((t + 3000.0) / 600.0) * std::sin((t + 1000.0) / 800.0),
              std::sin((t + 1500.0) / 650.0));
    orbitingFlower(t, 0.12);
  }
  for (int i = 1; i <= 22; ++i) {  // ring C: wraps almost three times, flowers overlap in pairs
    glLoadIdentity();
    rotateZ(swing);
    rotateZ(-45.0);
    rotateZ(-45.0 * i);
    translate(-std::sin((t + 1000.0) / 500.0) * std::cos((t + 1000.0) / 800.0), 0.0, -4.0);
    translate(0.0, -std::sin((t + 3000.0) / 900.0) * std::cos((t + 1000.0) / 750.0),
              2.0 * std::sin((t + 1500.0) / 650.0));
    orbitingFlower(t, 0.12);
  }

  glDisable(GL_TEXTURE_2D);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  pipeline.captureAndRedraw();
  const double spread = std::sin(degToRad((t - 35176.0) / 90.0)) / 2.0;
  overlayFX.zoomBlur(10, static_cast<float>(spread), 0.2f);

  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

void scene06Update() {}
