#include "tests/scenes_a/scene_test_support.h"

#include "engine/loading.h"
#include "engine/shared.h"
#include "engine/state.h"
#include "engine/timeline.h"
#include "scenes/scene_list.h"

namespace scenetest {

const std::vector<SceneUnderTest>& scenesUnderTest() {
  static const std::vector<SceneUnderTest> list{
      {"Scene01", 10, scene01Enter, scene01Render, scene01Update, 2000},
      {"Scene02", 20, scene02Enter, scene02Render, scene02Update, 9000},
      {"Scene03", 30, scene03Enter, scene03Render, scene03Update, 26000},
      {"Scene04", 40, scene04Enter, scene04Render, scene04Update, 40000},
      {"Scene05", 50, scene05Enter, scene05Render, scene05Update, 90000},
      {"Scene06", 60, scene06Enter, scene06Render, scene06Update, 43276},
      {"Scene07", 70, scene07Enter, scene07Render, scene07Update, 145000},
  };
  return list;
}

const SceneUnderTest& sceneNamed(const std::string& name) {
  for (const SceneUnderTest& scene : scenesUnderTest())
    if (name == scene.name) return scene;
  ADD_FAILURE() << "no scene " << name;
  return scenesUnderTest().front();
}

void setFrame(std::int32_t t, float s) {
  currentTime = t;
  spectrum.fill(0.0f);
  spectrum[110] = s;
}

std::int32_t marker() { return timelineEntry(1)->activeScene; }
void setMarker(std::int32_t value) { timelineEntry(1)->activeScene = value; }

void drawFrame(const SceneUnderTest& scene) {
  pipelineBeginFrame();
  scene.enter();
  scene.render();
}

std::vector<rendertest::FeedbackItem> trianglesOf(const std::function<void()>& draw) {
  return rendertest::polygonsOf(rendertest::captureFeedback(draw));
}

void loadWideProjection() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1000.0, 1000.0, -1000.0, 1000.0, -1000.0, 1000.0);
  glMatrixMode(GL_MODELVIEW);
}

std::array<float, 4> clearColour() {
  std::array<float, 4> c{};
  glGetFloatv(GL_COLOR_CLEAR_VALUE, c.data());
  return c;
}

std::array<float, 16> matrix(GLenum which) {
  std::array<float, 16> m{};
  glGetFloatv(which, m.data());
  return m;
}

GLuint boundTexture() {
  GLint name = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
  return static_cast<GLuint>(name);
}

GLint blendDestination() {
  GLint value = 0;
  glGetIntegerv(GL_BLEND_DST, &value);
  return value;
}

}  // namespace scenetest

void SceneTest::SetUp() {
  while (glGetError() != GL_NO_ERROR) {
  }
  scenetest::setMarker(0);
  scenetest::setFrame(0);
  camera.setActive(true);
}

void SceneTest::TearDown() { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }
