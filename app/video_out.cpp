#include "app/video_out.h"

#include "fileio/fileio.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

extern char** environ;

namespace {

std::string extensionOf(const std::string& name) {
  const auto dot = name.rfind('.');
  const auto slash = name.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

std::string formatSeconds(std::int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000));
  return text;
}

// BT.601 in 15-bit fixed point, scaled to the limited range (219 steps of
// luma, 224 of chroma); each row's weights sum to 0 for chroma, so grey has
// no colour. Chroma weighs the sum of a 2x2 block: two more bits to shift.
constexpr std::int32_t yr = 8414, yg = 16519, yb = 3209;
constexpr std::int32_t ur = -4857, ug = -9535, ub = 14392;
constexpr std::int32_t vr = 14392, vg = -12052, vb = -2340;
constexpr std::int32_t lumaBias = (16 << 15) + (1 << 14), chromaBias = (128 << 17) + (1 << 16);

inline unsigned char lumaOf(const unsigned char* p) {
  return static_cast<unsigned char>((lumaBias + yr * p[0] + yg * p[1] + yb * p[2]) >> 15);
}
// a and b: the two pixels of a 2x2 block in the upper and in the lower row.
inline void chromaOf(const unsigned char* a, const unsigned char* b, unsigned char* cb, unsigned char* cr) {
  const std::int32_t r = a[0] + a[4] + b[0] + b[4];
  const std::int32_t g = a[1] + a[5] + b[1] + b[5];
  const std::int32_t bl = a[2] + a[6] + b[2] + b[6];
  *cb = static_cast<unsigned char>((chromaBias + ur * r + ug * g + ub * bl) >> 17);
  *cr = static_cast<unsigned char>((chromaBias + vr * r + vg * g + vb * bl) >> 17);
}

#ifdef __SSE2__
// The same sums eight 16-bit products at a time (every x86-64 has SSE2):
// 16-bit pixels and weights, pmaddwd's 32-bit pair sums, one more pair
// sum, then the same bias and shift, so the bytes are those of the loop
// below.
// [a0 a1 a2 a3], [b0 b1 b2 b3] -> [a0+a1, a2+a3, b0+b1, b2+b3]
inline __m128i pairSums(__m128i a, __m128i b) {
  const __m128 fa = _mm_castsi128_ps(a), fb = _mm_castsi128_ps(b);
  return _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0))),
                       _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1))));
}
// Four RGBA pixels -> their four weighted sums (alpha weighs 0).
inline __m128i weigh(__m128i pixels, __m128i weights) {
  const __m128i zero = _mm_setzero_si128();
  return pairSums(_mm_madd_epi16(_mm_unpacklo_epi8(pixels, zero), weights),
                  _mm_madd_epi16(_mm_unpackhi_epi8(pixels, zero), weights));
}
inline __m128i load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
// Sixteen pixels of a row -> sixteen luma bytes.
inline void luma16(const unsigned char* p, unsigned char* out) {
  const __m128i weights = _mm_setr_epi16(yr, yg, yb, 0, yr, yg, yb, 0);
  const __m128i bias = _mm_set1_epi32(lumaBias);
  __m128i y[4];
  for (int i = 0; i < 4; ++i) y[i] = _mm_srai_epi32(_mm_add_epi32(weigh(load(p + 16 * i), weights), bias), 15);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_packus_epi16(_mm_packs_epi32(y[0], y[1]), _mm_packs_epi32(y[2], y[3])));
}
// Four pixels of the upper and of the lower row -> the RGBA sums of their two 2x2 blocks, as 16-bit lanes.
inline __m128i blockSums(const unsigned char* upper, const unsigned char* lower) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i u = load(upper), l = load(lower);
  const __m128i left = _mm_add_epi16(_mm_unpacklo_epi8(u, zero), _mm_unpacklo_epi8(l, zero));
  const __m128i right = _mm_add_epi16(_mm_unpackhi_epi8(u, zero), _mm_unpackhi_epi8(l, zero));
  return _mm_unpacklo_epi64(_mm_add_epi16(left, _mm_srli_si128(left, 8)), _mm_add_epi16(right, _mm_srli_si128(right, 8)));
}
inline void store8(unsigned char* out, __m128i low, __m128i high) {
  const __m128i bias = _mm_set1_epi32(chromaBias);
  low = _mm_srai_epi32(_mm_add_epi32(low, bias), 17);
  high = _mm_srai_epi32(_mm_add_epi32(high, bias), 17);
  const __m128i words = _mm_packs_epi32(low, high);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
}
// Sixteen pixels of two rows -> eight Cb and eight Cr bytes.
inline void chroma16(const unsigned char* upper, const unsigned char* lower, unsigned char* cb, unsigned char* cr) {
  const __m128i uWeights = _mm_setr_epi16(ur, ug, ub, 0, ur, ug, ub, 0);
  const __m128i vWeights = _mm_setr_epi16(vr, vg, vb, 0, vr, vg, vb, 0);
  __m128i sums[4];
  for (int i = 0; i < 4; ++i) sums[i] = blockSums(upper + 16 * i, lower + 16 * i);
  __m128i u[4], v[4];
  for (int i = 0; i < 4; ++i) {
    u[i] = _mm_madd_epi16(sums[i], uWeights);
    v[i] = _mm_madd_epi16(sums[i], vWeights);
  }
  store8(cb, pairSums(u[0], u[1]), pairSums(u[2], u[3]));
  store8(cr, pairSums(v[0], v[1]), pairSums(v[2], v[3]));
}
#endif
}  // namespace

void rgbaToYuv420(const unsigned char* rgba, int width, int height, unsigned char* yuv) {
  const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
  const std::size_t stride = w * 4;
  unsigned char* lumaPlane = yuv;
  unsigned char* cbPlane = yuv + w * h;
  unsigned char* crPlane = cbPlane + (w / 2) * (h / 2);
  for (std::size_t row = 0; row < h; row += 2) {
    const unsigned char* upper = rgba + (h - 1 - row) * stride;  // GL's rows run bottom-up
    const unsigned char* lower = upper - stride;
    unsigned char* lumaUpper = lumaPlane + row * w;
    unsigned char* lumaLower = lumaUpper + w;
    unsigned char* cb = cbPlane + (row / 2) * (w / 2);
    unsigned char* cr = crPlane + (row / 2) * (w / 2);
    std::size_t x = 0;
#ifdef __SSE2__
    for (; x + 16 <= w; x += 16) {
      luma16(upper + 4 * x, lumaUpper + x);
      luma16(lower + 4 * x, lumaLower + x);
      chroma16(upper + 4 * x, lower + 4 * x, cb + x / 2, cr + x / 2);
    }
#endif
    for (; x < w; x += 2) {
      lumaUpper[x] = lumaOf(upper + 4 * x);
      lumaUpper[x + 1] = lumaOf(upper + 4 * x + 4);
      lumaLower[x] = lumaOf(lower + 4 * x);
      lumaLower[x + 1] = lumaOf(lower + 4 * x + 4);
      chromaOf(upper + 4 * x, lower + 4 * x, cb + x / 2, cr + x / 2);
    }
  }
}

bool isVideoName(const std::string& name) {
  const std::string ext = extensionOf(name);
  return ext == "mp4" || ext == "mkv" || ext == "webm";
}

struct VideoEncoder::Impl {
  VideoSettings settings;
  fileio::OutputFile out;  // the target, or its temporary until commit
  pid_t child = -1;
  int pipeFd = -1;
  int errorFd = -1;
  std::thread errorReader;
  std::string errorText;  // ffmpeg's messages (its last 4 KB)

  // Read-back: two pixel-buffer objects taken in turn. The GL thread maps
  // one and leaves it mapped while the converter thread reads it; it unmaps
  // it once `converted` says so, before the next read-back into it.
  GLuint pbo[2] = {0, 0};
  int next = 0;
  bool pending[2] = {false, false};  // read back, not yet handed over
  const unsigned char* pixels[2] = {nullptr, nullptr};  // non-null while mapped
  bool converted[2] = {false, false};  // under `lock`
  std::size_t readBytes = 0;   // an RGBA frame in a pixel buffer
  std::size_t frameBytes = 0;  // the same frame as 4:2:0, as ffmpeg takes it

  // Converter thread: mapped buffers named in `jobs` become 4:2:0 frames in
  // `queue` (converting here costs less than ffmpeg's conversion and sends
  // less than half the bytes). Writer thread: feeds `queue` to ffmpeg and
  // returns the buffers through `spare`.
  std::thread converter;
  std::thread writer;
  std::mutex lock;
  std::condition_variable changed;
  std::deque<int> jobs;
  std::deque<std::vector<unsigned char>> queue;
  std::vector<std::vector<unsigned char>> spare;
  std::size_t buffers = 0;     // frame buffers made so far...
  std::size_t maxBuffers = 3;  // ...and how many may be
  bool closing = false;
  bool convertDone = false;  // the converter has ended
  bool failed = false;
  std::string failure;

  void fail(const std::string& why) {
    std::lock_guard<std::mutex> guard(lock);
    if (!failed) {
      failed = true;
      failure = why;
    }
    changed.notify_all();
  }

  void writeLoop() {
    for (;;) {
      std::vector<unsigned char> frame;
      {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return (closing && convertDone) || !queue.empty(); });
        if (queue.empty()) return;
        frame = std::move(queue.front());
        queue.pop_front();
      }
      const bool ok = fileio::writeAll(pipeFd, frame.data(), frame.size());
      {
        std::lock_guard<std::mutex> guard(lock);
        spare.push_back(std::move(frame));
        if (!ok && !failed) {
          failed = true;
          failure = "ffmpeg stopped taking frames";
        }
        changed.notify_all();
      }
      if (!ok) {
        // Drop what is queued: nobody reads it any more.
        std::lock_guard<std::mutex> guard(lock);
        while (!queue.empty()) {
          spare.push_back(std::move(queue.front()));
          queue.pop_front();
        }
        changed.notify_all();
        return;
      }
    }
  }

  // Converts each mapped buffer named in `jobs` into a free frame buffer
  // (waiting while every buffer is queued: the encoder sets the pace), then
  // marks the pixel buffer converted. After a failure it only marks them.
  void convertLoop() {
    for (;;) {
      int index;
      std::vector<unsigned char> frame;
      {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return closing || !jobs.empty(); });
        if (jobs.empty()) {
          convertDone = true;
          changed.notify_all();
          return;
        }
        index = jobs.front();
        jobs.pop_front();
        changed.wait(guard, [&] { return failed || !spare.empty() || buffers < maxBuffers; });
        if (!failed && spare.empty()) {
          frame.resize(frameBytes);
          ++buffers;
        } else if (!failed) {
          frame = std::move(spare.back());
          spare.pop_back();
        }
      }
      if (!frame.empty()) rgbaToYuv420(pixels[index], settings.width, settings.height, frame.data());
      std::lock_guard<std::mutex> guard(lock);
      converted[index] = true;
      if (!frame.empty()) queue.push_back(std::move(frame));
      changed.notify_all();
    }
  }

  // GL thread: maps pbo[index], which holds a finished read-back, for the
  // converter.
  void handOver(int index) {
    glBindBuffer(GL_PIXEL_PACK_BUFFER, pbo[index]);
    pixels[index] = static_cast<const unsigned char*>(glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY));
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    pending[index] = false;
    if (!pixels[index]) {
      fail("cannot map the frame read-back buffer");
      return;
    }
    std::lock_guard<std::mutex> guard(lock);
    converted[index] = false;
    jobs.push_back(index);
    changed.notify_all();
  }

  // GL thread: waits until the converter is done with pbo[index] and unmaps it.
  void reclaim(int index) {
    if (!pixels[index]) return;
    {
      std::unique_lock<std::mutex> guard(lock);
      changed.wait(guard, [&] { return converted[index]; });
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, pbo[index]);
    glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    pixels[index] = nullptr;
  }

  // Ends the converter (after its jobs) and then the writer (after what is
  // queued, unless it failed).
  void stopThreads() {
    {
      std::lock_guard<std::mutex> guard(lock);
      closing = true;
      changed.notify_all();
    }
    if (converter.joinable()) converter.join();
    if (writer.joinable()) writer.join();
    if (pipeFd >= 0) ::close(pipeFd);
    pipeFd = -1;
  }

  int waitChild() {
    int status = 0;
    if (child > 0) {
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      child = -1;
    }
    if (errorReader.joinable()) errorReader.join();
    if (errorFd >= 0) ::close(errorFd);
    errorFd = -1;
    return status;
  }

  void releaseGl() {
    if (pbo[0] || pbo[1]) glDeleteBuffers(2, pbo);
    pbo[0] = pbo[1] = 0;
  }

  // Ends both threads, then unmaps and deletes the pixel buffers (only now
  // does no thread read them), and waits for ffmpeg; gives its exit status.
  int shutDown() {
    stopThreads();
    reclaim(0);
    reclaim(1);
    releaseGl();
    return waitChild();
  }

  std::string lastError() const {
    std::string text = errorText;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const auto line = text.rfind('\n');
    return line == std::string::npos ? text : text.substr(line + 1);
  }
};

std::unique_ptr<VideoEncoder> VideoEncoder::start(const VideoSettings& s, std::string& reason) {
  auto encoder = std::unique_ptr<VideoEncoder>(new VideoEncoder);
  encoder->impl_ = std::make_unique<Impl>();
  Impl& d = *encoder->impl_;
  d.settings = s;
  if (s.width <= 0 || s.height <= 0 || s.width % 2 != 0 || s.height % 2 != 0) {
    // 4:2:0 video has one colour sample per 2 × 2 pixels.
    reason = "a video needs an even width and height, not " + std::to_string(s.width) + "x" +
             std::to_string(s.height);
    return nullptr;
  }

  // Where the video goes: in place for FIFOs and devices, otherwise a
  // temporary file beside the target (a symbolic link's target), never over
  // the music or the script it is made from.
  fileio::OutputOptions rules;
  if (!s.musicFile.empty()) rules.inputs.push_back(s.musicFile);
  rules.inputs.push_back("script.qsc");
  if (!d.out.open(s.output, rules, &reason)) return nullptr;
  d.out.closeDescriptor();  // ffmpeg opens the path itself
  const bool inPlace = d.out.inPlace();
  const std::string ext = extensionOf(s.output);
  const bool webm = ext == "webm";
  const bool mkv = ext == "mkv";
  const char* muxer = webm ? "webm" : mkv ? "matroska" : "mp4";

  // The command line.
  std::vector<std::string> args = {s.ffmpeg, "-hide_banner", "-loglevel", "error", "-nostats"};
  char size[32];
  std::snprintf(size, sizeof size, "%dx%d", s.width, s.height);
  args.insert(args.end(), {"-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", size, "-framerate", std::to_string(s.fps),
                           "-i", "pipe:0"});
  const bool sound = !s.musicFile.empty();
  if (sound) {
    if (s.musicOffsetBytes > 0) args.insert(args.end(), {"-skip_initial_bytes", std::to_string(s.musicOffsetBytes)});
    // The show's music loops; so does the sound track.
    args.insert(args.end(), {"-stream_loop", "-1", "-ss", formatSeconds(s.musicStartMs), "-i", s.musicFile});
  }
  args.insert(args.end(), {"-map", "0:v"});
  if (sound) args.insert(args.end(), {"-map", "1:a", "-shortest"});
  if (webm) {
    args.insert(args.end(), {"-c:v", "libvpx-vp9", "-crf", std::to_string(s.crf >= 0 ? s.crf : 32), "-b:v", "0",
                             "-deadline", "good", "-cpu-used", "5", "-row-mt", "1"});
    if (sound) args.insert(args.end(), {"-c:a", "libopus", "-b:a", "160k"});
  } else {
    args.insert(args.end(), {"-c:v", "libx264", "-preset", s.preset.empty() ? "veryfast" : s.preset, "-crf",
                             std::to_string(s.crf >= 0 ? s.crf : 20)});
    // The encoder shares the cores with the renderer, which keeps them all
    // busy: the quickest motion search costs a third less time than
    // veryfast's own for about 7 % more bytes at the same quality (SSIM) on
    // the show. One encoding thread per four cores keeps up with the renderer
    // several times over; on two cores it spends about 8 % less than x264's
    // own choice of threads, which mostly wait for each other there.
    if (s.preset.empty()) {
      const unsigned threads = std::max(1u, std::thread::hardware_concurrency() / 4);
      args.insert(args.end(), {"-x264-params", "me=dia:subme=1:threads=" + std::to_string(threads)});
    }
    // ffmpeg's default AAC search costs as much time as a sixth of the
    // video; its fast one takes a third of that at this rate.
    if (sound) args.insert(args.end(), {"-c:a", "aac", "-aac_coder", "fast", "-b:a", "192k"});
    // A file that cannot be seeked (a pipe) needs a fragmented MP4.
    if (!mkv) args.insert(args.end(), {"-movflags", inPlace ? "frag_keyframe+empty_moov" : "+faststart"});
  }
  // Say which matrix made the frames: players guess BT.709 for HD sizes.
  args.insert(args.end(), {"-colorspace", "smpte170m", "-color_range", "tv"});
  args.insert(args.end(), {"-f", muxer, "-y", d.out.writePath()});

  int frames[2];
  int errors[2];
  if (::pipe2(frames, O_CLOEXEC) != 0 || ::pipe2(errors, O_CLOEXEC) != 0) {
    reason = std::string("cannot start ffmpeg: ") + std::strerror(errno);
    d.out.abort();
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, frames[0], 0);
  posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own process group: Ctrl-C in the terminal reaches the renderer, which
  // then stops the encoder itself and removes the partial file.
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // The encoder runs at the lowest priority, started from a thread that has
  // it (a child takes its niceness from the thread that starts it): it then
  // takes the time the renderer leaves idle, and the frame queue lets it
  // catch up during heavy scenes instead of slowing the light ones.
  int spawned = 0;
  std::thread([&] {
    setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19);
    spawned = posix_spawnp(&d.child, s.ffmpeg.c_str(), &actions, &attributes, argv.data(), environ);
  }).join();
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(frames[0]);
  ::close(errors[1]);
  if (spawned != 0) {
    ::close(frames[1]);
    ::close(errors[0]);
    d.child = -1;
    d.out.abort();
    reason = "cannot run " + s.ffmpeg + ": " + std::strerror(spawned) +
             (spawned == ENOENT ? " (install ffmpeg, or write PNG frames with --out DIR)" : "");
    return nullptr;
  }
  d.pipeFd = frames[1];
  // A frame is a few megabytes: a larger pipe means far fewer hand-overs
  // between the writer thread and ffmpeg (the default holds 64 KiB).
  ::fcntl(d.pipeFd, F_SETPIPE_SZ, 1 << 20);
  d.errorFd = errors[0];
  d.errorReader = std::thread([&d] {
    char buffer[1024];
    for (;;) {
      const ssize_t n = ::read(d.errorFd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      d.errorText.append(buffer, static_cast<std::size_t>(n));
      if (d.errorText.size() > 4096) d.errorText.erase(0, d.errorText.size() - 4096);
    }
  });

  d.readBytes = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height) * 4;
  d.frameBytes = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height) * 3 / 2;
  // Light frames render faster than the encoder takes them, heavy ones
  // slower: up to 64 MB of frames (about three seconds at 800 × 600) wait.
  d.maxBuffers = std::clamp<std::size_t>((std::size_t{64} << 20) / d.frameBytes, 3, 256);
  glGenBuffers(2, d.pbo);
  for (GLuint buffer : d.pbo) {
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
    glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(d.readBytes), nullptr, GL_STREAM_READ);
  }
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  d.converter = std::thread([&d] { d.convertLoop(); });
  d.writer = std::thread([&d] { d.writeLoop(); });
  return encoder;
}

VideoEncoder::~VideoEncoder() {
  if (impl_) abort();
}

bool VideoEncoder::failed() const {
  std::lock_guard<std::mutex> guard(impl_->lock);
  return impl_->failed;
}

std::string VideoEncoder::reason() const {
  std::lock_guard<std::mutex> guard(impl_->lock);
  return impl_->failure;
}

bool VideoEncoder::addFrame() {
  Impl& d = *impl_;
  if (failed()) return false;
  const int index = d.next;
  d.reclaim(index);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glBindBuffer(GL_PIXEL_PACK_BUFFER, d.pbo[index]);
  glReadPixels(0, 0, d.settings.width, d.settings.height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  d.pending[index] = true;
  d.next = 1 - index;
  // The other buffer holds the frame before: by now its read-back is done.
  if (d.pending[d.next]) d.handOver(d.next);
  return !failed();
}

bool VideoEncoder::finish(std::string& reason) {
  Impl& d = *impl_;
  if (d.pending[d.next]) d.handOver(d.next);
  if (d.pending[1 - d.next]) d.handOver(1 - d.next);
  const int status = d.shutDown();
  bool ok = !d.failed && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!ok) {
    std::string why = d.failed ? d.failure : "ffmpeg failed";
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
      why += " (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    else if (WIFSIGNALED(status))
      why += " (killed by signal " + std::to_string(WTERMSIG(status)) + ")";
    const std::string last = d.lastError();
    if (!last.empty()) why += ": " + last;
    reason = "cannot write " + d.settings.output + ": " + why;
  } else if (!d.out.commit(&reason)) {
    ok = false;
  }
  if (!ok) d.out.abort();
  impl_.reset();
  return ok;
}

void VideoEncoder::abort() {
  if (!impl_) return;
  Impl& d = *impl_;
  // Killing the encoder first turns a write that waits on the pipe into an
  // error, so the writer thread ends; the converter skips what is left.
  if (d.child > 0) ::kill(d.child, SIGKILL);
  d.fail("aborted");
  d.shutDown();
  d.out.abort();
  impl_.reset();
}
