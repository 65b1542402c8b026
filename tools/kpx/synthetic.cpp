#include "synthetic.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kpx {

namespace {

std::uint32_t hash(std::int32_t x, std::int32_t y, std::uint32_t seed) {
  std::uint32_t h = std::uint32_t(x) * 0x8da6b343u ^ std::uint32_t(y) * 0xd8163841u ^ seed * 0xcb1ab31fu;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return h;
}

double lattice(std::int32_t x, std::int32_t y, std::uint32_t seed) {
  return double(hash(x, y, seed) & 0xFFFFFF) / double(0xFFFFFF);
}

// Smoothly interpolated value noise in 0..1.
double valueNoise(double x, double y, std::uint32_t seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const auto ix = std::int32_t(fx), iy = std::int32_t(fy);
  double tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  const double a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
  const double c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
  return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
}

// Fractal sum of octaves, about 0..1.
double fbm(double x, double y, int octaves, std::uint32_t seed) {
  double sum = 0, amplitude = 0.5, total = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += amplitude * valueNoise(x, y, seed + std::uint32_t(o) * 101u);
    total += amplitude;
    x *= 2.03;
    y *= 2.03;
    amplitude *= 0.5;
  }
  return sum / total;
}

double mix(double a, double b, double t) { return a + (b - a) * t; }
double smooth(double e0, double e1, double x) {
  const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

struct Rgb {
  double r, g, b;
};

Rgb landscape(double u, double v, std::uint32_t seed) {
  // Sky: gradient with soft clouds and a sun.
  const double cloud = smooth(0.5, 0.8, fbm(u * 4, v * 8, 5, seed + 7));
  Rgb c{mix(90, 200, v), mix(140, 215, v), mix(230, 240, v)};
  c = {mix(c.r, 245, cloud), mix(c.g, 245, cloud), mix(c.b, 248, cloud)};
  const double sun = std::hypot(u - 0.75, v - 0.2);
  const double glow = 1 - smooth(0.04, 0.06, sun);
  c = {mix(c.r, 255, glow), mix(c.g, 250, glow), mix(c.b, 210, glow)};
  // Two ranges of hills with hard silhouettes over the sky.
  const double far = 0.45 + 0.12 * fbm(u * 3, 0.5, 6, seed + 1);
  if (v > far) {
    const double t = fbm(u * 16, v * 16, 5, seed + 2);
    c = {mix(70, 110, t), mix(90, 130, t), mix(120, 150, t)};
  }
  const double near = 0.62 + 0.1 * fbm(u * 5, 2.5, 6, seed + 3);
  if (v > near) {
    const double t = fbm(u * 40, v * 40, 5, seed + 4);
    const double shade = (v - near) / (1 - near);
    c = {mix(60, 120, t) * (1 - 0.4 * shade), mix(100, 150, t) * (1 - 0.4 * shade),
         mix(30, 60, t) * (1 - 0.4 * shade)};
  }
  return c;
}

Rgb objects(double u, double v, std::uint32_t seed) {
  // A woven backdrop, then shaded balls with soft shadows and a hard rim.
  const double weave = 0.5 + 0.25 * std::sin(u * 120) * std::sin(v * 120);
  const double grain = fbm(u * 30, v * 30, 4, seed);
  Rgb c{mix(120, 170, grain) * (0.8 + 0.2 * weave), mix(100, 140, grain) * (0.8 + 0.2 * weave),
        mix(80, 110, grain) * (0.8 + 0.2 * weave)};
  const struct {
    double x, y, r;
    Rgb col;
  } balls[] = {{0.3, 0.4, 0.18, {200, 40, 40}}, {0.68, 0.55, 0.22, {40, 90, 200}},
               {0.45, 0.78, 0.12, {230, 200, 60}}};
  for (const auto& b : balls) {
    const double shadow = smooth(b.r * 0.9, b.r * 1.4, std::hypot(u - b.x - 0.04, v - b.y - 0.05));
    c = {c.r * (0.55 + 0.45 * shadow), c.g * (0.55 + 0.45 * shadow), c.b * (0.55 + 0.45 * shadow)};
  }
  for (const auto& b : balls) {
    const double dx = (u - b.x) / b.r, dy = (v - b.y) / b.r, d2 = dx * dx + dy * dy;
    if (d2 >= 1) continue;
    const double nz = std::sqrt(1 - d2);
    const double light = std::max(0.0, -0.4 * dx - 0.5 * dy + 0.77 * nz);
    const double specular = std::pow(std::max(0.0, light), 30);
    const double shade = 0.25 + 0.75 * light, highlight = 200 * specular;
    c = {b.col.r * shade + highlight, b.col.g * shade + highlight, b.col.b * shade + highlight};
  }
  return c;
}

Rgb clouds(double u, double v, std::uint32_t seed) {
  const double warp = fbm(u * 3, v * 3, 4, seed + 9);
  const double t = fbm(u * 5 + 2 * warp, v * 5 - warp, 7, seed);
  const double vein = std::pow(std::fabs(std::sin((u + t) * 18)), 0.3);
  return {mix(40, 230, t) * vein, mix(30, 180, t * t) * vein, mix(90, 150, 1 - t) * vein};
}

}  // namespace

Picture syntheticPicture(Scene scene, int width, int height, unsigned seed) {
  Picture p;
  p.width = width;
  p.height = height;
  p.pixels.resize(std::size_t(width) * height * 3);
  std::uint32_t noise = seed * 2654435761u + 1;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double u = (x + 0.5) / width, v = (y + 0.5) / height;
      const Rgb c = scene == Scene::landscape ? landscape(u, v, seed)
                    : scene == Scene::objects ? objects(u, v, seed)
                                              : clouds(u, v, seed);
      const double rgb[3] = {c.r, c.g, c.b};
      for (int k = 0; k < 3; ++k) {
        noise = noise * 1664525u + 1013904223u;
        const double grainNoise = double((noise >> 16) % 5) - 2;  // -2 .. 2
        p.pixels[(std::size_t(y) * width + x) * 3 + k] =
            std::uint8_t(std::clamp(std::lround(rgb[k] + grainNoise), 0L, 255L));
      }
    }
  return p;
}

const char* sceneName(Scene scene) {
  switch (scene) {
    case Scene::landscape: return "landscape";
    case Scene::objects: return "objects";
    case Scene::clouds: return "clouds";
  }
  return "?";
}

}  // namespace kpx
