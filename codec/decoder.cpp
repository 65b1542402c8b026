// Decoder: header checks, stream unpacking and expansion, dequantisation,
// the synthesis steps and the byte conversion. These routines are the
// reference form of the algorithm; decodeWaveletImage runs the same
// arithmetic through the faster fused path in fast_decoder.cpp.
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <istream>
#include <iterator>
#include <new>

#include "codec/detail/fast_decoder.h"
#include "codec/detail/io.h"
#include "codec/wavelet.h"
#include "fileio/fileio.h"

namespace codec {

namespace {

constexpr double kHalfSqrt2 = 0.7071067811865476;

int channelCount(const ImageHeader& h) { return h.bitsPerPixel == 24 ? 3 : 1; }

LoadResult fail(LoadStatus status, std::string reason) { return {status, std::move(reason)}; }

// Reads the first maxBytes of a file; ioError names the file.
LoadResult readFileStart(const std::string& fileName, std::vector<std::uint8_t>& bytes, std::uint64_t maxBytes) {
  std::string reason;
  if (!fileio::readFileStart(fileName, maxBytes, bytes, nullptr, &reason)) return fail(LoadStatus::ioError, reason);
  return {};
}

// Highest number of coefficients a channel's streams can describe: every
// symbol pair a maximal run (one value each), every other symbol one.
std::uint64_t maxCoverage(std::uint32_t symbols, std::uint32_t values, int bits) {
  std::uint64_t runs = std::min<std::uint64_t>(symbols / 2, values);
  return runs * (std::uint64_t{1} << (bits + 2)) + (symbols - 2 * runs);
}

// Rasters up to this many pixels are decoded whatever their streams cover.
constexpr std::uint64_t kFreeRasterPixels = 1u << 16;

}  // namespace

bool parseImageHeader(const std::uint8_t* d, std::size_t size, ImageHeader& h) {
  if (d == nullptr || size < kHeaderSize) return false;
  std::memcpy(h.magic, d, 3);
  h.width = detail::readU16(d + 3);
  h.height = detail::readU16(d + 5);
  h.bitsPerPixel = d[7];
  h.levelCount = d[8];
  for (int c = 0; c < 3; ++c) {
    h.symbolCount[c] = detail::readU32(d + 9 + 4 * c);
    h.valueCount[c] = detail::readU32(d + 21 + 4 * c);
    h.valueBits[c] = d[33 + c];
  }
  return true;
}

void serializeImageHeader(const ImageHeader& h, std::uint8_t out[kHeaderSize]) {
  std::memcpy(out, h.magic, 3);
  detail::writeU16(out + 3, h.width);
  detail::writeU16(out + 5, h.height);
  out[7] = h.bitsPerPixel;
  out[8] = h.levelCount;
  for (int c = 0; c < 3; ++c) {
    detail::writeU32(out + 9 + 4 * c, h.symbolCount[c]);
    detail::writeU32(out + 21 + 4 * c, h.valueCount[c]);
    out[33 + c] = h.valueBits[c];
  }
}

LoadResult validateImageHeader(const ImageHeader& h, std::uint64_t fileSize, ImageLayout* layout) {
  if (h.width == 0 || h.height == 0)
    return fail(LoadStatus::rejected, "image size " + std::to_string(h.width) + " x " +
                                          std::to_string(h.height) + " is empty");
  if (h.bitsPerPixel != 8 && h.bitsPerPixel != 24)
    return fail(LoadStatus::rejected,
                "bits per pixel " + std::to_string(h.bitsPerPixel) + " is neither 8 nor 24");
  if (h.levelCount > kMaxLevelCount)
    return fail(LoadStatus::rejected,
                "level count " + std::to_string(h.levelCount) + " is above 16");
  const unsigned step = 1u << (h.levelCount + 1);
  if (h.width % step != 0 || h.height % step != 0)
    return fail(LoadStatus::rejected, "image size " + std::to_string(h.width) + " x " +
                                          std::to_string(h.height) + " is not divisible by " +
                                          std::to_string(step) + " (level count " +
                                          std::to_string(h.levelCount) + ")");
  const int channels = channelCount(h);
  ImageLayout l;
  l.tableBytes = std::uint64_t(channels) * (h.levelCount + 2) * 8;
  l.totalBytes = kHeaderSize + l.tableBytes;
  const std::uint64_t pixels = std::uint64_t(h.width) * h.height;
  for (int c = 0; c < channels; ++c) {
    const int bits = h.valueBits[c];
    if (bits < 1 || bits > 8)
      return fail(LoadStatus::rejected, "value width " + std::to_string(bits) + " of channel " +
                                            std::to_string(c) + " is outside 1..8");
    // Short streams leave zeros, but a raster far larger than the streams
    // could ever cover would only make a tiny file allocate gigabytes.
    if (pixels > kFreeRasterPixels && maxCoverage(h.symbolCount[c], h.valueCount[c], bits) < pixels)
      return fail(LoadStatus::rejected,
                  "the streams of channel " + std::to_string(c) +
                      " cannot describe a raster of " + std::to_string(h.width) + " x " +
                      std::to_string(h.height));
    l.symbolBytes[c] = (std::uint64_t(h.symbolCount[c]) + 3) / 4;
    l.valueBytes[c] = (std::uint64_t(h.valueCount[c]) * bits + 7) / 8;
    l.totalBytes += l.symbolBytes[c] + l.valueBytes[c];
  }
  if (layout) *layout = l;
  if (l.totalBytes > fileSize)
    return fail(LoadStatus::ioError, "file is shorter than its header announces (" +
                                         std::to_string(fileSize) + " bytes, needs " +
                                         std::to_string(l.totalBytes) + ")");
  return {};
}

LoadResult readImageHeader(const std::string& fileName, ImageHeader& header) {
  std::vector<std::uint8_t> bytes;
  std::uint64_t size = 0;
  std::string reason;
  if (!fileio::readFileStart(fileName, kHeaderSize, bytes, &size, &reason))
    return fail(LoadStatus::ioError, reason);
  if (bytes.size() != kHeaderSize)
    return fail(LoadStatus::ioError, fileName + ": file is shorter than the 36-byte header");
  parseImageHeader(bytes.data(), kHeaderSize, header);
  LoadResult r = validateImageHeader(header, size, nullptr);
  if (!r.ok()) r.reason = fileName + ": " + r.reason;
  return r;
}

void unpackSymbols(const std::uint8_t* packed, std::uint32_t count, std::uint8_t* symbols) {
  for (std::uint32_t i = 0; i < count; ++i) symbols[i] = (packed[i >> 2] >> (2 * (i & 3))) & 3;
}

void unpackValues(const std::uint8_t* packed, std::uint32_t count, int bits, std::uint8_t* values) {
  if (bits == 8) {
    if (count != 0) std::memcpy(values, packed, count);
    return;
  }
  const unsigned mask = (1u << bits) - 1;
  std::uint64_t bit = 0;
  for (std::uint32_t i = 0; i < count; ++i, bit += bits) {
    const std::uint64_t byte = bit >> 3;
    const unsigned shift = bit & 7;
    unsigned v = packed[byte] >> shift;
    if (shift + bits > 8) v |= unsigned(packed[byte + 1]) << (8 - shift);
    values[i] = std::uint8_t(v & mask);
  }
}

void expandCoefficients(std::int32_t* raster, const std::uint8_t* symbols,
                        std::uint32_t symbolCount, const std::uint8_t* values,
                        std::uint32_t valueCount, int width, int height, int /*levelCount*/,
                        int bits) {
  const std::size_t total = std::size_t(width) * height;
  std::size_t p = 0;
  std::uint32_t s = 0, v = 0;
  while (p < total && s < symbolCount) {
    const std::uint8_t symbol = symbols[s++];
    if (symbol == 0) {
      raster[p++] = 0;
    } else if (symbol == 1) {
      if (s >= symbolCount || v >= valueCount) break;
      const std::size_t run = (std::size_t(symbols[s++]) << bits) + values[v++] + 1;
      const std::size_t n = std::min(run, total - p);
      std::fill(raster + p, raster + p + n, 0);
      p += n;
    } else {
      if (v >= valueCount) break;
      const std::int32_t value = values[v++];
      raster[p++] = symbol == 2 ? value : -value;
    }
  }
}

namespace {

LoadResult readStreamsFromMemory(const std::uint8_t* data, std::size_t size,
                                 std::vector<std::int32_t>* rasters[3],
                                 std::vector<double>* tables[3]) {
  ImageHeader h;
  if (!parseImageHeader(data, size, h))
    return fail(LoadStatus::ioError, "file is shorter than the 36-byte header");
  ImageLayout layout;
  LoadResult r = validateImageHeader(h, size, &layout);
  if (!r.ok()) return r;
  const int channels = channelCount(h);
  const std::size_t entries = h.levelCount + 2;
  const std::uint8_t* cursor = data + kHeaderSize;
  for (int c = 0; c < channels; ++c) {
    tables[c]->resize(entries);
    for (std::size_t i = 0; i < entries; ++i, cursor += 8)
      (*tables[c])[i] = detail::readF64(cursor);
  }
  const std::size_t total = std::size_t(h.width) * h.height;
  std::vector<std::uint8_t> symbols, values;
  for (int c = 0; c < channels; ++c) {
    symbols.resize(h.symbolCount[c]);
    values.resize(h.valueCount[c]);
    unpackSymbols(cursor, h.symbolCount[c], symbols.data());
    cursor += layout.symbolBytes[c];
    unpackValues(cursor, h.valueCount[c], h.valueBits[c], values.data());
    cursor += layout.valueBytes[c];
    rasters[c]->assign(total, 0);
    expandCoefficients(rasters[c]->data(), symbols.data(), h.symbolCount[c], values.data(),
                       h.valueCount[c], h.width, h.height, h.levelCount, h.valueBits[c]);
  }
  return {};
}

}  // namespace

LoadResult readCoefficientStreams(const std::uint8_t* data, std::size_t size,
                                  std::vector<std::int32_t>& raster0,
                                  std::vector<std::int32_t>& raster1,
                                  std::vector<std::int32_t>& raster2, std::vector<double>& table0,
                                  std::vector<double>& table1, std::vector<double>& table2) {
  std::vector<std::int32_t>* rasters[3] = {&raster0, &raster1, &raster2};
  std::vector<double>* tables[3] = {&table0, &table1, &table2};
  return readStreamsFromMemory(data, size, rasters, tables);
}

LoadResult readCoefficientStreams(std::istream& in, std::vector<std::int32_t>& raster0,
                                  std::vector<std::int32_t>& raster1,
                                  std::vector<std::int32_t>& raster2, std::vector<double>& table0,
                                  std::vector<double>& table1, std::vector<double>& table2) {
  // Check the header against the stream's length before reading the body.
  std::uint8_t head[kHeaderSize];
  in.read(reinterpret_cast<char*>(head), kHeaderSize);
  if (in.gcount() != std::streamsize(kHeaderSize))
    return fail(LoadStatus::ioError, "file is shorter than the 36-byte header");
  ImageHeader h;
  parseImageHeader(head, kHeaderSize, h);
  ImageLayout layout;
  LoadResult r = validateImageHeader(h, ~std::uint64_t{0}, &layout);
  if (!r.ok()) return r;
  // Grow with the bytes that actually arrive, not with the header's claims.
  std::vector<std::uint8_t> bytes(head, head + kHeaderSize);
  char chunk[1 << 16];
  while (bytes.size() < layout.totalBytes && in) {
    const auto want = std::streamsize(std::min<std::uint64_t>(sizeof chunk, layout.totalBytes - bytes.size()));
    in.read(chunk, want);
    bytes.insert(bytes.end(), chunk, chunk + in.gcount());
  }
  return readCoefficientStreams(bytes.data(), bytes.size(), raster0, raster1, raster2, table0,
                                table1, table2);
}

LoadResult readCoefficientStreams(const std::string& fileName, std::vector<std::int32_t>& raster0,
                                  std::vector<std::int32_t>& raster1,
                                  std::vector<std::int32_t>& raster2, std::vector<double>& table0,
                                  std::vector<double>& table1, std::vector<double>& table2) {
  // Only the sections the header announces, checked against the file's size.
  ImageHeader h{};
  LoadResult r = readImageHeader(fileName, h);
  if (!r.ok()) return r;
  ImageLayout layout;
  validateImageHeader(h, ~std::uint64_t{0}, &layout);
  std::vector<std::uint8_t> bytes;
  r = readFileStart(fileName, bytes, layout.totalBytes);
  if (!r.ok()) return r;
  r = readCoefficientStreams(bytes.data(), bytes.size(), raster0, raster1, raster2, table0,
                             table1, table2);
  if (!r.ok()) r.reason = fileName + ": " + r.reason;
  return r;
}

void dequantizePlane(const std::int32_t* raster, double* plane, int w, int h, int n,
                     const double* table) {
  for (int L = 0; L <= n; ++L) {
    const double f = table[L] == 0 ? 0.0 : 1.0 / table[L];
    for (int y = 0; y < (h >> L); ++y) {
      const int xs = y < (h >> (L + 1)) ? (w >> (L + 1)) : 0;
      for (int x = xs; x < (w >> L); ++x)
        plane[std::size_t(y) * w + x] = raster[std::size_t(y) * w + x] * f;
    }
  }
  const double f = table[n + 1] == 0 ? 0.0 : 1.0 / table[n + 1];
  for (int y = 0; y < (h >> (n + 1)); ++y)
    for (int x = 0; x < (w >> (n + 1)); ++x)
      plane[std::size_t(y) * w + x] = raster[std::size_t(y) * w + x] * f;
}

void dequantizeColorPlanes(const std::int32_t* const rasters[3], double* const planes[3], int w,
                           int h, int n, const double* const tables[3]) {
  for (int c = 0; c < 3; ++c) dequantizePlane(rasters[c], planes[c], w, h, n, tables[c]);
}

namespace {

// The line rule: m pairs (lo(i), hi(i)) into out(0 .. 2m − 1).
template <class Lo, class Hi, class Out>
void synthesizeLine(int m, Lo lo, Hi hi, Out out) {
  const double k = kHalfSqrt2;
  for (int i = 0; i < m; ++i) {
    const double l = lo(i), h = hi(i);
    if (i == 0 || i == m - 1 || h != 0) {
      out(2 * i) = k * (l + h);
      out(2 * i + 1) = k * (l - h);
      continue;
    }
    if (hi(i - 1) == 0 && l != lo(i + 1) && (i == m - 2 || lo(i + 2) != lo(i + 1)))
      out(2 * i) = k * (0.8 * l + 0.2 * lo(i - 1));
    else
      out(2 * i) = k * l;
    if (hi(i + 1) == 0 && l != lo(i - 1) && (i == 1 || lo(i - 2) != lo(i - 1)))
      out(2 * i + 1) = k * (0.8 * l + 0.2 * lo(i + 1));
    else
      out(2 * i + 1) = k * l;
  }
}

}  // namespace

void inverseHaar(double* S, double* D, int bw, int bh, int W, int H, int level) {
  if (level > 0) inverseHaar(S, S, bw / 2, bh / 2, W, H, level - 1);
  std::vector<double> T(std::size_t(W) * H), O(std::size_t(W) * H);
  const int mv = bh / 2;
  for (int x = 0; x < bw; ++x)
    synthesizeLine(
        mv, [&](int i) { return S[std::size_t(i) * W + x]; },
        [&](int i) { return S[std::size_t(mv + i) * W + x]; },
        [&](int r) -> double& { return T[std::size_t(r) * W + x]; });
  const int mh = bw / 2;
  for (int y = 0; y < bh; ++y) {
    const double* row = &T[std::size_t(y) * W];
    double* o = &O[std::size_t(y) * W];
    synthesizeLine(
        mh, [&](int j) { return row[j]; }, [&](int j) { return row[mh + j]; },
        [&](int c) -> double& { return o[c]; });
  }
  for (int y = 0; y < bh; ++y)
    std::memcpy(D + std::size_t(y) * W, &O[std::size_t(y) * W], sizeof(double) * bw);
}

void inverseHaarColor(double* s0, double* s1, double* s2, double* red, double* green,
                      double* blue, int width, int height, int stride, int fullHeight, int n) {
  const std::size_t size = std::size_t(stride) * fullHeight;
  std::vector<double> Y(size), U(size), V(size);
  inverseHaar(s0, Y.data(), width, height, stride, fullHeight, n);
  inverseHaar(s1, U.data(), width, height, stride, fullHeight, n);
  inverseHaar(s2, V.data(), width, height, stride, fullHeight, n);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::size_t i = std::size_t(y) * stride + x;
      const double r = Y[i] + 1.140251 * V[i];
      const double b = Y[i] + 2.028398 * U[i];
      red[i] = r;
      blue[i] = b;
      green[i] = (Y[i] - 0.3 * r - 0.11 * b) * 1.694915;
    }
}

std::uint8_t realToByte(double v) {
  if (!(v > 0)) return 0;  // also NaN
  if (v >= 255) return 255;
  return static_cast<std::uint8_t>(std::nearbyint(v));
}

void storeGreyPixels(const double* plane, std::uint8_t* pixels, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) pixels[i] = realToByte(plane[i]);
}

void storeColorPixels(const double* red, const double* green, const double* blue,
                      std::uint8_t* pixels, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    pixels[4 * i + 0] = realToByte(blue[i]);
    pixels[4 * i + 1] = realToByte(green[i]);
    pixels[4 * i + 2] = realToByte(red[i]);
    pixels[4 * i + 3] = 0;
  }
}

namespace {

LoadResult decodeInto(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& pixels,
                      ImageHeader& header, bool allocate) {
  ImageHeader h{};
  if (!parseImageHeader(data, size, h))
    return fail(LoadStatus::ioError, "file is shorter than the 36-byte header");
  header = h;
  LoadResult r = validateImageHeader(h, size, nullptr);
  if (!r.ok()) return r;
  const std::size_t outBytes = std::size_t(h.width) * h.height * (h.bitsPerPixel == 24 ? 4 : 1);
  if (!allocate && pixels.size() < outBytes)
    return fail(LoadStatus::rejected, "the pixel buffer holds " + std::to_string(pixels.size()) +
                                          " bytes, the image needs " + std::to_string(outBytes));
  // A valid header can still describe more than this machine can hold.
  try {
    if (allocate) pixels.resize(outBytes);
    detail::decodeFast(data, h, pixels.data());
  } catch (const std::bad_alloc&) {
    return fail(LoadStatus::rejected, "not enough memory to decode " + std::to_string(h.width) +
                                          " x " + std::to_string(h.height) + " pixels");
  }
  return {};
}

LoadResult finish(LoadResult r, std::vector<std::uint8_t>& pixels, ImageHeader& header) {
  if (!r.ok()) {
    pixels.clear();
    header.height = 0;
  }
  return r;
}

}  // namespace

LoadResult decodeWaveletImage(const std::uint8_t* data, std::size_t size,
                              std::vector<std::uint8_t>& pixels, ImageHeader& header) {
  return finish(decodeInto(data, size, pixels, header, true), pixels, header);
}

LoadResult loadWaveletImage(std::vector<std::uint8_t>& pixels, ImageHeader& header,
                            const std::string& fileName, bool allocate) {
  // Header first, checked against the file's size; then only the sections it
  // announces are read.
  ImageHeader h{};
  LoadResult r = readImageHeader(fileName, h);
  std::vector<std::uint8_t> bytes;
  if (r.ok()) {
    ImageLayout layout;
    validateImageHeader(h, ~std::uint64_t{0}, &layout);
    r = readFileStart(fileName, bytes, layout.totalBytes);
  }
  if (r.ok()) {
    r = decodeInto(bytes.data(), bytes.size(), pixels, header, allocate);
    if (!r.ok()) r.reason = fileName + ": " + r.reason;
  } else {
    header = h;
  }
  return finish(std::move(r), pixels, header);
}

}  // namespace codec
