// The terrain against real GL: heights from the picture, and the display
// list's strips, texture coordinates and normals seen through feedback mode.
// Normals are made visible by lighting: six directional lights, one per axis
// direction and colour channel, turn each vertex's normal into its colour.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "engine/terrain.h"
#include "engine/texture.h"
#include "tests/render/render_test_support.h"
#include "tests/support/gl_context.h"

namespace {

// A picture held only in memory: green carries the height.
orbTexture heightPicture(int width, int height, std::uint32_t seed) {
  orbTexture texture;
  texture.image.width = width;
  texture.image.height = height;
  texture.image.components = 3;
  texture.image.pixels.resize(static_cast<std::size_t>(width) * height * 4);
  std::mt19937 random(seed);
  for (std::uint8_t& byte : texture.image.pixels) byte = static_cast<std::uint8_t>(random());
  return texture;
}

struct Vec3 {
  double x, y, z;
};

Vec3 expectedNormal(const orbTerrain& terrain, int i1, int j1, int i2, int j2, int i3, int j3) {
  auto p = [&](int i, int j) {
    return Vec3{terrain.cellSize * i, terrain.heights[(terrain.rows + 1) * i + j], terrain.cellSize * j};
  };
  const Vec3 a = p(i1, j1), b = p(i2, j2), c = p(i3, j3);
  const Vec3 u{a.x - b.x, a.y - b.y, a.z - b.z}, v{b.x - c.x, b.y - c.y, b.z - c.z};
  Vec3 n{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
  double l = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (l == 0) l = 1;
  return {n.x / l, n.y / l, n.z / l};
}

// The normal current at vertex (column, row) of strip s.
Vec3 normalAt(const orbTerrain& t, int s, int column, int row) {
  if (row == 0 || (row == 1 && column == s + 1)) return expectedNormal(t, s + 1, 0, s, 0, s + 1, 1);
  if (column == s + 1) return expectedNormal(t, s + 1, row - 1, s, row - 1, s + 1, row);
  return expectedNormal(t, s, row - 1, s, row, s + 1, row);
}

// Mesa's list compiler joins consecutive strips with zero-area triangles;
// those are the implementation's, not the terrain's.
std::vector<rendertest::FeedbackItem> realTriangles(const std::vector<rendertest::FeedbackItem>& items) {
  std::vector<rendertest::FeedbackItem> triangles;
  for (const auto& polygon : rendertest::polygonsOf(items)) {
    const auto& v = polygon.vertices;
    if (v.size() == 3 && (v[1].x - v[0].x) * (v[2].y - v[0].y) - (v[2].x - v[0].x) * (v[1].y - v[0].y) == 0.0f)
      continue;
    triangles.push_back(polygon);
  }
  return triangles;
}

class TerrainTest : public GLTest {
 protected:
  void TearDown() override {
    glDisable(GL_LIGHTING);
    for (int k = 0; k < 3; ++k) glDisable(GL_LIGHT0 + k);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    GLTest::TearDown();
  }

  // Orthographic view with the grid's x along the window's x and its z along
  // the window's y: no vertex is clipped.
  static void viewGrid() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 31, -1, 31, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(-90, 1, 0, 0);  // grid z to view y, grid y to view -z
  }

  // Lights whose colours give max(0, sign × n) per channel for eye-space n.
  static void lightAxes(double sign) {
    const float black[4] = {0, 0, 0, 1};
    const float white[4] = {1, 1, 1, 1};
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glEnable(GL_LIGHTING);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, black);
    for (int k = 0; k < 3; ++k) {
      const GLenum light = GL_LIGHT0 + k;
      float direction[4] = {0, 0, 0, 0};
      direction[k] = static_cast<float>(sign);
      float colour[4] = {0, 0, 0, 1};
      colour[k] = 1;
      glLightfv(light, GL_POSITION, direction);
      glLightfv(light, GL_AMBIENT, black);
      glLightfv(light, GL_DIFFUSE, colour);
      glLightfv(light, GL_SPECULAR, black);
      glLightf(light, GL_SPOT_CUTOFF, 180);
      glLightf(light, GL_CONSTANT_ATTENUATION, 1);
      glLightf(light, GL_LINEAR_ATTENUATION, 0);
      glLightf(light, GL_QUADRATIC_ATTENUATION, 0);
      glEnable(light);
    }
    glPopMatrix();
  }
};

}  // namespace

TEST(Terrain, CreateHoldsZeroHeights) {
  const orbTerrain terrain = orbTerrain::create(30, 30, 1.0f);
  EXPECT_EQ(terrain.heightCount, 961);
  EXPECT_EQ(terrain.listId, 0u);
  for (int k = 0; k < terrain.heightCount; ++k) EXPECT_EQ(terrain.heights[k], 0.0f);
}

TEST(Terrain, HeightsComeFromGreenStartingAtPixelOneOne) {
  const orbTexture picture = heightPicture(32, 32, 1);
  orbTerrain terrain = orbTerrain::create(30, 30, 1.0f);
  terrain.loadHeights(picture, 3.0f);
  for (int i = 0; i <= 30; ++i) {
    for (int j = 0; j <= 30; ++j) {
      const std::uint8_t green = picture.image.pixels[((j + 1) * 32 + (i + 1)) * 4 + 1];
      ASSERT_FLOAT_EQ(terrain.heights[31 * i + j], green / 255.0f * 3.0f) << i << "," << j;
    }
  }
}

TEST(Terrain, RectangularGridStoresColumnsContiguously) {
  const orbTexture picture = heightPicture(12, 7, 2);
  orbTerrain terrain = orbTerrain::create(4, 9, 2.0f);  // rows 4, columns 9
  terrain.loadHeights(picture, 1.0f);
  EXPECT_EQ(terrain.heightCount, 50);
  const std::uint8_t green = picture.image.pixels[((3 + 1) * 12 + (8 + 1)) * 4 + 1];
  EXPECT_FLOAT_EQ(terrain.height(8, 3), green / 255.0f);
  EXPECT_FLOAT_EQ(terrain.heights[5 * 8 + 3], green / 255.0f);
}

TEST(Terrain, TooSmallHeightmapOrTooLargeGridIsFatal) {
  const orbTexture picture = heightPicture(31, 32, 3);  // one column short of 30 + 2
  orbTerrain terrain = orbTerrain::create(30, 30, 1.0f);
  EXPECT_EXIT(terrain.loadHeights(picture, 3.0f), ::testing::ExitedWithCode(1), "");
  EXPECT_NE(rendertest::readTextFile("error.txt").find("orbTerrain\r\nHeightmap is smaller than the terrain\r\n"),
            std::string::npos);
  EXPECT_EXIT(orbTerrain::create(70, 70, 1.0f), ::testing::ExitedWithCode(1), "");
  EXPECT_NE(rendertest::readTextFile("error.txt").find("Terrain grid is too large"), std::string::npos);
  EXPECT_EXIT(orbTerrain::create(0, 30, 1.0f), ::testing::ExitedWithCode(1), "");
  // 49 × 99 = 4851 points: fits.
  EXPECT_EQ(orbTerrain::create(48, 98, 1.0f).heightCount, 4851);
}

TEST(Terrain, TriangleNormalOfFlatAndDegenerateTriangles) {
  const float a[3] = {1, 0, 0}, b[3] = {0, 0, 0}, c[3] = {1, 0, 1};
  float n[3];
  triangleNormal(a, b, c, n);
  EXPECT_FLOAT_EQ(n[0], 0);
  EXPECT_FLOAT_EQ(n[1], 1);
  EXPECT_FLOAT_EQ(n[2], 0);
  triangleNormal(a, a, a, n);  // length 0: divided by 1
  EXPECT_EQ(n[0], 0);
  EXPECT_EQ(n[1], 0);
  EXPECT_EQ(n[2], 0);
}

TEST_F(TerrainTest, ListHasThirtyStripsWithAlternatingTextureCoordinates) {
  orbTerrain terrain = orbTerrain::create(30, 30, 1.0f);
  terrain.loadHeights(heightPicture(32, 32, 4), 3.0f);
  terrain.build();
  ASSERT_TRUE(glIsList(terrain.listId));
  viewGrid();
  const auto polygons = realTriangles(rendertest::captureFeedback([&] { glCallList(terrain.listId); }));
  // 30 strips of 62 vertices: 60 triangles each.
  ASSERT_EQ(polygons.size(), 30u * 60u);
  std::map<int, int> trianglesPerStrip;
  for (const auto& polygon : polygons) {
    ASSERT_EQ(polygon.vertices.size(), 3u);
    int lowest = 1000;
    // Window x = (gridX + 1) / 32 × 800; window y = (gridZ + 1) / 32 × 600.
    for (const auto& v : polygon.vertices)
      lowest = std::min(lowest, static_cast<int>(std::lround(v.x / 800.0 * 32.0 - 1.0)));
    ++trianglesPerStrip[lowest];
    for (const auto& v : polygon.vertices) {
      const int column = static_cast<int>(std::lround(v.x / 800.0 * 32.0 - 1.0));
      const int row = static_cast<int>(std::lround(v.y / 600.0 * 32.0 - 1.0));
      const bool right = column == lowest + 1;
      float s, t;
      if (row == 0) {
        s = right ? 1.0f : 0.0f;
        t = 1.0f;
      } else if (row % 2 == 1) {
        s = right ? 0.0f : 1.0f;
        t = 0.0f;
      } else {
        s = right ? 1.0f : 0.0f;
        t = 1.0f;
      }
      EXPECT_EQ(v.texture[0], s) << "column " << column << " row " << row;
      EXPECT_EQ(v.texture[1], t) << "column " << column << " row " << row;
    }
  }
  ASSERT_EQ(trianglesPerStrip.size(), 30u);
  for (const auto& [strip, count] : trianglesPerStrip) EXPECT_EQ(count, 60) << "strip " << strip;
}

TEST_F(TerrainTest, EachVertexCarriesTheNormalOfTheTriangleItCompletes) {
  orbTerrain terrain = orbTerrain::create(30, 30, 1.0f);
  terrain.loadHeights(heightPicture(32, 32, 5), 3.0f);
  terrain.build();
  viewGrid();
  // Eye-space normal = grid normal turned by the view's -90° about x:
  // (x, y, z) -> (x, z, -y).
  // (strip, column, row) -> the lit colour per light set; every triangle that
  // holds the vertex must report the same.
  std::map<std::tuple<int, int, int>, Vec3> lit[2];
  for (double sign : {1.0, -1.0}) {
    lightAxes(sign);
    const auto polygons = realTriangles(rendertest::captureFeedback([&] { glCallList(terrain.listId); }));
    ASSERT_EQ(polygons.size(), 1800u);
    for (const auto& polygon : polygons) {
      int lowest = 1000;
      for (const auto& v : polygon.vertices)
        lowest = std::min(lowest, static_cast<int>(std::lround(v.x / 800.0 * 32.0 - 1.0)));
      for (const auto& v : polygon.vertices) {
        const int column = static_cast<int>(std::lround(v.x / 800.0 * 32.0 - 1.0));
        const int row = static_cast<int>(std::lround(v.y / 600.0 * 32.0 - 1.0));
        const Vec3 colour{v.color[0], v.color[1], v.color[2]};
        auto [entry, fresh] = lit[sign > 0 ? 0 : 1].try_emplace({lowest, column, row}, colour);
        if (!fresh) {
          EXPECT_EQ(entry->second.x, colour.x);
          EXPECT_EQ(entry->second.y, colour.y);
          EXPECT_EQ(entry->second.z, colour.z);
        }
      }
    }
  }
  ASSERT_EQ(lit[0].size(), 30u * 62u);
  ASSERT_EQ(lit[1].size(), 30u * 62u);
  for (const auto& [key, positive] : lit[0]) {
    const auto [strip, column, row] = key;
    const Vec3& negative = lit[1][key];
    const Vec3 eye{positive.x - negative.x, positive.y - negative.y, positive.z - negative.z};
    const Vec3 grid = normalAt(terrain, strip, column, row);
    EXPECT_NEAR(eye.x, grid.x, 2e-3) << strip << " " << column << " " << row;
    EXPECT_NEAR(eye.y, grid.z, 2e-3) << strip << " " << column << " " << row;
    EXPECT_NEAR(eye.z, -grid.y, 2e-3) << strip << " " << column << " " << row;
  }
}

TEST_F(TerrainTest, FlatGroundFacesUpAndRebuildReplacesTheList) {
  orbTerrain terrain = orbTerrain::create(30, 30, 1.0f);
  terrain.build();
  const GLuint first = terrain.listId;
  viewGrid();
  lightAxes(-1.0);
  for (const auto& polygon : realTriangles(rendertest::captureFeedback([&] { glCallList(first); }))) {
    for (const auto& v : polygon.vertices) {
      // Grid (0, 1, 0) is eye (0, 0, -1): lit by the -z light only.
      EXPECT_NEAR(v.color[0], 0.0f, 1e-4);
      EXPECT_NEAR(v.color[1], 0.0f, 1e-4);
      EXPECT_NEAR(v.color[2], 1.0f, 1e-4);
    }
  }
  terrain.build();
  EXPECT_TRUE(glIsList(terrain.listId));
  if (terrain.listId != first) {
    EXPECT_FALSE(glIsList(first)) << "the old list was not deleted";
  }
}
