// Music decoding through libsndfile's virtual I/O, so the music may start at a
// byte offset inside a larger file; whole, or streamed through a ring of
// decoded frames that a thread of its own keeps filled.
//
// The stream only ever decodes forward from the start of the file: libsndfile
// seeks in Ogg Vorbis land up to a thousand frames away from the frame asked
// for, so a seek would change what is heard and the spectrum. Going back
// before the ring starts the decoder over from the file's first frame.
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <system_error>
#include <thread>

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

// An open music file: the virtual file and libsndfile's handle on it.
class Source {
 public:
  Source() = default;
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
  ~Source() { close(); }

  // Returns ok, or the Error of Music::load for what went wrong.
  int open(const std::string& path, std::int64_t byteOffset) {
    close();
    if (byteOffset < 0) return invalidParameter;
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return errno == ENOENT || errno == ENOTDIR || path.empty() ? fileNotFound : fileLoadError;
    view_.file = file;
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) return fileLoadError;
    view_.base = byteOffset;
    view_.size = static_cast<std::int64_t>(status.st_size) - byteOffset;
    if (view_.size <= 0 || fseeko(file, static_cast<off_t>(byteOffset), SEEK_SET) != 0)
      return unknownFormat;  // nothing of a music file from there on
    SF_VIRTUAL_IO io{vioLength, vioSeek, vioRead, vioWrite, vioTell};
    info_ = SF_INFO{};
    sound_ = sf_open_virtual(&io, SFM_READ, &info_, &view_);
    if (!sound_) return formatError(sf_error(nullptr));
    if (info_.channels < 1 || info_.samplerate <= 0 || info_.samplerate > 768000) return unknownFormat;
    return ok;
  }

  void close() {
    if (sound_) sf_close(sound_);
    sound_ = nullptr;
    if (view_.file) std::fclose(view_.file);
    view_ = OffsetFile{};
  }

  const SF_INFO& info() const { return info_; }
  int keptChannels() const { return info_.channels >= 2 ? 2 : 1; }
  // A frame count libsndfile knows (an unfinished Ogg stream reports SF_COUNT_MAX).
  bool lengthKnown() const { return info_.frames < std::numeric_limits<sf_count_t>::max(); }

  // Up to frames frames into destination (keptChannels() values each); the
  // count delivered, 0 at the end or on a failure.
  std::int64_t read(std::int16_t* destination, std::int64_t frames) {
    const int channels = info_.channels;
    if (channels <= 2) return std::max<sf_count_t>(0, sf_readf_short(sound_, destination, frames));
    // More than two channels are cut to the first two.
    block_.resize(static_cast<std::size_t>(blockFrames) * channels);
    std::int64_t done = 0;
    while (done < frames) {
      const sf_count_t got = sf_readf_short(sound_, block_.data(), std::min<std::int64_t>(blockFrames, frames - done));
      if (got <= 0) break;
      for (sf_count_t i = 0; i < got; ++i)
        for (int c = 0; c < 2; ++c)
          destination[(done + i) * 2 + c] = block_[static_cast<std::size_t>(i * channels + c)];
      done += got;
    }
    return done;
  }

  static constexpr std::int64_t blockFrames = 4096;

 private:
  OffsetFile view_;
  SF_INFO info_{};
  SNDFILE* sound_ = nullptr;
  std::vector<std::int16_t> block_;
};

// Above this many samples a music file is refused (outOfMemory).
constexpr std::int64_t maxSamples = std::int64_t{1} << 31;

}  // namespace

// The streamed music's decoder: the ring holds play frames [low, high) (play
// frame p is file frame p mod frames); the thread decodes on while high is
// less than ring frames past keepFrom, which readers set a quarter of the ring
// behind where they read.
struct Music::Stream {
  std::string path;
  std::int64_t byteOffset = 0;
  std::int64_t frames = 0;  // of the file
  int channels = 0;
  std::int64_t capacity = 0;  // frames in the ring

  // Decoder thread only.
  Source source;
  bool sourceTried = false;
  bool sourceOpen = false;
  std::int64_t filePosition = 0;  // next file frame the open source delivers
  bool sourceFailed = false;      // it stopped early: silence to the end of the pass

  // Shared, under mutex.
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::int16_t> ring;
  std::int64_t low = 0, high = 0;
  std::int64_t keepFrom = 0;
  std::int64_t restartAt = -1;  // a reader needs frames before low: start over there
  std::int64_t generation = 0;  // counts restarts
  bool stopping = false;
  std::atomic<bool> stopFlag{false};
  std::thread thread;

  // Decodes file frames from filePosition on into destination; silence once
  // the source fails. Decoder thread only.
  void decodeFile(std::int16_t* destination, std::int64_t count) {
    std::int64_t done = 0;
    if (sourceOpen && !sourceFailed) done = source.read(destination, count);
    if (done < count) {
      sourceFailed = true;
      std::fill(destination + done * channels, destination + count * channels, std::int16_t{0});
    }
    filePosition += count;
  }

  // Makes the source deliver file frame `frame` next. Decoder thread only.
  void positionAt(std::int64_t frame, std::vector<std::int16_t>& scratch) {
    if (!sourceTried || frame < filePosition) {
      sourceTried = true;
      sourceOpen = source.open(path, byteOffset) == ok;
      filePosition = 0;
      sourceFailed = !sourceOpen;
    }
    while (filePosition < frame && !stopFlag.load(std::memory_order_relaxed))
      decodeFile(scratch.data(), std::min(Source::blockFrames, frame - filePosition));
  }

  void run() {
    std::vector<std::int16_t> block(static_cast<std::size_t>(Source::blockFrames * channels));
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
      if (restartAt >= 0) {
        const std::int64_t at = restartAt;
        restartAt = -1;
        low = high = at;
        ++generation;
        lock.unlock();
        positionAt(at % frames, block);
        lock.lock();
        continue;
      }
      const std::int64_t room = keepFrom + capacity - high;
      if (room <= 0) {
        changed.wait(lock);
        continue;
      }
      const std::int64_t at = high;
      const std::int64_t seen = generation;
      const std::int64_t count = std::min({Source::blockFrames, room, frames - at % frames});
      lock.unlock();
      if (!sourceTried || filePosition != at % frames) positionAt(at % frames, block);
      decodeFile(block.data(), count);
      lock.lock();
      if (seen != generation) continue;  // a reader started the decoder over meanwhile
      for (std::int64_t i = 0; i < count; ++i) {
        const std::size_t slot = static_cast<std::size_t>((at + i) % capacity) * channels;
        for (int c = 0; c < channels; ++c) ring[slot + c] = block[static_cast<std::size_t>(i * channels + c)];
      }
      high = at + count;
      low = std::max(low, high - capacity);
      changed.notify_all();
    }
  }

  // Play frames [from, from + count) (from >= 0, count <= capacity / 2) into destination.
  void read(std::int64_t from, std::int64_t count, std::int16_t* destination) {
    std::unique_lock<std::mutex> lock(mutex);
    keepFrom = std::max<std::int64_t>(0, from - capacity / 4);
    changed.notify_all();
    for (;;) {
      if (restartAt < 0 && from < low) {
        restartAt = from;  // before the ring: the decoder starts over there
        changed.notify_all();
      }
      if (restartAt < 0 && low <= from && from + count <= high) break;
      // The ring is full of what another reader, far behind, asked to keep:
      // this one goes on (the other starts over when it reads again), so a
      // reader that waits never waits on one that cannot read, such as the
      // main thread blocked on the device lock the audio callback holds.
      if (restartAt < 0 && from >= low && high >= keepFrom + capacity) {
        keepFrom = std::max<std::int64_t>(0, from - capacity / 4);
        changed.notify_all();
      }
      changed.wait(lock);
    }
    for (std::int64_t i = 0; i < count; ++i) {
      const std::size_t slot = static_cast<std::size_t>((from + i) % capacity) * channels;
      for (int c = 0; c < channels; ++c) destination[i * channels + c] = ring[slot + c];
    }
  }

  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
      stopFlag = true;
      changed.notify_all();
    }
    if (thread.joinable()) thread.join();
  }
};

Music::~Music() {
  if (stream_) stream_->stop();
}

int Music::load(const std::string& path, std::int64_t byteOffset, std::unique_ptr<Music>& out) {
  out.reset();
  Source source;
  if (const int code = source.open(path, byteOffset); code != ok) return code;
  const SF_INFO& format = source.info();
  const std::int64_t kept = source.keptChannels();
  const bool known = source.lengthKnown();
  if (known && format.frames <= 0) return fileLoadError;
  if (known && format.frames > maxSamples / kept) return outOfMemory;

  auto music = std::unique_ptr<Music>(new (std::nothrow) Music);
  if (!music) return outOfMemory;
  music->channels_ = static_cast<int>(kept);
  music->rate_ = format.samplerate;
  try {
    // A length the decoder does not know: read blocks until it stops.
    std::vector<std::int16_t>& samples = music->samples_;
    samples.resize(static_cast<std::size_t>((known ? format.frames : Source::blockFrames) * kept));
    std::int64_t done = 0;
    for (;;) {
      std::int64_t want = static_cast<std::int64_t>(samples.size()) / kept - done;
      if (want == 0) {
        if (known) break;
        if (static_cast<std::int64_t>(samples.size()) >= maxSamples) return outOfMemory;
        samples.resize(std::min<std::size_t>(samples.size() * 2, maxSamples / kept * kept));
        continue;
      }
      const std::int64_t got = source.read(samples.data() + done * kept, std::min(want, Source::blockFrames));
      if (got <= 0) break;
      done += got;
    }
    // Some decoders report a frame count a little above what they deliver.
    if (done <= 0) return fileLoadError;
    music->frames_ = done;
    samples.resize(static_cast<std::size_t>(done * kept));
    samples.shrink_to_fit();
  } catch (const std::bad_alloc&) {
    return outOfMemory;
  }
  out = std::move(music);
  return ok;
}

int Music::open(const std::string& path, std::int64_t byteOffset, std::unique_ptr<Music>& out,
                std::int64_t streamFrames) {
  out.reset();
  Source source;
  if (const int code = source.open(path, byteOffset); code != ok) return code;
  const SF_INFO& format = source.info();
  const std::int64_t kept = source.keptChannels();
  if (!source.lengthKnown() || format.frames <= streamFrames || streamFrames < 2 * Source::blockFrames)
    return load(path, byteOffset, out);
  if (format.frames > maxSamples / kept) return outOfMemory;

  auto music = std::unique_ptr<Music>(new (std::nothrow) Music);
  if (!music) return outOfMemory;
  music->channels_ = static_cast<int>(kept);
  music->rate_ = format.samplerate;
  music->frames_ = format.frames;
  try {
    auto stream = std::make_unique<Stream>();
    stream->path = path;
    stream->byteOffset = byteOffset;
    stream->frames = format.frames;
    stream->channels = static_cast<int>(kept);
    stream->capacity = streamFrames;
    stream->ring.resize(static_cast<std::size_t>(streamFrames * kept));
    source.close();  // the decoder thread opens its own
    Stream* raw = stream.get();
    stream->thread = std::thread([raw] { raw->run(); });
    music->stream_ = std::move(stream);
  } catch (const std::bad_alloc&) {
    return outOfMemory;
  } catch (const std::system_error&) {
    return outOfMemory;  // no thread to decode on
  }
  out = std::move(music);
  return ok;
}

std::int32_t Music::lengthMs() const {
  const std::int64_t ms = frames_ * 1000 / rate_;
  return ms > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                       : static_cast<std::int32_t>(ms);
}

void Music::read(std::int64_t playFrame, std::int64_t count, std::int16_t* destination) const {
  const int channels = channels_;
  if (playFrame < 0) {
    const std::int64_t silent = std::min(count, -playFrame);
    std::fill(destination, destination + silent * channels, std::int16_t{0});
    destination += silent * channels;
    count -= silent;
    playFrame += silent;
  }
  while (count > 0) {
    if (stream_) {
      const std::int64_t run = std::min(count, stream_->capacity / 2);
      stream_->read(playFrame, run, destination);
      destination += run * channels;
      count -= run;
      playFrame += run;
      continue;
    }
    const std::int64_t at = playFrame % frames_;
    const std::int64_t run = std::min(count, frames_ - at);
    std::memcpy(destination, samples_.data() + at * channels, static_cast<std::size_t>(run * channels) * 2);
    destination += run * channels;
    count -= run;
    playFrame += run;
  }
}

void Music::windowEndingAt(std::int64_t playFrame, float* destination) const {
  std::int16_t frames[fftSize * 2];
  read(playFrame - fftSize, fftSize, frames);
  const float scale = 1.0f / (32768.0f * static_cast<float>(channels_));
  for (int i = 0; i < fftSize; ++i) {
    int sum = 0;
    for (int c = 0; c < channels_; ++c) sum += frames[i * channels_ + c];
    destination[i] = static_cast<float>(sum) * scale;
  }
}

}  // namespace sound
