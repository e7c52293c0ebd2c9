// The show's schedule, written once: the six scenes in playing order, their start and end,
// the bands each listens to, and which earlier frames a frame needs to render alone as a
// playthrough draws it. GL-free and header-only: the show, the tools, the benches and the
// music generator read it (`showreport --schedule` prints it).
//
// Times are seconds of music time; a scene runs in [start, end). Boundaries are compared
// as doubles against the float time, so 125.1999969f still belongs to the tunnel.
//
// DOES NOT: draw, or decide anything at run time beyond sceneAt().
#pragma once

#include <cstddef>

enum SceneIndex { kOpening, kWord, kCloud, kColumns, kTunnel, kClosing, kEndOfShow };
constexpr int kSceneCount = kEndOfShow;

// A band of the spectrum a scene reads with peakInBand(lowHz, highHz): [lowHz, highHz).
struct SceneBand {
  int lowHz;
  int highHz;
  const char* drives;  // what it moves in the picture
};

// Which earlier frames of the same rate a frame needs first, and the lasting state that
// causes the rule. Every scene needs at least the frame before: each leaves GL state
// (clear colour, blend function, colour, bindings) that the next frame inherits. What
// lasts longer, and the state a run of frames starts from, is scenes/LastingState.h's.
enum class History {
  kPreviousFrame,  // nothing of its own lasts: only what the frame before left
  kFromShowStart,  // "rt0" is never cleared: every frame paints over all earlier ones
  kFromLastBlur,   // a frame whose blur is skipped (band silent) copies back the last
                   // picture: back to the last frame that blurred, or further
};

struct SceneSchedule {
  SceneIndex index;
  const char* name;
  double start;
  double end;
  const SceneBand* bands;  // in the order a frame reads them
  int bandCount;
  History history;
};

// The bands, one array per scene, in the order a frame reads them.
constexpr SceneBand kOpeningBands[] = {{3000, 4000, "blur, inside its windows and from 10 s"}};
constexpr SceneBand kWordCameraBand = {200, 400, "camera speed, star brightness"};
constexpr SceneBand kWordBlurBand = {1000, 2000, "star blur, word size and brightness"};
constexpr SceneBand kWordBands[] = {kWordCameraBand, kWordBlurBand};
constexpr float kWordCameraGain = 5.0f;   // camera angle, radians per unit of its band
constexpr float kWordBlurGain = 50.0f;    // star blur spread, texels per unit of its band
constexpr float kWordBrightness = 0.02f;  // word brightness and size per texel of that spread
// The cloud: one rectangle per 100 Hz band from 0 to 1900 Hz, then the glow.
constexpr int kCloudRectangles = 19;
constexpr SceneBand kCloudGlowBand = {500, 1000, "glow"};
constexpr float kCloudGlowGain = 15.0f;  // glow weight 1 + this per unit of the band
constexpr SceneBand kCloudBands[] = {
    {0, 100, "rectangle 1"},      {100, 200, "rectangle 2"},
    {200, 300, "rectangle 3"},    {300, 400, "rectangle 4"},
    {400, 500, "rectangle 5"},    {500, 600, "rectangle 6"},
    {600, 700, "rectangle 7"},    {700, 800, "rectangle 8"},
    {800, 900, "rectangle 9"},    {900, 1000, "rectangle 10"},
    {1000, 1100, "rectangle 11"}, {1100, 1200, "rectangle 12"},
    {1200, 1300, "rectangle 13"}, {1300, 1400, "rectangle 14"},
    {1400, 1500, "rectangle 15"}, {1500, 1600, "rectangle 16"},
    {1600, 1700, "rectangle 17"}, {1700, 1800, "rectangle 18"},
    {1800, 1900, "rectangle 19"}, kCloudGlowBand,
};
constexpr SceneBand kTunnelBands[] = {
    {80, 440, "left bar"}, {700, 1200, "middle bar"}, {1200, 4000, "right bar"}};
constexpr SceneBand kClosingBands[] = {{3000, 4000, "white flash and glow"}};
constexpr float kClosingBlurGain = 100.0f;  // blur spread, texels per unit of its band
constexpr float kClosingBlurMin = 2.0f;  // texels: the glowing picture shows above, the logo below

template <size_t N>
constexpr int countOf(const SceneBand (&)[N]) {
  return static_cast<int>(N);
}

constexpr SceneSchedule kSchedule[] = {
    {kOpening, "opening", 0.0, 28.1, kOpeningBands, countOf(kOpeningBands),
     History::kFromShowStart},
    {kWord, "words", 28.1, 63.0, kWordBands, countOf(kWordBands), History::kFromLastBlur},
    {kCloud, "cloud", 63.0, 83.474, kCloudBands, countOf(kCloudBands), History::kPreviousFrame},
    {kColumns, "columns", 83.474, 104.344, nullptr, 0, History::kPreviousFrame},
    {kTunnel, "tunnel", 104.344, 125.2, kTunnelBands, countOf(kTunnelBands),
     History::kPreviousFrame},
    {kClosing, "closing", 125.2, 146.0, kClosingBands, countOf(kClosingBands),
     History::kPreviousFrame},
};
static_assert(sizeof kSchedule / sizeof kSchedule[0] == kSceneCount, "one entry per scene");

// The end of the show: the timeline exits here, before drawing.
constexpr double kShowEnd = kSchedule[kSceneCount - 1].end;

// The tunnel's first frame runs a set-up ("rt0" and "rt1" at 1024 x 1024) that every later
// frame of every scene keeps, with the point size 5 its frames leave: a run that starts
// after that frame gets both from putStateAsPlaythroughAfter (LastingState.h), one before none.
constexpr SceneIndex kLastingSetUpScene = kTunnel;

// Moments inside the scenes: the scenes time their pictures by them, the tools read them.

// An open interval of music time (seconds).
struct TimeWindow {
  double from;
  double to;
};

// The opening blurs its picture by its 3-4 kHz band only inside these windows: three
// short ones on the music's accents, then from 10 s to the scene's end. The scene compares
// the bounds with its float time as floats.
constexpr TimeWindow kOpeningBlurWindows[] = {
    {2.0, 2.4}, {4.5, 5.2}, {7.0, 7.6}, {10.0, kSchedule[kOpening].end}};

// The opening's model is gone from here; the rest of the scene is blank by design.
constexpr double kOpeningModelGone = 26.0;

// The word scene shows words in (41.687, 58.737) s; around them its 1-2 kHz band only
// blurs the one-pixel stars (the music keeps it faint and steady there).
constexpr double kFirstWordStart = 41.687;
constexpr double kLastWordEnd = 58.737;

// After this (compared with the float time as a double) the word scene's star brightness
// follows the 200-400 Hz band and its blur spread grows kWordBandModeFactor times; 0.18 s
// after kFirstWordStart, not at it.
constexpr double kWordBandModeStart = 41.867;
constexpr double kWordBandModeFactor = 1.6;  // applied as a float

// The closing logo slides left at 0.519 units a second from 2.78 at the scene's start; its
// 8-unit quad's right edge crosses the left edge of the view (1.133 units at 0.85 from the
// eye) at 140.44 s. From then the picture is white throughout.
constexpr double kClosingLogoGone = 140.4;

constexpr const SceneSchedule& scheduleOf(SceneIndex scene) { return kSchedule[scene]; }

// The scene of a music time; kEndOfShow from kShowEnd on. Negative times are the opening.
inline SceneIndex sceneAt(float time) {
  const double t = time;
  int scene = kOpening;
  while (scene < kEndOfShow && !(t < kSchedule[scene].end)) ++scene;
  return static_cast<SceneIndex>(scene);
}

// The time (seconds, as compared) at which `scene` starts; kShowEnd for kEndOfShow.
constexpr double sceneStart(SceneIndex scene) {
  return scene == kEndOfShow ? kShowEnd : kSchedule[scene].start;
}
