// GL texture objects: a picture decoded from a .kpx file (codec/wavelet.h),
// kept in memory as 4-byte pixels B, G, R, A and uploaded as a GL texture; and
// the render texture, an empty texture the pipeline copies frames into.
//
// Pixels: every orbImage holds width × height pixels of 4 bytes B, G, R, A,
// rows in file order (row 0 first). The decoder leaves A at 0, so a
// 4-component texture is transparent until fillAlpha/copyAlpha set it. A grey
// (8-bit) file is expanded on load: the grey byte goes to B, G and R, A is 0,
// so grey and colour files are used alike.
//
// GL state:
//   orbTexture::create    generates a name, leaves it bound to GL_TEXTURE_2D.
//   orbTexture::upload    deletes the old name, makes a new one, binds 0 after.
//   orbTexture::dispose   deletes the name (binding of other names untouched).
//   orbRenderTexture::create generates a name, binds 0 after.
// Every texture gets MIN and MAG filter GL_LINEAR (also when mipmapped: the
// levels are stored, level 0 is sampled) and wrap S/T GL_REPEAT, and is
// uploaded as format GL_BGRA (render texture: its own format), type
// GL_UNSIGNED_BYTE, internal format = components; mipmapped ones through
// gluBuild2DMipmaps. GL errors are not examined.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "codec/wavelet.h"

struct orbImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  // 3 or 4: the internal format given to GL (the buffer is 4 bytes a pixel either way).
  std::int32_t components = 0;
  std::vector<std::uint8_t> pixels;  // width × height × 4 bytes
};

// A texture file decoded ahead of its texture (the part of create that needs
// no GL context): decodeTextureFile touches no GL and no shared state, so it
// may run on any thread; orbTexture::create(fileName, decoded, …) then does
// the rest on the GL thread, with create's logging, upload and failures.
struct DecodedTexture {
  codec::ImageHeader header{};
  codec::LoadResult result;
  std::vector<std::uint8_t> pixels;  // B, G, R, A (a grey file already expanded) when usable
};

// Never fails itself: a failure is kept in the result for create to report.
DecodedTexture decodeTextureFile(const std::string& fileName);

class orbTexture {
 public:
  codec::ImageHeader header{};
  bool mipmapped = false;
  orbImage image;
  GLuint glName = 0;

  // Decodes fileName and uploads it; logs "Loading new Texture" (GL name), the
  // file name, "Width: ", "Height: " and the separator. Failure contract:
  // a file the decoder rejects or that yields height 0 is fatal ("orbTexture",
  // "Could not load Texture"); a missing, short or unreadable file ends the
  // process with a line on stderr naming the file and exit code
  // textureIoExitCode (the window is torn down first; no error.txt).
  static orbTexture create(const std::string& fileName, std::int32_t components, bool mipmapped);
  // The same from a file decoded ahead (decodeTextureFile of fileName). With
  // uploadPixels false the new name gets its parameters but no pixels yet:
  // for a caller that changes the pixels and calls upload right away, which
  // replaces that name before anything could sample it.
  static orbTexture create(const std::string& fileName, DecodedTexture decoded, std::int32_t components,
                           bool mipmapped, bool uploadPixels = true);

  // Replaces the GL texture by a new one made from the current pixels. After
  // releasePixels there are none: the GL texture is left as it is.
  void upload();
  // Frees the pixel copy once nothing will read it again (GL holds its own);
  // width, height and components stay, getPixel then leaves its output as is.
  void releasePixels();
  // Deletes the GL texture, logs "Disposing Texture" (GL name) and the
  // separator, and releases the pixels. glName is 0 afterwards.
  void dispose();
};

inline constexpr int textureIoExitCode = 2;

// Every pixel's A := value.
void fillAlpha(orbImage& image, std::uint8_t value);

// Every destination pixel's A := the B byte of the source pixel at the same
// index (a white-on-black source makes black transparent, white opaque).
// source may be destination. A source with fewer pixels than the destination
// is fatal ("orbTexture", "Alpha source is smaller than the texture").
void copyAlpha(orbImage& destination, const orbImage& source);

// out[0..3] := B, G, R, A of pixel (x, y); out unchanged outside the picture.
void getPixel(std::int32_t out[4], const orbImage& image, std::int32_t x, std::int32_t y);

class orbRenderTexture {
 public:
  bool mipmapped = false;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t components = 0;
  std::vector<std::uint8_t> pixels;  // width × height × components bytes, zero
  GLenum format = GL_RGBA;
  GLuint glName = 0;

  // Negative sizes count as 0.
  static orbRenderTexture create(std::int32_t width, std::int32_t height, std::int32_t components, GLenum format,
                                 bool mipmapped);
};
