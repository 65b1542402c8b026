// Text pictures: words from assets/text/*.txt set with FreeType in the
// DejaVu fonts.
//
// Source format (plain UTF-8, one picture per section):
//   # comment                       ignored
//   [name option=value ...]         starts the picture `name`
//   ! words                         a headline (bold, large)
//   * words                         a subheading (bold, accent colour)
//   > words                         a line set in the mono font
//   (empty line)                    a paragraph gap
//   any other line                  body text, wrapped to the column width
// Options: size=N (picture side, power of two, default 512), body=N (body
// text pixel height, default 30), head=N (headline height, default 2 × body),
// align=center|left (default center), valign=center|top|bottom (default
// center: where the block of lines sits), squeeze=F (horizontal scale of the
// glyphs, default 1: for pictures the show stretches wider than tall).
// The block of lines is centred vertically; a margin of 6 % of the side stays
// black on every edge.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "forge.h"

namespace forge {

struct TextSection {
  std::string name;
  std::map<std::string, std::string> options;
  std::vector<std::string> lines;  // as written, markers included
};

// Parses a source file's text. False with reason (naming the line) for a
// line before the first section, a malformed header or a repeated name.
bool parseTextSource(const std::string& text, std::vector<TextSection>& sections,
                     std::string* reason);

// Grey coverage canvas for glyphs.
struct Coverage {
  int width = 0, height = 0;
  std::vector<float> value;  // 0 … 1
};

class Typesetter {
 public:
  Typesetter();
  ~Typesetter();
  Typesetter(const Typesetter&) = delete;
  Typesetter& operator=(const Typesetter&) = delete;

  // Opens the fonts in fontsDir. False with reason when FreeType or a font fails.
  bool open(const std::string& fontsDir, std::string* reason);

  enum Font { regular, bold, mono };
  // Width in pixels of text at pixel height size (with the horizontal squeeze).
  double measure(Font font, int size, const std::string& utf8, double squeeze = 1.0);
  // Draws text with its baseline at y, starting at x; adds coverage × colour
  // into image (saturating).
  void draw(Image& image, Font font, int size, double x, double y, const std::string& utf8,
            const std::uint8_t colour[3], double squeeze = 1.0);
  // Line height (ascender − descender + gap) at pixel height size.
  double lineHeight(Font font, int size);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Sets a section into a fresh black picture. False with reason when a word
// does not fit the column or the block does not fit the picture.
bool setTextPicture(Typesetter& typesetter, const TextSection& section, Image& out,
                    std::string* reason);

}  // namespace forge
