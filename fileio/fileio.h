// Reading and replacing files by one set of rules, shared by every reader and
// writer of the project (codec, synthesizer, frame and video output, tools).
// Standard library and POSIX only, so that codec and synth can use it and
// still depend on nothing else.
//
// Output rules (OutputFile, writeWholeFile):
//   - A symbolic link is followed (through every link); the file it finally
//     names is the one written or replaced, the link stays a link.
//   - A missing or regular file is replaced atomically: the bytes go to a
//     unique temporary file in the same folder (made as mkstemp makes one,
//     named STEM.tmp-XXXXXX.EXT so the extension still tells the format),
//     which commit() renames over the target. It gets the replaced file's
//     permission bits, or 0666 minus the umask for a new file.
//   - An existing device or FIFO is written in place (opened for writing;
//     never removed or replaced). "-" is standard output when the options
//     allow it.
//   - Anything else (a folder, a socket) is refused with a reason.
//   - An output that is the same file (device and inode) as one of the
//     options' inputs is refused before anything is written.
//   - Every failure removes the temporary file and leaves the target as it
//     was; so does destroying an OutputFile that was not committed.
//
// For a writer that is another program (ffmpeg writing FILE.mp4):
//     fileio::OutputFile out;
//     if (!out.open(target, options, &why)) fail(why);
//     out.closeDescriptor();                 // the child opens the path itself
//     run the child on out.writePath();      // the temporary, or the target in
//                                            // place; "-" = standard output
//     child ok ? out.commit(&why) : out.abort();
// The temporary exists (empty) from open() on, so the child must be allowed
// to overwrite it (ffmpeg -y).
//
// Input rules (readFile, readFileStart): a folder is refused with "is a
// directory"; every failure names the file and carries the system's reason;
// memory grows with the bytes actually read, never with a size claimed
// elsewhere, and never beyond the caller's cap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fileio {

struct OutputOptions {
  std::vector<std::string> inputs;  // files the output must not be
  bool allowStdout = false;         // "-" means standard output
};

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // abort() unless committed
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Decides how target is written (the rules above) and prepares it: makes
  // the temporary file, or opens the device, FIFO or standard output.
  // Nothing is written yet. False with a reason naming target.
  bool open(const std::string& target, const OutputOptions& options, std::string* reason);

  bool inPlace() const { return inPlace_; }
  // Where the bytes go: the temporary file, or the target itself when in
  // place ("-" for standard output).
  const std::string& writePath() const { return writePath_; }
  // The file a commit replaces (links followed); "-" for standard output.
  const std::string& targetPath() const { return target_; }
  int descriptor() const { return fd_; }
  // For a writer that opens writePath() itself. Standard output stays open.
  void closeDescriptor();

  // Writes all bytes to the descriptor. False with a reason naming the target.
  bool write(const void* data, std::size_t size, std::string* reason);
  // Closes, then renames the temporary over the target (atomic); in place it
  // only closes. False with a reason; the temporary is removed then.
  bool commit(std::string* reason);
  // Closes and removes the temporary; the target stays as it was.
  void abort();

 private:
  std::string name_;       // as the caller gave it, for messages
  std::string target_;     // links followed
  std::string writePath_;  // temporary file, or target_ when in place
  int fd_ = -1;
  bool inPlace_ = false;
  bool active_ = false;
};

// open, write, commit in one. False with a reason; target unchanged then
// (except in place, where what was written stays written).
bool writeWholeFile(const std::string& target, const void* data, std::size_t size,
                    const OutputOptions& options, std::string* reason);

// Reads a whole file of at most maxBytes. False with a reason naming the file
// when it cannot be opened or read, is a folder, or holds more than maxBytes.
bool readFile(const std::string& fileName, std::uint64_t maxBytes, std::vector<std::uint8_t>& bytes,
              std::string* reason);
bool readFile(const std::string& fileName, std::uint64_t maxBytes, std::string& bytes, std::string* reason);
// Reads the first count bytes at most (fewer when the file is shorter) and,
// when fileSize is given, the file's size (~0 when it has none: a device or
// FIFO). False with a reason as readFile.
bool readFileStart(const std::string& fileName, std::uint64_t count, std::vector<std::uint8_t>& bytes,
                   std::uint64_t* fileSize, std::string* reason);

// Writes all size bytes to fd, retrying short writes and interruptions.
// False (errno set) on the first failed write.
bool writeAll(int fd, const void* data, std::size_t size);

// "N bytes", "N KiB" or "N MiB", whichever is exact; for limits in messages.
std::string describeSize(std::uint64_t bytes);

// A folder built beside target and then swapped in, so that a build that
// fails part-way leaves the old target whole. open() makes the new, empty
// folder in target's parent (links to target followed); commit() moves the
// old folder's entries that are not in `owned` into the new one (so only what
// the builder makes is replaced), exchanges the two folders and removes the
// old one. Destroying an uncommitted StagedFolder removes the new folder.
class StagedFolder {
 public:
  StagedFolder() = default;
  ~StagedFolder();
  StagedFolder(const StagedFolder&) = delete;
  StagedFolder& operator=(const StagedFolder&) = delete;

  // False with a reason when target exists and is no folder, or the new
  // folder cannot be made.
  bool open(const std::string& target, std::string* reason);
  const std::string& path() const { return staging_; }
  // False with a reason; the old target is whole then (entries already
  // moved are moved back) and the new folder is removed.
  bool commit(const std::vector<std::string>& owned, std::string* reason);

 private:
  void discard();
  std::string target_, staging_;
};

}  // namespace fileio
