// Heightmap terrain: a regular grid of heights read from a picture, compiled
// into one display list of triangle strips with flat per-triangle normals.
//
// Grid points P(i, j), column i = 0 … columns, row j = 0 … rows, at
// (cellSize × i, height, cellSize × j): y is up, the grid starts at the origin.
// The height of P(i, j) is heights[(rows + 1) × i + j] (columns contiguous).
//
// The display list holds one GL_TRIANGLE_STRIP per column pair s, s + 1, with
// 2 × (rows + 1) vertices: P(s+1, 0), P(s, 0), then P(s+1, j), P(s, j) for
// j = 1 … rows, each preceded by the normal of the triangle it completes (the
// first triangle's normal also serves the first two vertices). Texture
// coordinates flip at every row, so each cell shows the whole texture and its
// neighbours show it mirrored: row 0 (1,1) (0,1); odd j (0,0) (1,0); even j
// (1,1) (0,1). The list sets no enable, texture or colour: the drawing scene
// decides texturing and lighting. build leaves the current normal and texture
// coordinate changed only inside the list (GL_COMPILE does not execute).
#pragma once

#include <GL/gl.h>

#include <array>
#include <cstdint>

class orbTexture;

class orbTerrain {
 public:
  static constexpr std::int32_t maxHeightCount = 5000;

  GLuint listId = 0;  // 0 until built
  std::int32_t heightCount = 0;  // (rows + 1) × (columns + 1)
  std::int32_t columns = 0;
  std::int32_t rows = 0;
  float cellSize = 1.0f;
  std::array<float, maxHeightCount> heights{};

  // All heights 0, no list yet. Fatal ("orbTerrain", "Terrain grid is too
  // large") when rows or columns is below 1 or the grid has more than 5000
  // points.
  static orbTerrain create(std::int32_t rows, std::int32_t columns, float cellSize);

  // Height of P(i, j) := green byte of texture pixel (i + 1, j + 1) / 255 ×
  // scale; the picture's first row and column are not used. Fatal
  // ("orbTerrain", "Heightmap is smaller than the terrain") when the picture
  // is narrower than columns + 2 or lower than rows + 2 pixels.
  void loadHeights(const orbTexture& texture, float scale);

  // Deletes the old list (if any) and compiles a new one. Needs a current context.
  void build();

  float height(std::int32_t column, std::int32_t row) const { return heights[(rows + 1) * column + row]; }
};

// The unit normal of the triangle p1, p2, p3: (p1 − p2) × (p2 − p3), divided by
// its length (by 1 when the length is 0). Writes out[0..2].
void triangleNormal(const float p1[3], const float p2[3], const float p3[3], float out[3]);
