// The smallest show a run can start with in the current directory.
#pragma once

#include <fstream>

#include "tests/render/render_test_support.h"

namespace testsupport {

// Writes an empty script.qsc and a small texture set under data/.
inline void writeMinimalShow() {
  std::ofstream("script.qsc", std::ios::binary);
  rendertest::writeTextureSet(".", 8);
}

}  // namespace testsupport
