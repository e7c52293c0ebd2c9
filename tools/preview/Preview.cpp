#include "preview/Preview.h"

#include <GL/glew.h>
#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <utility>

#include "app/Controls.h"
#include "app/Demo.h"
#include "app/Globals.h"
#include "app/Window.h"
#include "cli/Cli.h"
#include "offline/FrameLoop.h"
#include "offline/FramePng.h"
#include "offline/ShowTime.h"
#include "scenes/Schedule.h"
#include "text/Text.h"

namespace {
using Clock = std::chrono::steady_clock;

constexpr const char* kTitle = "Lumorak preview";
const FrameRate kRate{kPreviewFps};
struct OverlayColour {
  float r, g, b, a;
};
constexpr OverlayColour kWhite{1.0f, 1.0f, 1.0f, 1.0f};
constexpr OverlayColour kShade{0.0f, 0.0f, 0.0f, 0.6f};
constexpr OverlayColour kErrorText{1.0f, 0.35f, 0.3f, 1.0f};
constexpr OverlayColour kErrorShade{0.25f, 0.0f, 0.0f, 0.8f};
constexpr OverlayColour kBarColour{0.3f, 0.85f, 1.0f, 0.9f};

// The last frame of the show at the preview's rate.
int64_t lastFrame() { return kRate.firstAtOrAfter(kShowEnd) - 1; }

// The preview draws in its own context and hands the show's back after each use: the
// show's GL calls (rendering, reloads) assume theirs is current.
void makeCurrent(void* window, void* context) {
  SDL_GL_MakeCurrent(static_cast<SDL_Window*>(window), static_cast<SDL_GLContext>(context));
}
void showContextBack() { makeCurrent(glWindow->window, glWindow->glContext); }

// The bound 2D texture over x..x + width, y..y + height, texture corner (0, 0) at (x, y).
void drawTexture(int x, int y, int width, int height) {
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2i(x, y);
  glTexCoord2f(1.0f, 0.0f);
  glVertex2i(x + width, y);
  glTexCoord2f(1.0f, 1.0f);
  glVertex2i(x + width, y + height);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2i(x, y + height);
  glEnd();
}
}  // namespace

// Lines of text and level bars over the picture, drawn with the fixed-function pipeline in
// the preview window's own context (never the show's, so it cannot reach a captured
// frame); text is set in DejaVu Sans Mono and cached per line as an alpha texture.
// Per frame: begin(width, height), any of text()/bar()/box(), end(); window pixels, y down.
class Overlay {
 public:
  static constexpr int kLineHeight = 18;  // pixels

  ~Overlay() { forget(); }
  // False with a reason when the font cannot be read.
  bool open(std::string& error) {
    return font_.open("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", error);
  }

  void begin(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, height, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  }
  void box(int x, int y, int width, int height, OverlayColour c) {
    glDisable(GL_TEXTURE_2D);
    glColor4f(c.r, c.g, c.b, c.a);
    glRecti(x, y, x + width, y + height);
  }
  // One line whose top is at y.
  void text(int x, int y, const std::string& text, OverlayColour c) {
    if (text.empty()) return;
    const Line& set = line(text);
    if (!set.texture) return;
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, set.texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(c.r, c.g, c.b, c.a);
    drawTexture(x, y + set.top, set.width, set.height);
    glDisable(GL_TEXTURE_2D);
  }
  // A bar of `value` (0..1) of `width` pixels, over a faint full-width one.
  void bar(int x, int y, int width, int height, float value, OverlayColour c) {
    box(x, y, width, height, OverlayColour{1.0f, 1.0f, 1.0f, 0.15f});
    box(x, y, static_cast<int>(std::clamp(value, 0.0f, 1.0f) * static_cast<float>(width)), height,
        c);
  }
  // One line under another from y down; returns the y below the last.
  int lines(int x, int y, const std::vector<std::string>& lines, OverlayColour c) {
    for (const std::string& line : lines) {
      text(x, y, line, c);
      y += kLineHeight;
    }
    return y;
  }
  void end() { glDisable(GL_BLEND); }

 private:
  static constexpr int kTextSize = 14;  // em, pixels
  static constexpr int kAscent = 13;    // from a line's top to its baseline, pixels
  // Past this many lines (a clock that changes every frame makes new ones) the cache
  // starts again.
  static constexpr size_t kMaxCachedLines = 256;

  struct Line {
    uint32_t texture = 0;
    int width = 0;
    int height = 0;
    int top = 0;  // rows from the line's top to the mask's top
  };

  const Line& line(const std::string& text) {
    auto found = lines_.find(text);
    if (found != lines_.end()) return found->second;
    if (lines_.size() >= kMaxCachedLines) forget();
    Line made;
    Mask mask;
    int baseline = 0;
    std::string error;
    TextStyle style;
    style.pixelSize = kTextSize;
    if (font_.render(text, style, mask, baseline, error)) {
      glGenTextures(1, &made.texture);
      glBindTexture(GL_TEXTURE_2D, made.texture);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
      glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, mask.width, mask.height, 0, GL_ALPHA,
                   GL_UNSIGNED_BYTE, mask.coverage.data());
      made.width = mask.width;
      made.height = mask.height;
      made.top = kAscent - baseline;
    }
    return lines_.emplace(text, made).first->second;
  }
  void forget() {
    for (auto& entry : lines_) glDeleteTextures(1, &entry.second.texture);
    lines_.clear();
  }

  Font font_;
  std::map<std::string, Line> lines_;
};

Preview::Preview(PreviewOptions options) : options_(std::move(options)) {}

Preview::~Preview() {
  stopExport();
  if (texture_ && context_) {
    makeCurrent(window_, context_);
    glDeleteTextures(1, &texture_);
  }
  overlay_.reset();
  if (context_) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context_));
  if (window_) SDL_DestroyWindow(static_cast<SDL_Window*>(window_));
  // The show's context stays current for whatever runs at exit.
  if (glWindow) showContextBack();
}

bool Preview::start(std::string& error) {
  if (!show_.start(error)) return false;
  reloader_ = std::make_unique<Reloader>();
  std::string watchError;
  if (!reloader_->watch(watchError)) {
    std::fprintf(stderr, "%s: %s\n", cli::program().c_str(), watchError.c_str());
  }

  // The preview's own window and context; the show's attributes (double buffer, 32-bit
  // colour) are still set from its window.
  const uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE |
                         (options_.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN);
  window_ = SDL_CreateWindow(kTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, screenWidth,
                             screenHeight, flags);
  if (!window_) return cli::failWith(error, std::string("no preview window: ") + SDL_GetError());
  context_ = SDL_GL_CreateContext(static_cast<SDL_Window*>(window_));
  if (!context_) {
    return cli::failWith(
        error, std::string("no OpenGL context for the preview window: ") + SDL_GetError());
  }
  SDL_GL_SetSwapInterval(1);
  glGenTextures(1, &texture_);
  glBindTexture(GL_TEXTURE_2D, texture_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, screenWidth, screenHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               nullptr);
  overlay_ = std::make_unique<Overlay>();
  if (!overlay_->open(error)) return false;
  showContextBack();

  if (options_.sound && options_.speed == 1.0) {
    sound_ = std::make_unique<SdlAudioBackend>();
    sound_->open(kMusicFile);
  }
  time_ = unwrapped_ = options_.from;
  if (sound_) sound_->setLoop(loop());
  if (options_.paused) {
    pauseAt(kRate.firstAtOrAfter(options_.from));
  } else if (sound_) {
    sound_->setTimeMs(static_cast<int32_t>(std::lround(options_.from * 1000.0)));
    sound_->play();
  }
  return true;
}

MusicLoop Preview::loop() const {
  // An unset loop (to <= from) comes out empty, which plays straight on.
  return MusicLoop{std::llround(options_.loopFrom * kMixRate),
                   std::llround(options_.loopTo * kMixRate)};
}

void Preview::say(const std::string& text) {
  status_ = text;
  std::fprintf(stderr, "%s: %s\n", cli::program().c_str(), text.c_str());
}

void Preview::pauseAt(int64_t frame) {
  pausedFrame_ = std::clamp<int64_t>(frame, 0, lastFrame());
  time_ = unwrapped_ = kRate.timeOf(pausedFrame_);
  if (!paused_ && sound_) sound_->setPaused(true);
  paused_ = true;
  showDirty_ = true;
}

void Preview::togglePause() {
  if (!paused_) {
    pauseAt(currentFrame());
    return;
  }
  paused_ = false;
  if (sound_) {
    sound_->setTimeMs(static_cast<int32_t>(std::lround(time_ * 1000.0)));
    sound_->setPaused(false);
  }
}

void Preview::seekBy(double seconds) {
  if (paused_) {
    pauseAt(pausedFrame_ + std::llround(seconds * kPreviewFps));
    return;
  }
  const double target = std::clamp(time_ + seconds, 0.0, kRate.timeOf(lastFrame()));
  time_ = unwrapped_ = target;
  if (sound_) sound_->setTimeMs(static_cast<int32_t>(std::lround(target * 1000.0)));
}

void Preview::setLoopPoint(bool out) {
  const double t = paused_ ? kRate.timeOf(pausedFrame_) : time_;
  double from = out ? options_.loopFrom : t;
  double to = out ? t : options_.loopTo;
  // The other point is not set yet, or lies on the wrong side: the loop runs from the
  // show's start, or to its end.
  if (to <= from && out) from = 0.0;
  if (to <= from && !out) to = kShowEnd;
  options_.loopFrom = from;
  options_.loopTo = to;
  unwrapped_ = time_;
  if (sound_) sound_->setLoop(loop());
  say(cli::formatted("loop %.3f to %.3f s", from, to));
}

void Preview::press(int key) {
  switch (key) {
    case SDLK_COMMA:
    case SDLK_PERIOD: pauseAt(currentFrame() + (key == SDLK_PERIOD ? 1 : -1)); return;
    case SDLK_LEFTBRACKET: setLoopPoint(false); return;
    case SDLK_RIGHTBRACKET: setLoopPoint(true); return;
    case SDLK_h: options_.overlay = !options_.overlay; return;
    case SDLK_e: startExport(); return;
    default: break;
  }
  const int code = virtualKeyFromSdl(key);
  if (isPauseKey(code)) {
    togglePause();
  } else if (const double step = seekStepOfKey(code); step != 0.0) {
    seekBy(step);
  }
}

void Preview::advance(double seconds) {
  if (paused_) return;
  if (sound_) {
    time_ = sound_->timeSeconds();
  } else {
    unwrapped_ += seconds * options_.speed;
    const MusicLoop span = loop();
    time_ = span.active() ? span.wrap(unwrapped_ * kMixRate) / kMixRate : unwrapped_;
  }
  // Without a loop the preview stops on the show's last frame instead of ending.
  if (time_ >= kShowEnd) pauseAt(lastFrame());
}

void Preview::renderShow() {
  const Clock::time_point start = Clock::now();
  if (paused_) {
    // A step continues the run of frames before it; a long run-up shows its progress and
    // stops on Ctrl-C.
    RunUp runUp(cli::program());
    show_.renderUpTo(kRate, pausedFrame_, std::ref(runUp));
  } else {
    show_.renderFrame(time_);  // off the grid: a later pause renders its history anew
  }
  showPixels_.resize(OfflineShow::frameBytes(PixelLayout::kRgba));
  show_.readFrame(PixelLayout::kRgba, showPixels_.data());
  showMs_ = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  renderedTime_ = time_;
  showDirty_ = false;
  uploaded_ = false;
}

bool Preview::frame() {
  if (reloader_->poll() > 0) {
    // Every frame rendered so far drew the old data: histories start again.
    show_.forgetRun();
    showDirty_ = true;
  }
  if (showDirty_ || time_ != renderedTime_) renderShow();
  if (cli::stopRequested()) return false;
  pollExport();
  present(true);
  const std::string error = errorText();
  const std::string title = error.empty() ? kTitle : kTitle + (" - " + error);
  if (title != title_) {
    SDL_SetWindowTitle(static_cast<SDL_Window*>(window_), title.c_str());
    title_ = title;
  }
  return true;
}

std::string Preview::errorText() const {
  const std::vector<LoadFailure>& failures = reloader_->failures();
  return failures.empty() ? "" : failures.front().summary();
}

void Preview::present(bool swap) {
  makeCurrent(window_, context_);
  int width = 0;
  int height = 0;
  SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(window_), &width, &height);
  glViewport(0, 0, width, height);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);

  // The picture, as large as the window takes at 4:3, centred; black bars elsewhere.
  const double scale = std::min(static_cast<double>(width) / screenWidth,
                                static_cast<double>(height) / screenHeight);
  const int w = static_cast<int>(screenWidth * scale);
  const int h = static_cast<int>(screenHeight * scale);
  const int x = (width - w) / 2;
  const int y = (height - h) / 2;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture_);
  if (!uploaded_) {  // paused, the same 3 MB picture is drawn again and again
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, screenWidth, screenHeight, GL_RGBA, GL_UNSIGNED_BYTE,
                    showPixels_.data());
    uploaded_ = true;
  }
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  drawTexture(x, y, w, h);  // the rows are bottom first, as GL's texture rows are
  glDisable(GL_TEXTURE_2D);

  if (options_.overlay) drawOverlay(width, height);
  if (swap) SDL_GL_SwapWindow(static_cast<SDL_Window*>(window_));
  showContextBack();
}

std::vector<uint8_t> Preview::windowPixels(int& width, int& height) {
  present(false);
  makeCurrent(window_, context_);
  SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(window_), &width, &height);
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  showContextBack();
  return pixels;
}

int64_t Preview::currentFrame() const {
  return paused_ ? pausedFrame_ : std::llround(time_ * kPreviewFps);
}

std::vector<std::string> Preview::overlayLines(const SceneSchedule& entry) {
  std::vector<std::string> lines = {
      cli::formatted("%8.3f s   frame %lld @ 60 fps   %s", time_,
                     static_cast<long long>(currentFrame()), paused_ ? "paused" : "playing"),
      cli::formatted("%s   %.3f - %.3f s", entry.name, entry.start, entry.end),
      // Paused, the last render includes the history the frame needed.
      cli::formatted(paused_ ? "last render %.1f ms, history included" : "frame time %.1f ms",
                     showMs_)};
  if (options_.speed != 1.0) {
    lines.push_back(cli::formatted("speed %.2fx, music muted", options_.speed));
  } else if (!sound_) {
    lines.push_back("no sound");
  }
  if (options_.loopTo > options_.loopFrom) {
    lines.push_back(
        cli::formatted("loop %.3f - %.3f s   (E exports it)", options_.loopFrom, options_.loopTo));
  }
  if (exporting()) {
    std::lock_guard<std::mutex> lock(exportMutex_);
    lines.push_back(cli::formatted("exporting %lld/%lld frames",
                                   static_cast<long long>(exportDone_),
                                   static_cast<long long>(exportTotal_)));
  } else if (!status_.empty()) {
    lines.push_back(status_);
  }
  return lines;
}

void Preview::drawOverlay(int width, int height) {
  Overlay& o = *overlay_;
  o.begin(width, height);
  const SceneSchedule& entry = scheduleOf(sceneAt(static_cast<float>(time_)));
  const std::vector<std::string> lines = overlayLines(entry);
  // The bands the scene reads this frame, as the show's sound layer hears them now.
  constexpr int kBarWidth = 160, kBarHeight = 10;
  const int boxHeight = 8 + Overlay::kLineHeight * static_cast<int>(lines.size()) +
                        (kBarHeight + 4) * entry.bandCount + 8;
  o.box(8, 8, 470, boxHeight, kShade);
  int y = o.lines(14, 12, lines, kWhite);
  for (int i = 0; i < entry.bandCount; ++i) {
    const SceneBand& band = entry.bands[i];
    const float value = musicStream.peakInBand(band.lowHz, band.highHz);
    o.text(14, y - 4, cli::formatted("%d-%d Hz", band.lowHz, band.highHz), kWhite);
    o.bar(140, y, kBarWidth, kBarHeight, value, kBarColour);
    o.text(140 + kBarWidth + 8, y - 4, cli::formatted("%.2f", value), kWhite);
    y += kBarHeight + 4;
  }
  // Load failures at the foot of the window, in red, until a save fixes them: each file
  // (and line), then its message's lines while there are fewer than 12 lines in all.
  std::vector<std::string> failures;
  for (const LoadFailure& failure : reloader_->failures()) {
    failures.push_back(failure.file + (failure.line > 0 ? ":" + std::to_string(failure.line) : ""));
    std::istringstream message(failure.message);
    for (std::string part; failures.size() < 12 && std::getline(message, part);) {
      if (!part.empty()) failures.push_back("  " + part);
    }
  }
  if (!failures.empty()) {
    const int errorHeight = Overlay::kLineHeight * static_cast<int>(failures.size()) + 12;
    o.box(8, height - errorHeight - 8, width - 16, errorHeight, kErrorShade);
    o.lines(14, height - errorHeight - 2, failures, kErrorText);
  }
  o.end();
}

void Preview::startExport() {
  if (exporting()) {
    say("an export is running: " + exportFile_);
    return;
  }
  if (options_.loopTo <= options_.loopFrom) {
    say("no loop to export: set its points with [ and ]");
    return;
  }
  const std::string from = cli::formatted("%.3f", options_.loopFrom);
  const std::string to = cli::formatted("%.3f", options_.loopTo);
  exportFile_ = options_.exportDir + "/lumorak-loop-" + from + "-" + to + ".mp4";
  {
    std::lock_guard<std::mutex> lock(exportMutex_);
    exportLine_.clear();
    exportDone_ = 0;
    exportTotal_ = kRate.firstAtOrAfter(options_.loopTo) - kRate.firstAtOrAfter(options_.loopFrom);
  }
  // The capture tool itself, so the file is the one lumorak-capture makes of the loop; its
  // progress comes back on its stderr. Told to stop, it removes its half-written file.
  ChildProcess::Options child;
  child.args = {options_.captureTool, "--from", from, "--to", to, "--out", exportFile_, "--data",
                options_.dataDir};
  child.deathSignal = SIGTERM;
  child.cannotStart = "cannot run " + options_.captureTool + ": %s\n";
  child.onLine = [this](const std::string& line) { noteExportLine(line); };
  export_ = std::make_unique<ChildProcess>();
  std::string error;
  if (!export_->start(child, error)) {
    export_.reset();
    say("cannot export: " + error);
    return;
  }
  say("exporting " + exportFile_);
}

void Preview::noteExportLine(const std::string& line) {
  // Progress reads "... 120/300 frames ..."; the last complete report counts.
  long long done = 0;
  long long total = 0;
  bool progress = false;
  const size_t slash = line.find(" frames");
  if (slash != std::string::npos) {
    const size_t start = line.rfind(' ', line.rfind('/', slash));
    progress = std::sscanf(line.c_str() + (start == std::string::npos ? 0 : start + 1), "%lld/%lld",
                           &done, &total) == 2 &&
               line.find("run-up") == std::string::npos;
  }
  std::lock_guard<std::mutex> lock(exportMutex_);
  if (progress) {
    exportDone_ = done;
    exportTotal_ = total;
  }
  if (!line.empty()) exportLine_ = line;
}

void Preview::pollExport() {
  if (!export_ || !export_->reap(false)) return;
  const bool ok = export_->status() == 0;
  export_.reset();
  std::lock_guard<std::mutex> lock(exportMutex_);
  say(ok ? "exported " + exportFile_ : "export failed (" + exportLine_ + ")");
}

void Preview::stopExport() {
  if (!export_) return;
  export_->send(SIGTERM);
  export_->reap(true);
  export_.reset();
}

int Preview::run() {
  Clock::time_point last = Clock::now();
  const uint32_t ownWindow = SDL_GetWindowID(static_cast<SDL_Window*>(window_));
  while (!cli::stopRequested()) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      const bool ownKey = event.type == SDL_KEYDOWN && event.key.windowID == ownWindow;
      if (event.type == SDL_QUIT || (ownKey && event.key.keysym.sym == SDLK_ESCAPE) ||
          (event.type == SDL_WINDOWEVENT && event.window.windowID == ownWindow &&
           event.window.event == SDL_WINDOWEVENT_CLOSE)) {
        return 0;
      }
      if (ownKey) press(event.key.keysym.sym);
    }
    const Clock::time_point now = Clock::now();
    advance(std::chrono::duration<double>(now - last).count());
    last = now;
    if (!frame()) break;
    if (!options_.screenshot.empty()) {
      int width = 0;
      int height = 0;
      std::vector<uint8_t> pixels = windowPixels(width, height);
      std::string error;
      return writeBottomUpPng(options_.screenshot, pixels, width, height, 4, error)
                 ? 0
                 : cli::fail(error);
    }
    // Paused, the picture changes only on a key or a save: no need to redraw flat out.
    if (paused_) SDL_Delay(15);
  }
  return cli::stopRequested() ? cli::stopStatus() : 0;
}
