// forge: writes the show's data (pictures, soundtrack, script) into a folder.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "forge.h"

#ifndef FORGE_DEFAULT_ASSETS
#define FORGE_DEFAULT_ASSETS "assets"
#endif

namespace {

const char* const kUsage =
    "usage: forge OUTDIR [--contact-sheet FILE.png] [--assets DIR] [--fonts DIR]\n             [--sources DIR] [--verbose]\n"
    "\n"
    "Writes a complete show into OUTDIR: data/ with the 55 pictures, music.ogg and\n"
    "script.qsc. The same sources always give the same bytes.\n"
    "  --contact-sheet F  also draw every picture, decoded from its file, with its\n"
    "                     alpha and name, into the PNG file F\n"
    "  --assets DIR       the sources (default " FORGE_DEFAULT_ASSETS ")\n"
    "  --fonts DIR        the DejaVu fonts (default /usr/share/fonts/truetype/dejavu)\n"
    "  --sources DIR      also write every picture as made, before encoding, as PNG\n"
    "  --verbose          one line per picture: size, bytes, PSNR\n"
    "       forge --picture NAME FILE.png [--assets DIR] [--fonts DIR]\n"
    "                     makes one picture and writes it as PNG (for review)\n";

int usageError(const std::string& message) {
  std::fprintf(stderr, "forge: %s\n%s", message.c_str(), kUsage);
  return 2;
}

}  // namespace

int run(int argc, char** argv) {
  forge::Options options;
  std::string picture, pictureFile;
  options.assetsDir = FORGE_DEFAULT_ASSETS;
  options.fontsDir = "/usr/share/fonts/truetype/dejavu";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return false;
      out = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--contact-sheet") {
      if (!value(options.contactSheet)) return usageError("--contact-sheet needs a file name");
    } else if (arg == "--assets") {
      if (!value(options.assetsDir)) return usageError("--assets needs a folder");
    } else if (arg == "--fonts") {
      if (!value(options.fontsDir)) return usageError("--fonts needs a folder");
    } else if (arg == "--picture") {
      if (!value(picture) || !value(pictureFile)) return usageError("--picture needs a name and a PNG file");
    } else if (arg == "--sources") {
      if (!value(options.sourcesDir)) return usageError("--sources needs a folder");
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return usageError("unknown option " + arg);
    } else if (options.outDir.empty()) {
      options.outDir = arg;
    } else {
      return usageError("more than one output folder given");
    }
  }
  if (!picture.empty()) {
    forge::Image image;
    std::string why;
    if (!forge::makePicture(picture, options, image, &why) || !forge::writePicturePng(image, pictureFile, &why)) {
      std::fprintf(stderr, "forge: %s\n", why.c_str());
      return 1;
    }
    return 0;
  }
  if (options.outDir.empty()) return usageError("no output folder given");
  forge::Report report;
  std::string reason;
  if (!forge::forgeShow(options, report, &reason)) {
    std::fprintf(stderr, "forge: %s\n", reason.c_str());
    return 1;
  }
  std::printf("forge: wrote %s (55 pictures, worst PSNR %.1f dB in %s; %.1f s of music) in %.1f s\n",
              options.outDir.c_str(), report.worstPsnr, report.worstPicture.c_str(), report.musicSeconds,
              report.elapsedSeconds);
  return 0;
}

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    // Out of memory or a library failure: a clear message, never an abort.
    std::fprintf(stderr, "forge: %s\n", e.what());
    return 1;
  }
}
