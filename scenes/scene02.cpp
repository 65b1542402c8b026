// Scene02: the first text pages over a dark turning flower.
#include <array>

#include "scenes/common.h"
#include "scenes/scene_list.h"
#include "scenes/text_pages.h"

namespace {

constexpr std::int32_t marker = 20;

constexpr std::array<scene::PageWindow, 4> leftPages{{
    {tex::text1_1, 6344, 8278},
    {tex::text1_2, 8277, 10193},
    {tex::text1_3, 10192, 12108},
    {tex::text1_4, 12107},
}};

constexpr std::array<scene::PageWindow, 5> rightPages{{
    {tex::Text2_1, 8277, 12108},
    {tex::Text2_2, 12108, 14025},
    {tex::Text2_3, 14024, 15941},
    {tex::Text2_4, 15940, 17857},
    {tex::Text2_5, 17856, 19774},
}};

}  // namespace

void scene02Enter() {
  if (scene::alreadyEntered(marker)) return;
  scene::standardSetup(true, 0.3f, 0.0f, 0.0f);
}

void scene02Render() { scene::renderTextPageScene({5.0, 6344, 8277, leftPages, rightPages}); }

void scene02Update() {}
