// Models: the AML format (version 2, little-endian) and mesh preparation and drawing.
//
// File: "AML", version byte 2, int32 mesh count, then per mesh: u16 position count P,
// u16 vertex count V, u16 triangle count T, u8 attribute count A (<= 16), A pairs of u8
// (type code, components), P float triples, V records of S 32-bit words (S = sum of the
// components), T u16 triples. The first attribute is the position index (type 1, one
// int32 word); loading replaces it by the position (type 0, three floats).
//
// Malformed files (short reads, out-of-range indices, bad attribute tables, absurd
// counts) are refused with a fatal error naming the file; nothing reads past an array.
//
// Calls: ModelManager::loadModel(name), then on the model computeNormals(),
// computeTangents(), createBuffers() (GL), then draw() (GL) every frame.
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

// Abstract binary input; values come back in the machine's byte order (little-endian
// files on little-endian machines).
class InputStream {
 public:
  virtual ~InputStream() = default;
  virtual int seek(long offset, int origin) = 0;       // fseek semantics
  virtual size_t read(void* buffer, size_t size) = 0;  // whole blocks read (0 or 1)
  uint8_t readU8();
  uint16_t readU16();
  uint32_t readU32();
  float readFloat();
  double readDouble();
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
  long size();

 private:
  FILE* file_ = nullptr;
};

class Mesh {
 public:
  Mesh() = default;
  Mesh(const Mesh& other);
  Mesh& operator=(const Mesh& other);
  virtual ~Mesh();

  uint32_t indexBuffer = 0xFFFFFFFFu;
  uint32_t vertexBuffer = 0xFFFFFFFFu;
  int32_t positionCount = 0;
  int32_t vertexCount = 0;
  int32_t triangleCount = 0;
  int32_t attributeCount = 0;
  int32_t componentCount[kMaxAttributes] = {};
  int32_t attributeType[kMaxAttributes] = {-1, -1, -1, -1, -1, -1, -1, -1,
                                           -1, -1, -1, -1, -1, -1, -1, -1};
  float* positions = nullptr;     // 3 floats per entry; null once resolved
  uint32_t* vertexData = nullptr; // vertexCount records of `stride` words
  uint16_t* indices = nullptr;    // 3 per triangle
  int32_t tangentAttribIndex = -1;
  int32_t attributeOfType[kMaxAttributes] = {-1, -1, -1, -1, -1, -1, -1, -1,
                                             -1, -1, -1, -1, -1, -1, -1, -1};
  int32_t stride = 0;

  void updateLayout();
  void resolvePositions();

  // Word offset of an attribute inside a record; -1 when absent.
  int offsetOfType(int type) const;
  float* floatsOf(int vertex, int type);  // the attribute's words of one vertex, or null

  void faceNormal(int t, float out[3]) const;
  void triangleTangent(int t, float out[3]) const;
  void addAttribute(int type, int components);
  void computeNormals();
  void computeTangents();
  void createBuffers();
  void draw();
  void bindArrays();
  void unbindArrays();

 private:
  void release();
  void copyFrom(const Mesh& other);
};

class Model {
 public:
  explicit Model(int capacity = 16) : meshes(capacity) {}
  GrowableArray<Mesh> meshes;

  void readAml(const std::string& path);
  void readAml(InputStream& in, const std::string& path, long fileSize);
  void computeNormals();
  void computeTangents();
  void createBuffers();
  void draw();
};

class ModelManager : public ResourceManager<Model> {
 public:
  std::string typeName() const override { return "model"; }
  void loadModel(const std::string& name);
};
