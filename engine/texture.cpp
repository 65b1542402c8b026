#include "engine/texture.h"

#include <GL/glu.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "engine/log.h"
#include "engine/window.h"

namespace {

[[noreturn]] void cannotLoadTexture() { fatalError("orbTexture", "Could not load Texture"); }

// A missing or unreadable texture file is not one of the checked failures:
// it stops the run with a non-zero code instead of the fatal-error path.
[[noreturn]] void textureIoFailure(const std::string& fileName, const std::string& reason) {
  std::fprintf(stderr, "voltra: cannot read texture file %s: %s\n", fileName.c_str(), reason.c_str());
  std::fflush(nullptr);
  windowTeardownAfterFatal();
  std::_Exit(textureIoExitCode);
}

void setTextureParameters() {
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
}

void uploadPixels(std::int32_t components, std::int32_t width, std::int32_t height, GLenum format, bool mipmapped,
                  const std::uint8_t* pixels) {
  if (mipmapped) {
    // With a mipmap filter in place while the levels arrive, Mesa allocates
    // the whole chain with level 0; under GL_LINEAR it makes level 0 alone
    // and then every further level apart, which costs a 512 × 512 texture
    // 1 MB more. The filter is GL_LINEAR again before anything samples it.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    gluBuild2DMipmaps(GL_TEXTURE_2D, components, width, height, format, GL_UNSIGNED_BYTE, pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  } else
    glTexImage2D(GL_TEXTURE_2D, 0, components, width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
}

std::size_t pixelCount(const orbImage& image) {
  if (image.width <= 0 || image.height <= 0) return 0;
  return static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
}

// Grey pictures arrive one byte a pixel; the texture code works on B, G, R, A.
std::vector<std::uint8_t> expandGrey(const std::vector<std::uint8_t>& grey) {
  std::vector<std::uint8_t> pixels(grey.size() * 4);
  for (std::size_t i = 0; i < grey.size(); ++i) {
    pixels[4 * i] = grey[i];
    pixels[4 * i + 1] = grey[i];
    pixels[4 * i + 2] = grey[i];
    pixels[4 * i + 3] = 0;
  }
  return pixels;
}

}  // namespace

DecodedTexture decodeTextureFile(const std::string& fileName) {
  DecodedTexture decoded;
  decoded.result = codec::loadWaveletImage(decoded.pixels, decoded.header, fileName, true);
  const std::size_t count = static_cast<std::size_t>(decoded.header.width) * decoded.header.height;
  if (decoded.result.ok() && count > 0 && decoded.pixels.size() == count && decoded.header.bitsPerPixel == 8)
    decoded.pixels = expandGrey(decoded.pixels);
  return decoded;
}

orbTexture orbTexture::create(const std::string& fileName, std::int32_t components, bool mipmapped) {
  return create(fileName, decodeTextureFile(fileName), components, mipmapped);
}

orbTexture orbTexture::create(const std::string& fileName, DecodedTexture decoded, std::int32_t components,
                              bool mipmapped, bool uploadNow) {
  orbTexture texture;
  texture.header = decoded.header;
  const codec::LoadResult& result = decoded.result;
  if (result.status == codec::LoadStatus::ioError) textureIoFailure(fileName, result.reason);
  if (!result.ok() || texture.header.height == 0 || texture.header.width == 0) cannotLoadTexture();

  texture.image.width = texture.header.width;
  texture.image.height = texture.header.height;
  texture.image.components = components;
  texture.mipmapped = mipmapped;
  // A buffer that does not match the header.
  if (decoded.pixels.size() < pixelCount(texture.image) * 4) cannotLoadTexture();
  texture.image.pixels = std::move(decoded.pixels);

  glGenTextures(1, &texture.glName);
  glBindTexture(GL_TEXTURE_2D, texture.glName);
  logLine("Loading new Texture", static_cast<std::int32_t>(texture.glName));
  logLine(fileName, 0);
  logLine("Width: ", texture.image.width);
  logLine("Height: ", texture.image.height);
  logLine(logSeparator, 0);
  setTextureParameters();
  if (uploadNow)
    uploadPixels(components, texture.image.width, texture.image.height, GL_BGRA, mipmapped,
                 texture.image.pixels.data());
  return texture;
}

void orbTexture::upload() {
  if (image.pixels.size() < pixelCount(image) * 4) return;
  glDeleteTextures(1, &glName);
  glGenTextures(1, &glName);
  glBindTexture(GL_TEXTURE_2D, glName);
  setTextureParameters();
  uploadPixels(image.components, image.width, image.height, GL_BGRA, mipmapped, image.pixels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
}

void orbTexture::releasePixels() { std::vector<std::uint8_t>().swap(image.pixels); }

void orbTexture::dispose() {
  glDeleteTextures(1, &glName);
  logLine("Disposing Texture", static_cast<std::int32_t>(glName));
  logLine(logSeparator, 0);
  glName = 0;
  image = orbImage{};
}

void fillAlpha(orbImage& image, std::uint8_t value) {
  const std::size_t count = pixelCount(image);
  std::uint8_t* pixels = image.pixels.data();
  for (std::size_t i = 0; i < count; ++i) pixels[4 * i + 3] = value;
}

void copyAlpha(orbImage& destination, const orbImage& source) {
  const std::size_t count = pixelCount(destination);
  if (pixelCount(source) < count || source.pixels.size() < count * 4)
    fatalError("orbTexture", "Alpha source is smaller than the texture");
  // Index loop, not two pointers into possibly the same buffer kept apart:
  // with source == destination each pixel reads its own B before writing its A.
  const std::uint8_t* from = source.pixels.data();
  std::uint8_t* to = destination.pixels.data();
  for (std::size_t i = 0; i < count; ++i) to[4 * i + 3] = from[4 * i];
}

void getPixel(std::int32_t out[4], const orbImage& image, std::int32_t x, std::int32_t y) {
  if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
  const std::size_t index = (static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + x) * 4;
  if (index + 4 > image.pixels.size()) return;
  for (int k = 0; k < 4; ++k) out[k] = image.pixels[index + k];
}

orbRenderTexture orbRenderTexture::create(std::int32_t width, std::int32_t height, std::int32_t components,
                                          GLenum format, bool mipmapped) {
  orbRenderTexture texture;
  texture.mipmapped = mipmapped;
  texture.width = width > 0 ? width : 0;
  texture.height = height > 0 ? height : 0;
  texture.components = components > 0 ? components : 0;
  texture.format = format;
  std::size_t bytes = 0;
  if (__builtin_mul_overflow(static_cast<std::size_t>(texture.width), static_cast<std::size_t>(texture.height),
                             &bytes) ||
      __builtin_mul_overflow(bytes, static_cast<std::size_t>(texture.components), &bytes))
    fatalError("orbTexture", "Render texture is too large");
  // Zeroed rather than left undefined: the first frame's copy replaces it anyway.
  texture.pixels.assign(bytes, 0);
  glGenTextures(1, &texture.glName);
  glBindTexture(GL_TEXTURE_2D, texture.glName);
  setTextureParameters();
  uploadPixels(texture.components, texture.width, texture.height, format, mipmapped, texture.pixels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return texture;
}
