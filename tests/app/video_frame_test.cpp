// The read-back frame as the encoder takes it: rows turned top-first, colours
// into BT.601 limited-range 4:2:0. Expected values come from the standard's
// real-valued formulas, not from the fixed-point code.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/video_out.h"
#include "tests/support/gl_context.h"

namespace {

struct Rgb {
  double r, g, b;
};

double luma(Rgb c) { return 16 + 219.0 / 255 * (0.299 * c.r + 0.587 * c.g + 0.114 * c.b); }
double cb(Rgb c) { return 128 + 224.0 / 255 * (-0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b); }
double cr(Rgb c) { return 128 + 224.0 / 255 * (0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b); }

// GL's bottom-up RGBA rows from top-first colours; alpha varies, and weighs nothing.
std::vector<unsigned char> bottomUp(const std::vector<Rgb>& topFirst, int w, int h) {
  std::vector<unsigned char> rgba(static_cast<std::size_t>(w * h * 4));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgb c = topFirst[y * w + x];
      unsigned char* p = &rgba[((h - 1 - y) * w + x) * 4];
      p[0] = static_cast<unsigned char>(c.r), p[1] = static_cast<unsigned char>(c.g);
      p[2] = static_cast<unsigned char>(c.b), p[3] = static_cast<unsigned char>(x * 37 + y * 11);
    }
  return rgba;
}

// Every luma sample, and every chroma sample against its block's mean colour, within half a step.
void expectBt601(const std::vector<Rgb>& topFirst, int w, int h, const std::vector<unsigned char>& yuv) {
  for (int i = 0; i < w * h; ++i) EXPECT_NEAR(yuv[i], luma(topFirst[i]), 0.51) << "luma " << i;
  const int blocks = w / 2 * (h / 2);
  for (int by = 0; by < h / 2; ++by)
    for (int bx = 0; bx < w / 2; ++bx) {
      Rgb mean{0, 0, 0};
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
          const Rgb c = topFirst[(2 * by + y) * w + 2 * bx + x];
          mean.r += c.r / 4, mean.g += c.g / 4, mean.b += c.b / 4;
        }
      const int at = by * (w / 2) + bx;
      EXPECT_NEAR(yuv[w * h + at], cb(mean), 0.51) << "Cb block " << at;
      EXPECT_NEAR(yuv[w * h + blocks + at], cr(mean), 0.51) << "Cr block " << at;
    }
}

}  // namespace

TEST(VideoFrame, TurnsRowsTopFirstAndConvertsEachChannelToBt601) {
  // 4 × 4. Every 2 × 2 block differs, and so does every pixel of the
  // top-left one, so a flip, a mirror, a channel swap or a wrong block shows.
  constexpr int w = 4, h = 4;
  const std::vector<Rgb> topFirst = {{
      {255, 0, 0}, {0, 255, 0},     {255, 255, 255}, {255, 255, 255},  //
      {0, 0, 255}, {0, 0, 0},       {255, 255, 255}, {255, 255, 255},  //
      {0, 0, 0},   {0, 0, 0},       {30, 60, 90},    {30, 60, 90},     //
      {0, 0, 0},   {0, 0, 0},       {30, 60, 90},    {200, 100, 10},   //
  }};
  std::vector<unsigned char> yuv(w * h * 3 / 2, 0xAA);
  rgbaToYuv420(bottomUp(topFirst, w, h).data(), w, h, yuv.data());

  expectBt601(topFirst, w, h, yuv);
  EXPECT_EQ(yuv[0], 81);   // red
  EXPECT_EQ(yuv[5], 16);   // black
  EXPECT_EQ(yuv[2], 235);  // white
  // White and black blocks carry no colour at all.
  EXPECT_EQ(yuv[w * h + 1], 128);
  EXPECT_EQ(yuv[w * h + 4 + 1], 128);
  EXPECT_EQ(yuv[w * h + 2], 128);
}

TEST(VideoFrame, WideRowsConvertLikeNarrowOnes) {
  // Rows are converted sixteen pixels at a time and the rest one block at
  // a time: 36 pixels take both ways. Colours touch 0 and 255.
  constexpr int w = 36, h = 4;
  std::vector<Rgb> topFirst;
  for (int i = 0; i < w * h; ++i)
    topFirst.push_back({double(i * 97 % 256), double(i % 5 == 0 ? 255 : i * 53 % 256), double(i % 7 == 0 ? 0 : i * 29 % 256)});
  std::vector<unsigned char> yuv(w * h * 3 / 2, 0xAA);
  rgbaToYuv420(bottomUp(topFirst, w, h).data(), w, h, yuv.data());
  expectBt601(topFirst, w, h, yuv);
}

// Captures draw in the headless backend's framebuffer: it must have the
// window's 8 bits a channel and no alpha, or its frames differ from what a
// viewer sees (and every read-back converts).
class HeadlessFramebuffer : public GLTest {};

TEST_F(HeadlessFramebuffer, HasEightBitsAChannelAndNoAlphaLikeAWindow) {
  GLint red = 0, green = 0, blue = 0, alpha = -1;
  glGetIntegerv(GL_RED_BITS, &red);
  glGetIntegerv(GL_GREEN_BITS, &green);
  glGetIntegerv(GL_BLUE_BITS, &blue);
  glGetIntegerv(GL_ALPHA_BITS, &alpha);
  EXPECT_EQ(red, 8);
  EXPECT_EQ(green, 8);
  EXPECT_EQ(blue, 8);
  EXPECT_EQ(alpha, 0);
}
