// Scene10: the lit corridor. A white wall on the right, floor and ceiling
// shading from grey to dark red, thirty red pillars travelling toward the
// viewer, each with an additive glow on floor and ceiling; one positional
// light. Particle records 1 … 30 hold the pillars (z, birthTime).
//
// GL state: enter clears to black and switches on the light (GL_LIGHTING,
// GL_LIGHT0) and both materials; its cut-off of 100 raises GL_INVALID_VALUE,
// as does every render, which switches the light on again. render leaves
// lighting, GL_LIGHT0 and material 2 (GL_COLOR_MATERIAL) on, GL_DEPTH_TEST on,
// GL_BLEND off, blend function SRC_ALPHA / ONE. Nothing here fails otherwise.
#include <GL/gl.h>

#include <cstdint>

#include "engine/state.h"
#include "scenes/common.h"
#include "scenes/scene_list.h"
#include "scenes/scenes_b_common.h"

namespace {

constexpr std::int32_t marker = 100;
constexpr int pillars = 30;

// The depth formula of a pillar: −30 at spawn, one unit a second toward +z.
float pillarDepth(std::int32_t t, std::int32_t birthTime) {
  return static_cast<float>(scene::msSince(t, birthTime) / 1000.0 - 30.0);
}

// One vertex with its own normal (lighting is on) and texture coordinate.
void vertex(float nx, float ny, float nz, double s, double t, double x, double y, double z) {
  glNormal3f(nx, ny, nz);
  glTexCoord2d(s, t);
  glVertex3d(x, y, z);
}

void plainVertex(float nx, float ny, float nz, double x, double y, double z) {
  glNormal3f(nx, ny, nz);
  glVertex3d(x, y, z);
}

void drawCorridor() {
  glBegin(GL_QUADS);
  for (int i = 1; i <= 30; ++i) {
    const double z0 = 2 - i, z1 = 1 - i;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    plainVertex(-1, 0, 0, 0.1, 1, z0);
    plainVertex(-1, 0, 0, 0.1, -1, z0);
    plainVertex(-1, 0, 0, 0.1, -1, z1);
    plainVertex(-1, 0, 0, 0.1, 1, z1);

    glColor4f(0.3f, 0.3f, 0.3f, 1.0f);
    plainVertex(0, 1, 0, 0.1, -1, z1);
    plainVertex(0, 1, 0, 0.1, -1, z0);
    glColor4f(0.5f, 0.1f, 0.1f, 1.0f);
    plainVertex(0, 1, 0, -2, -1, z0);
    plainVertex(0, 1, 0, -2, -1, z1);

    glColor4f(0.3f, 0.3f, 0.3f, 1.0f);
    plainVertex(0, -1, 0, 0.1, 1, z1);
    plainVertex(0, -1, 0, 0.1, 1, z0);
    glColor4f(0.5f, 0.1f, 0.1f, 1.0f);
    plainVertex(0, -1, 0, -2, 1, z0);
    plainVertex(0, -1, 0, -2, 1, z1);
  }
  glEnd();
}

// The box (±0.1, ±1, z ± 0.2), faces counter-clockwise seen from outside.
void drawPillar(double z) {
  const double f = z + 0.2, b = z - 0.2;
  glBegin(GL_QUADS);
  // front
  vertex(0, 0, 1, 0, 0, -0.1, -1, f);
  vertex(0, 0, 1, 1, 0, 0.1, -1, f);
  vertex(0, 0, 1, 1, 1, 0.1, 1, f);
  vertex(0, 0, 1, 0, 1, -0.1, 1, f);
  // back
  vertex(0, 0, -1, 0, 0, 0.1, -1, b);
  vertex(0, 0, -1, 1, 0, -0.1, -1, b);
  vertex(0, 0, -1, 1, 1, -0.1, 1, b);
  vertex(0, 0, -1, 0, 1, 0.1, 1, b);
  // top
  vertex(0, 1, 0, 0, 0, -0.1, 1, f);
  vertex(0, 1, 0, 1, 0, 0.1, 1, f);
  vertex(0, 1, 0, 1, 1, 0.1, 1, b);
  vertex(0, 1, 0, 0, 1, -0.1, 1, b);
  // bottom
  vertex(0, -1, 0, 0, 0, -0.1, -1, b);
  vertex(0, -1, 0, 1, 0, 0.1, -1, b);
  vertex(0, -1, 0, 1, 1, 0.1, -1, f);
  vertex(0, -1, 0, 0, 1, -0.1, -1, f);
  // right
  vertex(1, 0, 0, 0, 0, 0.1, -1, f);
  vertex(1, 0, 0, 1, 0, 0.1, -1, b);
  vertex(1, 0, 0, 1, 1, 0.1, 1, b);
  vertex(1, 0, 0, 0, 1, 0.1, 1, f);
  // left
  vertex(-1, 0, 0, 0, 0, -0.1, -1, b);
  vertex(-1, 0, 0, 1, 0, -0.1, -1, f);
  vertex(-1, 0, 0, 1, 1, -0.1, 1, f);
  vertex(-1, 0, 0, 0, 1, -0.1, 1, b);
  glEnd();
}

// Glows fade from alpha 0.7 at the pillar to 0 at the open side, leaning toward −z.
void drawGlows() {
  glBegin(GL_QUADS);
  for (int i = 1; i <= pillars; ++i) {
    const double z = particles1[i].z;
    glColor4f(0.5f, 0.1f, 0.1f, 0.0f);
    vertex(0, 1, 0, 1, 0, -2.1, -0.99, z - 0.2);
    vertex(0, 1, 0, 1, 1, -2.1, -0.99, z - 0.6);
    glColor4f(0.4f, 0.1f, 0.1f, 0.7f);
    vertex(0, 1, 0, 0, 1, -0.12, -0.99, z - 0.2);
    vertex(0, 1, 0, 0, 0, -0.12, -0.99, z + 0.2);
  }
  for (int i = 1; i <= pillars; ++i) {
    const double z = particles1[i].z;
    glColor4f(0.5f, 0.1f, 0.1f, 0.0f);
    vertex(0, -1, 0, 1, 1, -2.1, 0.99, z - 0.6);
    vertex(0, -1, 0, 1, 0, -2.1, 0.99, z - 0.2);
    glColor4f(0.4f, 0.1f, 0.1f, 0.7f);
    vertex(0, -1, 0, 0, 0, -0.12, 0.99, z + 0.2);
    vertex(0, -1, 0, 0, 1, -0.12, 0.99, z - 0.2);
  }
  glEnd();
}

}  // namespace

void scene10Enter() {
  if (scene::alreadyEntered(marker)) return;
  camera = orbCamera::create(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 0.0f);
  camera.setActive(true);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);

  light.setAmbient(0.2f, 0.15f, 0.15f, 1.0f);
  light.setDiffuse(1.0f, 1.0f, 1.0f, 1.0f);
  light.setSpecular(1.0f, 1.0f, 1.0f, 1.0f);
  light.setPosition(-0.5f, 0.0f, -3.0f);
  light.setSpotDirection(0.0f, 0.0f, -3.0f);
  // GL refuses 100 (GL_INVALID_VALUE) and keeps its cut-off of 180, so the
  // light shines in every direction; the corridor was lit that way.
  light.setSpotCutoff(100.0f);
  light.setSpotExponent(10.0f);
  light.setAttenuation(1.0f, 0.0f, 0.0f);
  light.setEnabled(true);

  material1.setAmbient(0.3f, 0.3f, 0.3f, 1.0f);
  material1.setDiffuse(1.0f, 1.0f, 1.0f, 1.0f);
  material1.setSpecular(0.0f, 0.0f, 0.0f, 1.0f);
  material1.setShininess(100);
  material1.setEnabled(true);

  material2.setAmbient(0.2f, 0.2f, 0.2f, 1.0f);
  material2.setDiffuse(1.0f, 0.8f, 0.8f, 1.0f);
  material2.setSpecular(1.0f, 1.0f, 1.0f, 1.0f);
  material2.setShininess(50);
  material2.setEnabled(true);

  // The pillars stand one unit apart from −29 to 0.
  const std::int32_t t = currentTime;
  for (int i = 1; i <= pillars; ++i) {
    ParticleRecord& p = particles1[i];
    p.birthTime = t - 1000 * i;
    p.z = pillarDepth(t, p.birthTime);
  }

  camera.setActive(true);
  camera.setView(-5.0f, 0.0f, 0.0f, 0.0f, 0.0f, -3.0f, 0.0f, 1.0f, 0.0f);
  camera.apply();
}

void scene10Render() {
  const double t = scene::t();
  const double s = scene::s();

  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  light.setEnabled(true);
  material2.setEnabled(false);
  material1.setEnabled(true);

  // The look-at point sways between depths −3.8 and −0.2 every 14.4 s.
  camera.setView(static_cast<float>(-2.0 - s), -0.2f, -1.0f, 0.0f, 0.0f,
                 static_cast<float>(1.8 * scene::sinDeg((t + 7000.0) / 40.0) - 2.0), 0.0f, 1.0f, 0.0f);
  camera.apply();

  drawCorridor();

  material1.setEnabled(false);
  material2.setEnabled(true);
  glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
  for (int i = 1; i <= pillars; ++i) drawPillar(particles1[i].z);

  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  drawGlows();

  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
}

void scene10Update() {
  const std::int32_t t = currentTime;
  for (int i = 1; i <= pillars; ++i) {
    ParticleRecord& p = particles1[i];
    if (p.z < 0.0f) {
      p.z = pillarDepth(t, p.birthTime);
    } else {
      // A pillar that reached depth 0 starts again at −30.
      p.birthTime = t;
      p.z = pillarDepth(t, t);
    }
  }
}
