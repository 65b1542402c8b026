// Scene08: text pages switching with the music in front of a vortex of ten
// dark flower layers, with stars shooting out of the centre toward the viewer.
// Particle records 1 … 200 hold the stars (x, y, z, value = brightness,
// birthTime); only records 1 … 50 are drawn.
//
// GL state: enter sets the default camera (active), clear colour (0.3, 0, 0, 1),
// stores a white light and leaves the light and both materials off. render
// leaves GL_TEXTURE_2D and GL_BLEND off, GL_DEPTH_TEST on, blend function
// SRC_ALPHA / ONE_MINUS_SRC_ALPHA, the last page's texture bound. Nothing here
// fails; every procedure needs the shared objects and a current context.
#include <GL/gl.h>

#include <cmath>
#include <cstdint>

#include "engine/state.h"
#include "scenes/common.h"
#include "scenes/scene_list.h"
#include "scenes/scenes_b_common.h"
#include "scenes/text_pages.h"

namespace {

constexpr std::int32_t marker = 80;
constexpr int storedStars = 200;
constexpr int drawnStars = 50;

constexpr scene::PageWindow leftPages[] = {
    {tex::text3_1, 68245, 68703}, {tex::Text3_2, 68703, 71909}, {tex::Text3_3, 71909, 72367},
    {tex::Text3_4, 72367, 72825}, {tex::Text3_5, 72825, 75500}, {tex::Text3_6, 75500, 79351},
    {tex::Text3_7, 79351, 81255},
};
constexpr scene::PageWindow rightPages[] = {
    {tex::Text4_1, 69161, 69619}, {tex::Text4_2, 69619, 72825}, {tex::Text4_3, 72825, 73283},
    {tex::Text4_4, 73283, 75500}, {tex::Text4_5, 75500, 79351}, {tex::Text4_6, 79351, 81255},
};
constexpr std::int32_t leftStart = 68245;
constexpr std::int32_t rightStart = 69161;
constexpr double pageDepthFactor = 2.0;

// Between windows and after the last one a page shows whatever texture is bound.
constexpr scene::TextPages pages{pageDepthFactor, leftStart, rightStart, leftPages, rightPages};

// The depth-of-flight formula of the stars: −8 at spawn, 0 after 8 s.
float starDepth(std::int32_t t, std::int32_t birthTime) {
  return static_cast<float>(scene::msSince(t, birthTime) / 1000.0 - 8.0);
}

float randomBrightness() { return static_cast<float>(scene::random(100) / 100.0); }

}  // namespace

void scene08Enter() {
  if (scene::alreadyEntered(marker)) return;
  camera = orbCamera::create(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 0.0f);
  camera.setActive(true);
  glClearColor(0.3f, 0.0f, 0.0f, 1.0f);

  const std::int32_t t = currentTime;
  for (int i = 1; i <= storedStars; ++i) {
    ParticleRecord& p = particles1[i];
    p.x = 0.0f;
    p.y = 0.0f;
    p.birthTime = t - scene::random(8000);
    p.z = starDepth(t, p.birthTime);
    p.value = randomBrightness();
  }

  // The colours are stored while the light is off; only the lit corridor uses them.
  light.setAmbient(1.0f, 1.0f, 1.0f, 1.0f);
  light.setDiffuse(1.0f, 1.0f, 1.0f, 1.0f);
  light.setSpecular(1.0f, 1.0f, 1.0f, 1.0f);
  light.setEnabled(false);
  material1.setEnabled(false);
  material2.setEnabled(false);
}

void scene08Render() {
  const double t = scene::t();

  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_2D);
  glLoadIdentity();
  glColor4f(0.0f, 0.0f, 0.0f, 0.5f);
  glTranslated(0.0, 0.0, -3.0);
  bindTexture(tex::flower1);

  // Vortex: the turns add up from layer to layer.
  for (int i = 1; i <= 10; ++i) {
    glRotated(t / 200.0 + i, 0.0, 0.0, 1.0);
    const double h = 1.4 + 0.1 * i;
    scene::quadFacingZ({{0, 0, -h, -h, 0}, {1, 0, h, -h, 0}, {1, 1, h, h, 0}, {0, 1, -h, h, 0}});
    glColor4d(0.0, 0.0, 0.0, 0.2 - i / 100.0);
  }

  bindTexture(tex::star);
  glLoadIdentity();
  for (int i = 1; i <= drawnStars; ++i) {
    glRotated(t / 400.0 + i, 0.0, 0.0, 1.0);
    glRotated(std::sin(t / 200.0) * i / 25.0, 0.0, 0.0, 1.0);
    const ParticleRecord& p = particles1[i];
    const double z = p.z;
    const double e = 0.1 + std::fabs(z / 300.0);
    glColor4d(1.0, 1.0, 1.0, p.value);
    scene::quadFacingZ({{0, 1, -e, -e, z}, {1, 1, e, -e, z}, {1, 0, e, e, z}, {0, 0, -e, e, z}});
  }

  // The text pages, pushed toward the viewer by the music.
  scene::drawTextPages(pages);

  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

void scene08Update() {
  const std::int32_t t = currentTime;
  for (int i = 1; i <= storedStars; ++i) {
    ParticleRecord& p = particles1[i];
    p.z = starDepth(t, p.birthTime);
    p.x = 0.0f;
    p.y = 0.0f;
    // A star past the eye starts again at depth −8 with the next update.
    if (p.z > 0.0f) {
      p.birthTime = t;
      p.value = randomBrightness();
    }
  }
}
