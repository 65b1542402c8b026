// What every scene of the first seven shares: the set-up guard, the standard
// set-up, the GL state a render leaves behind, the empty updates, and drawing
// on whatever an earlier scene left when a visit's set-up was skipped.
#include <GL/glu.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "engine/shared.h"
#include "engine/state.h"
#include "tests/scenes_a/scene_test_support.h"

namespace {

using scenetest::SceneUnderTest;

std::array<float, 16> defaultCameraProjection() {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  gluPerspective(45.0, 4.0 / 3.0, 0.1, 100.0);
  gluLookAt(0, 0, 0, 0, 0, -1, 0, 1, 0);
  const auto m = scenetest::matrix(GL_PROJECTION_MATRIX);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  return m;
}

class SceneProtocolTest : public SceneTest, public ::testing::WithParamInterface<SceneUnderTest> {};

TEST_P(SceneProtocolTest, SetUpRunsOncePerVisit) {
  const SceneUnderTest& scene = GetParam();
  scenetest::setFrame(scene.sampleTime);
  // The scene before it stored its own marker and left other state behind.
  scenetest::setMarker(scene.marker - 10);
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  light.setEnabled(true);
  material1.setEnabled(true);
  camera.setView(1, 2, 3, 0, 0, 0, 0, 1, 0);
  camera.apply();

  scene.enter();
  EXPECT_EQ(scenetest::marker(), scene.marker);
  EXPECT_EQ(scenetest::clearColour(), (std::array<float, 4>{0.3f, 0.0f, 0.0f, 1.0f}));
  EXPECT_FALSE(light.enabled);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(material1.enabled);
  EXPECT_FALSE(material2.enabled);
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
  EXPECT_TRUE(camera.active);
  EXPECT_EQ(camera.eye[2], 0.0f);
  EXPECT_EQ(camera.center[2], -1.0f);
  EXPECT_EQ(scenetest::matrix(GL_PROJECTION_MATRIX), defaultCameraProjection());

  // A second frame inside the first 101 ms: nothing changes.
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  scenetest::setFrame(scene.sampleTime + 1);
  scene.enter();
  EXPECT_EQ(scenetest::clearColour(), (std::array<float, 4>{0.0f, 0.0f, 1.0f, 1.0f}));
  EXPECT_EQ(scenetest::marker(), scene.marker);
}

TEST_P(SceneProtocolTest, RenderLeavesBlendOffAndDepthTestOn) {
  const SceneUnderTest& scene = GetParam();
  scenetest::setFrame(scene.sampleTime, 0.05f);
  glEnable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  scenetest::drawFrame(scene);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  GLint projectionDepth = 0;
  glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projectionDepth);
  EXPECT_EQ(projectionDepth, 1) << "a push without its pop";
  GLint attributeDepth = 0;
  glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &attributeDepth);
  EXPECT_EQ(attributeDepth, 0);
}

// A set-up skipped at a low frame rate: render and update work on the records
// as another scene left them, extreme values included, without a GL error and
// without leaving the state contract.
TEST_P(SceneProtocolTest, DrawsOnRecordsLeftByAnotherScene) {
  const SceneUnderTest& scene = GetParam();
  for (std::size_t i = 0; i < orbParticle::recordCount; ++i) {
    ParticleRecord& p = particles1[i];
    p.x = p.y = p.z = 1.0e6f;
    p.value = 7.0f;
    p.birthTime = i % 2 ? std::numeric_limits<std::int32_t>::max() : std::numeric_limits<std::int32_t>::min();
  }
  scenetest::setMarker(scene.marker);  // the guard skips the set-up
  scenetest::setFrame(scene.sampleTime, 0.2f);
  scenetest::drawFrame(scene);
  scene.update();
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  for (std::size_t i = 1; i <= 200; ++i) {
    ASSERT_TRUE(std::isfinite(particles1[i].x) && std::isfinite(particles1[i].y)) << "record " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(FirstSeven, SceneProtocolTest, ::testing::ValuesIn(scenetest::scenesUnderTest()),
                         [](const auto& info) { return std::string(info.param.name); });

// Scenes 01, 02, 03 and 06 register an update that does nothing.
TEST_F(SceneTest, EmptyUpdatesChangeNothing) {
  for (const char* name : {"Scene01", "Scene02", "Scene03", "Scene06"}) {
    const SceneUnderTest& scene = scenetest::sceneNamed(name);
    for (std::size_t i = 0; i <= 200; ++i) {
      particles1[i] = ParticleRecord{};
      particles1[i].x = static_cast<float>(i);
      particles1[i].birthTime = static_cast<std::int32_t>(i);
    }
    scenetest::setMarker(scene.marker);
    scenetest::setFrame(scene.sampleTime, 0.5f);
    scene.update();
    EXPECT_EQ(scenetest::marker(), scene.marker) << name;
    for (std::size_t i = 0; i <= 200; ++i) {
      ASSERT_EQ(particles1[i].x, static_cast<float>(i)) << name;
      ASSERT_EQ(particles1[i].birthTime, static_cast<std::int32_t>(i)) << name;
    }
  }
}

}  // namespace
