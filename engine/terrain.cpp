#include "engine/terrain.h"

#include <cmath>

#include "engine/log.h"
#include "engine/texture.h"

orbTerrain orbTerrain::create(std::int32_t rows, std::int32_t columns, float cellSize) {
  // The height array has a fixed capacity; a larger grid would run past it.
  if (rows < 1 || columns < 1 || rows >= maxHeightCount || columns >= maxHeightCount ||
      (rows + 1) * (columns + 1) > maxHeightCount)
    fatalError("orbTerrain", "Terrain grid is too large");
  orbTerrain terrain;
  terrain.rows = rows;
  terrain.columns = columns;
  terrain.cellSize = cellSize;
  terrain.heightCount = (rows + 1) * (columns + 1);
  return terrain;
}

void orbTerrain::loadHeights(const orbTexture& texture, float scale) {
  // getPixel would leave its output unchanged outside the picture: refuse
  // rather than fill the grid with whatever the previous pixel left behind.
  if (texture.image.width < columns + 2 || texture.image.height < rows + 2)
    fatalError("orbTerrain", "Heightmap is smaller than the terrain");
  for (std::int32_t i = 0; i <= columns; ++i) {
    for (std::int32_t j = 0; j <= rows; ++j) {
      std::int32_t pixel[4] = {0, 0, 0, 0};
      getPixel(pixel, texture.image, i + 1, j + 1);
      heights[(rows + 1) * i + j] = static_cast<float>(pixel[1]) / 255.0f * scale;
    }
  }
}

void triangleNormal(const float p1[3], const float p2[3], const float p3[3], float out[3]) {
  const float u[3] = {p1[0] - p2[0], p1[1] - p2[1], p1[2] - p2[2]};
  const float v[3] = {p2[0] - p3[0], p2[1] - p3[1], p2[2] - p3[2]};
  const float n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
  float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (length == 0.0f) length = 1.0f;
  for (int k = 0; k < 3; ++k) out[k] = n[k] / length;
}

void orbTerrain::build() {
  auto point = [this](std::int32_t i, std::int32_t j, float out[3]) {
    out[0] = cellSize * static_cast<float>(i);
    out[1] = height(i, j);
    out[2] = cellSize * static_cast<float>(j);
  };
  auto normalOf = [&point](std::int32_t i1, std::int32_t j1, std::int32_t i2, std::int32_t j2, std::int32_t i3,
                           std::int32_t j3) {
    float a[3], b[3], c[3], n[3];
    point(i1, j1, a);
    point(i2, j2, b);
    point(i3, j3, c);
    triangleNormal(a, b, c, n);
    glNormal3fv(n);
  };
  auto vertex = [&point](std::int32_t i, std::int32_t j) {
    float p[3];
    point(i, j, p);
    glVertex3f(p[0], p[1], p[2]);
  };

  glDeleteLists(listId, 1);
  listId = glGenLists(1);
  glNewList(listId, GL_COMPILE);
  for (std::int32_t s = 0; s < columns; ++s) {
    glBegin(GL_TRIANGLE_STRIP);
    normalOf(s + 1, 0, s, 0, s + 1, 1);
    glTexCoord2f(1.0f, 1.0f);
    vertex(s + 1, 0);
    glTexCoord2f(0.0f, 1.0f);
    vertex(s, 0);
    for (std::int32_t j = 1; j <= rows; ++j) {
      const bool odd = (j % 2) == 1;
      if (j >= 2) normalOf(s + 1, j - 1, s, j - 1, s + 1, j);
      if (odd)
        glTexCoord2f(0.0f, 0.0f);
      else
        glTexCoord2f(1.0f, 1.0f);
      vertex(s + 1, j);
      normalOf(s, j - 1, s, j, s + 1, j);
      if (odd)
        glTexCoord2f(1.0f, 0.0f);
      else
        glTexCoord2f(0.0f, 1.0f);
      vertex(s, j);
    }
    glEnd();
  }
  glEndList();
}
