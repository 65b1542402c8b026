// The two text pages of the text-page scenes: a left and a right page side by
// side in front of the viewer, each showing the texture whose time window
// contains the frame's time, pushed toward the viewer by the music.
#pragma once

#include <cstdint>
#include <limits>
#include <span>

#include "engine/shared.h"

namespace scene {

// A page texture shown while after < t < before (both strict).
struct PageWindow {
  tex::Slot texture;
  std::int32_t after;
  std::int32_t before = std::numeric_limits<std::int32_t>::max();  // no end
};

struct TextPages {
  double depthFactor;  // pages at depth factor × s − 3
  std::int32_t leftStart;
  std::int32_t rightStart;
  std::span<const PageWindow> left;
  std::span<const PageWindow> right;
};

// The first window containing t, or null when none does.
const PageWindow* pageAt(std::span<const PageWindow> windows, std::int32_t t);

// Draws the left page when t > leftStart and the right page when t >
// rightStart; a page whose table has no window for t binds nothing and shows
// the texture bound at that moment. Expects GL_TEXTURE_2D and blending set
// up by the caller; leaves the model-view matrix the identity (when the left
// page is drawn), colour white and the last page texture bound.
void drawTextPages(const TextPages& pages);

// The whole text-page render: the turning dark flower behind the two pages.
// Leaves GL_BLEND off, GL_DEPTH_TEST on, GL_TEXTURE_2D on and blend function
// (SRC_ALPHA, ONE_MINUS_SRC_ALPHA).
void renderTextPageScene(const TextPages& pages);

}  // namespace scene
