// Scene09: billboard set-up, the terrain's two passes, the billboards, the
// blur and the scroller's position, and the state the frame leaves.
#include <cmath>

#include "engine/state.h"
#include "scenes/scene_list.h"
#include "tests/scenes_b/scene_fixture.h"

namespace {

using namespace scenetest;
using rendertest::FeedbackItem;

class Scene09Test : public SceneTest {};

TEST_F(Scene09Test, SetUpPlacesTwoHundredStillBillboardsOnce) {
  particles1[1].vx = 3.0f;
  particles1[200].vz = -2.0f;
  beginFrame(82050);
  scene09Enter();
  EXPECT_EQ(activeScene(), 90);
  for (int i = 1; i <= 200; ++i) {
    const ParticleRecord& p = particles1[i];
    ASSERT_GE(p.x, 0.0f);
    ASSERT_LT(p.x, 30.0f);
    ASSERT_GE(p.y, 1.0f);
    ASSERT_LT(p.y, 7.0f);
    ASSERT_GE(p.z, 0.0f);
    ASSERT_LT(p.z, 30.0f);
    ASSERT_EQ(p.vx, 0.0f);
    ASSERT_EQ(p.vy, 0.0f);
    ASSERT_EQ(p.vz, 0.0f);
  }
  EXPECT_FALSE(enabled(GL_LIGHTING));
  EXPECT_EQ(floats4(GL_COLOR_CLEAR_VALUE), (std::array<float, 4>{0.3f, 0.0f, 0.0f, 1.0f}));

  const float x = particles1[9].x;
  beginFrame(82100);
  scene09Enter();
  EXPECT_EQ(particles1[9].x, x);
}

TEST_F(Scene09Test, FrameSendsTerrainTwiceBillboardsBlurAndPanels) {
  beginFrame(90000);
  scene09Enter();
  // Mesa joins the list's 30 strips of 60 triangles into one with degenerate
  // triangles between them, so count the list as GL sees it.
  const std::uint32_t terrainPass = primitivesSent([] { glCallList(terrain.listId); });
  EXPECT_GE(terrainPass, 1800u);
  // The terrain twice, 400 billboard quads, the capture quad, 10 blur passes,
  // 2 panels and 2 glows.
  beginFrame(90000);
  EXPECT_EQ(primitivesSent(scene09Render), 2 * terrainPass + 400u + 1u + 10u + 4u);

  EXPECT_EQ(integer(GL_POLYGON_MODE), GL_FILL);
  EXPECT_FALSE(enabled(GL_CULL_FACE));
  EXPECT_FALSE(enabled(GL_BLEND));
  EXPECT_TRUE(enabled(GL_DEPTH_TEST));
  EXPECT_FALSE(enabled(GL_TEXTURE_2D));
  // The camera is left at the default view for whatever follows.
  EXPECT_EQ(camera.eye[0], 0.0f);
  EXPECT_EQ(camera.center[2], -1.0f);
}

TEST_F(Scene09Test, FilledTerrainPassCullsBackFacesAndWirePassDrawsLines) {
  beginFrame(90000);
  scene09Enter();
  const auto items = rendertest::captureFeedback(scene09Render);
  int filled = 0, lines = 0;
  for (const FeedbackItem& item : items) {
    if (item.vertices.empty()) continue;
    const float* c = item.vertices[0].color;
    if (c[0] != 1.0f || c[1] != 0.0f) continue;
    if (item.kind == FeedbackItem::polygon && std::fabs(c[3] - 0.2f) < 1e-6f) ++filled;
    if (item.kind == FeedbackItem::other && std::fabs(c[3] - 0.1f) < 1e-6f) ++lines;
  }
  EXPECT_GT(filled, 0);
  EXPECT_GT(lines, 0);

  // The same view with culling off lets more filled triangles through.
  const auto unculled = polygonsDrawn([] {
    camera.setView(static_cast<float>(14.0 * std::sin(9.0) + 14.5), 3.0f, static_cast<float>(14.0 * std::cos(9.0) + 14.5),
                   15.0f, 4.0f, 17.0f, 0.0f, 1.0f, 0.0f);
    camera.apply();
    glLoadIdentity();
    glColor4f(1.0f, 0.0f, 0.0f, 0.2f);
    glCallList(terrain.listId);
  });
  EXPECT_LT(filled, static_cast<int>(unculled.size()));
}

// The panels' window rows after the last blur pass (alpha 0.02).
std::vector<FeedbackItem> scrollerPolygons(std::int32_t t) {
  beginFrame(t);
  scene09Render();  // the records come from the set-up of an earlier test or are zero: either is fine
  beginFrame(t);
  const auto polygons = polygonsDrawn(scene09Render);
  std::size_t lastBlur = 0;
  for (std::size_t i = 0; i < polygons.size(); ++i)
    if (std::fabs(polygons[i].vertices[0].color[3] - 0.02f) < 1e-6f) lastBlur = i;
  return {polygons.begin() + static_cast<std::ptrdiff_t>(lastBlur) + 1, polygons.end()};
}

TEST_F(Scene09Test, ScrollerRisesAQuarterUnitPerSecond) {
  // At 142683 ms the upper panel spans y −2.2 … −1.0 at depth 2: below the screen.
  EXPECT_TRUE(scrollerPolygons(142683).empty());
  // 6.4 s later it is centred: y −0.6 … 0.6 at depth 2.
  const auto polygons = scrollerPolygons(142683 + 6400);
  ASSERT_FALSE(polygons.empty());
  const double focal = 1.0 / std::tan(22.5 * M_PI / 180.0);
  const double top = (focal * 0.6 / 2.0 + 1.0) / 2.0 * H;
  float highest = -1.0f;
  for (const FeedbackItem& p : polygons)
    for (const auto& v : p.vertices) highest = std::max(highest, v.y);
  EXPECT_NEAR(highest, top, 0.5);
}

}  // namespace
