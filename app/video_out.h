// Frames straight into a video file: GL read-back through two pixel-buffer
// objects taken in turn, a thread that converts them to 4:2:0, a queue of up
// to 64 MB, a writer thread, and ffmpeg as a child process at the lowest
// priority, fed raw frames through a pipe.
//
// Why a child ffmpeg and not libavcodec: the encoder then runs in its own
// process, on whatever time the renderer leaves idle, while the next frames
// render; the container, codec and audio trimming come from one well-known
// command line; and a crash or a full disk inside the encoder cannot take
// the renderer with it.
//
// The output follows the project's file rules (fileio/fileio.h): made under
// a unique temporary name beside the target and renamed over it only when
// ffmpeg finished cleanly, so the target is either the whole new video or
// what it was before; an existing FIFO or device is written in place, in a
// form that needs no seeking; never the music or script it is made from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct VideoSettings {
  std::string output;       // .mp4, .mkv or .webm (an existing FIFO or device too)
  int width = 800;
  int height = 600;
  int fps = 30;
  int crf = -1;             // -1: the container's default quality
  std::string preset;       // x264 preset; empty: "veryfast", quickest motion search, a thread per 4 cores
  std::string musicFile;    // empty: no sound track
  std::int64_t musicOffsetBytes = 0;
  std::int64_t musicStartMs = 0;  // music position of the first frame
  std::string ffmpeg = "ffmpeg";  // program to run (looked up in PATH)
};

// Whether a name asks for a video (by its extension).
bool isVideoName(const std::string& name);

// A frame as GL reads it back (RGBA bytes, bottom row first) into planar
// 4:2:0 for the encoder: the Y plane (width × height), then Cb and Cr (each
// width/2 × height/2), top row first, BT.601 limited range; each chroma
// sample is taken from the mean of its 2 × 2 pixels. width and height must be
// even; yuv holds width × height × 3 / 2 bytes.
void rgbaToYuv420(const unsigned char* rgba, int width, int height, unsigned char* yuv);

class VideoEncoder {
 public:
  ~VideoEncoder();  // aborts when neither finish nor abort was called

  // Checks the target, reserves the temporary file and starts ffmpeg.
  // Returns null and sets reason when any of that fails (nothing is left
  // behind then).
  static std::unique_ptr<VideoEncoder> start(const VideoSettings& settings, std::string& reason);

  // Reads the current GL frame (width × height from the lower-left corner)
  // into the next pixel buffer and hands the previous one to the writer.
  // Leaves GL_PIXEL_PACK_BUFFER unbound and GL_PACK_ALIGNMENT 4.
  // Returns false once the encoder has failed (reason() says why).
  bool addFrame();

  // Hands over the last frame, closes the pipe and waits for ffmpeg; on
  // success renames the temporary file over the target (the sound is
  // trimmed to the frames added). False with reason set otherwise.
  bool finish(std::string& reason);

  // Stops ffmpeg and removes the temporary file.
  void abort();

  bool failed() const;
  std::string reason() const;

 private:
  VideoEncoder() = default;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
