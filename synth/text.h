// Text form of synthesizer commands and of whole command lists.
//
// ---------------------------------------------------------------------------
// One command: the operation's name, "(", its arguments in call order
// separated by ",", and ");" — no spaces, e.g.
//     perlinNoise(4,32,1234,255,128,6,true);
//   integers   the slot truncated toward zero, plain decimal ("-2", "255")
//   reals      the single's exact value rounded to 17 decimal places, trailing
//              zeros and a bare "." removed ("1", "0.5", "0.10000000149011612");
//              a positive value below 0.00001, or one whose integer part
//              (sign included) exceeds 15 characters, is written as the
//              shortest decimal that reads back to the same single, in
//              exponent form ("1e-06", "9.9999997e-06", "1.2345679e+17");
//              infinities and NaN as "inf", "-inf", "nan"
//   booleans   "true" when the slot equals 1.0, else "false"
//   mandelBrot layer, left p1, horizontal span p3 − p1, top p2, vertical span
//              p4 − p2 (the spans exact, in extended precision), then "16"
// The decimal separator is always ".", whatever the process locale.
//
// Command list (a text file for texsynth and the data tools):
//   - one command per line, in the form above; the trailing ";" is optional
//     and spaces or tabs around names, brackets, commas and numbers are
//     allowed;
//   - "[layer N]" (N = 0..4) starts the section of layer N's history; the
//     commands that follow are stored in that history in order, literally
//     (a generator does not empty it). Commands before any section header
//     belong to layer 4, the output layer. A section may appear again; it
//     continues where it stopped;
//   - blank lines are ignored; "#" starts a comment that runs to the end of
//     the line (on a line of its own or after a command); lines may end in
//     CR LF, and a leading UTF-8 byte order mark is skipped;
//   - at most 100 commands per layer; every command must pass
//     validateCommand; an integer must read back from its single unchanged
//     (16777217 cannot be stored; 2147483647 can, saturated).
// Rendering replays layer 0's history, then 1, 2, 3 and 4 (later layers see
// the finished earlier ones) and takes layer 4 as the picture, exactly as a
// history dump file is rendered. Errors name the 1-based line number.
// ---------------------------------------------------------------------------
//
// Error contract: parsing functions return false (or an empty result) with a
// reason and leave their outputs untouched; nothing throws for bad text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "synth/synth.h"

namespace synth {

// The text of one command without a line terminator; " " (one space) for an
// opcode that names no operation.
std::string commandToText(std::int32_t opcode, const CommandParams& params);

// The text of one real argument (as commandToText writes it).
std::string realToText(long double value);

// Reads one command line (a comment or trailing ";" allowed) into opcode and
// params. Unused slots are 0. False with reason on any error.
bool parseCommandText(std::string_view line, std::int32_t& opcode, CommandParams& params,
                      std::string* error);

// Parses a whole command list (format above) into five histories.
// The error reads "line N: ...".
bool parseCommandList(std::string_view text, Histories& histories, std::string* error);

// The five histories as a command list: a "[layer N]" header before each
// non-empty history, one command per line, "\n" line ends. Entries that name
// no operation or fail validation (replays skip them) are written as
// comments: "# opcode 9 (no operation)", "# skipped, <reason>: <command>";
// so is a command whose text reads back invalid (a tiny negative real is
// written "-0"): "# not exact as text, <reason>: <command>".
std::string historiesToText(const Histories& histories);

enum class PixelFormat {
  bgrx,  // 4 bytes per pixel: B, G, R, 0 (what renderCommandFile produces)
  rgb,   // 3 bytes per pixel: R, G, B (the output layer itself)
};

// Parses a command list and renders it on a fresh synthesizer (randSeed 0)
// at width × height (powers of two, 2..8192). pixels is resized. False with
// reason (a "line N: " prefix for text errors); pixels untouched then.
bool renderCommandText(std::string_view text, int width, int height,
                       std::vector<std::uint8_t>& pixels, std::string* error,
                       PixelFormat format = PixelFormat::bgrx);
// Command lists are small: anything far beyond 5 × 100 lines is refused.
inline constexpr std::size_t kMaxCommandSourceBytes = std::size_t{1} << 20;
// Reads a command list or a dump file of at most kMaxCommandSourceBytes.
// False with a reason naming the file (missing, a directory, too large).
bool readCommandSource(const std::string& fileName, std::string& data, std::string* error);
// The same for a file that holds either a command list or a 22020-byte
// history dump (told apart by content: a dump contains zero bytes, text never).
bool renderCommandSource(const std::string& fileName, int width, int height,
                         std::vector<std::uint8_t>& pixels, std::string* error,
                         PixelFormat format = PixelFormat::bgrx);

}  // namespace synth
