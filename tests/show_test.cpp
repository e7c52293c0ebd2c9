// The whole show, stepped frame by frame: start-up on a hidden window, then frames at
// chosen music times through the deterministic sound layer, read back from the back
// buffer. Uses the committed assets in data/.
#include <GL/glew.h>
#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <utility>

#include "GlTestSupport.h"
#include "Mp3Fixture.h"
#include "TestSupport.h"
#include "app/Capture.h"
#include "app/Controls.h"
#include "app/Demo.h"
#include "app/Globals.h"
#include "app/LoadingPicture.h"
#include "app/Window.h"
#include "audio/Backends.h"
#include "images/Image.h"
#include "offline/OfflineShow.h"
#include "render/PostProcess.h"
#include "resources/Random.h"
#include "resources/StartupTimes.h"
#include "scenes/SceneAssets.h"
#include "scenes/Timeline.h"

namespace {

// One start-up per process, through the offline seam: it loads every asset, as the show
// does, on a hidden window and the deterministic sound layer.
class ShowEnvironment : public ::testing::Environment {
 public:
  static OfflineShow* show;
  static ManualAudioBackend* sound;
  static bool started;
  void SetUp() override {
    // The default reporter exits with status 0, which ctest would count as a pass.
    setFatalReporter(throwingFatalReporter);
    show = new OfflineShow();
    std::string error;
    if (!show->start(error)) return;
    sound = &show->sound();
    for (auto& entry : demoSystem.fbos.entries()) startUpTargets += entry.first + " ";
    startUpMaterial = demoSystem.materials.currentName();
    started = true;
  }
  // What start-up registered, read before any test renders a frame.
  static std::string startUpTargets;
  static std::string startUpMaterial;
};
OfflineShow* ShowEnvironment::show = nullptr;
ManualAudioBackend* ShowEnvironment::sound = nullptr;
bool ShowEnvironment::started = false;
std::string ShowEnvironment::startUpTargets;
std::string ShowEnvironment::startUpMaterial;
const auto* const showEnvironment = ::testing::AddGlobalTestEnvironment(new ShowEnvironment);

class ShowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ShowEnvironment::started) << "start-up failed";
    // Every test starts from the state start-up leaves, whichever tests ran before.
    ShowEnvironment::show->resetScenes();
  }
  // Renders the frame for `seconds` and leaves it in the back buffer.
  void frameAt(double seconds) {
    ShowEnvironment::sound->setTimeMs(static_cast<int32_t>(std::lround(seconds * 1000.0)));
    renderFrame();
    glReadBuffer(GL_BACK);
  }
  // Mean brightness (0..255) of a block of the frame; (0, 0) is the lower-left corner.
  double meanOf(int x, int y, int w, int h) {
    auto rgb = readRgb(x, y, w, h);
    double sum = 0;
    for (uint8_t v : rgb) sum += v;
    return sum / rgb.size();
  }
  // Loudness of a band at a music time, as the scenes of that frame will read it.
  float bandAt(double seconds, int lowHz, int highHz) {
    ShowEnvironment::sound->setTimeMs(static_cast<int32_t>(std::lround(seconds * 1000.0)));
    ShowEnvironment::sound->timeMs();
    return musicStream.peakInBand(lowHz, highHz);
  }
  // Pixels of the frame darker than a quarter of full brightness.
  long darkPixels() {
    auto rgb = readRgb(0, 0, 1024, 768);
    long dark = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) dark += rgb[i] + rgb[i + 1] + rgb[i + 2] < 3 * 64;
    return dark;
  }
  double spreadOf(int x, int y, int w, int h) {
    auto rgb = readRgb(x, y, w, h);
    double mean = 0;
    for (uint8_t v : rgb) mean += v;
    mean /= rgb.size();
    double var = 0;
    for (uint8_t v : rgb) var += (v - mean) * (v - mean);
    return std::sqrt(var / rgb.size());
  }
};

TEST_F(ShowTest, StartUpMakesExactlyTheSceneTargetsSharingOneDepthBuffer) {
  // Before the tunnel scene has run: the five start-up targets only.
  EXPECT_EQ(ShowEnvironment::startUpTargets, "rt.blur rt.glow rt0 rt1 rt2 ");
  EXPECT_EQ(demoSystem.fbos.get("rt0").texture.height, 512);
  EXPECT_EQ(depthRenderbuffers.count((1024 << 16) + 512), 1u);
  EXPECT_TRUE(demoSystem.models.contains("dudezurodev"));
  EXPECT_TRUE(demoSystem.materials.contains("shadow"));
  EXPECT_EQ(ShowEnvironment::startUpMaterial, "");
}

TEST_F(ShowTest, WindowEventsAfterStartUpKeepTheStartUpNearPlane) {
  // The creation size comes back from the window system as an event at the first pump.
  pumpMessages();
  GLfloat m[16];
  glGetFloatv(GL_PROJECTION_MATRIX, m);
  EXPECT_NEAR(m[14] / (m[10] - 1.0f), 0.1f, 1e-4f);  // near plane of the perspective
}

TEST_F(ShowTest, MouseMotionReadsXUnsignedAndYSignedIn16Bits) {
  // A drag past the window's left and top edges, as the window system reports it.
  static int seen[3];
  void (*const previous)(int, int, int) = glWindow->handlers.mouseMove;
  glWindow->handlers.mouseMove = [](int flags, int x, int y) {
    seen[0] = flags;
    seen[1] = x;
    seen[2] = y;
  };
  SDL_Event motion{};
  motion.type = SDL_MOUSEMOTION;
  motion.motion.state = SDL_BUTTON_LMASK;
  motion.motion.x = -1;
  motion.motion.y = -2;
  ASSERT_EQ(SDL_PushEvent(&motion), 1);
  pumpMessages();
  glWindow->handlers.mouseMove = previous;
  EXPECT_EQ(seen[0], 1);
  EXPECT_EQ(seen[1], 65535);
  EXPECT_EQ(seen[2], -2);
}

TEST_F(ShowTest, ResizeFitsViewportAndPerspectiveToTheWindowWithNearPlaneOne) {
  // A window resized after start-up: the viewport covers it, the projection is a 90-degree
  // perspective of its aspect with near plane 1.0 (start-up's is 0.1), and the show still
  // renders at 1024 x 768. A zero height is taken as 1.
  GLint kept[4];
  glGetIntegerv(GL_VIEWPORT, kept);
  for (auto [width, height] : {std::pair{800, 500}, std::pair{640, 0}}) {
    onResize(width, height);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], width);
    EXPECT_EQ(viewport[3], height);
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    const double aspect = static_cast<double>(width) / std::max(height, 1);
    EXPECT_NEAR(m[5], 1.0f, 1e-6f);  // cot 45 degrees: 90 degrees from top to bottom
    EXPECT_NEAR(m[5] / m[0], aspect, 1e-5 * aspect);
    EXPECT_NEAR(m[14] / (m[10] - 1.0f), 1.0f, 1e-4f);    // near plane
    EXPECT_NEAR(m[14] / (m[10] + 1.0f), 1000.0f, 1.0f);  // far plane
    EXPECT_EQ(m[11], -1.0f);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f) << "model-view " << i;
    EXPECT_EQ(screenWidth, 1024);
    EXPECT_EQ(screenHeight, 768);
  }
  glViewport(kept[0], kept[1], kept[2], kept[3]);
}

TEST_F(ShowTest, StartUpChargesEachOfItsStepsAndLeavesTheFirstFrameToThePlayingShow) {
  // Offline no show frame is presented: the first frame's step and clock stay empty.
  for (int i = 0; i < static_cast<int>(StartupStep::kFirstFrame); ++i) {
    const auto step = static_cast<StartupStep>(i);
    EXPECT_GT(startupSeconds(step), 0.0) << startupStepName(step);
  }
  EXPECT_EQ(startupSeconds(StartupStep::kFirstFrame), 0.0);
  EXPECT_EQ(firstShowFrameClock(), 0.0);
}

// After the start-up test above: a pass of the loop marks the first show frame.
TEST_F(ShowTest, AQuitMessageEndsTheLoopOnlyAfterThatPassHasDrawnItsFrame) {
  ShowEnvironment::sound->setTimeMs(50000);
  EXPECT_TRUE(showFrame());  // no message: the loop goes on
  EXPECT_FLOAT_EQ(demoSystem.clock.time(), 50.0f);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  ASSERT_EQ(SDL_PushEvent(&quit), 1);
  ShowEnvironment::sound->setTimeMs(90000);
  EXPECT_FALSE(showFrame());
  EXPECT_FLOAT_EQ(demoSystem.clock.time(), 90.0f);  // the frame of that pass was drawn
  glReadBuffer(GL_BACK);  // llvmpipe keeps it after the swap: the column field's white ground
  EXPECT_GT(meanOf(0, 0, 1024, 768), 100.0);
  EXPECT_GT(firstShowFrameClock(), 0.0);
}

TEST_F(ShowTest, LoadingPictureIsLetterboxedAndItsTintRepeatsFromRunToRun) {
  // Drawn, then presented; llvmpipe keeps the back buffer's contents across the swap.
  auto picture = [] {
    showLoadingPicture();
    return readRgb(0, 0, 1024, 768);
  };
  resetDemoRand();
  const auto first = picture();
  const auto second = picture();
  resetDemoRand();
  EXPECT_EQ(picture(), first);  // the same draw gives the same tint
  EXPECT_NE(second, first);
  // A square picture covers the middle three quarters of the 4:3 view, its 2 % larger
  // copy a few pixels more; the bars at the sides stay black.
  auto at = [&](int x, int y) { return first[(y * 1024 + x) * 3] + first[(y * 1024 + x) * 3 + 1]; };
  EXPECT_EQ(at(60, 384), 0);
  EXPECT_EQ(at(960, 384), 0);
  long lit = 0;
  for (int x = 130; x < 890; ++x) lit += at(x, 384) > 0;
  EXPECT_GT(lit, 0);
}

TEST_F(ShowTest, StarsAreDrawnRightAfterTheParticleBuffer) {
  // Four loading pictures come before the scene data (one tint each), then 4000 values
  // for the particle buffer.
  resetDemoRand();
  for (int i = 0; i < 4 + 4000; ++i) demoRand();
  EXPECT_FLOAT_EQ(stars[0].x, demoRand() * (80.0f / kDemoRandMax) - 40.0f);
  EXPECT_EQ(particleSystems[0].name, "particle.tunnel");
  EXPECT_NE(particleSystems[0].buffer, 0u);
}

TEST_F(ShowTest, TunnelFirstFrameSetsUpWhenReachedBySeeking) {
  frameAt(10.0);
  EXPECT_EQ(demoSystem.fbos.get("rt0").texture.height, 512);
  GLfloat size = 0;
  glGetFloatv(GL_POINT_SIZE, &size);
  EXPECT_EQ(size, 1.0f);
  if (debugVariables.contains("testvar")) debugVariables.get("testvar").value = 99.0f;
  frameAt(120.0);  // straight from the opening scene
  EXPECT_TRUE(demoSystem.fbos.contains("shadowmap"));
  EXPECT_TRUE(demoSystem.fbos.get("shadowmap").depthOnly);
  EXPECT_EQ(demoSystem.fbos.get("rt0").texture.height, 1024);
  EXPECT_FLOAT_EQ(debugVariables.get("testvar").value, 30.0f);
  EXPECT_FLOAT_EQ(debugVariables.get("testvar2").max, 2.0f);
  EXPECT_EQ(demoSystem.materials.currentName(), "");
  glGetFloatv(GL_POINT_SIZE, &size);
  EXPECT_FLOAT_EQ(size, 5.0f);
}

TEST_F(ShowTest, EveryScenePaintsAPictureWithDetail) {
  for (double t : {1.0, 20.0, 45.0, 70.0, 90.0, 110.0}) {
    frameAt(t);
    EXPECT_GT(spreadOf(0, 0, 1024, 768), 2.0) << "a flat picture at " << t << " s";
  }
}

TEST_F(ShowTest, OpeningLogoLetteringShowsOnTheWhiteGround) {
  frameAt(1.0);
  EXPECT_GT(spreadOf(256, 192, 512, 384), 5.0);
}

TEST_F(ShowTest, ClosingShowsThePlainLogoUnlessTheHighBandPassesTwoPercent) {
  double quiet = -1.0;
  double loud = -1.0;
  for (double t = 126.0; t < 145.0 && (quiet < 0.0 || loud < 0.0); t += 0.01) {
    const float v = kClosingBlurGain * bandAt(t, 3000, 4000);
    if (v <= kClosingBlurMin && quiet < 0.0) quiet = t;
    if (v > 1.25f * kClosingBlurMin && loud < 0.0) loud = t;
  }
  ASSERT_GE(quiet, 0.0) << "the music never goes quiet in 3-4 kHz during the closing";
  ASSERT_GE(loud, 0.0) << "the music never sounds in 3-4 kHz during the closing";
  frameAt(quiet);
  const long plain = darkPixels();  // the logo's dark lettering on white
  EXPECT_GT(plain, 5000) << "at " << quiet << " s";
  frameAt(loud);
  EXPECT_LT(darkPixels(), plain / 2) << "the glowing, blurred picture at " << loud << " s";
}

TEST_F(ShowTest, CloudSceneInSilenceIsTheClearedPictureWithTheOverlay) {
  frameAt(50.0);  // the word scene leaves the clear colour black
  TempDir dir;
  ASSERT_TRUE(writeMp3(dir.file("silence.mp3"), 2.0, [](double) { return 0.0; }));
  ManualAudioBackend silence;
  silence.open(dir.file("silence.mp3").c_str());
  musicStream.setBackend(&silence);
  silence.setTimeMs(70000);  // past the end of the fixture: silent
  renderFrame();
  musicStream.setBackend(ShowEnvironment::sound);
  const auto shown = readRgb(0, 0, 1024, 768);

  // Every rectangle collapses and the glow of a black picture is black: what remains is
  // the overlay added over black at the scene's zoom for 70 s.
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glColor3f(1, 1, 1);
  drawScreenQuad("overlay_cloud", std::sin(0.3f * 70.0f) + 2.0f);
  glDisable(GL_BLEND);
  const auto expected = readRgb(0, 0, 1024, 768);
  long differing = 0;
  for (size_t i = 0; i < shown.size(); ++i) differing += std::abs(shown[i] - expected[i]) > 2;
  EXPECT_LT(differing, static_cast<long>(shown.size() / 1000));
}

TEST_F(ShowTest, EachSceneReadsExactlyItsBandsEdgeForEdge) {
  // Every band edge a scene listens to, in the order the frame reads them: moving any edge
  // of any scene, or reading a band in another scene, fails here.
  using Bands = std::vector<std::pair<int, int>>;
  auto bandsReadAt = [this](double seconds) {
    Bands read;
    musicStream.setBandObserver(
        [](void* context, int low, int high) {
          static_cast<Bands*>(context)->emplace_back(low, high);
        },
        &read);
    frameAt(seconds);
    musicStream.setBandObserver(nullptr, nullptr);
    return read;
  };
  Bands cloud;
  for (int low = 0; low < 1900; low += 100) cloud.emplace_back(low, low + 100);
  cloud.emplace_back(500, 1000);
  // The opening listens only inside its blur windows and from 10 s on.
  EXPECT_EQ(bandsReadAt(1.0), Bands{});
  EXPECT_EQ(bandsReadAt(2.2), (Bands{{3000, 4000}}));
  EXPECT_EQ(bandsReadAt(20.0), (Bands{{3000, 4000}}));
  EXPECT_EQ(bandsReadAt(35.0), (Bands{{200, 400}, {1000, 2000}}));
  EXPECT_EQ(bandsReadAt(50.0), (Bands{{200, 400}, {1000, 2000}}));
  EXPECT_EQ(bandsReadAt(70.0), cloud);
  EXPECT_EQ(bandsReadAt(90.0), Bands{});
  // The bars are drawn twice, into the light's depth picture and from the camera.
  const Bands bars = {{80, 440}, {700, 1200}, {1200, 4000}};
  Bands tunnel = bars;
  tunnel.insert(tunnel.end(), bars.begin(), bars.end());
  EXPECT_EQ(bandsReadAt(110.0), tunnel);
  EXPECT_EQ(bandsReadAt(130.0), (Bands{{3000, 4000}}));

  // The schedule header lists the same bands, so that the tools' overlays and statistics
  // read what the scenes hear.
  for (double t : {20.0, 50.0, 70.0, 90.0, 110.0, 130.0}) {
    const SceneSchedule& scene = scheduleOf(sceneAt(static_cast<float>(t)));
    Bands listed;
    for (int i = 0; i < scene.bandCount; ++i) {
      listed.emplace_back(scene.bands[i].lowHz, scene.bands[i].highHz);
    }
    Bands heard = bandsReadAt(t);
    heard.resize(std::min(heard.size(), listed.size()));  // the tunnel reads its bars twice
    EXPECT_EQ(heard, listed) << scene.name;
  }
}

TEST_F(ShowTest, TunnelBarsGrowWithTheirBands) {
  // Pixels in the lit grey of the bars (0.73 of full brightness).
  auto barPixels = [](AudioBackend& music, int ms) {
    musicStream.setBackend(&music);
    static_cast<ManualAudioBackend&>(music).setTimeMs(ms);
    renderFrame();
    musicStream.setBackend(ShowEnvironment::sound);
    auto rgb = readRgb(0, 0, 1024, 768);
    long count = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) count += std::abs(rgb[i] - 186) <= 3;
    return count;
  };
  TempDir dir;
  ASSERT_TRUE(writeMp3(dir.file("silence.mp3"), 1.0, [](double) { return 0.0; }));
  // One tone inside each bar's band: 200 Hz, 1 kHz and 2 kHz.
  ASSERT_TRUE(writeMp3(dir.file("tones.mp3"), 111.0, [](double t) {
    const double w = 2.0 * 3.14159265358979323846 * t;
    return 0.3 * (std::sin(200 * w) + std::sin(1000 * w) + std::sin(2000 * w));
  }));
  ManualAudioBackend silence, tones;
  silence.open(dir.file("silence.mp3").c_str());
  tones.open(dir.file("tones.mp3").c_str());
  // The same picture time, 110.5 s in the tunnel: past the end of the silence, inside
  // the tones.
  frameAt(110.5);
  const long quiet = barPixels(silence, 110500);
  const long loud = barPixels(tones, 110500);
  EXPECT_GT(quiet, 0);
  EXPECT_GT(loud, quiet + quiet / 4);
}

TEST_F(ShowTest, ColumnCameraPicksItsOrbitFromBitOneOfTheWholeSecond) {
  frameAt(86.5);
  const Vec3 close = renderer.camera.position;
  EXPECT_NEAR(std::hypot(close.x, close.z), 3.0f, 1e-3f);
  EXPECT_NEAR(close.y, std::sin(86.5f) + 4.0f, 1e-3f);
  frameAt(88.5);
  EXPECT_FLOAT_EQ(renderer.camera.position.y, 3.0f);
}

TEST_F(ShowTest, CaptureSavesUprightNumberedFramesAndCountsFailures) {
  TempDir dir;
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  captureCounter = 0;
  // Top half red, bottom half blue, in the back buffer.
  glDisable(GL_SCISSOR_TEST);
  glViewport(0, 0, 1024, 768);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 384, 1024, 384);
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glScissor(0, 0, 1024, 384);
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);

  testing::internal::CaptureStderr();
  onKeyDown(122);
  captureFrame();  // no shots/ directory yet: reported, number used up
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("can't open shots/shot0000.png"), std::string::npos);
  EXPECT_EQ(captureCounter, 1);
  EXPECT_FALSE(captureRequested);

  ASSERT_EQ(mkdir("shots", 0755), 0);
  for (int i = 0; i < 3; ++i) {
    onKeyDown(122);
    captureFrame();
  }
  captureFrame();  // nothing requested: nothing saved
  EXPECT_EQ(captureCounter, 4);
  ImageBuffer image;
  ASSERT_EQ(read_png("shots/shot0001.png", &image, false), 0);
  EXPECT_EQ(image.width, 1024);
  EXPECT_EQ(image.height, 768);
  EXPECT_EQ(image.channels, 3);
  EXPECT_EQ(image.pixels[0], 255);  // first stored row: the top of the screen, red
  EXPECT_EQ(image.pixels[2], 0);
  EXPECT_EQ(image.pixels[767 * image.stride + 2], 255);  // last row blue
  delete[] image.pixels;
  EXPECT_EQ(access("shots/shot0003.png", F_OK), 0);
  EXPECT_NE(access("shots/shot0004.png", F_OK), 0);
  ASSERT_EQ(chdir(cwd), 0);
}

TEST_F(ShowTest, CaptureIntoAPlainFileOrAnUnwritableShotsIsReportedAndTheShowGoesOn) {
  TempDir dir;
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  captureCounter = 7;
  // "shots" as a plain file, then as a directory nobody may create files in (/proc
  // refuses even root, which ignores permission bits).
  for (const char* make : {"plain", "unwritable"}) {
    std::remove("shots");
    if (std::string(make) == "plain") {
      dir.write("shots", "not a directory");
    } else {
      ASSERT_EQ(symlink("/proc/self", "shots"), 0);
    }
    testing::internal::CaptureStderr();
    onKeyDown(122);
    captureFrame();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("can't open shots/shot"), std::string::npos) << make << ": " << said;
    EXPECT_FALSE(captureRequested);
  }
  EXPECT_EQ(captureCounter, 9);  // both numbers used up, as for a missing directory
  ASSERT_EQ(chdir(cwd), 0);
}

// A tone of `hz` at `amplitude` (0..1) for two seconds, as a sound layer.
class ToneMusic {
 public:
  ToneMusic(double hz, double amplitude) {
    const bool written = writeMp3(dir_.file("tone.mp3"), 2.0, [=](double t) {
      return amplitude * std::sin(2.0 * 3.14159265358979323846 * hz * t);
    });
    EXPECT_TRUE(written);
    sound_.open(dir_.file("tone.mp3").c_str());
  }
  // Draws the picture of show time `seconds` while the music stands at 1 s into the tone,
  // and leaves it in the back buffer; the show's own music comes back afterwards.
  void frameAt(double seconds) {
    musicStream.setBackend(&sound_);
    sound_.setTimeMs(1000);
    sound_.timeMs();
    runTimeline(static_cast<float>(seconds), 1.0f / 60.0f);
    glFlush();
    musicStream.setBackend(ShowEnvironment::sound);
    glReadBuffer(GL_BACK);
  }

 private:
  TempDir dir_;
  ManualAudioBackend sound_;
};

// Horizontally neighbouring pixel pairs of the frame that differ by more than a quarter of
// full scale: the hard edges of a sharp picture, which a blur smooths away.
long hardEdges() {
  auto rgb = readRgb(0, 0, 1024, 768);
  long edges = 0;
  for (int y = 0; y < 768; ++y) {
    for (int x = 1; x < 1024; ++x) {
      edges += std::abs(rgb[(y * 1024 + x) * 3] - rgb[(y * 1024 + x - 1) * 3]) > 64;
    }
  }
  return edges;
}

// The first column from the left where the closing logo's dark underline shows (the
// band of rows 122-132 from the bottom, below the lettering); -1 if it is not on screen.
int underlineStart() {
  auto rgb = readRgb(0, 122, 1024, 11);
  for (int x = 0; x < 1024; ++x) {
    int dark = 0;
    for (int y = 0; y < 11; ++y) dark += rgb[(y * 1024 + x) * 3] < 128;
    if (dark >= 8) return x;
  }
  return -1;
}

TEST_F(ShowTest, OpeningBlursWithTheHighBandOnlyInItsWindowsAndFromTenSecondsOn) {
  ToneMusic loud(3500.0, 0.5);
  const double openingEnd = scheduleOf(kOpening).end;
  for (const TimeWindow& w : kOpeningBlurWindows) {
    // Inside a window the screen shows the blurred copy: no hard edge is left.
    for (double t : {(w.from + w.to) / 2.0, std::min(w.from + 0.5, w.to - 0.1)}) {
      loud.frameAt(t);
      EXPECT_EQ(hardEdges(), 0) << "not blurred at " << t << " s";
    }
    // The windows are open intervals: their ends are frames of a 60 fps capture, unblurred.
    for (double t : {w.from - 0.1, w.from, w.to, w.to + 0.1}) {
      if (t >= openingEnd) continue;  // another scene
      loud.frameAt(t);
      EXPECT_GT(hardEdges(), 3) << "blurred at " << t << " s";
    }
  }
}

TEST_F(ShowTest, ClosingLogoSlidesLeftAtAboutTwoHundredThirtyFivePixelsPerSecond) {
  ToneMusic silence(3500.0, 0.0);  // a quiet high band: the plain, unblurred logo
  // Half a unit a second at 0.85 units from the eye: 234.6 pixels a second on the 1024 x
  // 768 view. The underline's left end crosses the screen between 126 and 129 s.
  const int expected[] = {702, 467, 233};
  for (int i = 0; i < 3; ++i) {
    silence.frameAt(126.0 + i);
    EXPECT_NEAR(underlineStart(), expected[i], 2) << "at " << 126 + i << " s";
  }
  silence.frameAt(129.5);
  EXPECT_EQ(underlineStart(), 0);  // left of the screen by now
  // Above and below the logo the white ground reaches the screen's edges.
  for (int y : {0, 767}) {
    auto row = readRgb(0, y, 1024, 1);
    EXPECT_GT(*std::min_element(row.begin(), row.end()), 200) << "row " << y;
  }
  // The logo's light grey ground is last to leave, at kClosingLogoGone: its right edge is
  // still at the screen's left edge then, and a tenth of a second later all is white.
  auto greyPixels = [] {
    auto rgb = readRgb(0, 0, 1024, 768);
    return std::count_if(rgb.begin(), rgb.end(), [](uint8_t v) { return v < 255; });
  };
  silence.frameAt(kClosingLogoGone);
  EXPECT_GT(greyPixels(), 0) << "all white already at " << kClosingLogoGone << " s";
  silence.frameAt(kClosingLogoGone + 0.1);
  EXPECT_EQ(greyPixels(), 0) << "the logo still in view at " << kClosingLogoGone + 0.1 << " s";
}

TEST_F(ShowTest, WordsShowAtTheirTimesAndWiderWordsLookWider) {
  // Columns of the middle of the picture lit through a word's height: a star lights a
  // few pixels of a column, a letter dozens.
  auto wordWidth = [this](double t) {
    frameAt(t);
    auto rgb = readRgb(0, 300, 1024, 168);
    int first = -1;
    int last = -1;
    for (int x = 0; x < 1024; ++x) {
      int lit = 0;
      for (int y = 0; y < 168; ++y) lit += rgb[(y * 1024 + x) * 3] > 120;
      if (lit >= 30) {
        if (first < 0) first = x;
        last = x;
      }
    }
    return first < 0 ? 0 : last - first + 1;
  };
  // Rendered in this order: while the 1-2 kHz band is silent a frame builds on the last.
  EXPECT_EQ(wordWidth(41.6), 0);    // before the first word
  EXPECT_GT(wordWidth(41.9), 400);  // "with"
  const int as = wordWidth(44.52);
  const int concept = wordWidth(44.53);
  EXPECT_GT(as, 200);
  EXPECT_GT(concept, as * 2) << "seven letters after two";
  EXPECT_GT(wordWidth(58.0), 300);  // "his", the last word
  EXPECT_EQ(wordWidth(58.75), 0);
}

TEST_F(ShowTest, CloudRectanglesGrowWithTheirToneAndEachBandHasItsOwn) {
  // Pixels brighter than the overlay alone leaves over black.
  auto litPixels = [](ToneMusic& music) {
    music.frameAt(70.0);
    auto rgb = readRgb(0, 0, 1024, 768);
    std::vector<bool> lit(rgb.size() / 3);
    for (size_t i = 0; i < lit.size(); ++i) lit[i] = rgb[i * 3] > 150;
    return lit;
  };
  ToneMusic quiet(450.0, 0.15), loud(450.0, 0.3), other(1450.0, 0.3);
  auto count = [](const std::vector<bool>& lit) {
    return std::count(lit.begin(), lit.end(), true);
  };
  const auto soft = litPixels(quiet);
  const auto strong = litPixels(loud);
  const auto elsewhere = litPixels(other);
  // Half and full size in each direction: about four times the area.
  EXPECT_GT(count(soft), 20000);
  EXPECT_GT(count(strong), count(soft) * 5 / 2);
  // A tone ten bands higher lights another rectangle, somewhere else.
  long onlyStrong = 0;
  long onlyElsewhere = 0;
  for (size_t i = 0; i < strong.size(); ++i) {
    onlyStrong += strong[i] && !elsewhere[i];
    onlyElsewhere += elsewhere[i] && !strong[i];
  }
  EXPECT_GT(onlyStrong, 8000);
  EXPECT_GT(onlyElsewhere, 50000);
}

TEST_F(ShowTest, TunnelEachBarGrowsWithItsOwnBand) {
  // Pixels in the lit grey of the bars (0.73 of full brightness) at 110.5 s.
  auto barPixels = [](ToneMusic& music) {
    music.frameAt(110.5);
    auto rgb = readRgb(0, 0, 1024, 768);
    long count = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) count += std::abs(rgb[i] - 186) <= 3;
    return count;
  };
  ToneMusic silence(200.0, 0.0);
  const long quiet = barPixels(silence);
  EXPECT_NEAR(quiet, 4377, 220) << "three bars at rest, each 0.5 wide and 1 high";
  // One tone inside each bar's band: 80-440 Hz, 700-1200 Hz, 1200-4000 Hz.
  for (double hz : {200.0, 1000.0, 2000.0}) {
    ToneMusic tone(hz, 0.5);
    EXPECT_GT(barPixels(tone), quiet + 800) << hz << " Hz";
  }
}

TEST_F(ShowTest, ColumnFieldCoversTheGroundAsSeenFromEachOrbit) {
  // The share of the picture showing the white ground between and behind the columns:
  // close orbit (86.5 s), wide orbit (88.5 s), close again a quarter second in (92.25 s).
  const std::pair<double, double> expected[] = {{86.5, 0.521}, {88.5, 0.894}, {92.25, 0.663}};
  for (auto [t, share] : expected) {
    frameAt(t);
    auto rgb = readRgb(0, 0, 1024, 768);
    long ground = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) ground += rgb[i] >= 250;
    EXPECT_NEAR(ground / (1024.0 * 768.0), share, 0.005) << "at " << t << " s";
  }
}

}  // namespace
