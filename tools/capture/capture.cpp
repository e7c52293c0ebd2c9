// lumorak-capture: the show as a frame-exact video, a PNG sequence or single frames (see
// CaptureJob.h and --help). Every frame is rendered at exactly n / fps seconds through the
// deterministic sound layer, after the history it builds on, so a span starting anywhere
// shows what a playthrough from the start shows.
//
// The video: raw BGRA frames, bottom row first, go through a pipe into the ffmpeg program
// (file descriptor 3 of the child), the span's samples through a second one (4); ffmpeg
// flips, encodes H.264 and AAC and writes MP4 under a temporary name in the output's
// directory, renamed into place only when everything succeeded. Rendering and encoding
// run side by side: a writer thread feeds the pipe while the next frame renders.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CaptureJob.h"
#include "Thumbnails.h"
#include "app/Demo.h"
#include "audio/Backends.h"
#include "common/Cli.h"
#include "common/FrameLoop.h"
#include "common/FramePng.h"
#include "offline/OfflineShow.h"

namespace {
constexpr int kVideoFd = 3;  // in ffmpeg
constexpr int kAudioFd = 4;
constexpr size_t kQueuedFrames = 3;      // frames rendered ahead of the encoder
constexpr size_t kStderrTailLines = 20;  // of ffmpeg's messages, shown on failure

int fail(const std::string& message) {
  cli::removeTemporaries();
  return cli::fail(message);
}

bool writeAll(int fd, const void* data, size_t bytes) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (bytes > 0) {
    const ssize_t done = write(fd, p, bytes);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    p += done;
    bytes -= static_cast<size_t>(done);
  }
  return true;
}

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    if (access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::string fileSize(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return "?";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", info.st_size / 1e6);
  return text;
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

// Frames handed from the render loop to the thread that writes them into ffmpeg.
class FrameQueue {
 public:
  explicit FrameQueue(int fd) : fd_(fd), writer_([this] { run(); }) {}
  ~FrameQueue() { close(); }

  // Blocks while kQueuedFrames are waiting. False once a write has failed.
  bool push(std::vector<uint8_t> frame) {
    std::unique_lock<std::mutex> lock(mutex_);
    space_.wait(lock, [this] { return queue_.size() < kQueuedFrames || failed_; });
    if (failed_) return false;
    queue_.push_back(std::move(frame));
    ready_.notify_one();
    return true;
  }
  // Writes what is queued, then closes the pipe. True when every frame went through.
  bool close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) return !failed_;
      closed_ = true;
      ready_.notify_one();
    }
    writer_.join();
    ::close(fd_);
    return !failed_;
  }
  // Returns a used buffer for the next frame, to keep the loop free of allocations.
  std::vector<uint8_t> spare(size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (spares_.empty()) return std::vector<uint8_t>(bytes);
    std::vector<uint8_t> buffer = std::move(spares_.back());
    spares_.pop_back();
    return buffer;
  }

 private:
  void run() {
    for (;;) {
      std::vector<uint8_t> frame;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return !queue_.empty() || closed_; });
        if (queue_.empty()) return;
        frame = std::move(queue_.front());
        queue_.pop_front();
      }
      const bool ok = writeAll(fd_, frame.data(), frame.size());
      std::lock_guard<std::mutex> lock(mutex_);
      spares_.push_back(std::move(frame));
      if (!ok) {
        failed_ = true;
        queue_.clear();
      }
      space_.notify_one();
      if (failed_) return;
    }
  }

  int fd_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable space_;
  std::deque<std::vector<uint8_t>> queue_;
  std::vector<std::vector<uint8_t>> spares_;
  bool closed_ = false;
  bool failed_ = false;
  std::thread writer_;
};

// The ffmpeg child with its two input pipes and the tail of its messages.
struct Encoder {
  pid_t pid = -1;
  int videoFd = -1;
  int audioFd = -1;
  int stderrFd = -1;
  std::thread stderrReader;
  std::mutex tailMutex;
  std::deque<std::string> tail;

  bool start(const std::vector<std::string>& args, std::string& error) {
    int video[2], audio[2], messages[2];
    if (pipe(video) != 0 || pipe(audio) != 0 || pipe(messages) != 0) {
      error = std::string("pipe: ") + std::strerror(errno);
      return false;
    }
    // Room for a few frames in the pipe; best effort.
    fcntl(video[1], F_SETPIPE_SZ, 1 << 20);
    pid = fork();
    if (pid < 0) {
      error = std::string("fork: ") + std::strerror(errno);
      return false;
    }
    if (pid == 0) {
      // Its own process group: Ctrl-C reaches the capture, which then stops ffmpeg itself.
      setpgid(0, 0);
      const int devNull = open("/dev/null", O_RDONLY);
      dup2(devNull, 0);
      dup2(messages[1], 2);
      // Move the read ends clear of 3 and 4 before placing them there.
      const int v = fcntl(video[0], F_DUPFD, 10);
      const int a = fcntl(audio[0], F_DUPFD, 10);
      dup2(v, kVideoFd);
      dup2(a, kAudioFd);
      for (int fd = 5; fd < 1024; ++fd) close(fd);
      std::vector<char*> argv;
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      std::fprintf(stderr, "cannot start ffmpeg: %s\n", std::strerror(errno));
      _exit(127);
    }
    close(video[0]);
    close(audio[0]);
    close(messages[1]);
    videoFd = video[1];
    audioFd = audio[1];
    stderrFd = messages[0];
    fcntl(videoFd, F_SETFD, FD_CLOEXEC);
    fcntl(audioFd, F_SETFD, FD_CLOEXEC);
    stderrReader = std::thread([this] {
      std::string line;
      char buffer[4096];
      ssize_t got;
      while ((got = read(stderrFd, buffer, sizeof buffer)) > 0) {
        for (ssize_t i = 0; i < got; ++i) {
          if (buffer[i] != '\n') {
            line += buffer[i];
            continue;
          }
          std::lock_guard<std::mutex> lock(tailMutex);
          tail.push_back(line);
          if (tail.size() > kStderrTailLines) tail.pop_front();
          line.clear();
        }
      }
      if (!line.empty()) {
        std::lock_guard<std::mutex> lock(tailMutex);
        tail.push_back(line);
      }
    });
    return true;
  }

  // Waits for ffmpeg; its exit status, or -1 when it died of a signal.
  int finish() {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (stderrReader.joinable()) stderrReader.join();
    close(stderrFd);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  void printTail() {
    std::lock_guard<std::mutex> lock(tailMutex);
    if (tail.empty()) return;
    std::fprintf(stderr, "ffmpeg said:\n");
    for (const std::string& line : tail) std::fprintf(stderr, "  %s\n", line.c_str());
  }
};

int captureVideo(OfflineShow& show, const CaptureJob& job) {
  const std::string& out = job.out;
  const std::string temp = cli::temporaryNameFor(out);

  const int64_t first = job.firstFrame();
  const int64_t end = job.endFrame();
  const std::vector<int16_t> samples = spanSamples(show, job, first, end);
  Encoder encoder;
  std::string error;
  cli::addTemporary(temp);
  if (!encoder.start(ffmpegArgs(job, screenWidth, screenHeight, kVideoFd, kAudioFd, temp), error)) {
    return fail(error);
  }
  std::thread audioWriter([&encoder, &samples] {
    writeAll(encoder.audioFd, samples.data(), samples.size() * sizeof(int16_t));
    close(encoder.audioFd);
  });

  {
    FrameQueue queue(encoder.videoFd);
    const LoopResult loop = forEachFrame(
        show, FramePlan::span(FrameRate{job.fps}, first, end), PixelLayout::kBgra,
        "lumorak-capture",
        [&queue](const LoopFrame& frame) { return queue.push(std::move(frame.pixels)); });
    const int64_t done = loop.done;
    const double seconds = loop.seconds;
    // Stopped: the half-made video is worthless, and finishing it (moving the index to
    // the front) could take longer than a user waits. Its pipes then fail at once.
    if (cli::stopRequested()) kill(encoder.pid, SIGKILL);
    const bool ok = queue.close() && loop.ending == LoopResult::kDone;
    audioWriter.join();
    const int status = encoder.finish();
    if (cli::stopRequested()) {
      cli::removeTemporaries();
      std::fprintf(stderr,
                   "lumorak-capture: interrupted after %lld of %lld frames; no %s written\n",
                   static_cast<long long>(done), static_cast<long long>(end - first), out.c_str());
      return cli::stopStatus();
    }
    if (!ok || status != 0) {
      encoder.printTail();
      return fail("ffmpeg failed (exit status " + std::to_string(status) + ") after " +
                  std::to_string(done) + " frames; no " + out + " written");
    }
    if (!cli::commitTemporary(temp, out, error)) return fail(error);
    std::fprintf(stderr, "lumorak-capture: %lld frames in %.1f s, %.1f frames/s, %s (%s)\n",
                 static_cast<long long>(done), seconds, seconds > 0 ? done / seconds : 0.0,
                 out.c_str(), fileSize(out).c_str());
  }
  return 0;
}

// What an interrupted or failed --png-dir run leaves: "000000-000123 of 600", or "none".
std::string framesHeld(int64_t done, int64_t total) {
  char text[64];
  if (done == 0) {
    std::snprintf(text, sizeof text, "no frames of %lld", static_cast<long long>(total));
  } else {
    std::snprintf(text, sizeof text, "frames 000000-%06lld of %lld",
                  static_cast<long long>(done - 1), static_cast<long long>(total));
  }
  return text;
}

// The span's frames, then its music as audio.wav: written last (under a temporary name,
// renamed when whole), so that a folder with an audio.wav holds every frame.
int capturePngs(OfflineShow& show, const CaptureJob& job) {
  const int64_t first = job.firstFrame();
  const int64_t end = job.endFrame();
  const std::string wav = job.pngDir + "/audio.wav";
  // This run replaces it: one from an earlier run would claim a whole span.
  if (unlink(wav.c_str()) != 0 && errno != ENOENT) {
    return fail("cannot replace " + wav + ": " + std::strerror(errno));
  }

  std::string error;
  const LoopResult loop = forEachFrame(
      show, FramePlan::span(FrameRate{job.fps}, first, end), PixelLayout::kRgb, "lumorak-capture",
      [&](const LoopFrame& frame) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame%06lld.png", static_cast<long long>(frame.ordinal));
        return writeFramePng(job.pngDir + name, frame.pixels, error);
      });
  const int64_t done = loop.done;
  const double seconds = loop.seconds;
  if (loop.ending != LoopResult::kDone) {
    const bool stopped = loop.ending == LoopResult::kStopped;
    std::fprintf(stderr, "lumorak-capture: %s: %s holds %s and no audio.wav\n",
                 stopped ? "interrupted" : "failed", job.pngDir.c_str(),
                 framesHeld(done, end - first).c_str());
    return stopped ? cli::stopStatus() : fail(error);
  }

  const std::string temp = cli::temporaryNameFor(wav);
  cli::addTemporary(temp);
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (!file) return fail("cannot write " + wav + ": " + std::strerror(errno));
  const std::vector<int16_t> samples = spanSamples(show, job, first, end);
  const std::vector<uint8_t> header =
      wavHeader(static_cast<int64_t>(samples.size() / 2), kCaptureSampleRate);
  const bool wavOk =
      std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
      std::fwrite(samples.data(), sizeof(int16_t), samples.size(), file) == samples.size();
  if (std::fclose(file) != 0 || !wavOk) return fail("cannot write " + wav);
  if (!cli::commitTemporary(temp, wav, error)) return fail(error);
  std::fprintf(stderr,
               "lumorak-capture: %lld frames in %.1f s, %.1f frames/s, %s/frame*.png + audio.wav\n",
               static_cast<long long>(done), seconds, seconds > 0 ? done / seconds : 0.0,
               job.pngDir.c_str());
  return 0;
}

// The same frames as a video, read back as for the encoder, but kept nowhere.
int renderOnly(OfflineShow& show, const CaptureJob& job) {
  const int64_t first = job.firstFrame();
  const int64_t end = job.endFrame();
  const LoopResult loop =
      forEachFrame(show, FramePlan::span(FrameRate{job.fps}, first, end), PixelLayout::kBgra,
                   "lumorak-capture", [](const LoopFrame&) { return true; });
  const int64_t done = loop.done;
  const double seconds = loop.seconds;
  if (loop.ending == LoopResult::kStopped) {
    std::fprintf(stderr, "lumorak-capture: interrupted after %lld of %lld frames\n",
                 static_cast<long long>(done), static_cast<long long>(end - first));
    return cli::stopStatus();
  }
  std::fprintf(stderr,
               "lumorak-capture: %lld frames rendered in %.1f s, %.1f frames/s, nothing written\n",
               static_cast<long long>(done), seconds, seconds > 0 ? done / seconds : 0.0);
  return 0;
}

int captureFrames(OfflineShow& show, const CaptureJob& job) {
  constexpr int kColumns = 3;
  constexpr int kThumbWidth = 512;
  constexpr int kThumbHeight = 384;
  constexpr int kLabel = 28;
  const int rows = static_cast<int>((job.frames.size() + kColumns - 1) / kColumns);
  Canvas sheet(kColumns * kThumbWidth, rows * (kThumbHeight + kLabel));
  sheet.fill({0.06f, 0.06f, 0.07f});
  Font font;
  std::string error;
  if (!job.sheet.empty() && !font.open(kLabelFontPath, error)) return fail(error);

  const LoopResult loop = forEachFrame(
      show, FramePlan::at(FrameRate{job.fps}, job.frames), PixelLayout::kRgb, "lumorak-capture",
      [&](const LoopFrame& frame) {
        const size_t i = static_cast<size_t>(frame.ordinal);
        const double t = frame.seconds;
        std::vector<uint8_t>& rgb = frame.pixels;
        if (!job.sheet.empty()) {
          const int left = static_cast<int>(i % kColumns) * kThumbWidth;
          const int top = static_cast<int>(i / kColumns) * (kThumbHeight + kLabel) + kLabel;
          paintThumbnail(sheet, left, top, kThumbWidth, kThumbHeight, rgb.data(), screenWidth,
                         screenHeight);
          char caption[32];
          std::snprintf(caption, sizeof caption, "%g s", t);
          paintLabel(sheet, font, caption, left + 6, top - 8, 18, {0.9f, 0.9f, 0.9f});
        }
        char name[48];
        std::snprintf(name, sizeof name, "/frame-%07.3f.png", t);
        if (!writeFramePng(job.pngDir + name, rgb, error)) return false;
        std::printf("%s%s  t = %.3f s\n", job.pngDir.c_str(), name, t);
        return true;
      });
  if (loop.ending == LoopResult::kStopped) {
    std::fprintf(stderr, "lumorak-capture: interrupted after %lld of %zu frames; no sheet\n",
                 static_cast<long long>(loop.done), job.frames.size());
    return cli::stopStatus();
  }
  if (loop.ending == LoopResult::kFailed) return fail(error);
  if (!job.sheet.empty() && !sheet.writePng(job.sheet, error)) return fail(error);
  return 0;
}
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
  // Paths as the user meant them: the run itself changes into the folder holding data/.
  job.out = cli::absolutePath(job.out);
  job.pngDir = cli::absolutePath(job.pngDir);
  job.sheet = cli::absolutePath(job.sheet);
  job.data = cli::absolutePath(job.data);
  // Everything that can fail before rendering is checked first, with one message each.
  if (job.mode == CaptureMode::kVideo) {
    if (!onPath("ffmpeg")) {
      return fail("the ffmpeg program is not installed (Debian: apt-get install ffmpeg)");
    }
    if (!cli::checkOutputFile(job.out, error)) return fail(error);
  } else if (job.mode != CaptureMode::kRenderOnly) {
    if (!cli::prepareOutputDir(job.pngDir, true, error)) return fail(error);
  }
  if (!job.sheet.empty() && !cli::checkOutputFile(job.sheet, error)) return fail(error);

  cli::startOffline(job.data);
  signal(SIGPIPE, SIG_IGN);  // a dead ffmpeg shows as a failed write, not a killed capture

  OfflineShow show;
  if (!show.start(error)) return fail(error);
  switch (job.mode) {
    case CaptureMode::kVideo: return captureVideo(show, job);
    case CaptureMode::kPngDir: return capturePngs(show, job);
    case CaptureMode::kFrames: return captureFrames(show, job);
    case CaptureMode::kRenderOnly: return renderOnly(show, job);
  }
  return 1;
}
