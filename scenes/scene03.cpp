// Scene03: the second set of text pages over a dark turning flower.
#include <array>

#include "scenes/common.h"
#include "scenes/scene_list.h"
#include "scenes/text_pages.h"

namespace {

constexpr std::int32_t marker = 30;

constexpr std::array<scene::PageWindow, 3> leftPages{{
    {tex::Text5_1, 21689, 27437},
    {tex::Text5_2, 27437, 31269},
    {tex::Text5_3, 31269, 33245},
}};

constexpr std::array<scene::PageWindow, 4> rightPages{{
    {tex::Text6_1, 23605, 25521},
    {tex::Text6_2, 25521, 29353},
    {tex::Text6_3, 29353, 31269},
    {tex::Text6_4, 31269, 33245},
}};

}  // namespace

void scene03Enter() {
  if (scene::alreadyEntered(marker)) return;
  scene::standardSetup(true, 0.3f, 0.0f, 0.0f);
}

void scene03Render() { scene::renderTextPageScene({2.0, 21689, 23605, leftPages, rightPages}); }

void scene03Update() {}
