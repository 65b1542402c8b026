// Support for the render tests: a scratch working directory per test binary
// (debug.txt, error.txt and data/ land there), the engine window on the
// headless backend, GL feedback capture, and synthetic .kpx pictures.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rendertest {

// The scratch directory the binary runs in (the same for death-test children).
const std::string& scratchDirectory();

// Whole text file, "" when missing.
std::string readTextFile(const std::string& fileName);
// debug.txt split into lines without their CR LF.
std::vector<std::string> debugLines();

// --- feedback mode ---
struct FeedbackVertex {
  float x, y, z;       // window coordinates
  float color[4];
  float texture[4];
};
struct FeedbackItem {
  enum Kind { polygon, passThrough, other } kind = other;
  float marker = 0.0f;  // pass-through value
  std::vector<FeedbackVertex> vertices;
};
// Runs draw in GL_FEEDBACK mode (GL_3D_COLOR_TEXTURE) and returns what reached
// the rasterizer, in order.
std::vector<FeedbackItem> captureFeedback(const std::function<void()>& draw);
std::vector<FeedbackItem> polygonsOf(const std::vector<FeedbackItem>& items);

// --- pictures ---
struct Rgb {
  std::uint8_t r, g, b;
};
// Writes a colour (or grey: only r is used) .kpx file of width × height with
// the writer; width and height must be multiples of 16. Fails the test on error.
void writePicture(const std::string& fileName, int width, int height, const std::function<Rgb(int x, int y)>& pixel,
                  bool grey = false);

// Writes the 55 files of the texture table under directory/data. sizeDivisor
// 1 gives the sizes a show uses (128 … 512 pixels), larger divisors smaller
// pictures (never below 32 pixels, the heightmap never below 48).
void writeTextureSet(const std::string& directory, int sizeDivisor);

// The picture writeTextureSet puts into the loading slot: top half red-ish,
// bottom half blue-ish, as a function of the row.
Rgb loadingPicturePixel(int x, int y, int width, int height);

}  // namespace rendertest
