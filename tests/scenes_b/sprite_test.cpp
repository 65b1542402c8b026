// The two 2D drawing procedures of the scenes: drawSprite and
// drawTiledBackdrop on the virtual 640 × 480 screen (y down), stretched over
// the 800 × 600 window. Positions are worked out here from the descriptions.
#include <GL/gl.h>

#include <cmath>

#include "engine/shared.h"
#include "scenes/common.h"
#include "tests/scenes_b/projection.h"
#include "tests/scenes_b/scene_fixture.h"
#include "tests/support/gl_context.h"

namespace {

using namespace scenetest;
using rendertest::FeedbackItem;

// A virtual-screen point in window pixels (y up) with the depth glOrtho(…,
// −100, 100) gives it.
geometry::WindowPoint onWindow(double x, double y, double z) {
  return {x * W / 640.0, H - y * H / 480.0, (1 - z / 100) / 2};
}

const rendertest::FeedbackVertex* vertexAt(const std::vector<FeedbackItem>& polygons, geometry::WindowPoint p) {
  for (const FeedbackItem& polygon : polygons)
    for (const auto& v : polygon.vertices)
      if (std::fabs(v.x - p.x) < 0.01 && std::fabs(v.y - p.y) < 0.01 && std::fabs(v.z - p.z) < 1e-5) return &v;
  return nullptr;
}

class Sprites : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    beginFrame(1000);
    glBlendFunc(GL_ONE, GL_ZERO);
    glDisable(GL_BLEND);
  }
  // The projection stack and state the procedures must leave as described.
  void expectLeftBehind(const std::array<float, 16>& projectionBefore) {
    std::array<float, 16> projection{};
    glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
    EXPECT_EQ(projection, projectionBefore);
    EXPECT_EQ(integer(GL_PROJECTION_STACK_DEPTH), 1);
    EXPECT_EQ(integer(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(integer(GL_BLEND_DST), GL_ONE);
    EXPECT_FALSE(enabled(GL_BLEND));
    EXPECT_FALSE(enabled(GL_TEXTURE_2D));
  }
};

TEST_F(Sprites, SpriteCornersTurnAboutItsCentre) {
  std::array<float, 16> projection{};
  glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
  const double size = 120, x = 300, y = 200, z = -40, angle = 30;
  const auto polygons = polygonsDrawn([&] { scene::drawSprite(tex::star, size, x, y, z, 0.2, 0.4, 0.6, 0.8, angle); });
  ASSERT_EQ(polygons.size(), 2u);
  // Corner (±h, ±h) turned by angle about z (y down on the virtual screen).
  const double h = size / 2, c = std::cos(angle * geometry::kPi / 180), s = std::sin(angle * geometry::kPi / 180);
  const double corners[4][4] = {{-h, -h, 0, 0}, {h, -h, 1, 0}, {h, h, 1, 1}, {-h, h, 0, 1}};
  for (const auto& corner : corners) {
    const double cx = x + c * corner[0] - s * corner[1], cy = y + s * corner[0] + c * corner[1];
    const auto* v = vertexAt(polygons, onWindow(cx, cy, z));
    ASSERT_NE(v, nullptr) << "corner (" << corner[0] << ", " << corner[1] << ")";
    EXPECT_FLOAT_EQ(v->texture[0], static_cast<float>(corner[2]));
    EXPECT_FLOAT_EQ(v->texture[1], static_cast<float>(corner[3]));
    EXPECT_NEAR(v->color[0], 0.2, 1e-6);
    EXPECT_NEAR(v->color[1], 0.4, 1e-6);
    EXPECT_NEAR(v->color[2], 0.6, 1e-6);
    EXPECT_NEAR(v->color[3], 0.8, 1e-6);
  }
  // Drawn for real: what it leaves behind.
  scene::drawSprite(tex::star, size, x, y, z, 0.2, 0.4, 0.6, 0.8, angle);
  expectLeftBehind(projection);
  EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), nameOf(tex::star));
  // The model-view keeps the sprite's transform: the centre maps to (x, y, z).
  std::array<float, 16> mv{};
  glGetFloatv(GL_MODELVIEW_MATRIX, mv.data());
  EXPECT_FLOAT_EQ(mv[12], 300.0f);
  EXPECT_FLOAT_EQ(mv[13], 200.0f);
  EXPECT_FLOAT_EQ(mv[14], -40.0f);
  EXPECT_NEAR(mv[0], c, 1e-6);
  EXPECT_NEAR(mv[1], s, 1e-6);
}

TEST_F(Sprites, SpriteKeepsItsPlaceWhateverTheWindowProjection) {
  // The virtual screen ignores the projection it finds: a skewed one gives
  // the same corners.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-3, 1, -2, 5, 1, 7);
  glMatrixMode(GL_MODELVIEW);
  glTranslatef(50, 60, 0);
  const auto polygons = polygonsDrawn([] { scene::drawSprite(tex::flower1, 100, 320, 240, 0, 1, 1, 1, 1, 0); });
  EXPECT_NE(vertexAt(polygons, onWindow(270, 190, 0)), nullptr);
  EXPECT_NE(vertexAt(polygons, onWindow(370, 290, 0)), nullptr);
}

TEST_F(Sprites, BackdropRepeatsTheTextureOverAnOverhangingQuad) {
  std::array<float, 16> projection{};
  glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
  glTranslatef(7, 7, 7);  // the backdrop loads its own identity
  const auto polygons = polygonsDrawn([] { scene::drawTiledBackdrop(tex::flower1, 20, 0.35); });
  ASSERT_FALSE(polygons.empty());
  // The top corners are on screen; the bottom ones (y = 640) hang below it and
  // are clipped at y = 480, where the repeat has reached 20 × 480 / 640 = 15.
  const auto* topLeft = vertexAt(polygons, onWindow(0, 0, -99));
  const auto* topRight = vertexAt(polygons, onWindow(640, 0, -99));
  const auto* cutRight = vertexAt(polygons, onWindow(640, 480, -99));
  ASSERT_NE(topLeft, nullptr);
  ASSERT_NE(topRight, nullptr);
  ASSERT_NE(cutRight, nullptr);
  EXPECT_FLOAT_EQ(topLeft->texture[0], 0.0f);
  EXPECT_FLOAT_EQ(topLeft->texture[1], 0.0f);
  EXPECT_FLOAT_EQ(topRight->texture[0], 20.0f);
  EXPECT_NEAR(cutRight->texture[0], 20.0, 1e-4);
  EXPECT_NEAR(cutRight->texture[1], 15.0, 1e-4);
  for (const FeedbackItem& polygon : polygons)
    for (const auto& v : polygon.vertices) {
      EXPECT_EQ(v.color[0], 0.0f);
      EXPECT_EQ(v.color[1], 0.0f);
      EXPECT_EQ(v.color[2], 0.0f);
      EXPECT_NEAR(v.color[3], 0.35, 1e-6);
    }
  scene::drawTiledBackdrop(tex::flower1, 20, 0.35);
  expectLeftBehind(projection);
  std::array<float, 16> mv{};
  glGetFloatv(GL_MODELVIEW_MATRIX, mv.data());
  EXPECT_EQ(mv, (std::array<float, 16>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
}

TEST_F(Sprites, BothDrawWithTheOverBlendAndDarkenWhatLiesBehind) {
  // Real pixels: a backdrop of alpha 0.5 in black over a white screen halves
  // it (the flat texture below is opaque); a sprite in red at alpha 1 over it
  // replaces it.
  glDisable(GL_SCISSOR_TEST);
  const GLubyte opaqueWhite[4] = {255, 255, 255, 255};
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(nameOf(tex::fiveborder)));
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, opaqueWhite);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glClearColor(0.3f, 0, 0, 1);
  glDisable(GL_DEPTH_TEST);
  scene::drawTiledBackdrop(tex::fiveborder, 3, 0.5);
  const std::uint32_t half = testsupport::readPixelRGBA(W / 2, H / 2);
  EXPECT_NEAR(static_cast<double>(half >> 24), 128, 1.5);
  scene::drawSprite(tex::fiveborder, 100, 320, 240, 0, 1, 0, 0, 1, 0);
  EXPECT_EQ(testsupport::readPixelRGBA(W / 2, H / 2), 0xFF0000FFu);
  EXPECT_EQ(testsupport::readPixelRGBA(W / 2 + 100, H / 2), half);  // outside the 125-pixel sprite
  glEnable(GL_DEPTH_TEST);
}

}  // namespace
