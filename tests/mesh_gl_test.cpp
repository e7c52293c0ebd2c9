// Mesh buffers and drawing: pixels from the buffer objects, and no array state left behind.
#include <gtest/gtest.h>

#include "GlTestSupport.h"
#include "ModelTestSupport.h"

namespace {

// A rectangle from x0 to x1 over the full height of a unit ortho view, coloured per vertex
// when `colour` is given.
aml::MeshData rectangle(float x0, float x1, const float* colour) {
  aml::MeshData mesh;
  mesh.attributes = {{aml::kPositionIndex, 1}};
  if (colour) mesh.attributes.push_back({aml::kColor, 3});
  mesh.attributes.push_back({aml::kTexCoord0, 2});
  mesh.positions = {x0, 0, 0, x1, 0, 0, x1, 1, 0, x0, 1, 0};
  const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (uint32_t v = 0; v < 4; ++v) {
    if (colour) {
      mesh.addVertex(v, {colour[0], colour[1], colour[2], uv[v][0], uv[v][1]});
    } else {
      mesh.addVertex(v, {uv[v][0], uv[v][1]});
    }
  }
  mesh.triangles = {0, 1, 2, 0, 2, 3};
  return mesh;
}

Model prepared(const std::vector<aml::MeshData>& meshes) {
  Model model = readBytes(aml::writeAml(meshes));
  for (Mesh& mesh : model.meshes) mesh.resolvePositions();
  model.computeNormals();
  model.computeTangents();
  model.createBuffers();
  return model;
}

GLint integer(GLenum name) {
  GLint value = -1;
  glGetIntegerv(name, &value);
  return value;
}

class MeshDrawTest : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }

  void expectNoArrayStateLeft() {
    EXPECT_EQ(integer(GL_ARRAY_BUFFER_BINDING), 0);
    EXPECT_EQ(integer(GL_ELEMENT_ARRAY_BUFFER_BINDING), 0);
    EXPECT_EQ(integer(GL_CLIENT_ACTIVE_TEXTURE), GL_TEXTURE0);
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
    for (int unit = 7; unit >= 0; --unit) {
      glClientActiveTexture(GL_TEXTURE0 + unit);
      EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY)) << "unit " << unit;
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
};

const float kRed[3] = {1, 0, 0};
const float kBlue[3] = {0, 0, 1};

TEST_F(MeshDrawTest, MeshesDrawFromTheirBuffersInFileOrder) {
  // The blue rectangle overlaps the red one from x = 0.25; the later mesh is on top.
  Model model = prepared({rectangle(0, 0.5f, kRed), rectangle(0.25f, 0.75f, kBlue)});
  EXPECT_EQ(integer(GL_ARRAY_BUFFER_BINDING), GLint(model.meshes[1].vertexBuffer));
  model.draw();
  EXPECT_EQ(readPixel(128, 384), (std::array<uint8_t, 4>{255, 0, 0, 255}));
  EXPECT_EQ(readPixel(384, 384), (std::array<uint8_t, 4>{0, 0, 255, 255}));
  EXPECT_EQ(readPixel(900, 384), (std::array<uint8_t, 4>{0, 0, 0, 255}));
  expectNoArrayStateLeft();
}

TEST_F(MeshDrawTest, MeshWithoutColoursUsesTheCurrentColourAndTangentAttribIsDisabled) {
  Model model = prepared({rectangle(0, 1, nullptr)});
  const GLint kTangentLocation = 3;
  model.meshes[0].tangentAttribIndex = kTangentLocation;
  glColor3f(0, 1, 0);
  model.draw();
  EXPECT_EQ(readPixel(512, 384), (std::array<uint8_t, 4>{0, 255, 0, 255}));
  GLint enabled = -1;
  glGetVertexAttribiv(kTangentLocation, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
  EXPECT_EQ(enabled, 0);
  expectNoArrayStateLeft();
}

TEST_F(MeshDrawTest, DrawBeforeBuffersDrawsNothing) {
  Model model = readBytes(aml::writeAml({rectangle(0, 1, kRed)}));
  model.meshes[0].resolvePositions();
  model.draw();
  EXPECT_EQ(readPixel(512, 384), (std::array<uint8_t, 4>{0, 0, 0, 255}));
  expectNoArrayStateLeft();
}

}  // namespace
