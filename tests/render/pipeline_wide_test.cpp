// The pipeline at 1280 × 960, where the window is wider than the 1024 render
// texture. Runs on the engine window's own context (not the 800 × 600 GLTest one).
#include <gtest/gtest.h>

#include "engine/pipeline.h"
#include "engine/window.h"
#include "tests/render/render_test_support.h"
#include "tests/support/gl_context.h"

namespace {

void fillRect(int x, int y, int width, int height, float r, float g, float b) {
  glEnable(GL_SCISSOR_TEST);
  glScissor(x, y, width, height);
  glClearColor(r, g, b, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  glClearColor(0, 0, 0, 1);
}

class WidePipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    while (glGetError() != GL_NO_ERROR) {
    }
    glViewport(0, 0, 1280, 960);
  }
  void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }
};

}  // namespace

TEST_F(WidePipelineTest, RightQuarterRepeatsTheLeftEdge) {
  ASSERT_EQ(windowWidth(), 1280);
  ASSERT_EQ(windowHeight(), 960);
  const orbPipeline pipeline = orbPipeline::create(1024);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  fillRect(10, 10, 4, 4, 1, 0, 0);
  fillRect(1000, 900, 4, 4, 0, 1, 0);  // inside the copied 1024 × 960
  pipeline.captureAndRedraw();
  EXPECT_EQ(testsupport::readPixelRGBA(11, 11), 0xFF0000FFu);
  EXPECT_EQ(testsupport::readPixelRGBA(1001, 901), 0x00FF00FFu);
  // Texture coordinate 1.25 at the right edge: columns 1024 … 1279 show 0 … 255 again.
  EXPECT_EQ(testsupport::readPixelRGBA(1024 + 11, 11), 0xFF0000FFu);
  EXPECT_EQ(testsupport::readPixelRGBA(1024 + 20, 11), 0x000000FFu);

  const auto polygons = rendertest::polygonsOf(rendertest::captureFeedback([&] { pipeline.captureAndRedraw(); }));
  ASSERT_EQ(polygons.size(), 2u);
  float maxS = 0, maxT = 0;
  for (const auto& polygon : polygons)
    for (const auto& v : polygon.vertices) {
      maxS = std::max(maxS, v.texture[0]);
      maxT = std::max(maxT, v.texture[1]);
    }
  EXPECT_FLOAT_EQ(maxS, 1.25f);
  EXPECT_FLOAT_EQ(maxT, 960.0f / 1024.0f);
}
