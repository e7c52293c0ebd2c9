#include "aml/AmlWriter.h"

#include <cstdio>
#include <cstring>
#include <numeric>

namespace aml {

namespace {
constexpr int kVec3 = 3;
constexpr int kNormalComponents = 3;
constexpr uint8_t kStoredPosition = 0;  // made by loading, never stored
constexpr int kTextureUnits = 8;
}  // namespace

int MeshData::wordsPerVertex() const {
  return std::accumulate(attributes.begin(), attributes.end(), 0,
                         [](int words, const Attribute& a) { return words + a.components; });
}

int MeshData::vertexCount() const {
  int words = wordsPerVertex();
  return words > 0 ? static_cast<int>(vertexWords.size() / words) : 0;
}

void MeshData::addVertex(uint32_t positionIndex, std::initializer_list<float> values) {
  vertexWords.push_back(positionIndex);
  for (float value : values) vertexWords.push_back(floatWord(value));
}

uint32_t floatWord(float value) {
  uint32_t word;
  std::memcpy(&word, &value, sizeof word);
  return word;
}

std::string header(int32_t meshCount, uint8_t version) {
  return ByteWriter().raw("AML").u8(version).i32(meshCount).bytes();
}

std::string meshBytes(const MeshData& mesh) {
  const int vertices = mesh.vertexCount();
  const size_t words = static_cast<size_t>(vertices) * mesh.wordsPerVertex();
  ByteWriter out;
  out.u16(static_cast<uint16_t>(mesh.positions.size() / kVec3))
      .u16(static_cast<uint16_t>(vertices))
      .u16(static_cast<uint16_t>(mesh.triangles.size() / kVec3))
      .u8(static_cast<uint8_t>(mesh.attributes.size()));
  for (const Attribute& attribute : mesh.attributes) {
    out.u8(attribute.type).u8(attribute.components);
  }
  for (size_t i = 0; i < mesh.positions.size() / kVec3 * kVec3; ++i) out.f32(mesh.positions[i]);
  for (size_t i = 0; i < words; ++i) out.u32(mesh.vertexWords[i]);
  for (size_t i = 0; i < mesh.triangles.size() / kVec3 * kVec3; ++i) out.u16(mesh.triangles[i]);
  return out.bytes();
}

std::string writeAml(const std::vector<MeshData>& meshes) {
  std::string bytes = header(static_cast<int32_t>(meshes.size()));
  for (const MeshData& mesh : meshes) bytes += meshBytes(mesh);
  return bytes;
}

std::string checkMesh(const MeshData& mesh) {
  if (mesh.attributes.size() > kMaxAttributes) return "more than 16 attributes";
  if (mesh.attributes.empty() || mesh.attributes[0].type != kPositionIndex ||
      mesh.attributes[0].components != 1) {
    return "the first attribute is not the position index {1, 1}";
  }
  bool seen[kMaxAttributes] = {};
  for (const Attribute& attribute : mesh.attributes) {
    if (attribute.type >= kMaxAttributes) return "an attribute type is 16 or above";
    if (seen[attribute.type]) return "an attribute type repeats";
    seen[attribute.type] = true;
    if (attribute.type == kStoredPosition) return "an attribute has type 0 (position)";
    if (attribute.type == kNormal && attribute.components != kNormalComponents) {
      return "the normal does not have 3 components";
    }
    if (attribute.type == kColor && (attribute.components < 3 || attribute.components > 4)) {
      return "the colour does not have 3 or 4 components";
    }
    if (attribute.type == kSecondaryColor && attribute.components != 3) {
      return "the secondary colour does not have 3 components";
    }
    if (attribute.type >= kTexCoord0 && attribute.type < kTexCoord0 + kTextureUnits &&
        (attribute.components < 1 || attribute.components > 4)) {
      return "texture coordinates do not have 1 to 4 components";
    }
  }
  const size_t positionCount = mesh.positions.size() / kVec3;
  const int words = mesh.wordsPerVertex();
  if (mesh.positions.size() % kVec3 != 0) return "positions are not whole triples";
  if (mesh.vertexWords.size() % words != 0) return "vertex words are not whole records";
  if (mesh.triangles.size() % kVec3 != 0) return "triangles are not whole triples";
  if (positionCount > kMaxCount || mesh.vertexWords.size() / words > kMaxCount ||
      mesh.triangles.size() / kVec3 > kMaxCount) {
    return "more than 65535 positions, vertices or triangles";
  }
  for (size_t i = 0; i < mesh.vertexWords.size(); i += words) {
    if (mesh.vertexWords[i] >= positionCount) return "a position index is out of range";
  }
  const size_t vertices = mesh.vertexWords.size() / words;
  for (uint16_t index : mesh.triangles) {
    if (index >= vertices) return "a triangle index is out of range";
  }
  return "";
}

bool writeFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool complete = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && complete;
}

}  // namespace aml
