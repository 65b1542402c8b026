// A real OpenGL context for tests: Mesa's llvmpipe through the headless
// (EGL surfaceless) backend, created once per test binary.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace testsupport {

// Makes a width × height context current (once per process; later calls with
// another size fail the test). Returns false when no context can be made.
bool ensureGLContext(int width = 800, int height = 600);

// Reads one RGBA pixel of the back buffer (origin at the lower left).
std::uint32_t readPixelRGBA(int x, int y);

// Reads the whole width × height back buffer as RGBA rows, bottom row first.
std::vector<std::uint8_t> readFramebuffer(int width, int height);

}  // namespace testsupport

// Fixture: every test runs with a current context and a clean error state.
class GLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testsupport::ensureGLContext()) << "no headless OpenGL context";
    while (glGetError() != GL_NO_ERROR) {
    }
  }
  void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }
};
