// AmlWriter: builds AML model files (format version 2, little-endian) in memory; it does
// not read them, compute normals or split meshes that are too big.
//
//   mesh.attributes = {{aml::kPositionIndex, 1}, {aml::kNormal, 3}, {aml::kTexCoord0, 2}};
//   mesh.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};  // x, y, z per position
//   mesh.addVertex(0, {0, 0, 1, 0, 0});             // index, then the other floats
//   ... mesh.triangles = {0, 1, 2};
//   if (aml::checkMesh(mesh).empty()) aml::writeFile(path, aml::writeAml({mesh}));
//
// The file's counts come from the vectors (P = positions / 3, V = vertexWords / S,
// T = triangles / 3), cut to their fields' width. writeAml() writes what it is given,
// rule-breaking or not, and the byte helpers (ByteWriter, header(), meshBytes()) let
// tests go further: wrong magic or version, counts that disagree, truncation.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace aml {

constexpr uint8_t kFormatVersion = 2;
constexpr int kMaxAttributes = 16;
constexpr int kMaxCount = 65535;  // P, V and T are 16-bit fields

// Attribute type codes as the loader reads them.
constexpr uint8_t kPositionIndex = 1;
constexpr uint8_t kNormal = 2;
constexpr uint8_t kColor = 4;
constexpr uint8_t kSecondaryColor = 5;
constexpr uint8_t kTexCoord0 = 6;  // texture unit k is kTexCoord0 + k, k < 8

struct Attribute {
  uint8_t type;
  uint8_t components;
};

struct MeshData {
  std::vector<float> positions;       // 3 per position
  std::vector<Attribute> attributes;  // declared order; a loadable mesh starts with {1, 1}
  std::vector<uint32_t> vertexWords;  // records of wordsPerVertex() words
  std::vector<uint16_t> triangles;    // 3 vertex indices per triangle

  int wordsPerVertex() const;  // S, the sum of the component counts
  int vertexCount() const;     // whole records in vertexWords
  // Appends a record: the position index word, then `values` as float words.
  void addVertex(uint32_t positionIndex, std::initializer_list<float> values);
};

// The bits of a float as one vertex word.
uint32_t floatWord(float value);

// Little-endian bytes appended to a string.
class ByteWriter {
 public:
  ByteWriter& u8(uint8_t value) { return raw(std::string(1, static_cast<char>(value))); }
  ByteWriter& u16(uint16_t value) { return u8(value & 0xFF).u8(value >> 8); }
  ByteWriter& u32(uint32_t value) { return u16(value & 0xFFFF).u16(value >> 16); }
  ByteWriter& i32(int32_t value) { return u32(static_cast<uint32_t>(value)); }
  ByteWriter& f32(float value) { return u32(floatWord(value)); }
  ByteWriter& raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// "AML", the version byte and the mesh count.
std::string header(int32_t meshCount, uint8_t version = kFormatVersion);
// One mesh as the file stores it.
std::string meshBytes(const MeshData& mesh);
// A whole file: header with the number of meshes, then each mesh.
std::string writeAml(const std::vector<MeshData>& meshes);

// Why the loader would refuse the mesh, or "" when it follows every rule.
std::string checkMesh(const MeshData& mesh);

// Writes bytes to a file; false when it cannot be written completely.
bool writeFile(const std::string& path, const std::string& bytes);

}  // namespace aml
