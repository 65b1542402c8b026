#include "gallery.h"

#include <algorithm>
#include <cstddef>
#include <filesystem>

#include "forge.h"
#include "png_io.h"
#include "text.h"

namespace forge {

namespace {

constexpr int kPad = 6, kLabel = 20;

}  // namespace

bool writeGallery(const std::vector<GalleryEntry>& entries, const std::string& frameDir, const std::string& fontsDir,
                  int columns, const std::string& pngFile, std::string* reason) {
  if (entries.empty() || columns < 1) {
    if (reason) *reason = "nothing to tile";
    return false;
  }
  Typesetter ts;
  if (!ts.open(fontsDir, reason)) return false;
  std::vector<kpx::Picture> frames(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string path = (std::filesystem::path(frameDir) / (std::to_string(entries[i].ms) + ".png")).string();
    std::string why;
    if (!kpx::readPng(path, false, frames[i], &why)) {
      if (reason) *reason = path + ": " + why;
      return false;
    }
  }
  // Every cell takes the first frame's size; others are sampled to fit.
  const int fw = frames[0].width, fh = frames[0].height;
  const int cellW = fw + 2 * kPad, cellH = fh + 2 * kPad + kLabel;
  const int count = static_cast<int>(entries.size());
  const int cols = std::min(columns, count), rows = (count + cols - 1) / cols;
  const long long sheetW = static_cast<long long>(cols) * cellW, sheetH = static_cast<long long>(rows) * cellH;
  if (sheetW > 65535 || sheetH > 65535) {
    if (reason)
      *reason = "the sheet would be " + std::to_string(sheetW) + " x " + std::to_string(sheetH) +
                " pixels (at most 65535 a side): use smaller frames or other columns";
    return false;
  }
  Image sheet(static_cast<int>(sheetW), static_cast<int>(sheetH));
  std::fill(sheet.rgb.begin(), sheet.rgb.end(), 24);
  const std::uint8_t timeColour[3] = {250, 210, 120};
  const std::uint8_t labelColour[3] = {235, 235, 235};
  for (int k = 0; k < count; ++k) {
    const kpx::Picture& f = frames[static_cast<std::size_t>(k)];
    const int cx = (k % cols) * cellW + kPad, cy = (k / cols) * cellH + kPad;
    for (int y = 0; y < fh; ++y)
      for (int x = 0; x < fw; ++x) {
        const int sx = x * f.width / fw, sy = y * f.height / fh;
        const std::uint8_t* p = &f.pixels[(static_cast<std::size_t>(sy) * f.width + sx) * 3];
        std::copy(p, p + 3, sheet.at(cx + x, cy + y));
      }
    const std::string time = std::to_string(entries[static_cast<std::size_t>(k)].ms);
    const int baseline = cy + fh + kLabel - 5;
    ts.draw(sheet, Typesetter::bold, 13, cx, baseline, time, timeColour);
    const double timeWidth = ts.measure(Typesetter::bold, 13, time);
    // Long labels are squeezed to stay inside their cell.
    const std::string& label = entries[static_cast<std::size_t>(k)].label;
    const double room = fw - timeWidth - 8, width = ts.measure(Typesetter::regular, 13, label);
    const double squeeze = width > room && width > 0 ? std::max(0.5, room / width) : 1.0;
    ts.draw(sheet, Typesetter::regular, 13, cx + timeWidth + 8, baseline, label, labelColour, squeeze);
  }
  kpx::Picture picture;
  picture.width = sheet.width;
  picture.height = sheet.height;
  picture.pixels = std::move(sheet.rgb);
  return kpx::writePng(pngFile, picture, reason);
}

}  // namespace forge
