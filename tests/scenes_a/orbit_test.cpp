// Scene06 (flower orbits with a zoom blur) and Scene07 (sphere, rising flakes,
// spin blur).
#include <GL/glu.h>

#include <cmath>
#include <limits>
#include <set>

#include "engine/loading.h"
#include "engine/shared.h"
#include "engine/state.h"
#include "tests/scenes_a/scene_test_support.h"

namespace {

using rendertest::FeedbackItem;
using scenetest::sceneNamed;

constexpr double S = 1024.0;  // the pipeline's render texture

double sinDeg(double x) { return std::sin(x * M_PI / 180.0); }

std::vector<FeedbackItem> wideFrame(const char* name, std::int32_t t, float s = 0.0f) {
  const auto& scene = sceneNamed(name);
  scenetest::setFrame(t, s);
  pipelineBeginFrame();
  scene.enter();
  scenetest::loadWideProjection();
  return scenetest::trianglesOf(scene.render);
}

float smallestS(const FeedbackItem& triangle) {
  float low = 1e9f;
  for (const auto& v : triangle.vertices) low = std::min(low, v.texture[0]);
  return low;
}

TEST_F(SceneTest, Scene06DrawsCentreAndThirtyEightOrbitingFlowersThenTheZoomBlur) {
  const double t = 43276.0;  // the blur's spread is at its top, 0.5
  const auto triangles = wideFrame("Scene06", static_cast<std::int32_t>(t));
  // The two sprites come first, at window depth 0.995, clipped at the
  // virtual screen's edges into a varying number of triangles. Then 1 + 8 +
  // 8 + 22 flowers, the capture's redraw and 10 blur passes, none clipped.
  std::size_t sprites = 0;
  while (sprites < triangles.size() && triangles[sprites].vertices[0].z > 0.99f) ++sprites;
  EXPECT_GE(sprites, 4u);
  ASSERT_EQ(triangles.size() - sprites, 2u * (1 + 8 + 8 + 22 + 1 + 10));
  const std::size_t blur = triangles.size() - 20;
  for (int pass = 1; pass <= 10; ++pass) {
    const FeedbackItem& first = triangles[blur + 2 * (pass - 1)];
    EXPECT_NEAR(smallestS(first), 0.5 * pass / 100.0, 1e-5) << "pass " << pass;
    EXPECT_NEAR(first.vertices[0].color[3], 0.2 * (11 - pass) / 10.0, 1e-5) << "pass " << pass;
  }
  // The centre flower is drawn at 0.8 alpha, the orbiting ones opaque.
  EXPECT_NEAR(triangles[sprites].vertices[0].color[3], 0.8f, 1e-6);
  EXPECT_EQ(triangles[sprites + 2].vertices[0].color[3], 1.0f);
}

TEST_F(SceneTest, Scene06BlurSpreadFollowsTheMusicTime) {
  for (const double t : {35176.0, 36000.0, 52000.0}) {
    const auto triangles = wideFrame("Scene06", static_cast<std::int32_t>(t));
    const FeedbackItem& firstPass = triangles[triangles.size() - 20];
    const double spread = sinDeg((t - 35176.0) / 90.0) / 2.0;
    EXPECT_NEAR(smallestS(firstPass), std::min(spread / 100.0, (800.0 / S) - spread / 100.0), 1e-5) << "t = " << t;
  }
}

// --- Scene07 ---

ParticleRecord& flake(int i) { return particles1[static_cast<std::size_t>(i)]; }

TEST_F(SceneTest, Scene07SetUpPlacesFlakesPartWayThroughTheirRise) {
  const std::int32_t t = 140000;
  particles1[101].birthTime = 77;
  scenetest::setFrame(t);
  sceneNamed("Scene07").enter();
  EXPECT_EQ(particles1[101].birthTime, 77) << "only records 1 to 100 are flakes";
  for (int i = 1; i <= 100; ++i) {
    const ParticleRecord& p = flake(i);
    ASSERT_TRUE(p.x >= 2.0f && p.x < 5.0f && p.z >= -13.0f && p.z < -7.0f) << "flake " << i;
    ASSERT_TRUE(p.birthTime > t - 4000 && p.birthTime <= t) << "flake " << i;
    ASSERT_NEAR(p.y, (t - p.birthTime) / 200.0 - 10.0, 1e-5);
  }
}

TEST_F(SceneTest, Scene07FlakeRestartsOnlyAfterItsFullRise) {
  const auto& scene = sceneNamed("Scene07");
  scenetest::setFrame(140000);
  scene.enter();
  flake(1).birthTime = 136000;  // exactly 4000 ms ago: kept
  flake(2).birthTime = 135999;  // 4001 ms ago: starts again at the bottom
  flake(3).birthTime = 139000;
  flake(4).birthTime = 150000;  // ahead of the music, left from elsewhere: starts again
  scene.update();
  EXPECT_EQ(flake(1).birthTime, 136000);
  EXPECT_FLOAT_EQ(flake(1).y, 10.0f);
  EXPECT_EQ(flake(2).birthTime, 140000);
  EXPECT_FLOAT_EQ(flake(2).y, -10.0f);
  EXPECT_EQ(flake(3).birthTime, 139000);
  EXPECT_FLOAT_EQ(flake(3).y, -5.0f);
  EXPECT_EQ(flake(4).birthTime, 140000);
  EXPECT_FLOAT_EQ(flake(4).y, -10.0f);
  // The whole time range: no overflow in the spawn test.
  flake(5).birthTime = std::numeric_limits<std::int32_t>::max();
  flake(6).birthTime = std::numeric_limits<std::int32_t>::min();
  scene.update();
  EXPECT_EQ(flake(5).birthTime, 140000);
  EXPECT_EQ(flake(6).birthTime, 140000);
}

std::size_t sphereTriangles() {
  scenetest::loadWideProjection();
  return scenetest::trianglesOf([] {
           GLUquadric* q = gluNewQuadric();
           gluQuadricTexture(q, GL_TRUE);
           gluSphere(q, 2.4, 15, 15);
           gluDeleteQuadric(q);
         }).size();
}

// The spin passes are white with alpha 0.5 × (31 − pass) / 30; nothing else
// in the frame is white and that faint (the shadows are black, the sphere,
// flakes and the capture's redraw opaque). Rotated passes are clipped at the
// window's edges into a varying number of triangles.
bool isSpinPass(const FeedbackItem& triangle) {
  const auto& c = triangle.vertices[0].color;
  return c[0] == 1.0f && c[3] < 0.5001f;
}

const FeedbackItem* firstOfPass(const std::vector<FeedbackItem>& triangles, int pass) {
  const float alpha = 0.5f * static_cast<float>(31 - pass) / 30.0f;
  for (const FeedbackItem& triangle : triangles)
    if (isSpinPass(triangle) && std::abs(triangle.vertices[0].color[3] - alpha) < 1e-4f) return &triangle;
  return nullptr;
}

TEST_F(SceneTest, Scene07DrawsSphereShadowsFlakesAndThirtySpinPasses) {
  const std::size_t sphere = sphereTriangles();
  ASSERT_GT(sphere, 300u);
  auto count = [&](std::int32_t t, std::size_t& passes) {
    const auto triangles = wideFrame("Scene07", t);
    std::size_t scene = 0;
    passes = 0;
    for (const auto& triangle : triangles) {
      if (triangle.vertices[0].z > 0.99f) continue;  // the backdrop sprite
      if (isSpinPass(triangle)) {
        ++passes;
      } else {
        ++scene;
      }
    }
    std::set<int> distinct;
    for (int pass = 1; pass <= 30; ++pass) distinct.insert(firstOfPass(triangles, pass) != nullptr);
    EXPECT_EQ(distinct.size(), 1u) << "t = " << t << ": every pass or none";
    return scene;
  };
  // sphere, 100 shadows, 100 flakes, the capture's redraw
  const std::size_t expected = sphere + 2 * 100 + 2 * 100 + 2;
  std::size_t passes = 0;
  for (const std::int32_t t : {129999, 135000, 150000}) {
    EXPECT_EQ(count(t, passes), expected) << "t = " << t;
    EXPECT_GE(passes, 60u) << "t = " << t;
  }
  // The two milliseconds that belong to no branch draw no blur.
  for (const std::int32_t t : {130000, 141786}) {
    EXPECT_EQ(count(t, passes), expected) << "t = " << t;
    EXPECT_EQ(passes, 0u) << "t = " << t;
  }
}

// Direction (degrees, window coordinates) in which a triangle's texture s
// coordinate grows: the same for every triangle of one pass, clipped or not.
double textureGradientAngle(const FeedbackItem& triangle) {
  const auto& a = triangle.vertices[0];
  const auto& b = triangle.vertices[1];
  const auto& c = triangle.vertices[2];
  const double x1 = b.x - a.x, y1 = b.y - a.y, x2 = c.x - a.x, y2 = c.y - a.y;
  const double s1 = b.texture[0] - a.texture[0], s2 = c.texture[0] - a.texture[0];
  const double det = x1 * y2 - x2 * y1;
  const double gx = (s1 * y2 - s2 * y1) / det, gy = (x1 * s2 - x2 * s1) / det;
  return std::atan2(gy, gx) * 180.0 / M_PI;
}

// Pass 2 of the spin blur is turned by one angle step relative to pass 1.
double secondPassTurn(std::int32_t t) {
  const auto triangles = wideFrame("Scene07", t);
  const FeedbackItem* first = firstOfPass(triangles, 1);
  const FeedbackItem* second = firstOfPass(triangles, 2);
  if (!first || !second) {
    ADD_FAILURE() << "no spin blur at " << t;
    return 0.0;
  }
  return textureGradientAngle(*second) - textureGradientAngle(*first);
}

TEST_F(SceneTest, Scene07SpinBlurSwaysFrom130sAndWindsUpAfter141786ms) {
  EXPECT_NEAR(secondPassTurn(129999), 0.0, 1e-3);
  EXPECT_NEAR(secondPassTurn(130001), 0.0, 1e-3);
  EXPECT_NEAR(std::abs(secondPassTurn(141000)), sinDeg(11000.0 / 1500.0), 2e-3);
  for (const std::int32_t t : {141787, 151786}) {
    const double step = sinDeg((t - 130000.0) / 1500.0) - (t - 141786.0) / 1000.0;
    EXPECT_NEAR(std::abs(secondPassTurn(t)), std::abs(step), 2e-3) << "t = " << t;
  }
}

}  // namespace
