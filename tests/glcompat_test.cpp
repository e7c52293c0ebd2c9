// The browser build's GL gap filler, run here on the desktop GL (llvmpipe) against the
// calls it stands in for: each lumorak* call must leave the pixels and state the real call
// leaves. The shader adaptation is checked as text and by compiling what it makes.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "GlTestSupport.h"
#include "render/GlCompat.h"

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The material file's two stages: the text after %VERTEX_SHADER and %FRAGMENT_SHADER.
std::string stageOf(const std::string& material, const std::string& marker) {
  const size_t at = material.find(marker);
  if (at == std::string::npos) return "";
  const size_t from = material.find('\n', at) + 1;
  const size_t to = material.find("\n%", from);
  return material.substr(from, to == std::string::npos ? std::string::npos : to - from + 1);
}

int lineCount(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(ShaderAdaptationTest, DropsTheVersionLineAndKeepsEveryLineNumber) {
  const std::string source =
      "#version 110\nvarying vec3 n;\nvoid main() {\n  n = gl_NormalMatrix * gl_Normal;\n}\n";
  const std::string adapted = adaptShaderToWebGl(source, false);
  EXPECT_EQ(adapted.find("#version"), std::string::npos);
  EXPECT_EQ(lineCount(adapted), lineCount(source));
  EXPECT_EQ(adapted.find("gl_NormalMatrix"), std::string::npos);
  EXPECT_NE(adapted.find("gl_ModelViewMatrix[2].xyz) * gl_Normal"), std::string::npos);
  // Names that only start like the built-in stay.
  EXPECT_NE(adaptShaderToWebGl("float gl_NormalMatrixish;", false).find("gl_NormalMatrixish"),
            std::string::npos);
}

TEST(ShaderAdaptationTest, TextureMatricesAndThePointSizeBecomeUniformsOnTheFirstLine) {
  const std::string vertex =
      "#version 110\nvarying vec4 c;\nvoid main()\n{\n  c = gl_TextureMatrix[0] * gl_Vertex;\n"
      "  gl_Position = gl_TextureMatrix[ 2 ] * ftransform();\n}\n";
  const std::string adapted = adaptShaderToWebGl(vertex, false);
  EXPECT_EQ(lineCount(adapted), lineCount(vertex));
  EXPECT_EQ(adapted.find("gl_TextureMatrix"), std::string::npos);
  EXPECT_EQ(adapted.substr(0, adapted.find('\n')),
            "uniform mat4 lumorakTextureMatrix0; uniform mat4 lumorakTextureMatrix2; "
            "uniform float lumorakPointSize; ");
  EXPECT_NE(
      adapted.find("{ gl_PointSize = lumorakPointSize;\n  c = lumorakTextureMatrix0 * gl_Vertex;"),
      std::string::npos);
  // Fragment shaders write no point size.
  EXPECT_EQ(
      adaptShaderToWebGl("void main() { gl_FragColor = vec4(1.0); }", true).find("gl_PointSize"),
      std::string::npos);
}

TEST(ShaderAdaptationTest, TheShadowLookupBecomesAHandComparisonInFragmentShadersOnly) {
  const std::string fragment =
      "#version 110\nuniform sampler2DShadow shadow;\nvarying vec4 c;\nvoid main() {\n"
      "  gl_FragColor = shadow2DProj(shadow, c);\n}\n";
  const std::string adapted = adaptShaderToWebGl(fragment, true);
  EXPECT_EQ(adapted.find("sampler2DShadow"), std::string::npos);
  EXPECT_NE(adapted.find("uniform sampler2D shadow;"), std::string::npos);
  EXPECT_NE(adapted.find("lumorakShadow2DProj(shadow, c)"), std::string::npos);
  EXPECT_EQ(lineCount(adapted), lineCount(fragment));
  // Without the lookup nothing is added.
  const std::string plain = "void main() { gl_FragColor = vec4(1.0); }\n";
  EXPECT_EQ(adaptShaderToWebGl(plain, true), plain);
}

// Compiles and links on the desktop GL, through the ARB-named stand-ins; the log if not.
std::string linkProgram(const std::string& vertex, const std::string& fragment, GLhandleARB& out) {
  out = lumorakCreateProgramObject();
  std::string log;
  for (const auto& [type, text] :
       {std::pair{GL_VERTEX_SHADER, vertex}, std::pair{GL_FRAGMENT_SHADER, fragment}}) {
    GLhandleARB shader = lumorakCreateShaderObject(type);
    const GLchar* source = text.c_str();
    lumorakShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    lumorakGetObjectParameteriv(shader, GL_OBJECT_COMPILE_STATUS_ARB, &ok);
    char buffer[1024] = "";
    lumorakGetInfoLog(shader, sizeof buffer, nullptr, buffer);
    if (!ok) log += buffer;
    glAttachShader(out, shader);
    lumorakDeleteObject(shader);  // flagged, freed with the program
  }
  glLinkProgram(out);
  GLint linked = 0;
  lumorakGetObjectParameteriv(out, GL_OBJECT_LINK_STATUS_ARB, &linked);
  if (!linked) {
    char buffer[1024] = "";
    lumorakGetInfoLog(out, sizeof buffer, nullptr, buffer);
    log += buffer;
  }
  return log;
}

// The same shaders as the desktop takes them, through the core calls, unadapted.
GLuint linkUnadapted(const std::string& vertex, const std::string& fragment) {
  const GLuint program = glCreateProgram();
  for (auto [type, text] :
       {std::pair{GL_VERTEX_SHADER, vertex}, std::pair{GL_FRAGMENT_SHADER, fragment}}) {
    GLuint shader = glCreateShader(type);
    const GLchar* source = text.c_str();
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    glAttachShader(program, shader);
    glDeleteShader(shader);
  }
  glLinkProgram(program);
  return program;
}

class GlCompatTest : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glUseProgram(0);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }
};

TEST_F(GlCompatTest, EveryMaterialCompilesAndLinksOnceAdapted) {
  for (const char* name : {"shadow", "show_depth", "show_normals"}) {
    const std::string material = readFile(std::string("data/materials/") + name + ".mat");
    ASSERT_FALSE(material.empty()) << name;
    GLhandleARB program = 0;
    EXPECT_EQ(linkProgram(stageOf(material, "%VERTEX_SHADER"),
                          stageOf(material, "%FRAGMENT_SHADER"), program),
              "")
        << name;
    lumorakDeleteObject(program);
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlCompatTest, AFailedCompileReportsItsLogThroughTheStandIns) {
  GLhandleARB program = 0;
  const std::string log =
      linkProgram("void main() { gl_Position = nonsense; }", "void main() {}", program);
  EXPECT_NE(log.find("nonsense"), std::string::npos) << log;
  lumorakDeleteObject(program);
}

TEST_F(GlCompatTest, TheHandMadeShadowCompareMatchesTheShadowSampler) {
  // A depth map: 0.25 on the left half, 0.75 on the right. Fragments at depth 0.5 are lit
  // (1) where the map is deeper and shadowed (0) where it is nearer, both ways alike.
  std::vector<uint16_t> depths(64 * 64);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) depths[y * 64 + x] = x < 32 ? 16384 : 49151;
  }
  GLuint map = 0;
  glGenTextures(1, &map);
  glBindTexture(GL_TEXTURE_2D, map);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT16, 64, 64, 0, GL_DEPTH_COMPONENT,
               GL_UNSIGNED_SHORT, depths.data());
  const std::string vertex =
      "varying vec4 c;\nvoid main() { c = vec4(gl_MultiTexCoord0.xy, 0.5, 1.0) * 2.0; gl_Position "
      "= ftransform(); }\n";
  const std::string fragment =
      "#version 110\nuniform sampler2DShadow map;\nvarying vec4 c;\n"
      "void main() { gl_FragColor = vec4(shadow2DProj(map, c).r); }\n";
  auto draw = [&](bool compareInHardware) {
    GLhandleARB program = 0;
    std::string log;
    if (compareInHardware) {
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_R_TO_TEXTURE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
      program = linkUnadapted(vertex, fragment);
    } else {
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_NONE);
      log = linkProgram(vertex, fragment, program);
    }
    EXPECT_EQ(log, "");
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "map"), 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    glUseProgram(0);
    glDeleteProgram(program);
    return std::pair{readPixel(200, 384)[0], readPixel(800, 384)[0]};
  };
  const auto hardware = draw(true);
  const auto byHand = draw(false);
  EXPECT_EQ(hardware.first, 0);
  EXPECT_EQ(hardware.second, 255);
  EXPECT_EQ(byHand, hardware);
  glDeleteTextures(1, &map);
}

TEST_F(GlCompatTest, AdaptedShadersGetTheTextureMatrixAndPointSizeAtEveryDraw) {
  // A point moved by the texture matrix, 9 pixels wide: the desktop's built-ins and the
  // adapted shader's uniforms must put the same square in the same place.
  const std::string vertex =
      "void main() { gl_FrontColor = gl_Color; gl_Position = gl_TextureMatrix[0] * gl_Vertex; }\n";
  const std::string fragment = "void main() { gl_FragColor = gl_Color; }\n";
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glTranslatef(0.5f, -0.25f, 0.0f);
  glMatrixMode(GL_MODELVIEW);
  auto lit = [](const std::vector<uint8_t>& rgb) {
    std::vector<size_t> at;
    for (size_t i = 0; i < rgb.size(); i += 3) {
      if (rgb[i] > 128) at.push_back(i / 3);
    }
    return at;
  };
  auto draw = [&](bool adapted) {
    GLhandleARB program = 0;
    if (adapted) {
      EXPECT_EQ(linkProgram(vertex, fragment, program), "");
      glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);  // the desktop's switch for gl_PointSize
      lumorakUseProgram(program);
    } else {
      program = linkUnadapted(vertex, fragment);
      glUseProgram(program);
    }
    lumorakPointSize(9.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    lumorakBegin(GL_POINTS);
    lumorakVertex3f(0.0f, 0.0f, 0.0f);
    lumorakEnd();
    lumorakUseProgram(0);
    glDisable(GL_VERTEX_PROGRAM_POINT_SIZE);
    lumorakDeleteObject(program);
    return lit(readRgb(0, 0, 1024, 768));
  };
  const auto builtIn = draw(false);
  const auto adapted = draw(true);
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  lumorakPointSize(1.0f);
  ASSERT_EQ(builtIn.size(), 81u);
  EXPECT_EQ(builtIn.front() % 1024, 768u - 4);  // x: 0.5 in clip space
  EXPECT_EQ(adapted, builtIn);
}

TEST_F(GlCompatTest, ThePerspectiveMultipliesWhatIsLoadedAsGlusDoes) {
  // The shadow lookup's texture matrix: a bias loaded first, then the light's frustum.
  static const GLfloat kBias[16] = {0.5f, 0, 0,    0, 0,    0.5f, 0,    0,
                                    0,    0, 0.5f, 0, 0.5f, 0.5f, 0.5f, 1};
  GLfloat glus[16];
  GLfloat ours[16];
  glMatrixMode(GL_TEXTURE);
  for (GLfloat* out : {glus, ours}) {
    glLoadMatrixf(kBias);
    if (out == glus) {
      gluPerspective(90.0, 1.3, 2.0, 8.0);
    } else {
      lumorakPerspective(90.0, 1.3, 2.0, 8.0);
    }
    glGetFloatv(GL_TEXTURE_MATRIX, out);
  }
  glLoadIdentity();
  lumorakPerspective(90.0, 1.3, 5.0, 5.0);  // no depth range: GLU leaves the matrix
  GLfloat unchanged[16];
  glGetFloatv(GL_TEXTURE_MATRIX, unchanged);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(ours[i], glus[i], 1e-6f) << "element " << i;
  EXPECT_EQ(unchanged[0], 1.0f);
  EXPECT_EQ(unchanged[14], 0.0f);
}

TEST_F(GlCompatTest, StateWebGlCannotBeAskedForReadsAsTheDesktopsAnswer) {
  lumorakColor3f(0.25f, 0.5f, 0.75f);
  lumorakPointSize(7.0f);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  for (GLenum name : {GL_CURRENT_COLOR, GL_POINT_SIZE, GL_BLEND_SRC, GL_BLEND_DST}) {
    GLfloat desktop[4] = {-1, -1, -1, -1};
    GLfloat kept[4] = {-1, -1, -1, -1};
    glGetFloatv(name, desktop);
    lumorakGetFloatv(name, kept);
    EXPECT_EQ((std::vector<GLfloat>(kept, kept + 4)), (std::vector<GLfloat>(desktop, desktop + 4)))
        << "0x" << std::hex << name;
  }
  lumorakColor4fv(std::array<GLfloat, 4>{0.1f, 0.2f, 0.3f, 0.4f}.data());
  GLfloat colour[4];
  lumorakGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_FLOAT_EQ(colour[3], 0.4f);
  lumorakColor3f(1, 1, 1);
  lumorakPointSize(1.0f);
  glBlendFunc(GL_ONE, GL_ZERO);
}

TEST(QuadStripTest, StripVerticesFormQuadsInGlsOrder) {
  EXPECT_EQ(quadStripAsQuads(6), (std::vector<int>{0, 1, 3, 2, 2, 3, 5, 4}));
  EXPECT_EQ(quadStripAsQuads(5), (std::vector<int>{0, 1, 3, 2}));  // the odd one is dropped
  EXPECT_TRUE(quadStripAsQuads(3).empty());
  EXPECT_TRUE(quadStripAsQuads(0).empty());
}

// A ribbon that turns, drawn with `begin`/`vertex`/`end`.
template <typename Begin, typename Vertex, typename End>
std::vector<uint8_t> drawRibbon(Begin begin, Vertex vertex, End end) {
  glClear(GL_COLOR_BUFFER_BIT);
  glColor3f(0.4f, 0.7f, 0.2f);
  begin(GL_QUAD_STRIP);
  for (int i = 0; i <= 8; ++i) {
    const float x = -0.9f + 0.2f * i;
    const float lift = 0.3f * std::sin(0.8f * i);
    vertex(x, -0.5f + lift);
    vertex(x + 0.05f * i, 0.4f + lift);
  }
  end();
  glColor3f(1, 1, 1);
  return readRgb(0, 0, 1024, 768);
}

TEST_F(GlCompatTest, AQuadStripDrawsTheSamePixelsAsGlsOwn) {
  const auto own = drawRibbon([](GLenum m) { glBegin(m); },
                              [](float x, float y) { glVertex2f(x, y); }, [] { glEnd(); });
  const auto standIn = drawRibbon(
      lumorakBegin, [](float x, float y) { lumorakVertex3f(x, y, 0); }, lumorakEnd);
  size_t lit = 0;
  for (size_t i = 0; i < own.size(); i += 3) lit += own[i + 1] > 0;
  EXPECT_GT(lit, 100000u);  // the ribbon is on screen
  EXPECT_EQ(standIn, own);
}

TEST_F(GlCompatTest, ANormalGivenOnceLightsEveryVertexOfTheBlock) {
  // Lit from +z: a quad whose one normal faces the light is bright, facing away dark.
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  const GLfloat position[4] = {0, 0, 1, 0};
  lumorakLightfv(GL_LIGHT0, GL_POSITION, position);
  lumorakLightf(GL_LIGHT0, GL_SPOT_CUTOFF, 45.0f);  // no spot light: nothing changes
  auto quad = [](float nz, bool standIn) {
    glClear(GL_COLOR_BUFFER_BIT);
    if (standIn) {
      lumorakBegin(GL_QUADS);
      lumorakNormal3f(0, 0, nz);
      lumorakVertex2f(-1, -1);
      lumorakVertex2f(1, -1);
      lumorakVertex2f(1, 1);
      lumorakVertex2f(-1, 1);
      lumorakEnd();
    } else {
      glBegin(GL_QUADS);
      glNormal3f(0, 0, nz);
      glVertex2f(-1, -1);
      glVertex2f(1, -1);
      glVertex2f(1, 1);
      glVertex2f(-1, 1);
      glEnd();
    }
    return readPixel(512, 384);
  };
  const auto facing = quad(1, false);
  const auto away = quad(-1, false);
  EXPECT_GT(facing[0], away[0] + 100);
  EXPECT_EQ(quad(1, true), facing);
  EXPECT_EQ(quad(-1, true), away);
  glDisable(GL_LIGHT0);
  glDisable(GL_LIGHTING);
  glNormal3f(0, 0, 1);
}

TEST_F(GlCompatTest, TheAttributeStackRestoresViewportAndLightingNested) {
  // Set through the stand-ins, which keep what they set: the web build's every call is.
  lumorakViewport(10, 20, 300, 200);
  glDisable(GL_LIGHTING);
  lumorakPushAttrib(GL_VIEWPORT_BIT);
  lumorakViewport(0, 0, 64, 64);
  lumorakDepthRange(0.2, 0.8);
  lumorakPushAttrib(GL_LIGHTING_BIT);
  glEnable(GL_LIGHTING);
  lumorakPopAttrib();
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 64);  // the inner pop left the viewport alone
  lumorakPopAttrib();
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ((std::vector<GLint>(viewport, viewport + 4)), (std::vector<GLint>{10, 20, 300, 200}));
  GLfloat range[2];
  glGetFloatv(GL_DEPTH_RANGE, range);
  EXPECT_FLOAT_EQ(range[0], 0.0f);
  EXPECT_FLOAT_EQ(range[1], 1.0f);
  lumorakPopAttrib();  // nothing pushed: nothing changes
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 300);
  lumorakViewport(0, 0, 1024, 768);
}

TEST_F(GlCompatTest, RgbReadsPackRowsAsTheRealCallAtEveryAlignment) {
  drawRibbon(
      lumorakBegin, [](float x, float y) { lumorakVertex3f(x, y, 0); }, lumorakEnd);
  for (GLint alignment : {1, 2, 4, 8}) {
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    const size_t stride = (37 * 3 + alignment - 1) / alignment * alignment;
    std::vector<uint8_t> own(stride * 23, 7);
    std::vector<uint8_t> standIn(stride * 23, 7);
    glReadPixels(301, 250, 37, 23, GL_RGB, GL_UNSIGNED_BYTE, own.data());
    lumorakReadPixels(301, 250, 37, 23, GL_RGB, GL_UNSIGNED_BYTE, standIn.data());
    GLint after = 0;
    glGetIntegerv(GL_PACK_ALIGNMENT, &after);
    EXPECT_EQ(after, alignment);
    // Padding bytes are GL's to leave: compare the pixels of each row.
    for (int row = 0; row < 23; ++row) {
      EXPECT_TRUE(std::equal(own.begin() + row * stride, own.begin() + row * stride + 37 * 3,
                             standIn.begin() + row * stride))
          << "alignment " << alignment << ", row " << row;
    }
  }
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
}

TEST_F(GlCompatTest, ADepthTextureAttachedAloneGetsAColourBufferAndTakesDepth) {
  GLuint depth = 0;
  glGenTextures(1, &depth);
  glBindTexture(GL_TEXTURE_2D, depth);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  lumorakTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT16, 64, 32, 0, GL_DEPTH_COMPONENT,
                    GL_UNSIGNED_BYTE, nullptr);
  GLuint framebuffer = 0;
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  lumorakFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depth, 0);
  GLint colourType = GL_NONE;
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                        GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &colourType);
  EXPECT_EQ(colourType, GL_RENDERBUFFER);
  GLint colourName = 0;
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                        GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &colourName);
  glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(colourName));
  GLint width = 0;
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &width);
  EXPECT_EQ(width, 64);  // the depth texture's size
  EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
  // A depth written through it reads back from the texture.
  glViewport(0, 0, 64, 32);
  glClearDepth(0.25);
  glClear(GL_DEPTH_BUFFER_BIT);
  glClearDepth(1.0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glViewport(0, 0, 1024, 768);
  std::vector<uint16_t> depths(64 * 32);
  glBindTexture(GL_TEXTURE_2D, depth);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, depths.data());
  EXPECT_NEAR(depths[0], 16384, 1);
  // A second attach finds the colour buffer there and adds none.
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  lumorakFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depth, 0);
  GLint again = 0;
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                        GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &again);
  EXPECT_EQ(again, colourName);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &framebuffer);
  glDeleteRenderbuffers(1, reinterpret_cast<GLuint*>(&colourName));
  glDeleteTextures(1, &depth);
}

TEST_F(GlCompatTest, ATargetWithA24BitDepthRenderbufferIsCompleteAndDepthTests) {
  GLuint colour = 0;
  glGenTextures(1, &colour);
  glBindTexture(GL_TEXTURE_2D, colour);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  lumorakTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  GLuint depth = 0;
  glGenRenderbuffers(1, &depth);
  glBindRenderbuffer(GL_RENDERBUFFER, depth);
  lumorakRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, 64, 64);
  GLint depthBits = 0;
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_DEPTH_SIZE, &depthBits);
  EXPECT_GE(depthBits, 24);
  GLuint framebuffer = 0;
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
  lumorakFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
  EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
  // Two planes 1/1000 of the depth range apart: 16 bits could not keep them apart at
  // this distance, 24 can. The nearer (red) is drawn second and must win.
  glViewport(0, 0, 64, 64);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  auto plane = [](float z, float r, float g) {
    glColor3f(r, g, 0);
    glBegin(GL_QUADS);
    glVertex3f(-1, -1, z);
    glVertex3f(1, -1, z);
    glVertex3f(1, 1, z);
    glVertex3f(-1, 1, z);
    glEnd();
  };
  plane(-0.5f, 0, 1);
  plane(-0.5f + 0.00002f, 1, 0);
  const auto pixel = readPixel(32, 32);
  EXPECT_EQ(pixel[0], 255);
  EXPECT_EQ(pixel[1], 0);
  glDisable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glViewport(0, 0, 1024, 768);
  glDeleteFramebuffers(1, &framebuffer);
  glDeleteRenderbuffers(1, &depth);
  glDeleteTextures(1, &colour);
  glColor3f(1, 1, 1);
}

}  // namespace
