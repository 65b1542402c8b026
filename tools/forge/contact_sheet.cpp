// The contact sheet: every picture as the show will see it, for review.
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "codec/wavelet.h"
#include "forge.h"
#include "png_io.h"
#include "text.h"

namespace forge {

namespace {

constexpr int kColumns = 6, kThumb = 160, kPad = 8, kLabel = 22;
constexpr int kCellW = 2 * kThumb + 3 * kPad, kCellH = kThumb + 2 * kPad + kLabel;

struct Decoded {
  int width = 0, height = 0;
  std::vector<std::uint8_t> bgra;
};

// Samples a decoded picture at thumbnail position (u, v) by averaging the
// pixels the thumbnail pixel covers (nearest pixel when enlarging).
void sample(const Decoded& d, int u, int v, int channel, double& out) {
  const int x0 = u * d.width / kThumb, x1 = std::max(x0 + 1, (u + 1) * d.width / kThumb);
  const int y0 = v * d.height / kThumb, y1 = std::max(y0 + 1, (v + 1) * d.height / kThumb);
  double sum = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) sum += d.bgra[(static_cast<std::size_t>(y) * d.width + x) * 4 + channel];
  out = sum / ((x1 - x0) * (y1 - y0)) / 255.0;
}

}  // namespace

bool writeContactSheet(const std::string& showDir, const std::string& fontsDir, const std::string& pngFile,
                       std::string* reason) {
  Typesetter ts;
  if (!ts.open(fontsDir, reason)) return false;
  const auto& list = textureList();
  std::vector<Decoded> pictures(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string path = (std::filesystem::path(showDir) / "data" / (std::string(list[i].name) + ".kpx")).string();
    codec::ImageHeader header{};
    const codec::LoadResult r = codec::loadWaveletImage(pictures[i].bgra, header, path, true);
    if (!r.ok()) {
      if (reason) *reason = path + ": " + r.reason;
      return false;
    }
    pictures[i].width = header.width;
    pictures[i].height = header.height;
    if (header.bitsPerPixel == 8) {  // grey files: spread to B, G, R as the engine does
      std::vector<std::uint8_t> bgra(pictures[i].bgra.size() * 4);
      for (std::size_t p = 0; p < pictures[i].bgra.size(); ++p)
        bgra[4 * p] = bgra[4 * p + 1] = bgra[4 * p + 2] = pictures[i].bgra[p];
      pictures[i].bgra = std::move(bgra);
    }
  }
  const int rows = static_cast<int>((list.size() + kColumns - 1) / kColumns);
  Image sheet(kColumns * kCellW, rows * kCellH);
  std::fill(sheet.rgb.begin(), sheet.rgb.end(), 24);
  const std::uint8_t labelColour[3] = {235, 235, 235};
  const std::uint8_t dimColour[3] = {150, 150, 150};
  for (std::size_t i = 0; i < list.size(); ++i) {
    const int cx = static_cast<int>(i % kColumns) * kCellW, cy = static_cast<int>(i / kColumns) * kCellH;
    const Decoded& d = pictures[i];
    const int source = list[i].alphaSource;
    for (int v = 0; v < kThumb; ++v)
      for (int u = 0; u < kThumb; ++u) {
        double b, g, r, a = 1.0;
        sample(d, u, v, 0, b);
        sample(d, u, v, 1, g);
        sample(d, u, v, 2, r);
        if (source >= 0) sample(pictures[source], u, v, 0, a);
        // Over a checkerboard, so the alpha shows.
        const double check = ((u / 10 + v / 10) % 2) ? 0.35 : 0.22;
        std::uint8_t* p = sheet.at(cx + kPad + u, cy + kPad + v);
        p[0] = static_cast<std::uint8_t>(std::lround(255 * (r * a + check * (1 - a))));
        p[1] = static_cast<std::uint8_t>(std::lround(255 * (g * a + check * (1 - a))));
        p[2] = static_cast<std::uint8_t>(std::lround(255 * (b * a + check * (1 - a))));
        std::uint8_t* q = sheet.at(cx + 2 * kPad + kThumb + u, cy + kPad + v);
        const std::uint8_t grey = source >= 0 ? static_cast<std::uint8_t>(std::lround(255 * a)) : 60;
        q[0] = q[1] = q[2] = grey;
      }
    const std::string label = std::string(list[i].name) + "  " + std::to_string(d.width) + "x" + std::to_string(d.height);
    ts.draw(sheet, Typesetter::regular, 14, cx + kPad, cy + kPad + kThumb + 17, label, labelColour);
    if (source < 0) {
      const std::string note = "no alpha";
      ts.draw(sheet, Typesetter::regular, 13, cx + 2 * kPad + kThumb + 50, cy + kPad + kThumb / 2 + 5, note, dimColour);
    }
  }
  kpx::Picture picture;
  picture.width = sheet.width;
  picture.height = sheet.height;
  picture.pixels = std::move(sheet.rgb);
  return kpx::writePng(pngFile, picture, reason);
}

}  // namespace forge
