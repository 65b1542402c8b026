// Writer: forward transform, quantisation, thresholding, the coefficient
// coder with its packing, and the file layout.
#include <cmath>
#include <cstring>
#include <ostream>

#include "codec/detail/io.h"
#include "codec/detail/writer_internal.h"
#include "codec/wavelet.h"

namespace codec {

namespace {

constexpr double kHalfSqrt2 = 0.7071067811865476;

// Nearest integer, halves to even; NaN -> 0 and saturating, so no input can
// make the conversion undefined.
std::int32_t roundToInt32(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<std::int32_t>(std::nearbyint(v));
}

// Visits every coefficient of the detail bands of level L.
template <class F>
void forEachDetail(int w, int h, int L, F f) {
  for (int y = 0; y < (h >> L); ++y) {
    const int xs = y < (h >> (L + 1)) ? (w >> (L + 1)) : 0;
    for (int x = xs; x < (w >> L); ++x) f(std::size_t(y) * w + x);
  }
}

template <class F>
void forEachLow(int w, int h, int n, F f) {
  for (int y = 0; y < (h >> (n + 1)); ++y)
    for (int x = 0; x < (w >> (n + 1)); ++x) f(std::size_t(y) * w + x);
}

template <class Band>
double quantizeBand(const double* plane, std::int32_t* raster, int bits, Band band) {
  double lo = 100000000.0, hi = -100000000.0;
  band([&](std::size_t i) {
    if (plane[i] < lo) lo = plane[i];
    if (plane[i] > hi) hi = plane[i];
  });
  double factor = 0;
  if (!(lo == 0 && hi == 0)) {
    double largest = std::fabs(hi);
    if (std::fabs(lo) > largest) largest = std::fabs(lo);
    factor = double((1 << bits) - 1) / largest;
    // A band of denormal-sized values would need an infinite factor.
    if (!std::isfinite(factor)) factor = 0;
  }
  band([&](std::size_t i) { raster[i] = roundToInt32(plane[i] * factor); });
  return factor;
}

}  // namespace

void forwardHaar(const double* S, double* D, int bw, int bh, int W, int H, int level) {
  (void)H;
  const double k = kHalfSqrt2;
  // One temporary for the row pass: the column pass may write D directly,
  // since S (which D may be) is no longer read by then.
  std::vector<double> T(std::size_t(bw) * bh);
  for (int y = 0; y < bh; ++y) {
    const double* s = S + std::size_t(y) * W;
    double* t = &T[std::size_t(y) * bw];
    for (int j = 0; j < bw / 2; ++j) {
      t[j] = k * (s[2 * j + 1] + s[2 * j]);
      t[bw / 2 + j] = k * (s[2 * j] - s[2 * j + 1]);
    }
  }
  for (int i = 0; i < bh / 2; ++i) {
    const double* a = &T[std::size_t(2 * i) * bw];
    const double* b = a + bw;
    double* sum = D + std::size_t(i) * W;
    double* difference = D + std::size_t(bh / 2 + i) * W;
    for (int x = 0; x < bw; ++x) {
      sum[x] = k * (b[x] + a[x]);
      difference[x] = k * (a[x] - b[x]);
    }
  }
  if (level != 0) forwardHaar(D, D, bw / 2, bh / 2, W, H, level - 1);
}

void forwardHaarColor(const double* red, const double* green, const double* blue, double* yOut,
                      double* uOut, double* vOut, int bw, int bh, int W, int H, int level) {
  // The luma and chroma planes are built in the destinations and transformed
  // in place (forwardHaar allows source = destination): the same values as
  // through temporaries, without three more full-size planes. Each pixel's
  // inputs are read before its outputs are written, so the destinations may
  // be the source planes themselves.
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x) {
      const std::size_t i = std::size_t(y) * W + x;
      const double l = 0.3 * red[i] + 0.59 * green[i] + 0.11 * blue[i];
      const double u = 0.493 * (blue[i] - l);
      const double v = 0.877 * (red[i] - l);
      yOut[i] = l;
      uOut[i] = u;
      vOut[i] = v;
    }
  forwardHaar(yOut, yOut, bw, bh, W, H, level);
  forwardHaar(uOut, uOut, bw, bh, W, H, level);
  forwardHaar(vOut, vOut, bw, bh, W, H, level);
}

void quantizePlane(const double* plane, std::int32_t* raster, int w, int h, int n, int bits,
                   double* table) {
  for (int L = 0; L <= n; ++L)
    table[L] = quantizeBand(plane, raster, bits, [&](auto f) { forEachDetail(w, h, L, f); });
  table[n + 1] = quantizeBand(plane, raster, bits, [&](auto f) { forEachLow(w, h, n, f); });
}

void quantizeColorPlanes(const double* const planes[3], std::int32_t* const rasters[3], int w,
                         int h, int n, const int valueBits[3], double* const tables[3]) {
  for (int c = 0; c < 3; ++c) quantizePlane(planes[c], rasters[c], w, h, n, valueBits[c], tables[c]);
}

std::size_t thresholdDetails(double* plane, double t, int w, int h, int n) {
  std::size_t changed = 0;
  for (int L = 0; L <= n; ++L)
    forEachDetail(w, h, L, [&](std::size_t i) {
      if (plane[i] != 0 && std::fabs(plane[i]) <= t) {
        plane[i] = 0;
        ++changed;
      }
    });
  return changed;
}

std::size_t countZeroCoefficients(const std::int32_t* raster, int w, int h) {
  std::size_t zeros = 0;
  for (std::size_t i = 0, n = std::size_t(w) * h; i < n; ++i) zeros += raster[i] == 0;
  return zeros;
}

std::uint32_t zeroRunLength(const std::int32_t* raster, std::size_t p, std::size_t count,
                            int bits) {
  const std::size_t limit = std::size_t{1} << (bits + 2);
  std::size_t k = 1;
  while (p + k < count - 1 && raster[p + k] == 0 && k < limit) ++k;
  return std::uint32_t(k - 1);
}

void encodeCoefficients(const std::int32_t* raster, std::uint8_t* symbols,
                        std::uint32_t& symbolCount, std::uint8_t* values,
                        std::uint32_t& valueCount, int w, int h, int /*levelCount*/, int bits) {
  const std::size_t count = std::size_t(w) * h;
  const std::uint32_t minRun = std::uint32_t(bits + 4) / 2;
  const std::uint32_t mask = (1u << bits) - 1;
  for (std::size_t p = 0; p < count; ++p) {
    const std::int32_t c = raster[p];
    if (c == 0) {
      const std::uint32_t n = zeroRunLength(raster, p, count, bits);
      if (n <= minRun) {
        symbols[symbolCount++] = 0;
      } else {
        symbols[symbolCount++] = 1;
        values[valueCount++] = std::uint8_t(n & mask);
        symbols[symbolCount++] = std::uint8_t(n >> bits);
        p += n;
      }
    } else {
      // Masked to the value width so that an out-of-range raster cannot
      // spill into its neighbours when packed.
      const std::uint32_t magnitude = c > 0 ? std::uint32_t(c) : 0u - std::uint32_t(c);
      symbols[symbolCount++] = c > 0 ? 2 : 3;
      values[valueCount++] = std::uint8_t(magnitude & mask);
    }
  }
}

std::size_t packSymbols(std::uint8_t* s, std::uint32_t count) {
  const std::size_t full = count / 4;
  for (std::size_t i = 0; i < full; ++i)
    s[i] = std::uint8_t(s[4 * i] + 4 * s[4 * i + 1] + 16 * s[4 * i + 2] + 64 * s[4 * i + 3]);
  if (count % 4 != 0) {
    std::uint8_t last = 0;
    for (std::size_t j = 0; j < count % 4; ++j) last = std::uint8_t(last | (s[4 * full + j] << (2 * j)));
    s[full] = last;
    return full + 1;
  }
  return full;
}

std::size_t packValues(std::uint8_t* values, std::uint32_t count, int bits) {
  std::uint64_t b = 0;
  for (std::uint32_t i = 0; i < count; ++i, b += bits) {
    const unsigned v = values[i];
    const std::size_t byte = std::size_t(b / 8);
    const unsigned shift = unsigned(b % 8);
    if (shift == 0) {
      values[byte] = std::uint8_t(v);
      continue;
    }
    unsigned t = v << shift;
    if ((b + bits) / 8 > byte) {
      values[byte + 1] = std::uint8_t(t >> 8);
      t &= 255;
    }
    values[byte] = std::uint8_t((values[byte] & ((1u << shift) - 1)) | t);
  }
  return std::size_t((b + 7) / 8);
}

std::string checkEncodeGeometry(int width, int height, int bitsPerPixel, int levelCount,
                                const int valueBits[3]) {
  if (width < 1 || height < 1 || width > 65535 || height > 65535)
    return "image size " + std::to_string(width) + " x " + std::to_string(height) +
           " is outside 1 .. 65535";
  if (bitsPerPixel != 8 && bitsPerPixel != 24)
    return "bits per pixel " + std::to_string(bitsPerPixel) + " is neither 8 nor 24";
  if (levelCount < 0 || levelCount > kMaxLevelCount)
    return "level count " + std::to_string(levelCount) + " is outside 0 .. 16";
  const long step = 1L << (levelCount + 1);
  if (width % step != 0 || height % step != 0)
    return "image size " + std::to_string(width) + " x " + std::to_string(height) +
           " is not divisible by " + std::to_string(step) + " (level count " +
           std::to_string(levelCount) + ")";
  for (int c = 0; c < (bitsPerPixel == 24 ? 3 : 1); ++c)
    if (valueBits[c] < 1 || valueBits[c] > 8)
      return "value width " + std::to_string(valueBits[c]) + " is outside 1 .. 8";
  return {};
}

namespace detail {

std::vector<std::uint8_t> buildWaveletImage(const std::int32_t* const rasters[3], int w, int h,
                                            int bitsPerPixel, int n,
                                            const double* const tables[3],
                                            const int valueBits[3]) {
  ImageHeader header{};
  std::memcpy(header.magic, "KPX", 3);
  header.width = std::uint16_t(w);
  header.height = std::uint16_t(h);
  header.bitsPerPixel = std::uint8_t(bitsPerPixel);
  header.levelCount = std::uint8_t(n);
  for (int c = 0; c < 3; ++c) header.valueBits[c] = std::uint8_t(valueBits[c]);
  const int channels = bitsPerPixel == 24 ? 3 : 1;
  const std::size_t count = std::size_t(w) * h;

  std::vector<std::uint8_t> file(kHeaderSize + std::size_t(channels) * (n + 2) * 8);
  std::uint8_t* cursor = file.data() + kHeaderSize;
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < n + 2; ++i, cursor += 8) writeF64(cursor, tables[c][i]);

  std::vector<std::uint8_t> symbols(count), values(count);
  for (int c = 0; c < channels; ++c) {
    std::uint32_t sc = 0, vc = 0;
    encodeCoefficients(rasters[c], symbols.data(), sc, values.data(), vc, w, h, n, valueBits[c]);
    const std::size_t symbolBytes = packSymbols(symbols.data(), sc);
    const std::size_t valueBytes = packValues(values.data(), vc, valueBits[c]);
    header.symbolCount[c] = sc;
    header.valueCount[c] = vc;
    file.insert(file.end(), symbols.begin(), symbols.begin() + std::ptrdiff_t(symbolBytes));
    file.insert(file.end(), values.begin(), values.begin() + std::ptrdiff_t(valueBytes));
  }
  serializeImageHeader(header, file.data());
  return file;
}

}  // namespace detail

namespace {

bool prepare(int width, int height, int bitsPerPixel, int levelCount, int vb0, int vb1, int vb2,
             const std::int32_t* raster0, const std::int32_t* raster1,
             const std::int32_t* raster2, const double* t0, const double* t1, const double* t2,
             std::string* reason, std::vector<std::uint8_t>& file) {
  const int valueBits[3] = {vb0, vb1, vb2};
  std::string problem = checkEncodeGeometry(width, height, bitsPerPixel, levelCount, valueBits);
  const bool colour = bitsPerPixel == 24;
  if (problem.empty() && (raster0 == nullptr || t0 == nullptr ||
                          (colour && (!raster1 || !raster2 || !t1 || !t2))))
    problem = "a raster or table is missing";
  if (!problem.empty()) {
    if (reason) *reason = problem;
    return false;
  }
  const std::int32_t* rasters[3] = {raster0, colour ? raster1 : nullptr,
                                    colour ? raster2 : nullptr};
  const double* tables[3] = {t0, colour ? t1 : nullptr, colour ? t2 : nullptr};
  file = detail::buildWaveletImage(rasters, width, height, bitsPerPixel, levelCount, tables,
                                   valueBits);
  return true;
}

}  // namespace

bool writeWaveletImage(std::ostream& out, const std::int32_t* raster0, const std::int32_t* raster1,
                       const std::int32_t* raster2, int width, int height, int bitsPerPixel,
                       int levelCount, const double* table0, const double* table1,
                       const double* table2, int vb0, int vb1, int vb2, std::string* reason) {
  std::vector<std::uint8_t> file;
  if (!prepare(width, height, bitsPerPixel, levelCount, vb0, vb1, vb2, raster0, raster1, raster2,
               table0, table1, table2, reason, file))
    return false;
  out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  if (!out) {
    if (reason) *reason = "write to the stream failed";
    return false;
  }
  return true;
}

bool saveWaveletImage(const std::string& fileName, const std::int32_t* raster0,
                      const std::int32_t* raster1, const std::int32_t* raster2, int width,
                      int height, int bitsPerPixel, int levelCount, const double* table0,
                      const double* table1, const double* table2, int vb0, int vb1, int vb2,
                      std::string* reason) {
  std::vector<std::uint8_t> file;
  if (!prepare(width, height, bitsPerPixel, levelCount, vb0, vb1, vb2, raster0, raster1, raster2,
               table0, table1, table2, reason, file))
    return false;
  return writeFileAtomically(fileName, file.data(), file.size(), reason);
}

std::vector<std::uint8_t> encodeImage(const std::uint8_t* pixels, int width, int height,
                                      const EncodeParams& params, std::string* reason) {
  const int bitsPerPixel = params.grey ? 8 : 24;
  const int valueBits[3] = {params.valueBits[0], params.valueBits[1], params.valueBits[2]};
  std::string problem =
      checkEncodeGeometry(width, height, bitsPerPixel, params.levelCount, valueBits);
  if (problem.empty() && pixels == nullptr) problem = "no pixels";
  if (problem.empty() && std::isnan(params.threshold)) problem = "the threshold is not a number";
  if (!problem.empty()) {
    if (reason) *reason = problem;
    return {};
  }
  const int n = params.levelCount;
  const std::size_t count = std::size_t(width) * height;
  const int channels = params.grey ? 1 : 3;
  // The pixel planes are transformed in place into the coefficients.
  std::vector<double> coefficients[3];
  std::vector<std::int32_t> rasters[3];
  std::vector<double> tables[3];
  for (int c = 0; c < channels; ++c) {
    coefficients[c].resize(count);
    for (std::size_t i = 0; i < count; ++i) coefficients[c][i] = pixels[channels * i + c];
    rasters[c].resize(count);
    tables[c].resize(std::size_t(n) + 2);
  }
  if (params.grey) {
    forwardHaar(coefficients[0].data(), coefficients[0].data(), width, height, width, height, n);
  } else {
    forwardHaarColor(coefficients[0].data(), coefficients[1].data(), coefficients[2].data(),
                     coefficients[0].data(), coefficients[1].data(), coefficients[2].data(), width,
                     height, width, height, n);
  }
  for (int c = 0; c < channels; ++c) {
    if (params.threshold >= 0)
      thresholdDetails(coefficients[c].data(), params.threshold, width, height, n);
    quantizePlane(coefficients[c].data(), rasters[c].data(), width, height, n, valueBits[c],
                  tables[c].data());
  }
  const std::int32_t* r[3] = {rasters[0].data(), rasters[1].data(), rasters[2].data()};
  const double* t[3] = {tables[0].data(), tables[1].data(), tables[2].data()};
  return detail::buildWaveletImage(r, width, height, bitsPerPixel, n, t, valueBits);
}

bool encodeImageFile(const std::string& fileName, const std::uint8_t* pixels, int width,
                     int height, const EncodeParams& params, std::string* reason) {
  std::vector<std::uint8_t> file = encodeImage(pixels, width, height, params, reason);
  if (file.empty()) return false;
  return writeFileAtomically(fileName, file.data(), file.size(), reason);
}

}  // namespace codec
