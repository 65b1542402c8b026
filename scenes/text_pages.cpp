#include "scenes/text_pages.h"

#include <GL/gl.h>

#include <cmath>

#include "engine/state.h"
#include "scenes/common.h"
#include "scenes/quads.h"

namespace scene {

const PageWindow* pageAt(std::span<const PageWindow> windows, std::int32_t t) {
  for (const PageWindow& window : windows)
    if (window.after < t && t < window.before) return &window;
  return nullptr;
}

void drawTextPages(const TextPages& pages) {
  const std::int32_t t = currentTime;
  const double pz = pages.depthFactor * s() - 3.0;
  if (t > pages.leftStart) {
    if (const PageWindow* page = pageAt(pages.left, t)) bindTexture(page->texture);
    glLoadIdentity();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    pictureQuad(-1.6, -0.8, 0.001, 0.8, pz);
  }
  // The right page is drawn in whatever transform is current; the pages
  // overlap by 0.002 units at x = 0 so no seam shows.
  if (t > pages.rightStart) {
    if (const PageWindow* page = pageAt(pages.right, t)) bindTexture(page->texture);
    pictureQuad(-0.001, -0.8, 1.6, 0.8, pz);
  }
}

void renderTextPageScene(const TextPages& pages) {
  glLoadIdentity();
  drawSprite(tex::flower1, 500.0, 320.0, 240.0, -99.0, 0.0, 0.0, 0.0, 0.5, 90.0 * std::sin(t() / 20000.0));
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_2D);
  drawTextPages(pages);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

}  // namespace scene
