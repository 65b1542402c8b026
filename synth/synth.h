// Procedural texture synthesizer: a bank of six RGB layers, 40-byte command
// records, per-layer command histories, the dispatcher and the history
// operations. The operations themselves and the opcode table are in
// operations.h, the text form of commands in text.h. Standard library only.
//
// ---------------------------------------------------------------------------
// History dump file (22020 bytes, little-endian, no header, no gaps)
//
//   The five histories, layer 0 first, 4404 bytes each:
//     offset size  field
//     0      4     count        i32, commands in use, 0..100
//     4      400   opcodes[100] i32 each, opcode of entry 0..99
//     404    4000  params[100]  10 × f32 (IEEE 754 binary32) each, p0..p9
//   History L starts at byte 4404 × L. Entries at and beyond count are
//   carried but not replayed. A file of any other size, or with a count
//   outside 0..100, is rejected as a whole.
// ---------------------------------------------------------------------------
//
// Layers: index 0..5, each layerWidth × layerHeight pixels of 3 bytes R, G, B,
// row-major from the top row. Layers 0..4 have a history; layer 4 is the
// output layer; layer 5 is the scratch layer (no history, not cleared).
// Both sides are powers of two, 2..kMaxLayerSide, at most kMaxLayerPixels.
//
// Number rules: an integer slot is the float truncated toward zero
// (saturating at the int32 range, NaN as 0); a boolean slot is true exactly
// when it equals 1.0; values marked single precision are rounded to binary32
// at that point and all other arithmetic is carried in double. The results
// are defined to the byte; they need -ffp-contract=off and SSE arithmetic.
// sin, cos, atan and exp are the C library's. Hot loops evaluate sin and cos
// by polynomial and keep the result only where it provably rounds like the
// library's (glibc's documented error of at most one ulp); otherwise they
// call the library. glibc picks its variants by CPU at run time (FMA or not),
// so a rare last-bit difference between machines can still move a byte by
// one where a value lies on a rounding boundary.
//
// Error contract: nothing here throws for bad input. Invalid commands,
// indices and sizes are rejected with a reason and change nothing; file
// functions return false with a reason and leave their outputs untouched.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace synth {

inline constexpr int kLayerCount = 6;
inline constexpr int kHistoryLayers = 5;
inline constexpr int kOutputLayer = 4;
inline constexpr int kScratchLayer = 5;
inline constexpr int kMaxCommands = 100;
inline constexpr int kParamCount = 10;
inline constexpr int kMaxLayerSide = 8192;
inline constexpr std::size_t kMaxLayerPixels = std::size_t{1} << 24;
inline constexpr std::size_t kHistoryBytes = 4 + 4 * kMaxCommands + 40 * kMaxCommands;  // 4404
inline constexpr std::size_t kDumpBytes = kHistoryBytes * kHistoryLayers;                // 22020
// Spare bytes after each layer's pixels (never part of the picture), so that
// a pixel can be read as one 4-byte word.
inline constexpr std::size_t kLayerPadding = 4;

// π as the synthesizer uses it: the single nearest π.
inline constexpr float kPi = 3.14159274f;

// Ten single-precision parameters p0..p9 (40 bytes).
struct CommandParams {
  float p[kParamCount] = {};
};

struct CommandHistory {
  std::int32_t count = 0;
  std::array<std::int32_t, kMaxCommands> opcodes{};
  std::array<CommandParams, kMaxCommands> params{};
};

using Histories = std::array<CommandHistory, kHistoryLayers>;

// One RGB pixel.
struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
};

// ----- Number helpers --------------------------------------------------------

// Slot conversions used by the dispatcher.
std::int32_t slotToInt(float v);     // truncation toward zero, saturating, NaN -> 0
inline bool slotToBool(float v) { return v == 1.0f; }

// Newton integer square root that stops when a step changes the estimate by
// at most 1 (8 gives 3). Defined for every n (64-bit intermediate).
std::uint32_t intSqrt(std::uint32_t n);
// Bit-pattern square root approximation (exact for even powers of two).
float fastSqrt(float x);
// Cosine-weighted blend of block = {top-left, top-right, bottom-left,
// bottom-right} at fractions fx, fy. A non-finite weight gives black.
void cosineBlend(Rgb& result, const Rgb block[4], float fx, float fy);

// Is n a power of two within 2..kMaxLayerSide?
bool validLayerSide(int n);

// ----- The layer bank ----------------------------------------------------------

// The synthesizer's whole state: six layers, five histories and the random
// generator. Not copyable (it owns large buffers); one per thread.
class Synth {
 public:
  Synth() = default;
  Synth(const Synth&) = delete;
  Synth& operator=(const Synth&) = delete;

  // Allocates (or resizes) the six layers, clears layers 0..4 to black and
  // empties the histories; layer 5 keeps whatever its memory holds. Returns
  // an empty string, or why the size was refused (then nothing changes).
  std::string initLayers(int width, int height);
  // Releases the layers; histories and randSeed stay.
  void freeLayers();
  bool allocated() const { return width_ != 0; }

  int layerWidth() const { return width_; }
  int layerHeight() const { return height_; }
  // Pixels of layer 0..5 (nullptr when not allocated or out of range).
  std::uint8_t* layer(int index);
  const std::uint8_t* layer(int index) const;
  std::size_t layerBytes() const { return std::size_t(width_) * std::size_t(height_) * 3; }

  // randSeed := randSeed × 22695477 mod 2^32; returns randSeed >> 16.
  std::uint32_t nextRandom() {
    randSeed_ *= 22695477u;
    return randSeed_ >> 16;
  }
  std::uint32_t randSeed() const { return randSeed_; }
  void setRandSeed(std::uint32_t seed) { randSeed_ = seed; }

  // Wrap-around cosine sample of a layer at (x, y); truncates toward zero, so
  // negative fractions blend toward the next pixel by their magnitude.
  // Non-finite coordinates sample row or column 0.
  void sampleLayer(Rgb& result, int layer, float x, float y) const;

  // ----- Dispatcher and history --------------------------------------------
  // Each returns an empty string on success, else the reason; a rejected
  // call changes nothing (layers, histories, randSeed).

  // Validates and runs one command (see validateCommand in operations.h).
  std::string executeCommand(std::int32_t opcode, const CommandParams& params);
  // index >= 0 overwrites entry index (0..99) without running anything;
  // a negative index appends (a generator, opcode < 10, empties the history
  // first) and runs the command when execute is true.
  std::string addCommand(int layer, bool execute, std::int32_t opcode, const CommandParams& params,
                         int index = -1);
  // Drops the last entry; with replay, reruns the remaining entries on the
  // layer's current content, or blackens the layer when none remain.
  std::string undoCommand(int layer, bool replay);
  // Overwrites entry index (0..99); nothing runs, count unchanged.
  std::string replaceCommand(int layer, int index, std::int32_t opcode,
                             const CommandParams& params);
  // Runs entries 0..count−1 of one history, skipping (silently) entries that
  // name no operation or fail validation. Returns how many were skipped.
  int replayHistory(int layer);

  const CommandHistory& history(int layer) const { return histories_[std::size_t(layer)]; }
  const Histories& histories() const { return histories_; }
  // Replaces all five histories (counts checked: 0..100); layers unchanged.
  std::string setHistories(const Histories& histories);

  // Output layer (4) as 32-bit pixels R×65536 + G×256 + B little-endian:
  // bytes B, G, R, 0. pixels must hold width × height × 4 bytes.
  void convertOutput(std::uint8_t* pixels) const;

  // initLayers(width, height), load the dump file, replay layers 0..4 in
  // order, convert layer 4 into pixels (B, G, R, 0) and free the layers.
  // With allocate, pixels is resized; otherwise it must already hold
  // width × height × 4 bytes. On failure (file, size) pixels is untouched.
  bool renderCommandFile(std::vector<std::uint8_t>& pixels, const std::string& fileName, int width,
                         int height, bool allocate, std::string* error);
  // The same from histories already in memory (a parsed text list).
  bool renderHistories(std::vector<std::uint8_t>& pixels, const Histories& histories, int width,
                       int height, bool allocate, std::string* error);

 private:
  int width_ = 0, height_ = 0;
  std::array<std::vector<std::uint8_t>, kLayerCount> layers_;
  Histories histories_{};
  std::uint32_t randSeed_ = 0;
};

// ----- Dump files ---------------------------------------------------------------

// Serialises five histories into the 22020-byte layout.
std::vector<std::uint8_t> encodeDump(const Histories& histories);
// Parses the 22020-byte layout; false with reason for a wrong size or count.
bool decodeDump(const std::uint8_t* data, std::size_t size, Histories& histories,
                std::string* error);
// File forms; false with a reason naming the file. saveDumpFile follows
// fileio's output rules (a regular file is replaced only by a complete new
// one, through a unique temporary name) and refuses to write over any of
// `inputs`.
bool loadDumpFile(const std::string& fileName, Histories& histories, std::string* error);
bool saveDumpFile(const std::string& fileName, const Histories& histories, std::string* error,
                  const std::vector<std::string>& inputs = {});

}  // namespace synth
