// Start-up time marks: where the time goes between process start and the first show
// frame, kept for the benchmark (bench/show_bench reads them; the show prints nothing).
//
// A StartupSpan charges its wall time to one step. Spans nest and are exclusive (an inner
// span's time is not the outer step's) and close in reverse order. Main thread only.
// markShowFrame() ends start-up at its first call, after the first show frame is presented:
// the time since the last span closed goes to kFirstFrame and the hook, if any, runs once.
#pragma once

enum class StartupStep {
  kWindow,          // video subsystem, window, GL context, GLEW, renderer state
  kImages,          // image files read, decoded and uploaded as textures
  kModel,           // the scene model: parse, normals, tangents, buffers
  kTargets,         // render-target textures and framebuffers
  kSceneData,       // particles, stars, sprites
  kMaterials,       // shaders and materials
  kLoadingPicture,  // the loading picture, drawn and presented between steps
  kMusic,           // opening the music and starting playback
  kFirstFrame,      // the first show frame, drawn and presented
  kCount
};

class StartupSpan {
 public:
  explicit StartupSpan(StartupStep step);
  ~StartupSpan() { end(); }
  // Closes the span early; later calls and the destructor then do nothing.
  void end();
  StartupSpan(const StartupSpan&) = delete;
  StartupSpan& operator=(const StartupSpan&) = delete;

 private:
  int previous_;
  bool open_ = true;
};

void markShowFrame();
void setFirstShowFrameHook(void (*hook)());

const char* startupStepName(StartupStep step);
// Seconds charged to `step` so far.
double startupSeconds(StartupStep step);
// Steady-clock seconds (CLOCK_MONOTONIC) at static initialisation of the core, close to
// process start, and at the first show frame (0 before it).
double processStartClock();
double firstShowFrameClock();
