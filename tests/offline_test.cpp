// The show rendered offline, frame by frame, as the tools render it: start-up on a hidden
// window, frames at exact times of a rate, with the history each frame builds on, and the
// loop over frames that every tool runs.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Mp3Fixture.h"
#include "TestSupport.h"
#include "app/Demo.h"
#include "app/DemoSystem.h"
#include "app/Globals.h"
#include "audio/Backends.h"
#include "cli/Cli.h"
#include "offline/FrameLoop.h"
#include "offline/OfflineShow.h"
#include "resources/Random.h"
#include "scenes/LastingState.h"
#include "scenes/Schedule.h"

namespace {

// A broad read of the GL state a frame can leave behind, item name -> values: every switch
// of the fixed-function pipeline and the values behind them, the current vertex
// attributes, lights and material, the matrices and their stacks, each texture unit's
// switches, bindings, environment and matrix, the bound program, framebuffer, buffers,
// viewport and pixel storage. It reads every unit and makes the active ones active again.
using GlState = std::map<std::string, std::vector<GLfloat>>;

struct GlProbe {
  const char* name;
  GLenum what;
  int count;  // values, read with glGetFloatv; 0: a switch, read with glIsEnabled
};
// clang-format off
#define PROBE(what, count) GlProbe{#what, what, count}
const GlProbe kContextProbes[] = {
    PROBE(GL_ALPHA_TEST, 0), PROBE(GL_AUTO_NORMAL, 0), PROBE(GL_BLEND, 0),
    PROBE(GL_COLOR_LOGIC_OP, 0), PROBE(GL_COLOR_MATERIAL, 0), PROBE(GL_COLOR_SUM, 0),
    PROBE(GL_CULL_FACE, 0), PROBE(GL_DEPTH_TEST, 0), PROBE(GL_DITHER, 0), PROBE(GL_FOG, 0),
    PROBE(GL_LIGHTING, 0), PROBE(GL_LINE_SMOOTH, 0), PROBE(GL_LINE_STIPPLE, 0),
    PROBE(GL_MULTISAMPLE, 0), PROBE(GL_NORMALIZE, 0), PROBE(GL_POINT_SMOOTH, 0),
    PROBE(GL_POINT_SPRITE, 0), PROBE(GL_POLYGON_OFFSET_FILL, 0), PROBE(GL_POLYGON_OFFSET_LINE, 0),
    PROBE(GL_POLYGON_OFFSET_POINT, 0), PROBE(GL_POLYGON_SMOOTH, 0), PROBE(GL_POLYGON_STIPPLE, 0),
    PROBE(GL_RESCALE_NORMAL, 0), PROBE(GL_SAMPLE_ALPHA_TO_COVERAGE, 0),
    PROBE(GL_SAMPLE_ALPHA_TO_ONE, 0), PROBE(GL_SAMPLE_COVERAGE, 0), PROBE(GL_SCISSOR_TEST, 0),
    PROBE(GL_STENCIL_TEST, 0), PROBE(GL_VERTEX_PROGRAM_POINT_SIZE, 0),
    PROBE(GL_VERTEX_PROGRAM_TWO_SIDE, 0), PROBE(GL_MAP1_VERTEX_3, 0), PROBE(GL_MAP2_VERTEX_3, 0),
    PROBE(GL_CLIP_PLANE0, 0), PROBE(GL_CLIP_PLANE1, 0), PROBE(GL_CLIP_PLANE2, 0),
    PROBE(GL_CLIP_PLANE3, 0), PROBE(GL_CLIP_PLANE4, 0), PROBE(GL_CLIP_PLANE5, 0),
    PROBE(GL_VERTEX_ARRAY, 0), PROBE(GL_NORMAL_ARRAY, 0), PROBE(GL_COLOR_ARRAY, 0),
    PROBE(GL_SECONDARY_COLOR_ARRAY, 0), PROBE(GL_INDEX_ARRAY, 0), PROBE(GL_EDGE_FLAG_ARRAY, 0),
    PROBE(GL_FOG_COORD_ARRAY, 0), PROBE(GL_CURRENT_COLOR, 4), PROBE(GL_CURRENT_SECONDARY_COLOR, 4),
    PROBE(GL_CURRENT_NORMAL, 3), PROBE(GL_CURRENT_FOG_COORD, 1), PROBE(GL_EDGE_FLAG, 1),
    PROBE(GL_COLOR_CLEAR_VALUE, 4), PROBE(GL_DEPTH_CLEAR_VALUE, 1),
    PROBE(GL_STENCIL_CLEAR_VALUE, 1), PROBE(GL_ACCUM_CLEAR_VALUE, 4), PROBE(GL_BLEND_COLOR, 4),
    PROBE(GL_BLEND_SRC_RGB, 1), PROBE(GL_BLEND_DST_RGB, 1), PROBE(GL_BLEND_SRC_ALPHA, 1),
    PROBE(GL_BLEND_DST_ALPHA, 1), PROBE(GL_BLEND_EQUATION_RGB, 1),
    PROBE(GL_BLEND_EQUATION_ALPHA, 1), PROBE(GL_ALPHA_TEST_FUNC, 1), PROBE(GL_ALPHA_TEST_REF, 1),
    PROBE(GL_LOGIC_OP_MODE, 1), PROBE(GL_DEPTH_FUNC, 1), PROBE(GL_DEPTH_WRITEMASK, 1),
    PROBE(GL_DEPTH_RANGE, 2), PROBE(GL_COLOR_WRITEMASK, 4), PROBE(GL_STENCIL_FUNC, 1),
    PROBE(GL_STENCIL_REF, 1), PROBE(GL_STENCIL_VALUE_MASK, 1), PROBE(GL_STENCIL_WRITEMASK, 1),
    PROBE(GL_STENCIL_FAIL, 1), PROBE(GL_STENCIL_PASS_DEPTH_FAIL, 1),
    PROBE(GL_STENCIL_PASS_DEPTH_PASS, 1), PROBE(GL_SHADE_MODEL, 1), PROBE(GL_CULL_FACE_MODE, 1),
    PROBE(GL_FRONT_FACE, 1), PROBE(GL_POLYGON_MODE, 2), PROBE(GL_POLYGON_OFFSET_FACTOR, 1),
    PROBE(GL_POLYGON_OFFSET_UNITS, 1), PROBE(GL_POINT_SIZE, 1), PROBE(GL_POINT_SIZE_MIN, 1),
    PROBE(GL_POINT_SIZE_MAX, 1), PROBE(GL_POINT_FADE_THRESHOLD_SIZE, 1),
    PROBE(GL_POINT_DISTANCE_ATTENUATION, 3), PROBE(GL_LINE_WIDTH, 1),
    PROBE(GL_LINE_STIPPLE_PATTERN, 1), PROBE(GL_LINE_STIPPLE_REPEAT, 1), PROBE(GL_FOG_MODE, 1),
    PROBE(GL_FOG_DENSITY, 1), PROBE(GL_FOG_START, 1), PROBE(GL_FOG_END, 1), PROBE(GL_FOG_COLOR, 4),
    PROBE(GL_LIGHT_MODEL_AMBIENT, 4), PROBE(GL_LIGHT_MODEL_LOCAL_VIEWER, 1),
    PROBE(GL_LIGHT_MODEL_TWO_SIDE, 1), PROBE(GL_LIGHT_MODEL_COLOR_CONTROL, 1),
    PROBE(GL_COLOR_MATERIAL_FACE, 1), PROBE(GL_COLOR_MATERIAL_PARAMETER, 1),
    PROBE(GL_SAMPLE_COVERAGE_VALUE, 1), PROBE(GL_SAMPLE_COVERAGE_INVERT, 1),
    PROBE(GL_MATRIX_MODE, 1), PROBE(GL_MODELVIEW_MATRIX, 16), PROBE(GL_PROJECTION_MATRIX, 16),
    PROBE(GL_MODELVIEW_STACK_DEPTH, 1), PROBE(GL_PROJECTION_STACK_DEPTH, 1),
    PROBE(GL_ATTRIB_STACK_DEPTH, 1), PROBE(GL_CLIENT_ATTRIB_STACK_DEPTH, 1),
    PROBE(GL_ACTIVE_TEXTURE, 1), PROBE(GL_CLIENT_ACTIVE_TEXTURE, 1), PROBE(GL_CURRENT_PROGRAM, 1),
    PROBE(GL_DRAW_FRAMEBUFFER_BINDING, 1), PROBE(GL_READ_FRAMEBUFFER_BINDING, 1),
    PROBE(GL_RENDERBUFFER_BINDING, 1), PROBE(GL_ARRAY_BUFFER_BINDING, 1),
    PROBE(GL_ELEMENT_ARRAY_BUFFER_BINDING, 1), PROBE(GL_PIXEL_PACK_BUFFER_BINDING, 1),
    PROBE(GL_PIXEL_UNPACK_BUFFER_BINDING, 1), PROBE(GL_VIEWPORT, 4), PROBE(GL_SCISSOR_BOX, 4),
    PROBE(GL_DRAW_BUFFER, 1), PROBE(GL_READ_BUFFER, 1), PROBE(GL_PACK_ALIGNMENT, 1),
    PROBE(GL_UNPACK_ALIGNMENT, 1), PROBE(GL_PACK_ROW_LENGTH, 1), PROBE(GL_UNPACK_ROW_LENGTH, 1),
    PROBE(GL_PERSPECTIVE_CORRECTION_HINT, 1), PROBE(GL_RENDER_MODE, 1)};
// Read on every texture unit.
const GlProbe kUnitProbes[] = {
    PROBE(GL_TEXTURE_1D, 0), PROBE(GL_TEXTURE_2D, 0), PROBE(GL_TEXTURE_3D, 0),
    PROBE(GL_TEXTURE_CUBE_MAP, 0), PROBE(GL_TEXTURE_GEN_S, 0), PROBE(GL_TEXTURE_GEN_T, 0),
    PROBE(GL_TEXTURE_GEN_R, 0), PROBE(GL_TEXTURE_GEN_Q, 0), PROBE(GL_TEXTURE_COORD_ARRAY, 0),
    PROBE(GL_TEXTURE_BINDING_1D, 1), PROBE(GL_TEXTURE_BINDING_2D, 1),
    PROBE(GL_TEXTURE_BINDING_3D, 1), PROBE(GL_TEXTURE_BINDING_CUBE_MAP, 1),
    PROBE(GL_TEXTURE_MATRIX, 16), PROBE(GL_TEXTURE_STACK_DEPTH, 1),
    PROBE(GL_CURRENT_TEXTURE_COORDS, 4)};
#undef PROBE
// clang-format on

GlState readGlState() {
  GlState state;
  while (glGetError() != GL_NO_ERROR) {
  }
  auto read = [&state](const std::string& prefix, const GlProbe& probe) {
    std::vector<GLfloat> v(std::max(probe.count, 1), -1.0f);
    if (probe.count == 0) {
      v[0] = glIsEnabled(probe.what);
    } else {
      glGetFloatv(probe.what, v.data());
    }
    state[prefix + probe.name] = v;
  };
  for (const GlProbe& probe : kContextProbes) read("", probe);
  for (int i = 0; i < 8; ++i) {
    const std::string light = "light " + std::to_string(i);
    state[light] = {static_cast<GLfloat>(glIsEnabled(GL_LIGHT0 + i))};
    for (GLenum p : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_POSITION}) {
      std::vector<GLfloat> v(4);
      glGetLightfv(GL_LIGHT0 + i, p, v.data());
      state[light + " parameter " + std::to_string(p)] = v;
    }
  }
  for (GLenum face : {GL_FRONT, GL_BACK}) {
    for (GLenum p : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION, GL_SHININESS}) {
      std::vector<GLfloat> v(4, -1.0f);
      glGetMaterialfv(face, p, v.data());
      state["material " + std::to_string(face) + " " + std::to_string(p)] = v;
    }
  }
  for (GLuint i = 0; i < 16; ++i) {
    GLint enabled = 0;
    glGetVertexAttribiv(i, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    state["vertex attribute array " + std::to_string(i)] = {static_cast<GLfloat>(enabled)};
  }
  GLint units = 0;
  glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
  for (GLint u = 0; u < units; ++u) {
    const std::string unit = "unit " + std::to_string(u) + " ";
    glActiveTexture(GL_TEXTURE0 + u);
    glClientActiveTexture(GL_TEXTURE0 + u);
    for (const GlProbe& probe : kUnitProbes) read(unit, probe);
    std::vector<GLfloat> env(5);  // the mode, then the colour
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, env.data());
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, env.data() + 1);
    state[unit + "texture environment"] = env;
  }
  glActiveTexture(static_cast<GLenum>(state["GL_ACTIVE_TEXTURE"][0]));
  glClientActiveTexture(static_cast<GLenum>(state["GL_CLIENT_ACTIVE_TEXTURE"][0]));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "an item above is not GL state";
  return state;
}

// The items of `actual` that differ from `expected`, one a line with both values.
std::string differences(const GlState& expected, const GlState& actual) {
  std::string text;
  auto values = [](const std::vector<GLfloat>& v) {
    std::string s;
    for (GLfloat f : v) s += " " + std::to_string(f);
    return s;
  };
  for (const auto& [name, want] : expected) {
    const std::vector<GLfloat>& got = actual.at(name);
    if (got != want) text += "\n  " + name + ":" + values(got) + " instead of" + values(want);
  }
  return text;
}

// GL state as start-up leaves it, read before any frame, whichever test runs first.
GlState startUpState;

OfflineShow& show() {
  static OfflineShow instance;
  static bool started = [] {
    // The default reporter exits with status 0, which ctest would count as a pass.
    setFatalReporter(throwingFatalReporter);
    std::string error;
    if (!instance.start(error)) return false;
    startUpState = readGlState();
    return true;
  }();
  EXPECT_TRUE(started);
  return instance;
}

std::vector<uint8_t> frame() {
  std::vector<uint8_t> rgb(OfflineShow::frameBytes(PixelLayout::kRgb));
  show().readFrame(PixelLayout::kRgb, rgb.data());
  return rgb;
}

// Shares of pixels darker than a quarter and brighter than 90 % of full scale.
std::pair<double, double> darkAndLight(const std::vector<uint8_t>& rgb) {
  long dark = 0;
  long light = 0;
  for (size_t i = 0; i < rgb.size(); i += 3) {
    const int sum = rgb[i] + rgb[i + 1] + rgb[i + 2];
    dark += sum < 3 * 64;
    light += sum > 3 * 230;
  }
  const double pixels = rgb.size() / 3.0;
  return {dark / pixels, light / pixels};
}

std::array<uint8_t, 3> pixelAt(const std::vector<uint8_t>& rgb, int x, int yFromTop) {
  const size_t i = (static_cast<size_t>(screenHeight - 1 - yFromTop) * screenWidth + x) * 3;
  return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

TEST(OfflineShowTest, StartUpLeavesPointSizeOneAndTheLastLoadingTint) {
  show();
  EXPECT_EQ(startUpState["GL_POINT_SIZE"][0], 1.0f);
  // The colour is the tint of the last loading picture, ((sin 3r + 1) / 2, (sin 4r + 1) / 2,
  // (sin 5r + 1) / 2) for the generator's last draw r, not white.
  const GLfloat* colour = startUpState["GL_CURRENT_COLOR"].data();
  int matches = 0;
  for (int r = 0; r <= kDemoRandMax; ++r) {
    const float f = static_cast<float>(r);
    matches += std::fabs(colour[0] - (std::sin(3.0f * f) + 1.0f) / 2.0f) < 1e-6f &&
               std::fabs(colour[1] - (std::sin(4.0f * f) + 1.0f) / 2.0f) < 1e-6f &&
               std::fabs(colour[2] - (std::sin(5.0f * f) + 1.0f) / 2.0f) < 1e-6f;
  }
  EXPECT_GE(matches, 1) << "colour " << colour[0] << " " << colour[1] << " " << colour[2];
  EXPECT_FALSE(colour[0] == 1.0f && colour[1] == 1.0f && colour[2] == 1.0f);
}

TEST(OfflineShowTest, FrameTimesAreExactMultiplesOfTheFrameInterval) {
  const FrameRate ntsc{60000.0 / 1001.0};
  // Frame 60000 lies at 1001 s exactly; its product in doubles lands a hair above.
  EXPECT_EQ(ntsc.firstAtOrAfter(1001.0), 60000);
  EXPECT_LT(ntsc.timeOf(7792), 130.0);
  EXPECT_GE(ntsc.timeOf(ntsc.firstAtOrAfter(130.0)), 130.0);
  EXPECT_EQ(ntsc.firstAtOrAfter(130.0), 7793);
  // 146 s at 60 fps: 8760 frames, the last at 145.983 s.
  EXPECT_EQ(FrameRate{60}.firstAtOrAfter(146.0), 8760);
}

TEST(OfflineShowTest, OpeningPaintsTrianglesFromTheFirstSecond) {
  // The triangles are depth-tested against the never-cleared "rt0": a target whose depth
  // starts at 0 would hide them, leaving the picture white.
  show().renderUpTo(FrameRate{30}, 30);  // 1 s
  const auto [dark, light] = darkAndLight(frame());
  EXPECT_GT(dark, 0.02);
  EXPECT_GT(light, 0.2);
  // The logo is added over everything, trails included, on top of the triangles: what
  // stays dark is little more than its lettering.
  EXPECT_LT(dark, 0.1);
}

TEST(OfflineShowTest, StarsBeforeTheFirstTunnelPassAreOnePixelPointsThatRead) {
  // 35 s: no word yet and a faint, steady 1-2 kHz band, so the blur spreads each star a
  // little. The stars are drawn at the point size start-up leaves, 1 pixel: the tunnel's 5
  // comes only later in a playthrough, so a frame asked for after the tunnel must not
  // inherit it.
  const FrameRate rate{60};
  show().resetScenes();
  show().renderUpTo(rate, 35 * 60);
  GLfloat pointSize = 0;
  glGetFloatv(GL_POINT_SIZE, &pointSize);
  EXPECT_EQ(pointSize, 1.0f);
  const auto first = frame();

  show().renderUpTo(rate, 110 * 60);
  show().renderUpTo(rate, 35 * 60);
  EXPECT_TRUE(frame() == first) << "the tunnel's lasting state leaked into an earlier frame";

  // A field of grey points on black: the brightest at 0.15 of full scale or more, at least
  // 0.5 % of the pixels at 0.05 or more, and far fewer bright pixels than 5-pixel stars
  // give (those light about 3 % of the frame above 100 of 255).
  int brightest = 0;
  long lit = 0;
  long bright = 0;
  for (uint8_t v : first) {
    brightest = std::max<int>(brightest, v);
    lit += v >= 13;
    bright += v > 100;
  }
  const double samples = static_cast<double>(first.size());
  EXPECT_GE(brightest, 0.15 * 255);
  EXPECT_GE(lit / samples, 0.005);
  EXPECT_LT(bright / samples, 0.01);
  EXPECT_GT(darkAndLight(first).first, 0.9);  // points on black, not a grey wash
}

TEST(OfflineShowTest, AFrameDoesNotInheritWhatAnotherSceneLeftInTheSameProcess) {
  // The column field needs only its previous frame, after the word scene's state; the
  // opening's state drew it all white. Asked for after an opening frame, it must be the
  // frame it is on its own (in a playthrough the word scene always comes between).
  const FrameRate rate{60};
  show().resetScenes();
  show().renderUpTo(rate, 75 * 60);
  const auto alone = frame();
  show().renderUpTo(rate, 5 * 60);
  show().renderUpTo(rate, 64 * 60);
  show().renderUpTo(rate, 75 * 60);
  EXPECT_TRUE(frame() == alone) << "the column field inherited the opening's state";
  EXPECT_LT(darkAndLight(alone).second, 0.9);  // not the white frame
}

TEST(OfflineShowTest, AFrameAfterItsHistoryEqualsTheSameFrameOfALongerRender) {
  // The word scene at 45 s and the closing at 130 s, each rendered once as part of a
  // longer run and once started on its own, at 10 frames per second.
  const FrameRate rate{10};
  for (auto [runFrom, from, to] : {std::array<int64_t, 3>{430, 450, 453}, {1252, 1300, 1303}}) {
    std::vector<std::vector<uint8_t>> longer;
    show().forgetRun();
    for (int64_t n = runFrom; n < to; ++n) {
      show().renderUpTo(rate, n);
      if (n >= from) longer.push_back(frame());
    }
    show().forgetRun();
    for (int64_t n = from; n < to; ++n) {
      show().renderUpTo(rate, n);
      EXPECT_TRUE(frame() == longer[n - from]) << "frame " << n << " differs";
    }
  }
}

TEST(OfflineShowTest, AStoppedHistoryRendersNothingMoreAndTheNextCallFinishesIt) {
  // 3 s at 10 fps builds on the opening's 30 frames before it. The watch stops the
  // history after 12 of them: the frame asked for is not drawn. Asked again, the history
  // goes on from frame 12 and the picture is the one a whole run gives.
  const FrameRate rate{10};
  show().forgetRun();
  ASSERT_EQ(show().renderUpTo(rate, 30), 30);
  const auto whole = frame();

  show().forgetRun();
  std::vector<int64_t> seen;
  const HistoryWatch stopAt12 = [&seen](int64_t done, int64_t total) {
    seen.push_back(done);
    EXPECT_EQ(total, 30);
    return done < 12;
  };
  EXPECT_EQ(show().renderUpTo(rate, 30, stopAt12), -1);
  EXPECT_EQ(seen.size(), 12u);
  EXPECT_EQ(seen.back(), 12);
  EXPECT_EQ(show().renderUpTo(rate, 30), 18);
  EXPECT_TRUE(frame() == whole) << "the finished history drew another picture";
}

TEST(OfflineShowTest, TunnelWallAboveTheLightsViewIsLit) {
  show().renderUpTo(FrameRate{60}, 110 * 60);
  const auto picture = frame();
  // Near the top the camera sees the wall above y = 4.3, outside the light's frustum: it
  // shows the wall's own grey (0.53), not the shadowed half of it.
  for (int x : {300, 600, 900}) {
    const auto p = pixelAt(picture, x, 20);
    EXPECT_NEAR(p[0], 135, 6) << "at x = " << x;
  }
}

// Plays `path` through the offline show's sound layer for the lifetime of the object; the
// show's own music comes back afterwards.
class OfflineMusic {
 public:
  explicit OfflineMusic(const std::string& path) { use(path.c_str()); }
  ~OfflineMusic() { use(kMusicFile); }

 private:
  static void use(const char* path) {
    show().sound().open(path);
    musicStream.setBackend(&show().sound());  // drops the spectrum of the old music
  }
};

TEST(OfflineShowTest, WhileTheBlurBandIsSilentAFrameBuildsOnTheLastFrameThatBlurred) {
  // The shipped music never silences the word scene's 1-2 kHz band; this one sounds a
  // faint 1.5 kHz tone until 30.3 s and nothing after. From the last frame that blurs on,
  // every frame copies the picture back unchanged.
  TempDir dir;
  ASSERT_TRUE(writeMp3(dir.file("fading.mp3"), 30.3, [](double t) {
    return 0.003 * std::sin(2.0 * 3.14159265358979323846 * 1500.0 * t);
  }));
  OfflineMusic music(dir.file("fading.mp3"));
  const FrameRate rate{10};
  const int64_t sceneFirst = rate.firstAtOrAfter(sceneStart(kWord));
  const int64_t asked = 320;  // 32 s, in the silence

  // A run through the scene from its first frame, as a playthrough renders it.
  std::vector<std::vector<uint8_t>> run;
  show().forgetRun();
  for (int64_t n = sceneFirst; n <= asked; ++n) {
    show().renderUpTo(rate, n);
    run.push_back(frame());
  }
  const auto& last = run.back();
  ASSERT_GT(std::count_if(last.begin(), last.end(), [](uint8_t v) { return v > 10; }), 1000)
      << "nothing to compare: the picture is black";
  // The last frame that blurred: the first of the frozen pictures at the end of the run.
  int64_t lastBlurred = asked;
  while (lastBlurred > sceneFirst && run[lastBlurred - 1 - sceneFirst] == last) --lastBlurred;
  ASSERT_GT(lastBlurred, sceneFirst + 10);
  ASSERT_LT(lastBlurred, asked - 10);

  // Asked for alone, the frame is the one of the run...
  show().forgetRun();
  show().renderUpTo(rate, asked);
  EXPECT_TRUE(frame() == last) << "frame " << asked << " differs from the playthrough";
  // ... after the last frame that blurred, which itself comes after the frame before it:
  // every frame inherits the GL state its predecessor left.
  const std::vector<int64_t> history = show().historyBefore(rate, rate.timeOf(asked));
  ASSERT_FALSE(history.empty());
  EXPECT_EQ(history.front(), lastBlurred - 1);
  EXPECT_EQ(history.back(), asked - 1);
}

// ---- The loop over frames ----

double clockNow() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

std::string rendered(double seconds) { return cli::formatted("render %.4f", seconds); }
std::string handed(int64_t ordinal, double seconds) {
  return cli::formatted("frame %lld at %.4f", static_cast<long long>(ordinal), seconds);
}

// Stands between the clock and the offline sound layer, which it passes every call on to,
// and logs the music time of each frame rendered (the clock reads it once a frame), with
// the steady-clock time of the reading. The loop's callback adds the frames it is handed.
class FrameLog : public AudioBackend {
 public:
  FrameLog() { musicStream.setBackend(this); }
  ~FrameLog() override { musicStream.setBackend(&sound_); }
  void note(const std::string& entry) {
    entries.push_back(entry);
    stamps.push_back(clockNow());
  }
  double stampOf(const std::string& entry) const {
    const auto at = std::find(entries.begin(), entries.end(), entry);
    return at == entries.end() ? 0.0 : stamps[at - entries.begin()];
  }
  std::vector<std::string> entries;
  std::vector<double> stamps;
  std::function<void(double)> onRender;  // called as each frame's rendering starts

  void open(const char*) override {}
  void play() override {}
  int32_t timeMs() override { return sound_.timeMs(); }
  double timeSeconds() override {
    const double seconds = sound_.timeSeconds();
    note(rendered(seconds));
    if (onRender) onRender(seconds);
    return seconds;
  }
  void setTimeMs(int32_t ms) override { sound_.setTimeMs(ms); }
  void setPaused(bool paused) override { sound_.setPaused(paused); }
  int32_t position() override { return sound_.position(); }
  const float* spectrum() override { return sound_.spectrum(); }

 private:
  ManualAudioBackend& sound_ = show().sound();
};

// The opening builds on every frame since the show's start: at 10 fps, frame 28 (2.8 s)
// needs frames 0 to 27 first.
const FrameRate kTenFps{10};

TEST(FrameLoopTest, ASpanRendersItsRunUpUnseenThenHandsEachFrameOverBeforeTheNext) {
  show().forgetRun();
  std::vector<std::vector<uint8_t>> pictures;
  testing::internal::CaptureStderr();
  FrameLog log;
  const LoopResult loop = forEachFrame(show(), FramePlan::span(kTenFps, 28, 31), PixelLayout::kRgb,
                                       "looptest", [&](const LoopFrame& f) {
                                         log.note(handed(f.ordinal, f.seconds));
                                         pictures.push_back(std::move(f.pixels));
                                         return true;
                                       });
  const double end = clockNow();
  const std::string progress = testing::internal::GetCapturedStderr();

  std::vector<std::string> expected;
  for (int64_t n = 0; n < 28; ++n) expected.push_back(rendered(kTenFps.timeOf(n)));
  for (int64_t i = 0; i < 3; ++i) {
    expected.push_back(rendered(kTenFps.timeOf(28 + i)));
    expected.push_back(handed(i, kTenFps.timeOf(28 + i)));
  }
  EXPECT_EQ(log.entries, expected);
  EXPECT_EQ(loop.ending, LoopResult::kDone);
  EXPECT_EQ(loop.done, 3);
  // The span's time is the frames' own, from the end of the run-up to the last one.
  EXPECT_LE(loop.seconds, end - log.stampOf(rendered(2.7)));
  EXPECT_GE(loop.seconds, log.stampOf(handed(2, 3.0)) - log.stampOf(rendered(2.8)));
  // The run-up reports on its own line, before the span's.
  const size_t runUpLine = progress.find("looptest run-up 28/28 frames");
  const size_t spanLine = progress.find("looptest 3/3 frames");
  EXPECT_NE(runUpLine, std::string::npos) << progress;
  EXPECT_NE(spanLine, std::string::npos) << progress;
  EXPECT_LT(runUpLine, spanLine) << progress;

  // Each picture handed over is the one its frame gives after its whole history.
  ASSERT_EQ(pictures.size(), 3u);
  show().forgetRun();
  for (int64_t i = 0; i < 3; ++i) {
    show().renderUpTo(kTenFps, 28 + i);
    EXPECT_TRUE(frame() == pictures[i]) << "frame " << 28 + i;
  }
}

TEST(FrameLoopTest, TimesAreRenderedInTheirOwnOrderEachAfterItsHistoryUntilTheCallbackRefuses) {
  // Off the rate's grid, each time builds on the rate's frames before it; 0.05 s comes after
  // 0.25 s, so its history is rendered again from the start. The callback refuses 0.05 s:
  // the loop ends there, failed, and 0.15 s is never rendered.
  show().forgetRun();
  std::vector<uint8_t> first;
  FrameLog log;
  const LoopResult loop = forEachFrame(show(), FramePlan::at(kTenFps, {0.25, 0.05, 0.15}),
                                       PixelLayout::kRgb, "looptest", [&](const LoopFrame& f) {
                                         log.note(handed(f.ordinal, f.seconds));
                                         if (f.ordinal == 0) first = f.pixels;
                                         return f.ordinal == 0;
                                       });
  const std::vector<std::string> expected = {rendered(0.0),  rendered(0.1),   rendered(0.2),
                                             rendered(0.25), handed(0, 0.25), rendered(0.0),
                                             rendered(0.05), handed(1, 0.05)};
  EXPECT_EQ(log.entries, expected);
  EXPECT_EQ(loop.ending, LoopResult::kFailed);
  EXPECT_EQ(loop.done, 1);  // frames accepted

  show().forgetRun();
  show().renderAt(kTenFps, 0.25);
  EXPECT_TRUE(frame() == first) << "0.25 s differs from the frame after its history";
}

// A stop request (Ctrl-C, SIGTERM) is seen between any two frames, run-up frames included.
// The stop cannot be taken back, so each case runs in a process of its own.
TEST(FrameLoopDeathTest, AStopRequestEndsTheLoopAtTheNextFrameRunUpIncluded) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child runs GL: no bare fork
  // Returns the log and the loop's ending and count, one line, to compare in the parent.
  auto stopWhen = [](const std::function<bool(const std::string&)>& stopAt) {
    cli::catchStopSignals();
    FrameLog log;
    log.onRender = [&log, &stopAt](double) {
      if (stopAt(log.entries.back())) std::raise(SIGINT);
    };
    const LoopResult loop = forEachFrame(show(), FramePlan::span(kTenFps, 28, 31),
                                         PixelLayout::kRgb, "looptest", [&](const LoopFrame& f) {
                                           log.note(handed(f.ordinal, f.seconds));
                                           if (stopAt(log.entries.back())) std::raise(SIGINT);
                                           return true;
                                         });
    std::string text = cli::formatted("ending %d done %lld:", static_cast<int>(loop.ending),
                                      static_cast<long long>(loop.done));
    for (const std::string& entry : log.entries) text += " " + entry + ",";
    std::fprintf(stderr, "%s\n", text.c_str());
    std::_Exit(reportInterrupted("looptest", loop, 3));
  };
  // Stopped while the run-up renders 0.5 s: that frame is the last one rendered.
  EXPECT_EXIT(stopWhen([](const std::string& e) { return e == rendered(0.5); }),
              testing::ExitedWithCode(130),
              "ending 1 done 0: render 0.0000, render 0.1000, render 0.2000, render 0.3000, "
              "render 0.4000, render 0.5000,\nlooptest: interrupted after 0 of 3 frames");
  // Stopped while the first frame is handed over: the next is never rendered.
  EXPECT_EXIT(stopWhen([](const std::string& e) { return e == handed(0, 2.8); }),
              testing::ExitedWithCode(130),
              "ending 1 done 1: .*render 2.7000, render 2.8000, frame 0 at 2.8000,\n"
              "looptest: interrupted after 1 of 3 frames");
}

TEST(LastingStateTest, AfterAFrameOfEverySceneTheStateIsPutWhereAPlaythroughHasIt) {
  // Each frame is drawn on the state a playthrough has before it, and the state function
  // must then put back every item start-up leaves: a scene that leaves something the
  // function does not know fails here. Frames that leave every kind of state the scenes
  // leave: the opening's logo, model and blank end; the stars before and among the words;
  // the cloud; both orbits of the columns; the tunnel's first frame (its set-up) and a later
  // one; the closing with its logo and after it.
  show().resetScenes();
  float previous = -1.0f;
  for (float t :
       {6.0f, 20.0f, 27.0f, 35.0f, 50.0f, 70.0f, 90.0f, 92.0f, 110.0f, 111.0f, 128.0f, 142.0f}) {
    putStateAsPlaythroughAfter(previous);
    show().renderFrame(t);
    const GlState left = readGlState();
    putStateAsPlaythroughAfter(-1.0f);
    EXPECT_EQ(differences(startUpState, readGlState()), "") << "after the frame at " << t << " s";
    EXPECT_EQ(demoSystem.fbos.get("rt0").texture.height, 512);

    // Past the tunnel's first frame a playthrough keeps its set-up and the point size every
    // tunnel frame leaves.
    const bool setUp = sceneAt(t) >= kLastingSetUpScene;
    GlState playthrough = startUpState;
    if (setUp) playthrough["GL_POINT_SIZE"] = left.at("GL_POINT_SIZE");
    putStateAsPlaythroughAfter(t);
    EXPECT_EQ(differences(playthrough, readGlState()), "")
        << "as a playthrough after " << t << " s";
    EXPECT_EQ(demoSystem.fbos.get("rt0").texture.height, setUp ? 1024 : 512) << t << " s";
    EXPECT_EQ(demoSystem.fbos.get("rt1").texture.height, setUp ? 1024 : 512) << t << " s";
    EXPECT_EQ(playthrough["GL_POINT_SIZE"][0], setUp ? kTunnelPointSize : 1.0f) << t << " s";
    previous = t;
  }
  show().resetScenes();
}

}  // namespace
