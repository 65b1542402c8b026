// Throughput of every synthesizer operation (megapixels per second, the
// "Mpx/s" counter) on 256 × 256 and 1024 × 1024 layers, and of memcpy of
// one layer as the anchor. Inputs: layers 0..2 hold noise, blobs and a
// plasma; every operation reads layer 0 (and 1) and writes layer 3.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "synth/operations.h"
#include "synth/synth.h"

namespace {

using synth::CommandParams;

CommandParams P(std::initializer_list<float> v) {
  CommandParams p;
  int k = 0;
  for (float x : v) p.p[k++] = x;
  return p;
}

// One representative command per operation, destination layer 3.
const std::map<int, CommandParams>& commands() {
  static const std::map<int, CommandParams> table = {
      {0, P({3, 16, 77, 256, 1})}, {1, P({3, 0.11f, 0.07f, 384})},
      {2, P({3, 32, 1234, 255, 128, 6, 1})}, {3, P({3, 1.25f})}, {4, P({3, 12, 200, 31})},
      {5, P({3, 12, 6, 255, 0, 0, 0, 0, 255})}, {6, P({3, 99, 16, 1})},
      {7, P({3, -2, -1.5f, 1, 1.5f})}, {8, P({3, 5, 30})},
      {10, P({0, 1, 3, 0.6f, 0.7f})}, {11, P({0, 1, 3, 1.5f, 1.2f})}, {12, P({0, 1, 3, 0.5f, 0.4f})},
      {13, P({0, 1, 3, 1, 0.8f})}, {14, P({0, 1, 3, 0.9f, 1})}, {15, P({0, 1, 3, 1, 1.5f})},
      {16, P({0, 1, 3, 0.5f, 1})}, {17, P({0, 1, 3, 2, 1})},
      {20, P({0, 3, 1.3f, 0.6f, 2})}, {21, P({0, 3, 1.2f, 0.7f, 1.1f})}, {22, P({0, 3, 40, -30, 100})},
      {23, P({0, 3, 75, 0.2f, -20})}, {24, P({0, 3, 0.01f, 0.02f, 0.005f})}, {25, P({0, 3})},
      {26, P({0, 3})}, {30, P({0, 3})}, {31, P({0, 3})}, {32, P({0, 3, 3})}, {33, P({0, 3})},
      {34, P({0, 3})}, {35, P({0, 3})}, {36, P({0, 3})}, {37, P({0, 3, 5})}, {38, P({0, 3, 8})},
      {39, P({0, 3})}, {40, P({0, 3, 0.2f, 3.5f, 0.15f, 2.5f})}, {41, P({0, 3, 0.02f, 0.5f})},
      {42, P({0, 1, 3, 0.05f, -0.03f})}, {43, P({0, 3})}, {44, P({0, 3, 17, 3})},
      {45, P({0, 3, 13, -7})}, {46, P({0, 3, 2})}, {47, P({0, 3, 20})}, {48, P({0, 3})},
      {49, P({0, 3})}, {50, P({0, 3})}, {51, P({0, 3})},
  };
  return table;
}

std::unique_ptr<synth::Synth> prepared(int side) {
  auto s = std::make_unique<synth::Synth>();
  if (!s->initLayers(side, side).empty()) return nullptr;
  synth::perlinNoise(*s, 0, 16, 101, 256, 160, 5, true);
  synth::blobsLayer(*s, 1, 202, 6, true);
  synth::subPlasma(*s, 2, 4, 303, 256, false);
  return s;
}

void setRate(benchmark::State& state, int side) {
  const double pixels = double(side) * side * double(state.iterations());
  state.counters["Mpx/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
}

void BM_Memcpy(benchmark::State& state) {
  const int side = int(state.range(0));
  auto s = prepared(side);
  for (auto _ : state) {
    std::memcpy(s->layer(3), s->layer(0), s->layerBytes());
    benchmark::DoNotOptimize(s->layer(3));
    benchmark::ClobberMemory();
  }
  setRate(state, side);
}
BENCHMARK(BM_Memcpy)->Arg(256)->Arg(1024);

void runOperation(benchmark::State& state, int opcode, int side) {
  auto s = prepared(side);
  const CommandParams p = commands().at(opcode);
  if (!s || !s->executeCommand(opcode, p).empty()) {
    state.SkipWithError("command refused");
    return;
  }
  for (auto _ : state) {
    s->executeCommand(opcode, p);
    benchmark::DoNotOptimize(s->layer(3));
    benchmark::ClobberMemory();
  }
  setRate(state, side);
}

const bool registered = [] {
  for (const synth::OperationInfo& op : synth::operationTable())
    for (int side : {256, 1024})
      benchmark::RegisterBenchmark((std::string("BM_") + op.name + "/" + std::to_string(side)).c_str(),
                                   [code = op.opcode, side](benchmark::State& st) { runOperation(st, code, side); });
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
