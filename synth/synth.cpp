// Layer bank, helpers, dispatcher, histories and dump files.
#include "synth/synth.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "fileio/fileio.h"
#include "synth/detail.h"
#include "synth/operations.h"

namespace synth {

std::int32_t slotToInt(float v) {
  if (!(v == v)) return 0;
  if (v >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
  if (v <= -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

std::uint32_t intSqrt(std::uint32_t n) {
  if (n == 0) return 0;
  // (n / x + x) reaches 2^32 for n = 2^32 − 1 at the first step: 64 bits.
  std::uint64_t x = n, prev = 0;
  for (;;) {
    const std::uint64_t next = (n / x + x) >> 1;
    if (static_cast<std::uint32_t>(prev - next) <= 1) return static_cast<std::uint32_t>(next);
    prev = next;
    x = next;
  }
}

float fastSqrt(float x) { return detail::fastSqrtInline(x); }

void cosineBlend(Rgb& result, const Rgb block[4], float fx, float fy) {
  const detail::BlendWeights w = detail::blendWeights(detail::cosineWeight(fx), detail::cosineWeight(fy));
  std::uint8_t px[4][3], out[3];
  for (int k = 0; k < 4; ++k) {
    px[k][0] = block[k].r;
    px[k][1] = block[k].g;
    px[k][2] = block[k].b;
  }
  detail::blendPixels(out, w, px[0], px[1], px[2], px[3]);
  result = Rgb{out[0], out[1], out[2]};
}

bool validLayerSide(int n) { return n >= 2 && n <= kMaxLayerSide && (n & (n - 1)) == 0; }

std::string Synth::initLayers(int width, int height) {
  if (!validLayerSide(width) || !validLayerSide(height))
    return "layer size " + std::to_string(width) + " x " + std::to_string(height) +
           " is not a power of two from 2 to " + std::to_string(kMaxLayerSide);
  const std::size_t pixels = std::size_t(width) * std::size_t(height);
  if (pixels > kMaxLayerPixels)
    return "layer size " + std::to_string(width) + " x " + std::to_string(height) +
           " exceeds " + std::to_string(kMaxLayerPixels) + " pixels";
  for (int i = 0; i < kLayerCount; ++i) {
    auto& l = layers_[std::size_t(i)];
    if (i < kHistoryLayers) {
      l.assign(pixels * 3 + kLayerPadding, 0);
    } else {
      l.resize(pixels * 3 + kLayerPadding);  // the scratch layer is working space only
    }
  }
  for (auto& h : histories_) h.count = 0;
  width_ = width;
  height_ = height;
  return {};
}

void Synth::freeLayers() {
  for (auto& l : layers_) std::vector<std::uint8_t>().swap(l);
  width_ = height_ = 0;
}

std::uint8_t* Synth::layer(int index) {
  if (index < 0 || index >= kLayerCount || !allocated()) return nullptr;
  return layers_[std::size_t(index)].data();
}

const std::uint8_t* Synth::layer(int index) const {
  if (index < 0 || index >= kLayerCount || !allocated()) return nullptr;
  return layers_[std::size_t(index)].data();
}

void Synth::sampleLayer(Rgb& result, int layerIndex, float x, float y) const {
  std::uint8_t out[3];
  detail::sampleInto(out, layers_[std::size_t(layerIndex)].data(), width_, height_, x, y);
  result = Rgb{out[0], out[1], out[2]};
}

// ----- Dispatcher and histories ------------------------------------------------

namespace {

std::string checkHistoryLayer(int layer) {
  if (layer < 0 || layer >= kHistoryLayers)
    return "history layer " + std::to_string(layer) + " is outside 0..4";
  return {};
}

std::string checkIndex(int index) {
  if (index < 0 || index >= kMaxCommands)
    return "history index " + std::to_string(index) + " is outside 0..99";
  return {};
}

}  // namespace

std::string Synth::executeCommand(std::int32_t opcode, const CommandParams& params) {
  const OperationInfo* op = findOperation(opcode);
  if (!op) return "opcode " + std::to_string(opcode) + " names no operation";
  std::string reason = validateCommand(opcode, params);
  if (!reason.empty()) return reason;
  if (!allocated()) return "the layers are not allocated (initLayers first)";
  op->run(*this, convertArgs(*op, params));
  return {};
}

std::string Synth::addCommand(int layerIndex, bool execute, std::int32_t opcode,
                              const CommandParams& params, int index) {
  std::string reason = checkHistoryLayer(layerIndex);
  if (reason.empty() && index >= 0) reason = checkIndex(index);
  if (reason.empty()) reason = validateCommand(opcode, params);
  if (!reason.empty()) return reason;
  CommandHistory& h = histories_[std::size_t(layerIndex)];
  if (index >= 0) {
    h.opcodes[std::size_t(index)] = opcode;
    h.params[std::size_t(index)] = params;
    return {};
  }
  const bool restart = opcode < 10;
  if (!restart && h.count >= kMaxCommands)
    return "history of layer " + std::to_string(layerIndex) + " is full (100 commands)";
  if (execute && !allocated()) return "the layers are not allocated (initLayers first)";
  if (restart) h.count = 0;
  h.opcodes[std::size_t(h.count)] = opcode;
  h.params[std::size_t(h.count)] = params;
  ++h.count;
  if (execute) executeCommand(opcode, params);
  return {};
}

std::string Synth::undoCommand(int layerIndex, bool replay) {
  std::string reason = checkHistoryLayer(layerIndex);
  if (!reason.empty()) return reason;
  if (replay && !allocated()) return "the layers are not allocated (initLayers first)";
  CommandHistory& h = histories_[std::size_t(layerIndex)];
  if (h.count > 0) --h.count;
  if (replay) {
    if (h.count > 0) {
      replayHistory(layerIndex);
    } else {
      colorLayer(*this, layerIndex, 0, 0, 0);
    }
  }
  return {};
}

std::string Synth::replaceCommand(int layerIndex, int index, std::int32_t opcode,
                                  const CommandParams& params) {
  std::string reason = checkHistoryLayer(layerIndex);
  if (reason.empty()) reason = checkIndex(index);
  if (reason.empty()) reason = validateCommand(opcode, params);
  if (!reason.empty()) return reason;
  histories_[std::size_t(layerIndex)].opcodes[std::size_t(index)] = opcode;
  histories_[std::size_t(layerIndex)].params[std::size_t(index)] = params;
  return {};
}

int Synth::replayHistory(int layerIndex) {
  if (layerIndex < 0 || layerIndex >= kHistoryLayers) return 0;
  const CommandHistory& h = histories_[std::size_t(layerIndex)];
  int skipped = 0;
  for (int i = 0; i < h.count && i < kMaxCommands; ++i)
    if (!executeCommand(h.opcodes[std::size_t(i)], h.params[std::size_t(i)]).empty()) ++skipped;
  return skipped;
}

std::string Synth::setHistories(const Histories& histories) {
  for (int l = 0; l < kHistoryLayers; ++l) {
    const std::int32_t c = histories[std::size_t(l)].count;
    if (c < 0 || c > kMaxCommands)
      return "count of layer " + std::to_string(l) + " is " + std::to_string(c) +
             ", outside 0..100";
  }
  histories_ = histories;
  return {};
}

void Synth::convertOutput(std::uint8_t* pixels) const {
  const std::uint8_t* src = layers_[kOutputLayer].data();
  const std::size_t n = std::size_t(width_) * std::size_t(height_);
  for (std::size_t i = 0; i < n; ++i) {
    pixels[4 * i + 0] = src[3 * i + 2];
    pixels[4 * i + 1] = src[3 * i + 1];
    pixels[4 * i + 2] = src[3 * i + 0];
    pixels[4 * i + 3] = 0;
  }
}

bool Synth::renderHistories(std::vector<std::uint8_t>& pixels, const Histories& histories,
                            int width, int height, bool allocate, std::string* error) {
  auto fail = [&](std::string why) {
    if (error) *error = std::move(why);
    return false;
  };
  if (!validLayerSide(width) || !validLayerSide(height) ||
      std::size_t(width) * std::size_t(height) > kMaxLayerPixels)
    return fail("layer size " + std::to_string(width) + " x " + std::to_string(height) +
                " is not a power of two from 2 to " + std::to_string(kMaxLayerSide) +
                " (at most " + std::to_string(kMaxLayerPixels) + " pixels)");
  const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4;
  if (!allocate && pixels.size() < bytes)
    return fail("pixel buffer holds " + std::to_string(pixels.size()) + " bytes, " +
                std::to_string(bytes) + " needed");
  for (int l = 0; l < kHistoryLayers; ++l) {
    const std::int32_t c = histories[std::size_t(l)].count;
    if (c < 0 || c > kMaxCommands)
      return fail("count of layer " + std::to_string(l) + " is " + std::to_string(c) +
                  ", outside 0..100");
  }
  std::string reason = initLayers(width, height);
  if (!reason.empty()) return fail(reason);
  histories_ = histories;
  for (int l = 0; l < kHistoryLayers; ++l) replayHistory(l);
  if (allocate) pixels.resize(bytes);
  convertOutput(pixels.data());
  freeLayers();
  return true;
}

bool Synth::renderCommandFile(std::vector<std::uint8_t>& pixels, const std::string& fileName,
                              int width, int height, bool allocate, std::string* error) {
  Histories loaded{};
  if (!loadDumpFile(fileName, loaded, error)) return false;
  return renderHistories(pixels, loaded, width, height, allocate, error);
}

// ----- Dump files ------------------------------------------------------------------

namespace {

void putU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
  p[2] = std::uint8_t(v >> 16);
  p[3] = std::uint8_t(v >> 24);
}

std::uint32_t getU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

}  // namespace

std::vector<std::uint8_t> encodeDump(const Histories& histories) {
  std::vector<std::uint8_t> out(kDumpBytes);
  for (std::size_t l = 0; l < std::size_t(kHistoryLayers); ++l) {
    std::uint8_t* base = out.data() + l * kHistoryBytes;
    const CommandHistory& h = histories[l];
    putU32(base, static_cast<std::uint32_t>(h.count));
    for (std::size_t i = 0; i < std::size_t(kMaxCommands); ++i) {
      putU32(base + 4 + 4 * i, static_cast<std::uint32_t>(h.opcodes[i]));
      for (std::size_t k = 0; k < std::size_t(kParamCount); ++k) {
        std::uint32_t bits;
        std::memcpy(&bits, &h.params[i].p[k], 4);
        putU32(base + 404 + 40 * i + 4 * k, bits);
      }
    }
  }
  return out;
}

bool decodeDump(const std::uint8_t* data, std::size_t size, Histories& histories,
                std::string* error) {
  if (size != kDumpBytes) {
    if (error)
      *error = "a history dump holds " + std::to_string(kDumpBytes) + " bytes, not " +
               std::to_string(size);
    return false;
  }
  Histories h{};
  for (std::size_t l = 0; l < std::size_t(kHistoryLayers); ++l) {
    const std::uint8_t* base = data + l * kHistoryBytes;
    h[l].count = static_cast<std::int32_t>(getU32(base));
    if (h[l].count < 0 || h[l].count > kMaxCommands) {
      if (error)
        *error = "count of layer " + std::to_string(l) + " is " + std::to_string(h[l].count) +
                 ", outside 0..100";
      return false;
    }
    for (std::size_t i = 0; i < std::size_t(kMaxCommands); ++i) {
      h[l].opcodes[i] = static_cast<std::int32_t>(getU32(base + 4 + 4 * i));
      for (std::size_t k = 0; k < std::size_t(kParamCount); ++k) {
        const std::uint32_t bits = getU32(base + 404 + 40 * i + 4 * k);
        std::memcpy(&h[l].params[i].p[k], &bits, 4);
      }
    }
  }
  histories = h;
  return true;
}

bool loadDumpFile(const std::string& fileName, Histories& histories, std::string* error) {
  // At most one byte more than a dump, so a longer file is refused without
  // reading it whole.
  std::vector<std::uint8_t> data;
  std::string why;
  if (!fileio::readFileStart(fileName, kDumpBytes + 1, data, nullptr, &why)) {
    if (error) *error = why;
    return false;
  }
  if (!decodeDump(data.data(), data.size(), histories, &why)) {
    if (error) *error = fileName + ": " + (data.size() > kDumpBytes ? "a history dump holds 22020 bytes, this file more" : why);
    return false;
  }
  return true;
}

bool saveDumpFile(const std::string& fileName, const Histories& histories, std::string* error,
                  const std::vector<std::string>& inputs) {
  for (int l = 0; l < kHistoryLayers; ++l) {
    const std::int32_t c = histories[std::size_t(l)].count;
    if (c < 0 || c > kMaxCommands) {
      if (error) *error = "count of layer " + std::to_string(l) + " is outside 0..100";
      return false;
    }
  }
  const std::vector<std::uint8_t> bytes = encodeDump(histories);
  fileio::OutputOptions options;
  options.inputs = inputs;
  return fileio::writeWholeFile(fileName, bytes.data(), bytes.size(), options, error);
}

}  // namespace synth
