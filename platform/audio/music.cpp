// Music decoding through libsndfile's virtual I/O, so the music may start at a
// byte offset inside a larger file.
#include <sndfile.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <sys/stat.h>

#include "platform/sound.h"

namespace sound {
namespace {

// The file seen from byteOffset on, as libsndfile's virtual file.
struct OffsetFile {
  std::FILE* file = nullptr;
  std::int64_t base = 0;
  std::int64_t size = 0;  // bytes from base to the end of the file
};

sf_count_t vioLength(void* user) { return static_cast<OffsetFile*>(user)->size; }

sf_count_t vioTell(void* user) {
  auto* f = static_cast<OffsetFile*>(user);
  const off_t at = ftello(f->file);
  return at < 0 ? -1 : at - f->base;
}

sf_count_t vioSeek(sf_count_t offset, int whence, void* user) {
  auto* f = static_cast<OffsetFile*>(user);
  sf_count_t target = offset;
  if (whence == SEEK_CUR) target += vioTell(user);
  else if (whence == SEEK_END) target += f->size;
  if (target < 0) return -1;
  if (fseeko(f->file, static_cast<off_t>(f->base + target), SEEK_SET) != 0) return -1;
  return target;
}

sf_count_t vioRead(void* destination, sf_count_t count, void* user) {
  auto* f = static_cast<OffsetFile*>(user);
  if (count <= 0) return 0;
  return static_cast<sf_count_t>(std::fread(destination, 1, static_cast<std::size_t>(count), f->file));
}

sf_count_t vioWrite(const void*, sf_count_t, void*) { return 0; }

int formatError(int sfError) {
  switch (sfError) {
    case SF_ERR_UNRECOGNISED_FORMAT:
    case SF_ERR_MALFORMED_FILE:
    case SF_ERR_UNSUPPORTED_ENCODING:
      return unknownFormat;
    case SF_ERR_SYSTEM:
      return fileLoadError;
    default:
      return unknownFormat;
  }
}

}  // namespace

int Music::load(const std::string& path, std::int64_t byteOffset, std::unique_ptr<Music>& out) {
  out.reset();
  if (byteOffset < 0) return invalidParameter;
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return errno == ENOENT || errno == ENOTDIR || path.empty() ? fileNotFound : fileLoadError;
  struct stat info {};
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fclose(file);
    return fileLoadError;
  }
  OffsetFile view{file, byteOffset, static_cast<std::int64_t>(info.st_size) - byteOffset};
  if (view.size <= 0 || fseeko(file, static_cast<off_t>(byteOffset), SEEK_SET) != 0) {
    std::fclose(file);
    return unknownFormat;  // nothing of a music file from there on
  }

  SF_VIRTUAL_IO io{vioLength, vioSeek, vioRead, vioWrite, vioTell};
  SF_INFO format{};
  SNDFILE* sound = sf_open_virtual(&io, SFM_READ, &format, &view);
  if (!sound) {
    const int code = formatError(sf_error(nullptr));
    std::fclose(file);
    return code;
  }

  int result = ok;
  auto music = std::unique_ptr<Music>(new (std::nothrow) Music);
  const std::int64_t kept = format.channels >= 2 ? 2 : 1;
  if (!music) {
    result = outOfMemory;
  } else if (format.channels < 1 || format.samplerate <= 0 || format.samplerate > 768000) {
    result = unknownFormat;
  } else if (format.frames <= 0) {
    result = fileLoadError;
  } else if (format.frames > (std::int64_t{1} << 31) / kept) {
    result = outOfMemory;
  } else {
    try {
      music->channels_ = static_cast<int>(kept);
      music->rate_ = format.samplerate;
      music->samples_.resize(static_cast<std::size_t>(format.frames * kept));
      // Read in blocks; more than two channels are cut to the first two.
      const int channels = format.channels;
      std::vector<std::int16_t> block(static_cast<std::size_t>(4096) * channels);
      std::int64_t done = 0;
      while (done < format.frames) {
        const sf_count_t want = std::min<sf_count_t>(4096, format.frames - done);
        const sf_count_t got = sf_readf_short(sound, block.data(), want);
        if (got <= 0) break;
        for (sf_count_t i = 0; i < got; ++i)
          for (std::int64_t c = 0; c < kept; ++c)
            music->samples_[static_cast<std::size_t>((done + i) * kept + c)] =
                block[static_cast<std::size_t>(i * channels + c)];
        done += got;
      }
      // Some decoders report a frame count a little above what they deliver.
      if (done <= 0) {
        result = fileLoadError;
      } else {
        music->frames_ = done;
        music->samples_.resize(static_cast<std::size_t>(done * kept));
      }
    } catch (const std::bad_alloc&) {
      result = outOfMemory;
    }
  }
  sf_close(sound);
  std::fclose(file);
  if (result == ok) out = std::move(music);
  return result;
}

std::int32_t Music::lengthMs() const {
  const std::int64_t ms = frames_ * 1000 / rate_;
  return ms > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                       : static_cast<std::int32_t>(ms);
}

void Music::windowEndingAt(std::int64_t playFrame, float* destination) const {
  const float scale = 1.0f / (32768.0f * static_cast<float>(channels_));
  for (int i = 0; i < fftSize; ++i) {
    const std::int64_t frame = playFrame - fftSize + i;
    if (frame < 0 || frames_ <= 0) {
      destination[i] = 0.0f;
      continue;
    }
    const std::int64_t at = (frame % frames_) * channels_;
    int sum = 0;
    for (int c = 0; c < channels_; ++c) sum += samples_[static_cast<std::size_t>(at + c)];
    destination[i] = static_cast<float>(sum) * scale;
  }
}

}  // namespace sound
