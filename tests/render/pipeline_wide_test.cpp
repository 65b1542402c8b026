// The pipeline at 1280 × 960, where the window is wider than 1024: the render
// texture grows to 2048 so the whole frame comes back. Runs on the engine window's own context (not the 800 × 600 GLTest one).
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

TEST_F(WidePipelineTest, RightQuarterShowsTheRightOfTheFrame) {
  ASSERT_EQ(windowWidth(), 1280);
  ASSERT_EQ(windowHeight(), 960);
  // Asked for 1024, the pipeline grows to the power of two that covers 1280.
  const orbPipeline pipeline = orbPipeline::create(1024);
  EXPECT_EQ(pipeline.textureSize, 2048);
  EXPECT_EQ(pipeline.renderTexture.width, 2048);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  fillRect(10, 10, 4, 4, 1, 0, 0);
  fillRect(1000, 900, 4, 4, 0, 1, 0);
  fillRect(1270, 950, 6, 6, 0, 0, 1);  // the window's top-right corner
  fillRect(1100, 20, 4, 4, 1, 1, 0);   // the right quarter
  pipeline.captureAndRedraw();
  EXPECT_EQ(testsupport::readPixelRGBA(11, 11), 0xFF0000FFu);
  EXPECT_EQ(testsupport::readPixelRGBA(1001, 901), 0x00FF00FFu);
  EXPECT_EQ(testsupport::readPixelRGBA(1272, 952), 0x0000FFFFu);
  EXPECT_EQ(testsupport::readPixelRGBA(1101, 21), 0xFFFF00FFu);
  // Where the old 1024 texture wrapped the left edge round: now plain black.
  EXPECT_EQ(testsupport::readPixelRGBA(1024 + 11, 11), 0x000000FFu);

  const auto polygons = rendertest::polygonsOf(rendertest::captureFeedback([&] { pipeline.captureAndRedraw(); }));
  ASSERT_EQ(polygons.size(), 2u);
  float maxS = 0, maxT = 0;
  for (const auto& polygon : polygons)
    for (const auto& v : polygon.vertices) {
      maxS = std::max(maxS, v.texture[0]);
      maxT = std::max(maxT, v.texture[1]);
    }
  EXPECT_FLOAT_EQ(maxS, 1280.0f / 2048.0f);
  EXPECT_FLOAT_EQ(maxT, 960.0f / 2048.0f);
}
