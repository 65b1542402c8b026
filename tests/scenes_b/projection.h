// Where a point lands in the 800 × 600 window, worked out in double precision
// from the same recipe the scenes are described by (gluPerspective, gluLookAt,
// glRotate, glTranslate), so the scene tests compare against numbers that do
// not come from the code under test.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

namespace geometry {

// A 4 × 4 matrix, column-major as OpenGL keeps it.
struct Mat {
  std::array<double, 16> v{};
  double& operator[](std::size_t i) { return v[i]; }
  double operator[](std::size_t i) const { return v[i]; }
  const double* data() const { return v.data(); }
};
struct Vec {
  double x, y, z;
};
struct WindowPoint {
  double x, y, z;  // pixels from the lower-left corner; depth 0 … 1
};

inline constexpr double kPi = 3.14159265358979323846;

inline Mat identity() { return {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}; }

inline Mat operator*(const Mat& a, const Mat& b) {
  Mat m{};
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r)
      for (int k = 0; k < 4; ++k)
        m[static_cast<std::size_t>(c * 4 + r)] += a[static_cast<std::size_t>(k * 4 + r)] * b[static_cast<std::size_t>(c * 4 + k)];
  return m;
}

inline Mat translate(double x, double y, double z) {
  Mat m = identity();
  m[12] = x, m[13] = y, m[14] = z;
  return m;
}

// glRotate: degrees about an axis that need not be unit length.
inline Mat rotate(double degrees, double x, double y, double z) {
  const double len = std::sqrt(x * x + y * y + z * z);
  x /= len, y /= len, z /= len;
  const double c = std::cos(degrees * kPi / 180), s = std::sin(degrees * kPi / 180), k = 1 - c;
  return {{x * x * k + c, y * x * k + z * s, x * z * k - y * s, 0,  //
           x * y * k - z * s, y * y * k + c, y * z * k + x * s, 0,  //
           x * z * k + y * s, y * z * k - x * s, z * z * k + c, 0,  //
           0, 0, 0, 1}};
}

inline Mat perspective(double fovyDegrees, double aspect, double zNear, double zFar) {
  const double f = 1 / std::tan(fovyDegrees * kPi / 360);
  Mat m{};
  m[0] = f / aspect, m[5] = f;
  m[10] = (zFar + zNear) / (zNear - zFar), m[11] = -1;
  m[14] = 2 * zFar * zNear / (zNear - zFar);
  return m;
}

inline Mat ortho(double l, double r, double b, double t, double n, double f) {
  Mat m = identity();
  m[0] = 2 / (r - l), m[5] = 2 / (t - b), m[10] = -2 / (f - n);
  m[12] = -(r + l) / (r - l), m[13] = -(t + b) / (t - b), m[14] = -(f + n) / (f - n);
  return m;
}

inline Mat lookAt(Vec eye, Vec centre, Vec up) {
  auto norm = [](Vec v) {
    const double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return Vec{v.x / l, v.y / l, v.z / l};
  };
  auto cross = [](Vec a, Vec b) { return Vec{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; };
  const Vec f = norm({centre.x - eye.x, centre.y - eye.y, centre.z - eye.z});
  const Vec s = norm(cross(f, up));
  const Vec u = cross(s, f);
  Mat m = identity();
  m[0] = s.x, m[4] = s.y, m[8] = s.z;
  m[1] = u.x, m[5] = u.y, m[9] = u.z;
  m[2] = -f.x, m[6] = -f.y, m[10] = -f.z;
  return m * translate(-eye.x, -eye.y, -eye.z);
}

// The camera as the scenes apply it: 45°, aspect 4/3, near 0.1, far 100.
inline Mat camera(Vec eye, Vec centre, Vec up = {0, 1, 0}) {
  return perspective(45, 4.0 / 3.0, 0.1, 100) * lookAt(eye, centre, up);
}

inline WindowPoint toWindow(const Mat& m, Vec p, double width = 800, double height = 600) {
  const double x = m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12];
  const double y = m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13];
  const double z = m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14];
  const double w = m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15];
  return {(x / w + 1) / 2 * width, (y / w + 1) / 2 * height, (z / w + 1) / 2};
}

inline double sinDeg(double x) { return std::sin(x * kPi / 180); }

}  // namespace geometry
