// Scene01 (loading picture, flying logo, flood to white) and the text-page
// scenes Scene02 and Scene03.
#include <GL/glu.h>

#include <cmath>

#include "engine/loading.h"
#include "engine/shared.h"
#include "engine/state.h"
#include "platform/platform.h"
#include "tests/scenes_a/scene_test_support.h"
#include "tests/support/gl_context.h"

namespace {

using scenetest::sceneNamed;

void expectClearColour(float r, float g, float b) {
  const auto c = scenetest::clearColour();
  EXPECT_NEAR(c[0], r, 1e-5);
  EXPECT_NEAR(c[1], g, 1e-5);
  EXPECT_NEAR(c[2], b, 1e-5);
  EXPECT_EQ(c[3], 1.0f);
}

TEST_F(SceneTest, Scene01FloodsToWhiteFrom4000ms) {
  const auto& scene = sceneNamed("Scene01");
  scenetest::setFrame(4000);
  scenetest::drawFrame(scene);
  expectClearColour(0.3f, 0.0f, 0.0f);

  scenetest::setFrame(4001);
  scenetest::drawFrame(scene);
  expectClearColour(0.3014f, 0.002f, 0.002f);

  scenetest::setFrame(4250);
  scenetest::drawFrame(scene);
  expectClearColour(0.65f, 0.5f, 0.5f);

  for (std::int32_t t : {4500, 4700, 60000}) {
    scenetest::setFrame(t);
    scenetest::drawFrame(scene);
    expectClearColour(1.0f, 1.0f, 1.0f);
  }
  // The new colour shows from the next frame on.
  pipelineBeginFrame();
  EXPECT_EQ(testsupport::readPixelRGBA(3, 3) >> 8, 0xFFFFFFu);
}

// The loading picture, the bar and the distant spot are always drawn; the
// logo only while it lies between the near and the far plane.
TEST_F(SceneTest, Scene01DrawsTheLogoUntilItPassesTheEye) {
  const auto& scene = sceneNamed("Scene01");
  auto count = [&](std::int32_t t) {
    scenetest::setFrame(t);
    pipelineBeginFrame();
    scene.enter();
    return scenetest::trianglesOf(scene.render).size();
  };
  const std::size_t flying = count(2000);
  const std::size_t atEye = count(4500);
  EXPECT_GE(atEye, 4u);  // picture and bar at least
  EXPECT_EQ(flying, atEye + 2);
}

// Steps 2 to 5 repeat the loading screen's last picture: away from the logo's
// spot the first frame of the show equals the last loading frame.
TEST_F(SceneTest, Scene01ContinuesTheLoadingScreenSeamlessly) {
  std::vector<std::uint8_t> loading;
  platform::setHeadlessSwapHook([&] { loading = testsupport::readFramebuffer(scenetest::W, scenetest::H); });
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 4.0 / 3.0, 0.1, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glClearColor(0.3f, 0.0f, 0.0f, 1.0f);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glDisable(GL_DEPTH_TEST);
  loadingProgress(1.0);
  platform::setHeadlessSwapHook(nullptr);
  ASSERT_FALSE(loading.empty());

  scenetest::setFrame(0);
  scenetest::drawFrame(sceneNamed("Scene01"));
  const auto show = testsupport::readFramebuffer(scenetest::W, scenetest::H);
  // The logo and the spot sit at about x = 262, y = 300 at t = 0.
  int differing = 0;
  for (int y = 0; y < scenetest::H; y += 3) {
    for (int x = 0; x < scenetest::W; x += 3) {
      if (std::abs(x - 262) < 12 && std::abs(y - 300) < 12) continue;
      const std::size_t i = (static_cast<std::size_t>(y) * scenetest::W + x) * 4;
      for (int k = 0; k < 3; ++k)
        if (std::abs(int(loading[i + k]) - int(show[i + k])) > 1) ++differing;
    }
  }
  EXPECT_EQ(differing, 0);
  // And the picture is really there: the centre is lit above the clear colour.
  const std::size_t centre = (300u * scenetest::W + 400u) * 4;
  EXPECT_GT(int(show[centre]) + show[centre + 1] + show[centre + 2], 100);
}

// --- text pages ---

// The backdrop sprite lies at z = -99 of its (-100, 100) depth range, window
// depth 0.995; the pages lie far in front of it.
bool isPage(const rendertest::FeedbackItem& triangle) { return triangle.vertices[0].z < 0.99f; }

std::vector<rendertest::FeedbackItem> textPageTriangles(const char* name, std::int32_t t, float s = 0.0f) {
  const auto& scene = sceneNamed(name);
  scenetest::setFrame(t, s);
  pipelineBeginFrame();
  scene.enter();
  std::vector<rendertest::FeedbackItem> pages;
  for (auto& triangle : scenetest::trianglesOf(scene.render))
    if (isPage(triangle)) pages.push_back(std::move(triangle));
  return pages;
}

TEST_F(SceneTest, Scene02ShowsThePagesFromTheirStartTimes) {
  // Before its start time a page is not drawn; each page is two triangles.
  EXPECT_EQ(textPageTriangles("Scene02", 6000).size(), 0u);
  EXPECT_EQ(textPageTriangles("Scene02", 6344).size(), 0u);
  EXPECT_EQ(textPageTriangles("Scene02", 6345).size(), 2u);
  EXPECT_EQ(textPageTriangles("Scene02", 8277).size(), 2u);
  EXPECT_EQ(textPageTriangles("Scene02", 8278).size(), 4u);
  EXPECT_EQ(textPageTriangles("Scene02", 30000).size(), 4u);
  EXPECT_EQ(textPageTriangles("Scene03", 21689).size(), 0u);
  EXPECT_EQ(textPageTriangles("Scene03", 21690).size(), 2u);
  EXPECT_EQ(textPageTriangles("Scene03", 23606).size(), 4u);
  // Left page left of x = 0, right page right of it, the two overlapping at the seam.
  const auto pages = textPageTriangles("Scene02", 9000);
  float leftMost = 1e9f, leftPageRight = -1e9f, rightPageLeft = 1e9f;
  for (int k = 0; k < 2; ++k)
    for (const auto& v : pages[k].vertices) {
      leftMost = std::min(leftMost, v.x);
      leftPageRight = std::max(leftPageRight, v.x);
    }
  for (int k = 2; k < 4; ++k)
    for (const auto& v : pages[k].vertices) rightPageLeft = std::min(rightPageLeft, v.x);
  EXPECT_LT(leftMost, 20.0f);
  EXPECT_GT(leftPageRight, rightPageLeft);
  EXPECT_NEAR(leftPageRight, scenetest::W / 2.0f, 1.0f);
}

GLuint textureAfterRender(const char* name, std::int32_t t) {
  scenetest::setFrame(t);
  scenetest::drawFrame(sceneNamed(name));
  return scenetest::boundTexture();
}

TEST_F(SceneTest, TextPagesSwitchAtTheirTimes) {
  // The right page's texture is the last one bound.
  EXPECT_EQ(textureAfterRender("Scene02", 8278), texture(tex::Text2_1).glName);
  EXPECT_EQ(textureAfterRender("Scene02", 12107), texture(tex::Text2_1).glName);
  EXPECT_EQ(textureAfterRender("Scene02", 12109), texture(tex::Text2_2).glName);
  EXPECT_EQ(textureAfterRender("Scene02", 19773), texture(tex::Text2_5).glName);
  // No right window holds 12108: the right page repeats the left page's texture.
  EXPECT_EQ(textureAfterRender("Scene02", 12108), texture(tex::text1_4).glName);
  EXPECT_EQ(textureAfterRender("Scene02", 25000), texture(tex::text1_4).glName);
  // Before the right page starts, the left page's texture is the last bound.
  // 8277 lies in the first two left windows: the first row wins.
  EXPECT_EQ(textureAfterRender("Scene02", 8277), texture(tex::text1_1).glName);
  EXPECT_EQ(textureAfterRender("Scene02", 7000), texture(tex::text1_1).glName);
  EXPECT_EQ(textureAfterRender("Scene03", 23000), texture(tex::Text5_1).glName);
  EXPECT_EQ(textureAfterRender("Scene03", 30000), texture(tex::Text6_3).glName);
  // Neither side has a window holding 31269: both pages show the backdrop's flower.
  EXPECT_EQ(textureAfterRender("Scene03", 31269), texture(tex::flower1).glName);
  EXPECT_EQ(textureAfterRender("Scene03", 31270), texture(tex::Text6_4).glName);
}

// A 1 × 1 opaque texture of one colour.
GLuint solidTexture(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  GLuint name = 0;
  const std::uint8_t pixel[4] = {r, g, b, 255};
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  return name;
}

// At 27437 no left window holds t: the left page shows what the backdrop
// left bound, the flower (here replaced by plain red to tell it apart).
TEST_F(SceneTest, Scene03LeftPageAt27437ShowsTheLastBoundTexture) {
  const GLuint flower = texture(tex::flower1).glName;
  const GLuint red = solidTexture(255, 0, 0);
  texture(tex::flower1).glName = red;
  auto leftPageCentre = [](std::int32_t t) {
    scenetest::setFrame(t);
    scenetest::drawFrame(sceneNamed("Scene03"));
    return testsupport::readPixelRGBA(207, 300) >> 8;
  };
  const std::uint32_t atBoundary = leftPageCentre(27437);
  const std::uint32_t after = leftPageCentre(27438);
  texture(tex::flower1).glName = flower;
  glDeleteTextures(1, &red);
  EXPECT_EQ(atBoundary, 0xFF0000u);
  EXPECT_NE(after, 0xFF0000u);
}

// Window depth of eye-space z under the frame's perspective (near 0.1, far 100).
double windowDepth(double eyeZ) {
  const double n = 0.1, f = 100.0;
  const double clipZ = -(f + n) / (f - n) * eyeZ - 2.0 * f * n / (f - n);
  return (clipZ / -eyeZ + 1.0) / 2.0;
}

TEST_F(SceneTest, TextPagesComeForwardWithTheMusic) {
  auto expectDepth = [](const char* name, std::int32_t t, float s, double eyeZ) {
    const auto pages = textPageTriangles(name, t, s);
    ASSERT_GE(pages.size(), 4u) << name;  // pages near the eye are clipped into more triangles
    for (const auto& triangle : pages)
      for (const auto& v : triangle.vertices) EXPECT_NEAR(v.z, windowDepth(eyeZ), 1e-5) << name << " s = " << s;
  };
  expectDepth("Scene02", 9000, 0.0f, -3.0);
  expectDepth("Scene02", 9000, 0.3f, -1.5);
  expectDepth("Scene03", 26000, 0.4f, -2.2);
}

}  // namespace
