// Quads as the scenes send them: one glBegin(GL_QUADS)/glEnd pair, the
// normal (0, 0, 1) first, each corner preceded by its texture coordinate.
// Neither routine changes any GL state besides the current normal and
// texture coordinate.
#pragma once

#include <GL/gl.h>

namespace scene {

// A picture standing upright: (x0, y0) with texture (0, 1), (x1, y0) with
// (1, 1), (x1, y1) with (1, 0), (x0, y1) with (0, 0), all at depth z.
inline void pictureQuad(double x0, double y0, double x1, double y1, double z) {
  const auto fx0 = static_cast<GLfloat>(x0), fy0 = static_cast<GLfloat>(y0);
  const auto fx1 = static_cast<GLfloat>(x1), fy1 = static_cast<GLfloat>(y1), fz = static_cast<GLfloat>(z);
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glTexCoord2f(0.0f, 1.0f);
  glVertex3f(fx0, fy0, fz);
  glTexCoord2f(1.0f, 1.0f);
  glVertex3f(fx1, fy0, fz);
  glTexCoord2f(1.0f, 0.0f);
  glVertex3f(fx1, fy1, fz);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3f(fx0, fy1, fz);
  glEnd();
}

// An untextured rectangle: (x0, y0), (x1, y0), (x1, y1), (x0, y1) at depth z.
inline void plainQuad(double x0, double y0, double x1, double y1, double z) {
  const auto fx0 = static_cast<GLfloat>(x0), fy0 = static_cast<GLfloat>(y0);
  const auto fx1 = static_cast<GLfloat>(x1), fy1 = static_cast<GLfloat>(y1), fz = static_cast<GLfloat>(z);
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glVertex3f(fx0, fy0, fz);
  glVertex3f(fx1, fy0, fz);
  glVertex3f(fx1, fy1, fz);
  glVertex3f(fx0, fy1, fz);
  glEnd();
}

}  // namespace scene
