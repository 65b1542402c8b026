// Test main for the render binaries: runs in a scratch directory with the
// engine window open on the headless backend at RENDER_TEST_WIDTH ×
// RENDER_TEST_HEIGHT. Death tests re-run the binary, which opens its own window
// in the same directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "engine/window.h"
#include "tests/render/render_test_support.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const bool ownsDirectory = std::getenv("VOLTRA_RENDER_TEST_DIR") == nullptr;
  const std::string directory = rendertest::scratchDirectory();
  if (chdir(directory.c_str()) != 0) return 1;
  setWindowBackend(platform::headlessBackend());
  orbCreateWindow("render test", RENDER_TEST_WIDTH, RENDER_TEST_HEIGHT, 32, false);
  const int result = RUN_ALL_TESTS();
  if (ownsDirectory) {
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }
  return result;
}
