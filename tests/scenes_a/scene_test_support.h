// Support for the scene tests: the scenes under test with their markers, the
// frame inputs (time, spectrum value), one frame's drawing as the loop runs
// it, feedback-mode triangle counts and GL state queries.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/render/render_test_support.h"

namespace scenetest {

inline constexpr int W = 800, H = 600;

struct SceneUnderTest {
  const char* name;
  std::int32_t marker;
  void (*enter)();
  void (*render)();
  void (*update)();
  std::int32_t sampleTime;  // a music time inside the scene's stretch
};
const std::vector<SceneUnderTest>& scenesUnderTest();
const SceneUnderTest& sceneNamed(const std::string& name);

// currentTime := t; spectrum: all 0 except element 110 := s.
void setFrame(std::int32_t t, float s = 0.0f);
// The set-up guard's marker on Timeline1.
std::int32_t marker();
void setMarker(std::int32_t value);

// Begin the frame, then enter and render, as the frame loop runs them (the
// capture and swap are left out, so the back buffer shows the scene).
void drawFrame(const SceneUnderTest& scene);

// Triangles (polygon tokens) reaching the rasterizer while draw runs.
std::vector<rendertest::FeedbackItem> trianglesOf(const std::function<void()>& draw);

// An orthographic projection of ±1000 in every direction, so no primitive is
// clipped away in feedback counts of scenes that keep the frame's projection.
void loadWideProjection();

std::array<float, 4> clearColour();
std::array<float, 16> matrix(GLenum which);
GLuint boundTexture();
GLint blendDestination();

}  // namespace scenetest

// Every test starts with a clean GL error state, marker 0, a silent spectrum
// and the camera active, and ends without a GL error.
class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};
