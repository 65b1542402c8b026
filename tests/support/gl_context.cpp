#include "tests/support/gl_context.h"

#include "platform/platform.h"

namespace testsupport {

bool ensureGLContext(int width, int height) {
  static int madeWidth = 0, madeHeight = 0;
  static bool ok = false;
  if (madeWidth != 0) {
    EXPECT_TRUE(madeWidth == width && madeHeight == height) << "one context size per test binary";
    return ok;
  }
  madeWidth = width;
  madeHeight = height;
  platform::Backend& backend = platform::headlessBackend();
  platform::WindowRequest request;
  request.title = "test";
  request.width = width;
  request.height = height;
  ok = backend.registerWindowClass(nullptr) && backend.createWindow(request) && backend.createContext(32, 16);
  if (ok) glViewport(0, 0, width, height);
  return ok;
}

std::uint32_t readPixelRGBA(int x, int y) {
  std::uint8_t p[4] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

std::vector<std::uint8_t> readFramebuffer(int width, int height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

}  // namespace testsupport
