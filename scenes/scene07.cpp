// Scene07: the viewer inside a slowly tumbling flower-textured sphere, a
// hundred flower flakes rising through the picture with dark drop shadows,
// and the frame turned into a spinning blur that starts to sway at 130 s and
// then winds up.
//
// Flakes live in particle records 1 … 100: x, y, z and birthTime (the
// millisecond the flake started its 4-second rise).
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdint>

#include "engine/state.h"
#include "scenes/common.h"
#include "scenes/quads.h"
#include "scenes/scene_list.h"

namespace {

constexpr std::int32_t marker = 70;
constexpr int flakeCount = 100;
constexpr std::int64_t riseTime = 4000;  // ms from bottom to top
constexpr std::int32_t swayStart = 130000;
constexpr std::int32_t windStart = 141786;

ParticleRecord& flake(int i) { return particles1[static_cast<std::size_t>(i)]; }

// Height of a flake from its age. Time differences are taken in 64 bits:
// after a skipped set-up the records hold whatever an earlier scene left.
float riseHeight(const ParticleRecord& p) {
  return static_cast<float>(static_cast<double>(std::int64_t{currentTime} - p.birthTime) / 200.0 - 10.0);
}

double sinDeg(double x) { return std::sin(degToRad(x)); }

// The spin blur's angle step at music time t, or false for the two exact
// milliseconds that belong to no branch (no blur in that frame).
bool spinBlurStep(std::int32_t t, float& step) {
  const double since = static_cast<double>(t) - swayStart;
  if (t < swayStart) {
    step = 0.0f;
  } else if (swayStart < t && t < windStart) {
    step = static_cast<float>(sinDeg(since / 1500.0));
  } else if (t > windStart) {
    step = static_cast<float>(sinDeg(since / 1500.0) - (static_cast<double>(t) - windStart) / 1000.0);
  } else {
    return false;
  }
  return true;
}

}  // namespace

void scene07Enter() {
  if (scene::alreadyEntered(marker)) return;
  scene::standardSetup(true, 0.3f, 0.0f, 0.0f);
  // Flakes start at random heights of their rise, in x [2, 5), z [-13, -7).
  for (int i = 1; i <= flakeCount; ++i) {
    ParticleRecord& p = flake(i);
    p.x = static_cast<float>(scene::random(30) / 10.0 + 2.0);
    p.z = static_cast<float>((scene::random(60) - 10) / 10.0 - 12.0);
    p.birthTime = currentTime - scene::random(static_cast<std::int32_t>(riseTime));
    p.y = riseHeight(p);
  }
}

// Leaves: GL_BLEND and GL_TEXTURE_2D off, GL_DEPTH_TEST on, blend function
// (SRC_ALPHA, ONE_MINUS_SRC_ALPHA) and the orthographic projection from the
// spin blur (the pipeline's when no blur is drawn), the render texture bound.
void scene07Render() {
  const double t = scene::t();
  scene::drawSprite(tex::flower1, 30.0 * std::sin(t / 1000.0) + 500.0, 150.0, 240.0, -99.0, 0.0, 0.0, 0.0, 0.5,
                    t / 60.0);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glLoadIdentity();

  // The sphere surrounds the viewer, so its inside fills the screen additively.
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glRotatef(static_cast<GLfloat>(t / 10.0), 1.0f, 0.2f, 1.0f);
  glEnable(GL_TEXTURE_2D);
  bindTexture(tex::flower1);
  if (GLUquadric* sphere = gluNewQuadric()) {  // null only when out of memory: the sphere is skipped
    gluQuadricTexture(sphere, GL_TRUE);
    gluSphere(sphere, 2.4, 15, 15);
    gluDeleteQuadric(sphere);
  }

  // Shadows, then the flakes, both with the flower still bound.
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0.0f, 0.0f, 0.0f, 0.5f);
  glLoadIdentity();
  for (int i = 1; i <= flakeCount; ++i) {
    const ParticleRecord& p = flake(i);
    scene::pictureQuad(p.x - 0.3, p.y - 0.3, p.x + 0.5, p.y + 0.2, p.z - 0.1);
  }
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glLoadIdentity();
  for (int i = 1; i <= flakeCount; ++i) {
    const ParticleRecord& p = flake(i);
    scene::pictureQuad(p.x - 0.3, p.y - 0.2, p.x + 0.3, p.y + 0.2, p.z);
  }

  glDisable(GL_TEXTURE_2D);
  pipeline.captureAndRedraw();
  float step = 0.0f;
  if (spinBlurStep(currentTime, step)) overlayFX.spinBlur(30, 0.1f, step, 0.5f);

  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

// A flake older than its rise starts again at the bottom (the test is strict:
// one exactly 4000 ms old stays). So does a flake whose start lies ahead of
// the music, which only a record left over from elsewhere can hold; it would
// otherwise wait below the picture until the music caught up.
void scene07Update() {
  for (int i = 1; i <= flakeCount; ++i) {
    ParticleRecord& p = flake(i);
    const std::int64_t age = std::int64_t{currentTime} - p.birthTime;
    if (age > riseTime || age < 0) p.birthTime = currentTime;
    p.y = riseHeight(p);
  }
}
