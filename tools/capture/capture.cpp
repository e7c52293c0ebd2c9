// lumorak-capture: the show as a frame-exact video, a PNG sequence or single frames (see
// CaptureJob.h and --help). Every frame is rendered after the history it builds on, so a
// span starting anywhere shows what a playthrough from the start shows.
//
// The video: raw BGRA frames go through a pipe into ffmpeg's descriptor 3, the span's
// samples into 4; ffmpeg writes the MP4 under a temporary name, renamed into place only
// when everything succeeded. A writer thread feeds the pipe while the next frame renders.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/Demo.h"
#include "audio/Backends.h"
#include "capture/CaptureJob.h"
#include "capture/Pieces.h"
#include "cli/Cli.h"
#include "offline/FrameLoop.h"
#include "offline/FramePng.h"
#include "offline/OfflineShow.h"

// The Windows and browser builds write PNGs alone: they start no ffmpeg and no child
// processes, and have no FreeType for the contact sheet's captions.
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
#define LUMORAK_PNG_ONLY 1
#endif
#ifndef LUMORAK_PNG_ONLY
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <deque>

#include "capture/PieceProcesses.h"
#include "cli/ChildProcess.h"
#include "sheet/Thumbnails.h"
#endif

namespace fs = std::filesystem;

namespace {
// Progress lines and messages: a piece of a parallel run says which.
std::string labelOf(const CaptureJob& job) {
  if (!job.isPiece()) return "lumorak-capture";
  return "lumorak-capture piece " + std::to_string(job.pieceIndex) + "/" +
         std::to_string(job.pieceCount);
}

// The closing line of a run: "LABEL: N frames HOW S s, R frames/s, WHAT".
void reportDone(const CaptureJob& job, const LoopResult& loop, const char* how,
                const std::string& what) {
  std::fprintf(stderr, "%s: %lld frames %s %.1f s, %.1f frames/s, %s\n", labelOf(job).c_str(),
               static_cast<long long>(loop.done), how, loop.seconds,
               loop.seconds > 0 ? loop.done / loop.seconds : 0.0, what.c_str());
}

// The span's samples, silence past the end of the music.
std::vector<int16_t> spanSamples(OfflineShow& show, const CaptureJob& job, int64_t firstFrame,
                                 int64_t endFrame) {
  const MusicDecode* music = show.sound().music();
  const int64_t first = job.sampleAt(firstFrame);
  const int64_t end = job.sampleAt(endFrame);
  std::vector<int16_t> samples(static_cast<size_t>(end - first) * 2, 0);
  // Waits for any of the span the background decode has not reached yet.
  if (music && end > first) music->read(first, static_cast<int>(end - first), samples.data());
  return samples;
}

// DIR/frame000123.png: frame n of the span (from 0) in --png-dir.
std::string pngPath(const CaptureJob& job, int64_t n) {
  return job.pngDir + cli::formatted("/frame%06lld.png", static_cast<long long>(n));
}

// What an interrupted or failed --png-dir run leaves, the frames' numbers in `runs`:
// "frames 000000-000011, 000150-000161 of 300", or "no frames of 300".
std::string framesHeld(const std::vector<Piece>& runs, int64_t total) {
  std::string text;
  for (const Piece& run : runs) {
    text += cli::formatted("%s%06lld-%06lld", text.empty() ? "" : ", ",
                           static_cast<long long>(run.first), static_cast<long long>(run.end - 1));
  }
  return (text.empty() ? "no frames" : "frames " + text) + " of " + std::to_string(total);
}

// This run replaces it: one from an earlier run would claim a whole span.
bool removeOldWav(const CaptureJob& job, std::string& error) {
  std::error_code failure;
  fs::remove(job.pngDir + "/audio.wav", failure);
  return !failure ||
         cli::failWith(error, "cannot replace " + job.pngDir + "/audio.wav: " + failure.message());
}

// The whole span's music as DIR/audio.wav, under a temporary name until whole.
bool writeWav(OfflineShow& show, const CaptureJob& job, std::string& error) {
  const std::vector<int16_t> samples = spanSamples(show, job, job.firstFrame(), job.endFrame());
  const std::vector<uint8_t> header =
      wavHeader(static_cast<int64_t>(samples.size() / 2), kCaptureSampleRate);
  auto write = [&](const std::string& temporary, std::string&) {
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    const bool put =
        file && std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
        std::fwrite(samples.data(), sizeof(int16_t), samples.size(), file) == samples.size();
    return file && std::fclose(file) == 0 && put;
  };
  return cli::writeWhole(job.pngDir + "/audio.wav", write, error);
}

// The span's frames, then audio.wav, last, so that a folder with one holds every frame. A
// piece writes its frames under their numbers in the whole span, and no audio.wav.
int capturePngs(OfflineShow& show, const CaptureJob& job) {
  const int64_t number0 = job.renderFirst() - job.firstFrame();
  std::string error;
  if (!job.isPiece() && !removeOldWav(job, error)) return cli::fail(error);

  const LoopResult loop = forEachFrame(
      show, FramePlan::span(FrameRate{job.fps}, job.renderFirst(), job.renderEnd()),
      PixelLayout::kRgb, labelOf(job), [&](const LoopFrame& frame) {
        return writeFramePng(pngPath(job, number0 + frame.ordinal), frame.pixels, error);
      });
  if (loop.ending != LoopResult::kDone) {
    const bool stopped = loop.ending == LoopResult::kStopped;
    std::vector<Piece> held;  // frames 0 to done - 1
    if (loop.done > 0) held.push_back({0, loop.done});
    std::fprintf(stderr, "%s: %s: %s holds %s and no audio.wav\n", labelOf(job).c_str(),
                 stopped ? "interrupted" : "failed", job.pngDir.c_str(),
                 framesHeld(held, job.endFrame() - job.firstFrame()).c_str());
    return stopped ? cli::stopStatus() : cli::fail(error);
  }
  if (job.isPiece()) return 0;
  if (!writeWav(show, job, error)) return cli::fail(error);
  reportDone(job, loop, "in", job.pngDir + "/frame*.png + audio.wav");
  return 0;
}
// The same frames as a video, read back as for the encoder, but kept nowhere.
int renderOnly(OfflineShow& show, const CaptureJob& job) {
  const int64_t first = job.renderFirst();
  const int64_t end = job.renderEnd();
  const LoopResult loop =
      forEachFrame(show, FramePlan::span(FrameRate{job.fps}, first, end), PixelLayout::kBgra,
                   labelOf(job), [](const LoopFrame&) { return true; });
  if (loop.ending == LoopResult::kStopped) {
    return reportInterrupted(labelOf(job), loop, end - first);
  }
  reportDone(job, loop, "rendered in", "nothing written");
  return 0;
}

int captureFrames(OfflineShow& show, const CaptureJob& job) {
  std::string error;
#ifndef LUMORAK_PNG_ONLY
  constexpr int kColumns = 3;
  constexpr int kThumbWidth = 512;
  constexpr int kThumbHeight = 384;
  constexpr int kLabel = 28;
  const int rows = static_cast<int>((job.frames.size() + kColumns - 1) / kColumns);
  Canvas sheet(kColumns * kThumbWidth, rows * (kThumbHeight + kLabel));
  sheet.fill({0.06f, 0.06f, 0.07f});
  Font font;
  if (!job.sheet.empty() && !font.open(kLabelFontPath, error)) return cli::fail(error);
#endif

  const LoopResult loop = forEachFrame(
      show, FramePlan::at(FrameRate{job.fps}, job.frames), PixelLayout::kRgb, "lumorak-capture",
      [&](const LoopFrame& frame) {
        const double t = frame.seconds;
#ifndef LUMORAK_PNG_ONLY
        const size_t i = static_cast<size_t>(frame.ordinal);
        if (!job.sheet.empty()) {
          const int left = static_cast<int>(i % kColumns) * kThumbWidth;
          const int top = static_cast<int>(i / kColumns) * (kThumbHeight + kLabel) + kLabel;
          paintThumbnail(sheet, left, top, kThumbWidth, kThumbHeight, frame.pixels.data(),
                         screenWidth, screenHeight);
          paintLabel(sheet, font, cli::formatted("%g s", t), left + 6, top - 8, 18,
                     {0.9f, 0.9f, 0.9f});
        }
#endif
        const std::string path = job.pngDir + cli::formatted("/frame-%07.3f.png", t);
        if (!writeFramePng(path, frame.pixels, error)) return false;
        std::printf("%s  t = %.3f s\n", path.c_str(), t);
        std::fflush(stdout);  // a script waiting for a frame sees it as it comes
        return true;
      });
  if (loop.ending == LoopResult::kStopped) {
    return reportInterrupted(labelOf(job), loop, job.frames.size(), "; no sheet");
  }
  if (loop.ending == LoopResult::kFailed) return cli::fail(error);
#ifndef LUMORAK_PNG_ONLY
  if (!job.sheet.empty() && !sheet.writePng(job.sheet, error)) return cli::fail(error);
#endif
  return 0;
}
#ifndef LUMORAK_PNG_ONLY
// ---- The video, and several processes ---------------------------------------------------

constexpr int kVideoFd = 3;  // in ffmpeg
constexpr int kAudioFd = 4;
constexpr size_t kStderrTailLines = 20;  // of ffmpeg's messages, shown on failure

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  // The ':' added makes getline yield a last empty entry as well: "" is the current folder.
  std::stringstream dirs(std::string(path ? path : "/usr/bin:/bin") + ":");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (access(((dir.empty() ? "." : dir) + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

std::string fileSize(const std::string& path) {
  std::error_code failure;
  const uintmax_t bytes = fs::file_size(path, failure);
  return failure ? "?" : cli::formatted("%.1f MB", bytes / 1e6);
}

// Frame n goes into ffmpeg's pipe on a thread of its own while frame n + 1 renders: the
// run holds two frames (3 MB each) however long it is.
class PipeWriter {
 public:
  explicit PipeWriter(int fd) : fd_(fd) {}
  ~PipeWriter() { close(); }

  // Hands `frame` over and gives back the buffer written before it; false once one failed.
  bool push(std::vector<uint8_t>& frame) {
    if (!wait()) return false;
    std::swap(frame, writing_);
    writer_ = std::thread([this] { ok_ = writeAll(fd_, writing_.data(), writing_.size()); });
    return true;
  }
  // Waits for the last write, then closes the pipe. True when every frame went through.
  bool close() {
    const bool ok = wait();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return ok;
  }

 private:
  bool wait() {
    if (writer_.joinable()) writer_.join();
    return ok_;
  }

  int fd_;
  std::vector<uint8_t> writing_;
  std::thread writer_;
  bool ok_ = true;
};

// The ffmpeg child with its two input pipes and the tail of its messages.
struct Encoder {
  std::deque<std::string> tail;  // filled by the reading thread; first, to outlive it
  ChildProcess process;

  bool start(const std::vector<std::string>& args, std::string& error) {
    ChildProcess::Options options;
    options.args = args;
    options.inputs = 2;  // kVideoFd and kAudioFd
    // Should the capture die, ffmpeg goes too instead of finishing a file nobody removes.
    options.deathSignal = SIGKILL;
    options.cannotStart = "cannot start ffmpeg: %s\n";
    options.onLine = [this](const std::string& line) {
      tail.push_back(line);
      if (tail.size() > kStderrTailLines) tail.pop_front();
    };
    if (!process.start(options, error)) return false;
    // Room for a few frames in the pipe; best effort.
    fcntl(videoFd(), F_SETPIPE_SZ, 1 << 20);
    return true;
  }
  int videoFd() const { return process.input(kVideoFd - 3); }
  int audioFd() const { return process.input(kAudioFd - 3); }

  // Waits for ffmpeg; its exit status, or -1 when it died of a signal.
  int finish() {
    process.reap(true);
    return process.signalled() ? -1 : process.status();
  }

  void printTail() const {
    if (tail.empty()) return;
    std::fprintf(stderr, "ffmpeg said:\n");
    for (const std::string& line : tail) std::fprintf(stderr, "  %s\n", line.c_str());
  }
};

int captureVideo(OfflineShow& show, const CaptureJob& job) {
  const std::string& out = job.out;
  const std::string temp = cli::temporaryNameFor(out);

  const int64_t first = job.renderFirst();
  const int64_t end = job.renderEnd();
  // A piece's video is the picture alone: the sound goes in whole where pieces are joined.
  const bool sound = !job.isPiece();
  const std::vector<int16_t> samples =
      sound ? spanSamples(show, job, first, end) : std::vector<int16_t>();
  Encoder encoder;
  std::string error;
  cli::addTemporary(temp);
  if (!encoder.start(
          ffmpegArgs(job, screenWidth, screenHeight, kVideoFd, sound ? kAudioFd : -1, temp),
          error)) {
    return cli::fail(error);
  }
  std::thread audioWriter([&encoder, &samples] {
    writeAll(encoder.audioFd(), samples.data(), samples.size() * sizeof(int16_t));
    close(encoder.audioFd());
  });

  PipeWriter pipe(encoder.videoFd());
  const LoopResult loop = forEachFrame(
      show, FramePlan::span(FrameRate{job.fps}, first, end), PixelLayout::kBgra, labelOf(job),
      [&pipe](const LoopFrame& frame) { return pipe.push(frame.pixels); });
  // Stopped: the half-made video is worthless, and finishing it could take long.
  if (cli::stopRequested()) encoder.process.send(SIGKILL);
  const bool ok = pipe.close() && loop.ending == LoopResult::kDone;
  audioWriter.join();
  const int status = encoder.finish();
  if (cli::stopRequested()) {
    cli::removeTemporaries();
    return reportInterrupted(labelOf(job), loop, end - first, "; no " + out + " written");
  }
  if (!ok || status != 0) {
    encoder.printTail();
    return cli::fail("ffmpeg failed (exit status " + std::to_string(status) + ") after " +
                     std::to_string(loop.done) + " frames; no " + out + " written");
  }
  if (!cli::commitTemporary(temp, out, error)) return cli::fail(error);
  reportDone(job, loop, "in", out + " (" + fileSize(out) + ")");
  return 0;
}

std::string exact(double value) { return cli::formatted("%.17g", value); }

// What DIR holds after an interrupted parallel run: each piece's frames from its start.
std::string pngsHeld(const CaptureJob& job) {
  const int64_t total = job.endFrame() - job.firstFrame();
  std::vector<Piece> runs;
  for (int64_t n = 0; n < total; ++n) {
    if (!fs::exists(pngPath(job, n))) continue;
    if (runs.empty() || runs.back().end != n) runs.push_back({n, n});
    runs.back().end = n + 1;
  }
  return framesHeld(runs, total);
}

// This program's own file, and the data folder it runs on, for the pieces' command lines.
bool selfAndData(std::string& self, std::string& data, std::string& error) {
  std::error_code failure;
  self = fs::read_symlink("/proc/self/exe", failure).string();
  if (failure) {
    return cli::failWith(error, "cannot find this program's own file to start the pieces");
  }
  data = fs::current_path(failure).string() + "/data";
  return !failure || cli::failWith(error, "cannot read the working folder");
}

// Starts one child per piece: this program again, with --piece. False with a reason.
bool startPieces(PieceProcesses& children, const CaptureJob& job, const std::vector<Piece>& pieces,
                 const std::vector<std::string>& segments, const std::string& self,
                 const std::string& data, std::string& error) {
  for (size_t i = 0; i < pieces.size(); ++i) {
    const std::string piece = std::to_string(pieces[i].first) + "," +
                              std::to_string(pieces[i].end) + "," + std::to_string(i + 1) + "," +
                              std::to_string(pieces.size());
    std::vector<std::string> args = {
        self,     "--from", exact(job.from), "--to", exact(job.to), "--fps", exact(job.fps),
        "--data", data,     "--jobs",        "1",    "--piece",     piece};
    if (job.mode == CaptureMode::kVideo) {
      args.insert(args.end(),
                  {"--out", segments[i], "--preset", job.preset, "--crf", std::to_string(job.crf)});
    } else if (job.mode == CaptureMode::kPngDir) {
      args.insert(args.end(), {"--png-dir", job.pngDir});
    } else {
      args.push_back("--render-only");
    }
    if (!children.start(args, error)) return false;
  }
  return true;
}

// "piece 2 of 2 (65.600-146.000 s) failed (exit status 1); <what the run leaves>".
std::string pieceFailure(const CaptureJob& job, const std::vector<Piece>& pieces,
                         const PieceProcesses::Result& result) {
  const Piece& p = pieces[result.failed];
  const std::string what =
      cli::formatted("piece %zu of %zu (%.3f-%.3f s) failed (exit status %d); ", result.failed + 1,
                     pieces.size(), p.first / job.fps, p.end / job.fps, result.status);
  switch (job.mode) {
    case CaptureMode::kPngDir: return what + job.pngDir + " holds no audio.wav";
    case CaptureMode::kVideo: return what + "no " + job.out + " written";
    default: return what + "the others were stopped";
  }
}

enum class Ending { kDone, kStopped, kFailed };

// The pieces' videos joined with the span's sound, into `temp` and renamed into place.
Ending joinPieces(OfflineShow& show, const CaptureJob& job, const std::vector<Piece>& pieces,
                  const std::vector<std::string>& segments, const std::string& list,
                  const std::string& temp, std::string& error) {
  std::vector<double> durations;
  for (const Piece& p : pieces) durations.push_back((p.end - p.first) / job.fps);
  std::ofstream listFile(list);
  listFile << concatList(segments, durations);
  listFile.close();
  if (listFile.fail()) {
    error = "cannot write " + list;
    return Ending::kFailed;
  }
  const std::vector<int16_t> samples = spanSamples(show, job, job.firstFrame(), job.endFrame());
  Encoder joiner;
  cli::addTemporary(temp);
  if (!joiner.start(joinArgs(list, kAudioFd, temp), error)) return Ending::kFailed;
  close(joiner.videoFd());
  writeAll(joiner.audioFd(), samples.data(), samples.size() * sizeof(int16_t));
  close(joiner.audioFd());
  if (cli::stopRequested()) joiner.process.send(SIGKILL);
  const int status = joiner.finish();
  if (cli::stopRequested()) return Ending::kStopped;
  if (status != 0) {
    joiner.printTail();
    error = "ffmpeg failed to join the pieces (exit status " + std::to_string(status) + "); no " +
            job.out + " written";
    return Ending::kFailed;
  }
  return cli::commitTemporary(temp, job.out, error) ? Ending::kDone : Ending::kFailed;
}

// The folder for the pieces' videos and their names in it, all temporaries: a stop signal
// removes each piece, the list and then the folder, in this order.
bool makeSegmentFolder(const std::string& folder, size_t count, std::vector<std::string>& segments,
                       std::string& error) {
  if (mkdir(folder.c_str(), 0700) != 0) {
    return cli::failWith(error, "cannot make " + folder + ": " + std::strerror(errno));
  }
  for (size_t i = 0; i < count; ++i) {
    segments.push_back(folder + cli::formatted("/piece%02zu.mp4", i + 1));
    cli::addTemporary(segments.back());
  }
  cli::addTemporary(folder + "/pieces.txt");
  cli::addTemporary(folder);
  return true;
}

// The pieces' processes, announced on stderr, then their videos joined with the span's
// sound, or the WAV beside their PNGs.
Ending runPieces(OfflineShow& show, const CaptureJob& job, const std::vector<Piece>& pieces,
                 const std::vector<std::string>& segments, const std::string& folder,
                 const std::string& temp, std::string& error) {
  std::string self, data;
  PieceProcesses children;
  if (!selfAndData(self, data, error)) return Ending::kFailed;
  std::fprintf(stderr, "lumorak-capture: %lld frames in %zu pieces:",
               static_cast<long long>(job.endFrame() - job.firstFrame()), pieces.size());
  for (const Piece& p : pieces) {
    std::fprintf(stderr, " %.3f-%.3f s", p.first / job.fps, p.end / job.fps);
  }
  std::fprintf(stderr, "\n");
  if (!startPieces(children, job, pieces, segments, self, data, error)) {
    children.stopAll();
    return Ending::kFailed;
  }
  const PieceProcesses::Result result = children.wait();
  if (result.outcome == PieceProcesses::Outcome::kStopped) return Ending::kStopped;
  if (result.outcome == PieceProcesses::Outcome::kFailed) {
    error = pieceFailure(job, pieces, result);
    return Ending::kFailed;
  }
  if (job.mode == CaptureMode::kPngDir && !writeWav(show, job, error)) return Ending::kFailed;
  if (job.mode != CaptureMode::kVideo) return Ending::kDone;
  return joinPieces(show, job, pieces, segments, folder + "/pieces.txt", temp, error);
}

// The span in pieces (see runPieces), with the temporaries they need and the run's
// report.
int captureInPieces(OfflineShow& show, const CaptureJob& job, const std::vector<Piece>& pieces) {
  const auto started = std::chrono::steady_clock::now();
  const int64_t total = job.endFrame() - job.firstFrame();
  const bool video = job.mode == CaptureMode::kVideo;
  const bool pngs = job.mode == CaptureMode::kPngDir;
  const std::string temp = cli::temporaryNameFor(job.out);
  const std::string folder = temp + "-pieces";
  std::vector<std::string> segments;
  std::string error;
  if ((video && !makeSegmentFolder(folder, pieces.size(), segments, error)) ||
      (pngs && !removeOldWav(job, error))) {
    return cli::fail(error);
  }
  const Ending ending = runPieces(show, job, pieces, segments, folder, temp, error);
  std::error_code ignored;
  if (video) fs::remove_all(folder, ignored);
  cli::removeTemporaries();
  if (ending == Ending::kFailed) return cli::fail(error);
  if (ending == Ending::kStopped) {
    const std::string what =
        pngs    ? ": " + job.pngDir + " holds " + pngsHeld(job) + " and no audio.wav"
        : video ? "; no " + job.out + " written"
                : "";
    std::fprintf(stderr, "lumorak-capture: interrupted%s\n", what.c_str());
    return cli::stopStatus();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const std::string wrote = video  ? job.out + " (" + fileSize(job.out) + ")"
                            : pngs ? job.pngDir + "/frame*.png + audio.wav"
                                   : "nothing written";
  std::fprintf(
      stderr, "lumorak-capture: %lld frames in %.1f s by %zu processes, %.1f frames/s, %s\n",
      static_cast<long long>(total), seconds, pieces.size(), total / seconds, wrote.c_str());
  return 0;
}

// --jobs: the pieces to share the span out into, or none to render it here. auto gives a
// video one process, as its encoder keeps a second core busy (docs/performance.md), and
// a span too short to share one: each piece pays for a start-up.
std::vector<Piece> sharedOut(const CaptureJob& job) {
  if (job.mode == CaptureMode::kFrames || job.isPiece() || job.jobs == 1) return {};
  const bool shareable = job.endFrame() - job.firstFrame() >= kMinSharedSeconds * job.fps;
  const int jobs =
      job.jobs > 0 ? job.jobs
      : job.mode == CaptureMode::kVideo || !shareable
          ? 1
          : static_cast<int>(std::clamp<long>(sysconf(_SC_NPROCESSORS_ONLN), 1, kMaxJobs));
  if (jobs == 1) return {};
  return cutIntoPieces(job.fps, job.firstFrame(), job.endFrame(), jobs);
}
#endif
}  // namespace

int main(int argc, char** argv) {
  CaptureJob job;
  std::string error;
  if (!parseCaptureArgs(argc, argv, job, error)) return cli::usageError(error);
  if (job.help) {
    std::fputs(captureHelp(), stdout);
    return 0;
  }
  if (job.version) {
    std::printf("%s\n", cli::versionLine("lumorak-capture").c_str());
    return 0;
  }
  if (job.isPiece()) cli::setProgram(labelOf(job));
#ifdef LUMORAK_PNG_ONLY
  if (job.mode == CaptureMode::kVideo) {
    return cli::usageError("this build writes no video: give --png-dir, --frames or --render-only");
  }
  if (job.jobs > 1) return cli::usageError("this build renders in one process: no --jobs");
  if (!job.sheet.empty()) return cli::usageError("this build draws no --sheet");
#else
  if (job.mode == CaptureMode::kVideo && !onPath("ffmpeg")) {
    return cli::fail("the ffmpeg program is not installed (Debian: apt-get install ffmpeg)");
  }
#endif
  // Paths as the user meant them: the run itself changes into the folder holding data/.
  for (std::string* path : {&job.out, &job.pngDir, &job.sheet, &job.data}) {
    *path = cli::absolutePath(*path);
  }
  // Everything that can fail before rendering is checked first, with one message each.
  if (job.mode == CaptureMode::kVideo) {
    if (!cli::checkOutputFile(job.out, error)) return cli::fail(error);
  } else if (job.mode != CaptureMode::kRenderOnly) {
    if (!cli::prepareOutputDir(job.pngDir, true, error)) return cli::fail(error);
  }
  if (!job.sheet.empty() && !cli::checkOutputFile(job.sheet, error)) return cli::fail(error);

  cli::startOffline(job.data);
  OfflineShow show;
  if (!show.start(error)) return cli::fail(error);
  if (job.mode == CaptureMode::kFrames) return captureFrames(show, job);
#ifndef LUMORAK_PNG_ONLY
  signal(SIGPIPE, SIG_IGN);  // a dead ffmpeg shows as a failed write, not a killed capture
  const std::vector<Piece> pieces = sharedOut(job);
  if (pieces.size() > 1) return captureInPieces(show, job, pieces);
  if (job.mode == CaptureMode::kVideo) return captureVideo(show, job);
#endif
  return job.mode == CaptureMode::kPngDir ? capturePngs(show, job) : renderOnly(show, job);
}
