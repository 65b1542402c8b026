// Scene13: the finale. The star-grid tiles widen and their texture stretches
// one step per beat (458 ms from 188694 ms on); a star grows in beat steps
// and finally rushes toward the viewer.
//
// GL state: enter as Scene11. render leaves the default camera projection,
// GL_TEXTURE_2D on with the star bound, GL_BLEND off, GL_DEPTH_TEST on, blend
// function SRC_ALPHA / ONE_MINUS_SRC_ALPHA, the star's turn in the model-view
// matrix. Nothing here fails.
#include <GL/gl.h>

#include <cstdint>

#include "engine/state.h"
#include "scenes/common.h"
#include "scenes/scene_list.h"
#include "scenes/scenes_b_common.h"

namespace {

constexpr std::int64_t beatZero = 188694;
constexpr std::int64_t beatMs = 458;
constexpr std::int32_t growUntil = 195256;
constexpr std::int32_t rushFrom = 195019;
constexpr std::int32_t rushUntil = 197429;

// (t − 188694) div 458, truncating toward zero (negative before 188694 ms).
// In 64 bits: no int32 time can overflow the subtraction.
std::int32_t beatCounter(std::int32_t t) { return static_cast<std::int32_t>((t - beatZero) / beatMs); }

}  // namespace

void scene13Enter() {
  if (scene::alreadyEntered(130)) return;
  scene::standardSetup(false, 0.3f, 0.0f, 0.0f);
}

void scene13Render() {
  const std::int32_t now = currentTime;
  const double t = scene::t();
  const std::int32_t k = beatCounter(now);
  scene::starGridBackground({true, k});

  camera.setView(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 0.0f);
  camera.apply();
  glEnable(GL_TEXTURE_2D);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glLoadIdentity();
  glRotated(t / 100.0, 0.0, 0.0, 1.0);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  bindTexture(tex::star);

  const double m = k / 6.0;
  const double sz = scene::s() - 4.0;
  auto star = [&](double z) {
    scene::emitCorners({{0, 1, 1 + m, 0.3 + m, z},
                        {1, 1, -0.2 - m, 0.3 + m, z},
                        {1, 0, -0.2 - m, -0.9 - m, z},
                        {0, 0, 1 + m, -0.9 - m, z}});
  };
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  if (now < growUntil) star(sz);
  // One unit closer per beat; between 195020 and 195255 ms both are drawn.
  if (rushFrom < now && now < rushUntil) star(sz + static_cast<double>((std::int64_t{now} - rushFrom) / beatMs));
  glEnd();

  // Past the timeline's last slot (197429 ms) this is never reached in the show.
  if (now > rushUntil) {
    glBegin(GL_QUADS);
    scene::emitCorners({{0, 1, 6, 6.3, -4}, {1, 1, -5.2, 6.3, -4}, {1, 0, -5.2, -5.9, -4}, {0, 0, 6, -5.9, -4}});
    glEnd();
  }

  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

void scene13Update() {}
