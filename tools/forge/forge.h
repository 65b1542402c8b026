// forge_core: makes the show's data from the sources under assets/.
//
// A show folder holds:
//   data/NAME.kpx   the 55 pictures of the texture table (textureList()),
//                   wavelet image files, 24-bit colour, levelCount 4, 8-bit
//                   values in all three channels, no threshold
//   music.ogg       the soundtrack (music.h), Ogg Vorbis, 44.1 kHz stereo
//   script.qsc      the demo script, copied from assets/script.qsc
// Pictures come from three kinds of source: text under assets/text/ set with
// FreeType (text.h), synthesizer command lists under assets/synth/ (flower,
// heightmap, glow), and small drawing code of ours (pictures.h).
// Every byte depends only on the sources: two runs write identical folders.
//
// Error contract: the functions here return false with a reason instead of
// throwing. forgeShow builds the show in a new folder beside the output
// folder and swaps it in only when complete, so a failed run leaves the
// previous show whole; entries of the output folder that forge does not make
// (anything but data/, music.ogg and script.qsc) are kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace forge {

// An 8-bit RGB picture, rows top first.
struct Image {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // width × height × 3

  Image() = default;
  Image(int w, int h) : width(w), height(h), rgb(static_cast<std::size_t>(w) * h * 3, 0) {}
  std::uint8_t* at(int x, int y) { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
  const std::uint8_t* at(int x, int y) const {
    return &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
  }
};

// How the show uses a picture (mirrors the engine's texture table, which the
// forge does not link).
struct TextureInfo {
  const char* name;      // file stem, case as the show spells it
  int components;        // 3 or 4
  int alphaSource;       // index into textureList(), or -1
};
const std::vector<TextureInfo>& textureList();
int textureIndex(const std::string& name);  // -1 when unknown

// The encoding every picture gets.
inline constexpr int kLevelCount = 0;
inline constexpr int kValueBits = 8;

struct Options {
  std::string outDir;
  std::string assetsDir;     // holds text/, synth/, script.qsc
  std::string fontsDir;      // holds the DejaVu .ttf files
  std::string contactSheet;  // PNG to draw, or empty
  std::string sourcesDir;    // when set: every picture as made, before encoding, as NAME.png
  bool verbose = false;
};

struct Report {
  double worstPsnr = 0;           // dB, over all pictures
  std::string worstPicture;
  double musicSeconds = 0;
  double elapsedSeconds = 0;
};

// Writes the whole show folder (and the contact sheet when asked).
bool forgeShow(const Options& options, Report& report, std::string* reason);

// The pieces, for the tests and the tool.
// Makes picture `name` (a textureList() name) from the sources.
bool makePicture(const std::string& name, const Options& options, Image& out,
                 std::string* reason);

// Writes a picture as an RGB PNG. False with reason on failure.
bool writePicturePng(const Image& image, const std::string& pngFile, std::string* reason);

// The contact sheet of a written show folder: every texture decoded from its
// file, shown over a checkerboard through its alpha, beside its alpha as grey,
// with its name. Writes a PNG.
bool writeContactSheet(const std::string& showDir, const std::string& fontsDir,
                       const std::string& pngFile, std::string* reason);

}  // namespace forge
