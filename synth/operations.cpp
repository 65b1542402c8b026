// The opcode table: the one place that names every operation, its opcode,
// its arguments (kind, slot) and its function.
#include "synth/operations.h"

#include <array>
#include <cstddef>
#include <utility>

namespace synth {

namespace {

// Calls an operation with the arguments of its parameter types, taking
// argument k from the int, float or bool column of CallArgs.
template <auto Fn>
struct Invoker;

template <typename... A, void (*Fn)(Synth&, A...)>
struct Invoker<Fn> {
  static constexpr int arity = sizeof...(A);
  template <typename T>
  static T get(const CallArgs& a, std::size_t k) {
    if constexpr (std::is_same_v<T, int>) return a.i[k];
    else if constexpr (std::is_same_v<T, float>) return a.f[k];
    else {
      static_assert(std::is_same_v<T, bool>);
      return a.b[k];
    }
  }
  template <std::size_t... K>
  static void call(Synth& s, const CallArgs& a, std::index_sequence<K...>) {
    Fn(s, get<A>(a, K)...);
  }
  static void run(Synth& s, const CallArgs& a) { call(s, a, std::index_sequence_for<A...>{}); }
  // Does the table's list of kinds match the parameter types?
  static constexpr bool matches(const ArgSpec* args, int count) {
    if (count != arity) return false;
    constexpr char types[] = {(std::is_same_v<A, int> ? 'i' : std::is_same_v<A, float> ? 'f' : 'b')..., 0};
    for (int k = 0; k < count; ++k) {
      const ArgKind kind = args[k].kind;
      const char want = (kind == ArgKind::real || kind == ArgKind::span || kind == ArgKind::bailout)
                            ? 'f'
                            : kind == ArgKind::boolean ? 'b' : 'i';
      if (types[k] != want) return false;
    }
    return true;
  }
};

constexpr ArgSpec L(int slot, const char* name) { return {ArgKind::layer, std::int8_t(slot), -1, name}; }
constexpr ArgSpec W(int slot, const char* name) { return {ArgKind::workLayer, std::int8_t(slot), -1, name}; }
constexpr ArgSpec I(int slot, const char* name) { return {ArgKind::integer, std::int8_t(slot), -1, name}; }
constexpr ArgSpec R(int slot, const char* name) { return {ArgKind::real, std::int8_t(slot), -1, name}; }
constexpr ArgSpec B(int slot, const char* name) { return {ArgKind::boolean, std::int8_t(slot), -1, name}; }

// ----- Per-operation limits ------------------------------------------------------

const char* stepLimit(const CallArgs& a) { return a.i[1] < 1 ? "step below 1" : nullptr; }
const char* cellLimit(const CallArgs& a) {
  return (a.i[1] < 1 || a.i[2] < 1) ? "cell width and height must be at least 1" : nullptr;
}
const char* blobLimit(const CallArgs& a) {
  return (a.i[2] < 0 || a.i[2] > 16) ? "blob count outside 0..16" : nullptr;
}
const char* motionLimit(const CallArgs& a) {
  if (a.i[2] < 0) return "negative length";
  return a.i[2] > (1 << 24) ? "length above 16777216" : nullptr;
}
const char* woodLimit(const CallArgs& a) {
  return (a.i[2] < 0 || a.i[2] > 8) ? "bits outside 0..8" : nullptr;
}
const char* twirlLimit(const CallArgs& a) { return a.f[3] == 0.0f ? "radius scale 0" : nullptr; }
const char* noiseLimit(const CallArgs& a) {
  return (a.i[3] < 0 || a.i[3] > 16) ? "bits outside 0..16" : nullptr;
}
// The scatter runs 1.5 × weight × pixels turns (none for a weight <= 0):
// bound the weights on both sides so a command cannot run for minutes and
// the turn count always fits its integer.
const char* scatterLimit(const CallArgs& a) {
  for (int k = 3; k <= 4; ++k)
    if (!(a.f[k] >= -16.0f && a.f[k] <= 16.0f)) return "weight outside -16..16 (or not a number)";
  return nullptr;
}
const char* kaleidLimit(const CallArgs& a) {
  return (a.i[2] < 1 || a.i[2] > 4) ? "quadrant outside 1..4" : nullptr;
}

#define OP(code, fn, limits, ...) \
  OperationInfo { code, #fn, Invoker<&fn>::arity, {__VA_ARGS__}, &Invoker<&fn>::run, limits }

#define COMBINE(code, fn) COMBINE_L(code, fn, nullptr)
#define COMBINE_L(code, fn, limits) \
  OP(code, fn, limits, W(0, "source a"), W(1, "source b"), W(2, "destination"), R(3, "weight a"), R(4, "weight b"))
#define UNARY(code, fn, kind) OP(code, fn, nullptr, kind(0, "source"), kind(1, "destination"))

constexpr std::array<OperationInfo, 46> kTable = {
    OP(0, subPlasma, stepLimit, L(0, "layer"), I(1, "step"), I(2, "seed"), I(3, "range"), B(4, "colour")),
    OP(1, sinePlasma, nullptr, L(0, "layer"), R(1, "x frequency"), R(2, "y frequency"), R(3, "amplitude")),
    OP(2, perlinNoise, stepLimit, W(0, "layer"), I(1, "step"), I(2, "seed"), I(3, "amplitude"),
       I(4, "persistence"), I(5, "octaves"), B(6, "colour")),
    OP(3, particle, nullptr, L(0, "layer"), R(1, "falloff")),
    OP(4, colorLayer, nullptr, L(0, "layer"), I(1, "red"), I(2, "green"), I(3, "blue")),
    OP(5, checkerBoardLayer, cellLimit, L(0, "layer"), I(1, "cell width"), I(2, "cell height"),
       I(3, "red 1"), I(4, "green 1"), I(5, "blue 1"), I(6, "red 2"), I(7, "green 2"), I(8, "blue 2")),
    OP(6, blobsLayer, blobLimit, L(0, "layer"), I(1, "seed"), I(2, "blob count"), B(3, "colour")),
    OP(7, mandelBrot, nullptr, L(0, "layer"), R(1, "left"), (ArgSpec{ArgKind::span, 3, 1, "horizontal span"}),
       R(2, "top"), (ArgSpec{ArgKind::span, 4, 2, "vertical span"}), (ArgSpec{ArgKind::bailout, -1, -1, "bail-out limit"})),
    OP(8, cellMachine, nullptr, L(0, "layer"), I(1, "seed"), I(2, "rule")),
    COMBINE(10, addLayers),
    COMBINE(11, mulLayers),
    COMBINE_L(12, randCombineLayers, scatterLimit),
    COMBINE(13, minCombineLayers),
    COMBINE(14, maxCombineLayers),
    COMBINE(15, xorLayers),
    COMBINE(16, orLayers),
    COMBINE(17, andLayers),
    OP(20, scaleLayerRGB, nullptr, L(0, "source"), L(1, "destination"), R(2, "red"), R(3, "green"), R(4, "blue")),
    OP(21, scaleLayerHSV, nullptr, L(0, "source"), L(1, "destination"), R(2, "hue"), R(3, "saturation"), R(4, "value")),
    OP(22, adjustLayerRGB, nullptr, L(0, "source"), L(1, "destination"), I(2, "red"), I(3, "green"), I(4, "blue")),
    OP(23, adjustLayerHSV, nullptr, L(0, "source"), L(1, "destination"), R(2, "hue"), R(3, "saturation"), R(4, "value")),
    OP(24, sineLayerRGB, nullptr, L(0, "source"), L(1, "destination"), R(2, "red"), R(3, "green"), R(4, "blue")),
    UNARY(25, equalizeRGB, L),
    UNARY(26, stretchRGB, L),
    UNARY(30, invertLayer, L),
    UNARY(31, embossLayer, W),
    OP(32, woodLayer, woodLimit, L(0, "source"), L(1, "destination"), I(2, "bits")),
    UNARY(33, blurLayer, W),
    UNARY(34, sharpenLayer, W),
    UNARY(35, edgeHLayer, W),
    UNARY(36, edgeVLayer, W),
    OP(37, motionBlur, motionLimit, W(0, "source"), W(1, "destination"), I(2, "length")),
    OP(38, makeTilable, nullptr, W(0, "source"), W(1, "destination"), I(2, "border")),
    UNARY(39, medianLayer, W),
    OP(40, sineDistort, nullptr, W(0, "source"), W(1, "destination"), R(2, "y frequency"), R(3, "x amplitude"),
       R(4, "x frequency"), R(5, "y amplitude")),
    OP(41, twirlLayer, twirlLimit, W(0, "source"), W(1, "destination"), R(2, "angle"), R(3, "radius scale")),
    OP(42, mapDistort, nullptr, W(0, "source"), W(1, "map"), W(2, "destination"), R(3, "x scale"), R(4, "y scale")),
    UNARY(43, tileLayer, W),
    OP(44, noiseDistort, noiseLimit, W(0, "source"), W(1, "destination"), I(2, "seed"), I(3, "bits")),
    OP(45, moveDistort, nullptr, W(0, "source"), W(1, "destination"), I(2, "x offset"), I(3, "y offset")),
    OP(46, kaleidLayer, kaleidLimit, W(0, "source"), W(1, "destination"), I(2, "quadrant")),
    OP(47, tunnelDistort, nullptr, W(0, "source"), W(1, "destination"), R(2, "depth")),
    UNARY(48, sculptureLayer, W),
    UNARY(49, logPolLayer, W),
    UNARY(50, erodeLayer, W),
    UNARY(51, dilateLayer, W),
};

#undef OP
#undef COMBINE
#undef COMBINE_L
#undef UNARY

// Every row's kinds must match its function's parameter types, opcodes rise.
template <std::size_t... K>
constexpr bool tableConsistent(std::index_sequence<K...>) {
  for (std::size_t k = 1; k < kTable.size(); ++k)
    if (kTable[k].opcode <= kTable[k - 1].opcode) return false;
  return true;
}
static_assert(tableConsistent(std::make_index_sequence<kTable.size()>{}));

// Argument kinds against parameter types, one check per operation.
#define KINDS(index, fn) static_assert(Invoker<&fn>::matches(kTable[index].args, kTable[index].argCount), #fn)
KINDS(0, subPlasma); KINDS(1, sinePlasma); KINDS(2, perlinNoise); KINDS(3, particle);
KINDS(4, colorLayer); KINDS(5, checkerBoardLayer); KINDS(6, blobsLayer); KINDS(7, mandelBrot);
KINDS(8, cellMachine); KINDS(9, addLayers); KINDS(10, mulLayers); KINDS(11, randCombineLayers);
KINDS(12, minCombineLayers); KINDS(13, maxCombineLayers); KINDS(14, xorLayers); KINDS(15, orLayers);
KINDS(16, andLayers); KINDS(17, scaleLayerRGB); KINDS(18, scaleLayerHSV); KINDS(19, adjustLayerRGB);
KINDS(20, adjustLayerHSV); KINDS(21, sineLayerRGB); KINDS(22, equalizeRGB); KINDS(23, stretchRGB);
KINDS(24, invertLayer); KINDS(25, embossLayer); KINDS(26, woodLayer); KINDS(27, blurLayer);
KINDS(28, sharpenLayer); KINDS(29, edgeHLayer); KINDS(30, edgeVLayer); KINDS(31, motionBlur);
KINDS(32, makeTilable); KINDS(33, medianLayer); KINDS(34, sineDistort); KINDS(35, twirlLayer);
KINDS(36, mapDistort); KINDS(37, tileLayer); KINDS(38, noiseDistort); KINDS(39, moveDistort);
KINDS(40, kaleidLayer); KINDS(41, tunnelDistort); KINDS(42, sculptureLayer); KINDS(43, logPolLayer);
KINDS(44, erodeLayer); KINDS(45, dilateLayer);
#undef KINDS

}  // namespace

std::span<const OperationInfo> operationTable() { return kTable; }

const OperationInfo* findOperation(std::int32_t opcode) {
  if (opcode < 0 || opcode > 51) return nullptr;
  for (const OperationInfo& op : kTable)
    if (op.opcode == opcode) return &op;
  return nullptr;
}

const OperationInfo* findOperationByName(std::string_view name) {
  for (const OperationInfo& op : kTable)
    if (name == op.name) return &op;
  return nullptr;
}

CallArgs convertArgs(const OperationInfo& op, const CommandParams& params) {
  CallArgs a;
  for (int k = 0; k < op.argCount; ++k) {
    const ArgSpec& s = op.args[k];
    switch (s.kind) {
      case ArgKind::layer:
      case ArgKind::workLayer:
      case ArgKind::integer:
        a.i[k] = slotToInt(params.p[s.slot]);
        break;
      case ArgKind::real:
        a.f[k] = params.p[s.slot];
        break;
      case ArgKind::boolean:
        a.b[k] = slotToBool(params.p[s.slot]);
        break;
      case ArgKind::span:
        a.f[k] = params.p[s.slot] - params.p[s.base];  // single difference
        break;
      case ArgKind::bailout:
        a.f[k] = 16.0f;
        break;
    }
  }
  return a;
}

std::string validateCommand(std::int32_t opcode, const CommandParams& params) {
  const OperationInfo* op = findOperation(opcode);
  if (!op) return "opcode " + std::to_string(opcode) + " names no operation";
  const CallArgs a = convertArgs(*op, params);
  for (int k = 0; k < op->argCount; ++k) {
    const ArgSpec& s = op->args[k];
    if (s.kind != ArgKind::layer && s.kind != ArgKind::workLayer) continue;
    const int v = a.i[k];
    if (v < 0 || v > kScratchLayer)
      return std::string(op->name) + ": " + s.name + " layer " + std::to_string(v) +
             " is outside 0..5";
    if (s.kind == ArgKind::workLayer && v == kScratchLayer)
      return std::string(op->name) + ": " + s.name +
             " is the scratch layer 5, which this operation uses as working space";
  }
  if (op->limits)
    if (const char* why = op->limits(a)) return std::string(op->name) + ": " + why;
  return {};
}

}  // namespace synth
