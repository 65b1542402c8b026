// Colour operations (opcodes 20-26, 30, 32) and the HSV conversions.
// Channel-wise operations whose result depends only on the channel and the
// source byte go through a 3 × 256 table built with the exact per-value
// arithmetic, so the pixel loop is a plain lookup.
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "synth/detail.h"
#include "synth/operations.h"

namespace synth {

using namespace detail;

namespace {

// dst[i] = table[i mod 3][src[i]] over a whole layer (src may equal dst).
void applyChannelTables(Synth& s, int source, int destination, const std::uint8_t table[3][256]) {
  const std::uint8_t* src = s.layer(source);
  std::uint8_t* dst = s.layer(destination);
  const std::size_t n = std::size_t(s.layerWidth()) * std::size_t(s.layerHeight());
  for (std::size_t i = 0; i < n; ++i) {
    dst[3 * i] = table[0][src[3 * i]];
    dst[3 * i + 1] = table[1][src[3 * i + 1]];
    dst[3 * i + 2] = table[2][src[3 * i + 2]];
  }
}

}  // namespace

void invertLayer(Synth& s, int source, int destination) {
  const std::uint8_t* src = s.layer(source);
  std::uint8_t* dst = s.layer(destination);
  const std::size_t n = s.layerBytes();
  for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<std::uint8_t>(255 - src[i]);
}

void woodLayer(Synth& s, int source, int destination, int bits) {
  const std::uint8_t* src = s.layer(source);
  std::uint8_t* dst = s.layer(destination);
  const std::size_t n = s.layerBytes();
  const unsigned left = static_cast<unsigned>(bits) & 7u, right = (8u - left) & 7u;
  if (left == 0) {  // bits 0 and 8 copy the source
    if (src != dst) std::memcpy(dst, src, n);
    return;
  }
  std::size_t i = 0;
#if defined(__SSE2__)
  // Byte rotation from 16-bit shifts: mask off what crossed a byte boundary.
  const __m128i keepLeft = _mm_set1_epi8(static_cast<char>((0xFFu << left) & 0xFFu));
  const __m128i keepRight = _mm_set1_epi8(static_cast<char>(0xFFu >> right));
  const __m128i sl = _mm_cvtsi32_si128(static_cast<int>(left)), sr = _mm_cvtsi32_si128(static_cast<int>(right));
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i l = _mm_and_si128(_mm_sll_epi16(v, sl), keepLeft);
    const __m128i r = _mm_and_si128(_mm_srl_epi16(v, sr), keepRight);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_or_si128(l, r));
  }
#endif
  for (; i < n; ++i)
    dst[i] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(src[i] << left) | (src[i] >> right));
}

void scaleLayerRGB(Synth& s, int source, int destination, float red, float green, float blue) {
  std::uint8_t table[3][256];
  const float f[3] = {red, green, blue};
  for (int c = 0; c < 3; ++c)
    for (int v = 0; v < 256; ++v)
      table[c][v] = clampByte(static_cast<float>(static_cast<double>(f[c]) * v));
  applyChannelTables(s, source, destination, table);
}

void adjustLayerRGB(Synth& s, int source, int destination, int red, int green, int blue) {
  const int o[3] = {red, green, blue};
  const std::uint8_t* src = s.layer(source);
  std::uint8_t* dst = s.layer(destination);
  const std::size_t n = s.layerBytes();
  // s + offset clamped to 0..255 = saturating add of the positive part, then
  // saturating subtract of the negative part; the channel pattern repeats
  // every 48 bytes (three 16-byte vectors).
  std::uint8_t up[48], down[48];
  for (int k = 0; k < 48; ++k) {
    const int off = o[k % 3];
    up[k] = static_cast<std::uint8_t>(std::clamp(off, 0, 255));
    down[k] = static_cast<std::uint8_t>(std::clamp(-static_cast<std::int64_t>(off), std::int64_t{0}, std::int64_t{255}));
  }
  std::size_t i = 0;
#if defined(__SSE2__)
  __m128i u[3], d[3];
  for (int k = 0; k < 3; ++k) {
    u[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(up + 16 * k));
    d[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(down + 16 * k));
  }
  for (; i + 48 <= n; i += 48)
    for (int k = 0; k < 3; ++k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16 * std::size_t(k)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 16 * std::size_t(k)),
                       _mm_subs_epu8(_mm_adds_epu8(v, u[k]), d[k]));
    }
#endif
  for (; i < n; ++i) {
    const int v = src[i] + up[i % 48] - down[i % 48];
    dst[i] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
  }
}

void sineLayerRGB(Synth& s, int source, int destination, float red, float green, float blue) {
  std::uint8_t table[3][256];
  const float f[3] = {red, green, blue};
  for (int c = 0; c < 3; ++c) {
    const float k = static_cast<float>(static_cast<double>(kPi) * f[c]);
    for (int v = 0; v < 256; ++v)
      table[c][v] = truncLow8(127.5 * (1.0 + std::sin(static_cast<double>(k) * v)));
  }
  applyChannelTables(s, source, destination, table);
}

namespace {

// Histogram operations: per channel, map[v] from the running share of the
// pixels at or below v, starting at `start` and rising by `scale` per pixel.
void histogramTables(const Synth& s, int source, bool stretch, std::uint8_t table[3][256]) {
  std::uint32_t count[3][256] = {};
  const std::uint8_t* src = s.layer(source);
  const std::size_t n = std::size_t(s.layerWidth()) * std::size_t(s.layerHeight());
  for (std::size_t i = 0; i < n; ++i) {
    ++count[0][src[3 * i]];
    ++count[1][src[3 * i + 1]];
    ++count[2][src[3 * i + 2]];
  }
  const double pixels = static_cast<double>(n);
  for (int c = 0; c < 3; ++c) {
    float step, acc;
    if (stretch) {
      int lo = 0, hi = 255;
      while (lo < 255 && count[c][lo] == 0) ++lo;
      while (hi > 0 && count[c][hi] == 0) --hi;
      step = static_cast<float>(static_cast<double>(hi - lo) / pixels);
      acc = static_cast<float>(lo);
    } else {
      step = static_cast<float>(255.0 / pixels);
      acc = 0.0f;
    }
    for (int v = 0; v < 256; ++v) {
      acc = static_cast<float>(static_cast<double>(acc) + static_cast<double>(step) * count[c][v]);
      table[c][v] = clampByte(roundHalfEven(acc));
    }
  }
}

}  // namespace

void equalizeRGB(Synth& s, int source, int destination) {
  std::uint8_t table[3][256];
  histogramTables(s, source, false, table);
  applyChannelTables(s, source, destination, table);
}

void stretchRGB(Synth& s, int source, int destination) {
  std::uint8_t table[3][256];
  histogramTables(s, source, true, table);
  applyChannelTables(s, source, destination, table);
}

void rgbToHsv(float red, float green, float blue, float& hue, float& saturation, float& value) {
  const float mx = std::max(red, std::max(green, blue));
  const float mn = std::min(red, std::min(green, blue));
  value = mx;
  saturation = mx != 0.0f ? static_cast<float>((static_cast<double>(mx) - mn) / mx) : 0.0f;
  if (saturation == 0.0f) {
    hue = -1.0f;
    return;
  }
  const double d = static_cast<double>(mx) - mn;
  float h;
  if (mx == red)
    h = static_cast<float>((static_cast<double>(green) - blue) / d);
  else if (mx == green)
    h = static_cast<float>(2.0 + (static_cast<double>(blue) - red) / d);
  else
    h = static_cast<float>(4.0 + (static_cast<double>(red) - green) / d);
  h = static_cast<float>(static_cast<double>(h) * 60.0);
  while (h < 0.0f) h = static_cast<float>(static_cast<double>(h) + 360.0);
  while (h >= 360.0f) h = static_cast<float>(static_cast<double>(h) - 360.0);
  hue = h;
}

void hsvToRgb(float hue, float saturation, float value, float& red, float& green, float& blue) {
  if (!std::isfinite(hue)) hue = 0.0f;
  // Far from the circle the single-precision ±360 steps would stall (or take
  // for ever): reduce exactly first; nearby hues take the plain steps.
  if (std::fabs(hue) >= 23040.0f) hue = static_cast<float>(std::fmod(static_cast<double>(hue), 360.0));
  while (hue < 0.0f) hue = static_cast<float>(static_cast<double>(hue) + 360.0);
  while (hue >= 360.0f) hue = static_cast<float>(static_cast<double>(hue) - 360.0);
  if (saturation == 0.0f) {
    red = green = blue = value;
    return;
  }
  const float h = static_cast<float>(static_cast<double>(hue) * 0.016666667);
  int i = static_cast<int>(h);
  float f = static_cast<float>(static_cast<double>(h) - i);
  // A hue just below 360 can round to h = 6: the same colour as sector 0 at 0.
  if (i >= 6) {
    i = 0;
    f = 0.0f;
  }
  const double sd = saturation, vd = value;
  const float p = static_cast<float>((1.0 - sd) * vd);
  const float q = static_cast<float>((1.0 - sd * f) * vd);
  const float t = static_cast<float>((1.0 - (1.0 - static_cast<double>(f)) * sd) * vd);
  switch (i) {
    case 0: red = value; green = t; blue = p; break;
    case 1: red = q; green = value; blue = p; break;
    case 2: red = p; green = value; blue = t; break;
    case 3: red = p; green = q; blue = value; break;
    case 4: red = t; green = p; blue = value; break;
    default: red = value; green = p; blue = q; break;
  }
}

namespace {

template <typename Change>
void hsvPass(Synth& s, int source, int destination, Change change) {
  const std::uint8_t* src = s.layer(source);
  std::uint8_t* dst = s.layer(destination);
  const std::size_t n = std::size_t(s.layerWidth()) * std::size_t(s.layerHeight());
  for (std::size_t i = 0; i < n; ++i) {
    float h, sat, val;
    rgbToHsv(src[3 * i], src[3 * i + 1], src[3 * i + 2], h, sat, val);
    change(h, sat, val);
    if (sat > 1.0f) sat = 1.0f;
    if (sat < 0.0f) sat = 0.0f;
    if (val > 255.0f) val = 255.0f;
    if (val < 0.0f) val = 0.0f;
    float r, g, b;
    hsvToRgb(h, sat, val, r, g, b);
    dst[3 * i] = clampByte(r);
    dst[3 * i + 1] = clampByte(g);
    dst[3 * i + 2] = clampByte(b);
  }
}

}  // namespace

void scaleLayerHSV(Synth& s, int source, int destination, float hue, float saturation,
                   float value) {
  hsvPass(s, source, destination, [&](float& h, float& sat, float& val) {
    h = static_cast<float>(static_cast<double>(h) * hue);
    sat = static_cast<float>(static_cast<double>(sat) * saturation);
    val = static_cast<float>(static_cast<double>(val) * value);
  });
}

void adjustLayerHSV(Synth& s, int source, int destination, float hue, float saturation,
                    float value) {
  hsvPass(s, source, destination, [&](float& h, float& sat, float& val) {
    h = static_cast<float>(static_cast<double>(h) + hue);
    sat = static_cast<float>(static_cast<double>(sat) + saturation);
    val = static_cast<float>(static_cast<double>(val) + value);
  });
}

}  // namespace synth
