#include "forge.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <sstream>
#include <thread>

#include "codec/wavelet.h"
#include "fileio/fileio.h"
#include "music.h"
#include "pictures.h"
#include "png_io.h"
#include "search.h"
#include "synth/text.h"
#include "text.h"

namespace forge {

namespace {

namespace fs = std::filesystem;

// Slot order of the show's texture table; the alpha source is an index here.
const std::vector<TextureInfo> kTextures = {
    {"loading", 3, -1},       {"heightmap", 3, -1},     {"fiveborder", 4, 2},   {"handsup", 4, 3},
    {"voltra_alpha", 3, -1},  {"voltra", 4, 4},         {"text1_1", 4, 6},      {"text1_2", 4, 7},
    {"text1_3", 4, 8},        {"text1_4", 4, 9},        {"Text2_1", 4, 10},     {"Text2_2", 4, 11},
    {"Text2_3", 4, 12},       {"Text2_4", 4, 13},       {"Text2_5", 4, 14},     {"text3_1", 4, 15},
    {"Text3_2", 4, 16},       {"Text3_3", 4, 17},       {"Text3_4", 4, 18},     {"Text3_5", 4, 19},
    {"Text3_6", 4, 20},       {"Text3_7", 4, 21},       {"Text4_1", 4, 22},     {"Text4_2", 4, 23},
    {"Text4_3", 4, 24},       {"Text4_4", 4, 25},       {"Text4_5", 4, 26},     {"Text4_6", 4, 27},
    {"Text5_1", 4, 28},       {"Text5_2", 4, 29},       {"Text5_3", 4, 30},     {"Text6_1", 4, 31},
    {"Text6_2", 4, 32},       {"Text6_3", 4, 33},       {"Text6_4", 4, 34},     {"flower1", 4, 35},
    {"greets_g1", 4, 36},     {"greets_g2", 4, 37},     {"greets_g3", 4, 38},   {"greets_g4", 4, 39},
    {"greets_g5", 4, 40},     {"greets_g6", 4, 41},     {"greets_greets", 4, 42}, {"greets_voltra", 4, 43},
    {"greets_g7", 4, 44},     {"star_alpha", 3, -1},    {"star", 4, 45},        {"fuckings1", 4, 47},
    {"fuckings2", 4, 48},     {"finger", 3, -1},        {"credits", 4, 50},     {"credits2", 4, 51},
    {"credits3", 4, 52},      {"credits4", 4, 53},      {"credits5", 4, 54},
};

const char* const kTextSources[] = {"text/pages.txt", "text/greets.txt", "text/credits.txt",
                                    "text/scroller.txt"};

// Sources are small text files; anything beyond 1 MiB is not one of them.
bool readText(const std::string& path, std::string& out, std::string* reason) {
  return fileio::readFile(path, std::uint64_t{1} << 20, out, reason);
}

// Everything a picture may be made from, loaded once per run.
struct Sources {
  Typesetter typesetter;
  std::map<std::string, TextSection> sections;

  std::string assetsDir;

  bool load(const Options& o, std::string* reason) {
    assetsDir = o.assetsDir;
    if (!typesetter.open(o.fontsDir, reason)) return false;
    for (const char* name : kTextSources) {
      std::string text, why;
      const std::string path = o.assetsDir + "/" + name;
      if (!readText(path, text, reason)) return false;
      std::vector<TextSection> parsed;
      if (!parseTextSource(text, parsed, &why)) {
        if (reason) *reason = path + ": " + why;
        return false;
      }
      for (auto& s : parsed) {
        if (textureIndex(s.name) < 0) {
          if (reason) *reason = path + ": [" + s.name + "] is not a picture of the show";
          return false;
        }
        if (!sections.emplace(s.name, s).second) {
          if (reason) *reason = path + ": [" + s.name + "] is given twice";
          return false;
        }
      }
    }
    return true;
  }
};

// A synthesizer command list under synth/NAME.txt makes the picture when
// there is one; its "# size N" line gives the side.
bool makeFromCommandList(const std::string& path, const std::string& name, Image& out, std::string* reason) {
  std::string text;
  if (!readText(path, text, reason)) return false;
  int side = 256;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line))
    if (line.rfind("# size ", 0) == 0) side = std::atoi(line.c_str() + 7);
  if (side < 2 || side > 2048 || (side & (side - 1)) != 0) {
    if (reason) *reason = path + ": the \"# size N\" line needs a power of two up to 2048";
    return false;
  }
  std::vector<std::uint8_t> rgb;
  std::string why;
  if (!synth::renderCommandText(text, side, side, rgb, &why, synth::PixelFormat::rgb)) {
    if (reason) *reason = path + ": " + why;
    return false;
  }
  out = Image(side, side);
  out.rgb = std::move(rgb);
  (void)name;
  return true;
}

bool makeUpright(Sources& src, const std::string& name, Image& out, std::string* reason) {
  if (auto it = src.sections.find(name); it != src.sections.end())
    return setTextPicture(src.typesetter, it->second, out, reason);
  const std::string list = src.assetsDir + "/synth/" + name + ".txt";
  if (fs::exists(list)) return makeFromCommandList(list, name, out, reason);
  if (name == "star") return out = makeStar(), true;
  if (name == "star_alpha") return out = makeStarAlpha(), true;
  if (name == "fiveborder") return out = makeFiveborder(), true;
  if (name == "handsup") return out = makeHandsup(), true;
  if (name == "loading") return makeLoading(src.typesetter, out, reason);
  if (name == "voltra" || name == "voltra_alpha") {
    Image colour, alpha;
    if (!makeLogo(src.typesetter, colour, alpha, reason)) return false;
    out = name == "voltra" ? colour : alpha;
    return true;
  }
  if (reason) *reason = name + ": no source makes this picture";
  return false;
}

// Every picture as the show stores it: the greetings sheet's pictures upside
// down (see storedFlipped), the rest as drawn.
bool makeFrom(Sources& src, const std::string& name, Image& out, std::string* reason) {
  if (!makeUpright(src, name, out, reason)) return false;
  if (storedFlipped(name)) flipVertically(out);
  return true;
}

// The script is copied as written, after checking that it names the
// soundtrack and places all thirteen scenes.
bool checkScript(const std::string& text, std::string* reason) {
  std::istringstream in(text);
  std::string line;
  bool music = false;
  bool placed[14] = {};
  while (std::getline(in, line)) {
    if (line.rfind("@music ", 0) == 0) {
      std::istringstream f(line.substr(7));
      std::string type, file;
      f >> type >> file;
      if (file != "music.ogg") {
        if (reason) *reason = "script.qsc: the @music line must name music.ogg";
        return false;
      }
      music = true;
    } else if (line.rfind("@scene Scene", 0) == 0 && line.size() > 14) {
      const int n = std::atoi(line.substr(12, 2).c_str());
      if (n >= 1 && n <= 13) placed[n] = true;
    }
  }
  if (!music) {
    if (reason) *reason = "script.qsc: no @music line";
    return false;
  }
  for (int n = 1; n <= 13; ++n)
    if (!placed[n]) {
      if (reason) *reason = "script.qsc: Scene" + std::string(n < 10 ? "0" : "") + std::to_string(n) + " is not placed";
      return false;
    }
  return true;
}

}  // namespace

const std::vector<TextureInfo>& textureList() { return kTextures; }

int textureIndex(const std::string& name) {
  for (std::size_t i = 0; i < kTextures.size(); ++i)
    if (name == kTextures[i].name) return static_cast<int>(i);
  return -1;
}

bool makePicture(const std::string& name, const Options& options, Image& out, std::string* reason) {
  if (textureIndex(name) < 0) {
    if (reason) *reason = name + " is not a picture of the show";
    return false;
  }
  Sources src;
  if (!src.load(options, reason)) return false;
  return makeFrom(src, name, out, reason);
}

bool writePicturePng(const Image& image, const std::string& pngFile, std::string* reason) {
  kpx::Picture png;
  png.width = image.width;
  png.height = image.height;
  png.pixels = image.rgb;
  return kpx::writePng(pngFile, png, reason);
}

bool forgeShow(const Options& o, Report& report, std::string* reason) {
  const auto started = std::chrono::steady_clock::now();
  std::error_code ec;
  if (fs::equivalent(o.outDir, o.assetsDir, ec)) {
    if (reason) *reason = "the output folder " + o.outDir + " is the sources folder";
    return false;
  }
  // The show is built in a new folder beside the target and swapped in only
  // when complete: a run that fails part-way leaves the previous show whole.
  fileio::StagedFolder staged;
  if (!staged.open(o.outDir, reason)) return false;
  const fs::path dir = staged.path();
  fs::create_directories(dir / "data", ec);
  if (ec) {
    if (reason) *reason = "cannot create " + (dir / "data").string() + ": " + ec.message();
    return false;
  }
  std::string script;
  if (!readText(o.assetsDir + "/script.qsc", script, reason) || !checkScript(script, reason)) return false;

  // The soundtrack takes as long as all pictures together: make it alongside.
  bool musicOk = false;
  std::string musicReason;
  std::thread musicThread([&] {
    try {
      const std::vector<float> samples = renderSoundtrack();
      musicOk = writeOggVorbis((dir / "music.ogg").string(), samples, &musicReason);
    } catch (const std::exception& e) {
      musicReason = std::string("the soundtrack failed: ") + e.what();
    }
  });
  // Joins the music on every way out, an exception included.
  struct Joiner {
    std::thread& thread;
    ~Joiner() {
      if (thread.joinable()) thread.join();
    }
  } joiner{musicThread};
  auto finish = [&](bool ok) {
    musicThread.join();
    if (ok && !musicOk) {
      if (reason) *reason = musicReason;
      return false;
    }
    return ok;
  };

  Sources src;
  if (!src.load(o, reason)) return finish(false);
  report.worstPsnr = std::numeric_limits<double>::infinity();
  for (const TextureInfo& t : kTextures) {
    Image image;
    if (!makeFrom(src, t.name, image, reason)) return finish(false);
    if (!o.sourcesDir.empty()) {
      kpx::Picture png;
      png.width = image.width;
      png.height = image.height;
      png.pixels = image.rgb;
      fs::create_directories(o.sourcesDir, ec);
      if (!kpx::writePng((fs::path(o.sourcesDir) / (std::string(t.name) + ".png")).string(), png, reason))
        return finish(false);
    }
    const codec::EncodeParams params{kLevelCount, {kValueBits, kValueBits, kValueBits}, -1.0, false};
    std::string why;
    const std::vector<std::uint8_t> file = codec::encodeImage(image.rgb.data(), image.width, image.height, params, &why);
    if (file.empty()) {
      if (reason) *reason = std::string(t.name) + ": " + why;
      return finish(false);
    }
    // Decode what was written, to be sure it reads back and to measure it.
    std::vector<std::uint8_t> decoded;
    codec::ImageHeader header{};
    if (!codec::decodeWaveletImage(file.data(), file.size(), decoded, header).ok()) {
      if (reason) *reason = std::string(t.name) + ": the written file does not decode";
      return finish(false);
    }
    kpx::Picture source;
    source.width = image.width;
    source.height = image.height;
    source.pixels = image.rgb;
    const double db = kpx::psnr(source, decoded);
    if (db < report.worstPsnr) {
      report.worstPsnr = db;
      report.worstPicture = t.name;
    }
    if (o.verbose) std::printf("forge: %-14s %4d x %-4d %7zu bytes  %.1f dB\n", t.name, image.width, image.height, file.size(), db);
    const std::string path = (dir / "data" / (std::string(t.name) + ".kpx")).string();
    if (!codec::writeFileAtomically(path, file.data(), file.size(), reason)) return finish(false);
  }
  const std::string scriptPath = (dir / "script.qsc").string();
  if (!codec::writeFileAtomically(scriptPath, reinterpret_cast<const std::uint8_t*>(script.data()), script.size(), reason))
    return finish(false);
  if (!finish(true)) return false;
  if (!staged.commit({"data", "music.ogg", "script.qsc"}, reason)) return false;
  report.musicSeconds = kMusicLengthMs / 1000.0;
  if (!o.contactSheet.empty() && !writeContactSheet(o.outDir, o.fontsDir, o.contactSheet, reason)) return false;
  report.elapsedSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return true;
}

}  // namespace forge
