// Scene12: the star-grid background with the credits flying in over it.
//
// GL state: enter as Scene11. render leaves the default camera projection,
// GL_TEXTURE_2D on, GL_BLEND off, GL_DEPTH_TEST on, blend function
// SRC_ALPHA / ONE_MINUS_SRC_ALPHA, the last item's texture bound and its
// transform in the model-view matrix. Nothing here fails.
#include <GL/gl.h>

#include <array>

#include "scenes/common.h"
#include "scenes/credits.h"
#include "scenes/scene_list.h"
#include "scenes/scenes_b_common.h"

namespace scene {

namespace {

constexpr int noTurn = 0;
constexpr int turnLeft = 1;

// Star 3's corners run right to left and top to bottom: its picture is mirrored both ways.
constexpr std::array<CreditItem, 8> items{{
    {tex::star, 159954, true, 175282, turnLeft, true, -1.6, -0.4, -0.6, 0.6},
    {tex::star, 169534, true, 182946, -turnLeft, true, -1.0, 0.2, 1.0, 2.2},
    {tex::star, 163786, false, 0, turnLeft, true, 1.0, -0.2, 0.3, -0.9},
    {tex::credits, 161870, true, 177198, noTurn, false, -2.0, -0.8, 0.6, 1.8},
    {tex::credits2, 165702, true, 179114, noTurn, false, -1.6, -0.4, -0.2, 1.0},
    {tex::credits3, 167618, true, 181030, noTurn, false, -0.3, 1.3, -0.2, 1.0},
    {tex::credits4, 171450, true, 184862, noTurn, false, -1.6, -0.4, -1.5, -0.3},
    {tex::credits5, 173366, true, 186778, noTurn, false, -0.1, 1.1, -1.5, -0.3},
}};

}  // namespace

std::span<const CreditItem> creditItems() { return items; }

void drawCreditItem(const CreditItem& item, double t, double s) {
  glLoadIdentity();
  // In at 50 units a second from far behind, out toward the viewer at 5.
  if (t < item.arrive) glTranslated(0.0, 0.0, -(item.arrive - t) / 20.0);
  if (item.leaves && t > item.leave) glTranslated(0.0, 0.0, (t - item.leave) / 200.0);
  // The stars turn about the screen centre, not their own.
  if (item.turn != noTurn) glRotated(item.turn * t / 100.0, 0.0, 0.0, 1.0);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  bindTexture(item.texture);
  const double z = item.pulses ? s - 4.0 : -4.0;
  quadFacingZ({{0, 1, item.x0, item.y0, z}, {1, 1, item.x1, item.y0, z}, {1, 0, item.x1, item.y1, z},
               {0, 0, item.x0, item.y1, z}});
}

}  // namespace scene

void scene12Enter() {
  if (scene::alreadyEntered(120)) return;
  scene::standardSetup(false, 0.3f, 0.0f, 0.0f);
}

void scene12Render() {
  scene::starGridBackground({});

  camera.setView(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 0.0f);
  camera.apply();
  glEnable(GL_TEXTURE_2D);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  const double t = scene::t(), s = scene::s();
  for (const scene::CreditItem& item : scene::creditItems()) scene::drawCreditItem(item, t, s);

  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

void scene12Update() {}
