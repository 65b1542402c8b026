// Wavelet image codec (.kpx): a grey or colour picture compressed with a
// multi-level 2-D Haar transform, per-band quantisation, a 2-bit symbol stream
// with zero runs and a bit-packed value stream. Decoder and writer.
//
// ---------------------------------------------------------------------------
// File format (all integers little-endian, reals IEEE 754 binary64 LE, no gaps)
//
//   offset size field
//   0      3    magic            "KPX" (written; not checked when reading)
//   3      2    width            u16, pixels
//   5      2    height           u16, pixels
//   7      1    bitsPerPixel     8 = grey (1 channel), 24 = colour (Y, U, V)
//   8      1    levelCount       n: the transform has n + 1 steps (n <= 16)
//   9      12   symbolCount[3]   u32 each: number of 2-bit symbols of channel c
//   21     12   valueCount[3]    u32 each: number of packed values of channel c
//   33     3    valueBits[3]     u8 each: width of a value, 1..8
//   36     ...  body
//
// Body, grey:   table0, symbols0, values0
// Body, colour: table0, table1, table2, symbols0, values0, symbols1, values1,
//               symbols2, values2      (channel 0 = Y, 1 = U, 2 = V)
// In a grey file only index 0 of the three header arrays is used.
//
//   table c    n + 2 doubles (8n + 16 bytes). Entry L (0..n) is the factor of
//              the three detail bands of level L (0 = finest); entry n + 1
//              the factor of the coarsest low band. stored = round(real ×
//              factor), so a reader multiplies by 1 / factor (0 when the
//              factor is 0: the band is all zeros).
//   symbols c  ceil(symbolCount / 4) bytes; symbol 4i+j is bits 2j..2j+1 of
//              byte i (least significant pair first; unused pairs are 0).
//   values c   ceil(valueBits × valueCount / 8) bytes; value i occupies stream
//              bits i×valueBits .. (i+1)×valueBits − 1, where stream bit b is
//              bit (b mod 8) of byte (b div 8) (LSB first; at 8 bits the
//              values are plain bytes).
//
// Symbols, expanded in order into width × height signed coefficients in
// row-major order over the whole raster (row 0 first):
//   0  one zero coefficient
//   1  a run of zeros: takes the next symbol H (0..3) and the next value V;
//      the run is H × 2^valueBits + V + 1 zeros (1 .. 4 × 2^valueBits)
//   2  +v, v the next value          3  −v, v the next value
// The writer uses a run only where a zero is followed by more than
// (valueBits + 4) div 2 further zeros; the raster's last position is never in
// a run. Streams that cover fewer coefficients than the raster leave zeros;
// anything beyond the raster is ignored.
//
// Band geometry (w = width, h = height; both divisible by 2^(n + 1)):
//   detail bands of level L: rows y < h >> L, columns xs .. (w >> L) − 1 with
//     xs = w >> (L + 1) for y < h >> (L + 1), else 0
//   coarsest low band: the top-left (w >> (n + 1)) × (h >> (n + 1)) rectangle
//
// Transform, with k = 0.7071067811865476 (the double nearest 1/sqrt 2). One
// forward step on the top-left bw × bh band: rows, pairs (a, b) become
// k(b + a) on the left half and k(a − b) on the right; then columns the same
// way into top and bottom halves; the next step works on the top-left
// quadrant. The inverse undoes columns first, then rows, with the line rule:
// for m pairs (Lo[i], Hi[i]) -> Out[2i], Out[2i + 1]
//   plain:  Out[2i] = k(Lo[i] + Hi[i]),  Out[2i + 1] = k(Lo[i] − Hi[i])
//   pairs 0 and m − 1 are always plain; an inner pair with Hi[i] != 0 too.
//   An inner pair with Hi[i] == 0 is smoothed toward its neighbours:
//     Out[2i]   = k(0.8 Lo[i] + 0.2 Lo[i − 1]) if Hi[i − 1] == 0 and
//                 Lo[i] != Lo[i + 1] and (i == m − 2 or Lo[i + 2] != Lo[i + 1])
//     Out[2i+1] = k(0.8 Lo[i] + 0.2 Lo[i + 1]) if Hi[i + 1] == 0 and
//                 Lo[i] != Lo[i − 1] and (i == 1 or Lo[i − 2] != Lo[i − 1])
//     otherwise k Lo[i].
// Colour: Y = 0.3R + 0.59G + 0.11B, U = 0.493(B − Y), V = 0.877(R − Y) when
// writing; reading uses R = Y + 1.140251V, B = Y + 2.028398U,
// G = (Y − 0.3R − 0.11B) × 1.694915. All in double precision; a real becomes
// a byte only at the end: <= 0 -> 0, >= 255 -> 255 (NaN -> 0), otherwise
// rounded to nearest, halves to even. Colour pixels are stored B, G, R, 0.
//
// Example, 54 bytes: a grey 2 × 2 picture, levelCount 0, table {1, 1},
// symbols 2, 0, 0, 0 and value 100 (coefficients 100, 0, 0, 0; four pixels
// of 50):
//   4B 50 58  02 00  02 00  08  00  04 00 00 00  00×8  01 00 00 00  00×8
//   08 00 00  00 00 00 00 00 00 F0 3F  00 00 00 00 00 00 F0 3F  02  64
//
// What a reader accepts (checked before anything is allocated):
//   width and height not 0; bitsPerPixel 8 or 24; levelCount <= 16; width
//   and height divisible by 2^(levelCount + 1); each used valueBits 1..8;
//   a raster above 65536 pixels only when the channel's symbol and value
//   counts could cover it (so a few bytes cannot demand gigabytes); the
//   sections the header announces not longer than the file (a shorter file
//   is an I/O error, like a missing one). Bytes after the last section are
//   ignored; the magic and the unused grey-file fields are not checked.
// ---------------------------------------------------------------------------
//
// Error contract: nothing here throws for bad input or I/O failure; loaders
// return a LoadResult, writers return false with a reason. Loaders check the
// whole header against the file size before allocating anything.
//
// Decoding runs on a fast path that performs the reference routines' double
// operations in the same order (byte-identical output); it keeps one scratch
// block per thread between calls (up to 16 MB) so that a series of decodes
// does not fault in fresh memory every time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace codec {

// The 36-byte file header, field for field (in memory it is a plain struct;
// use parseImageHeader / serializeImageHeader for the byte form).
struct ImageHeader {
  char magic[3];
  std::uint16_t width, height;
  std::uint8_t bitsPerPixel, levelCount;
  std::uint32_t symbolCount[3], valueCount[3];
  std::uint8_t valueBits[3];
};

inline constexpr std::size_t kHeaderSize = 36;
inline constexpr int kMaxLevelCount = 16;

// ioError: missing/short/unreadable file; rejected: the bytes describe no valid image.
enum class LoadStatus { ok, ioError, rejected };

struct LoadResult {
  LoadStatus status = LoadStatus::ok;
  std::string reason;
  bool ok() const { return status == LoadStatus::ok; }
};

// Byte sizes of a file's sections, as its header announces them.
struct ImageLayout {
  std::uint64_t tableBytes = 0;      // all tables together
  std::uint64_t symbolBytes[3] = {};
  std::uint64_t valueBytes[3] = {};
  std::uint64_t totalBytes = 0;      // header + body
};

// ----- Decoding --------------------------------------------------------------

// Output: 8-bit files -> width*height bytes; 24-bit files -> width*height*4
// bytes B,G,R,A (A = 0), rows in file order. With allocate false the caller's
// buffer must already hold at least that many bytes (it is not resized).
// On any failure: header.height = 0 (so callers that judge by the header see
// a failure), pixels empty, reason set (names the file for ioError).
// Frees the block the calling thread keeps between decodes (a later decode
// on it allocates a new one): for a thread that has decoded its last file.
void releaseDecoderWorkspace();

LoadResult loadWaveletImage(std::vector<std::uint8_t>& pixels, ImageHeader& header,
                            const std::string& fileName, bool allocate);
LoadResult decodeWaveletImage(const std::uint8_t* data, std::size_t size,
                              std::vector<std::uint8_t>& pixels, ImageHeader& header);

// Reads the 36 header bytes (no validation). Fails only when fewer than 36.
bool parseImageHeader(const std::uint8_t* data, std::size_t size, ImageHeader& header);
void serializeImageHeader(const ImageHeader& header, std::uint8_t out[kHeaderSize]);

// Checks every field and that the sections fit in fileSize bytes; fills the
// layout. rejected for impossible fields, ioError when the file is too short.
LoadResult validateImageHeader(const ImageHeader& header, std::uint64_t fileSize,
                               ImageLayout* layout);

// Reads and validates the header of a file (opens it read-only, closes it).
LoadResult readImageHeader(const std::string& fileName, ImageHeader& header);

// Reads the tables and streams of a validated file and expands each channel
// into its raster (resized to width*height, zeros where streams are short)
// and its table (resized to levelCount + 2). Grey files fill only channel 0.
LoadResult readCoefficientStreams(const std::string& fileName, std::vector<std::int32_t>& raster0,
                                  std::vector<std::int32_t>& raster1,
                                  std::vector<std::int32_t>& raster2, std::vector<double>& table0,
                                  std::vector<double>& table1, std::vector<double>& table2);
// The same from an open stream positioned at the start of the file.
LoadResult readCoefficientStreams(std::istream& in, std::vector<std::int32_t>& raster0,
                                  std::vector<std::int32_t>& raster1,
                                  std::vector<std::int32_t>& raster2, std::vector<double>& table0,
                                  std::vector<double>& table1, std::vector<double>& table2);
// The same from memory.
LoadResult readCoefficientStreams(const std::uint8_t* data, std::size_t size,
                                  std::vector<std::int32_t>& raster0,
                                  std::vector<std::int32_t>& raster1,
                                  std::vector<std::int32_t>& raster2, std::vector<double>& table0,
                                  std::vector<double>& table1, std::vector<double>& table2);

// Unpacks count 2-bit symbols from ceil(count / 4) bytes.
void unpackSymbols(const std::uint8_t* packed, std::uint32_t count, std::uint8_t* symbols);
// Unpacks count values of valueBits (1..8) bits from ceil(bits*count/8) bytes.
void unpackValues(const std::uint8_t* packed, std::uint32_t count, int valueBits,
                  std::uint8_t* values);

// Expands unpacked symbols and values into raster (width*height entries,
// written only as far as the streams reach; the caller zeroes it first).
// Stops at the raster's end, at a run without its H symbol, or at a symbol
// whose value is missing. levelCount is accepted and not used.
void expandCoefficients(std::int32_t* raster, const std::uint8_t* symbols,
                        std::uint32_t symbolCount, const std::uint8_t* values,
                        std::uint32_t valueCount, int width, int height, int levelCount,
                        int valueBits);

// plane = raster × (1 / table[band]) over every band (table has levelCount+2).
void dequantizePlane(const std::int32_t* raster, double* plane, int width, int height,
                     int levelCount, const double* table);
void dequantizeColorPlanes(const std::int32_t* const rasters[3], double* const planes[3],
                           int width, int height, int levelCount, const double* const tables[3]);

// levelCount + 1 synthesis steps (level = levelCount at the top) on the
// top-left bandWidth × bandHeight block of source (row stride `stride`),
// result into the same block of destination. source's top-left quadrant is
// rebuilt in place by the inner steps. Values outside the block untouched.
void inverseHaar(double* source, double* destination, int bandWidth, int bandHeight, int stride,
                 int fullHeight, int level);
// inverseHaar of the three planes, then YUV -> RGB into red, green, blue.
void inverseHaarColor(double* source0, double* source1, double* source2, double* red,
                      double* green, double* blue, int width, int height, int stride,
                      int fullHeight, int levelCount);

// A real as a byte: <= 0 -> 0, >= 255 -> 255, NaN -> 0, else nearest (ties even).
std::uint8_t realToByte(double v);
void storeGreyPixels(const double* plane, std::uint8_t* pixels, std::size_t count);
// Pixels as B, G, R, 0.
void storeColorPixels(const double* red, const double* green, const double* blue,
                      std::uint8_t* pixels, std::size_t count);

// ----- Writing ----------------------------------------------------------------
// Sizes must be divisible by 2^(levelCount + 1), levelCount 0..16, value bits
// 1..8; planes must hold finite values. The routines assume this (validate
// with checkEncodeGeometry); writeWaveletImage / saveWaveletImage check it.

// level + 1 analysis steps on the top-left bw × bh block of source into
// destination (row stride `stride`); source may equal destination.
void forwardHaar(const double* source, double* destination, int bandWidth, int bandHeight,
                 int stride, int fullHeight, int level);
// RGB -> YUV per pixel into the destinations (which may be the source
// planes), then forwardHaar of each channel in place.
void forwardHaarColor(const double* red, const double* green, const double* blue, double* y,
                      double* u, double* v, int bandWidth, int bandHeight, int stride,
                      int fullHeight, int level);

// Per band: factor = (2^bits − 1) / largest magnitude (0 for an all-zero band,
// or when that would not be finite), raster = round-half-even(c × factor),
// table[band] = factor. table has levelCount + 2 entries.
void quantizePlane(const double* plane, std::int32_t* raster, int width, int height,
                   int levelCount, int valueBits, double* table);
void quantizeColorPlanes(const double* const planes[3], std::int32_t* const rasters[3], int width,
                         int height, int levelCount, const int valueBits[3],
                         double* const tables[3]);

// Sets every detail coefficient with 0 < |c| <= threshold to 0; returns how many.
std::size_t thresholdDetails(double* plane, double threshold, int width, int height,
                             int levelCount);
std::size_t countZeroCoefficients(const std::int32_t* raster, int width, int height);

// How many zeros follow `position` (at most 2^(valueBits+2) − 1); the last
// position of a raster of `count` entries is never part of a run.
std::uint32_t zeroRunLength(const std::int32_t* raster, std::size_t position, std::size_t count,
                            int valueBits);

// Codes raster into one symbol and value per byte; symbolCount and valueCount
// are advanced in place (the caller zeroes them). Buffers hold width*height.
// Values are the magnitudes' low valueBits bits (quantised rasters fit).
void encodeCoefficients(const std::int32_t* raster, std::uint8_t* symbols,
                        std::uint32_t& symbolCount, std::uint8_t* values,
                        std::uint32_t& valueCount, int width, int height, int levelCount,
                        int valueBits);

// In-place packing; return the packed length in bytes.
std::size_t packSymbols(std::uint8_t* symbols, std::uint32_t count);
std::size_t packValues(std::uint8_t* values, std::uint32_t count, int valueBits);

// Returns an empty string when width, height, levelCount, bitsPerPixel and
// the value widths can be written and read back, else why not.
std::string checkEncodeGeometry(int width, int height, int bitsPerPixel, int levelCount,
                                const int valueBits[3]);

// Writes a whole file onto out (seeks back to rewrite the header for colour).
// Returns false with reason for unsupported parameters (nothing written) or a
// failed write.
bool writeWaveletImage(std::ostream& out, const std::int32_t* raster0, const std::int32_t* raster1,
                       const std::int32_t* raster2, int width, int height, int bitsPerPixel,
                       int levelCount, const double* table0, const double* table1,
                       const double* table2, int valueBits0, int valueBits1, int valueBits2,
                       std::string* reason = nullptr);
// The same into a file, written to a temporary name and renamed on success:
// an existing file of that name is replaced only by a complete new one.
bool saveWaveletImage(const std::string& fileName, const std::int32_t* raster0,
                      const std::int32_t* raster1, const std::int32_t* raster2, int width,
                      int height, int bitsPerPixel, int levelCount, const double* table0,
                      const double* table1, const double* table2, int valueBits0, int valueBits1,
                      int valueBits2, std::string* reason = nullptr);

// ----- Convenience --------------------------------------------------------------

struct EncodeParams {
  int levelCount;
  std::uint8_t valueBits[3];
  double threshold;  // < 0: none
  bool grey;
};

// rgb: width*height*3 bytes R,G,B, row 0 first (grey: width*height bytes);
// the bytes enter the transform unchanged as reals 0..255. Returns the file's
// bytes, or an empty vector with reason on invalid parameters.
std::vector<std::uint8_t> encodeImage(const std::uint8_t* pixels, int width, int height,
                                      const EncodeParams& params, std::string* reason);
// The same into a file. Returns false with reason on invalid parameters or
// I/O failure; never leaves a half-written file.
bool encodeImageFile(const std::string& fileName, const std::uint8_t* pixels, int width,
                     int height, const EncodeParams& params, std::string* reason);

// Writes bytes to fileName by fileio's output rules: a regular file is
// replaced through a unique temporary file and a rename, a device or FIFO is
// written in place, links are followed. False with reason on failure (the
// temporary is removed, the old file stays).
bool writeFileAtomically(const std::string& fileName, const std::uint8_t* data, std::size_t size,
                         std::string* reason);

}  // namespace codec
