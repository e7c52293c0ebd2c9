// Helpers shared by the model tests: AML bytes read from memory, and small meshes.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "aml/AmlWriter.h"
#include "models/Model.h"

// Reads from a string; `position` tells how far a reader got before stopping.
class MemoryInputStream : public InputStream {
 public:
  explicit MemoryInputStream(std::string bytes) : bytes_(std::move(bytes)) {}
  int seek(long offset, int origin) override {
    long base = origin == SEEK_CUR ? position : origin == SEEK_END ? long(bytes_.size()) : 0;
    if (base + offset < 0 || base + offset > long(bytes_.size())) return -1;
    position = base + offset;
    return 0;
  }
  size_t read(void* buffer, size_t size) override {
    if (position + size > bytes_.size()) {
      position = bytes_.size();
      return 0;
    }
    std::memcpy(buffer, bytes_.data() + position, size);
    position += size;
    return 1;
  }
  size_t position = 0;

 private:
  std::string bytes_;
};

constexpr const char* kMemoryPath = "mem.aml";

inline Model readBytes(const std::string& bytes) {
  MemoryInputStream in(bytes);
  Model model;
  model.readAml(in, kMemoryPath, static_cast<long>(bytes.size()));
  return model;
}

// A mesh of `data`, read and resolved as loadModel leaves it.
inline Mesh loadMesh(const aml::MeshData& data) {
  Model model = readBytes(aml::writeAml({data}));
  model.meshes[0].resolvePositions();
  return model.meshes[0];
}

// Triangle (0,0,0), (1,0,0), (0,1,0) with normal slots and UV (0,0), (1,0), (0,1).
inline aml::MeshData unitTriangle() {
  aml::MeshData mesh;
  mesh.attributes = {{aml::kPositionIndex, 1}, {aml::kNormal, 3}, {aml::kTexCoord0, 2}};
  mesh.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  mesh.addVertex(0, {0, 0, 0, 0, 0});
  mesh.addVertex(1, {0, 0, 0, 1, 0});
  mesh.addVertex(2, {0, 0, 0, 0, 1});
  mesh.triangles = {0, 1, 2};
  return mesh;
}

// The first `count` floats of an attribute of one vertex; empty when the mesh lacks them.
inline std::vector<float> floatsOf(const Mesh& mesh, int vertex, int type, int count) {
  std::vector<float> values(count);
  if (!mesh.readFloats(vertex, type, values.data(), count)) values.clear();
  return values;
}
inline std::vector<float> vec3Of(const Mesh& mesh, int vertex, int type) {
  return floatsOf(mesh, vertex, type, 3);
}
inline std::vector<float> uvOf(const Mesh& mesh, int vertex) {
  return floatsOf(mesh, vertex, ATTRIB_TEXCOORD0, 2);
}
