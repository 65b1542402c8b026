// Texture objects against real GL: the parameters and texels that reach GL,
// the log block, the alpha operations and the failure paths.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine/log.h"
#include "engine/texture.h"
#include "tests/render/render_test_support.h"
#include "tests/support/gl_context.h"

namespace {

using rendertest::Rgb;

orbImage imageOf(int width, int height, std::initializer_list<std::uint8_t> bgra) {
  orbImage image;
  image.width = width;
  image.height = height;
  image.components = 4;
  image.pixels = bgra;
  return image;
}

GLint textureParameter(GLenum name) {
  GLint v = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, name, &v);
  return v;
}

GLint levelParameter(GLint level, GLenum name) {
  GLint v = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, name, &v);
  return v;
}

GLint boundTexture() {
  GLint v = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &v);
  return v;
}

std::vector<std::uint8_t> texelsBGRA(GLuint name, int width, int height) {
  std::vector<std::uint8_t> texels(static_cast<std::size_t>(width) * height * 4);
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
  return texels;
}

// A 32 × 16 picture: flat colour areas survive the lossy codec closely.
Rgb quadrants(int x, int y) {
  if (y < 8) return x < 16 ? Rgb{255, 0, 0} : Rgb{0, 255, 0};
  return x < 16 ? Rgb{0, 0, 255} : Rgb{255, 255, 255};
}

class TextureTest : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    resetLogForTesting();
    std::filesystem::create_directories("tex");
  }
};

}  // namespace

TEST(AlphaOperations, FillAlphaSetsEveryFourthByte) {
  orbImage image = imageOf(2, 1, {1, 2, 3, 4, 5, 6, 7, 8});
  fillAlpha(image, 200);
  EXPECT_EQ(image.pixels, (std::vector<std::uint8_t>{1, 2, 3, 200, 5, 6, 7, 200}));
}

TEST(AlphaOperations, CopyAlphaFromAnotherPictureKeepsColours) {
  orbImage picture = imageOf(2, 1, {10, 20, 30, 255, 40, 50, 60, 255});
  const orbImage mask = imageOf(2, 1, {0, 99, 99, 99, 255, 0, 0, 0});
  copyAlpha(picture, mask);
  EXPECT_EQ(picture.pixels, (std::vector<std::uint8_t>{10, 20, 30, 0, 40, 50, 60, 255}));
  // A larger source is fine: only the destination's pixels are read.
  const orbImage larger = imageOf(3, 1, {7, 0, 0, 0, 8, 0, 0, 0, 9, 0, 0, 0});
  copyAlpha(picture, larger);
  EXPECT_EQ(picture.pixels[3], 7);
  EXPECT_EQ(picture.pixels[7], 8);
}

TEST(AlphaOperations, CopyAlphaFromItselfMakesBlueTheMask) {
  orbImage image = imageOf(3, 1, {0, 0, 0, 255, 255, 255, 255, 0, 128, 0, 255, 9});
  copyAlpha(image, image);
  EXPECT_EQ(image.pixels, (std::vector<std::uint8_t>{0, 0, 0, 0, 255, 255, 255, 255, 128, 0, 255, 128}));
}

TEST(AlphaOperations, SmallerSourceIsFatalNotAnOverread) {
  orbImage picture = imageOf(2, 1, {0, 0, 0, 0, 0, 0, 0, 0});
  const orbImage small = imageOf(1, 1, {5, 5, 5, 5});
  EXPECT_EXIT(copyAlpha(picture, small), ::testing::ExitedWithCode(1), "");
  EXPECT_NE(rendertest::readTextFile("error.txt").find("orbTexture\r\nAlpha source is smaller than the texture"),
            std::string::npos);
}

TEST(AlphaOperations, GetPixelInsideAndAtTheEdges) {
  const orbImage image = imageOf(2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  std::int32_t out[4] = {-1, -1, -1, -1};
  getPixel(out, image, 1, 1);
  EXPECT_EQ(std::vector<std::int32_t>(out, out + 4), (std::vector<std::int32_t>{13, 14, 15, 16}));
  for (auto [x, y] : {std::pair{2, 0}, {0, 2}, {-1, 0}, {0, -1}}) {
    std::int32_t untouched[4] = {-1, -2, -3, -4};
    getPixel(untouched, image, x, y);
    EXPECT_EQ(std::vector<std::int32_t>(untouched, untouched + 4), (std::vector<std::int32_t>{-1, -2, -3, -4}))
        << x << "," << y;
  }
}

TEST_F(TextureTest, CreateDecodesLogsAndUploadsWithItsParameters) {
  rendertest::writePicture("tex/quad.kpx", 32, 16, quadrants);
  orbTexture texture = orbTexture::create("tex/quad.kpx", 3, false);
  ASSERT_NE(texture.glName, 0u);
  EXPECT_EQ(boundTexture(), static_cast<GLint>(texture.glName)) << "create leaves its texture bound";
  EXPECT_EQ(texture.image.width, 32);
  EXPECT_EQ(texture.image.height, 16);
  EXPECT_EQ(texture.image.components, 3);
  ASSERT_EQ(texture.image.pixels.size(), 32u * 16u * 4u);

  EXPECT_EQ(rendertest::debugLines(),
            (std::vector<std::string>{"Loading new Texture | " + std::to_string(texture.glName), "tex/quad.kpx | 0",
                                      "Width:  | 32", "Height:  | 16", "-------------------------- | 0"}));

  EXPECT_EQ(textureParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(textureParameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
  EXPECT_EQ(textureParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
  EXPECT_EQ(textureParameter(GL_TEXTURE_WRAP_T), GL_REPEAT);
  EXPECT_EQ(levelParameter(0, GL_TEXTURE_WIDTH), 32);
  EXPECT_EQ(levelParameter(0, GL_TEXTURE_HEIGHT), 16);
  EXPECT_EQ(levelParameter(0, GL_TEXTURE_INTERNAL_FORMAT), 3) << "the component count is the internal format";

  // Pixels are B, G, R, A in file row order; the uploaded texels match them.
  const auto& p = texture.image.pixels;
  EXPECT_NEAR(p[(2 * 32 + 2) * 4 + 2], 255, 8);   // red quadrant: R high
  EXPECT_NEAR(p[(2 * 32 + 2) * 4 + 0], 0, 8);     //               B low
  EXPECT_NEAR(p[(12 * 32 + 2) * 4 + 0], 255, 8);  // blue quadrant
  EXPECT_EQ(p[(12 * 32 + 2) * 4 + 3], 0) << "the decoder leaves alpha at 0";
  const auto texels = texelsBGRA(texture.glName, 32, 16);
  for (std::size_t i = 0; i < texels.size(); i += 4) {
    ASSERT_EQ(texels[i], p[i]) << "pixel " << i / 4;
    ASSERT_EQ(texels[i + 1], p[i + 1]) << "pixel " << i / 4;
    ASSERT_EQ(texels[i + 2], p[i + 2]) << "pixel " << i / 4;
    ASSERT_EQ(texels[i + 3], 255) << "3 components read back opaque";
  }
  glBindTexture(GL_TEXTURE_2D, 0);
}

TEST_F(TextureTest, MipmappedUploadAfterAlphaCarriesTheAlphaAndUnbinds) {
  rendertest::writePicture("tex/mask.kpx", 32, 32, [](int x, int) {
    const std::uint8_t v = x < 16 ? 0 : 255;
    return Rgb{v, v, v};
  });
  orbTexture texture = orbTexture::create("tex/mask.kpx", 4, true);
  const GLuint first = texture.glName;
  // Before the alpha operations the texture is transparent everywhere.
  EXPECT_EQ(texelsBGRA(first, 32, 32)[(5 * 32 + 20) * 4 + 3], 0);
  EXPECT_EQ(levelParameter(1, GL_TEXTURE_WIDTH), 16) << "mipmap chain built";
  EXPECT_EQ(levelParameter(5, GL_TEXTURE_WIDTH), 1);

  fillAlpha(texture.image, 255);
  copyAlpha(texture.image, texture.image);
  texture.upload();
  EXPECT_EQ(boundTexture(), 0) << "upload binds 0 afterwards";
  EXPECT_FALSE(first != texture.glName && glIsTexture(first)) << "the old texture was not deleted";
  EXPECT_EQ(textureParameter(GL_TEXTURE_MIN_FILTER), 0 + GL_NEAREST_MIPMAP_LINEAR)
      << "parameters read while 0 is bound: the default texture";
  glBindTexture(GL_TEXTURE_2D, texture.glName);
  EXPECT_EQ(textureParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(textureParameter(GL_TEXTURE_WRAP_T), GL_REPEAT);
  EXPECT_EQ(levelParameter(0, GL_TEXTURE_INTERNAL_FORMAT), 4);
  EXPECT_EQ(levelParameter(1, GL_TEXTURE_WIDTH), 16);
  const auto texels = texelsBGRA(texture.glName, 32, 32);
  EXPECT_LE(texels[(5 * 32 + 3) * 4 + 3], 8) << "black became transparent";
  EXPECT_GE(texels[(5 * 32 + 28) * 4 + 3], 247) << "white became opaque";
  glBindTexture(GL_TEXTURE_2D, 0);

  const GLuint name = texture.glName;
  resetLogForTesting();
  texture.dispose();
  EXPECT_FALSE(glIsTexture(name));
  EXPECT_EQ(texture.glName, 0u);
  EXPECT_TRUE(texture.image.pixels.empty());
  EXPECT_EQ(rendertest::debugLines(), (std::vector<std::string>{"Disposing Texture | " + std::to_string(name),
                                                                "-------------------------- | 0"}));
}

TEST_F(TextureTest, GreyFileIsExpandedToFourBytePixels) {
  rendertest::writePicture(
      "tex/grey.kpx", 16, 16, [](int x, int) { return Rgb{static_cast<std::uint8_t>(x < 8 ? 30 : 220), 0, 0}; },
      true);
  orbTexture texture = orbTexture::create("tex/grey.kpx", 4, false);
  ASSERT_EQ(texture.image.pixels.size(), 16u * 16u * 4u);
  for (std::size_t i = 0; i < 256; ++i) {
    const std::uint8_t* px = &texture.image.pixels[i * 4];
    ASSERT_EQ(px[0], px[1]);
    ASSERT_EQ(px[1], px[2]);
    ASSERT_EQ(px[3], 0);
  }
  EXPECT_NEAR(texture.image.pixels[(3 * 16 + 2) * 4], 30, 6);
  EXPECT_NEAR(texture.image.pixels[(3 * 16 + 12) * 4], 220, 6);
  glBindTexture(GL_TEXTURE_2D, 0);
}

TEST_F(TextureTest, RejectedFileIsFatalCouldNotLoadTexture) {
  {
    // A complete header whose fields are impossible (bits per pixel 7).
    std::ofstream out("tex/bad.kpx", std::ios::binary);
    std::string bytes(200, '\0');
    bytes[0] = 'K';
    bytes[1] = 'P';
    bytes[2] = 'X';
    bytes[3] = 16;
    bytes[5] = 16;
    bytes[7] = 7;
    out << bytes;
  }
  EXPECT_EXIT(orbTexture::create("tex/bad.kpx", 4, true), ::testing::ExitedWithCode(1), "");
  EXPECT_EQ(rendertest::readTextFile("error.txt"),
            "Sorry, but the following module had something to say:\r\n\r\norbTexture\r\nCould not load Texture\r\n");
}

TEST_F(TextureTest, MissingOrShortFileStopsWithNonZeroExitNamingTheFile) {
  EXPECT_EXIT(orbTexture::create("tex/missing.kpx", 4, true), ::testing::ExitedWithCode(textureIoExitCode),
              "tex/missing.kpx");
  rendertest::writePicture("tex/whole.kpx", 32, 16, quadrants);
  const std::string whole = rendertest::readTextFile("tex/whole.kpx");
  {
    std::ofstream out("tex/short.kpx", std::ios::binary);
    out << whole.substr(0, whole.size() / 2);
  }
  EXPECT_EXIT(orbTexture::create("tex/short.kpx", 4, true), ::testing::ExitedWithCode(textureIoExitCode),
              "tex/short.kpx");
}

TEST_F(TextureTest, RenderTextureIsAnEmptyTextureOfItsSizeAndFormat) {
  const orbRenderTexture texture = orbRenderTexture::create(64, 32, 4, GL_RGBA, false);
  EXPECT_EQ(boundTexture(), 0);
  EXPECT_EQ(texture.pixels.size(), 64u * 32u * 4u);
  glBindTexture(GL_TEXTURE_2D, texture.glName);
  EXPECT_EQ(levelParameter(0, GL_TEXTURE_WIDTH), 64);
  EXPECT_EQ(levelParameter(0, GL_TEXTURE_HEIGHT), 32);
  EXPECT_EQ(levelParameter(0, GL_TEXTURE_INTERNAL_FORMAT), 4);
  EXPECT_EQ(textureParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(textureParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
  glBindTexture(GL_TEXTURE_2D, 0);
}
