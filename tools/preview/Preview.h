// lumorak-preview: an author's window on one stretch of the show.
//
// The show renders on its hidden window through the offline seam (OfflineShow), as
// lumorak-capture renders it; each frame is read back and drawn, letterboxed, with the
// overlay into the preview's own window, so the overlay never reaches a captured frame.
//
// The clock follows the real sound layer at speed 1 (it wraps a loop at its exact
// sample); at other speeds it advances by wall time x speed with the music muted. Paused,
// it stands on a frame of 60 fps, rendered after its history as lumorak-capture gives it.
//
// A saved material (data/materials/*.mat) or texture (data/*.png, *.jpg) reloads before
// the next frame; one that fails keeps its last good version, and its message shows on
// stderr, in the overlay and in the window title until a save that loads.
//
// Calls: Preview(options), start(error), then run(); tests drive press(), advance() and
// frame() themselves.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/Backends.h"
#include "cli/ChildProcess.h"
#include "offline/OfflineShow.h"
#include "preview/Reloader.h"

class Overlay;

constexpr double kPreviewFps = 60.0;

struct PreviewOptions {
  double from = 0.0;
  double loopFrom = 0.0;  // --loop A:B, seconds; a loop when loopTo > loopFrom
  double loopTo = 0.0;
  double speed = 1.0;  // 0.25 to 2
  bool paused = false;
  bool overlay = true;
  bool hidden = false;      // no visible window (tests, benches)
  bool sound = true;        // the real sound layer at speed 1; off: the deterministic clock
  std::string exportDir;    // where E writes its MP4s
  std::string captureTool;  // lumorak-capture, for E
  std::string dataDir;      // the show's data folder, absolute, handed to the export
  std::string screenshot;   // --screenshot: save the first frame's window here and end
};

class Preview {
 public:
  explicit Preview(PreviewOptions options);
  ~Preview();
  Preview(const Preview&) = delete;
  Preview& operator=(const Preview&) = delete;

  // The show on its hidden window, the preview's window, the sound and the file watches.
  bool start(std::string& error);
  // Events, reloads, the clock, a frame, until Escape, the window's close or a stop
  // signal. Returns the process's exit status.
  int run();

  // One key, as SDL reports it (SDL_Keycode).
  void press(int key);
  // Pauses on frame `frame` of 60 fps (clamped to the show).
  void pauseAt(int64_t frame);
  // Moves the clock as `seconds` of wall time would (playing only); the real sound layer
  // moves by itself, so this matters at speeds other than 1 and without sound.
  void advance(double seconds);
  // Reloads what was saved, renders the show's frame when the time or the data changed,
  // and draws the window. False when a stop signal came during a long history.
  bool frame();

  // Where the clock stands, seconds of music time.
  double time() const { return time_; }
  bool paused() const { return paused_; }
  int64_t pausedFrame() const { return pausedFrame_; }
  // The last frame of the show, screenWidth x screenHeight RGBA, bottom row first.
  const std::vector<uint8_t>& showPixels() const { return showPixels_; }
  // The window as last drawn (overlay included), RGBA, bottom row first.
  std::vector<uint8_t> windowPixels(int& width, int& height);
  bool exporting() const { return export_ != nullptr; }
  // The first unresolved load failure, or "" when none.
  std::string errorText() const;
  // Milliseconds the last show frame took (rendering and reading back, history included).
  double showMs() const { return showMs_; }
  bool overlayShown() const { return options_.overlay; }
  std::string status() const { return status_; }
  Reloader& reloader() { return *reloader_; }

 private:
  void togglePause();
  void seekBy(double seconds);
  void setLoopPoint(bool out);
  void startExport();
  // On the child's stderr thread: notes its progress and its last line.
  void noteExportLine(const std::string& line);
  void pollExport();
  void stopExport();
  void renderShow();
  // Draws the window; swaps it to the screen unless a test reads it back first.
  void present(bool swap);
  void drawOverlay(int width, int height);
  std::vector<std::string> overlayLines(const SceneSchedule& scene);  // the overlay's lines
  // The frame of 60 fps the clock stands on.
  int64_t currentFrame() const;
  MusicLoop loop() const;
  void say(const std::string& text);

  PreviewOptions options_;
  OfflineShow show_;
  std::unique_ptr<SdlAudioBackend> sound_;
  std::unique_ptr<Reloader> reloader_;
  std::unique_ptr<Overlay> overlay_;
  void* window_ = nullptr;   // SDL_Window*, the preview's own
  void* context_ = nullptr;  // its SDL_GLContext
  uint32_t texture_ = 0;     // the show's frame, in the preview's context
  bool uploaded_ = false;    // texture_ holds showPixels_

  double time_ = 0.0;
  double unwrapped_ = 0.0;  // the deterministic clock, before the loop wraps it
  bool paused_ = false;
  int64_t pausedFrame_ = 0;
  bool showDirty_ = true;  // the show's frame no longer stands for time_ and the data
  double renderedTime_ = -1.0;
  std::vector<uint8_t> showPixels_;
  double showMs_ = 0.0;
  std::string status_;  // one line of news: a loop point, an export
  std::string title_;   // the window's, naming the first load failure

  std::unique_ptr<ChildProcess> export_;  // lumorak-capture writing exportFile_, until reaped
  std::string exportFile_;
  std::mutex exportMutex_;  // guards what the child's stderr thread notes below
  std::string exportLine_;  // its last line
  int64_t exportDone_ = 0;
  int64_t exportTotal_ = 0;
};
