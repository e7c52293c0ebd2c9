#include "CaptureJob.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <sstream>

namespace {
bool number(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(value);
}

// The first frame at or after `seconds`; a part in 1e9 of a frame is forgiven so that
// n / fps * fps lands back on n.
int64_t frameAtOrAfter(double seconds, double fps) {
  return std::max<int64_t>(static_cast<int64_t>(std::ceil(seconds * fps - 1e-9)), 0);
}
}  // namespace

int64_t CaptureJob::firstFrame() const { return frameAtOrAfter(from, fps); }
int64_t CaptureJob::endFrame() const { return frameAtOrAfter(to, fps); }

int64_t CaptureJob::sampleAt(int64_t frame) const {
  return std::llround(static_cast<double>(frame) * kCaptureSampleRate / fps);
}

const char* captureHelp() {
  return "usage: lumorak-capture [options]\n"
         "\n"
         "Renders the show frame by frame at exact music times, as a playthrough from the\n"
         "start draws them, and writes a video, a PNG sequence or single frames. Run it from\n"
         "the repository root (it reads data/). Works on a desktop, under Xvfb, and with no\n"
         "display at all (SDL's offscreen driver).\n"
         "\n"
         "  --from SECONDS   first frame's music time (default 0)\n"
         "  --to SECONDS     end of the span, not included (default 146, the end of the show)\n"
         "  --fps RATE       frames per second, fractional rates such as 59.94 too (default 60)\n"
         "  --out FILE       the video: H.264 yuv420p 1024x768 with the music of the span,\n"
         "                   MP4 (default lumorakdemo.mp4); needs the ffmpeg program\n"
         "  --preset NAME    x264 preset passed to the encoder (default superfast)\n"
         "  --crf N          x264 quality, 0-51, lower is better (default 18)\n"
         "  --png-dir DIR    instead of a video: DIR/frame000000.png ... (the span's frames,\n"
         "                   numbered from 0) and DIR/audio.wav (the span's music)\n"
         "  --frames LIST    only these times, comma-separated seconds (e.g. 1,30,70), as\n"
         "                   DIR/frame-SECONDS.png in --png-dir (default: the current dir)\n"
         "  --sheet FILE     with --frames: also a contact sheet of the listed frames\n"
         "  --render-only    render and read back the span, write nothing (for timing)\n"
         "  --help           this text\n"
         "\n"
         "Progress goes to stderr. Exit status: 0 done, 1 failed (ffmpeg missing or failing,\n"
         "output unwritable), 2 bad options, 130 interrupted. A failed or interrupted video\n"
         "leaves no file under the final name.\n";
}

bool parseCaptureArgs(int argc, const char* const* argv, CaptureJob& job, std::string& error) {
  bool haveOut = false;
  bool haveSpan = false;
  bool renderOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      job.help = true;
      return true;
    }
    if (arg == "--render-only") {
      renderOnly = true;
      continue;
    }
    static const char* const kOptions[] = {"--from",   "--to",  "--fps",    "--out",  "--png-dir",
                                           "--preset", "--crf", "--frames", "--sheet"};
    if (std::find(std::begin(kOptions), std::end(kOptions), arg) == std::end(kOptions)) {
      error = "unknown option '" + arg + "'";
      return false;
    }
    if (i + 1 >= argc) {
      error = arg + " needs a value";
      return false;
    }
    const std::string value = argv[++i];
    double v = 0.0;
    if (arg == "--from" || arg == "--to" || arg == "--fps") {
      if (!number(value, v)) {
        error = arg + " takes a number, not '" + value + "'";
        return false;
      }
      (arg == "--from" ? job.from : arg == "--to" ? job.to : job.fps) = v;
      haveSpan = haveSpan || arg != "--fps";
    } else if (arg == "--out") {
      job.out = value;
      haveOut = true;
    } else if (arg == "--png-dir") {
      job.pngDir = value;
    } else if (arg == "--preset") {
      job.preset = value;
    } else if (arg == "--crf") {
      if (!number(value, v) || v < 0 || v > 51 || v != std::floor(v)) {
        error = "--crf takes a whole number from 0 to 51";
        return false;
      }
      job.crf = static_cast<int>(v);
    } else if (arg == "--sheet") {
      job.sheet = value;
    } else if (arg == "--frames") {
      std::stringstream list(value);
      std::string item;
      while (std::getline(list, item, ',')) {
        if (!number(item, v) || v < 0.0 || v >= kShowEnd) {
          error = "--frames takes times from 0 up to 146 s, not '" + item + "'";
          return false;
        }
        job.frames.push_back(v);
      }
      if (job.frames.empty()) {
        error = "--frames needs at least one time";
        return false;
      }
    }
  }
  if (!(job.fps > 0.0 && job.fps <= 1000.0)) {
    error = "--fps must lie above 0 and at most 1000";
    return false;
  }
  if (!job.frames.empty()) {
    if (haveOut || haveSpan) {
      error = "--frames renders single frames: it takes no --out, --from or --to";
      return false;
    }
    job.mode = CaptureMode::kFrames;
    std::sort(job.frames.begin(), job.frames.end());
    if (job.pngDir.empty()) job.pngDir = ".";
    return true;
  }
  if (!job.sheet.empty()) {
    error = "--sheet goes with --frames";
    return false;
  }
  if (job.from < 0.0 || job.to > kShowEnd || job.from >= job.to) {
    error = "the span must satisfy 0 <= --from < --to <= 146";
    return false;
  }
  if (renderOnly) {
    if (haveOut || !job.pngDir.empty()) {
      error = "--render-only writes nothing: it takes no --out or --png-dir";
      return false;
    }
    job.mode = CaptureMode::kRenderOnly;
  }
  if (!job.pngDir.empty()) {
    if (haveOut) {
      error = "--png-dir writes PNGs instead of a video: it takes no --out";
      return false;
    }
    job.mode = CaptureMode::kPngDir;
  }
  if (job.firstFrame() >= job.endFrame()) {
    error = "the span holds no frame at this rate";
    return false;
  }
  return true;
}

std::vector<uint8_t> wavHeader(int64_t frames, int sampleRate) {
  const uint32_t dataBytes = static_cast<uint32_t>(frames * 4);
  std::vector<uint8_t> h;
  auto text = [&h](const char* s) { h.insert(h.end(), s, s + 4); };
  auto u32 = [&h](uint32_t v) {
    for (int i = 0; i < 4; ++i) h.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto u16 = [&h](uint16_t v) {
    h.push_back(static_cast<uint8_t>(v));
    h.push_back(static_cast<uint8_t>(v >> 8));
  };
  text("RIFF");
  u32(36 + dataBytes);
  text("WAVE");
  text("fmt ");
  u32(16);
  u16(1);  // PCM
  u16(2);  // channels
  u32(static_cast<uint32_t>(sampleRate));
  u32(static_cast<uint32_t>(sampleRate) * 4);  // bytes per second
  u16(4);                                      // bytes per sample frame
  u16(16);                                     // bits per sample
  text("data");
  u32(dataBytes);
  return h;
}

std::vector<std::string> ffmpegArgs(const CaptureJob& job, int width, int height, int videoFd,
                                    int audioFd, const std::string& path) {
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.9g", job.fps);
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  return {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
          // Picture: as glReadPixels gives it; ffmpeg turns it upright.
          "-f", "rawvideo", "-pix_fmt", "bgra", "-video_size", size, "-framerate", rate, "-i",
          "pipe:" + std::to_string(videoFd),
          // Sound: the span's samples, cut where the frames are cut.
          "-f", "s16le", "-ar", std::to_string(kCaptureSampleRate), "-ac", "2", "-i",
          "pipe:" + std::to_string(audioFd), "-vf", "vflip", "-c:v", "libx264", "-preset",
          job.preset, "-crf", std::to_string(job.crf), "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a",
          "192k", "-movflags", "+faststart", "-f", "mp4", path};
}
