// Where the test fixture's forge runs wrote their shows.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace forgetest {

// Paths from the build (compile definitions of the test binaries).
inline std::string showA() { return FORGE_SHOW_A; }
inline std::string showB() { return FORGE_SHOW_B; }
inline std::string forgeBinary() { return FORGE_BINARY; }

// Skips the test when the fixture has not run (the binary started by hand).
#define REQUIRE_SHOW()                                                                    \
  do {                                                                                    \
    if (forgetest::showA().empty() || !std::filesystem::exists(forgetest::showA() + "/script.qsc")) \
      GTEST_SKIP() << "no forged show (run through ctest)";                              \
  } while (0)

}  // namespace forgetest
