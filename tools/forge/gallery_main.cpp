// frame-gallery: tiles rendered frames of the show into one labelled PNG.
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>

#include "gallery.h"

namespace {

const char* const kUsage =
    "usage: frame-gallery LIST FRAMEDIR OUT.png [--columns N] [--fonts DIR]\n"
    "\n"
    "Tiles FRAMEDIR/MS.png for every 'MS label' line of LIST into OUT.png, each\n"
    "frame under its time and label (scripts/gallery.sh renders the frames).\n"
    "  --columns N  frames to a row (default 6)\n"
    "  --fonts DIR  the DejaVu fonts (default /usr/share/fonts/truetype/dejavu)\n";

int usageError(const std::string& message) {
  std::fprintf(stderr, "frame-gallery: %s\n%s", message.c_str(), kUsage);
  return 2;
}

int run(int argc, char** argv) {
  std::string files[3];
  int fileCount = 0, columns = 6;
  std::string fontsDir = "/usr/share/fonts/truetype/dejavu";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--columns") {
      if (i + 1 >= argc) return usageError("--columns needs a number");
      const std::string value = argv[++i];
      if (value.empty() || value.size() > 2 || value.find_first_not_of("0123456789") != std::string::npos ||
          std::stoi(value) < 1)
        return usageError("--columns takes a whole number from 1 to 99");
      columns = std::stoi(value);
    } else if (arg == "--fonts") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return usageError("--fonts needs a folder");
      fontsDir = argv[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      return usageError("unknown option " + arg);
    } else if (fileCount < 3) {
      files[fileCount++] = arg;
    } else {
      return usageError("too many arguments");
    }
  }
  if (fileCount != 3) return usageError("needs LIST, FRAMEDIR and OUT.png");
  std::ifstream in(files[0], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "frame-gallery: cannot read %s\n", files[0].c_str());
    return 1;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::vector<forge::GalleryEntry> entries;
  std::string reason;
  if (!forge::parseGalleryList(text.str(), entries, &reason)) {
    std::fprintf(stderr, "frame-gallery: %s: %s\n", files[0].c_str(), reason.c_str());
    return 1;
  }
  if (!forge::writeGallery(entries, files[1], fontsDir, columns, files[2], &reason)) {
    std::fprintf(stderr, "frame-gallery: %s\n", reason.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "frame-gallery: %s\n", e.what());
    return 1;
  }
}
