// The show's shared objects on the render-test window (800 × 600), made once
// per test binary, and frame helpers for driving one scene by hand.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/shared.h"
#include "tests/render/render_test_support.h"

namespace scenetest {

constexpr int W = 800, H = 600;

// Once per process: a small texture set in the scratch folder, the loading
// screen, the shared objects, the scenes with Timeline1, the pipeline.
void ensureShow();

// The timeline's set-up marker (0 lets the next enter run its set-up).
std::int32_t& activeScene();

// Starts a frame at music time t with spectrum value s: the pipeline's frame
// start (projection, identity, clear).
void beginFrame(std::int32_t t, float s = 0.0f);

// Polygons (triangles after clipping) that reach the rasterizer while draw runs.
std::vector<rendertest::FeedbackItem> polygonsDrawn(const std::function<void()>& draw);

// Primitives (triangles, lines) sent before clipping while draw runs, from a
// GL_PRIMITIVES_GENERATED query (llvmpipe counts a quad as one primitive,
// a triangle strip as its triangles).
std::uint32_t primitivesSent(const std::function<void()>& draw);

bool enabled(GLenum capability);
GLint integer(GLenum name);
std::array<float, 4> floats4(GLenum name);
// Window z of a point `distance` units in front of the eye under a
// perspective with near 0.1 and far 100 (depth range 0 … 1).
double windowDepth(double distance);
// The GL texture name of a slot.
GLint nameOf(tex::Slot slot);

// Fixture: the show is up, GL errors are cleared before and checked after.
class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // GL errors a test expects (drained and checked by the test itself).
  bool allowGLErrors = false;
};

}  // namespace scenetest
