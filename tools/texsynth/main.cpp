// texsynth: render synthesizer command lists (text or history dumps) to
// pictures, print a dump as a command list, compile a list into a dump.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "codec/wavelet.h"
#include "fileio/fileio.h"
#include "png_io.h"
#include "synth/operations.h"
#include "synth/synth.h"
#include "synth/text.h"

namespace {

const char* const kUsage =
    "usage: texsynth render INPUT --size N [--height H] -o OUT.png|OUT.kpx\n"
    "       texsynth export DUMP\n"
    "       texsynth compile TEXT -o DUMP\n"
    "       texsynth ops\n"
    "\n"
    "render   replays a command list or a 22020-byte history dump on N x N layers\n"
    "         (N x H with --height; powers of two from 2 to 8192) and writes the\n"
    "         output layer as an RGB PNG or a colour .kpx file.\n"
    "         Entries of a dump that replays skip are named on stderr.\n"
    "export   prints the five histories of a dump as a command list (skipped\n"
    "         entries as comments).\n"
    "compile  checks a command list and writes it as a history dump.\n"
    "ops      lists the operations with their opcodes and arguments.\n"
    "\n"
    "Command lists: one command per line as \"name(arg,...);\" (e.g.\n"
    "\"perlinNoise(4,32,1234,255,128,6,true);\"); \"[layer N]\" (0..4) starts the\n"
    "history of layer N, commands before any header belong to layer 4; blank\n"
    "lines and \"#\" comments are allowed. Layers 0..4 are replayed in order and\n"
    "layer 4 is the picture. Inputs are read up to 1 MiB. An output file is\n"
    "replaced only by a complete new one, never when it is the input; a device or\n"
    "FIFO is written in place.\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "texsynth: %s\n", message.c_str());
  return 1;
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "texsynth: %s\n%s", message.c_str(), kUsage);
  return 2;
}

bool parseSide(const std::string& text, int& out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < 2 || v > synth::kMaxLayerSide) return false;
  out = static_cast<int>(v);
  return synth::validLayerSide(out);
}

bool endsWith(const std::string& s, const char* suffix) {
  const std::string t = suffix;
  return s.size() > t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

// A dump may hold entries that replays skip (no operation, invalid
// arguments): name each with its reason. Text lists refuse them instead.
void warnSkippedEntries(const std::string& input) {
  std::string data;
  if (!synth::readCommandSource(input, data, nullptr) || data.find('\0') == std::string::npos) return;
  synth::Histories h{};
  if (!synth::decodeDump(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), h, nullptr)) return;
  for (int l = 0; l < synth::kHistoryLayers; ++l)
    for (int i = 0; i < h[std::size_t(l)].count; ++i) {
      const std::string why = synth::validateCommand(h[std::size_t(l)].opcodes[std::size_t(i)],
                                                     h[std::size_t(l)].params[std::size_t(i)]);
      if (!why.empty()) std::fprintf(stderr, "texsynth: warning: layer %d entry %d skipped: %s\n", l, i, why.c_str());
    }
}

int render(const std::vector<std::string>& args) {
  std::string input, output;
  int width = 0, height = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--size" || a == "--height" || a == "-o") {
      if (i + 1 >= args.size()) return usageError(a + " needs a value");
      const std::string& v = args[++i];
      if (a == "-o") {
        output = v;
      } else if (!parseSide(v, a == "--size" ? width : height)) {
        return usageError(a + " takes a power of two from 2 to 8192, not " + v);
      }
    } else if (!a.empty() && a[0] == '-') {
      return usageError("unknown option " + a);
    } else if (input.empty()) {
      input = a;
    } else {
      return usageError("more than one input: " + a);
    }
  }
  if (input.empty()) return usageError("render needs an INPUT");
  if (width == 0) return usageError("render needs --size N");
  if (output.empty()) return usageError("render needs -o OUT");
  if (height == 0) height = width;
  if (std::size_t(width) * std::size_t(height) > synth::kMaxLayerPixels)
    return usageError("layers of " + std::to_string(width) + " x " + std::to_string(height) +
                      " exceed " + std::to_string(synth::kMaxLayerPixels) + " pixels");
  const bool png = endsWith(output, ".png");
  if (!png && !endsWith(output, ".kpx")) return usageError("OUT must end in .png or .kpx: " + output);

  std::vector<std::uint8_t> rgb;
  std::string why;
  if (!synth::renderCommandSource(input, width, height, rgb, &why, synth::PixelFormat::rgb)) return fail(why);
  warnSkippedEntries(input);

  if (png) {
    kpx::Picture picture;
    picture.width = width;
    picture.height = height;
    picture.grey = false;
    picture.pixels = std::move(rgb);
    if (!kpx::writePng(output, picture, &why, {input})) return fail(why);
    return 0;
  }
  // The deepest transform (up to 5 steps) that divides both sides.
  int levels = 5;
  while (levels > 0 && (width % (2 << levels) != 0 || height % (2 << levels) != 0)) --levels;
  codec::EncodeParams params{};
  params.levelCount = levels;
  params.valueBits[0] = params.valueBits[1] = params.valueBits[2] = 8;
  params.threshold = -1.0;
  params.grey = false;
  const std::vector<std::uint8_t> file = codec::encodeImage(rgb.data(), width, height, params, &why);
  if (file.empty()) return fail(why);
  fileio::OutputOptions options;
  options.inputs = {input};
  options.allowStdout = true;
  if (!fileio::writeWholeFile(output, file.data(), file.size(), options, &why)) return fail(why);
  return 0;
}

int exportDump(const std::vector<std::string>& args) {
  if (args.size() != 1) return usageError("export takes one DUMP file");
  synth::Histories h{};
  std::string why;
  if (!synth::loadDumpFile(args[0], h, &why)) return fail(why);
  const std::string text = synth::historiesToText(h);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
    return fail(std::string("cannot write the listing: ") + std::strerror(errno));
  return 0;
}

int compile(const std::vector<std::string>& args) {
  std::string input, output;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (i + 1 >= args.size()) return usageError("-o needs a value");
      output = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      return usageError("unknown option " + args[i]);
    } else if (input.empty()) {
      input = args[i];
    } else {
      return usageError("more than one input: " + args[i]);
    }
  }
  if (input.empty() || output.empty()) return usageError("compile needs TEXT and -o DUMP");
  std::string text, why;
  if (!fileio::readFile(input, synth::kMaxCommandSourceBytes, text, &why)) return fail(why);
  synth::Histories h{};
  if (!synth::parseCommandList(text, h, &why)) return fail(input + ": " + why);
  if (!synth::saveDumpFile(output, h, &why, {input})) return fail(why);
  return 0;
}

int listOperations() {
  for (const synth::OperationInfo& op : synth::operationTable()) {
    std::printf("%2d %s(", op.opcode, op.name);
    for (int k = 0; k < op.argCount; ++k) {
      const synth::ArgSpec& a = op.args[k];
      const char* kind = "";
      switch (a.kind) {
        case synth::ArgKind::layer: kind = "layer"; break;
        case synth::ArgKind::workLayer: kind = "layer 0..4"; break;
        case synth::ArgKind::integer: kind = "int"; break;
        case synth::ArgKind::real: kind = "real"; break;
        case synth::ArgKind::boolean: kind = "bool"; break;
        case synth::ArgKind::span: kind = "real"; break;
        case synth::ArgKind::bailout: kind = "always 16"; break;
      }
      std::printf("%s%s: %s", k ? ", " : "", a.name, kind);
    }
    std::printf(")\n");
  }
  return 0;
}

}  // namespace

int run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return usageError("no command given");
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  if (command == "render") return render(args);
  if (command == "export") return exportDump(args);
  if (command == "compile") return compile(args);
  if (command == "ops") return listOperations();
  return usageError("unknown command " + command);
}

int main(int argc, char** argv) {
  // Out of memory or a library's exception: a message naming the files, never an abort.
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::string files;
    for (int i = 2; i < argc; ++i)
      if (argv[i][0] != '-' && std::string(argv[i - 1]) != "--size" && std::string(argv[i - 1]) != "--height")
        files += std::string(files.empty() ? "" : ", ") + argv[i];
    return fail((files.empty() ? "" : files + ": ") +
                (dynamic_cast<const std::bad_alloc*>(&e) ? std::string("out of memory") : std::string(e.what())));
  }
}
