// The show rendered offline, frame by frame, as the tools render it: start-up on a hidden
// window, frames at exact times of a rate, with the history each frame builds on.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "Mp3Fixture.h"
#include "TestSupport.h"
#include "app/Demo.h"
#include "app/Globals.h"
#include "audio/Backends.h"
#include "offline/OfflineShow.h"
#include "resources/Random.h"
#include "scenes/Schedule.h"

namespace {

// GL state as start-up leaves it, read before any frame, whichever test runs first.
struct StartUpState {
  GLfloat colour[4] = {};
  GLfloat pointSize = 0;
};
StartUpState startUpState;

OfflineShow& show() {
  static OfflineShow instance;
  static bool started = [] {
    // The default reporter exits with status 0, which ctest would count as a pass.
    setFatalReporter(throwingFatalReporter);
    std::string error;
    if (!instance.start(error)) return false;
    glGetFloatv(GL_CURRENT_COLOR, startUpState.colour);
    glGetFloatv(GL_POINT_SIZE, &startUpState.pointSize);
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
  EXPECT_EQ(startUpState.pointSize, 1.0f);
  // The colour is the tint of the last loading picture, ((sin 3r + 1) / 2, (sin 4r + 1) / 2,
  // (sin 5r + 1) / 2) for the generator's last draw r, not white.
  const GLfloat* colour = startUpState.colour;
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

}  // namespace
