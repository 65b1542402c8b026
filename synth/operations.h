// The synthesizer's 46 operations and the one opcode table that the
// dispatcher, validation, the text form and the texsynth tool all read.
//
// Opcodes: 0-8 generators, 10-17 layer combinations, 20-26 colour
// operations, 30-39 per-pixel and neighbourhood filters, 40-51 distortions
// and remaining filters. 9, 18, 19, 27, 28, 29, negatives and everything
// above 51 name no operation.
//
// The operation functions below assume valid arguments (the limits that
// validateCommand checks); executeCommand validates before it calls them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "synth/synth.h"

namespace synth {

// How an argument is taken from the command record.
enum class ArgKind : std::uint8_t {
  layer,         // int slot, a layer 0..5 (the scratch layer allowed)
  workLayer,     // int slot, a layer 0..4 (the scratch layer refused)
  integer,       // int slot
  real,          // the slot as a single
  boolean,       // slot == 1.0
  span,          // single: slot minus slot `base` (mandelBrot's extents)
  bailout,       // the constant 16.0 (mandelBrot); no slot
};

struct ArgSpec {
  ArgKind kind = ArgKind::integer;
  std::int8_t slot = -1;  // -1 for bailout
  std::int8_t base = -1;  // span only
  const char* name = "";
};

inline constexpr int kMaxArgs = 9;

// Arguments converted from a record, by call position.
struct CallArgs {
  std::int32_t i[kMaxArgs] = {};
  float f[kMaxArgs] = {};
  bool b[kMaxArgs] = {};
};

using OperationFn = void (*)(Synth&, const CallArgs&);
// Extra limits of one operation; returns nullptr or a static reason text
// (appended after the operation's name).
using LimitFn = const char* (*)(const CallArgs&);

struct OperationInfo {
  std::int32_t opcode = -1;
  const char* name = "";
  int argCount = 0;
  ArgSpec args[kMaxArgs] = {};
  OperationFn run = nullptr;
  LimitFn limits = nullptr;
};

// All 46 operations, ordered by opcode.
std::span<const OperationInfo> operationTable();
// nullptr when the opcode or name names no operation.
const OperationInfo* findOperation(std::int32_t opcode);
const OperationInfo* findOperationByName(std::string_view name);

// Converts a record's slots into call arguments as the table says.
CallArgs convertArgs(const OperationInfo& op, const CommandParams& params);

// Empty when the command may run; otherwise why not. Rejected: opcodes that
// name no operation, layers outside 0..5, the scratch layer where an
// operation reads or builds through it, and each operation's own limits
// (steps below 1, zero cell sizes, blob counts outside 0..16, quadrants
// outside 1..4, noiseDistort bits outside 0..16, woodLayer bits outside 0..8,
// a radius scale of 0, a negative motionBlur length or one above 2^24,
// randCombineLayers weights above 16 or not a number).
std::string validateCommand(std::int32_t opcode, const CommandParams& params);

// ----- Generators ------------------------------------------------------------
void subPlasma(Synth& s, int layer, int step, int seed, int range, bool colour);
void sinePlasma(Synth& s, int layer, float xFrequency, float yFrequency, float amplitude);
void perlinNoise(Synth& s, int layer, int step, int seed, int amplitude, int persistence,
                 int octaves, bool colour);
void particle(Synth& s, int layer, float falloff);
void colorLayer(Synth& s, int layer, int red, int green, int blue);
void checkerBoardLayer(Synth& s, int layer, int cellWidth, int cellHeight, int red1, int green1,
                       int blue1, int red2, int green2, int blue2);
void blobsLayer(Synth& s, int layer, int seed, int blobCount, bool colour);
void mandelBrot(Synth& s, int layer, float left, float horizontalSpan, float top,
                float verticalSpan, float bailout);
void cellMachine(Synth& s, int layer, int seed, int rule);

// ----- Layer combination (sources a and b, destination, weights) ----------------
void addLayers(Synth& s, int a, int b, int destination, float wa, float wb);
void mulLayers(Synth& s, int a, int b, int destination, float wa, float wb);
void randCombineLayers(Synth& s, int a, int b, int destination, float wa, float wb);
void minCombineLayers(Synth& s, int a, int b, int destination, float wa, float wb);
void maxCombineLayers(Synth& s, int a, int b, int destination, float wa, float wb);
void xorLayers(Synth& s, int a, int b, int destination, float wa, float wb);
void orLayers(Synth& s, int a, int b, int destination, float wa, float wb);
void andLayers(Synth& s, int a, int b, int destination, float wa, float wb);

// ----- Colour operations ------------------------------------------------------------
void scaleLayerRGB(Synth& s, int source, int destination, float red, float green, float blue);
void scaleLayerHSV(Synth& s, int source, int destination, float hue, float saturation,
                   float value);
void adjustLayerRGB(Synth& s, int source, int destination, int red, int green, int blue);
void adjustLayerHSV(Synth& s, int source, int destination, float hue, float saturation,
                    float value);
void sineLayerRGB(Synth& s, int source, int destination, float red, float green, float blue);
void equalizeRGB(Synth& s, int source, int destination);
void stretchRGB(Synth& s, int source, int destination);
void invertLayer(Synth& s, int source, int destination);
void woodLayer(Synth& s, int source, int destination, int bits);

// HSV: hue in degrees 0 <= hue < 360 or -1 without saturation, saturation
// 0..1, value 0..255, all single. hsvToRgb reduces any finite hue into
// 0..360 (a non-finite hue counts as 0).
void rgbToHsv(float red, float green, float blue, float& hue, float& saturation, float& value);
void hsvToRgb(float hue, float saturation, float value, float& red, float& green, float& blue);

// ----- Filters ------------------------------------------------------------------------
void embossLayer(Synth& s, int source, int destination);
void blurLayer(Synth& s, int source, int destination);
void sharpenLayer(Synth& s, int source, int destination);
void edgeHLayer(Synth& s, int source, int destination);
void edgeVLayer(Synth& s, int source, int destination);
void motionBlur(Synth& s, int source, int destination, int length);
void makeTilable(Synth& s, int source, int destination, int border);
void medianLayer(Synth& s, int source, int destination);
void sculptureLayer(Synth& s, int source, int destination);
void erodeLayer(Synth& s, int source, int destination);
void dilateLayer(Synth& s, int source, int destination);

// ----- Distortions ----------------------------------------------------------------------
void sineDistort(Synth& s, int source, int destination, float yFrequency, float xAmplitude,
                 float xFrequency, float yAmplitude);
void twirlLayer(Synth& s, int source, int destination, float angle, float radiusScale);
void mapDistort(Synth& s, int source, int map, int destination, float xScale, float yScale);
void tileLayer(Synth& s, int source, int destination);
void noiseDistort(Synth& s, int source, int destination, int seed, int bits);
void moveDistort(Synth& s, int source, int destination, int xOffset, int yOffset);
void kaleidLayer(Synth& s, int source, int destination, int quadrant);
void tunnelDistort(Synth& s, int source, int destination, float depth);
void logPolLayer(Synth& s, int source, int destination);

}  // namespace synth
