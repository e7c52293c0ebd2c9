// Frame-clock benchmark: 10 s of 60 Hz frames against real playback (SDL's dummy driver
// where there is no sound device). Prints the standard deviation of the per-frame delta
// the show would see, the same for the raw device block position for comparison, and the
// audio thread's share of one core. Figures, not pass/fail: the machine is shared.
//
// Usage: clock_bench [MUSIC.mp3] [SECONDS]   (see kHelp)
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <SDL2/SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Clocks.h"
#include "audio/Backends.h"
#include "cli/Cli.h"

namespace {
const char* const kHelp =
    "usage: clock_bench [MUSIC.mp3] [SECONDS]\n"
    "\n"
    "Plays MUSIC (default: the show's data/deruz.mp3) through the sound device (SDL's dummy\n"
    "driver when SDL_AUDIODRIVER is unset) for SECONDS (default 10, at most 146) of 60 Hz\n"
    "frames, and prints the spread of the per-frame delta the show would see, the same for\n"
    "the raw device blocks, and the audio thread's share of a core.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the version and the commit it was built from\n"
    "\n"
    "Exit status: 0 done, 1 failed (no music, no device), 2 bad arguments, 130 interrupted\n"
    "(Ctrl-C), 143 terminated (SIGTERM).\n";

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec * 1e-6;
}

struct Stats {
  double mean = 0.0;
  double deviation = 0.0;
};

Stats stats(const std::vector<double>& values) {
  Stats s;
  if (values.empty()) return s;
  for (double v : values) s.mean += v;
  s.mean /= values.size();
  for (double v : values) s.deviation += (v - s.mean) * (v - s.mean);
  s.deviation = std::sqrt(s.deviation / values.size());
  return s;
}
}  // namespace

int main(int argc, char** argv) {
  std::string music;
  double seconds = 10.0;
  int words = 0;
  cli::Parser args("clock_bench", kHelp);
  args.positional([&](const std::string& value, std::string& error) {
    if (words == 0) {
      music = value;
    } else if (words == 1) {
      if (!cli::parseNumber(value, seconds) || seconds <= 0.0 || seconds > 146.0) {
        error = "SECONDS is a number above 0 and at most 146, not '" + value + "'";
        return false;
      }
    } else {
      error = "unexpected argument '" + value + "'";
      return false;
    }
    ++words;
    return true;
  });
  args.parseOrExit(argc, argv);
  std::string error;
  if (music.empty()) {
    if (!cli::enterDataRoot("", error)) return cli::fail(error);
    music = "data/deruz.mp3";
  }
  if (access(music.c_str(), R_OK) != 0) return cli::fail("cannot read " + music);
  cli::catchStopSignals();
  cli::installFatalReporter();
  cli::prepareSdl();
  if (!std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);

  SdlAudioBackend backend;
  backend.open(music.c_str());
  if (!backend.hasDevice()) return cli::fail("no audio device, nothing to measure");
  backend.play();
  SDL_Delay(200);  // let the device settle into its rhythm

  const double frame = 1.0 / 60.0;
  const int frames = static_cast<int>(seconds / frame);
  std::vector<double> deltas, rawDeltas;
  deltas.reserve(frames);
  const double cpuStart = processCpuSeconds();
  const double mainStart = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  int32_t previous = backend.timeMs();
  int64_t previousRaw = backend.mixedFrames();
  for (int i = 0; i < frames; ++i) {
    if (cli::stopRequested()) {
      backend.close();
      std::fprintf(stderr, "clock_bench: interrupted after %d of %d frames\n", i, frames);
      return cli::stopStatus();
    }
    next.tv_nsec += static_cast<long>(frame * 1e9);
    while (next.tv_nsec >= 1000000000L) {
      next.tv_nsec -= 1000000000L;
      ++next.tv_sec;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    const int32_t now = backend.timeMs();
    const int64_t raw = backend.mixedFrames();
    deltas.push_back((now - previous) * 1e-3);
    rawDeltas.push_back((raw - previousRaw) / static_cast<double>(kMixRate));
    previous = now;
    previousRaw = raw;
  }
  const double cpu = processCpuSeconds() - cpuStart;
  const double mainCpu = clockSeconds(CLOCK_THREAD_CPUTIME_ID) - mainStart;
  backend.close();

  const Stats smooth = stats(deltas);
  const Stats rawStats = stats(rawDeltas);
  std::printf("frames                      %d at 60 Hz over %.1f s\n", frames, seconds);
  std::printf("frame delta, smoothed       mean %.3f ms  std dev %.3f ms\n", smooth.mean * 1e3,
              smooth.deviation * 1e3);
  std::printf("frame delta, raw blocks     mean %.3f ms  std dev %.3f ms\n", rawStats.mean * 1e3,
              rawStats.deviation * 1e3);
  std::printf("audio thread share of a core %.2f %%\n", 100.0 * (cpu - mainCpu) / seconds);
  return 0;
}
