#include "fileio/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

namespace fileio {

namespace {

std::string systemReason(int error) { return std::strerror(error); }

void setReason(std::string* reason, std::string text) {
  if (reason) *reason = std::move(text);
}

// "a/b/c" -> "a/", "c" -> "".
std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Follows symbolic links until a path that is no link (or does not exist).
bool followLinks(const std::string& name, std::string& resolved, std::string* reason) {
  std::string path = withoutTrailingSlashes(name);
  for (int depth = 0;; ++depth) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) break;
      setReason(reason, "cannot write " + name + ": " + systemReason(errno));
      return false;
    }
    if (!S_ISLNK(st.st_mode)) break;
    if (depth == 40) {
      setReason(reason, "cannot write " + name + ": " + systemReason(ELOOP));
      return false;
    }
    std::vector<char> link(std::size_t(st.st_size > 0 ? st.st_size : 4095) + 1);
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n < 0 || std::size_t(n) >= link.size()) {
      setReason(reason, "cannot write " + name + ": cannot read the link " + path);
      return false;
    }
    const std::string to(link.data(), std::size_t(n));
    path = withoutTrailingSlashes(to[0] == '/' ? to : folderOf(path) + to);
  }
  resolved = path;
  return true;
}

// The process's umask, read without changing it (umask() would, for every
// thread, for a moment).
mode_t currentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("Umask:", 0) == 0) return mode_t(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
  return 022;
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Refuses an output that is one of the inputs.
bool distinctFromInputs(const std::string& name, const struct stat& out, const OutputOptions& options,
                        std::string* reason) {
  for (const std::string& input : options.inputs) {
    struct stat in;
    if (::stat(input.c_str(), &in) == 0 && sameFile(in, out)) {
      setReason(reason, "cannot write " + name + ": it is the input " + input + " (nothing written)");
      return false;
    }
  }
  return true;
}


template <class Bytes>
bool readInto(const std::string& fileName, std::uint64_t maxBytes, bool refuseLonger, Bytes& bytes,
              std::uint64_t* fileSize, std::string* reason) {
  bytes.clear();
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    setReason(reason, "cannot open " + fileName + ": " + systemReason(errno));
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    setReason(reason, "cannot read " + fileName + ": " + systemReason(errno));
    ::close(fd);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    setReason(reason, fileName + " is a directory");
    ::close(fd);
    return false;
  }
  const bool regular = S_ISREG(st.st_mode);
  if (fileSize) *fileSize = regular ? std::uint64_t(st.st_size) : ~std::uint64_t{0};
  const std::string tooLarge = fileName + " is larger than " + describeSize(maxBytes);
  if (refuseLonger && regular && std::uint64_t(st.st_size) > maxBytes) {
    setReason(reason, tooLarge);
    ::close(fd);
    return false;
  }
  // One byte beyond the cap tells a longer file from one of exactly maxBytes.
  const std::uint64_t want = refuseLonger && maxBytes < ~std::uint64_t{0} ? maxBytes + 1 : maxBytes;
  if (regular) bytes.reserve(std::size_t(std::min<std::uint64_t>(std::uint64_t(st.st_size) + 1, want)));
  char chunk[1 << 16];
  while (bytes.size() < want) {
    const std::size_t ask = std::size_t(std::min<std::uint64_t>(sizeof chunk, want - bytes.size()));
    const ssize_t got = ::read(fd, chunk, ask);
    if (got < 0) {
      if (errno == EINTR) continue;
      setReason(reason, "cannot read " + fileName + ": " + systemReason(errno));
      ::close(fd);
      bytes.clear();
      return false;
    }
    if (got == 0) break;
    // Growth by doubling, but straight to the cap when a doubling would come
    // near it: memory stays within the cap (plus the block being replaced).
    const std::uint64_t needed = bytes.size() + std::uint64_t(got);
    if (needed > bytes.capacity()) {
      std::uint64_t grown = std::max<std::uint64_t>(needed, 2 * std::uint64_t(bytes.capacity()));
      if (grown + sizeof chunk >= want) grown = want;
      bytes.reserve(std::size_t(grown));
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  ::close(fd);
  if (refuseLonger && bytes.size() > maxBytes) {
    setReason(reason, tooLarge);
    bytes.clear();
    return false;
  }
  return true;
}

}  // namespace

bool writeAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= std::size_t(n);
  }
  return true;
}

// ----- OutputFile ------------------------------------------------------------

OutputFile::~OutputFile() { abort(); }

OutputFile::OutputFile(OutputFile&& other) noexcept { *this = std::move(other); }

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    abort();
    name_ = std::move(other.name_);
    target_ = std::move(other.target_);
    writePath_ = std::move(other.writePath_);
    fd_ = std::exchange(other.fd_, -1);
    inPlace_ = other.inPlace_;
    active_ = std::exchange(other.active_, false);
  }
  return *this;
}

bool OutputFile::open(const std::string& target, const OutputOptions& options, std::string* reason) {
  abort();
  name_ = target;
  inPlace_ = false;
  if (target.empty()) {
    setReason(reason, "no output file name given");
    return false;
  }
  if (target == "-" && options.allowStdout) {
    struct stat st;
    if (::fstat(STDOUT_FILENO, &st) != 0) {
      setReason(reason, "cannot write to standard output: " + systemReason(errno));
      return false;
    }
    if (S_ISREG(st.st_mode) && !distinctFromInputs("standard output", st, options, reason)) return false;
    target_ = writePath_ = "-";
    fd_ = STDOUT_FILENO;
    inPlace_ = active_ = true;
    return true;
  }
  if (!followLinks(target, target_, reason)) return false;
  struct stat st;
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) {
    setReason(reason, "cannot write " + target + ": " + systemReason(errno));
    return false;
  }
  if (exists) {
    if (S_ISDIR(st.st_mode)) {
      setReason(reason, "cannot write " + target + ": it is a directory");
      return false;
    }
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode)) {
      // A device or a pipe is where the bytes are meant to go: replacing it
      // with a file would destroy it.
      fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      if (fd_ < 0) {
        setReason(reason, "cannot write " + target + ": " + systemReason(errno));
        return false;
      }
      writePath_ = target_;
      inPlace_ = active_ = true;
      return true;
    }
    if (!S_ISREG(st.st_mode)) {
      setReason(reason, "cannot write " + target + ": it is neither a regular file, a device nor a FIFO");
      return false;
    }
    if (!distinctFromInputs(target, st, options, reason)) return false;
  }
  // STEM.tmp-XXXXXX.EXT beside the target.
  const std::string folder = folderOf(target_);
  const std::string base = target_.substr(folder.size());
  const std::size_t dot = base.rfind('.');
  const std::string ext = dot != std::string::npos && dot > 0 ? base.substr(dot) : std::string();
  std::string pattern = folder + base.substr(0, base.size() - ext.size()) + ".tmp-XXXXXX" + ext;
  fd_ = ::mkostemps(pattern.data(), int(ext.size()), O_CLOEXEC);
  if (fd_ < 0) {
    setReason(reason, "cannot write " + target + ": cannot make a temporary file beside it: " + systemReason(errno));
    return false;
  }
  writePath_ = pattern;
  active_ = true;
  static const mode_t umaskBits = currentUmask();
  const mode_t mode = exists ? (st.st_mode & 0777) : (0666 & ~umaskBits);
  if (::fchmod(fd_, mode) != 0) {
    const int error = errno;
    abort();
    setReason(reason, "cannot write " + target + ": " + systemReason(error));
    return false;
  }
  return true;
}

void OutputFile::closeDescriptor() {
  if (fd_ >= 0 && fd_ != STDOUT_FILENO) ::close(fd_);
  fd_ = -1;
}

bool OutputFile::write(const void* data, std::size_t size, std::string* reason) {
  if (!active_ || fd_ < 0) {
    setReason(reason, "cannot write " + name_ + ": not open");
    return false;
  }
  if (!writeAll(fd_, data, size)) {
    setReason(reason, "cannot write " + name_ + ": " + systemReason(errno));
    return false;
  }
  return true;
}

bool OutputFile::commit(std::string* reason) {
  if (!active_) {
    setReason(reason, "cannot write " + name_ + ": not open");
    return false;
  }
  if (fd_ >= 0 && fd_ != STDOUT_FILENO && ::close(fd_) != 0) {
    const int error = errno;
    fd_ = -1;
    abort();
    setReason(reason, "cannot write " + name_ + ": " + systemReason(error));
    return false;
  }
  fd_ = -1;
  if (!inPlace_ && std::rename(writePath_.c_str(), target_.c_str()) != 0) {
    const int error = errno;
    abort();
    setReason(reason, "cannot replace " + name_ + ": " + systemReason(error));
    return false;
  }
  active_ = false;
  return true;
}

void OutputFile::abort() {
  closeDescriptor();
  if (active_ && !inPlace_) ::unlink(writePath_.c_str());
  active_ = false;
}

bool writeWholeFile(const std::string& target, const void* data, std::size_t size, const OutputOptions& options,
                    std::string* reason) {
  OutputFile out;
  return out.open(target, options, reason) && out.write(data, size, reason) && out.commit(reason);
}

// ----- Reading -----------------------------------------------------------------

bool readFile(const std::string& fileName, std::uint64_t maxBytes, std::vector<std::uint8_t>& bytes,
              std::string* reason) {
  return readInto(fileName, maxBytes, true, bytes, nullptr, reason);
}

bool readFile(const std::string& fileName, std::uint64_t maxBytes, std::string& bytes, std::string* reason) {
  return readInto(fileName, maxBytes, true, bytes, nullptr, reason);
}

bool readFileStart(const std::string& fileName, std::uint64_t count, std::vector<std::uint8_t>& bytes,
                   std::uint64_t* fileSize, std::string* reason) {
  return readInto(fileName, count, false, bytes, fileSize, reason);
}

std::string describeSize(std::uint64_t bytes) {
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= (1u << 10) && bytes % (1u << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " bytes";
}

// ----- StagedFolder -------------------------------------------------------------

StagedFolder::~StagedFolder() { discard(); }

void StagedFolder::discard() {
  if (staging_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(staging_, ec);
  staging_.clear();
}

bool StagedFolder::open(const std::string& target, std::string* reason) {
  discard();
  if (target.empty()) {
    setReason(reason, "no output folder given");
    return false;
  }
  if (!followLinks(target, target_, reason)) return false;
  struct stat st;
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISDIR(st.st_mode)) {
    setReason(reason, "cannot write " + target + ": it is not a folder");
    return false;
  }
  const std::string parent = folderOf(target_);
  std::string pattern = parent + "." + target_.substr(parent.size()) + ".new-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    setReason(reason, "cannot make a folder beside " + target + ": " + systemReason(errno));
    return false;
  }
  staging_ = pattern;
  const mode_t mode = exists ? (st.st_mode & 07777) : (0777 & ~currentUmask());
  ::chmod(staging_.c_str(), mode);
  return true;
}

bool StagedFolder::commit(const std::vector<std::string>& owned, std::string* reason) {
  namespace fs = std::filesystem;
  if (staging_.empty()) {
    setReason(reason, "no folder to put in place");
    return false;
  }
  struct stat st;
  if (::stat(target_.c_str(), &st) != 0) {
    // No old folder: the new one simply takes its name.
    if (std::rename(staging_.c_str(), target_.c_str()) != 0) {
      setReason(reason, "cannot rename " + staging_ + " to " + target_ + ": " + systemReason(errno));
      discard();
      return false;
    }
    staging_.clear();
    return true;
  }
  // Entries the builder does not make (frames, logs, a user's notes) move
  // into the new folder; on any failure they move back.
  std::vector<std::string> moved;
  auto moveBack = [&] {
    for (const std::string& name : moved)
      std::rename((staging_ + "/" + name).c_str(), (target_ + "/" + name).c_str());
  };
  // Names first: a folder changed while it is read may skip entries.
  std::vector<std::string> names;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(target_, ec))
    names.push_back(entry.path().filename().string());
  if (ec) {
    setReason(reason, "cannot list " + target_ + ": " + ec.message());
    discard();
    return false;
  }
  for (const std::string& name : names) {
    if (std::find(owned.begin(), owned.end(), name) != owned.end()) continue;
    struct stat existing;
    const std::string to = staging_ + "/" + name;
    if (::lstat(to.c_str(), &existing) == 0 || std::rename((target_ + "/" + name).c_str(), to.c_str()) != 0) {
      const int error = errno;
      moveBack();
      setReason(reason, "cannot keep " + target_ + "/" + name + ": " + systemReason(error));
      discard();
      return false;
    }
    moved.push_back(name);
  }
  // Swap in one step; where the file system cannot, through a third name.
  if (::renameat2(AT_FDCWD, staging_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) != 0) {
    std::string old = staging_ + ".old";
    if (std::rename(target_.c_str(), old.c_str()) != 0) {
      const int error = errno;
      moveBack();
      setReason(reason, "cannot replace " + target_ + ": " + systemReason(error));
      discard();
      return false;
    }
    if (std::rename(staging_.c_str(), target_.c_str()) != 0) {
      const int error = errno;
      std::rename(old.c_str(), target_.c_str());
      moveBack();
      setReason(reason, "cannot replace " + target_ + ": " + systemReason(error));
      discard();
      return false;
    }
    staging_ = old;
  }
  discard();  // the old folder, now under the staging name
  return true;
}

}  // namespace fileio
