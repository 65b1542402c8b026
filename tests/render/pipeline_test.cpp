// The pipeline and the overlay effects against real GL at 800 × 600.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/pipeline.h"
#include "engine/window.h"
#include "tests/render/render_test_support.h"
#include "tests/support/gl_context.h"

namespace {

constexpr int W = 800, H = 600;
constexpr std::uint32_t black = 0x000000FF, red = 0xFF0000FF, green = 0x00FF00FF, blue = 0x0000FFFF;

void fillRect(int x, int y, int width, int height, float r, float g, float b) {
  glEnable(GL_SCISSOR_TEST);
  glScissor(x, y, width, height);
  glClearColor(r, g, b, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  glClearColor(0, 0, 0, 1);
}

void clearBlack() {
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

std::array<double, 16> matrix(GLenum which) {
  std::array<double, 16> m{};
  glGetDoublev(which, m.data());
  return m;
}

// glOrtho(0, W, H, 0, -1, zFar) as GL stores it.
void expectOrtho(double zFar) {
  const auto m = matrix(GL_PROJECTION_MATRIX);
  EXPECT_NEAR(m[0], 2.0 / W, 1e-9);
  EXPECT_NEAR(m[5], -2.0 / H, 1e-9);
  EXPECT_NEAR(m[10], -2.0 / (zFar + 1.0), 1e-7);
  EXPECT_NEAR(m[12], -1.0, 1e-9);
  EXPECT_NEAR(m[13], 1.0, 1e-9);
  EXPECT_NEAR(m[14], -(zFar - 1.0) / (zFar + 1.0), 1e-7);
}

class PipelineTest : public GLTest {
 protected:
  static orbPipeline& pipeline() {
    static orbPipeline made = orbPipeline::create(1024);
    return made;
  }
  void SetUp() override {
    GLTest::SetUp();
    ASSERT_EQ(windowWidth(), W);
    pipeline();
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
  }
};

}  // namespace

TEST(OverlayFX, CreatedBeforeAnyPipelineIsFatal) {
  // Run in a child of its own: no pipeline exists there.
  EXPECT_EXIT(
      {
        if (!pipelineIsSet()) orbOverlayFX::create();
        std::_Exit(3);
      },
      ::testing::ExitedWithCode(1), "");
  EXPECT_EQ(rendertest::readTextFile("error.txt"),
            "Sorry, but the following module had something to say:\r\n\r\norbOverlayFX\r\n"
            "Rendering Pipeline was not set when FX were initialized\r\n");
}

TEST_F(PipelineTest, CreateMakesA1024RgbaRenderTexture) {
  EXPECT_TRUE(pipelineIsSet());
  EXPECT_EQ(pipeline().textureSize, 1024);
  const orbRenderTexture& texture = pipeline().renderTexture;
  EXPECT_EQ(texture.width, 1024);
  EXPECT_EQ(texture.components, 4);
  EXPECT_EQ(texture.format, static_cast<GLenum>(GL_RGBA));
  EXPECT_FALSE(texture.mipmapped);
  EXPECT_TRUE(glIsTexture(texture.glName));
}

TEST(PipelineSize, SmallestPowerOfTwoCoveringTheWindow) {
  // Every window the dialog offers up to 1024 × 1024 keeps the 1024 texture.
  EXPECT_EQ(renderTextureSize(1024, 640, 480), 1024);
  EXPECT_EQ(renderTextureSize(1024, 800, 600), 1024);
  EXPECT_EQ(renderTextureSize(1024, 1024, 768), 1024);
  EXPECT_EQ(renderTextureSize(1024, 1024, 1024), 1024);
  EXPECT_EQ(renderTextureSize(1024, 1025, 10), 2048);
  EXPECT_EQ(renderTextureSize(1024, 1280, 960), 2048);
  EXPECT_EQ(renderTextureSize(1024, 300, 1600), 2048);  // the taller side counts too
  EXPECT_EQ(renderTextureSize(256, 300, 200), 512);
  EXPECT_EQ(renderTextureSize(0, 0, 0), 1);
  EXPECT_EQ(renderTextureSize(-5, -1, -1), 1);
  EXPECT_EQ(renderTextureSize(1 << 30, 1, 1), 1 << 30);
  EXPECT_EQ(renderTextureSize(0x7FFFFFFF, 1, 1), 1 << 30);  // no overflow
}

TEST_F(PipelineTest, BeginFrameResetsMatricesAndClears) {
  glClearColor(0, 0, 1, 1);
  glMatrixMode(GL_MODELVIEW);
  glTranslatef(3, 3, 3);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  fillRect(100, 100, 10, 10, 1, 0, 0);
  glClearColor(0, 0, 1, 1);
  pipeline().beginFrame();
  EXPECT_EQ(testsupport::readPixelRGBA(105, 105), blue);
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX)[12], 0.0);
  const auto p = matrix(GL_PROJECTION_MATRIX);
  const double f = 1.0 / std::tan(22.5 * M_PI / 180.0);
  EXPECT_NEAR(p[0], f / (double(W) / H), 1e-6);
  EXPECT_NEAR(p[5], f, 1e-6);
  EXPECT_NEAR(p[14], 2 * 100.0 * 0.1 / (0.1 - 100.0), 1e-6);
  glClearColor(0, 0, 0, 1);
}

TEST_F(PipelineTest, CaptureAndRedrawPutsPixelsBackWhereTheyWere) {
  clearBlack();
  fillRect(2, 3, 3, 3, 1, 0, 0);      // lower left
  fillRect(700, 500, 4, 4, 0, 1, 0);  // upper right area
  fillRect(W - 1, H - 1, 1, 1, 0, 0, 1);
  glColor4f(0.2f, 0.3f, 0.4f, 0.5f);
  pipeline().captureAndRedraw();
  EXPECT_EQ(testsupport::readPixelRGBA(2, 3), red);
  EXPECT_EQ(testsupport::readPixelRGBA(4, 5), red);
  EXPECT_EQ(testsupport::readPixelRGBA(5, 5), black);
  EXPECT_EQ(testsupport::readPixelRGBA(701, 502), green);
  EXPECT_EQ(testsupport::readPixelRGBA(W - 1, H - 1), blue);
  EXPECT_EQ(testsupport::readPixelRGBA(0, 0), black);
  EXPECT_EQ(testsupport::readPixelRGBA(400, 300), black);

  // State left behind.
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(bound, static_cast<GLint>(pipeline().renderTexture.glName));
  expectOrtho(1.0);
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_EQ(std::vector<float>(colour, colour + 4), (std::vector<float>{1, 1, 1, 1}));
  EXPECT_FALSE(glIsEnabled(GL_BLEND)) << "the pipeline changes no blending";

  // Redrawing is idempotent: a second frame shows the same picture.
  pipeline().captureAndRedraw();
  EXPECT_EQ(testsupport::readPixelRGBA(3, 4), red);
  EXPECT_EQ(testsupport::readPixelRGBA(702, 503), green);
}

TEST_F(PipelineTest, CaptureAndRedrawUsesTheBlendingItFinds) {
  clearBlack();
  fillRect(10, 10, 4, 4, 0.5f, 0, 0);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glClearColor(0, 0, 0.5f, 1);
  pipeline().captureAndRedraw();
  // Cleared to the clear colour, the frame added on top.
  const std::uint32_t pixel = testsupport::readPixelRGBA(11, 11);
  EXPECT_NEAR(static_cast<int>(pixel >> 24), 128, 1);
  EXPECT_NEAR(static_cast<int>((pixel >> 8) & 0xFF), 128, 1);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  glDisable(GL_BLEND);
  glClearColor(0, 0, 0, 1);
}

TEST_F(PipelineTest, ZoomBlurDrawsTenLayersOfFallingOpacity) {
  const orbOverlayFX effect = orbOverlayFX::create();
  EXPECT_EQ(effect.textureName(), pipeline().renderTexture.glName);
  const auto polygons =
      rendertest::polygonsOf(rendertest::captureFeedback([&] { effect.zoomBlur(10, 2.0f, 1.0f); }));
  ASSERT_EQ(polygons.size(), 20u) << "10 quads arrive as 20 triangles";
  for (int pass = 1; pass <= 10; ++pass) {
    const float o = 2.0f * pass / 100.0f;
    for (int half = 0; half < 2; ++half) {
      for (const auto& v : polygons[(pass - 1) * 2 + half].vertices) {
        EXPECT_NEAR(v.color[3], 1.0f - 0.1f * (pass - 1), 1e-5) << "pass " << pass;
        EXPECT_EQ(v.color[0], 1.0f);
        // Screen corners carry the cut texture coordinates.
        const bool left = v.x < W / 2, bottom = v.y < H / 2;
        EXPECT_NEAR(v.texture[0], left ? o : float(W) / 1024 - o, 1e-6) << "pass " << pass;
        EXPECT_NEAR(v.texture[1], bottom ? o : float(H) / 1024 - o, 1e-6) << "pass " << pass;
        EXPECT_NEAR(v.x, left ? 0 : W, 1e-3);
        EXPECT_NEAR(v.y, bottom ? 0 : H, 1e-3);
      }
    }
  }
}

TEST_F(PipelineTest, EffectsRestoreEnablesAndModelViewAndLeaveTheRest) {
  const orbOverlayFX effect = orbOverlayFX::create();
  for (int which = 0; which < 2; ++which) {
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(7, 8, 9);
    if (which == 0)
      effect.zoomBlur(4, 1.0f, 0.8f);
    else
      effect.spinBlur(4, 1.0f, 10.0f, 0.8f);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLint source = 0, destination = 0, mode = 0;
    glGetIntegerv(GL_BLEND_SRC, &source);
    glGetIntegerv(GL_BLEND_DST, &destination);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(source, GL_SRC_ALPHA);
    EXPECT_EQ(destination, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX)[12], 7.0) << "model-view restored";
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_NEAR(colour[3], 0.2f, 1e-6) << "last pass's colour stays";
    expectOrtho(1.1);
  }
  glDisable(GL_DEPTH_TEST);
  glLoadIdentity();
}

TEST_F(PipelineTest, SpinBlurWithoutAngleDrawsWhatZoomBlurDraws) {
  const orbOverlayFX effect = orbOverlayFX::create();
  const auto zoom = rendertest::polygonsOf(rendertest::captureFeedback([&] { effect.zoomBlur(6, 3.0f, 0.9f); }));
  const auto spin =
      rendertest::polygonsOf(rendertest::captureFeedback([&] { effect.spinBlur(6, 3.0f, 0.0f, 0.9f); }));
  ASSERT_EQ(zoom.size(), spin.size());
  ASSERT_EQ(zoom.size(), 12u);
  for (std::size_t p = 0; p < zoom.size(); ++p) {
    ASSERT_EQ(zoom[p].vertices.size(), spin[p].vertices.size());
    for (std::size_t k = 0; k < zoom[p].vertices.size(); ++k) {
      const auto &a = zoom[p].vertices[k], &b = spin[p].vertices[k];
      EXPECT_NEAR(a.x, b.x, 1e-3);
      EXPECT_NEAR(a.y, b.y, 1e-3);
      EXPECT_EQ(a.color[3], b.color[3]);
      EXPECT_EQ(a.texture[0], b.texture[0]);
      EXPECT_EQ(a.texture[1], b.texture[1]);
    }
  }
  EXPECT_TRUE(rendertest::polygonsOf(rendertest::captureFeedback([&] { effect.zoomBlur(0, 3.0f, 1.0f); })).empty());
}

// A white square captured at one place; spinBlur(3 passes, 90° steps) must show
// it unturned at opacity 1, turned 90° at 2/3 and turned 270° (0 + 90 + 180,
// the rotations accumulate) at 1/3, each layer blended over the ones before.
TEST_F(PipelineTest, SpinBlurRotationsAccumulate) {
  const orbOverlayFX effect = orbOverlayFX::create();
  clearBlack();
  // Square centred at window (150, 150): y-down (150, 450), from the centre (-250, +150).
  fillRect(140, 140, 21, 21, 1, 1, 1);
  pipeline().captureAndRedraw();
  clearBlack();
  effect.spinBlur(3, 0.0f, 90.0f, 1.0f);
  // Turning (x, y) by θ in y-down coordinates: (x cos θ − y sin θ, x sin θ + y cos θ).
  auto shown = [](double degrees) {
    const double t = degrees * M_PI / 180.0, x = -250, y = 150;
    const double sx = x * std::cos(t) - y * std::sin(t) + W / 2, sy = y * std::cos(t) + x * std::sin(t) + H / 2;
    return std::pair<int, int>{static_cast<int>(std::lround(sx)), static_cast<int>(std::lround(H - sy))};
  };
  auto redAt = [](std::pair<int, int> at) {
    return static_cast<int>(testsupport::readPixelRGBA(at.first, at.second) >> 24);
  };
  // pass 1 white, passes 2 and 3 black over it: 255 × 1/3 × 2/3.
  EXPECT_NEAR(redAt(shown(0)), 255.0 / 3 * 2 / 3, 3);
  EXPECT_NEAR(redAt(shown(90)), 255.0 * 2 / 3 * 2 / 3, 3);
  EXPECT_NEAR(redAt(shown(270)), 255.0 / 3, 3);
  EXPECT_EQ(redAt(shown(180)), 0) << "the third pass was turned 180°: rotations did not accumulate";
}
