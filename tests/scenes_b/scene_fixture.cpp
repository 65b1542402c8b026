// Query objects are GL 1.5 entry points: declare them from the system headers.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include "tests/scenes_b/scene_fixture.h"

#include <filesystem>

#include "engine/loading.h"
#include "engine/script.h"
#include "engine/state.h"
#include "engine/timeline.h"

namespace scenetest {

void ensureShow() {
  static bool up = false;
  if (up) return;
  up = true;
  if (!std::filesystem::exists("data/credits5.kpx")) rendertest::writeTextureSet(".", 8);
  loadingScreenInit();
  createSharedObjects();
  registerScenesAndTimeline();
  createPipelineAndOverlay();
}

std::int32_t& activeScene() { return timelineEntry(1)->activeScene; }

void beginFrame(std::int32_t t, float s) {
  currentTime = t;
  spectrum.fill(0.0f);
  spectrum[110] = s;
  pipelineBeginFrame();
}

std::vector<rendertest::FeedbackItem> polygonsDrawn(const std::function<void()>& draw) {
  return rendertest::polygonsOf(rendertest::captureFeedback(draw));
}

std::uint32_t primitivesSent(const std::function<void()>& draw) {
  GLuint query = 0;
  glGenQueries(1, &query);
  glBeginQuery(GL_PRIMITIVES_GENERATED, query);
  draw();
  glEndQuery(GL_PRIMITIVES_GENERATED);
  GLuint count = 0;
  glGetQueryObjectuiv(query, GL_QUERY_RESULT, &count);
  glDeleteQueries(1, &query);
  return count;
}

bool enabled(GLenum capability) { return glIsEnabled(capability) == GL_TRUE; }

GLint integer(GLenum name) {
  GLint value = 0;
  glGetIntegerv(name, &value);
  return value;
}

std::array<float, 4> floats4(GLenum name) {
  std::array<float, 4> value{};
  glGetFloatv(name, value.data());
  return value;
}

double windowDepth(double distance) {
  const double n = 0.1, f = 100.0;
  const double ndc = (f + n) / (f - n) - 2.0 * f * n / ((f - n) * distance);
  return (ndc + 1.0) / 2.0;
}

GLint nameOf(tex::Slot slot) { return static_cast<GLint>(texture(slot).glName); }

void SceneTest::SetUp() {
  ensureShow();
  while (glGetError() != GL_NO_ERROR) {
  }
  // Each test starts unlit with nothing culled, whatever the one before left
  // (the corridor leaves a cut-off GL refuses whenever the light goes on).
  light.setEnabled(false);
  light.setSpotCutoff(180.0f);
  material1.setEnabled(false);
  material2.setEnabled(false);
  glDisable(GL_CULL_FACE);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  activeScene() = 0;
  // No test reads pixels: rasterize one pixel only, so the blurs' many
  // full-screen layers cost nothing. Counts, feedback and state are unaffected.
  glScissor(0, 0, 1, 1);
  glEnable(GL_SCISSOR_TEST);
}

void SceneTest::TearDown() {
  glDisable(GL_SCISSOR_TEST);
  if (!allowGLErrors) {
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
  while (glGetError() != GL_NO_ERROR) {
  }
}

}  // namespace scenetest
