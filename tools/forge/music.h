// The soundtrack: a small generator of drums, bass, chords, an arpeggio and a
// lead on the show's beat grid, written as Ogg Vorbis.
//
// The grid: each section has a nominal beat (479 ms, or 458 ms in the text
// vortex and the finale); its beats are spread evenly from its start to its
// end, so every section turns exactly where its scenes turn. Four beats make
// a bar and each bar takes the next chord of Am F C G.
//
// Every beat of a drummed section carries a short bright tick at 4737 Hz (the
// centre of spectrum band 110, the band the scenes read) that dies within a
// tenth of a second, so that band jumps on the beat and falls back before
// the next one; no other instrument reaches that high.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace forge {

inline constexpr int kMusicRate = 44100;
inline constexpr int kMusicLengthMs = 200000;
inline constexpr double kTickHz = 110.0 * kMusicRate / 1024.0;

struct MusicSection {
  const char* name;
  int startMs, endMs;
  int beatMs;        // nominal beat; 0: no beat grid (pads only)
  double tick;       // amplitude of the beat tick (0: none)
  bool kick, snare, hats, bass, chords, arp, lead;
};
const std::vector<MusicSection>& musicSections();

// The beat times of a section in milliseconds (empty without a grid).
std::vector<double> sectionBeats(const MusicSection& section);

// kMusicLengthMs of stereo samples at kMusicRate, interleaved L R, in −1 … 1.
std::vector<float> renderSoundtrack();

// Encodes interleaved stereo samples as Ogg Vorbis into fileName, with a
// fixed stream serial number so that equal samples give equal bytes. False
// with reason on failure (no partial file is left under fileName).
bool writeOggVorbis(const std::string& fileName, const std::vector<float>& samples,
                    std::string* reason);

// Rewrites every page's serial number and checksum in an Ogg byte stream.
// False when the bytes are not a sequence of complete Ogg pages.
bool setOggSerial(std::vector<std::uint8_t>& bytes, std::uint32_t serial);

}  // namespace forge
