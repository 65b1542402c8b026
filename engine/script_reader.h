// The demo script's syntax: lines, fields, integers and the three commands.
//
// File: plain 8-bit text. Lines end with CR LF, LF or a lone CR; only the first
// 255 characters of a line count, the rest of a longer line is skipped. A line
// whose first character is "@" is a command line, every other line a comment.
// The command word runs from the "@" to the first space of the line and is
// compared exactly: "@music", "@scene" and "@fx" (ignored); other words are
// ignored. A line with no space at all is an error ("Empty Command?").
//
// Fields follow the word, each ended by one space; two spaces in a row make
// an empty field, and a field with no space after it is empty (and takes
// nothing off the line).
//   @scene <scene name> <timeline ID> <start ms> <end ms> <anything>
//   @music <module type> <file name> <file offset> <end ms> <module state…>
// The module state is the whole rest of the line (so no trailing space).
//
// Integers: optional leading spaces or tabs, optional "+" or "-", optional
// base prefix ("$" 16, "%" 2, "&" 8), one or more digits of that base (A-F in
// either case), nothing else. Decimal values must fit int32; prefixed values
// may use all 32 bits and are taken as two's-complement patterns ("$FFFFFFFF"
// is -1, "-$1" is -1). An empty field is not an integer.
//
// Our rules where the format is silent: an @scene line is an error, after its
// four progress lines, when its timeline ID names no existing timeline
// ("Timeline ID names no Timeline"), when its start time is outside
// 0 … 599900 so its 101 enter slots would not all exist ("Scene Start Time
// out of range"), or when its end time is above 600000 ("Scene End Time out
// of range"), checked in that order. An end time below the start time is
// allowed (only the enter slots are filled). @music times are not checked.
//
// This file knows nothing of the engine: the effects of a line go to a
// ScriptTarget, so the syntax can be tested and fuzzed on its own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

inline constexpr std::size_t scriptLineLimit = 255;

// Every error message the script can produce (all under module "orbTimeline").
namespace scriptMessage {
inline constexpr const char* cannotOpen = "Could not load Script file!";
inline constexpr const char* emptyCommand = "Something is wrong with the Script! (Empty Command?)";
inline constexpr const char* sceneName = "Something is wrong with the Script! (Could not read out the Scene Name)";
inline constexpr const char* timelineId = "Something is wrong with the Script! (Could not read Timeline ID)";
inline constexpr const char* sceneStart = "Something is wrong with the Script! (Could not read Scene Start Time)";
inline constexpr const char* sceneEnd = "Something is wrong with the Script! (Could not read Scene End Time)";
inline constexpr const char* moduleStart = "Something is wrong with the Script! (Could not read Module Start Time)";
inline constexpr const char* moduleEnd = "Something is wrong with the Script! (Could not read Module End Time)";
inline constexpr const char* moduleState = "Something is wrong with the Script! (Could not read Module State)";
inline constexpr const char* noTimeline = "Something is wrong with the Script! (Timeline ID names no Timeline)";
inline constexpr const char* startRange = "Something is wrong with the Script! (Scene Start Time out of range)";
inline constexpr const char* endRange = "Something is wrong with the Script! (Scene End Time out of range)";
}  // namespace scriptMessage

// Where the lines' effects go.
class ScriptTarget {
 public:
  virtual ~ScriptTarget() = default;
  virtual void log(std::string_view text, std::int32_t number) = 0;
  // Scene table index of the entry with that exact name (the highest when
  // several match); 0 when none.
  virtual int findScene(const std::string& name) = 0;
  virtual bool timelineExists(std::int32_t id) = 0;
  // Called only with a found scene, an existing timeline and checked times.
  virtual void placeScene(std::int32_t timelineId, int sceneIndex, std::int32_t start, std::int32_t end) = 0;
  // A complete @music line.
  virtual void setMusic(const std::string& fileName, std::int32_t fileOffset, std::int32_t endTime,
                        std::int32_t moduleState) = 0;
};

// Reads one line (without its ending, cut to 255 characters). Returns false
// at the end of the file when no line is left. Read errors look like the end
// of the file; check ferror.
bool readScriptLine(std::FILE* file, std::string& line);

// Converts an integer field; false when text is not one (see above).
bool parseScriptInteger(std::string_view text, std::int32_t& value);

// One line of the file: a comment does nothing; a command line logs
// "Command Line was found" and runs its command. Returns nullptr, or the
// message of the first field that failed.
const char* runScriptLine(const std::string& line, ScriptTarget& target);

// One command line each, the line still including its command word.
const char* parseSceneCommand(const std::string& line, ScriptTarget& target);
const char* parseMusicCommand(const std::string& line, ScriptTarget& target);
