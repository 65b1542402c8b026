// Scene05: a waving sheet of 80 × 80 tiles showing the flower and then, one
// after another, the greeting pictures, under a swinging camera, over a dark
// tiled flower backdrop, with 200 white specks in space (particle records
// 1 … 200, positions only).
#include <GL/gl.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/state.h"
#include "engine/timeline.h"
#include "scenes/common.h"
#include "scenes/scene_list.h"

namespace {

constexpr std::int32_t marker = 50;
constexpr std::int32_t markerSecondHalf = 51;
constexpr int speckCount = 200;
constexpr int tilesPerSide = 80;

// The sheet's picture while after < t < before.
struct SheetWindow {
  tex::Slot texture;
  std::int32_t after;
  std::int32_t before;
};

constexpr std::int32_t noLimitBelow = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t noLimitAbove = std::numeric_limits<std::int32_t>::max();

constexpr std::array<SheetWindow, 10> sheetPictures{{
    {tex::flower1, noLimitBelow, 86601},
    {tex::greets_greets, 86600, 90801},
    {tex::greets_g1, 90800, 95501},
    {tex::greets_g6, 95500, 99501},
    {tex::greets_g3, 99500, 104301},
    {tex::greets_g4, 104300, 108001},
    {tex::greets_g5, 108000, 113001},
    {tex::greets_g7, 113000, 117001},
    {tex::greets_g2, 117000, 121501},
    {tex::greets_voltra, 121500, noLimitAbove},
}};

double sinDeg(double x) { return std::sin(degToRad(x)); }

void corner(double u, double v, double x, double y, double z) {
  glTexCoord2d(u, v);
  glVertex3f(static_cast<GLfloat>(x), static_cast<GLfloat>(y), static_cast<GLfloat>(z));
}

// One glBegin for all 6400 tiles: slightly skewed squares of about 0.09
// units, so thin gaps show between them; the texture spreads once over all.
void drawSheet(double t) {
  glBegin(GL_QUADS);
  for (int j = 1; j <= tilesPerSide; ++j) {
    const double jw = j / 80.0 + t / 80.0;
    const double rowZ = sinDeg(t / 80.0 + 80 * j) + sinDeg(jw) + std::sin(degToRad(jw) / 200.0) / 8000.0;
    const double v0 = (j - 1) / 80.0, v1 = j / 80.0;
    for (int i = 1; i <= tilesPerSide; ++i) {
      const double iw = i / 80.0 + t / 80.0;
      const double colZ = 2.0 * sinDeg(iw) + std::sin(degToRad(iw) / 200.0) / 8000.0;
      const double u0 = (i - 1) / 80.0, u1 = i / 80.0;
      corner(u0, v1, 0.1 * i - 0.04, 0.1 * j - 0.05, rowZ);
      corner(u1, v1, 0.1 * i + 0.05, 0.1 * j - 0.04, rowZ + colZ);
      corner(u1, v0, 0.1 * i + 0.04, 0.1 * j + 0.05, rowZ + colZ);
      corner(u0, v0, 0.1 * i - 0.05, 0.1 * j + 0.04, rowZ);
    }
  }
  glEnd();
}

void drawSpecks() {
  glBegin(GL_QUADS);
  for (int i = 1; i <= speckCount; ++i) {
    const ParticleRecord& p = particles1[static_cast<std::size_t>(i)];
    glVertex3f(p.x - 0.04f, p.y - 0.05f, p.z);
    glVertex3f(p.x + 0.05f, p.y - 0.04f, p.z);
    glVertex3f(p.x + 0.04f, p.y + 0.05f, p.z);
    glVertex3f(p.x - 0.05f, p.y + 0.04f, p.z);
  }
  glEnd();
}

}  // namespace

void scene05Enter() {
  if (scene::alreadyEntered(marker)) return;
  scene::standardSetup(true, 0.3f, 0.0f, 0.0f);
  // Specks fill the box [0, 20) × [0, 20) × [-10, 10).
  for (int i = 1; i <= speckCount; ++i) {
    ParticleRecord& p = particles1[static_cast<std::size_t>(i)];
    p.x = static_cast<float>(scene::random(200) / 10.0);
    p.y = static_cast<float>(scene::random(200) / 10.0);
    p.z = static_cast<float>((scene::random(200) - 100) / 10.0);
  }
}

// Leaves: GL_BLEND and GL_TEXTURE_2D off, GL_DEPTH_TEST on, blend function
// (SRC_ALPHA, ONE_MINUS_SRC_ALPHA), colour white, the sheet's transform on
// the model-view matrix, the camera's projection loaded.
void scene05Render() {
  const double t = scene::t();
  scene::drawTiledBackdrop(tex::flower1, 20, scene::s() + 0.1);
  scene::drawSprite(tex::flower1, 640.0, 40.0, 300.0, -99.0, 0.0, 0.0, 0.0, 0.5, 90.0 * std::sin(t / 20000.0));

  camera.setView(static_cast<float>(4.0 * std::sin(t / 400.0) + 4.0), 4.0f,
                 static_cast<float>(12.0 * std::sin((t - 3000.0) / 1400.0) + 1.0), 4.0f, 3.5f, 0.0f, 0.0f, 1.0f,
                 0.0f);
  camera.apply();

  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_2D);
  // Outside every window nothing is bound and the last bound texture stays.
  for (const SheetWindow& window : sheetPictures) {
    if (window.after < currentTime && currentTime < window.before) {
      bindTexture(window.texture);
      break;
    }
  }

  glLoadIdentity();
  glRotatef(static_cast<GLfloat>(15.0 * std::sin(t / 3500.0)), 0.0f, 0.0f, 1.0f);
  glRotatef(static_cast<GLfloat>(5.0 * std::sin(t / 3200.0)), 1.0f, 0.0f, 0.0f);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  drawSheet(t);
  glDisable(GL_TEXTURE_2D);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  drawSpecks();

  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

// The marker follows a 2000 ms sine: a 51 stored while the scene is still in
// its first 101 ms makes the next enter run the set-up again.
void scene05Update() {
  orbTimeline* timeline = timelineEntry(1);
  if (!timeline) return;
  timeline->activeScene = std::sin(scene::t() / 2000.0) > 0.0 ? markerSecondHalf : marker;
}
