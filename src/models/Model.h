// Models: the AML format (version 2, little-endian) and mesh preparation and drawing.
//
// File: "AML", version byte 2, int32 mesh count, then per mesh: u16 position count P,
// u16 vertex count V, u16 triangle count T, u8 attribute count A (<= 16), A pairs of u8
// (type code, components), P float triples, V records of S 32-bit words (S = sum of the
// components), T u16 triples. The first attribute is the position index (type 1, one
// int32 word); loading replaces it by the position (type 0, three floats).
//
// Malformed files (short reads, out-of-range indices, bad attribute tables, absurd counts,
// a stored type 0, component counts other than the GL arrays take: normal 3, colour 3-4,
// secondary colour 3, texture coordinates 1-4) are fatal, naming the file; nothing reads
// past an array. Directionless geometry gets a fixed finite answer, never NaN.
//
// Tangents reach shaders as texture coordinates of unit 4 (binormals: unit 5), and as the
// generic attribute tangentAttribIndex once the caller sets it (-1: none; never 0, which
// aliases the position). unbindArrays() disables generic attributes 0, 1 and that one.
//
// DOES NOT: delete buffer objects, need GL before createBuffers(), or leave array state
// enabled after draw().
//
// Calls: ModelManager::loadModel(name), then computeNormals(), computeTangents(),
// createBuffers() (GL), then draw() (GL) every frame. Reading and mesh storage are GL-free
// (models/AmlReader.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "resources/GrowableArray.h"
#include "resources/ResourceManager.h"

enum AttributeType {
  ATTRIB_POSITION = 0,
  ATTRIB_POSITION_INDEX = 1,
  ATTRIB_NORMAL = 2,
  ATTRIB_COLOR = 4,
  ATTRIB_SECONDARY_COLOR = 5,
  ATTRIB_TEXCOORD0 = 6,
  ATTRIB_TANGENT = 10,   // shares its code with ATTRIB_TEXCOORD4
  ATTRIB_BINORMAL = 11,  // shares its code with ATTRIB_TEXCOORD5
  ATTRIB_TEXCOORD7 = 13,
};
constexpr int kMaxAttributes = 16;

// Abstract binary input; values come in the machine's byte order (files are little-endian).
class InputStream {
 public:
  virtual ~InputStream() = default;
  virtual int seek(long offset, int origin) = 0;       // fseek semantics
  virtual size_t read(void* buffer, size_t size) = 0;  // whole blocks read (0 or 1)
  uint8_t readU8();
  uint16_t readU16();
  uint32_t readU32();
  // Reads `size` bytes into `buffer`; a short read zero-fills it, sets failed() and
  // returns false. Nothing is read once a read has failed.
  bool readBlock(void* buffer, size_t size);
  // True once any read came up short; values read after that are 0.
  bool failed() const { return failed_; }

 protected:
  bool failed_ = false;
};

class FileInputStream : public InputStream {
 public:
  explicit FileInputStream(const char* path);
  ~FileInputStream() override;
  bool isOpen() const { return file_ != nullptr; }
  int seek(long offset, int origin) override;
  size_t read(void* buffer, size_t size) override;
  long size();  // bytes in the file; -1 when it cannot be told

 private:
  FILE* file_ = nullptr;
};

// Buffer name of a mesh whose buffer objects are not made yet.
constexpr uint32_t kNoBuffer = 0xFFFFFFFFu;

// Copying a mesh copies its arrays (positionCount x 3 floats, vertexCount x stride words,
// triangleCount x 3 indices); buffer names are copied as they are.
class Mesh {
 public:
  Mesh() = default;
  Mesh(const Mesh& other);
  Mesh& operator=(const Mesh& other);
  virtual ~Mesh();

  uint32_t indexBuffer = kNoBuffer;
  uint32_t vertexBuffer = kNoBuffer;
  int32_t positionCount = 0;
  int32_t vertexCount = 0;
  int32_t triangleCount = 0;
  int32_t attributeCount = 0;
  int32_t componentCount[kMaxAttributes] = {};
  int32_t attributeType[kMaxAttributes] = {-1, -1, -1, -1, -1, -1, -1, -1,
                                           -1, -1, -1, -1, -1, -1, -1, -1};
  float* positions = nullptr;       // 3 floats per entry; null once resolved
  uint32_t* vertexData = nullptr;   // vertexCount records of `stride` words
  uint16_t* indices = nullptr;      // 3 per triangle
  int32_t tangentAttribIndex = -1;  // generic attribute for tangents; -1: none
  int32_t attributeOfType[kMaxAttributes] = {-1, -1, -1, -1, -1, -1, -1, -1,
                                             -1, -1, -1, -1, -1, -1, -1, -1};
  int32_t stride = 0;

  // Recomputes stride and attributeOfType from the first attributeCount slots. A slot
  // of type -1 (or beyond 15) prints "Error! Attrib type[i] = -1" and exits with 1.
  void updateLayout();
  // Replaces each vertex's leading position index by its position (stride grows by 2)
  // and drops the position table. Does nothing to a mesh without a position index.
  void resolvePositions();

  // Word offset of an attribute inside a record; -1 when absent.
  int offsetOfType(int type) const;
  // Copies the first `count` floats of an attribute of one vertex out of (or into) its
  // words; false, nothing copied, when either is absent or narrower than `count`.
  bool readFloats(int vertex, int type, float* out, int count) const;
  bool writeFloats(int vertex, int type, const float* values, int count);

  // Unit normal of triangle t, counter-clockwise facing; (0, 0, 0) when degenerate.
  void faceNormal(int t, float out[3]) const;
  // Tangent (direction of growing U) of triangle t from ATTRIB_TEXCOORD0, scaled by the
  // inverse texture-space area; (0, 0, 0) when that area is zero or there is no UV.
  void triangleTangent(int t, float out[3]) const;
  // Appends an attribute with `components` zeroed words to every record, unless
  // one of that type is present. A full table or a bad type or size is fatal.
  void addAttribute(int type, int components);
  // Adds a normal attribute when there is none; a vertex whose sum is zero gets (0, 0, 1).
  void computeNormals();
  // Adds tangent and binormal from the normals and ATTRIB_TEXCOORD0; a tangent that vanishes
  // beside its normal becomes a unit vector perpendicular to it.
  void computeTangents();
  void createBuffers();  // leaves both buffers bound
  void draw();           // nothing until createBuffers() has run
  void bindArrays();
  void unbindArrays();

 private:
  void release();
  void copyFrom(const Mesh& other);
  // The first word of an attribute of one vertex with at least `count` components; null
  // otherwise. Words hold float bits: copy them, never alias them as float.
  const uint32_t* wordsOf(int vertex, int type, int count) const;
  // The slot of a three-float attribute, added when absent; fatal when too small.
  void requireVector3(int type);
  // Zeroes the three-float attribute `type` of every vertex, then adds to each vertex the
  // vector that `perTriangle` gives for every triangle it belongs to.
  void sumOverTriangles(int type, void (Mesh::*perTriangle)(int, float*) const);
};

class Model {
 public:
  explicit Model(int capacity = 16) : meshes(capacity) {}  // meshes it has room for
  GrowableArray<Mesh> meshes;

  // Opens `path`; a file that cannot be opened prints "File <path> not found!" on stderr
  // and exits with 1.
  void readAml(const std::string& path);
  // Replaces the meshes by those of the stream, which holds `fileSize` bytes. Positions
  // stay indexed; `path` only names the file in error messages.
  void readAml(InputStream& in, const std::string& path, long fileSize);
  void computeNormals() {
    for (Mesh& mesh : meshes) mesh.computeNormals();
  }
  void computeTangents() {
    for (Mesh& mesh : meshes) mesh.computeTangents();
  }
  void createBuffers() {
    for (Mesh& mesh : meshes) mesh.createBuffers();
  }
  void draw() {
    for (Mesh& mesh : meshes) mesh.draw();
  }
};

class ModelManager : public ResourceManager<Model> {
 public:
  std::string typeName() const override { return "model"; }
  // Reads "data/<name>.aml" into the entry `name` (replacing it) and resolves positions.
  void loadModel(const std::string& name);
};
