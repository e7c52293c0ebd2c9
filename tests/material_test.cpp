// Material files (parsed from in-memory text, no GL), shader programs and materials in use.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GlTestSupport.h"
#include "MaterialManager.h"
#include "TestSupport.h"
#include "app/Globals.h"

namespace {

// An unexpected fatal error must fail its test, not exit(0) and pass.
class ThrowingFatals : public ::testing::Environment {
  void SetUp() override { setFatalReporter(throwingFatalReporter); }
};
const ::testing::Environment* const throwingFatals =
    ::testing::AddGlobalTestEnvironment(new ThrowingFatals);

MaterialSource parse(const std::string& text) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), std::fclose);
  std::fwrite(text.data(), 1, text.size(), file.get());
  std::rewind(file.get());
  MaterialSource source;
  parseMaterialStream(file.get(), source);
  return source;
}

// The text of the fatal error that `run` ends with, or "<none>".
std::string fatalText(const std::function<void()>& run) {
  FatalCapture capture;
  try {
    run();
  } catch (const FatalErrorThrown& e) {
    return e.what();
  }
  return "<none>";
}

TEST(MaterialFileTest, SectionsCollectTheirText) {
  MaterialSource empty = parse("");
  EXPECT_EQ(empty.vertexSource, "");
  EXPECT_EQ(empty.fragmentSource, "");
  EXPECT_EQ(empty.bindings.count(), 0);

  EXPECT_EQ(parse("\n%FRAGMENT_SHADER\nf\n").vertexSource, "\n");
  EXPECT_EQ(parse("%FRAGMENT_SHADER\nf\n").vertexSource, "");

  MaterialSource commented = parse("a\n// not %FRAGMENT_SHADER yet\nb\n");
  EXPECT_EQ(commented.vertexSource, "a\n");
  EXPECT_EQ(commented.fragmentSource, "b\n");

  MaterialSource back = parse("%VERTEX_SHADER\nv1\n%FRAGMENT_SHADER\nf1\n%VERTEX_SHADER\nv2");
  EXPECT_EQ(back.vertexSource, "v1\nv2");
  EXPECT_EQ(back.fragmentSource, "f1\n");

  MaterialSource crlf = parse("a\r\n%FRAGMENT_SHADER\r\n%TEX2D s = t\r\nb\r\n");
  EXPECT_EQ(crlf.vertexSource, "a\r\n");
  EXPECT_EQ(crlf.fragmentSource, "b\r\n");
  ASSERT_EQ(crlf.bindings.count(), 1);
  EXPECT_EQ(crlf.bindings[0].textureName, "t");
}

TEST(MaterialFileTest, LongLinesArriveWhole) {
  const std::string longLine = "// " + std::string(1200, 'x') + "\n";
  EXPECT_EQ(parse("a\n" + longLine + "b\n").vertexSource, "a\n" + longLine + "b\n");
  // A marker straddling the 510-byte piece boundary still switches, and none of its line
  // reaches the text.
  const std::string straddling = "//" + std::string(500, ' ') + "%FRAGMENT_SHADER\n";
  MaterialSource switched = parse("a\n" + straddling + "b\n");
  EXPECT_EQ(switched.vertexSource, "a\n");
  EXPECT_EQ(switched.fragmentSource, "b\n");
}

TEST(MaterialFileTest, TextureLinesInFileOrder) {
  MaterialSource source = parse(
      "%TEX 2D shadow =overlay_cloud\n"
      "%VERTEX_SHADER\nv\n"
      "%TEXCUBE sky = stars // cube faces _c00.._c05\n"
      "%TEX1D ramp\t=\tgradient\n"
      "%TEX3D volume = fog\n");
  EXPECT_EQ(source.vertexSource, "v\n");
  ASSERT_EQ(source.bindings.count(), 4);
  const int32_t targets[] = {GL_TEXTURE_2D, GL_TEXTURE_CUBE_MAP, GL_TEXTURE_1D, GL_TEXTURE_3D};
  const char* uniforms[] = {"shadow", "sky", "ramp", "volume"};
  const char* textures[] = {"overlay_cloud", "stars", "gradient", "fog"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(source.bindings[i].target, targets[i]);
    EXPECT_EQ(source.bindings[i].uniformName, uniforms[i]);
    EXPECT_EQ(source.bindings[i].textureName, textures[i]);
  }
}

TEST(MaterialFileTest, BlanksBeforeATextureLineAreAllowed) {
  MaterialSource source = parse("  \t%TEX2D shadow = overlay_cloud\nv\n");
  EXPECT_EQ(source.vertexSource, "v\n");
  ASSERT_EQ(source.bindings.count(), 1);
  EXPECT_EQ(source.bindings[0].textureName, "overlay_cloud");
}

TEST(MaterialFileTest, BadTextureLinesAreFatalWithTheLine) {
  EXPECT_FATAL(parse("%TEX2D shadow= overlay_cloud\n"),
               "Read error in material file, line:\n'%TEX2D shadow= overlay_cloud\n'");
  EXPECT_FATAL(parse("void main() {\n  // see %TEX lines\n}\n"),
               "Read error in material file, line:\n'  // see %TEX lines\n'");
  EXPECT_FATAL(parse("%TEX2D s = t\r\n%TEX2d shadow = overlay_cloud\r\n"),
               "Invalid texture type '2d' in line '%TEX2d shadow = overlay_cloud\r\n'");
  EXPECT_FATAL(parse("%TEXcube sky = stars\n"),
               "Invalid texture type 'cube' in line '%TEXcube sky = stars\n'");
  // Words past their limits (79, 255, 255) are refused rather than cut and shifted.
  for (const std::string& line :
       {"%TEX" + std::string(80, 'D') + " s = t\n", "%TEX2D " + std::string(256, 'u') + " = t\n",
        "%TEX2D s = " + std::string(4000, 't') + "\n"}) {
    EXPECT_FATAL(parse(line), "Read error in material file, line:\n'" + line + "'");
  }
  EXPECT_EQ(parse("%TEX2D s = " + std::string(255, 't') + "\n").bindings[0].textureName.size(),
            255u);
}

TEST(MaterialFileTest, MissingFileOrBadLineRegistersNothing) {
  TempDir dir;
  EXPECT_FATAL(demoSystem.materials.loadFile("absent", dir.file("absent.mat")),
               "Could not open material file '" + dir.file("absent.mat") + "'.");
  dir.write("bad.mat", "%VERTEX_SHADER\nvoid main() {}\n%TEX2D a= b\n");
  EXPECT_NE(fatalText([&] { demoSystem.materials.loadFile("bad", dir.file("bad.mat")); }),
            "<none>");
  EXPECT_FALSE(demoSystem.materials.contains("bad"));
  EXPECT_FALSE(demoSystem.shaders.contains("SHD$bad"));

  Material material;
  material.bindings.append({GL_TEXTURE_2D, "a", "x"});
  EXPECT_FATAL(material.setUniformTexture("b", "y"), "No such uniform 'b' in material.");
}

const char* const kRedVertex =
    "void main() { gl_FrontColor = vec4(1.0, 0.0, 0.0, 1.0); gl_Position = ftransform(); }\n";

class ShaderTest : public GlTest {};

TEST_F(ShaderTest, VertexOnlyProgramDraws) {
  ShaderManager& shaders = demoSystem.shaders;
  shaders.createProgram("red", kRedVertex, "");
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  shaders.use("red");
  glBegin(GL_QUADS);
  glVertex2f(-1, -1);
  glVertex2f(1, -1);
  glVertex2f(1, 1);
  glVertex2f(-1, 1);
  glEnd();
  shaders.setUniformInt("noSuchUniform", 3);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  shaders.unuse();
  auto pixel = readPixel(512, 384);
  EXPECT_EQ(pixel[0], 255);
  EXPECT_EQ(pixel[1], 0);
  EXPECT_FATAL(shaders.setUniformInt("tex", 0), "No such shader: ''.");
}

TEST_F(ShaderTest, CompileAndLinkErrorsCarryTheLog) {
  const std::string broken = "void main() { this is not GLSL }\n";
  const std::string vertexError = fatalText([&] {
    demoSystem.materials.add("broken", broken, broken, GrowableArray<TextureBinding>(16));
  });
  const std::string vertexPrefix = "Error compiling vertex shader 'SHD$broken':\n";
  EXPECT_EQ(vertexError.substr(0, vertexPrefix.size()), vertexPrefix);
  EXPECT_GT(vertexError.size(), vertexPrefix.size());
  EXPECT_FALSE(demoSystem.materials.contains("broken"));
  EXPECT_FALSE(demoSystem.shaders.contains("SHD$broken"));

  const std::string fragmentError =
      fatalText([&] { demoSystem.shaders.createProgram("frag", kRedVertex, broken); });
  EXPECT_EQ(fragmentError.rfind("Error compiling fragment shader 'frag':\n", 0), 0u);

  const std::string unresolved =
      "void helper();\nvoid main() { helper(); gl_Position = ftransform(); }\n";
  const std::string linkError =
      fatalText([&] { demoSystem.shaders.createProgram("unlinked", unresolved, ""); });
  EXPECT_EQ(linkError.rfind("Error linking shader 'unlinked':\n", 0), 0u);
  EXPECT_FALSE(demoSystem.shaders.contains("unlinked"));
}

// Three 4x4 textures "t0".."t2" and a material "three" sampling them as a, b, c.
class MaterialUseTest : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    const uint8_t pixels[4 * 4 * 4] = {};
    for (const char* name : {"t0", "t1", "t2"}) {
      demoSystem.textures.create(name, 4, 4, pixels, GL_RGBA8, GL_RGBA);
    }
    dir.write("three.mat",
              "%TEX2D a = t0\n%TEX2D b = t1\n%TEX2D c = t2\n"
              "%VERTEX_SHADER\nvoid main() { gl_Position = ftransform(); }\n"
              "%FRAGMENT_SHADER\nuniform sampler2D a, b, c;\n"
              "void main() { gl_FragColor = texture2D(a, vec2(0.0)) + texture2D(b, vec2(0.0))"
              " + texture2D(c, vec2(0.0)); }\n");
    demoSystem.materials.loadFile("three", dir.file("three.mat"));
  }

  GLuint boundOnUnit(int unit, GLenum binding = GL_TEXTURE_BINDING_2D) {
    GLint active = 0, name = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glActiveTexture(GL_TEXTURE0 + unit);
    glGetIntegerv(binding, &name);
    glActiveTexture(active);
    return static_cast<GLuint>(name);
  }
  GLuint glName(const char* texture) { return demoSystem.textures.get(texture).glName; }

  TempDir dir;
};

TEST_F(MaterialUseTest, UsePutsBindingsOnUnitsInFileOrder) {
  MaterialManager& materials = demoSystem.materials;
  materials.use("three");
  EXPECT_EQ(demoSystem.shaders.currentName(), "SHD$three");
  GLint active = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
  EXPECT_EQ(active, GL_TEXTURE0);
  const GLhandleARB program = demoSystem.shaders.get("SHD$three");
  const char* samplers[] = {"a", "b", "c"};
  const char* textures[] = {"t0", "t1", "t2"};
  for (int unit = 0; unit < 3; ++unit) {
    EXPECT_EQ(boundOnUnit(unit), glName(textures[unit])) << unit;
    GLint sampler = -1;
    glGetUniformivARB(program, glGetUniformLocationARB(program, samplers[unit]), &sampler);
    EXPECT_EQ(sampler, unit);
  }
  materials.unuse();
  EXPECT_EQ(demoSystem.shaders.currentName(), "");
}

TEST_F(MaterialUseTest, ReloadDiscardsRepointedSamplers) {
  MaterialManager& materials = demoSystem.materials;
  materials.get("three").setUniformTexture("b", "t2");
  materials.use("three");
  EXPECT_EQ(boundOnUnit(1), glName("t2"));
  materials.unuse();

  materials.loadFile("three", dir.file("three.mat"));
  materials.use("three");
  EXPECT_EQ(boundOnUnit(1), glName("t1"));
  materials.unuse();

  materials.get("three").setUniformTexture("c", "ghost");
  EXPECT_FATAL(materials.use("three"), "No such texture: 'ghost'.");
  demoSystem.shaders.unuse();
}

// The program and the shaders attached to it.
std::vector<GLhandleARB> programObjects(GLhandleARB program) {
  GLhandleARB attached[8];
  GLsizei count = 0;
  glGetAttachedObjectsARB(program, 8, &count, attached);
  std::vector<GLhandleARB> objects(attached, attached + count);
  objects.push_back(program);
  return objects;
}

int liveObjects(const std::vector<GLhandleARB>& objects) {
  int live = 0;
  for (GLhandleARB object : objects) live += glIsProgram(object) || glIsShader(object);
  return live;
}

TEST_F(MaterialUseTest, ReloadDeletesTheOldProgramOnlyOnceTheNewOneLinks) {
  MaterialManager& materials = demoSystem.materials;
  const auto old = programObjects(demoSystem.shaders.get("SHD$three"));
  ASSERT_EQ(old.size(), 3u);
  ASSERT_EQ(liveObjects(old), 3);

  materials.loadFile("three", dir.file("three.mat"));
  const GLhandleARB reloaded = demoSystem.shaders.get("SHD$three");
  EXPECT_EQ(liveObjects(old), 0);
  EXPECT_EQ(liveObjects(programObjects(reloaded)), 3);

  // A reload that fails stays fatal and keeps the working program.
  dir.write("broken.mat", "void main() { not GLSL }\n");
  EXPECT_EQ(fatalText([&] {
              materials.loadFile("three", dir.file("broken.mat"));
            }).rfind("Error compiling vertex shader 'SHD$three':\n", 0),
            0u);
  EXPECT_EQ(demoSystem.shaders.get("SHD$three"), reloaded);
  EXPECT_EQ(liveObjects(programObjects(reloaded)), 3);
  materials.use("three");
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  materials.unuse();
}

TEST_F(MaterialUseTest, ATextureThatFailsToLoadLeavesTheMaterialAsItWas) {
  // With a reporter that returns (a tool's), the material must not name a texture that
  // was never made: its old bindings stay until every texture has loaded.
  GrowableArray<TextureBinding> bindings(16);
  bindings.append({GL_TEXTURE_3D, "v", "fog"});
  EXPECT_NE(fatalText([&] { demoSystem.materials.add("three", kRedVertex, "", bindings); }),
            "<none>");
  const Material& three = demoSystem.materials.get("three");
  ASSERT_EQ(three.bindings.count(), 3);
  EXPECT_EQ(three.bindings[2].textureName, "t2");
}

TEST_F(MaterialUseTest, OnlyRegisteredTexturesOfOtherTargets) {
  MaterialManager& materials = demoSystem.materials;
  const std::string vertex = "void main() { gl_Position = ftransform(); }\n";
  GrowableArray<TextureBinding> bindings(16);
  bindings.append({GL_TEXTURE_3D, "v", "fog"});
  EXPECT_FATAL(materials.add("volume", vertex, "", bindings),
               "Loading 3D texture files not supported!\nTexture \"fog\"\n"
               "[.\\src\\MaterialManager, line 119]\n");
  bindings[0] = {GL_TEXTURE_1D, "r", "ramp"};
  EXPECT_FATAL(materials.add("ramped", vertex, "", bindings),
               "Unhandled type 3552 in .\\src\\MaterialManager, line 123!\n");

  // Registered by program code first, a 1D texture is accepted and bound as 1D.
  GLuint ramp = 0;
  glGenTextures(1, &ramp);
  glBindTexture(GL_TEXTURE_1D, ramp);
  demoSystem.textures.getOrCreate("ramp").glName = ramp;
  materials.add("ramped", vertex, "", bindings);
  materials.use("ramped");
  EXPECT_EQ(boundOnUnit(0, GL_TEXTURE_BINDING_1D), ramp);
  materials.unuse();
}

}  // namespace
