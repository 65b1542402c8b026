// Where the scenes put things: for every scene at two times, a few key
// vertices of the feedback stream (window position, depth, texture
// coordinate, colour) against values worked out here from the scene
// descriptions; the page tables of the text vortex read back by colour; and
// one table of fingerprints of the whole feedback stream, so that any silent
// change of a scene's drawing shows.
#include <GL/gl.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/shared.h"
#include "engine/state.h"
#include "scenes/scene_list.h"
#include "scenes/scenes.h"
#include "tests/scenes_b/projection.h"
#include "tests/scenes_b/scene_fixture.h"
#include "tests/support/gl_context.h"

namespace {

using namespace scenetest;
using geometry::Mat;
using geometry::rotate;
using geometry::sinDeg;
using geometry::translate;
using rendertest::FeedbackItem;

// One vertex the scene must send: its model-space position under a full
// transform (projection × view × model), and optionally its texture
// coordinate and colour.
struct Key {
  Mat transform;
  geometry::Vec at;
  double s = NAN, t = NAN;                 // NAN: not checked
  std::array<double, 4> colour{NAN, 0, 0, 0};  // NAN first: not checked
};

Key key(const Mat& m, geometry::Vec at, double s, double t) { return {m, at, s, t, {NAN, 0, 0, 0}}; }
Key key(const Mat& m, geometry::Vec at, double s, double t, std::array<double, 4> colour) {
  return {m, at, s, t, colour};
}

// Each key inside the view volume must match some polygon vertex; keys the
// view clips away are skipped. Returns how many were checked.
int expectKeys(const std::vector<FeedbackItem>& polygons, const std::vector<Key>& keys, const std::string& what) {
  int checked = 0;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    const Key& key = keys[k];
    const geometry::WindowPoint p = geometry::toWindow(key.transform, key.at);
    if (!(p.x > 1 && p.x < W - 1 && p.y > 1 && p.y < H - 1 && p.z > 0 && p.z < 1)) continue;
    ++checked;
    double nearest = 1e9;
    bool found = false;
    for (const FeedbackItem& polygon : polygons)
      for (const auto& v : polygon.vertices) {
        const double d = std::hypot(v.x - p.x, v.y - p.y);
        nearest = std::min(nearest, d);
        if (d > 0.02 || std::fabs(v.z - p.z) > 2e-5) continue;
        if (!std::isnan(key.s) && (std::fabs(v.texture[0] - key.s) > 2e-4 || std::fabs(v.texture[1] - key.t) > 2e-4))
          continue;
        if (!std::isnan(key.colour[0])) {
          bool same = true;
          for (int c = 0; c < 4; ++c) same = same && std::fabs(v.color[c] - key.colour[c]) < 2e-3;
          if (!same) continue;
        }
        found = true;
      }
    EXPECT_TRUE(found) << what << ", key " << k << ": no vertex at window (" << p.x << ", " << p.y << ", " << p.z
                       << "); nearest is " << nearest << " px away";
  }
  return checked;
}

const Mat kFrameProjection = geometry::perspective(45, 800.0 / 600.0, 0.1, 100);
const Mat kDefaultCamera = geometry::camera({0, 0, 0}, {0, 0, -1});

void loadProjection(const Mat& m) {
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixd(m.data());
  glMatrixMode(GL_MODELVIEW);
}

// Particle records the scenes fill at random, set to fixed values in view
// so positions can be worked out and fingerprints repeat.
void fixRecords(int scene, std::int32_t t) {
  if (scene == 4) particles1[1].x = 20.0f;  // the tilt
  if (scene != 5 && scene != 7 && scene != 8 && scene != 9) return;
  for (int i = 1; i <= 200; ++i) {
    ParticleRecord& p = particles1[i];
    const auto a = static_cast<float>(i % 10), b = static_cast<float>(i % 7), c = static_cast<float>(i % 5);
    if (scene == 7) {  // flakes in front of the eye
      p.x = a / 5 - 1, p.y = b / 5 - 0.6f, p.z = -8 - c;
    } else if (scene == 9) {  // billboards over the terrain
      p.x = static_cast<float>(i * 7 % 30), p.y = 2 + c, p.z = static_cast<float>(i * 11 % 30);
    } else {  // specks and stars
      p.x = a * 2, p.y = b * 2, p.z = -8 + a * 0.7f;
    }
    p.value = static_cast<float>(i * 17 % 100) / 100.0f;
    p.birthTime = t - i * 53 % 4000;
  }
}

// The frame at t: set-up, fixed records, then what render sends.
std::vector<FeedbackItem> renderAt(int scene, std::int32_t t, float s, const Mat* projection = nullptr) {
  const SceneProcedures& procs = sceneProcedures()[static_cast<std::size_t>(scene - 1)];
  beginFrame(t, s);
  activeScene() = 0;
  procs.enterProc();
  fixRecords(scene, t);
  if (projection) loadProjection(*projection);
  glTexCoord4f(0, 0, 0, 1);
  glColor4f(1, 1, 1, 1);
  return rendertest::captureFeedback(procs.renderProc);
}

class SceneGeometry : public SceneTest {
 protected:
  void check(int scene, std::int32_t t, float s, const std::function<std::vector<Key>()>& keys,
             const Mat* projection = nullptr) {
    const auto polygons = rendertest::polygonsOf(renderAt(scene, t, s, projection));
    const int checked = expectKeys(polygons, keys(), "Scene" + std::to_string(scene) + " at " + std::to_string(t));
    EXPECT_GE(checked, 2) << "Scene" << scene << " at " << t << ": too few keys in view";
  }
};

constexpr std::array<double, 4> kWhite{1, 1, 1, 1};

TEST_F(SceneGeometry, Scene01LogoFliesInOnItsSinePath) {
  for (std::int32_t t : {1000, 3800}) {
    check(1, t, 0, [&] {
      const double a = sinDeg(0.02 * t), cx = 19 * a - 19, cz = 100 * a - 100;
      const Mat loading = kFrameProjection * translate(0, -0.3, -4);
      return std::vector<Key>{key(kFrameProjection, {cx - 0.5, -0.5, cz}, 0, 1, kWhite),
                              key(kFrameProjection, {cx + 0.5, 0.5, cz}, 1, 0, kWhite),
                              key(loading, {-1, -1, 0}, 0, 1), key(loading, {1, 1, 0}, 1, 0)};
    });
  }
}

TEST_F(SceneGeometry, Scenes02And03PagesComeForwardWithTheMusic) {
  for (auto [scene, t, k] : {std::tuple{2, 9200, 5.0}, std::tuple{3, 30300, 2.0}}) {
    check(scene, t, 0.2f, [&] {
      const double pz = k * 0.2 - 3;
      return std::vector<Key>{key(kFrameProjection, {0.001, -0.8, pz}, 1, 1, kWhite),
                              key(kFrameProjection, {0.001, 0.8, pz}, 1, 0, kWhite),
                              key(kFrameProjection, {-0.001, 0.8, pz}, 0, 0, kWhite),
                              key(kFrameProjection, {-0.001, -0.8, pz}, 0, 1, kWhite)};
    });
  }
}

TEST_F(SceneGeometry, Scene04StarRotationsAccumulateAfterTheTilt) {
  for (std::int32_t t : {52000, 57500}) {
    check(4, t, 0.2f, [&] {
      const Mat view = geometry::camera({0, 0, -3}, {0, 0, 0});
      Mat m = rotate(20, 1, 0, 0);  // record 1's tilt
      std::vector<Key> keys;
      for (int i = 1; i <= 4; ++i) {
        m = m * rotate(std::sin(t / 4000.0) * i / 5, 1, 0, 0) * rotate(std::sin(t / 2000.0) * i / 5, 0, 1, 0) *
            rotate(std::sin(t / 3000.0) * i / 5, 0, 0, 1);
        const double h = i / 6.0;
        keys.push_back(key(view * m, {-h, -h, 0}, 0, 1, {1, 1, 1, 0.4}));
        keys.push_back(key(view * m, {h, h, 0}, 1, 0, {1, 1, 1, 0.4}));
      }
      // The hands, mirrored in x, at depth s − 1.
      keys.push_back(key(view, {-0.4, -0.4, -0.8}, 1, 1, {0, 0, 0, 1}));
      keys.push_back(key(view, {0.4, 0.4, -0.8}, 0, 0, {0, 0, 0, 1}));
      return keys;
    });
  }
}

TEST_F(SceneGeometry, Scene05SheetWavesUnderTheSwingingCamera) {
  for (std::int32_t t : {88000, 100800}) {
    check(5, t, 0, [&] {
      const Mat view = geometry::camera({4 * std::sin(t / 400.0) + 4, 4, 12 * std::sin((t - 3000) / 1400.0) + 1},
                                        {4, 3.5, 0});
      const Mat m = view * rotate(15 * std::sin(t / 3500.0), 0, 0, 1) * rotate(5 * std::sin(t / 3200.0), 1, 0, 0);
      auto rad = [](double x) { return x * geometry::kPi / 180; };
      std::vector<Key> keys;
      for (auto [i, j] : {std::pair{40, 40}, std::pair{12, 70}, std::pair{75, 8}}) {
        const double rowZ = sinDeg(t / 80.0 + 80 * j) + sinDeg(j / 80.0 + t / 80.0) +
                            std::sin(rad(j / 80.0 + t / 80.0) / 200) / 8000;
        const double colZ = 2 * sinDeg(i / 80.0 + t / 80.0) + std::sin(rad(i / 80.0 + t / 80.0) / 200) / 8000;
        keys.push_back(key(m, {0.1 * i - 0.04, 0.1 * j - 0.05, rowZ}, (i - 1) / 80.0, j / 80.0, kWhite));
        keys.push_back(key(m, {0.1 * i + 0.05, 0.1 * j - 0.04, rowZ + colZ}, i / 80.0, j / 80.0, kWhite));
        keys.push_back(key(m, {0.1 * i + 0.04, 0.1 * j + 0.05, rowZ + colZ}, i / 80.0, (j - 1) / 80.0, kWhite));
      }
      return keys;
    });
  }
}

TEST_F(SceneGeometry, Scene06RingsFollowTheirLissajousPaths) {
  for (std::int32_t t : {38000, 44000}) {
    check(6, t, 0.1f, [&] {
      const Mat& P = kFrameProjection;
      const Mat spin = rotate(t / 300.0, 0, 0, 1);
      const Mat ringA = P * rotate(t / 50.0, 0, 0, 1) * rotate(45 * 3, 0, 0, 1) *
                        translate(std::sin(t / 800.0), 0, -4) * translate(0, std::sin((t - 2000) / 700.0), 0) * spin;
      const Mat ringB = P * rotate(-170 * std::sin(t / 1000.0), 0, 0, 1) * rotate(-45, 0, 0, 1) *
                        rotate(-45 * 2, 0, 0, 1) * translate(-std::sin((t + 1000) / 800.0), 0, -4) *
                        translate(0, -std::sin((t + 3000) / 600.0) * std::sin((t + 1000) / 800.0),
                                  std::sin((t + 1500) / 650.0)) *
                        spin;
      const Mat ringC = P * rotate(-170 * std::sin(t / 1000.0), 0, 0, 1) * rotate(-45, 0, 0, 1) *
                        rotate(-45 * 5, 0, 0, 1) *
                        translate(-std::sin((t + 1000) / 500.0) * std::cos((t + 1000) / 800.0), 0, -4) *
                        translate(0, -std::sin((t + 3000) / 900.0) * std::cos((t + 1000) / 750.0),
                                  2 * std::sin((t + 1500) / 650.0)) *
                        spin;
      const Mat centre = P * rotate(t / 50.0, 0, 0, 1);
      return std::vector<Key>{key(centre, {-0.3, -0.3, 0.1 - 4}, 0, 1, {1, 1, 1, 0.8}),
                              key(centre, {0.3, 0.3, 0.1 - 4}, 1, 0, {1, 1, 1, 0.8}),
                              key(ringA, {-0.2, -0.2, 0}, 0, 1, kWhite),
                              key(ringA, {0.2, 0.2, 0}, 1, 0, kWhite),
                              key(ringB, {-0.12, -0.12, 0}, 0, 1, kWhite),
                              key(ringB, {0.12, 0.12, 0}, 1, 0, kWhite),
                              key(ringC, {-0.12, -0.12, 0}, 0, 1, kWhite),
                              key(ringC, {0.12, 0.12, 0}, 1, 0, kWhite)};
    });
  }
}

TEST_F(SceneGeometry, Scene07FlakesAndShadowsStandAtTheirRecords) {
  for (std::int32_t t : {128000, 136000}) {
    check(7, t, 0, [&] {
      std::vector<Key> keys;
      for (int i : {1, 7, 20}) {
        const ParticleRecord& p = particles1[i];
        keys.push_back(key(kFrameProjection, {p.x - 0.3, p.y - 0.2, p.z}, 0, 1, kWhite));
        keys.push_back(key(kFrameProjection, {p.x + 0.3, p.y + 0.2, p.z}, 1, 0, kWhite));
        keys.push_back(key(kFrameProjection, {p.x + 0.5, p.y - 0.3, p.z - 0.1}, 1, 1, {0, 0, 0, 0.5}));
      }
      return keys;
    });
  }
}

TEST_F(SceneGeometry, Scene08VortexLayersTurnTogetherAndFade) {
  // A wide lens, so the outer layers are not clipped (the scene keeps the
  // frame's projection).
  const Mat wide = geometry::perspective(120, 4.0 / 3.0, 0.1, 100);
  for (std::int32_t t : {70700, 74400}) {
    check(
        8, t, 0.1f,
        [&] {
          Mat m = wide * translate(0, 0, -3);
          std::vector<Key> keys;
          for (int i = 1; i <= 10; ++i) {
            m = m * rotate(t / 200.0 + i, 0, 0, 1);
            const double h = 1.4 + 0.1 * i, alpha = i == 1 ? 0.5 : 0.2 - (i - 1) / 100.0;
            if (i == 1 || i == 4 || i == 10) {
              keys.push_back(key(m, {-h, -h, 0}, 0, 0, {0, 0, 0, alpha}));
              keys.push_back(key(m, {h, h, 0}, 1, 1, {0, 0, 0, alpha}));
            }
          }
          keys.push_back(key(wide, {-1.6, -0.8, 0.2 - 3}, 0, 1, kWhite));
          keys.push_back(key(wide, {1.6, 0.8, 0.2 - 3}, 1, 0, kWhite));
          return keys;
        },
        &wide);
  }
}

TEST_F(SceneGeometry, Scene09CameraCirclesTheTerrain) {
  for (std::int32_t t : {145000, 152000}) {
    check(9, t, 0, [&] {
      const Mat view = geometry::camera(
          {14 * std::sin(t / 10000.0) + 14.5, 3, 14 * std::cos(t / 10000.0) + 14.5}, {15, 4, 17});
      std::vector<Key> keys;
      for (int i = 1; i <= 200; i += 9) {
        const ParticleRecord& p = particles1[i];
        keys.push_back(key(view, {p.x - 0.2, p.y - 0.2, p.z}, 0, 1, kWhite));
        keys.push_back(key(view, {p.x, p.y + 0.2, p.z + 0.2}, 1, 0, kWhite));
      }
      const double ty = (t - 142683) / 4000.0 - 1.6;
      keys.push_back(key(kDefaultCamera, {0.6, 0.6 + ty, -2}, 1, 0, kWhite));
      keys.push_back(key(kDefaultCamera, {-0.6, -0.6 + ty, -2}, 0, 1, kWhite));
      return keys;
    });
  }
}

TEST_F(SceneGeometry, Scene10CorridorAndPillarsUnderTheSwayingCamera) {
  allowGLErrors = true;  // the light's spot cut-off of 100, which GL refuses
  for (std::int32_t t : {61500, 62600}) {  // looking down the corridor
    check(10, t, 0.05f, [&] {
      const Mat view = geometry::camera({-2.05, -0.2, -1}, {0, 0, 1.8 * sinDeg((t + 7000) / 40.0) - 2});
      std::vector<Key> keys;
      for (int i = 2; i <= 12; i += 2) {  // wall corners along the corridor
        keys.push_back({view, {0.1, 1, 2.0 - i}});
        keys.push_back({view, {0.1, -1, 1.0 - i}});
      }
      for (int i = 18; i <= 28; i += 2) {  // pillar fronts, at z = i − 30 after the set-up
        keys.push_back(key(view, {-0.1, -1, i - 30 + 0.2}, 0, 0));
        keys.push_back(key(view, {0.1, 1, i - 30 + 0.2}, 1, 1));
      }
      return keys;
    });
  }
}

// The star grid's tumbling sheet, as Scenes 11 … 13 share it.
Mat sheetTransform(double t) {
  return kDefaultCamera * translate(0, 0, -6.8) * rotate(sinDeg(t / 50), 1, 0.6, 0.2) *
         rotate(t / 2000 * std::sin(t / 1000), 0, 0, 1) * rotate(-15 * std::sin(t / 1500), 0, 0, 1) *
         rotate(-15 * std::sin(t / 1600), 1, 0, 0);
}

// Upper-layer first corner and lower-layer third corner of tile (i, j) with
// the finale's beat counter k (0 for Scenes 11 and 12).
void sheetKeys(std::vector<Key>& keys, double t, int i, int j, int k) {
  const Mat m = sheetTransform(t);
  const double sA = std::fabs(t / 1000 + (i - 1) / 20.0);
  const double sB = std::fabs(t / 1000 + i / 20.0) * (k ? k : 1);
  const double rA = std::fabs(t / 1000 + (k ? k : 1) * j / 20.0), rB = std::fabs(t / 1000 + (j - 1) / 20.0);
  const double zA = sinDeg(4.5 * j + t / 10), zB = sinDeg(4.5 * (j - 1) + t / 10);
  const double cx = i / 2.5, cy = j / 2.5, grey[4] = {0.8, 0.8, 0.8, 0.5};
  const std::array<double, 4> colour{grey[0], grey[1], grey[2], grey[3]};
  keys.push_back(key(m, {cx - 0.2 - k / 10.0, cy - 0.2, zA + 0.1}, sA, rA, colour));
  keys.push_back(key(m, {cx + 0.2, cy + 0.2, zB}, sB, rB, colour));
}

TEST_F(SceneGeometry, Scene11SheetRipplesAndScrolls) {
  for (std::int32_t t : {33500, 34200}) {
    check(11, t, 0, [&] {
      std::vector<Key> keys;
      sheetKeys(keys, t, 0, 0, 0);
      sheetKeys(keys, t, 3, -2, 0);
      sheetKeys(keys, t, -4, 5, 0);
      return keys;
    });
  }
}

TEST_F(SceneGeometry, Scene12ItemsArriveHoldAndLeave) {
  const double s = 0.1;
  for (std::int32_t t : {166500, 177600}) {
    check(12, t, static_cast<float>(s), [&] {
      auto place = [&](double arrive, double leave) {
        Mat m = kDefaultCamera;
        if (t < arrive) m = m * translate(0, 0, -(arrive - t) / 20);
        if (leave > 0 && t > leave) m = m * translate(0, 0, (t - leave) / 200);
        return m;
      };
      std::vector<Key> keys;
      const Mat star1 = place(159954, 175282) * rotate(t / 100.0, 0, 0, 1);
      keys.push_back(key(star1, {-1.6, -0.6, s - 4}, 0, 1, kWhite));
      keys.push_back(key(star1, {-0.4, 0.6, s - 4}, 1, 0, kWhite));
      const Mat star3 = place(163786, 0) * rotate(t / 100.0, 0, 0, 1);
      keys.push_back(key(star3, {1, 0.3, s - 4}, 0, 1, kWhite));  // mirrored: corners right to left
      keys.push_back(key(place(161870, 177198), {-2, 0.6, -4}, 0, 1, kWhite));
      keys.push_back(key(place(165702, 179114), {-1.6, -0.2, -4}, 0, 1, kWhite));
      keys.push_back(key(place(167618, 181030), {1.3, 1, -4}, 1, 0, kWhite));
      keys.push_back(key(place(173366, 186778), {-0.1, -1.5, -4}, 0, 1, kWhite));
      sheetKeys(keys, t, 1, 1, 0);
      return keys;
    });
  }
}

TEST_F(SceneGeometry, Scene13StretchesOnTheBeatAndTheStarRushesIn) {
  const double s = 0.1;
  for (std::int32_t t : {192500, 195100}) {
    check(13, t, static_cast<float>(s), [&] {
      const int k = (t - 188694) / 458;
      const double m = k / 6.0, sz = s - 4;
      const Mat star = kDefaultCamera * rotate(t / 100.0, 0, 0, 1);
      std::vector<Key> keys;
      keys.push_back(key(star, {1 + m, 0.3 + m, sz}, 0, 1, kWhite));
      keys.push_back(key(star, {-0.2 - m, -0.9 - m, sz}, 1, 0, kWhite));
      sheetKeys(keys, t, 0, 0, k);
      sheetKeys(keys, t, 2, 1, k);
      return keys;
    });
  }
}

// Each page texture of the text vortex replaced by a flat colour of its own,
// so the pixel in the middle of a page tells which texture it shows.
struct PageRow {
  tex::Slot texture;
  std::int32_t after, before;
};
std::uint32_t flatColour(tex::Slot slot) {
  const auto n = static_cast<std::uint32_t>(slot);
  return ((40 + n * 3) & 0xFFu) << 24 | ((250 - n * 3) & 0xFFu) << 16 | (n * 37 & 0xFFu) << 8 | 0xFFu;
}
void paintFlat(tex::Slot slot) {
  const std::uint32_t c = flatColour(slot);
  const GLubyte pixel[4] = {static_cast<GLubyte>(c >> 24), static_cast<GLubyte>(c >> 16), static_cast<GLubyte>(c >> 8),
                            255};
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(nameOf(slot)));
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
}

TEST_F(SceneGeometry, Scene08PagesFollowTheirTablesRowByRow) {
  const std::vector<PageRow> left{{tex::text3_1, 68245, 68703}, {tex::Text3_2, 68703, 71909},
                                  {tex::Text3_3, 71909, 72367}, {tex::Text3_4, 72367, 72825},
                                  {tex::Text3_5, 72825, 75500}, {tex::Text3_6, 75500, 79351},
                                  {tex::Text3_7, 79351, 81255}};
  const std::vector<PageRow> right{{tex::Text4_1, 69161, 69619}, {tex::Text4_2, 69619, 72825},
                                   {tex::Text4_3, 72825, 73283}, {tex::Text4_4, 73283, 75500},
                                   {tex::Text4_5, 75500, 79351}, {tex::Text4_6, 79351, 81255}};
  for (const auto* table : {&left, &right})
    for (const PageRow& row : *table) paintFlat(row.texture);
  glDisable(GL_SCISSOR_TEST);
  // The middle of each page at depth −3 under the frame's projection.
  const int leftX = static_cast<int>(geometry::toWindow(kFrameProjection, {-0.8, 0, -3}).x);
  const int rightX = static_cast<int>(geometry::toWindow(kFrameProjection, {0.8, 0, -3}).x);
  auto showing = [](const std::vector<PageRow>& table, std::int32_t t) -> const PageRow* {
    for (const PageRow& row : table)
      if (row.after < t && t < row.before) return &row;
    return nullptr;
  };
  std::vector<std::int32_t> times;
  for (const auto* table : {&left, &right})
    for (const PageRow& row : *table) times.push_back(row.after + (row.before - row.after) / 2);
  for (std::int32_t t : times) {
    beginFrame(t, 0);
    activeScene() = 0;
    scene08Enter();
    scene08Render();
    const PageRow* l = showing(left, t);
    const PageRow* r = showing(right, t);
    ASSERT_NE(l, nullptr) << t;
    EXPECT_EQ(testsupport::readPixelRGBA(leftX, H / 2), flatColour(l->texture)) << "left page at " << t;
    if (t > 69161) {
      // A right page without a window shows the left page's texture.
      EXPECT_EQ(testsupport::readPixelRGBA(rightX, H / 2), flatColour(r ? r->texture : l->texture))
          << "right page at " << t;
    }
  }
}

// FNV-1a over the feedback stream with every number rounded: positions to
// 1/64 pixel, depth to 1e-6, colours and texture coordinates to 1/4096.
std::uint64_t fingerprint(const std::vector<FeedbackItem>& items, bool skipSpinBlur) {
  std::uint64_t h = 1469598103934665603ull;
  auto mix = [&](double v, double scale) {
    const auto q = static_cast<std::int64_t>(std::llround(v * scale));
    for (int b = 0; b < 8; ++b) h = (h ^ static_cast<std::uint64_t>((q >> (8 * b)) & 0xFF)) * 1099511628211ull;
  };
  for (const FeedbackItem& item : items) {
    // The spin blur of Scenes 11 … 13 turns with the system clock: its layers
    // (white, opacity at most 0.5) are left out there.
    if (skipSpinBlur && !item.vertices.empty() && item.vertices[0].color[0] == 1.0f &&
        item.vertices[0].color[2] == 1.0f && item.vertices[0].color[3] <= 0.5f)
      continue;
    mix(item.kind, 1);
    mix(static_cast<double>(item.vertices.size()), 1);
    for (const auto& v : item.vertices) {
      mix(v.x, 64), mix(v.y, 64), mix(v.z, 1e6);
      for (float c : v.color) mix(c, 4096);
      for (int k = 0; k < 2; ++k) mix(v.texture[k], 4096);
    }
  }
  return h;
}

TEST_F(SceneGeometry, FingerprintsOfEveryScene) {
  struct Print {
    int scene;
    std::int32_t t;
    std::uint64_t hash;
  };
  // Two frames of every scene (spectrum value 0.1). A change here means the
  // drawing changed: check the frames by eye (scripts/gallery.sh) and update.
  const Print table[] = {
      {1, 1000, 0xbbc5fa8d95713ac5},
      {1, 4250, 0xd72079e996afab58},
      {2, 9200, 0x6ca382b79d783d15},
      {2, 16900, 0x9cead02b3e4e738c},
      {3, 24550, 0x4d555ef2a9eb1c6c},
      {3, 32250, 0x47515732ea4c2857},
      {4, 52000, 0xbef56850537d4f9d},
      {4, 57500, 0xb5547a805103ccad},
      {5, 88000, 0xddcc1b0668392322},
      {5, 121000, 0x2f7b481ceb39a9d8},
      {6, 38000, 0x63e841f9962c3e27},
      {6, 44000, 0xe372fa9411e47066},
      {7, 128000, 0xdc5755f88b0d0349},
      {7, 142400, 0xaedaff90167fd1a0},
      {8, 68474, 0x19d8d0356d2d3daf},
      {8, 77400, 0x5eea40ff8288fae9},
      {9, 145000, 0xa5bdcb4e041b8ba7},
      {9, 156000, 0x060e3a8802d2ff1b},
      {10, 61500, 0x001b696e52d9c28f},
      {10, 66000, 0x133cdbb7b5b50a1c},
      {11, 33500, 0x35b5a24ddc6fd5fd},
      {11, 34200, 0xc012fb5189615dde},
      {12, 166500, 0xd4ebeeeba4a065da},
      {12, 177600, 0x0423c6b9e7e9beb9},
      {13, 192500, 0x47de067579c28799},
      {13, 196500, 0x879a9492dc3c9009},
  };
  allowGLErrors = true;  // Scene10's spot cut-off
  std::string update;
  for (const Print& p : table) {
    const std::uint64_t hash = fingerprint(renderAt(p.scene, p.t, 0.1f), p.scene >= 11);
    char line[80];
    std::snprintf(line, sizeof line, "{%d, %" PRId32 ", 0x%016" PRIx64 "},\n", p.scene, p.t, hash);
    update += line;
    EXPECT_EQ(hash, p.hash) << "Scene" << p.scene << " at " << p.t;
  }
  if (HasFailure()) std::printf("fingerprints as drawn now:\n%s", update.c_str());
}

}  // namespace
