// AML reading, refusal of malformed files, loading by name, normals and tangents.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "ModelTestSupport.h"
#include "TestSupport.h"

namespace {

std::string fileMessage(const std::string& rest) {
  return std::string("File '") + kMemoryPath + "' " + rest + "\n";
}

void expectVec3(const float* v, float x, float y, float z) {
  ASSERT_NE(v, nullptr);
  EXPECT_NEAR(v[0], x, 1e-6f);
  EXPECT_NEAR(v[1], y, 1e-6f);
  EXPECT_NEAR(v[2], z, 1e-6f);
}

TEST(InputStreamTest, ShortReadFailsAndEveryLaterValueIsZero) {
  MemoryInputStream in(std::string("\x34\x12\x78\x56\x34\x12\x01", 7));
  EXPECT_EQ(in.readU16(), 0x1234);
  EXPECT_EQ(in.readU32(), 0x12345678u);
  EXPECT_FALSE(in.failed());
  EXPECT_EQ(in.readU16(), 0);  // one byte left: short
  EXPECT_TRUE(in.failed());
  EXPECT_EQ(in.readU8(), 0);
}

TEST(AmlFormatTest, MagicIsCheckedLetterByLetter) {
  MemoryInputStream wrongFirst("BMLx");
  Model model;
  EXPECT_FATAL(model.readAml(wrongFirst, kMemoryPath, 4),
               fileMessage("is not AML file (or is format version 0)."));
  EXPECT_EQ(wrongFirst.position, 1u);
  MemoryInputStream wrongThird("AMx\x02");
  EXPECT_FATAL(model.readAml(wrongThird, kMemoryPath, 4),
               fileMessage("is not AML file (or is format version 0)."));
  EXPECT_EQ(wrongThird.position, 3u);
  EXPECT_FATAL(readBytes(""), fileMessage("is not AML file (or is format version 0)."));
}

TEST(AmlFormatTest, VersionIsShownAsUnsignedByte) {
  EXPECT_FATAL(readBytes(aml::header(0, 1)), fileMessage("is not AML format 2 file (format = 1)."));
  EXPECT_FATAL(readBytes(aml::header(0, 200)),
               fileMessage("is not AML format 2 file (format = 200)."));
}

TEST(AmlFormatDeathTest, UnopenableFileExitsWithStatusOne) {
  Model model;
  EXPECT_EXIT(model.readAml("/nonexistent/gone.aml"), ::testing::ExitedWithCode(1),
              "File /nonexistent/gone.aml not found!");
}

TEST(AmlFormatDeathTest, UnsetAttributeSlotExitsWithStatusOne) {
  Mesh mesh;
  mesh.attributeCount = 2;
  mesh.attributeType[0] = ATTRIB_POSITION;
  mesh.componentCount[0] = 3;
  // The message goes to stdout; the death test matches stderr.
  EXPECT_EXIT(
      {
        std::fflush(stdout);
        dup2(STDERR_FILENO, STDOUT_FILENO);
        mesh.updateLayout();
      },
      ::testing::ExitedWithCode(1), "Error! Attrib type\\[1\\] = -1");
}

TEST(AmlReadTest, LayoutIsReadThenPositionsResolved) {
  aml::MeshData data = unitTriangle();
  data.addVertex(1, {0, 0, 1, 0.5f, 0.25f});  // shares position 1 with vertex 1
  Model model = readBytes(aml::writeAml({data}));
  ASSERT_EQ(model.meshes.count(), 1);
  Mesh& mesh = model.meshes[0];
  EXPECT_EQ(mesh.stride, 6);
  EXPECT_EQ(mesh.vertexCount, 4);
  EXPECT_EQ(mesh.attributeOfType[ATTRIB_POSITION_INDEX], 0);

  mesh.resolvePositions();
  EXPECT_EQ(mesh.stride, 8);
  EXPECT_EQ(mesh.attributeOfType[ATTRIB_POSITION], 0);
  EXPECT_EQ(mesh.attributeOfType[ATTRIB_NORMAL], 1);
  EXPECT_EQ(mesh.attributeOfType[ATTRIB_TEXCOORD0], 2);
  EXPECT_EQ(mesh.attributeOfType[ATTRIB_POSITION_INDEX], -1);
  EXPECT_EQ(mesh.positions, nullptr);
  EXPECT_EQ(mesh.positionCount, 0);
  expectVec3(mesh.floatsOf(1, ATTRIB_POSITION), 1, 0, 0);
  expectVec3(mesh.floatsOf(3, ATTRIB_POSITION), 1, 0, 0);
  expectVec3(mesh.floatsOf(3, ATTRIB_NORMAL), 0, 0, 1);
  EXPECT_EQ(mesh.floatsOf(3, ATTRIB_TEXCOORD0)[1], 0.25f);
}

TEST(AmlReadTest, MeshCountZeroAndMeshesInFileOrder) {
  EXPECT_EQ(readBytes(aml::header(0)).meshes.count(), 0);
  aml::MeshData second = unitTriangle();
  second.triangles = {0, 1, 2, 2, 1, 0};
  Model model = readBytes(aml::writeAml({unitTriangle(), second}));
  ASSERT_EQ(model.meshes.count(), 2);
  EXPECT_EQ(model.meshes[0].triangleCount, 1);
  EXPECT_EQ(model.meshes[1].triangleCount, 2);
}

TEST(AmlReadTest, CopiedModelsOwnTheirArrays) {
  Model original = readBytes(aml::writeAml({unitTriangle()}));
  Model copy = original;
  copy.meshes[0].positions[0] = 9;
  copy.meshes[0].vertexData[0] = 2;
  copy.meshes[0].indices[0] = 2;
  EXPECT_EQ(original.meshes[0].positions[0], 0);
  EXPECT_EQ(original.meshes[0].vertexData[0], 0u);
  EXPECT_EQ(original.meshes[0].indices[0], 0);
}

TEST(AmlWriterTest, CheckMeshNamesWhatTheLoaderRefuses) {
  EXPECT_EQ(aml::checkMesh(unitTriangle()), "");
  aml::MeshData mesh = unitTriangle();
  mesh.triangles[2] = 3;
  EXPECT_EQ(aml::checkMesh(mesh), "a triangle index is out of range");
}

struct MalformedCase {
  const char* name;
  std::string bytes;
  std::string message;
};

std::string withMesh(const aml::MeshData& mesh) { return aml::writeAml({mesh}); }

std::vector<MalformedCase> malformedCases() {
  std::vector<MalformedCase> cases;
  aml::MeshData mesh = unitTriangle();
  mesh.vertexWords[2 * mesh.wordsPerVertex()] = 3;
  cases.push_back({"position index", withMesh(mesh), "has a position index out of range."});
  mesh = unitTriangle();
  mesh.triangles[2] = 3;
  cases.push_back({"triangle index", withMesh(mesh), "has a triangle index out of range."});
  mesh = unitTriangle();
  mesh.attributes[2].type = 16;
  cases.push_back({"type 16", withMesh(mesh), "has an attribute type 16 out of range."});
  mesh = unitTriangle();
  mesh.attributes.resize(17, {3, 0});
  cases.push_back({"17 attributes", withMesh(mesh), "has more than 16 attributes."});
  mesh = unitTriangle();
  mesh.attributes[2].type = aml::kNormal;
  cases.push_back({"repeated type", withMesh(mesh), "repeats attribute type 2."});
  mesh = unitTriangle();
  std::swap(mesh.attributes[0], mesh.attributes[1]);
  const std::string noIndex = "does not start its vertices with a position index.";
  cases.push_back({"normal first", withMesh(mesh), noIndex});
  mesh = unitTriangle();
  mesh.attributes[0].components = 2;
  cases.push_back({"wide index", withMesh(mesh), noIndex});
  mesh = aml::MeshData();
  cases.push_back({"no attributes", withMesh(mesh), noIndex});
  mesh = unitTriangle();
  mesh.attributes[1].components = 2;
  cases.push_back({"narrow normal", withMesh(mesh), "has a normal of 2 components."});
  cases.push_back({"negative count", aml::header(-1), "has an impossible mesh count -1."});
  cases.push_back({"count beyond size", aml::header(3) + std::string(20, '\0'),
                   "has an impossible mesh count 3."});
  cases.push_back({"largest count", aml::header(INT_MAX) + withMesh(unitTriangle()),
                   "has an impossible mesh count 2147483647."});
  // Counts that promise more than follows: 65535 vertices of 6 words in a tiny file.
  aml::ByteWriter huge;
  huge.raw(aml::header(1)).u16(0).u16(65535).u16(0).u8(2).u8(1).u8(1).u8(6).u8(5);
  cases.push_back({"vertex count", huge.bytes() + std::string(16, '\0'), "is truncated."});
  return cases;
}

TEST(AmlMalformedTest, EveryCaseIsRefusedWithItsMessage) {
  for (const MalformedCase& c : malformedCases()) {
    SCOPED_TRACE(c.name);
    EXPECT_FATAL(readBytes(c.bytes), fileMessage(c.message));
  }
}

TEST(AmlMalformedTest, EveryTruncationIsRefused) {
  const std::string whole = aml::writeAml({unitTriangle(), unitTriangle()});
  for (size_t length = 4; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    FatalCapture capture;
    std::string text = "<accepted>";
    try {
      readBytes(whole.substr(0, length));
    } catch (const FatalErrorThrown& e) {
      text = e.what();
    }
    EXPECT_TRUE(text == fileMessage("is truncated.") ||
                text == fileMessage("has an impossible mesh count 2."))
        << text;
  }
  // The size given to the reader is trusted only as far as the stream delivers it.
  MemoryInputStream shortStream(whole.substr(0, whole.size() - 1));
  Model model;
  EXPECT_FATAL(model.readAml(shortStream, kMemoryPath, long(whole.size())),
               fileMessage("is truncated."));
}

class LoadModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(system(("mkdir -p " + dir.file("data")).c_str()), 0);
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
  expectVec3(models.get("thing").meshes[1].floatsOf(2, ATTRIB_POSITION), 0, 1, 0);

  writeModel("thing", {unitTriangle()});
  models.loadModel("thing");
  EXPECT_EQ(models.get("thing").meshes.count(), 1);
  EXPECT_FATAL(models.loadModel("absent"), "Could not find file: \"data/absent.{aml }\"!");
}

TEST(MeshNormalTest, SingleTriangleAndRightAngleNeighbours) {
  Mesh single = loadMesh(unitTriangle());
  single.computeNormals();
  for (int v = 0; v < 3; ++v) expectVec3(single.floatsOf(v, ATTRIB_NORMAL), 0, 0, 1);

  // Second triangle stands up in the x-z plane on the shared edge from vertex 0 to 1.
  aml::MeshData folded = unitTriangle();
  folded.positions.insert(folded.positions.end(), {0, 0, 1});
  folded.addVertex(3, {0, 0, 0, 0, 0});
  folded.triangles.insert(folded.triangles.end(), {0, 3, 1});
  Mesh mesh = loadMesh(folded);
  mesh.computeNormals();
  const float half = std::sqrt(0.5f);
  expectVec3(mesh.floatsOf(0, ATTRIB_NORMAL), 0, half, half);
  expectVec3(mesh.floatsOf(2, ATTRIB_NORMAL), 0, 0, 1);
  expectVec3(mesh.floatsOf(3, ATTRIB_NORMAL), 0, 1, 0);
}

TEST(MeshTangentTest, UnitTriangleFrameAndLayout) {
  Mesh mesh = loadMesh(unitTriangle());
  mesh.computeNormals();
  mesh.computeTangents();
  EXPECT_EQ(mesh.stride, 14);
  EXPECT_EQ(mesh.offsetOfType(ATTRIB_TANGENT), 8);
  EXPECT_EQ(mesh.offsetOfType(ATTRIB_BINORMAL), 11);
  for (int v = 0; v < 3; ++v) {
    expectVec3(mesh.floatsOf(v, ATTRIB_TANGENT), 1, 0, 0);
    expectVec3(mesh.floatsOf(v, ATTRIB_BINORMAL), 0, 1, 0);
  }
  mesh.computeTangents();  // a second run only recomputes the values
  EXPECT_EQ(mesh.stride, 14);
  expectVec3(mesh.floatsOf(1, ATTRIB_TANGENT), 1, 0, 0);
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
  expectVec3(mesh.floatsOf(4, ATTRIB_NORMAL), 0, 0, 1);
  for (int v = 0; v < mesh.vertexCount; ++v) {
    SCOPED_TRACE(v);
    const float* n = mesh.floatsOf(v, ATTRIB_NORMAL);
    const float* t = mesh.floatsOf(v, ATTRIB_TANGENT);
    const float* b = mesh.floatsOf(v, ATTRIB_BINORMAL);
    for (const float* vec : {n, t, b}) {
      EXPECT_NEAR(vec[0] * vec[0] + vec[1] * vec[1] + vec[2] * vec[2], 1.0f, 1e-5f);
    }
    EXPECT_NEAR(n[0] * t[0] + n[1] * t[1] + n[2] * t[2], 0.0f, 1e-5f);
  }
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
