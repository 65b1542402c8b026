// Test main for Scene01 … Scene07: a scratch working directory, the engine
// window on the headless backend at 800 × 600, and the show's start-up up to
// the frame loop (shared objects from a small texture set, the scene table and
// Timeline1, the pipeline and the overlay effect).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "engine/loading.h"
#include "engine/script.h"
#include "engine/window.h"
#include "tests/render/render_test_support.h"
#include "tests/scenes_a/scene_test_support.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const bool ownsDirectory = std::getenv("VOLTRA_RENDER_TEST_DIR") == nullptr;
  const std::string directory = rendertest::scratchDirectory();
  if (chdir(directory.c_str()) != 0) return 1;
  if (!std::filesystem::exists("data/credits5.kpx")) rendertest::writeTextureSet(".", 8);
  if (::testing::Test::HasFailure()) return 1;
  setWindowBackend(platform::headlessBackend());
  orbCreateWindow("scene test", scenetest::W, scenetest::H, 32, false);
  loadingScreenInit();
  createSharedObjects();
  registerScenesAndTimeline();
  createPipelineAndOverlay();
  const int result = RUN_ALL_TESTS();
  if (ownsDirectory) {
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }
  return result;
}
