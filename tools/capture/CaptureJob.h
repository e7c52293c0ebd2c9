// What lumorak-capture is asked to do, and the arithmetic that keeps picture and sound
// together; no GL and no processes, so all of it is tested directly. Frame n lies at
// exactly n / fps seconds; the audio of frames [first, end) is the samples
// [sampleAt(first), sampleAt(end)), each rounded from the exact product, so the sound
// never drifts from the picture however long the span.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "offline/ShowTime.h"

constexpr int kCaptureSampleRate = 44100;

enum class CaptureMode {
  kVideo,       // one MP4 through ffmpeg
  kPngDir,      // numbered PNGs and a WAV of the span
  kFrames,      // only the listed times, as PNGs
  kRenderOnly,  // the span rendered and read back, nothing written: for timing
};

struct CaptureJob {
  CaptureMode mode = CaptureMode::kVideo;
  double from = 0.0;  // seconds
  double to = kShowEnd;
  double fps = 60.0;
  std::string out = "lumorakdemo.mp4";
  std::string pngDir;
  std::vector<double> frames;  // kFrames: ascending, each in [0, kShowEnd)
  std::string sheet;           // kFrames: optional contact sheet of the listed frames
  // x264's superfast keeps pace with llvmpipe on two cores (docs/performance.md).
  std::string preset = "superfast";
  int crf = 18;
  std::string data;  // --data: the show's data folder, when not found by itself
  // --jobs: processes rendering pieces of the span side by side; 0 is auto.
  int jobs = 0;
  // A child of a parallel run (the hidden --piece FIRST,END,INDEX,COUNT) renders frames
  // [pieceFirst, pieceEnd), piece INDEX of COUNT (from 1). A video piece has no sound.
  int64_t pieceFirst = -1;
  int64_t pieceEnd = -1;
  int pieceIndex = 0;
  int pieceCount = 0;
  bool help = false;
  bool version = false;

  // The span's frames: [firstFrame(), endFrame()).
  int64_t firstFrame() const;
  int64_t endFrame() const;
  // First audio sample (frames of kCaptureSampleRate) of video frame n.
  int64_t sampleAt(int64_t frame) const;
  bool isPiece() const { return pieceCount > 0; }
  // The frames this process renders: the span, or its piece of it.
  int64_t renderFirst() const { return isPiece() ? pieceFirst : firstFrame(); }
  int64_t renderEnd() const { return isPiece() ? pieceEnd : endFrame(); }
};

constexpr int kMaxJobs = 32;
// The shortest span --jobs auto shares out: below it the children's start-ups (over a
// second each) eat what the second process saves.
constexpr double kMinSharedSeconds = 20.0;

// Parses argv[1..]; false with a one-line reason on bad options, times or output names.
// --help and --version set `help` and `version` and win.
bool parseCaptureArgs(int argc, const char* const* argv, CaptureJob& job, std::string& error);

// The usage text, documenting every option.
const char* captureHelp();

// The 44-byte header of a 16-bit stereo PCM WAV holding `frames` sample frames.
std::vector<uint8_t> wavHeader(int64_t frames, int sampleRate);

// ffmpeg's arguments for the video: raw BGRA frames, bottom row first, on videoFd, 16-bit
// stereo PCM on audioFd (none when < 0, for a piece), H.264 + AAC into `path` as MP4.
std::vector<std::string> ffmpegArgs(const CaptureJob& job, int width, int height, int videoFd,
                                    int audioFd, const std::string& path);

// ffmpeg's arguments that join the videos in `list` (concatList) without encoding them
// again, with the whole span's sound from audioFd encoded as ffmpegArgs does.
std::vector<std::string> joinArgs(const std::string& list, int audioFd, const std::string& path);

// The concat demuxer's list of these files, each with its duration in seconds: the file's
// own runs a little long at a fractional rate (59.94), and would add up at every join.
std::string concatList(const std::vector<std::string>& files, const std::vector<double>& seconds);
