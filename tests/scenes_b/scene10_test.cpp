// Scene10: the lit set-up (including the spot cut-off GL refuses), the pillar
// records and their update, what one frame sends and the state it leaves.
#include "engine/state.h"
#include "scenes/scene_list.h"
#include "tests/scenes_b/scene_fixture.h"

namespace {

using namespace scenetest;

class Scene10Test : public SceneTest {
 protected:
  // The cut-off of 100 is sent whenever the light is switched on: GL answers
  // GL_INVALID_VALUE. Every other error fails the test.
  void expectOnlyCutoffErrors() {
    bool sawCutoff = false;
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError()) {
      EXPECT_EQ(error, static_cast<GLenum>(GL_INVALID_VALUE));
      sawCutoff = true;
    }
    EXPECT_TRUE(sawCutoff);
  }
  void SetUp() override {
    SceneTest::SetUp();
    allowGLErrors = true;
  }
};

TEST_F(Scene10Test, SetUpLightsTheCorridorAndLinesUpThePillars) {
  beginFrame(150050);
  scene10Enter();
  expectOnlyCutoffErrors();
  EXPECT_EQ(activeScene(), 100);
  EXPECT_EQ(floats4(GL_COLOR_CLEAR_VALUE), (std::array<float, 4>{0.0f, 0.0f, 0.0f, 1.0f}));

  EXPECT_TRUE(enabled(GL_LIGHTING));
  EXPECT_TRUE(enabled(GL_LIGHT0));
  EXPECT_TRUE(enabled(GL_COLOR_MATERIAL));
  EXPECT_EQ(light.spotCutoff, 100.0f);
  GLfloat value[4] = {};
  glGetLightfv(GL_LIGHT0, GL_SPOT_CUTOFF, value);
  EXPECT_EQ(value[0], 180.0f);  // GL kept its own: the light shines every way
  glGetLightfv(GL_LIGHT0, GL_SPOT_EXPONENT, value);
  EXPECT_EQ(value[0], 10.0f);
  glGetLightfv(GL_LIGHT0, GL_AMBIENT, value);
  EXPECT_FLOAT_EQ(value[1], 0.15f);
  glGetLightfv(GL_LIGHT0, GL_POSITION, value);  // eye coordinates
  EXPECT_EQ(value[0], -0.5f);
  EXPECT_EQ(value[2], -3.0f);
  EXPECT_EQ(value[3], 1.0f);
  EXPECT_EQ(material1.shininess, 100);
  EXPECT_TRUE(material2.enabled);
  glGetMaterialfv(GL_FRONT, GL_SHININESS, value);
  EXPECT_EQ(value[0], 50.0f);  // material 2 switched on last

  for (int i = 1; i <= 30; ++i) {
    ASSERT_EQ(particles1[i].birthTime, 150050 - 1000 * i);
    ASSERT_EQ(particles1[i].z, static_cast<float>(i - 30));
  }
  EXPECT_EQ(camera.eye[0], -5.0f);
  EXPECT_EQ(camera.center[2], -3.0f);

  particles1[4].z = -7.5f;
  beginFrame(150100);
  scene10Enter();
  EXPECT_EQ(particles1[4].z, -7.5f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Scene10Test, PillarsMoveUpToDepthZeroAndRespawnAtMinusThirty) {
  beginFrame(150050);
  scene10Enter();
  scene10Update();
  EXPECT_EQ(particles1[30].z, -30.0f);  // stood at 0 right after the set-up
  EXPECT_EQ(particles1[30].birthTime, 150050);
  EXPECT_EQ(particles1[1].z, -29.0f);

  // One millisecond short of the front: still moving.
  particles1[5].birthTime = 150050 - 29999;
  particles1[5].z = -0.001f;
  beginFrame(150051);
  scene10Update();
  EXPECT_EQ(particles1[5].z, 0.0f);
  EXPECT_EQ(particles1[5].birthTime, 150050 - 29999);
  EXPECT_FLOAT_EQ(particles1[30].z, -29.999f);
  scene10Update();
  EXPECT_EQ(particles1[5].z, -30.0f);
  EXPECT_EQ(particles1[5].birthTime, 150051);
  expectOnlyCutoffErrors();
}

TEST_F(Scene10Test, FrameSendsCorridorPillarsAndGlowsAndStaysLit) {
  beginFrame(152000);
  scene10Enter();
  // 30 segments of wall, floor and ceiling; 30 boxes of six faces; 60 glows.
  beginFrame(152000);
  EXPECT_EQ(primitivesSent(scene10Render), 90u + 180u + 60u);
  expectOnlyCutoffErrors();

  EXPECT_TRUE(enabled(GL_DEPTH_TEST));
  EXPECT_FALSE(enabled(GL_BLEND));
  EXPECT_TRUE(enabled(GL_LIGHTING));
  EXPECT_TRUE(enabled(GL_LIGHT0));
  EXPECT_TRUE(enabled(GL_COLOR_MATERIAL));
  EXPECT_TRUE(light.enabled);
  EXPECT_TRUE(material2.enabled);
  EXPECT_FALSE(material1.enabled);
  EXPECT_EQ(integer(GL_BLEND_DST), GL_ONE);  // the glows were added on
  EXPECT_EQ(floats4(GL_COLOR_CLEAR_VALUE)[0], 0.0f);
}

TEST_F(Scene10Test, TheNextScenesSetUpSwitchesTheLightingOff) {
  beginFrame(150050);
  scene10Enter();
  expectOnlyCutoffErrors();
  beginFrame(159000);
  scene11Enter();
  EXPECT_FALSE(enabled(GL_LIGHTING));
  EXPECT_FALSE(enabled(GL_COLOR_MATERIAL));
  EXPECT_EQ(floats4(GL_COLOR_CLEAR_VALUE), (std::array<float, 4>{0.3f, 0.0f, 0.0f, 1.0f}));
}

}  // namespace
