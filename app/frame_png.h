// Writes the current GL frame to a PNG file.
#pragma once

#include <string>

// Reads the width × height framebuffer and writes it as an RGB PNG, top row
// first. Writes to a temporary name and renames, so a failed write leaves no
// partial file. Returns false with reason set on failure.
bool writeFramePng(const std::string& fileName, int width, int height, std::string* reason);
