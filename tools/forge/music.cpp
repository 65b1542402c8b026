#include "music.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "fileio/fileio.h"

namespace forge {

namespace {

constexpr double kPi = 3.14159265358979323846;

// name, start, end, beat, tick, kick snare hats bass chords arp lead
const std::vector<MusicSection> kSections = {
    {"intro", 0, 4445, 0, 0.0, false, false, false, false, true, false, false},
    {"lift", 4445, 6361, 479, 0.12, true, true, false, true, true, false, false},
    {"pagesA", 6361, 19773, 479, 0.15, true, true, true, true, true, false, false},
    {"break", 19773, 21689, 479, 0.0, false, false, false, true, true, false, false},
    {"pagesB", 21689, 33185, 479, 0.15, true, true, true, true, true, false, true},
    {"fill", 33185, 35101, 479, 0.2, true, true, false, true, true, false, false},
    {"orbits", 35101, 50429, 479, 0.22, true, true, true, true, true, true, true},
    {"swirl", 50429, 60009, 479, 0.32, true, true, true, true, true, true, false},
    {"corridor", 60009, 67673, 479, 0.18, true, false, true, true, true, false, false},
    {"turn", 67673, 68245, 0, 0.0, false, false, false, false, true, false, false},
    {"vortex", 68245, 81069, 458, 0.25, true, true, true, true, true, true, false},
    {"breath", 81069, 81398, 0, 0.0, false, false, false, false, true, false, false},
    {"greets", 81398, 125466, 479, 0.2, true, true, true, true, true, false, true},
    {"sphere", 125466, 142710, 479, 0.16, true, false, true, true, true, true, false},
    {"terrain", 142710, 159954, 479, 0.2, true, true, true, true, true, true, false},
    {"credits", 159954, 188694, 479, 0.2, true, true, true, true, true, false, true},
    {"finale", 188694, 197396, 458, 0.25, true, true, true, true, true, true, true},
    {"ending", 197396, 200000, 0, 0.0, false, false, false, false, true, false, false},
};

// Chords as MIDI notes (root, third, fifth), roots in the bass octave: the
// main turn Am F C G, and a softer one, F G Em Am, for the calmer sections.
const int kChords[4][3] = {{45, 48, 52}, {41, 45, 48}, {48, 52, 55}, {43, 47, 50}};
const int kSoftChords[4][3] = {{41, 45, 48}, {43, 47, 50}, {40, 43, 47}, {45, 48, 52}};

bool isSoft(const std::string& name) { return name == "sphere" || name == "corridor" || name == "break"; }

double midiHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// Deterministic noise (xorshift), the same everywhere.
struct Noise {
  std::uint32_t s;
  explicit Noise(std::uint32_t seed) : s(seed ? seed : 1) {}
  double next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return static_cast<double>(s) / 2147483648.0 - 1.0;
  }
};

// Band-limited single-cycle tables, cached by shape and harmonic count.
class Tables {
 public:
  enum Shape { saw, square, soft };
  static constexpr int kSize = 2048;
  const std::vector<float>& get(Shape shape, int harmonics) {
    auto& t = cache_[{shape, harmonics}];
    if (t.empty()) {
      t.assign(kSize + 1, 0.0f);
      double peak = 0;
      std::vector<double> v(kSize, 0.0);
      for (int h = 1; h <= harmonics; ++h) {
        if (shape == square && h % 2 == 0) continue;
        const double amp = shape == soft ? 1.0 / (h * h) : 1.0 / h;
        for (int i = 0; i < kSize; ++i) v[i] += amp * std::sin(2 * kPi * h * i / kSize);
      }
      for (double x : v) peak = std::max(peak, std::fabs(x));
      for (int i = 0; i < kSize; ++i) t[i] = static_cast<float>(v[i] / peak);
      t[kSize] = t[0];
    }
    return t;
  }

 private:
  std::map<std::pair<int, int>, std::vector<float>> cache_;
};

class Mixer {
 public:
  explicit Mixer(std::size_t frames) : left(frames, 0.0), right(frames, 0.0) {}
  std::vector<double> left, right;

  std::size_t frames() const { return left.size(); }
  static std::int64_t frameAt(double ms) { return static_cast<std::int64_t>(std::llround(ms * kMusicRate / 1000.0)); }

  // A tone from a table: attack, hold for `length` ms, then release.
  void tone(Tables& tables, Tables::Shape shape, double startMs, double lengthMs, double hz, double amp,
            double pan, double attackMs, double releaseMs, double maxHz = 3500.0, double detune = 0.0) {
    const int harmonics = std::max(1, static_cast<int>(maxHz / hz));
    const auto& t = tables.get(shape, std::min(harmonics, 64));
    const std::int64_t start = frameAt(startMs);
    const std::int64_t count = frameAt(lengthMs + releaseMs);
    const double step = hz * std::pow(2.0, detune / 1200.0) / kMusicRate * Tables::kSize;
    const double gl = amp * std::cos((pan + 1) * kPi / 4), gr = amp * std::sin((pan + 1) * kPi / 4);
    const double attack = attackMs * kMusicRate / 1000.0, hold = lengthMs * kMusicRate / 1000.0,
                 release = releaseMs * kMusicRate / 1000.0;
    double phase = 0;
    for (std::int64_t i = 0; i < count; ++i) {
      const std::int64_t f = start + i;
      if (f < 0) continue;
      if (static_cast<std::size_t>(f) >= frames()) break;
      double env = i < attack ? i / attack : 1.0;
      if (i > hold) env *= std::max(0.0, 1.0 - (i - hold) / release);
      const int k = static_cast<int>(phase);
      const double s = t[k] + (t[k + 1] - t[k]) * (phase - k);
      left[f] += gl * env * s;
      right[f] += gr * env * s;
      phase += step;
      if (phase >= Tables::kSize) phase -= Tables::kSize;
    }
  }

  void kick(double ms, double amp) {
    const std::int64_t start = frameAt(ms), count = frameAt(420);
    double phase = 0;
    for (std::int64_t i = 0; i < count && static_cast<std::size_t>(start + i) < frames(); ++i) {
      const double t = static_cast<double>(i) / kMusicRate;
      const double hz = 46 + 120 * std::exp(-t / 0.028);
      phase += 2 * kPi * hz / kMusicRate;
      const double v = amp * std::sin(phase) * std::exp(-t / 0.22) * std::min(1.0, i / 40.0);
      left[start + i] += v;
      right[start + i] += v;
    }
  }

  void snare(double ms, double amp, Noise& noise) {
    const std::int64_t start = frameAt(ms), count = frameAt(300);
    double phase = 0, lp = 0;
    for (std::int64_t i = 0; i < count && static_cast<std::size_t>(start + i) < frames(); ++i) {
      const double t = static_cast<double>(i) / kMusicRate;
      phase += 2 * kPi * 188 / kMusicRate;
      const double n = noise.next();
      lp += (n - lp) * 0.45;  // a little darker than white
      const double v = amp * (0.6 * lp * std::exp(-t / 0.09) + 0.45 * std::sin(phase) * std::exp(-t / 0.05));
      left[start + i] += v * 0.95;
      right[start + i] += v;
    }
  }

  // The beat tick: a pure tone at the centre of band 110 plus a breath of
  // high noise; it has decayed by 1/e after 40 ms.
  void tick(double ms, double amp, Noise& noise) {
    const std::int64_t start = frameAt(ms), count = frameAt(260);
    double previous = 0;
    for (std::int64_t i = 0; i < count && static_cast<std::size_t>(start + i) < frames(); ++i) {
      const double t = static_cast<double>(i) / kMusicRate;
      const double n = noise.next();
      const double high = n - previous;  // first difference: mostly above 10 kHz
      previous = n;
      const double v = amp * std::exp(-t / 0.04) * (std::sin(2 * kPi * kTickHz * t) + 0.12 * high);
      left[start + i] += v;
      right[start + i] += v;
    }
  }

  // A long, bright noise wash (its level at 4.7 kHz stays far below the tick's).
  void crash(double ms, double amp, Noise& noise) {
    const std::int64_t start = frameAt(ms), count = frameAt(1600);
    double previous = 0;
    for (std::int64_t i = 0; i < count && static_cast<std::size_t>(start + i) < frames(); ++i) {
      const double t = static_cast<double>(i) / kMusicRate;
      const double n = noise.next();
      const double v = amp * std::exp(-t / 0.45) * (n - 0.6 * previous);
      previous = n;
      left[start + i] += v;
      right[start + i] += v * 0.9;
    }
  }

  // The off-beat hat: metallic partials far above band 110.
  void hat(double ms, double amp, Noise& noise) {
    const std::int64_t start = frameAt(ms), count = frameAt(120);
    const double partials[3] = {7350, 9120, 10840};
    double previous = 0;
    for (std::int64_t i = 0; i < count && static_cast<std::size_t>(start + i) < frames(); ++i) {
      const double t = static_cast<double>(i) / kMusicRate;
      const double n = noise.next();
      const double high = n - previous;
      previous = n;
      double s = 0.25 * high;
      for (double p : partials) s += std::sin(2 * kPi * p * t) / 3;
      const double v = amp * std::exp(-t / 0.025) * s;
      left[start + i] += v * 0.8;
      right[start + i] += v;
    }
  }

  // A rising noise sweep into a section start.
  void riser(double fromMs, double toMs, double amp, Noise& noise) {
    const std::int64_t a = frameAt(fromMs), b = frameAt(toMs);
    double lp = 0;
    for (std::int64_t f = a; f < b && static_cast<std::size_t>(f) < frames(); ++f) {
      const double u = static_cast<double>(f - a) / static_cast<double>(b - a);
      lp += (noise.next() - lp) * (0.02 + 0.25 * u * u);
      const double v = amp * u * u * lp;
      left[f] += v;
      right[f] += v;
    }
  }
};

// Lead motif: eight eighths per bar, as steps over the chord's tones (0 … 5,
// two octaves), -1 a rest; four bars make the phrase.
const int kMotif[8][8] = {{0, -1, 2, 3, -1, 2, 1, -1},
                          {1, -1, 0, 2, -1, 4, 3, -1},
                          {2, -1, 3, 4, 5, -1, 4, 2},
                          {3, 2, -1, 1, -1, 0, -1, -1},
                          // The answer, played every second phrase.
                          {3, -1, 4, -1, 5, 4, 3, -1},
                          {4, 3, -1, 2, -1, 1, 2, -1},
                          {2, -1, 2, 3, -1, 4, -1, 5},
                          {3, -1, -1, 1, 0, -1, -1, -1}};

// A growing byte buffer behind libsndfile's virtual I/O.
struct MemoryFile {
  std::vector<std::uint8_t> bytes;
  sf_count_t position = 0;
};
sf_count_t memoryLength(void* user) { return sf_count_t(static_cast<MemoryFile*>(user)->bytes.size()); }
sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  const sf_count_t base = whence == SEEK_CUR ? m->position : whence == SEEK_END ? sf_count_t(m->bytes.size()) : 0;
  if (base + offset < 0) return -1;
  m->position = base + offset;
  return m->position;
}
sf_count_t memoryRead(void* to, sf_count_t count, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  const sf_count_t size = sf_count_t(m->bytes.size());
  const sf_count_t n = std::max<sf_count_t>(0, std::min(count, size - m->position));
  if (n > 0) std::memcpy(to, m->bytes.data() + m->position, std::size_t(n));
  m->position += n;
  return n;
}
sf_count_t memoryWrite(const void* from, sf_count_t count, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  if (std::size_t(m->position + count) > m->bytes.size()) m->bytes.resize(std::size_t(m->position + count));
  std::memcpy(m->bytes.data() + m->position, from, std::size_t(count));
  m->position += count;
  return count;
}
sf_count_t memoryTell(void* user) { return static_cast<MemoryFile*>(user)->position; }

}  // namespace

const std::vector<MusicSection>& musicSections() { return kSections; }

std::vector<double> sectionBeats(const MusicSection& s) {
  std::vector<double> beats;
  if (s.beatMs <= 0) return beats;
  const double length = s.endMs - s.startMs;
  const int count = std::max(1, static_cast<int>(std::lround(length / s.beatMs)));
  for (int k = 0; k < count; ++k) beats.push_back(s.startMs + length * k / count);
  return beats;
}

std::vector<float> renderSoundtrack() {
  const std::size_t frames = static_cast<std::size_t>(kMusicLengthMs) * kMusicRate / 1000;
  Mixer mix(frames);
  Tables tables;
  Noise noise(0x5EED1234u);
  int barNumber = 0;  // runs through the whole show, so the chords keep turning
  for (const MusicSection& s : kSections) {
    const std::vector<double> beats = sectionBeats(s);
    const double sectionLength = s.endMs - s.startMs;
    if (beats.empty()) {
      // No grid: a held chord across the section (the last one rings out).
      const bool last = &s == &kSections.back();
      const int* chord = kChords[0];
      for (int v = 0; v < 3; ++v) {
        for (int d = -1; d <= 1; d += 2)
          mix.tone(tables, Tables::soft, s.startMs, sectionLength - (last ? 600 : 0),
                   midiHz(chord[v] + 12), 0.06, d * 0.5, 60, last ? 2000 : 120, 3000, d * 7.0);
      }
      if (!last) mix.riser(s.startMs, s.endMs, 0.25, noise);
      continue;
    }
    const double beat = sectionLength / beats.size();
    for (std::size_t b = 0; b < beats.size(); b += 4, ++barNumber) {
      const int* chord = isSoft(s.name) ? kSoftChords[barNumber % 4] : kChords[barNumber % 4];
      const bool phraseEnd = (b / 4) % 8 == 7 || b + 4 >= beats.size();
      const double barStart = beats[b];
      const double barLength = std::min(4.0, static_cast<double>(beats.size() - b)) * beat;
      if (s.chords) {
        const double amp = s.kick ? 0.045 : 0.065;
        for (int v = 0; v < 3; ++v)
          for (int d = -1; d <= 1; d += 2)
            mix.tone(tables, Tables::saw, barStart, barLength - 30, midiHz(chord[v] + 12), amp, d * 0.6,
                     s.kick ? 25 : 300, 120, 2500, d * 8.0);
      }
      for (int k = 0; k < 4 && b + k < beats.size(); ++k) {
        const double t = beats[b + k];
        if (s.tick > 0) mix.tick(t, s.tick, noise);
        if (s.kick && (s.snare || k % 2 == 0 || std::string(s.name) != "sphere")) mix.kick(t, 0.5);
        if (s.snare && k % 2 == 1) mix.snare(t, 0.32, noise);
        // A crash where the drums come in, and a snare run to close a phrase.
        if (s.kick && b == 0 && k == 0) mix.crash(t, 0.12, noise);
        if (s.snare && phraseEnd && k == 3)
          for (int e = 1; e < 4; ++e) mix.snare(t + e * beat / 4, 0.12 + 0.05 * e, noise);
        if (s.hats) mix.hat(t + beat / 2, 0.07, noise);
        if (s.bass) {
          // Eighths: root, root, octave, root.
          for (int e = 0; e < 2; ++e) {
            const int note = chord[0] - 12 + ((k * 2 + e) % 4 == 2 ? 12 : 0);
            mix.tone(tables, Tables::saw, t + e * beat / 2, beat / 2 - 40, midiHz(note), 0.2, 0.0, 4, 40, 1800);
          }
        }
        if (s.arp) {
          for (int e = 0; e < 4; ++e) {
            const int step = (k * 4 + e) % 6;
            const int note = chord[step % 3] + 24 + (step >= 3 ? 12 : 0);
            mix.tone(tables, Tables::square, t + e * beat / 4, beat / 4 - 20, midiHz(note), 0.035,
                     (e % 2 ? 0.5 : -0.5), 3, 30, 3800);
          }
        }
        if (s.lead) {
          for (int e = 0; e < 2; ++e) {
            const int step = kMotif[barNumber % 8][k * 2 + e];
            if (step < 0) continue;
            const int note = chord[step % 3] + 24 + (step >= 3 ? 12 : 0);
            const double at = t + e * beat / 2;
            mix.tone(tables, Tables::square, at, beat / 2 - 30, midiHz(note), 0.09, -0.15, 6, 80, 3800);
            // Echo three eighths later, to the other side.
            mix.tone(tables, Tables::square, at + beat * 1.5, beat / 2 - 30, midiHz(note), 0.035, 0.6, 6, 80, 3800);
          }
        }
      }
    }
    // Sections with a grid lead into the next one with a short sweep.
    if (std::string(s.name) == "lift" || std::string(s.name) == "fill" || std::string(s.name) == "break")
      mix.riser(s.startMs, s.endMs, 0.2, noise);
  }
  // Gentle limiter: linear up to 0.8, then bent toward 1.
  std::vector<float> out(frames * 2);
  auto limit = [](double x) {
    const double a = std::fabs(x);
    const double y = a < 0.8 ? a : 0.8 + 0.2 * std::tanh((a - 0.8) / 0.2);
    return static_cast<float>(x < 0 ? -y : y);
  };
  // Headroom for the encoder, whose output overshoots a full-scale input.
  const double master = 0.85;
  // Fade the last two seconds.
  const std::size_t fadeFrom = frames - static_cast<std::size_t>(2 * kMusicRate);
  for (std::size_t f = 0; f < frames; ++f) {
    const double g = f < fadeFrom ? 1.0 : 1.0 - static_cast<double>(f - fadeFrom) / (frames - fadeFrom);
    out[2 * f] = limit(mix.left[f] * g * master);
    out[2 * f + 1] = limit(mix.right[f] * g * master);
  }
  return out;
}

bool setOggSerial(std::vector<std::uint8_t>& bytes, std::uint32_t serial) {
  static std::uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t r = i << 24;
      for (int k = 0; k < 8; ++k) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
      table[i] = r;
    }
    ready = true;
  }
  std::size_t at = 0;
  if (bytes.empty()) return false;
  while (at < bytes.size()) {
    if (bytes.size() - at < 27 || bytes[at] != 'O' || bytes[at + 1] != 'g' || bytes[at + 2] != 'g' ||
        bytes[at + 3] != 'S')
      return false;
    const std::size_t segments = bytes[at + 26];
    if (bytes.size() - at < 27 + segments) return false;
    std::size_t body = 0;
    for (std::size_t k = 0; k < segments; ++k) body += bytes[at + 27 + k];
    const std::size_t length = 27 + segments + body;
    if (bytes.size() - at < length) return false;
    for (int k = 0; k < 4; ++k) {
      bytes[at + 14 + k] = static_cast<std::uint8_t>(serial >> (8 * k));
      bytes[at + 22 + k] = 0;
    }
    std::uint32_t crc = 0;
    for (std::size_t k = 0; k < length; ++k) crc = (crc << 8) ^ table[((crc >> 24) ^ bytes[at + k]) & 0xFF];
    for (int k = 0; k < 4; ++k) bytes[at + 22 + k] = static_cast<std::uint8_t>(crc >> (8 * k));
    at += length;
  }
  return true;
}

bool writeOggVorbis(const std::string& fileName, const std::vector<float>& samples, std::string* reason) {
  // Encoded into memory (the serial is patched before anything reaches a
  // file), then written by the output rules every writer follows.
  MemoryFile memory;
  SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
  SF_INFO info{};
  info.samplerate = kMusicRate;
  info.channels = 2;
  info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
  if (!file) {
    if (reason) *reason = "cannot encode " + fileName + ": " + sf_strerror(nullptr);
    return false;
  }
  double quality = 0.45;
  sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
  const sf_count_t frames = static_cast<sf_count_t>(samples.size() / 2);
  // Small blocks: the encoder keeps each block on its stack.
  sf_count_t written = 0;
  while (written < frames) {
    const sf_count_t block = std::min<sf_count_t>(4096, frames - written);
    const sf_count_t done = sf_writef_float(file, samples.data() + 2 * written, block);
    if (done != block) break;
    written += done;
  }
  const int closed = sf_close(file);
  if (written != frames || closed != 0) {
    if (reason) *reason = "writing the soundtrack failed";
    return false;
  }
  // The encoder picks a random stream serial; a fixed one makes runs repeatable.
  if (!setOggSerial(memory.bytes, 0x566F6C74u)) {
    if (reason) *reason = "the encoder wrote no well-formed Ogg stream";
    return false;
  }
  return fileio::writeWholeFile(fileName, memory.bytes.data(), memory.bytes.size(), {}, reason);
}

}  // namespace forge
