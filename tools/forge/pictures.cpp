#include "pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace forge {

namespace {

constexpr double kPi = 3.14159265358979323846;

double clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
double smoothstep(double a, double b, double x) {
  const double t = clamp01((x - a) / (b - a));
  return t * t * (3 - 2 * t);
}
std::uint8_t byteOf(double v) { return static_cast<std::uint8_t>(std::lround(clamp01(v) * 255.0)); }

void put(Image& im, int x, int y, double r, double g, double b) {
  std::uint8_t* p = im.at(x, y);
  p[0] = byteOf(r);
  p[1] = byteOf(g);
  p[2] = byteOf(b);
}

double segmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double vx = bx - ax, vy = by - ay, wx = px - ax, wy = py - ay;
  const double t = clamp01((wx * vx + wy * vy) / (vx * vx + vy * vy));
  const double dx = wx - vx * t, dy = wy - vy * t;
  return std::sqrt(dx * dx + dy * dy);
}

}  // namespace

namespace {

// Star brightness at a pixel: a core glow and eight rays, long ones on the
// axes and short ones on the diagonals.
double starValue(double x, double y, int n) {
  const double c = n / 2.0;
  const double dx = x + 0.5 - c, dy = y + 0.5 - c;
  const double r = std::sqrt(dx * dx + dy * dy);
  const double reach = c - 6;
  double v = std::exp(-r / 14.0) + 0.35 * std::exp(-r / 40.0);
  for (int k = 0; k < 8; ++k) {
    const double ang = k * kPi / 4;
    const double ux = std::cos(ang), uy = std::sin(ang);
    const double along = dx * ux + dy * uy;
    if (along <= 0) continue;
    const double across = std::fabs(-dx * uy + dy * ux);
    const double len = (k % 2 == 0) ? reach : reach * 0.55;
    const double t = along / len;
    if (t >= 1) continue;
    const double width = 5.0 * (1 - t) + 0.6;
    v += std::pow(1 - t, 1.5) * std::exp(-across / width);
  }
  // Fade to black before the edge, so tiled and rotated copies never show a seam.
  return clamp01(v) * smoothstep(reach + 2, reach - 10, r);
}

// A small integer hash in [0, 1) for the dust below, the same on every run.
double cellNoise(int cx, int cy, int salt) {
  std::uint32_t h = static_cast<std::uint32_t>(cx) * 73856093u ^ static_cast<std::uint32_t>(cy) * 19349663u ^
                    static_cast<std::uint32_t>(salt) * 83492791u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return (h & 0xFFFFu) / 65536.0;
}

// Star dust: one small four-pointed sparkle in each cell of a 20 × 20 grid,
// placed and lit at random within its cell. The star grid of the last three
// scenes shows a twentieth of the picture on each tile; without the dust most
// tiles would show nothing and the grid would read as one big glow. The
// lattice repeats with the picture, so tiled copies stay seamless; it is
// faint outside the circle the big star fills, so a single star keeps its
// round look, and fades out in the last few pixels, so a sprite's edges
// stay clear.
double dustValue(double x, double y, int n) {
  const double cell = n / 20.0;
  const int gx = static_cast<int>(std::floor((x + 0.5) / cell)), gy = static_cast<int>(std::floor((y + 0.5) / cell));
  double v = 0;
  for (int oy = -1; oy <= 1; ++oy)
    for (int ox = -1; ox <= 1; ++ox) {
      const int cx = ((gx + ox) % 20 + 20) % 20, cy = ((gy + oy) % 20 + 20) % 20;
      const double px = (gx + ox + 0.3 + 0.4 * cellNoise(cx, cy, 1)) * cell;
      const double py = (gy + oy + 0.3 + 0.4 * cellNoise(cx, cy, 2)) * cell;
      const double dx = std::fabs(x + 0.5 - px), dy = std::fabs(y + 0.5 - py);
      const double lit = 0.55 + 0.45 * std::pow(cellNoise(cx, cy, 3), 2.0);
      const double core = std::exp(-std::sqrt(dx * dx + dy * dy) / 2.4);
      const double rays = std::exp(-dx / 0.9 - dy / 4.0) + std::exp(-dy / 0.9 - dx / 4.0);
      v = std::max(v, lit * std::min(1.0, core + 0.6 * rays));
    }
  // Clear at the very border, so a sprite's quad never shows its edges.
  const double border = std::min(std::min(x, y), std::min(n - 1 - x, n - 1 - y));
  const double c = n / 2.0, r = std::hypot(x + 0.5 - c, y + 0.5 - c);
  return v * (0.95 - 0.65 * smoothstep(0.15 * n, 0.5 * n, r)) * smoothstep(0.5, 6.0, border);
}

// The whole picture's brightness (and mask): the big star over its dust.
double starPictureValue(double x, double y, int n) { return std::max(starValue(x, y, n), dustValue(x, y, n)); }

}  // namespace

bool storedFlipped(const std::string& name) { return name == "flower1" || name.rfind("greets_", 0) == 0; }

void flipVertically(Image& image) {
  const std::size_t row = static_cast<std::size_t>(image.width) * 3;
  for (int y = 0; y < image.height / 2; ++y)
    std::swap_ranges(image.rgb.begin() + static_cast<std::ptrdiff_t>(y * row),
                     image.rgb.begin() + static_cast<std::ptrdiff_t>((y + 1) * row),
                     image.rgb.begin() + static_cast<std::ptrdiff_t>((image.height - 1 - y) * row));
}

Image makeStar() {
  const int n = 256;
  Image im(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const double v = starPictureValue(x, y, n);
      // White where it is bright, warm gold in the rays.
      const double w = std::pow(v, 2.2);
      put(im, x, y, 0.2 + 0.8 * v + 0.2 * w, 0.12 + 0.68 * v + 0.2 * w, 0.02 + 0.3 * v + 0.68 * w);
    }
  // The colour outside the mask does not show; keep it dark to stay tidy.
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x)
      if (starPictureValue(x, y, n) < 0.004) put(im, x, y, 0, 0, 0);
  return im;
}

Image makeStarAlpha() {
  const int n = 256;
  Image im(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const double v = starPictureValue(x, y, n);
      put(im, x, y, v, v, v);
    }
  return im;
}

Image makeFiveborder() {
  const int n = 256;
  Image im(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      // Distance inside a rounded square.
      const double px = std::fabs(x + 0.5 - n / 2.0), py = std::fabs(y + 0.5 - n / 2.0);
      const double half = n / 2.0 - 10, round = 18;
      const double qx = std::max(px - (half - round), 0.0), qy = std::max(py - (half - round), 0.0);
      const double outside = std::sqrt(qx * qx + qy * qy) + std::min(std::max(px - (half - round), py - (half - round)), 0.0) - round;
      const double depth = -outside;  // > 0 inside
      double v = 0;
      for (int k = 0; k < 5; ++k) {
        const double at = 1.5 + k * 7.0, width = 2.4 - k * 0.3;
        v = std::max(v, (1 - 0.16 * k) * smoothstep(width / 2 + 0.8, width / 2 - 0.4, std::fabs(depth - at)));
      }
      put(im, x, y, v * 0.95, v * 0.97, v);
    }
  return im;
}

Image makeHandsup() {
  const int n = 256;
  Image im(n, n);
  struct Arm {
    double baseX, wristX, wristY, tilt;  // tilt: radians, 0 = fingers straight up
    double scale;
  };
  const Arm arms[] = {
      {26, 46, 118, -0.3, 1.0},  {78, 86, 92, -0.1, 1.12}, {130, 126, 76, 0.03, 1.2},
      {180, 172, 96, 0.14, 1.08}, {228, 208, 124, 0.32, 0.96},
  };
  std::vector<double> cover(static_cast<std::size_t>(n) * n, 0.0);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const double px = x + 0.5, py = y + 0.5;
      double d = 1e9;
      for (const Arm& a : arms) {
        const double s = a.scale;
        d = std::min(d, segmentDistance(px, py, a.baseX, 270, a.wristX, a.wristY) - (8 + 5 * clamp01((py - a.wristY) / 120.0)) * s);
        // Palm: a short thick segment along the hand's axis.
        const double ux = std::sin(a.tilt), uy = -std::cos(a.tilt);
        const double palmX = a.wristX + ux * 14 * s, palmY = a.wristY + uy * 14 * s;
        d = std::min(d, segmentDistance(px, py, a.wristX, a.wristY, palmX, palmY) - 12 * s);
        // Four fingers fanned a little, and a thumb to the side.
        for (int f = 0; f < 4; ++f) {
          const double spread = a.tilt + (f - 1.5) * 0.16;
          const double len = (f == 1 || f == 2 ? 26 : 21) * s;
          const double sx = palmX + std::cos(a.tilt) * (f - 1.5) * 6.5 * s;
          const double sy = palmY + std::sin(a.tilt) * (f - 1.5) * 6.5 * s;
          d = std::min(d, segmentDistance(px, py, sx, sy, sx + std::sin(spread) * len,
                                           sy - std::cos(spread) * len) - 3.0 * s);
        }
        const double thumb = a.tilt - 1.0;
        const double tx = a.wristX - std::cos(a.tilt) * 10 * s, ty = a.wristY - std::sin(a.tilt) * 10 * s;
        d = std::min(d, segmentDistance(px, py, tx, ty, tx + std::sin(thumb) * 18 * s,
                                         ty - std::cos(thumb) * 18 * s) - 3.4 * s);
      }
      cover[static_cast<std::size_t>(y) * n + x] = smoothstep(0.8, -0.8, d);
    }
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      // Fade out at the bottom and the sides: the quad's edges must stay clear.
      const double fade = smoothstep(n - 2, n - 60, y) * smoothstep(1, 12, x) * smoothstep(n - 1, n - 12, x) *
                          smoothstep(1, 10, y);
      const double v = cover[static_cast<std::size_t>(y) * n + x] * fade;
      put(im, x, y, v, v, v);
    }
  return im;
}

namespace {

// Box blur of a float plane, radius r, a few passes (a cheap Gaussian).
void blurPlane(std::vector<double>& p, int n, int radius, int passes) {
  std::vector<double> tmp(p.size());
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        double s = 0;
        for (int k = -radius; k <= radius; ++k) {
          const int xx = x + k;
          if (xx >= 0 && xx < n) s += p[static_cast<std::size_t>(y) * n + xx];
        }
        tmp[static_cast<std::size_t>(y) * n + x] = s / (2 * radius + 1);
      }
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        double s = 0;
        for (int k = -radius; k <= radius; ++k) {
          const int yy = y + k;
          if (yy >= 0 && yy < n) s += tmp[static_cast<std::size_t>(yy) * n + x];
        }
        p[static_cast<std::size_t>(y) * n + x] = s / (2 * radius + 1);
      }
  }
}

}  // namespace

bool makeLogo(Typesetter& ts, Image& colour, Image& alpha, std::string* reason) {
  const int n = 256;
  Image letters(n, n);
  const std::uint8_t white[3] = {255, 255, 255};
  const std::string word = "VOLTRA";
  // The largest size that leaves the word a margin on both sides.
  const int size = static_cast<int>(64 * 212 / ts.measure(Typesetter::bold, 64, word));
  const double w = ts.measure(Typesetter::bold, size, word);
  if (size < 12 || w > n - 24) {
    if (reason) *reason = "voltra: the logo word does not fit";
    return false;
  }
  const double baseline = 152;
  ts.draw(letters, Typesetter::bold, size, std::round((n - w) / 2), baseline, word, white);
  std::vector<double> mask(static_cast<std::size_t>(n) * n), glow;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) mask[static_cast<std::size_t>(y) * n + x] = letters.at(x, y)[0] / 255.0;
  // A lightning stroke under the word.
  const double zig[][2] = {{40, 176}, {112, 166}, {104, 178}, {216, 164}};
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      double d = 1e9;
      for (int k = 0; k < 3; ++k)
        d = std::min(d, segmentDistance(x + 0.5, y + 0.5, zig[k][0], zig[k][1], zig[k + 1][0], zig[k + 1][1]));
      auto& m = mask[static_cast<std::size_t>(y) * n + x];
      m = std::max(m, smoothstep(2.6, 1.2, d));
    }
  glow = mask;
  blurPlane(glow, n, 5, 3);
  colour = Image(n, n);
  alpha = Image(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * n + x;
      const double m = mask[i], g = clamp01(glow[i] * 2.2);
      // Letters: hot orange at the top to pink at the bottom; glow: violet.
      const double t = clamp01((y - 100.0) / 80.0);
      const double lr = 1.0, lg = 0.72 - 0.45 * t, lb = 0.25 + 0.45 * t;
      const double edge = smoothstep(0.5, 0.0, std::fabs(x + 0.5 - n / 2.0) / n - 0.45) *
                          smoothstep(0.5, 0.0, std::fabs(y + 0.5 - n / 2.0) / n - 0.45);
      put(colour, x, y, (m * lr + (1 - m) * 0.62 * g) * edge, (m * lg + (1 - m) * 0.2 * g) * edge,
          (m * lb + (1 - m) * 0.95 * g) * edge);
      const double a = std::max(m, 0.55 * g) * edge;
      put(alpha, x, y, a, a, a);
    }
  return true;
}

bool makeLoading(Typesetter& ts, Image& out, std::string* reason) {
  const int n = 512;
  out = Image(n, n);
  // Faint diagonal waves; the picture is added onto the dark red clear colour.
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const double u = (x + 0.5) / n - 0.5, v = (y + 0.5) / n - 0.5;
      const double vignette = smoothstep(0.52, 0.2, std::sqrt(u * u + v * v));
      const double wave = 0.5 + 0.5 * std::sin((x + y) * 0.035 + 3 * std::sin(y * 0.013));
      const double g = vignette * (0.05 + 0.06 * wave);
      put(out, x, y, g * 1.0, g * 0.45, g * 0.7);
    }
  const std::uint8_t title[3] = {235, 210, 230};
  const std::uint8_t small[3] = {170, 150, 170};
  const std::string word = "VOLTRA";
  const double w = ts.measure(Typesetter::bold, 100, word);
  if (w > n - 40) {
    if (reason) *reason = "loading: the title does not fit";
    return false;
  }
  ts.draw(out, Typesetter::bold, 100, std::round((n - w) / 2), 230, word, title);
  // The progress bar is drawn over rows 358 … 384; the note sits under it.
  const std::string note = "warming up the oscillators";
  const double nw = ts.measure(Typesetter::regular, 24, note);
  ts.draw(out, Typesetter::regular, 24, std::round((n - nw) / 2), 428, note, small);
  return true;
}

}  // namespace forge
