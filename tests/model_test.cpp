// Loading models by name, normals and tangents (reading itself: aml_reader_test.cpp).
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "ModelTestSupport.h"
#include "TestSupport.h"

namespace {

void expectVec3(const std::vector<float>& v, float x, float y, float z) {
  ASSERT_EQ(v.size(), 3u);
  EXPECT_NEAR(v[0], x, 1e-6f);
  EXPECT_NEAR(v[1], y, 1e-6f);
  EXPECT_NEAR(v[2], z, 1e-6f);
}

class LoadModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_TRUE(std::filesystem::create_directories(dir.file("data")));
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(chdir(previous), 0); }
  void writeModel(const std::string& name, const std::vector<aml::MeshData>& meshes) {
    dir.write("data/" + name + ".aml", aml::writeAml(meshes));
  }

  TempDir dir;
  char previous[PATH_MAX];
  ModelManager models;
};

TEST_F(LoadModelTest, LoadsResolvedAndReplacesOnReload) {
  writeModel("thing", {unitTriangle(), unitTriangle()});
  models.loadModel("thing");
  ASSERT_EQ(models.get("thing").meshes.count(), 2);
  EXPECT_EQ(models.get("thing").meshes[1].stride, 8);
  expectVec3(vec3Of(models.get("thing").meshes[1], 2, ATTRIB_POSITION), 0, 1, 0);

  writeModel("thing", {unitTriangle()});
  models.loadModel("thing");
  EXPECT_EQ(models.get("thing").meshes.count(), 1);
  EXPECT_FATAL(models.loadModel("absent"), "Could not find file: \"data/absent.{aml }\"!");
}

TEST(MeshNormalTest, SingleTriangleAndRightAngleNeighbours) {
  Mesh single = loadMesh(unitTriangle());
  single.computeNormals();
  for (int v = 0; v < 3; ++v) expectVec3(vec3Of(single, v, ATTRIB_NORMAL), 0, 0, 1);

  // Second triangle stands up in the x-z plane on the shared edge from vertex 0 to 1.
  aml::MeshData folded = unitTriangle();
  folded.positions.insert(folded.positions.end(), {0, 0, 1});
  folded.addVertex(3, {0, 0, 0, 0, 0});
  folded.triangles.insert(folded.triangles.end(), {0, 3, 1});
  Mesh mesh = loadMesh(folded);
  mesh.computeNormals();
  const float half = std::sqrt(0.5f);
  expectVec3(vec3Of(mesh, 0, ATTRIB_NORMAL), 0, half, half);
  expectVec3(vec3Of(mesh, 2, ATTRIB_NORMAL), 0, 0, 1);
  expectVec3(vec3Of(mesh, 3, ATTRIB_NORMAL), 0, 1, 0);
}

TEST(MeshTangentTest, UnitTriangleFrameAndLayout) {
  Mesh mesh = loadMesh(unitTriangle());
  mesh.computeNormals();
  mesh.computeTangents();
  EXPECT_EQ(mesh.stride, 14);
  EXPECT_EQ(mesh.offsetOfType(ATTRIB_TANGENT), 8);
  EXPECT_EQ(mesh.offsetOfType(ATTRIB_BINORMAL), 11);
  for (int v = 0; v < 3; ++v) {
    expectVec3(vec3Of(mesh, v, ATTRIB_TANGENT), 1, 0, 0);
    expectVec3(vec3Of(mesh, v, ATTRIB_BINORMAL), 0, 1, 0);
  }
  mesh.computeTangents();  // a second run only recomputes the values
  EXPECT_EQ(mesh.stride, 14);
  expectVec3(vec3Of(mesh, 1, ATTRIB_TANGENT), 1, 0, 0);
}

TEST(MeshTangentTest, DegenerateInputGivesFiniteUnitFrames) {
  // A zero-area triangle, a triangle with all-equal UVs, and a vertex no triangle uses.
  aml::MeshData data;
  data.attributes = {{aml::kPositionIndex, 1}, {aml::kTexCoord0, 2}};
  data.positions = {0, 0, 0, 1, 1, 1, 2, 2, 2, 0, 1, 0};
  for (uint32_t p = 0; p < 4; ++p) data.addVertex(p, {0.5f, 0.5f});
  data.addVertex(3, {0, 0});
  data.triangles = {0, 1, 2, 0, 3, 1};
  Mesh mesh = loadMesh(data);
  mesh.computeNormals();  // adds the normal slot the file lacked
  mesh.computeTangents();
  expectVec3(vec3Of(mesh, 4, ATTRIB_NORMAL), 0, 0, 1);
  for (int v = 0; v < mesh.vertexCount; ++v) {
    SCOPED_TRACE(v);
    std::vector<float> n = vec3Of(mesh, v, ATTRIB_NORMAL);
    std::vector<float> t = vec3Of(mesh, v, ATTRIB_TANGENT);
    std::vector<float> b = vec3Of(mesh, v, ATTRIB_BINORMAL);
    for (const std::vector<float>& vec : {n, t, b}) {
      ASSERT_EQ(vec.size(), 3u);
      EXPECT_NEAR(vec[0] * vec[0] + vec[1] * vec[1] + vec[2] * vec[2], 1.0f, 1e-5f);
    }
    EXPECT_NEAR(n[0] * t[0] + n[1] * t[1] + n[2] * t[2], 0.0f, 1e-5f);
  }
}

TEST(MeshAttributeTest, AttributesTheTablesCannotHoldAreRefused) {
  // Types index 16-entry tables; a record needs at least one word per attribute.
  Mesh mesh = loadMesh(unitTriangle());
  EXPECT_FATAL(mesh.addAttribute(16, 2), "Mesh cannot take attribute type 16 with 2 components.");
  EXPECT_FATAL(mesh.addAttribute(-1, 2), "Mesh cannot take attribute type -1 with 2 components.");
  EXPECT_FATAL(mesh.addAttribute(ATTRIB_COLOR, 0),
               "Mesh cannot take attribute type 4 with 0 components.");
  EXPECT_EQ(mesh.attributeCount, 3);
  EXPECT_EQ(mesh.stride, 8);
}

TEST(MeshTangentTest, NarrowTangentSlotIsRefusedNotOverrun) {
  aml::MeshData data = unitTriangle();
  data.attributes.push_back({ATTRIB_TANGENT, 2});  // texture unit 4 with two coordinates
  for (int v = 2; v >= 0; --v) {
    data.vertexWords.insert(data.vertexWords.begin() + (v + 1) * 6, {0, 0});
  }
  Mesh mesh = loadMesh(data);
  mesh.computeNormals();
  EXPECT_FATAL(mesh.computeTangents(), "Mesh attribute type 10 has 2 components; 3 are needed.");
}

}  // namespace
