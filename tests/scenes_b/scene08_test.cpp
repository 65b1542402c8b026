// Scene08: set-up of the 200 stars, the guard, what one frame draws, the page
// textures at the window boundaries and the star update.
#include <cmath>

#include "engine/state.h"
#include "scenes/scene_list.h"
#include "tests/scenes_b/scene_fixture.h"

namespace {

using namespace scenetest;
using rendertest::FeedbackItem;

class Scene08Test : public SceneTest {
 protected:
  // Set-up at t, then every drawn star at depth −5 with brightness 0.5, so the
  // frame's polygons can be told apart by colour.
  void enterWithStarsAt(std::int32_t t, float s = 0.0f) {
    beginFrame(t, s);
    scene08Enter();
    for (int i = 1; i <= 200; ++i) {
      particles1[i].z = -5.0f;
      particles1[i].value = 0.5f;
    }
  }
  // Window-x extent of the polygons whose colour is opaque white (the pages).
  static std::pair<float, float> pageExtent(const std::vector<FeedbackItem>& polygons) {
    float low = 1e9f, high = -1e9f;
    for (const FeedbackItem& p : polygons)
      if (p.vertices[0].color[3] == 1.0f && p.vertices[0].color[0] == 1.0f)
        for (const auto& v : p.vertices) low = std::min(low, v.x), high = std::max(high, v.x);
    return {low, high};
  }
};

TEST_F(Scene08Test, SetUpOnceFillsAllStarsAndLeavesTheLightOff) {
  beginFrame(68300);
  light.setEnabled(true);  // as the corridor leaves it
  scene08Enter();
  EXPECT_EQ(activeScene(), 80);
  for (int i = 1; i <= 200; ++i) {
    const ParticleRecord& p = particles1[i];
    ASSERT_EQ(p.x, 0.0f);
    ASSERT_EQ(p.y, 0.0f);
    ASSERT_GT(p.birthTime, 68300 - 8000);
    ASSERT_LE(p.birthTime, 68300);
    ASSERT_FLOAT_EQ(p.z, static_cast<float>((68300 - p.birthTime) / 1000.0 - 8.0));
    ASSERT_GE(p.value, 0.0f);
    ASSERT_LE(p.value, 0.99f);
    ASSERT_NEAR(p.value * 100.0f, std::round(p.value * 100.0f), 1e-4);
  }
  EXPECT_EQ(floats4(GL_COLOR_CLEAR_VALUE), (std::array<float, 4>{0.3f, 0.0f, 0.0f, 1.0f}));
  EXPECT_FALSE(enabled(GL_LIGHTING));
  EXPECT_FALSE(enabled(GL_LIGHT0));
  EXPECT_FALSE(enabled(GL_COLOR_MATERIAL));
  EXPECT_EQ(light.ambient[0], 1.0f);
  EXPECT_EQ(light.diffuse[2], 1.0f);
  // The white light was sent before it was switched off.
  GLfloat ambient[4];
  glGetLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  EXPECT_EQ(ambient[1], 1.0f);
  EXPECT_TRUE(camera.active);
  EXPECT_EQ(camera.center[2], -1.0f);

  // A second frame inside the first 101 ms changes nothing.
  particles1[7].z = 12.0f;
  glClearColor(0, 0, 1, 1);
  beginFrame(68350);
  scene08Enter();
  EXPECT_EQ(particles1[7].z, 12.0f);
  EXPECT_EQ(floats4(GL_COLOR_CLEAR_VALUE)[2], 1.0f);
}

TEST_F(Scene08Test, FrameDrawsTenLayersFiftyStarsAndTwoPages) {
  enterWithStarsAt(70000);
  EXPECT_EQ(primitivesSent(scene08Render), 10u + 50u + 2u);

  const auto polygons = polygonsDrawn(scene08Render);
  std::vector<float> layerAlphas;
  int stars = 0, pages = 0;
  for (const FeedbackItem& p : polygons) {
    const float* c = p.vertices[0].color;
    if (c[0] == 0.0f) {
      if (layerAlphas.empty() || layerAlphas.back() != c[3]) layerAlphas.push_back(c[3]);
    }
    else if (c[3] == 1.0f) ++pages;
    else ++stars;
  }
  EXPECT_EQ(stars, 100);  // every star in view at depth −5: two triangles each
  EXPECT_EQ(pages, 4);
  // Layer 1 at 0.5, then 0.2 − (i − 1) / 100 (the layers overhang the
  // screen, so each shows as several clipped triangles).
  ASSERT_EQ(layerAlphas.size(), 10u);
  EXPECT_NEAR(layerAlphas[0], 0.5f, 1e-6);
  for (int i = 2; i <= 10; ++i) EXPECT_NEAR(layerAlphas[i - 1], 0.2f - (i - 1) / 100.0f, 1e-6) << i;

  EXPECT_FALSE(enabled(GL_BLEND));
  EXPECT_TRUE(enabled(GL_DEPTH_TEST));
  EXPECT_FALSE(enabled(GL_TEXTURE_2D));
}

TEST_F(Scene08Test, PagesFollowTheirTablesAndBoundaries) {
  struct Case {
    std::int32_t t;
    unsigned primitives;  // 60 + pages
    GLint boundAfter;     // the last page's texture, or the star when no row matches
  };
  const Case cases[] = {
      {68245, 60, nameOf(tex::star)},     // left start is exclusive
      {68500, 61, nameOf(tex::text3_1)},  // left page only
      {69161, 61, nameOf(tex::Text3_2)},  // right start is exclusive
      {69162, 62, nameOf(tex::Text4_1)},
      {70000, 62, nameOf(tex::Text4_2)},
      {72825, 62, nameOf(tex::star)},  // both pages on a boundary: no texture bound
      {75000, 62, nameOf(tex::Text4_4)},
      {81000, 62, nameOf(tex::Text4_6)},
      {81255, 62, nameOf(tex::star)},  // after the last windows
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.t);
    enterWithStarsAt(c.t);
    EXPECT_EQ(primitivesSent(scene08Render), c.primitives);
    beginFrame(c.t);
    scene08Render();
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), c.boundAfter);
  }
  // At 68703 the left page has no window, so it keeps the star bound.
  enterWithStarsAt(68703);
  scene08Render();
  EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), nameOf(tex::star));
}

TEST_F(Scene08Test, MusicPushesThePagesTowardTheViewer) {
  enterWithStarsAt(70000, 0.0f);
  const auto [low0, high0] = pageExtent(polygonsDrawn(scene08Render));
  enterWithStarsAt(70000, 0.4f);
  const auto [low4, high4] = pageExtent(polygonsDrawn(scene08Render));
  // Pages from x = −1.6 to 1.6 at depth 2 s − 3: −3 at s = 0, −2.2 at s = 0.4.
  const double focal = 1.0 / std::tan(22.5 * M_PI / 180.0) / (4.0 / 3.0);
  auto windowX = [&](double x, double depth) { return (focal * x / depth + 1.0) / 2.0 * W; };
  EXPECT_NEAR(low0, windowX(-1.6, 3.0), 0.5);
  EXPECT_NEAR(high0, windowX(1.6, 3.0), 0.5);
  EXPECT_NEAR(low4, std::max(0.0, windowX(-1.6, 2.2)), 0.5);
  EXPECT_NEAR(high4, std::min(double(W), windowX(1.6, 2.2)), 0.5);
}

TEST_F(Scene08Test, UpdateMovesAllTwoHundredAndRespawnsPastTheEye) {
  enterWithStarsAt(80000);
  particles1[3].birthTime = 80000 - 8000;  // z = 0 exactly: keeps going
  particles1[4].birthTime = 80000 - 8001;  // z = 0.001: respawns
  particles1[4].value = 5.0f;
  particles1[200].birthTime = 80000 - 2000;
  particles1[200].x = 3.0f;
  scene08Update();
  EXPECT_EQ(particles1[3].z, 0.0f);
  EXPECT_EQ(particles1[3].birthTime, 72000);
  EXPECT_EQ(particles1[4].birthTime, 80000);
  EXPECT_NEAR(particles1[4].z, 0.001f, 1e-6);  // not recomputed in the same update
  EXPECT_LT(particles1[4].value, 1.0f);
  EXPECT_FLOAT_EQ(particles1[200].z, -6.0f);
  EXPECT_EQ(particles1[200].x, 0.0f);
  // Next update: the respawned star starts again at −8.
  scene08Update();
  EXPECT_FLOAT_EQ(particles1[4].z, -8.0f);
}

TEST_F(Scene08Test, UpdateSurvivesRecordsLeftAtTheEndsOfTheIntRange) {
  beginFrame(600000);
  particles1[5].birthTime = INT32_MIN;
  particles1[6].birthTime = INT32_MAX;
  scene08Update();
  EXPECT_EQ(particles1[5].birthTime, 600000);  // far in the past: respawned
  EXPECT_LT(particles1[6].z, -8.0f);           // far in the future: stays behind
}

}  // namespace
