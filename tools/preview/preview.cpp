// lumorak-preview: loop a stretch of the show, step it frame by frame, see the bands each
// scene reads, and see a saved material or texture at once (see Preview.h and kHelp).
#include <cstdlib>
#include <string>

#include "cli/Cli.h"
#include "offline/ShowTime.h"
#include "preview/Preview.h"

namespace {
const char* const kHelp =
    "usage: lumorak-preview [options]\n"
    "\n"
    "Plays the show in a 1024 x 768 window (resizable) from --from, with the music, and\n"
    "reloads a material (data/materials/*.mat) or a texture (data/*.png, *.jpg) as soon as\n"
    "it is saved. A file that fails to load keeps what loaded last; its message, file and\n"
    "line show over the picture, on stderr and in the window title until a save fixes it.\n"
    "\n"
    "  --from SECONDS   where to start (default 0)\n"
    "  --loop A:B       play [A, B) over and over; the music wraps at B's sample\n"
    "  --speed RATE     0.25 to 2 (default 1); at any other speed than 1 the music is muted\n"
    "  --paused         start paused on the frame at --from\n"
    "  --out-dir DIR    where E writes its videos (default: the current folder)\n"
    "  --screenshot FILE.png\n"
    "                   save the window (overlay included) after the first frame, and end\n"
    "  --data DIR       the show's data folder (default: ./data, or the source tree's)\n"
    "  --help           this text\n"
    "  --version        the version and the commit it was built from\n"
    "\n"
    "Keys:\n"
    "  P                pause and play\n"
    "  , and .          one frame (1/60 s) back and forward, paused; each frame is the one\n"
    "                   lumorak-capture gives for its time, history included\n"
    "  Left/Right       -/+ 1 s     Down/Up -/+ 5 s     Page Up/Page Down -/+ 30 s\n"
    "  [ and ]          set the loop's in and out points at the current time\n"
    "  H                the overlay: time, frame, scene, frame time, the scene's bands\n"
    "  E                export the loop as an MP4 (lumorak-loop-A-B.mp4) with lumorak-capture\n"
    "  Esc              quit\n"
    "\n"
    "Needs a display. Exit status: 0 done, 1 failed, 2 bad options, 130 interrupted\n"
    "(Ctrl-C), 143 terminated (SIGTERM).\n";

// "A:B" in seconds within the show, A < B. False with a reason.
bool parseLoop(const std::string& text, double& from, double& to, std::string& error) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos || !cli::parseNumber(text.substr(0, colon), from) ||
      !cli::parseNumber(text.substr(colon + 1), to)) {
    return cli::failWith(error, "--loop takes A:B in seconds, not '" + text + "'");
  }
  return checkSpan(from, to, error) || cli::failWith(error, "--loop: " + error);
}
}  // namespace

int main(int argc, char** argv) {
  PreviewOptions options;
  std::string data;
  std::string outDir = ".";
  cli::Parser args("lumorak-preview", kHelp);
  args.number("--from", &options.from, 0.0, kShowEnd);
  args.option("--loop", [&options](const std::string& value, std::string& error) {
    return parseLoop(value, options.loopFrom, options.loopTo, error);
  });
  args.number("--speed", &options.speed, 0.25, 2.0);
  args.flag("--paused", &options.paused);
  args.text("--out-dir", &outDir);
  args.text("--screenshot", &options.screenshot);
  args.text("--data", &data);
  args.parseOrExit(argc, argv);
  std::string error;
  if (options.from >= kShowEnd) {
    return cli::usageError("--from must lie before the show's end");
  }
  if (options.loopTo > options.loopFrom &&
      (options.from < options.loopFrom || options.from >= options.loopTo)) {
    options.from = options.loopFrom;  // a loop starts at its in point unless told otherwise
  }
  options.exportDir = cli::absolutePath(outDir);
  if (!options.screenshot.empty()) {
    if (!cli::checkExtension("--screenshot", options.screenshot, ".png", error)) {
      return cli::usageError(error);
    }
    options.screenshot = cli::absolutePath(options.screenshot);
    if (!cli::checkOutputFile(options.screenshot, error)) return cli::fail(error);
  }
  if (!cli::prepareOutputDir(options.exportDir, false, error)) return cli::fail(error);
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    return cli::fail("needs a display to show its window (DISPLAY is not set)");
  }
  // lumorak-capture beside this program, as the build and the install both place it.
  const std::string folder = cli::executableFolder();
  options.captureTool = folder.empty() ? "lumorak-capture" : folder + "/lumorak-capture";

  cli::startOffline(cli::absolutePath(data));
  options.dataDir = cli::absolutePath("data");
  Preview preview(options);
  if (!preview.start(error)) return cli::fail(error);
  return preview.run();
}
