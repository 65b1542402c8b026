// kpx: inspect, decode and encode wavelet image files.
#include <cerrno>
#include <cmath>
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
#include "search.h"

namespace {

const char* const kUsage =
    "usage: kpx info FILE.kpx\n"
    "       kpx decode IN.kpx OUT.png\n"
    "       kpx encode IN.png OUT.kpx [--levels N] [--bits B | --bits Y,U,V]\n"
    "                                 [--threshold T] [--grey]\n"
    "       kpx encode IN.png OUT.kpx (--psnr DB | --max-bytes N) [--grey]\n"
    "\n"
    "info    prints the header fields, the section sizes and whether the file is valid\n"
    "        (exit status 1 when it is not).\n"
    "decode  writes a colour file as an RGB PNG, a grey file as a grey PNG.\n"
    "encode  compresses a PNG (any PNG type; alpha is composited onto black).\n"
    "  --levels N      transform steps minus one, 0..16; both sides of the picture must\n"
    "                  be divisible by 2^(N+1) (default: the largest up to 5 that fits)\n"
    "  --bits B        value width 1..8 of every channel (default 8); Y,U,V per channel\n"
    "  --threshold T   zero every detail coefficient of magnitude <= T (default: none)\n"
    "  --grey          write a grey file (colour input becomes 0.3R + 0.59G + 0.11B)\n"
    "  --psnr DB       choose levels, widths and threshold for at least DB dB PSNR\n"
    "                  in the fewest bytes\n"
    "  --max-bytes N   choose them for the best PSNR within N bytes\n"
    "\n"
    "Inputs are read up to 256 MiB (PNG pictures up to 8192 x 8192 pixels). An output\n"
    "file is replaced only by a complete new one, never when it is an input; a device\n"
    "or FIFO is written in place, and OUT \"-\" is standard output.\n";

// info reads whole files; the show's largest picture is a few MiB.
constexpr std::uint64_t kMaxKpxFileBytes = std::uint64_t{256} << 20;

int fail(const std::string& message) {
  std::fprintf(stderr, "kpx: %s\n", message.c_str());
  return 1;
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "kpx: %s\n%s", message.c_str(), kUsage);
  return 2;
}

bool parseInt(const std::string& text, long lo, long hi, long& out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi) return false;
  out = v;
  return true;
}

bool parseReal(const std::string& text, double& out) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(v)) return false;
  out = v;
  return true;
}

int info(const std::string& fileName) {
  std::vector<std::uint8_t> bytes;
  std::string reason;
  if (!fileio::readFile(fileName, kMaxKpxFileBytes, bytes, &reason)) return fail(reason);
  std::printf("file            %s (%zu bytes)\n", fileName.c_str(), bytes.size());
  codec::ImageHeader h;
  if (!codec::parseImageHeader(bytes.data(), bytes.size(), h)) {
    std::printf("valid           no: shorter than the 36-byte header\n");
    return 1;
  }
  const bool colour = h.bitsPerPixel == 24;
  std::printf("magic           %02X %02X %02X", std::uint8_t(h.magic[0]), std::uint8_t(h.magic[1]),
              std::uint8_t(h.magic[2]));
  if (std::memcmp(h.magic, "KPX", 3) == 0) std::printf(" (KPX)");
  std::printf("\nsize            %u x %u\n", h.width, h.height);
  std::printf("bits per pixel  %u (%s)\n", h.bitsPerPixel,
              colour ? "colour" : h.bitsPerPixel == 8 ? "grey" : "unknown");
  std::printf("level count     %u (%u steps)\n", h.levelCount, h.levelCount + 1u);
  codec::ImageLayout layout;
  const codec::LoadResult checked = codec::validateImageHeader(h, bytes.size(), &layout);
  const char* names[3] = {colour ? "Y" : "grey", "U", "V"};
  for (int c = 0; c < (colour ? 3 : 1); ++c)
    std::printf("channel %d %-5s  %u symbols (%llu bytes), %u values of %u bits (%llu bytes)\n", c,
                names[c], h.symbolCount[c], (unsigned long long)layout.symbolBytes[c],
                h.valueCount[c], h.valueBits[c], (unsigned long long)layout.valueBytes[c]);
  std::printf("header          36 bytes\ntables          %llu bytes\n",
              (unsigned long long)layout.tableBytes);
  std::printf("announced       %llu bytes", (unsigned long long)layout.totalBytes);
  if (layout.totalBytes < bytes.size())
    std::printf(" (%llu trailing bytes ignored)",
                (unsigned long long)(bytes.size() - layout.totalBytes));
  std::printf("\n");
  if (!checked.ok()) {
    std::printf("valid           no: %s\n", checked.reason.c_str());
    return 1;
  }
  std::vector<std::uint8_t> pixels;
  const codec::LoadResult decoded = codec::decodeWaveletImage(bytes.data(), bytes.size(), pixels, h);
  if (!decoded.ok()) {
    std::printf("valid           no: %s\n", decoded.reason.c_str());
    return 1;
  }
  const double bpp = 8.0 * double(bytes.size()) / (double(h.width) * h.height);
  std::printf("valid           yes (%.3f bits per pixel)\n", bpp);
  return 0;
}

int decode(const std::string& in, const std::string& out) {
  std::vector<std::uint8_t> pixels;
  codec::ImageHeader header;
  const codec::LoadResult r = codec::loadWaveletImage(pixels, header, in, true);
  if (!r.ok()) return fail(r.reason);
  kpx::Picture picture;
  picture.width = header.width;
  picture.height = header.height;
  picture.grey = header.bitsPerPixel == 8;
  if (picture.grey) {
    picture.pixels = std::move(pixels);
  } else {
    const std::size_t count = std::size_t(header.width) * header.height;
    picture.pixels.resize(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
      picture.pixels[3 * i + 0] = pixels[4 * i + 2];
      picture.pixels[3 * i + 1] = pixels[4 * i + 1];
      picture.pixels[3 * i + 2] = pixels[4 * i + 0];
    }
  }
  std::string reason;
  if (!kpx::writePng(out, picture, &reason, {in})) return fail(reason);
  return 0;
}

int encode(int argc, char** argv) {
  if (argc < 4) return usageError("encode needs IN.png and OUT.kpx");
  const std::string in = argv[2], out = argv[3];
  long levels = -1;
  int bits[3] = {8, 8, 8};
  double threshold = -1, targetPsnr = 0;
  long maxBytes = 0;
  bool grey = false, explicitParams = false, wantPsnr = false, wantSize = false;
  for (int i = 4; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    const std::string value = hasValue ? argv[i + 1] : "";
    if (arg == "--grey") {
      grey = true;
      continue;
    }
    if (arg != "--levels" && arg != "--bits" && arg != "--threshold" && arg != "--psnr" &&
        arg != "--max-bytes")
      return usageError("unknown option " + arg);
    if (!hasValue) return usageError(arg + " needs a value");
    ++i;
    if (arg == "--levels") {
      if (!parseInt(value, 0, codec::kMaxLevelCount, levels))
        return usageError("--levels takes 0..16, not " + value);
      explicitParams = true;
    } else if (arg == "--bits") {
      long b[3];
      int n = 0;
      std::size_t start = 0;
      bool good = true;
      while (good) {
        const std::size_t comma = value.find(',', start);
        const std::string part = value.substr(start, comma == std::string::npos ? comma : comma - start);
        if (n == 3 || !parseInt(part, 1, 8, b[n])) good = false;
        ++n;
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
      if (!good || (n != 1 && n != 3)) return usageError("--bits takes B or Y,U,V with each 1..8, not " + value);
      for (int c = 0; c < 3; ++c) bits[c] = int(b[n == 1 ? 0 : c]);
      explicitParams = true;
    } else if (arg == "--threshold") {
      if (!parseReal(value, threshold) || threshold < 0)
        return usageError("--threshold takes a real >= 0, not " + value);
      explicitParams = true;
    } else if (arg == "--psnr") {
      if (!parseReal(value, targetPsnr) || targetPsnr <= 0)
        return usageError("--psnr takes a positive number of dB, not " + value);
      wantPsnr = true;
    } else {
      if (!parseInt(value, 1, 0x7FFFFFFF, maxBytes))
        return usageError("--max-bytes takes a positive number of bytes, not " + value);
      wantSize = true;
    }
  }
  if (wantPsnr && wantSize) return usageError("give either --psnr or --max-bytes, not both");
  if ((wantPsnr || wantSize) && explicitParams)
    return usageError("--psnr and --max-bytes choose --levels, --bits and --threshold themselves");

  kpx::Picture picture;
  std::string reason;
  if (!kpx::readPng(in, grey, picture, &reason)) return fail(reason);

  codec::EncodeParams params{};
  if (wantPsnr || wantSize) {
    if (kpx::maxLevelCount(picture.width, picture.height) < 0)
      return fail(in + ": picture size " + std::to_string(picture.width) + " x " +
                  std::to_string(picture.height) + " is not divisible by 2");
    const kpx::SearchResult s = wantPsnr ? kpx::searchForPsnr(picture, targetPsnr)
                                         : kpx::searchForSize(picture, std::size_t(maxBytes));
    if (!s.reached) {
      if (wantPsnr)
        return fail("no parameters reach " + std::to_string(targetPsnr) +
                    " dB; the best reachable is " + std::to_string(s.best.psnr) + " dB (" +
                    kpx::describe(s.best.params) + ", " + std::to_string(s.best.bytes) +
                    " bytes); nothing written");
      return fail("no parameters fit " + std::to_string(maxBytes) +
                  " bytes; the smallest reachable is " + std::to_string(s.best.bytes) + " bytes (" +
                  kpx::describe(s.best.params) + ", " + std::to_string(s.best.psnr) +
                  " dB); nothing written");
    }
    params = s.best.params;
    std::fprintf(out == "-" ? stderr : stdout, "chose %s after %d trials\n", kpx::describe(params).c_str(), s.trials);
  } else {
    if (levels < 0) {
      levels = kpx::maxLevelCount(picture.width, picture.height, 5);
      if (levels < 0)
        return fail(in + ": picture size " + std::to_string(picture.width) + " x " +
                    std::to_string(picture.height) + " is not divisible by 2");
    }
    params.levelCount = int(levels);
    for (int c = 0; c < 3; ++c) params.valueBits[c] = std::uint8_t(bits[c]);
    params.threshold = threshold;
    params.grey = grey;
  }
  const std::vector<std::uint8_t> file =
      codec::encodeImage(picture.pixels.data(), picture.width, picture.height, params, &reason);
  if (file.empty()) return fail(in + ": " + reason);
  std::vector<std::uint8_t> decoded;
  codec::ImageHeader header;
  const codec::LoadResult check = codec::decodeWaveletImage(file.data(), file.size(), decoded, header);
  if (!check.ok()) return fail("the encoded file does not decode: " + check.reason);
  fileio::OutputOptions options;
  options.inputs = {in};
  options.allowStdout = true;
  if (!fileio::writeWholeFile(out, file.data(), file.size(), options, &reason)) return fail(reason);
  std::fprintf(out == "-" ? stderr : stdout, "wrote %s: %zu bytes (%.3f bits per pixel), PSNR %.2f dB\n", out.c_str(), file.size(),
              8.0 * double(file.size()) / (double(picture.width) * picture.height),
              kpx::psnr(picture, decoded));
  return 0;
}

}  // namespace

int run(int argc, char** argv) {
  if (argc < 2) return usageError("no command given");
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "info") {
    if (argc != 3) return usageError("info takes one file");
    return info(argv[2]);
  }
  if (command == "decode") {
    if (argc != 4) return usageError("decode takes IN.kpx and OUT.png");
    return decode(argv[2], argv[3]);
  }
  if (command == "encode") return encode(argc, argv);
  return usageError("unknown command " + command);
}

int main(int argc, char** argv) {
  // Out of memory or a library's exception: a message naming the files, never an abort.
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::string files;
    for (int i = 2; i < argc && argv[i][0] != '-'; ++i) files += std::string(files.empty() ? "" : ", ") + argv[i];
    return fail((files.empty() ? "" : files + ": ") +
                (dynamic_cast<const std::bad_alloc*>(&e) ? std::string("out of memory") : std::string(e.what())));
  }
}
