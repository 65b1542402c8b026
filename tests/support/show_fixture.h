// The smallest show a run can start with in the current directory.
#pragma once

#include <fstream>

namespace testsupport {

// Writes an empty script.qsc.
inline void writeMinimalShow() { std::ofstream("script.qsc", std::ios::binary); }

}  // namespace testsupport
