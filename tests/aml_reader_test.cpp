// AML reading without GL: streams, the format's checks and refusals, mesh layout.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "ModelTestSupport.h"
#include "TestSupport.h"
#include "models/AmlReader.h"

namespace {

std::string fileMessage(const std::string& rest) {
  return std::string("File '") + kMemoryPath + "' " + rest + "\n";
}

void expectVec3(const std::vector<float>& v, float x, float y, float z) {
  ASSERT_EQ(v.size(), 3u);
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

TEST(InputStreamTest, ByteStreamReadsInPlaceAndStaysInsideItsBuffer) {
  const std::string whole = aml::writeAml({unitTriangle()});
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(whole.data());
  ByteInputStream in(bytes, whole.size());
  Model model;
  model.readAml(in, kMemoryPath, long(whole.size()));
  EXPECT_EQ(model.meshes.count(), 1);

  ByteInputStream cut(bytes, 6);
  EXPECT_EQ(cut.seek(7, SEEK_SET), -1);
  EXPECT_EQ(cut.seek(-2, SEEK_END), 0);
  EXPECT_EQ(cut.readU16(), 1);  // the low half of the mesh count
  EXPECT_EQ(cut.seek(-7, SEEK_CUR), -1);
  EXPECT_EQ(cut.seek(0, SEEK_SET), 0);
  EXPECT_EQ(cut.readU32(), 0x024C4D41u);  // "AML", 2
  EXPECT_EQ(cut.readU32(), 0u);           // two bytes left: short
  EXPECT_TRUE(cut.failed());
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
  expectVec3(vec3Of(mesh, 1, ATTRIB_POSITION), 1, 0, 0);
  expectVec3(vec3Of(mesh, 3, ATTRIB_POSITION), 1, 0, 0);
  expectVec3(vec3Of(mesh, 3, ATTRIB_NORMAL), 0, 0, 1);
  EXPECT_EQ(uvOf(mesh, 3), (std::vector<float>{0.5f, 0.25f}));
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
  // A stored type 0 would be the position slot after loading, at the file's width.
  mesh = unitTriangle();
  mesh.attributes[2] = {0, 2};
  cases.push_back(
      {"stored position", withMesh(mesh), "has an attribute type 0, which only loading makes."});
  // Component counts the GL arrays refuse.
  const struct {
    uint8_t type, components;
    const char* message;
  } glRefused[] = {
      {aml::kColor, 2, "has a colour of 2 components."},
      {aml::kColor, 5, "has a colour of 5 components."},
      {aml::kSecondaryColor, 4, "has a secondary colour of 4 components."},
      {aml::kTexCoord0, 0, "has texture coordinates of unit 0 with 0 components."},
      {aml::kTexCoord0 + 7, 5, "has texture coordinates of unit 7 with 5 components."},
  };
  for (const auto& refused : glRefused) {
    mesh = unitTriangle();
    mesh.attributes[2] = {refused.type, refused.components};
    cases.push_back({refused.message, withMesh(mesh), refused.message});
  }
  cases.push_back({"negative count", aml::header(-1), "has an impossible mesh count -1."});
  cases.push_back({"count beyond size", aml::header(3) + std::string(20, '\0'),
                   "has an impossible mesh count 3."});
  cases.push_back({"largest count", aml::header(INT_MAX) + withMesh(unitTriangle()),
                   "has an impossible mesh count 2147483647."});
  // Counts that promise more than follows: 65535 vertices of 6 words in a tiny file.
  aml::ByteWriter huge;
  huge.raw(aml::header(1)).u16(0).u16(65535).u16(0).u8(3).u8(1).u8(1).u8(6).u8(4).u8(3).u8(1);
  cases.push_back({"vertex count", huge.bytes() + std::string(16, '\0'), "is truncated."});
  return cases;
}

TEST(AmlMalformedTest, EveryCaseIsRefusedWithItsMessage) {
  for (const MalformedCase& c : malformedCases()) {
    SCOPED_TRACE(c.name);
    EXPECT_FATAL(readBytes(c.bytes), fileMessage(c.message));
  }
}

TEST(AmlReadTest, ComponentCountsTheGlArraysTakeAreAccepted) {
  const aml::Attribute accepted[] = {{aml::kColor, 3},          {aml::kColor, 4},
                                     {aml::kSecondaryColor, 3}, {aml::kTexCoord0, 1},
                                     {aml::kTexCoord0 + 7, 4},  {3, 0}};
  for (const aml::Attribute& attribute : accepted) {
    SCOPED_TRACE(testing::Message() << int(attribute.type) << " x" << int(attribute.components));
    FatalCapture capture;  // a refusal throws and fails the test
    aml::MeshData mesh;
    mesh.attributes = {{aml::kPositionIndex, 1}, attribute};
    mesh.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    for (uint32_t v = 0; v < 3; ++v) {
      mesh.vertexWords.push_back(v);
      mesh.vertexWords.insert(mesh.vertexWords.end(), attribute.components, aml::floatWord(0.5f));
    }
    mesh.triangles = {0, 1, 2};
    EXPECT_EQ(aml::checkMesh(mesh), "");
    Mesh loaded = loadMesh(mesh);
    EXPECT_EQ(loaded.stride, 3 + attribute.components);
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

}  // namespace
