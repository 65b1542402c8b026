// The frame gallery: frames of the show rendered at listed music times, tiled
// into one labelled PNG for review (scripts/gallery.sh drives it).
//
// The list file (scripts/gallery.txt) is UTF-8 text, one entry a line:
//   MS LABEL      a music time in milliseconds (decimal digits, 0 … 600000),
//                 one or more spaces or tabs, then a free label (may be empty)
//   # …           a note; blank lines are skipped too
// The frame of an entry is FRAMEDIR/MS.png.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace forge {

struct GalleryEntry {
  std::int32_t ms = 0;
  std::string label;
};

// Parses a list file's text. False with "line N: why" on a malformed line.
bool parseGalleryList(const std::string& text, std::vector<GalleryEntry>& entries, std::string* reason);

// Tiles FRAMEDIR/MS.png of every entry, columns to a row, each frame under
// its time and label, into pngFile (written through a temporary name). A
// frame that cannot be read fails the whole sheet with its name and why;
// frames of different sizes are scaled to the first one's size; a sheet
// above 65535 pixels a side (the PNG limit of the writer) is refused.
bool writeGallery(const std::vector<GalleryEntry>& entries, const std::string& frameDir, const std::string& fontsDir,
                  int columns, const std::string& pngFile, std::string* reason);

}  // namespace forge
