// Scene09: the camera circles a translucent red heightmap terrain (filled,
// then as a wire mesh) with two hundred crossed flower billboards over it,
// the frame is zoom-blurred, then two text panels with a glow scroll up.
// Particle records 1 … 200 hold the billboard positions (x, y, z).
//
// GL state: enter is the standard set-up (default camera, dark red clear
// colour, light and materials off). render leaves the camera at the default
// view, GL_CULL_FACE off, polygon mode GL_FILL, GL_TEXTURE_2D and GL_BLEND off,
// GL_DEPTH_TEST on, blend function SRC_ALPHA / ONE. Nothing here fails.
#include <GL/gl.h>

#include <cmath>
#include <cstdint>

#include "engine/state.h"
#include "scenes/common.h"
#include "scenes/scene_list.h"
#include "scenes/scenes_b_common.h"

namespace {

constexpr std::int32_t marker = 90;
constexpr int billboards = 200;
constexpr double billboardHalf = 0.2;
constexpr std::int32_t scrollCentreTime = 142683;

}  // namespace

void scene09Enter() {
  if (scene::alreadyEntered(marker)) return;
  scene::standardSetup(true, 0.3f, 0.0f, 0.0f);
  for (int i = 1; i <= billboards; ++i) {
    ParticleRecord& p = particles1[i];
    p.x = static_cast<float>(scene::random(3000) / 100.0);
    p.y = static_cast<float>(scene::random(60) / 10.0 + 1.0);
    p.z = static_cast<float>(scene::random(3000) / 100.0);
    p.vx = 0.0f;
    p.vy = 0.0f;
    p.vz = 0.0f;
  }
}

void scene09Render() {
  const double t = scene::t();

  // The eye circles the middle of the terrain once every 62.8 s.
  camera.setView(static_cast<float>(14.0 * std::sin(t / 10000.0) + 14.5), 3.0f,
                 static_cast<float>(14.0 * std::cos(t / 10000.0) + 14.5), 15.0f, 4.0f, 17.0f, 0.0f, 1.0f, 0.0f);
  camera.apply();

  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glLoadIdentity();

  // Terrain: filled with back faces culled, then as lines from both sides.
  glEnable(GL_CULL_FACE);
  glColor4f(1.0f, 0.0f, 0.0f, 0.2f);
  glCallList(terrain.listId);
  glDisable(GL_CULL_FACE);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glColor4f(1.0f, 0.0f, 0.0f, 0.1f);
  glCallList(terrain.listId);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);

  // Billboards: two crossed quads each, no normals.
  glLoadIdentity();
  glEnable(GL_TEXTURE_2D);
  bindTexture(tex::flower1);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  constexpr double b = billboardHalf;
  glBegin(GL_QUADS);
  for (int i = 1; i <= billboards; ++i) {
    const ParticleRecord& p = particles1[i];
    const double x = p.x, y = p.y, z = p.z;
    scene::emitCorners({{0, 1, x - b, y - b, z}, {1, 1, x + b, y - b, z}, {1, 0, x + b, y + b, z}, {0, 0, x - b, y + b, z}});
    scene::emitCorners({{0, 1, x, y - b, z - b}, {1, 1, x, y - b, z + b}, {1, 0, x, y + b, z + b}, {0, 0, x, y + b, z - b}});
  }
  glEnd();

  pipeline.captureAndRedraw();
  overlayFX.zoomBlur(10, static_cast<float>(scene::sinDeg((t - 35176.0) / 90.0) / 2.0), 0.2f);

  // Scroller: the panels rise 0.25 units a second, centred at y = −1.6 at 142683 ms.
  camera.setView(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 0.0f);
  camera.apply();
  glEnable(GL_TEXTURE_2D);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glLoadIdentity();
  glTranslated(0.0, (t - scrollCentreTime) / 4000.0 - 1.6, 0.0);

  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  bindTexture(tex::fuckings1);
  scene::quadFacingZ({{0, 1, -0.6, -0.6, -2}, {1, 1, 0.6, -0.6, -2}, {1, 0, 0.6, 0.6, -2}, {0, 0, -0.6, 0.6, -2}});
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  bindTexture(tex::fuckings2);
  scene::quadFacingZ({{0, 1, -0.6, -1.8, -2}, {1, 1, 0.6, -1.8, -2}, {1, 0, 0.6, -0.6, -2}, {0, 0, -0.6, -0.6, -2}});

  // Glow behind the panels, added on; the upper one's texture is flipped.
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  bindTexture(tex::finger);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  scene::emitCorners(
      {{0, 0, -0.6, -0.6, -2.1}, {1, 0, 0.6, -0.6, -2.1}, {1, 1, 0.6, 0.6, -2.1}, {0, 1, -0.6, 0.6, -2.1}});
  glNormal3f(0.0f, 0.0f, 1.0f);
  scene::emitCorners(
      {{0, 1, -0.6, -1.8, -2.1}, {1, 1, 0.6, -1.8, -2.1}, {1, 0, 0.6, -0.6, -2.1}, {0, 0, -0.6, -0.6, -2.1}});
  glEnd();

  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

void scene09Update() {}
