// Writes the current GL frame to a PNG file.
#pragma once

#include <string>
#include <vector>

// Reads the width × height framebuffer and writes it as an RGB PNG, top row
// first, by fileio's output rules: a regular file is replaced only by a
// complete new one (unique temporary name, rename), a device or FIFO is
// written in place, and none of `inputs` is ever written over. Returns false
// with reason set on failure. Sets GL_PACK_ALIGNMENT to 1 and leaves it so.
bool writeFramePng(const std::string& fileName, int width, int height, std::string* reason,
                   const std::vector<std::string>& inputs = {});
