// Camera, letterboxing, render targets and the blur/glow passes, read back from llvmpipe.
#include <GL/glew.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "GlTestSupport.h"
#include "TestSupport.h"
#include "app/Demo.h"
#include "app/Globals.h"
#include "render/PostProcess.h"
#include "render/RenderTarget.h"
#include "render/Renderer.h"

namespace {

void expectMatrix(const float actual[16], const std::vector<float>& expected) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-5f) << "element " << i;
}

TEST(CameraTest, DefaultCameraIsTheIdentity) {
  Camera camera;
  float m[16];
  camera.viewMatrix(m);
  expectMatrix(m, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
}

TEST(CameraTest, LookingAtTheOriginFromZFiveOnlyTranslates) {
  Camera camera;
  camera.setPosition(0, 0, 5);
  camera.setTarget(0, 0, 0);
  float m[16];
  camera.viewMatrix(m);
  expectMatrix(m, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -5, 1});
}

TEST(CameraTest, ACameraAtItsTargetGivesAFiniteMatrix) {
  // No direction to look in: the matrix degenerates but holds no NaN to spread into a frame.
  Camera camera;
  camera.setPosition(1, 2, 3);
  camera.setTarget(1, 2, 3);
  float m[16];
  camera.viewMatrix(m);
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(m[i])) << "element " << i;
}

TEST(CameraTest, SideAndUpStayUnnormalisedWhenLookingDown) {
  Camera camera;
  camera.setPosition(0, 1, 1);
  camera.setTarget(0, 0, 0);  // 45 degrees down: both axes shrink to sin 45
  float m[16];
  camera.viewMatrix(m);
  const float s = std::sqrt(0.5f);
  EXPECT_NEAR(m[0], s, 1e-5f);                                      // side.x
  EXPECT_NEAR(std::hypot(m[1], std::hypot(m[5], m[9])), s, 1e-5f);  // |up|
}

TEST(CameraTest, SetDirectionIsRelativeToTheCurrentPosition) {
  Camera camera;
  camera.setPosition(1, 2, 3);
  camera.setDirection(0, 0, -1);
  EXPECT_FLOAT_EQ(camera.target.x, 1);
  EXPECT_FLOAT_EQ(camera.target.y, 2);
  EXPECT_FLOAT_EQ(camera.target.z, 2);
}

TEST(RendererTest, LetterboxKeepsFourThreeOnWiderAndTallerScreens) {
  int v[4];
  Renderer::letterbox(4.0f / 3.0f, 1024, 768, v);
  EXPECT_EQ(std::vector<int>(v, v + 4), (std::vector<int>{0, 0, 1024, 768}));
  Renderer::letterbox(4.0f / 3.0f, 1280, 1024, v);
  EXPECT_EQ(std::vector<int>(v, v + 4), (std::vector<int>{0, 32, 1280, 960}));
}

class RenderGlTest : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    // The default reporter exits with status 0, which ctest would count as a pass.
    setFatalReporter(throwingFatalReporter);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 1024.0 / 768.0, 0.1, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glColor3f(1, 1, 1);
    demoSystem.textures.setFilters(GL_LINEAR, GL_LINEAR);
    if (!demoSystem.fbos.contains("rt.blur")) {
      demoSystem.createColorTarget("rt.glow", 256, 128);
      demoSystem.createColorTarget("rt.blur", 256, 256);
      demoSystem.createColorTarget("dest", 256, 256);
      demoSystem.createColorTarget("same0", 1024, 512);
      demoSystem.createColorTarget("same1", 1024, 512);
      demoSystem.createDepthTarget("depth", 256, 256);
    }
  }

  // A 256 x 256 RGBA texture, black but for one white texel.
  void makeDotTexture(const char* name, int x, int y) {
    std::vector<uint8_t> pixels(256 * 256 * 4, 0);
    uint8_t* p = &pixels[(y * 256 + x) * 4];
    p[0] = p[1] = p[2] = p[3] = 255;
    demoSystem.textures.create(name, 256, 256, pixels.data(), GL_RGBA8, GL_RGBA);
  }

  std::array<uint8_t, 4> targetPixel(const char* target, int x, int y) {
    demoSystem.fbos.use(target);
    auto p = readPixel(x, y);
    demoSystem.fbos.unuse();
    return p;
  }
};

TEST_F(RenderGlTest, SetUpStartsEveryMouseValueAtZero) {
  // The slots Q/W and A/S pick and the mouse drags: untouched, they read 0.
  Renderer fresh;
  for (float& v : fresh.mouseValues) v = 0.25f;
  fresh.setUp();
  for (int i = 0; i < kMouseValueCount; ++i) EXPECT_EQ(fresh.mouseValues[i], 0.0f) << i;
}

TEST_F(RenderGlTest, TargetsOfOneStorageSizeShareADepthBuffer) {
  EXPECT_EQ(demoSystem.fbos.get("same0").texture.width, 1024);
  GLint depth0 = 0, depth1 = 0, depthBlur = 0;
  for (auto [name, out] :
       {std::pair{"same0", &depth0}, {"same1", &depth1}, {"rt.blur", &depthBlur}}) {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, demoSystem.fbos.get(name).framebuffer);
    glGetFramebufferAttachmentParameterivEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT,
                                             GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME_EXT, out);
  }
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  EXPECT_NE(depth0, 0);
  EXPECT_EQ(depth0, depth1);
  EXPECT_NE(depth0, depthBlur);
  EXPECT_EQ(depthRenderbuffers.count((1024 << 16) + 512), 1u);
}

TEST_F(RenderGlTest, UseSetsTheTargetViewportAndUnuseRestoresIt) {
  glViewport(3, 4, 500, 400);
  demoSystem.fbos.use("rt.glow");
  GLint v[4];
  glGetIntegerv(GL_VIEWPORT, v);
  EXPECT_EQ(std::vector<int>(v, v + 4), (std::vector<int>{0, 0, 256, 128}));
  demoSystem.fbos.unuse();
  glGetIntegerv(GL_VIEWPORT, v);
  EXPECT_EQ(std::vector<int>(v, v + 4), (std::vector<int>{3, 4, 500, 400}));
  EXPECT_FATAL(demoSystem.fbos.use("x"), "No such FBO: 'x'.");
  EXPECT_FATAL(demoSystem.fbos.unuse(), "Cannot unuse: No FBO in use.");
}

TEST_F(RenderGlTest, AResizeToNoHeightKeepsTheProjectionFinite) {
  // A window rolled up to its title bar reports a height of 0, or nothing at all.
  for (auto [width, height] : {std::pair{1024, 0}, {0, 0}}) {
    onResize(width, height);
    float m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    for (int i = 0; i < 16; ++i) {
      EXPECT_TRUE(std::isfinite(m[i])) << width << " x " << height << ", element " << i;
    }
  }
}

TEST_F(RenderGlTest, DepthOnlyTargetsDrawAndReadNothingElse) {
  demoSystem.fbos.use("depth");
  GLint draw = 0, read = 0;
  glGetIntegerv(GL_DRAW_BUFFER, &draw);
  glGetIntegerv(GL_READ_BUFFER, &read);
  EXPECT_EQ(draw, GL_NONE);
  EXPECT_EQ(read, GL_NONE);
  demoSystem.fbos.unuse();
  glGetIntegerv(GL_DRAW_BUFFER, &draw);
  glGetIntegerv(GL_READ_BUFFER, &read);
  EXPECT_EQ(draw, GL_BACK);
  EXPECT_EQ(read, GL_BACK);
}

TEST_F(RenderGlTest, RecreatingATargetKeepsItsTextureName) {
  const GLuint texture = demoSystem.textures.get("same1").glName;
  const GLuint framebuffer = demoSystem.fbos.get("same1").framebuffer;
  demoSystem.createColorTarget("same1", 1024, 512);
  EXPECT_EQ(demoSystem.textures.get("same1").glName, texture);
  EXPECT_NE(demoSystem.fbos.get("same1").framebuffer, framebuffer);
  EXPECT_FALSE(glIsFramebufferEXT(framebuffer));
}

TEST_F(RenderGlTest, NewTargetsStartClearedAndKeepTheClearValuesInForce) {
  // The start-up clear values; a target made mid-show must not change them.
  glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
  glClearDepth(0.25);
  demoSystem.createColorTarget("fresh", 128, 64);
  demoSystem.createDepthTarget("freshDepth", 64, 64);
  GLfloat colour[4];
  GLfloat clearDepth = 0;
  glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
  glGetFloatv(GL_DEPTH_CLEAR_VALUE, &clearDepth);
  EXPECT_FLOAT_EQ(colour[3], 0.5f);
  EXPECT_FLOAT_EQ(clearDepth, 0.25f);
  glClearDepth(1.0);

  // Mesa hands out depth 0, which fails every less-or-equal test until a clear.
  auto depthAt = [](const char* target) {
    demoSystem.fbos.use(target);
    GLfloat depth = -1.0f;
    glReadPixels(5, 5, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    demoSystem.fbos.unuse();
    return depth;
  };
  EXPECT_FLOAT_EQ(depthAt("fresh"), 1.0f);
  EXPECT_EQ(targetPixel("fresh", 5, 5), (std::array<uint8_t, 4>{0, 0, 0, 0}));
  EXPECT_FLOAT_EQ(depthAt("freshDepth"), 1.0f);
  GLint draw = 0;
  glGetIntegerv(GL_DRAW_BUFFER, &draw);
  EXPECT_EQ(draw, GL_BACK);  // the window's draw buffer is untouched
}

TEST_F(RenderGlTest, OneBlurPassSpreadsATexelToFourDiagonalTapsOfAQuarterWeight) {
  makeDotTexture("dot", 100, 100);
  // b = 2 texels vertically, c = 3 horizontally, weight 1: each tap carries 1/4.
  blur("dot", "dest", 1, 2.0f, 3.0f, 1.0f);
  for (auto [x, y] : {std::pair{97, 98}, {103, 102}, {97, 102}, {103, 98}}) {
    auto p = targetPixel("dest", x, y);
    EXPECT_NEAR(p[0], 64, 1) << x << "," << y;
  }
  EXPECT_EQ(targetPixel("dest", 100, 100)[0], 0);
  // Weight 2 doubles every tap.
  blur("dot", "dest", 1, 2.0f, 3.0f, 2.0f);
  EXPECT_NEAR(targetPixel("dest", 97, 98)[0], 128, 1);
}

TEST_F(RenderGlTest, OddPassCountsEndInTheDestinationEvenOnesInThePingPongTarget) {
  makeDotTexture("dot", 128, 128);
  demoSystem.fbos.use("rt.blur");
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT);
  demoSystem.fbos.unuse();
  blur("dot", "dest", 1, 0.0f, 0.0f, 1.0f);  // zero offsets: four taps on the texel itself
  EXPECT_NEAR(targetPixel("dest", 128, 128)[0], 255, 1);
  EXPECT_EQ(targetPixel("rt.blur", 128, 128)[0], 0);
  blur("dot", "dest", 2, 0.0f, 0.0f, 0.5f);  // second pass halves into rt.blur
  EXPECT_NEAR(targetPixel("dest", 128, 128)[0], 128, 1);
  EXPECT_NEAR(targetPixel("rt.blur", 128, 128)[0], 64, 1);
  blur("dot", "dest", 3, 0.0f, 0.0f, 0.5f);  // the third pass writes dest again
  EXPECT_NEAR(targetPixel("dest", 128, 128)[0], 32, 1);
}

TEST_F(RenderGlTest, BlurAndGlowLeaveDepthTestOnAndBlendingOff) {
  makeDotTexture("dot", 10, 10);
  glEnable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  blur("dot", "dest", 0, 1.0f, 1.0f, 1.0f);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  glEnable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glow("dot", "dest", 1, 1.0f);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
}

TEST_F(RenderGlTest, GlowWithoutAdditionsCopiesTheSource) {
  std::vector<uint8_t> pixels(256 * 256 * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i / 4) % 251);
  demoSystem.textures.create("ramp", 256, 256, pixels.data(), GL_RGBA8, GL_RGBA);
  glow("ramp", "dest", 0, 1.0f);
  for (auto [x, y] : {std::pair{5, 5}, {128, 64}, {250, 200}}) {
    const uint8_t expected = pixels[(y * 256 + x) * 4];
    EXPECT_NEAR(targetPixel("dest", x, y)[0], expected, 2) << x << "," << y;
  }
}

TEST_F(RenderGlTest, ScreenQuadCoversTheFourThreeViewAndLeavesTexturingOn) {
  std::vector<uint8_t> white(4 * 4 * 4, 255);
  demoSystem.textures.create("white", 4, 4, white.data(), GL_RGBA8, GL_RGBA);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  GLfloat before[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, before);
  drawScreenQuad("white", 1.0f);
  for (auto [x, y] : {std::pair{0, 0}, {1023, 0}, {0, 767}, {1023, 767}, {512, 384}}) {
    EXPECT_EQ(readPixel(x, y)[0], 255) << x << "," << y;
  }
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  GLfloat after[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, after);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]);
  // Half scale leaves the corners black.
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  drawScreenQuad("white", 0.5f);
  EXPECT_EQ(readPixel(10, 10)[0], 0);
  EXPECT_EQ(readPixel(512, 384)[0], 255);
  EXPECT_FATAL(drawScreenQuad("x", 1.0f), "No such texture: 'x'.");
}

TEST_F(RenderGlTest, EachBlurPassSpreadsItsTapsHalfAgainAsFarAsTheLastOne) {
  makeDotTexture("dot", 128, 128);
  // Taps 2 texels out, then 3: every texel lands on exactly one of 16 points, 5 or 1
  // texels from the dot along each axis, with a sixteenth of its brightness.
  blur("dot", "dest", 2, 2.0f, 2.0f, 1.0f);
  for (auto [x, y] : {std::pair{133, 133}, {123, 123}, {129, 127}, {133, 127}, {123, 129}}) {
    EXPECT_NEAR(targetPixel("rt.blur", x, y)[0], 16, 1) << x << "," << y;
  }
  for (auto [x, y] : {std::pair{128, 128}, {130, 130}, {131, 131}, {134, 134}, {126, 126}}) {
    EXPECT_EQ(targetPixel("rt.blur", x, y)[0], 0) << x << "," << y;
  }
}

TEST_F(RenderGlTest, GlowAddsAHaloAroundBrightShapesThatFadesWithinAFewTexels) {
  // A white 32 x 32 square in the middle of a black 256 x 256 picture.
  std::vector<uint8_t> pixels(256 * 256 * 4, 0);
  for (int y = 112; y < 144; ++y) {
    for (int x = 112; x < 144; ++x) std::fill_n(&pixels[(y * 256 + x) * 4], 4, 255);
  }
  demoSystem.textures.create("square", 256, 256, pixels.data(), GL_RGBA8, GL_RGBA);
  auto row = [&](int additions) {
    glow("square", "dest", additions, 1.0f);
    demoSystem.fbos.use("dest");
    auto rgb = readRgb(0, 128, 256, 1);
    demoSystem.fbos.unuse();
    std::vector<int> red(256);
    for (int x = 0; x < 256; ++x) red[x] = rgb[x * 3];
    return red;
  };
  const auto once = row(1);
  const auto twice = row(2);
  EXPECT_EQ(once[128], 255);
  EXPECT_EQ(once[20], 0);  // far outside: black
  EXPECT_EQ(once[236], 0);
  // The halo's profile along the middle row, outside the square's right edge (143).
  const int expected[][2] = {{144, 120}, {146, 86}, {148, 54}, {150, 30}, {152, 14}, {156, 0}};
  for (auto [x, level] : expected) EXPECT_NEAR(once[x], level, 3) << "at x = " << x;
  EXPECT_GT(once[109], once[103]);            // and fading outward on the left
  EXPECT_NEAR(twice[146], 2 * once[146], 2);  // each addition adds the same halo again
}

}  // namespace
