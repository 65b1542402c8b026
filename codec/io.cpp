#include "codec/detail/io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "codec/wavelet.h"

namespace codec {

namespace detail {

bool readFile(const std::string& fileName, std::vector<std::uint8_t>& bytes, std::string* reason,
              std::uint64_t maxBytes) {
  bytes.clear();
  std::FILE* f = std::fopen(fileName.c_str(), "rb");
  if (f == nullptr) {
    if (reason) *reason = "cannot open " + fileName + ": " + std::strerror(errno);
    return false;
  }
  // Grow with the data actually read, never with a size claimed elsewhere.
  std::uint8_t chunk[1 << 16];
  while (bytes.size() < maxBytes) {
    const std::size_t want = std::size_t(std::min<std::uint64_t>(sizeof chunk, maxBytes - bytes.size()));
    const std::size_t got = std::fread(chunk, 1, want, f);
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (got < want) break;
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    if (reason) *reason = "cannot read " + fileName + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace detail

bool writeFileAtomically(const std::string& fileName, const std::uint8_t* data, std::size_t size,
                         std::string* reason) {
  const std::string temp = fileName + ".tmp" + std::to_string(::getpid());
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) {
    if (reason) *reason = "cannot create " + temp + ": " + std::strerror(errno);
    return false;
  }
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  int savedErrno = errno;
  if (std::fflush(f) != 0) ok = false, savedErrno = errno;
  if (std::fclose(f) != 0 && ok) ok = false, savedErrno = errno;
  if (!ok) {
    std::remove(temp.c_str());
    if (reason) *reason = "cannot write " + fileName + ": " + std::strerror(savedErrno);
    return false;
  }
  if (std::rename(temp.c_str(), fileName.c_str()) != 0) {
    savedErrno = errno;
    std::remove(temp.c_str());
    if (reason) *reason = "cannot replace " + fileName + ": " + std::strerror(savedErrno);
    return false;
  }
  return true;
}

}  // namespace codec
