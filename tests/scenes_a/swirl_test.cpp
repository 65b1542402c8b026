// Scene04 (star swirl with a beat detector) and Scene05 (greetings sheet).
#include <GL/glu.h>

#include <cmath>

#include "engine/loading.h"
#include "engine/shared.h"
#include "engine/state.h"
#include "tests/scenes_a/scene_test_support.h"
#include "tests/support/gl_context.h"

namespace {

using scenetest::sceneNamed;

ParticleRecord& beat() { return particles1[1]; }

TEST_F(SceneTest, Scene04SetUpStartsTheTiltFromARandomPhase) {
  scenetest::setFrame(40000);
  beat().value = 1.0f;
  sceneNamed("Scene04").enter();
  EXPECT_GE(beat().birthTime, 0);
  EXPECT_LT(beat().birthTime, 10000);
  EXPECT_EQ(beat().value, 0.0f);
  EXPECT_FLOAT_EQ(beat().x, static_cast<float>(120.0 * std::sin((40000.0 - beat().birthTime) / 8000.0)));
}

TEST_F(SceneTest, Scene04BeatDetectorHasHysteresis) {
  const auto& scene = sceneNamed("Scene04");
  scenetest::setFrame(40000);
  scene.enter();
  bool jumped = false;
  // A strong beat (10 s = 1.4): the phase jumps once.
  for (int attempt = 0; attempt < 20 && !jumped; ++attempt) {
    beat().birthTime = -1;
    beat().value = 0.0f;
    scenetest::setFrame(40000, 0.14f);
    scene.update();
    jumped = beat().birthTime != -1;
  }
  ASSERT_TRUE(jumped);
  EXPECT_EQ(beat().value, 1.0f);
  EXPECT_GE(beat().birthTime, 0);
  EXPECT_LT(beat().birthTime, 20000);
  const std::int32_t phase = beat().birthTime;
  // Held high or between 0.1 and 0.13: no new jump, the flag stays.
  for (float s : {0.14f, 0.2f, 0.13f, 0.11f, 0.1f, 0.14f}) {
    scenetest::setFrame(40016, s);
    scene.update();
    EXPECT_EQ(beat().birthTime, phase) << "s = " << s;
    EXPECT_EQ(beat().value, 1.0f) << "s = " << s;
  }
  EXPECT_FLOAT_EQ(beat().x, static_cast<float>(120.0 * std::sin((40016.0 - phase) / 8000.0)));
  // Below 0.1 the flag clears; the next strong beat may jump again.
  scenetest::setFrame(40032, 0.09f);
  scene.update();
  EXPECT_EQ(beat().value, 0.0f);
  EXPECT_EQ(beat().birthTime, phase);
  scenetest::setFrame(40048, 0.14f);
  scene.update();
  EXPECT_EQ(beat().value, 1.0f);
}

TEST_F(SceneTest, Scene04DrawsThirtyStarsAndTheHands) {
  const auto& scene = sceneNamed("Scene04");
  scenetest::setFrame(40000, 0.0f);
  pipelineBeginFrame();
  scene.enter();
  // With the camera off the wide projection stays, so nothing is clipped.
  camera.active = false;
  scenetest::loadWideProjection();
  const auto triangles = scenetest::trianglesOf(scene.render);
  camera.active = true;
  ASSERT_EQ(triangles.size(), 62u);
  // The stars are white with alpha 0.4, the hands black and opaque.
  for (std::size_t k = 0; k < 60; ++k) {
    EXPECT_EQ(triangles[k].vertices[0].color[0], 1.0f);
    EXPECT_NEAR(triangles[k].vertices[0].color[3], 0.4f, 1e-6);
  }
  for (std::size_t k = 60; k < 62; ++k)
    for (const auto& v : triangles[k].vertices) {
      EXPECT_EQ(v.color[0], 0.0f);
      EXPECT_EQ(v.color[3], 1.0f);
    }
}

TEST_F(SceneTest, Scene04LooksAlongPlusZThroughTheCamera) {
  const auto& scene = sceneNamed("Scene04");
  scenetest::setFrame(40000, 0.0f);
  scenetest::drawFrame(scene);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  gluPerspective(45.0, 4.0 / 3.0, 0.1, 100.0);
  gluLookAt(0, 0, -3, 0, 0, 0, 0, 1, 0);
  const auto expected = scenetest::matrix(GL_PROJECTION_MATRIX);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  EXPECT_EQ(scenetest::matrix(GL_PROJECTION_MATRIX), expected);
  EXPECT_EQ(scenetest::blendDestination(), GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_EQ(scenetest::boundTexture(), texture(tex::handsup).glName);
  // The black hands cover the centre of the picture.
  EXPECT_EQ(testsupport::readPixelRGBA(400, 300) >> 8, 0u);
}

// --- Scene05 ---

TEST_F(SceneTest, Scene05SetUpScattersTwoHundredSpecks) {
  particles1[201].x = 123.0f;
  scenetest::setFrame(86000);
  sceneNamed("Scene05").enter();
  for (std::size_t i = 1; i <= 200; ++i) {
    const ParticleRecord& p = particles1[i];
    ASSERT_TRUE(p.x >= 0.0f && p.x < 20.0f && p.y >= 0.0f && p.y < 20.0f && p.z >= -10.0f && p.z < 10.0f)
        << "speck " << i;
    ASSERT_FLOAT_EQ(p.x * 10.0f, std::round(p.x * 10.0f));
  }
  EXPECT_EQ(particles1[201].x, 123.0f);
}

TEST_F(SceneTest, Scene05DrawsTheWholeSheetAndEverySpeck) {
  const auto& scene = sceneNamed("Scene05");
  scenetest::setFrame(90000, 0.1f);
  pipelineBeginFrame();
  scene.enter();
  // The camera is switched off so the wide projection stays and nothing is clipped away.
  camera.active = false;
  scenetest::loadWideProjection();
  const auto triangles = scenetest::trianglesOf(scene.render);
  camera.active = true;
  // Backdrop and sprite lie at window depth 0.995 (z = -99 of their own
  // projection) and are clipped at the virtual screen's edge into a varying
  // number of triangles; the rest are the 6400 tiles and 200 specks.
  std::size_t backdrop = 0;
  for (const auto& triangle : triangles) backdrop += triangle.vertices[0].z > 0.99f;
  EXPECT_GE(backdrop, 4u);
  ASSERT_EQ(triangles.size() - backdrop, 2u * 6400u + 2u * 200u);
  // The specks are untextured white, the sheet white.
  const auto& lastSpeck = triangles.back().vertices[0];
  EXPECT_EQ(lastSpeck.color[0], 1.0f);
  EXPECT_EQ(lastSpeck.color[3], 1.0f);
}

TEST_F(SceneTest, Scene05SheetPicturesFollowOneAnotherWithoutGapOrOverlap) {
  const auto& scene = sceneNamed("Scene05");
  struct Boundary {
    std::int32_t last;  // the last millisecond of the earlier picture
    tex::Slot before, after;
  };
  const Boundary boundaries[] = {
      {86600, tex::flower1, tex::greets_greets}, {90800, tex::greets_greets, tex::greets_g1},
      {95500, tex::greets_g1, tex::greets_g6},   {99500, tex::greets_g6, tex::greets_g3},
      {104300, tex::greets_g3, tex::greets_g4},  {108000, tex::greets_g4, tex::greets_g5},
      {113000, tex::greets_g5, tex::greets_g7},  {117000, tex::greets_g7, tex::greets_g2},
      {121500, tex::greets_g2, tex::greets_voltra},
  };
  pipelineBeginFrame();
  scene.enter();
  for (const Boundary& b : boundaries) {
    for (std::int32_t t : {b.last, b.last + 1}) {
      scenetest::setFrame(t);
      glBindTexture(GL_TEXTURE_2D, 0);
      scene.render();
      EXPECT_EQ(scenetest::boundTexture(), texture(t == b.last ? b.before : b.after).glName) << "t = " << t;
    }
  }
  scenetest::setFrame(0);
  scene.render();
  EXPECT_EQ(scenetest::boundTexture(), texture(tex::flower1).glName);
}

TEST_F(SceneTest, Scene05UpdateSwitchesTheMarkerWithTheSine) {
  const auto& scene = sceneNamed("Scene05");
  scenetest::setFrame(86000);
  scene.enter();
  scenetest::setFrame(3000);  // sin(1.5) > 0
  scene.update();
  EXPECT_EQ(scenetest::marker(), 51);
  scenetest::setFrame(7000);  // sin(3.5) < 0
  scene.update();
  EXPECT_EQ(scenetest::marker(), 50);
  scenetest::setFrame(0);  // sin(0) = 0 is not above 0
  scene.update();
  EXPECT_EQ(scenetest::marker(), 50);

  // A stored 51 makes the next enter run the set-up again: new specks.
  scenetest::setFrame(3000);
  scene.update();
  for (std::size_t i = 1; i <= 200; ++i) particles1[i].x = -1.0f;
  scene.enter();
  EXPECT_EQ(scenetest::marker(), 50);
  EXPECT_GE(particles1[1].x, 0.0f);
  // With 50 stored, enter changes nothing.
  particles1[1].x = -1.0f;
  scene.enter();
  EXPECT_EQ(particles1[1].x, -1.0f);
}

}  // namespace
