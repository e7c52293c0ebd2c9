#include "capture/CaptureJob.h"

#include "cli/Cli.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

int64_t CaptureJob::firstFrame() const { return FrameRate{fps}.firstAtOrAfter(from); }
int64_t CaptureJob::endFrame() const { return FrameRate{fps}.firstAtOrAfter(to); }

int64_t CaptureJob::sampleAt(int64_t frame) const {
  return std::llround(static_cast<double>(frame) * kCaptureSampleRate / fps);
}

const char* captureHelp() {
  return "usage: lumorak-capture [options]\n"
         "\n"
         "Renders the show frame by frame at exact music times, as a playthrough from the\n"
         "start draws them, and writes a video, a PNG sequence or single frames. It finds the\n"
         "show's data/ in the current folder, in the source tree it was built from, or in\n"
         "<prefix>/share/lumorakdemo (or give --data). Works on a desktop, under Xvfb, and\n"
         "with no display at all (SDL's offscreen driver).\n"
         "\n"
         "  --from SECONDS   first frame's music time (default 0)\n"
         "  --to SECONDS     end of the span, not included (default 146, the end of the show)\n"
         "  --fps RATE       frames per second, fractional rates such as 59.94 too (default 60)\n"
         "  --out FILE.mp4   the video: H.264 yuv420p 1024x768 with the music of the span,\n"
         "                   MP4 (default lumorakdemo.mp4); needs the ffmpeg program\n"
         "  --preset NAME    x264 preset passed to the encoder (default superfast)\n"
         "  --crf N          x264 quality, 0-51, lower is better (default 18)\n"
         "  --png-dir DIR    instead of a video: DIR/frame000000.png ... (the span's frames,\n"
         "                   numbered from 0) and DIR/audio.wav (the span's music, written\n"
         "                   last); DIR is made if missing\n"
         "  --frames LIST    only these times, comma-separated seconds (e.g. 1,30,70), as\n"
         "                   DIR/frame-SECONDS.png in --png-dir (default: the current dir)\n"
         "  --sheet FILE.png with --frames: also a contact sheet of the listed frames\n"
         "  --render-only    render and read back the span, write nothing (for timing)\n"
         "  --jobs N|auto    render the span in up to N processes side by side (1 to 32),\n"
         "                   in pieces of about equal frame counts joined without encoding\n"
         "                   again: the same frames, WAV and video as one process. auto (the\n"
         "                   default): one per CPU for PNGs and --render-only over spans of\n"
         "                   20 s or more, one for a video (its encoder keeps a core busy)\n"
         "  --data DIR       the show's data folder\n"
         "  --help           this text\n"
         "  --version        the version and the commit it was built from\n"
         "\n"
         "Options take their value as --opt VALUE or --opt=VALUE. Progress goes to stderr.\n"
         "Exit status: 0 done, 1 failed (ffmpeg missing or failing, output unwritable, data\n"
         "missing), 2 bad options, 130 interrupted (Ctrl-C), 143 terminated (SIGTERM). A\n"
         "failed or interrupted video leaves no file under the final name.\n";
}

namespace {
// What the options said beyond the job itself, for the checks across options.
struct Given {
  bool out = false;
  bool span = false;
  bool renderOnly = false;
  bool jobs = false;
};

// The hidden --piece FIRST,END,INDEX,COUNT of a parallel run's child.
bool parsePiece(const std::string& value, CaptureJob& job) {
  std::stringstream list(value);
  std::vector<long> numbers;
  for (std::string item; std::getline(list, item, ',');) {
    long n = 0;
    if (!cli::parseInteger(item, n)) return false;
    numbers.push_back(n);
  }
  if (numbers.size() != 4) return false;
  job.pieceFirst = numbers[0];
  job.pieceEnd = numbers[1];
  job.pieceIndex = static_cast<int>(numbers[2]);
  job.pieceCount = static_cast<int>(numbers[3]);
  return job.pieceFirst < job.pieceEnd && job.pieceIndex >= 1 && job.pieceCount >= 1 &&
         job.pieceIndex <= job.pieceCount && job.pieceCount <= kMaxJobs;
}

// Every option and how its value is read and checked on its own.
void declareOptions(cli::Parser& parser, CaptureJob& job, Given& given) {
  // --from and --to: seconds of music time, checked as a span once all are read.
  auto seconds = [&given](const std::string& name, double* target) {
    return [&given, name, target](const std::string& value, std::string& e) {
      if (!cli::parseNumber(value, *target)) {
        return cli::failWith(e, name + " takes a number of seconds, not '" + value + "'");
      }
      given.span = true;
      return true;
    };
  };
  parser.option("--from", seconds("--from", &job.from));
  parser.option("--to", seconds("--to", &job.to));
  // Any number here: settleMode() checks its range.
  parser.number("--fps", &job.fps, -HUGE_VAL, HUGE_VAL);
  parser.option("--out", [&job, &given](const std::string& value, std::string&) {
    job.out = value;
    given.out = true;
    return true;
  });
  parser.text("--png-dir", &job.pngDir);
  parser.text("--preset", &job.preset);
  parser.text("--sheet", &job.sheet);
  parser.text("--data", &job.data);
  parser.option("--crf", [&job](const std::string& value, std::string& e) {
    long crf = 0;
    if (!cli::parseInteger(value, crf) || crf < 0 || crf > 51) {
      return cli::failWith(e, "--crf takes a whole number from 0 to 51");
    }
    job.crf = static_cast<int>(crf);
    return true;
  });
  parser.option("--frames", [&job](const std::string& value, std::string& e) {
    std::stringstream list(value);
    for (std::string item; std::getline(list, item, ',');) {
      double v = 0.0;
      if (!cli::parseNumber(item, v)) {
        return cli::failWith(e, "--frames takes comma-separated seconds, not '" + item + "'");
      }
      if (!checkFrameTime("--frames", v, e)) return false;
      job.frames.push_back(v);
    }
    if (job.frames.empty()) return cli::failWith(e, "--frames needs at least one time");
    return true;
  });
  parser.flag("--render-only", &given.renderOnly);
  parser.option("--jobs", [&job, &given](const std::string& value, std::string& e) {
    given.jobs = true;
    long jobs = 0;  // auto
    if (value != "auto" && (!cli::parseInteger(value, jobs) || jobs < 1 || jobs > kMaxJobs)) {
      return cli::failWith(
          e, "--jobs takes a whole number from 1 to " + std::to_string(kMaxJobs) + ", or auto");
    }
    job.jobs = static_cast<int>(jobs);
    return true;
  });
  parser.option("--piece", [&job](const std::string& value, std::string& e) {
    if (!parsePiece(value, job)) return cli::failWith(e, "--piece takes FIRST,END,INDEX,COUNT");
    return true;
  });
}

// The checks across options, and the mode they choose.
bool settleMode(CaptureJob& job, const Given& given, std::string& error) {
  if (!(job.fps > 0.0 && job.fps <= 1000.0)) {
    return cli::failWith(error, "--fps must lie above 0 and at most 1000");
  }
  if (!job.sheet.empty() && !cli::checkExtension("--sheet", job.sheet, ".png", error)) {
    return false;
  }
  if (!job.frames.empty()) {
    if (given.out || given.span) {
      return cli::failWith(error,
                           "--frames renders single frames: it takes no --out, --from or --to");
    }
    if (given.jobs || job.isPiece()) {
      return cli::failWith(error,
                           "--frames renders its few frames in one process: it takes no --jobs");
    }
    job.mode = CaptureMode::kFrames;
    std::sort(job.frames.begin(), job.frames.end());
    if (job.pngDir.empty()) job.pngDir = ".";
    return true;
  }
  if (!job.sheet.empty()) return cli::failWith(error, "--sheet goes with --frames");
  if (!checkSpan(job.from, job.to, error)) return false;
  if (given.renderOnly) {
    if (given.out || !job.pngDir.empty()) {
      return cli::failWith(error, "--render-only writes nothing: it takes no --out or --png-dir");
    }
    job.mode = CaptureMode::kRenderOnly;
  }
  if (!job.pngDir.empty()) {
    if (given.out) {
      return cli::failWith(error, "--png-dir writes PNGs instead of a video: it takes no --out");
    }
    job.mode = CaptureMode::kPngDir;
  }
  if (job.mode == CaptureMode::kVideo && !cli::checkExtension("--out", job.out, ".mp4", error)) {
    return false;
  }
  if (job.firstFrame() >= job.endFrame()) {
    return cli::failWith(error, "the span holds no frame at this rate");
  }
  if (job.isPiece() && (job.pieceFirst < job.firstFrame() || job.pieceEnd > job.endFrame())) {
    return cli::failWith(error, "--piece lies outside the span");
  }
  return true;
}
}  // namespace

bool parseCaptureArgs(int argc, const char* const* argv, CaptureJob& job, std::string& error) {
  Given given;
  cli::Parser parser("lumorak-capture", captureHelp());
  declareOptions(parser, job, given);
  switch (parser.parse(argc, argv, error)) {
    case cli::Parser::Outcome::kHelp: job.help = true; return true;
    case cli::Parser::Outcome::kVersion: job.version = true; return true;
    case cli::Parser::Outcome::kBadUsage: return false;
    case cli::Parser::Outcome::kRun: break;
  }
  return settleMode(job, given, error);
}

std::vector<uint8_t> wavHeader(int64_t frames, int sampleRate) {
  const uint32_t dataBytes = static_cast<uint32_t>(frames * 4);
  const uint32_t rate = static_cast<uint32_t>(sampleRate);
  std::vector<uint8_t> h;
  // Little-endian fields of `bytes` bytes, and the chunks' four-letter tags.
  auto put = [&h](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) h.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto tag = [&h](const char* s) {
    for (int i = 0; i < 4; ++i) h.push_back(static_cast<uint8_t>(s[i]));
  };
  tag("RIFF");
  put(36 + dataBytes, 4);
  tag("WAVE");
  tag("fmt ");
  put(16, 4);
  put(1, 2);         // PCM
  put(2, 2);         // channels
  put(rate, 4);      // sample frames per second
  put(rate * 4, 4);  // bytes per second
  put(4, 2);         // bytes per sample frame
  put(16, 2);        // bits per sample
  tag("data");
  put(dataBytes, 4);
  return h;
}

std::vector<std::string> ffmpegArgs(const CaptureJob& job, int width, int height, int videoFd,
                                    int audioFd, const std::string& path) {
  const std::string rate = cli::formatted("%.9g", job.fps);
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                   // Picture: as glReadPixels gives it; ffmpeg turns it upright.
                                   "-f", "rawvideo", "-pix_fmt", "bgra", "-video_size", size,
                                   "-framerate", rate, "-i", "pipe:" + std::to_string(videoFd)};
  if (audioFd >= 0) {
    // Sound: the span's samples, cut where the frames are cut.
    args.insert(args.end(), {"-f", "s16le", "-ar", std::to_string(kCaptureSampleRate), "-ac", "2",
                             "-i", "pipe:" + std::to_string(audioFd)});
  }
  args.insert(args.end(), {"-vf", "vflip", "-c:v", "libx264", "-preset", job.preset, "-crf",
                           std::to_string(job.crf), "-pix_fmt", "yuv420p"});
  if (audioFd >= 0) args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k"});
  args.insert(args.end(), {"-movflags", "+faststart", "-f", "mp4", path});
  return args;
}

std::vector<std::string> joinArgs(const std::string& list, int audioFd, const std::string& path) {
  return {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
          // The pieces, each starting with a key frame, their packets copied.
          "-f", "concat", "-safe", "0", "-i", list,
          // The whole span's sound in one, so no join falls inside an AAC frame.
          "-f", "s16le", "-ar", std::to_string(kCaptureSampleRate), "-ac", "2", "-i",
          "pipe:" + std::to_string(audioFd), "-map", "0:v", "-map", "1:a", "-c:v", "copy", "-c:a",
          "aac", "-b:a", "192k", "-movflags", "+faststart", "-f", "mp4", path};
}

std::string concatList(const std::vector<std::string>& files, const std::vector<double>& seconds) {
  std::string list = "ffconcat version 1.0\n";
  for (size_t i = 0; i < files.size(); ++i) {
    // Inside single quotes a quote is written '\''.
    std::string quoted;
    for (char c : files[i]) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    list += "file '" + quoted + "'\n" + cli::formatted("duration %.9f\n", seconds[i]);
  }
  return list;
}
