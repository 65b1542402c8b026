// Scene04: a swirl of thirty additive star quads fanning out around the view
// axis, tilted by an angle that jumps to a new phase on strong beats, with a
// black silhouette of raised hands in front.
//
// Beat state lives in particle record 1: x the tilt in degrees, value the beat
// flag (0 or 1), birthTime the tilt's phase offset in milliseconds.
#include <GL/gl.h>

#include <cmath>
#include <cstdint>

#include "engine/state.h"
#include "scenes/common.h"
#include "scenes/quads.h"
#include "scenes/scene_list.h"

namespace {

constexpr std::int32_t marker = 40;

// The tilt for the stored phase. The difference is taken in 64 bits: the
// record may hold whatever an earlier scene left when this visit's set-up
// was skipped.
float tiltAngle(const ParticleRecord& beat) {
  const double phase = static_cast<double>(std::int64_t{currentTime} - beat.birthTime);
  return static_cast<float>(120.0 * std::sin(phase / 8000.0));
}

}  // namespace

void scene04Enter() {
  if (scene::alreadyEntered(marker)) return;
  scene::standardSetup(true, 0.3f, 0.0f, 0.0f);
  ParticleRecord& beat = particles1[1];
  beat.birthTime = scene::random(10000);
  beat.x = tiltAngle(beat);
  beat.value = 0.0f;
}

// Leaves: GL_BLEND and GL_TEXTURE_2D off, GL_DEPTH_TEST on, blend function
// (SRC_ALPHA, ONE_MINUS_SRC_ALPHA), the hands texture bound, colour black,
// the model-view matrix the identity, the camera's projection loaded.
void scene04Render() {
  const double t = scene::t();
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glLoadIdentity();

  // The viewer looks along +z at the origin.
  camera.setView(0.0f, 0.0f, -3.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);
  camera.apply();

  glEnable(GL_TEXTURE_2D);
  bindTexture(tex::star);
  glRotatef(particles1[1].x, 1.0f, 0.0f, 0.0f);
  const double turnX = std::sin(t / 4000.0), turnY = std::sin(t / 2000.0), turnZ = std::sin(t / 3000.0);
  for (int i = 1; i <= 30; ++i) {
    // The rotations accumulate: star i is turned by the sum of the first i increments.
    glColor4f(1.0f, 1.0f, 1.0f, 0.4f);
    glRotatef(static_cast<GLfloat>(turnX * i / 5.0), 1.0f, 0.0f, 0.0f);
    glRotatef(static_cast<GLfloat>(turnY * i / 5.0), 0.0f, 1.0f, 0.0f);
    glRotatef(static_cast<GLfloat>(turnZ * i / 5.0), 0.0f, 0.0f, 1.0f);
    const double h = i / 6.0;
    scene::pictureQuad(-h, -h, h, h, 0.0);
  }

  // Hands: texture mirrored in x, since the viewer looks along +z.
  bindTexture(tex::handsup);
  glLoadIdentity();
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
  const GLfloat hz = static_cast<GLfloat>(scene::s() - 1.0);
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glTexCoord2f(1.0f, 1.0f);
  glVertex3f(-0.4f, -0.4f, hz);
  glTexCoord2f(0.0f, 1.0f);
  glVertex3f(0.4f, -0.4f, hz);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3f(0.4f, 0.4f, hz);
  glTexCoord2f(1.0f, 0.0f);
  glVertex3f(-0.4f, 0.4f, hz);
  glEnd();

  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

// A beat detector with hysteresis: a jump needs 10 s above 1.3 with the flag
// clear, and the flag clears only once 10 s has fallen below 1.
void scene04Update() {
  ParticleRecord& beat = particles1[1];
  beat.x = tiltAngle(beat);
  const double level = 10.0 * scene::s();
  if (level > 1.3 && beat.value < 1.0f) {
    beat.birthTime = scene::random(20000);
    beat.value = 1.0f;
  }
  if (level < 1.0) beat.value = 0.0f;
}
