// Scene01: the loading screen's last picture stays while the logo flies in
// from the far left and the background floods from dark red to white.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/state.h"
#include "scenes/common.h"
#include "scenes/quads.h"
#include "scenes/scene_list.h"

namespace {
constexpr std::int32_t marker = 10;
constexpr std::int32_t floodStart = 4000;  // ms: the background starts to brighten
}  // namespace

void scene01Enter() {
  if (scene::alreadyEntered(marker)) return;
  scene::standardSetup(true, 0.3f, 0.0f, 0.0f);
}

// Leaves: GL_BLEND off, GL_DEPTH_TEST on, GL_TEXTURE_2D off, blend function
// (SRC_ALPHA, ONE_MINUS_SRC_ALPHA), the logo bound, colour white, and from
// 4000 ms on a brighter clear colour for the next frame.
void scene01Render() {
  const double t = scene::t();

  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);

  // The loading screen's final picture, repeated so the cut into the show is invisible.
  glTranslatef(0.0f, -0.3f, -4.0f);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_TEXTURE_2D);
  bindTexture(tex::loading);
  scene::pictureQuad(-1.0, -1.0, 1.0, 1.0, 0.0);
  glDisable(GL_TEXTURE_2D);
  scene::plainQuad(-1.0, -0.5, 1.0, -0.4, 0.1);
  glLoadIdentity();
  glTranslatef(-19.0f, 0.0f, -100.0f);
  scene::plainQuad(-0.1, -0.2, 0.1, 0.2, 0.0);

  // The logo: 100 deep and 19 to the left at t = 0, at the eye plane at 4500 ms.
  glLoadIdentity();
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_2D);
  bindTexture(tex::voltra);
  const double a = std::sin(degToRad(0.02 * t));
  const double cx = 19.0 * a - 19.0;
  const double cz = 100.0 * a - 100.0;
  scene::pictureQuad(cx - 0.5, -0.5, cx + 0.5, 0.5, cz);
  glDisable(GL_TEXTURE_2D);

  if (currentTime > floodStart) {
    // Whole milliseconds first; the channels are held at white rather than
    // left to the driver, so the stored clear colour reads back as white too.
    const double since = static_cast<double>(std::int64_t{currentTime} - floodStart);
    auto channel = [](double v) { return static_cast<GLfloat>(std::min(v, 1.0)); };
    glClearColor(channel(0.3 + 0.0014 * since), channel(0.002 * since), channel(0.002 * since), 1.0f);
  }

  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

void scene01Update() {}
