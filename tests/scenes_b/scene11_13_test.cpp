// Scenes 11 to 13: the shortened set-up, the star-grid sheet, the clock-driven
// spin blur, the credits' flight and the finale's beat steps.
#include <chrono>
#include <cmath>
#include <thread>

#include "engine/state.h"
#include "scenes/credits.h"
#include "scenes/scene_list.h"
#include "scenes/scenes_b_common.h"
#include "tests/scenes_b/scene_fixture.h"

namespace {

using namespace scenetest;
using rendertest::FeedbackItem;

constexpr std::uint32_t sheetQuads = 41 * 41 * 2;
constexpr std::uint32_t background = sheetQuads + 1 + 30;  // sheet, capture, 30 blur passes
const double focal = 1.0 / std::tan(22.5 * M_PI / 180.0);

class StarGridTest : public SceneTest {
 protected:
  // The sheet alone under an orthographic view that holds all of it: 20 × 20
  // units onto 800 × 600, so 40 window units per unit along x.
  static std::vector<FeedbackItem> sheetAt(double t, scene::StarGridStretch stretch) {
    return polygonsDrawn([&] {
      glMatrixMode(GL_PROJECTION);
      glLoadIdentity();
      glOrtho(-10, 10, -10, 10, -10, 10);
      glMatrixMode(GL_MODELVIEW);
      glLoadIdentity();
      glBegin(GL_QUADS);
      scene::emitStarGridSheet(t, stretch);
      glEnd();
    });
  }
  static float widthOf(const FeedbackItem& triangle) {
    float low = 1e9f, high = -1e9f;
    for (const auto& v : triangle.vertices) low = std::min(low, v.x), high = std::max(high, v.x);
    return high - low;
  }
  // The polygons drawn after the last spin-blur pass (alpha 0.5 / 30).
  static std::vector<FeedbackItem> afterBlur(const std::vector<FeedbackItem>& polygons) {
    std::size_t last = 0;
    for (std::size_t i = 0; i < polygons.size(); ++i)
      if (std::fabs(polygons[i].vertices[0].color[3] - 0.5f / 30.0f) < 1e-5f) last = i;
    return {polygons.begin() + static_cast<std::ptrdiff_t>(last) + 1, polygons.end()};
  }
  static float edge(const FeedbackItem& p) {
    return std::hypot(p.vertices[1].x - p.vertices[0].x, p.vertices[1].y - p.vertices[0].y);
  }
};

TEST_F(StarGridTest, ShortSetUpLeavesTheCameraAlone) {
  struct Scene {
    void (*enter)();
    std::int32_t marker;
  };
  for (const Scene& scene : {Scene{scene11Enter, 110}, Scene{scene12Enter, 120}, Scene{scene13Enter, 130}}) {
    SCOPED_TRACE(scene.marker);
    camera.setView(1, 2, 3, 4, 5, 6, 0, 1, 0);
    camera.active = false;
    glClearColor(0, 0, 0, 1);
    light.setEnabled(true);
    beginFrame(160000);
    scene.enter();
    EXPECT_EQ(activeScene(), scene.marker);
    EXPECT_EQ(camera.eye[1], 2.0f);
    EXPECT_FALSE(camera.active);
    EXPECT_FALSE(enabled(GL_LIGHTING));
    EXPECT_EQ(floats4(GL_COLOR_CLEAR_VALUE), (std::array<float, 4>{0.3f, 0.0f, 0.0f, 1.0f}));
    glClearColor(0, 0, 0, 1);
    scene.enter();  // guarded
    EXPECT_EQ(floats4(GL_COLOR_CLEAR_VALUE)[0], 0.0f);
  }
  camera.active = true;
}

TEST_F(StarGridTest, SheetScrollsItsTextureAndRipples) {
  const double t = 160000;
  const auto polygons = sheetAt(t, {});
  ASSERT_EQ(polygons.size(), sheetQuads * 2);
  // First tile (i = j = −20), upper layer: corner 0 has (sA, rA), corner 1 (sB, rA).
  const auto& first = polygons[0].vertices;
  EXPECT_NEAR(first[0].texture[0], std::fabs(t / 1000 - 21.0 / 20), 1e-4);
  EXPECT_NEAR(first[1].texture[0], std::fabs(t / 1000 - 20.0 / 20), 1e-4);
  EXPECT_NEAR(first[0].texture[1], std::fabs(t / 1000 - 20.0 / 20), 1e-4);
  EXPECT_NEAR(first[2].texture[1], std::fabs(t / 1000 - 21.0 / 20), 1e-4);
  // Tiles 0.4 wide that touch: 16 window units each.
  EXPECT_NEAR(widthOf(polygons[0]), 16.0f, 1e-3);
  EXPECT_NEAR(widthOf(polygons[2]), 16.0f, 1e-3);
}

TEST_F(StarGridTest, FinaleStretchesPerBeat) {
  // k = 0 at 188694: sB = 0 and rA = |t / 1000| on both layers, normal widths.
  auto polygons = sheetAt(188694, {true, 0});
  ASSERT_EQ(polygons.size(), sheetQuads * 2);
  int zeroS = 0;
  for (const FeedbackItem& p : polygons)
    for (const auto& v : p.vertices) zeroS += v.texture[0] == 0.0f;
  EXPECT_EQ(zeroS, static_cast<int>(sheetQuads) * 3);  // corners 1 and 2: three of six triangle corners
  EXPECT_NEAR(polygons[0].vertices[0].texture[1], 188.694, 1e-4);
  EXPECT_NEAR(polygons[2].vertices[0].texture[1], 188.694, 1e-4);
  EXPECT_NEAR(widthOf(polygons[0]), 16.0f, 1e-3);

  // k = 5: the upper layer widens by k / 10 each side, the lower keeps its size.
  polygons = sheetAt(188694 + 5 * 458, {true, 5});
  EXPECT_NEAR(widthOf(polygons[0]), 56.0f, 1e-3);
  EXPECT_NEAR(widthOf(polygons[2]), 16.0f, 1e-3);
}

TEST_F(StarGridTest, Scene11SendsTheSheetAndABlurAndCleansUp) {
  beginFrame(159500);
  EXPECT_EQ(primitivesSent(scene11Render), background);
  EXPECT_FALSE(enabled(GL_BLEND));
  EXPECT_TRUE(enabled(GL_DEPTH_TEST));
  EXPECT_FALSE(enabled(GL_TEXTURE_2D));
}

TEST_F(StarGridTest, SpinBlurTurnsWithTheSystemClockNotTheMusic) {
  EXPECT_EQ(scene::spinStepForTicks(0), 0.0);
  EXPECT_NEAR(scene::spinStepForTicks(1571), 0.1, 1e-6);
  EXPECT_TRUE(std::isfinite(scene::spinStepForTicks(UINT32_MAX)));

  auto lastPass = [] {
    beginFrame(159500);  // the same music time both frames
    const auto polygons = polygonsDrawn(scene11Render);
    return polygons.back().vertices[0];
  };
  const auto before = lastPass();
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const auto after = lastPass();
  EXPECT_GT(std::hypot(after.x - before.x, after.y - before.y), 0.05f);
}

TEST_F(StarGridTest, CreditsFlyInHoldAndFlyPast) {
  beginFrame(170000);
  EXPECT_EQ(primitivesSent(scene12Render), background + 8);
  EXPECT_FALSE(enabled(GL_BLEND));
  EXPECT_TRUE(enabled(GL_DEPTH_TEST));

  const auto items = scene::creditItems();
  ASSERT_EQ(items.size(), 8u);
  auto depthAt = [](const scene::CreditItem& item, double t, double s) {
    const auto polygons = polygonsDrawn([&] {
      camera.setView(0, 0, 0, 0, 0, -1, 0, 1, 0);
      camera.apply();
      scene::drawCreditItem(item, t, s);
    });
    return polygons.empty() ? -1.0f : polygons[0].vertices[0].z;
  };
  const scene::CreditItem& credits2 = items[4];
  EXPECT_EQ(credits2.texture, tex::credits2);
  EXPECT_NEAR(depthAt(credits2, credits2.arrive - 1000, 0), windowDepth(54), 1e-5);
  EXPECT_NEAR(depthAt(credits2, credits2.arrive, 0.7), windowDepth(4), 1e-5);  // panels do not pulse
  EXPECT_NEAR(depthAt(credits2, credits2.leave, 0), windowDepth(4), 1e-5);
  EXPECT_NEAR(depthAt(credits2, credits2.leave + 400, 0), windowDepth(2), 1e-5);
  EXPECT_EQ(depthAt(credits2, credits2.leave + 800, 0), -1.0f);  // at the eye: nothing left to draw

  const scene::CreditItem& star1 = items[0];
  EXPECT_NEAR(depthAt(star1, star1.arrive + 10, 0.5), windowDepth(3.5), 1e-5);  // stars pulse
  const scene::CreditItem& star3 = items[2];
  EXPECT_FALSE(star3.leaves);
  EXPECT_NEAR(depthAt(star3, 197000, 0), windowDepth(4), 1e-5);  // it stays
}

TEST_F(StarGridTest, FinaleStarGrowsPerBeatAndRushesIn) {
  struct Case {
    std::int32_t t;
    unsigned stars;
  };
  for (const Case& c : {Case{188000, 1}, Case{195019, 1}, Case{195100, 2}, Case{195256, 1}, Case{197429, 0},
                        Case{197430, 1}}) {
    SCOPED_TRACE(c.t);
    beginFrame(c.t);
    EXPECT_EQ(primitivesSent(scene13Render), background + c.stars);
  }
  EXPECT_FALSE(enabled(GL_BLEND));
  EXPECT_TRUE(enabled(GL_DEPTH_TEST));

  // Edge (1.2 + 2 m) at depth 4 with m = k / 6; before 188694 the beat counter
  // truncates toward zero: k = −1 at 188000 (a floor would give −2).
  auto starEdge = [&](std::int32_t t) {
    beginFrame(t);
    const auto stars = afterBlur(polygonsDrawn(scene13Render));
    return stars.empty() ? 0.0f : edge(stars[0]);
  };
  const double perUnit = 300.0 * focal / 4.0;
  EXPECT_NEAR(starEdge(188000), (1.2 - 2.0 / 6.0) * perUnit, 0.05);
  EXPECT_NEAR(starEdge(188694 + 458), (1.2 + 2.0 / 6.0) * perUnit, 0.05);

  // The rushing star comes one whole unit per beat: at 196000 ms it is
  // (196000 − 195019) div 458 = 2 units closer.
  beginFrame(196000);
  const auto stars = afterBlur(polygonsDrawn(scene13Render));
  ASSERT_FALSE(stars.empty());
  EXPECT_NEAR(stars[0].vertices[0].z, windowDepth(2), 1e-5);
}

}  // namespace
