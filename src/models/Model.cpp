#include "models/Model.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/Fatal.h"
#include "resources/DataFile.h"

namespace {

constexpr long kWordBytes = 4;
constexpr long kTriangleBytes = 6;
constexpr int kVec3 = 3;
constexpr int kTextureUnits = 8;
constexpr int kUvComponents = 2;
constexpr int kAlwaysDisabledGenericAttributes = 2;
constexpr float kFallbackNormal[kVec3] = {0.0f, 0.0f, 1.0f};

float dot(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void cross(const float a[3], const float b[3], float out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

// Scales v to unit length; false (v untouched) when it has no finite direction.
bool normalize(float v[3]) {
  float length = std::sqrt(dot(v, v));
  if (!(length > 0.0f) || !std::isfinite(length)) return false;
  for (int i = 0; i < kVec3; ++i) v[i] /= length;
  return true;
}

// A unit vector perpendicular to the unit vector n: the axis n leans on least, with its
// n part removed. For n = (0, 0, 1) that is (1, 0, 0), the usual U direction.
void perpendicular(const float n[3], float out[3]) {
  int axis = 0;
  for (int i = 1; i < kVec3; ++i) {
    if (std::fabs(n[i]) < std::fabs(n[axis])) axis = i;
  }
  for (int i = 0; i < kVec3; ++i) out[i] = (i == axis ? 1.0f : 0.0f) - n[i] * n[axis];
  normalize(out);
}

const void* byteOffset(int words) {
  return reinterpret_cast<const void*>(static_cast<uintptr_t>(words) * kWordBytes);
}

}  // namespace

void Mesh::faceNormal(int t, float out[3]) const {
  std::fill(out, out + kVec3, 0.0f);
  if (t < 0 || t >= triangleCount || !indices) return;
  const uint16_t* corner = indices + static_cast<long>(t) * kVec3;
  float p[kVec3][kVec3];
  for (int c = 0; c < kVec3; ++c) {
    if (!readFloats(corner[c], ATTRIB_POSITION, p[c], kVec3)) return;
  }
  float e1[kVec3], e2[kVec3], n[kVec3];
  for (int i = 0; i < kVec3; ++i) {
    e1[i] = p[1][i] - p[0][i];
    e2[i] = p[2][i] - p[0][i];
  }
  cross(e1, e2, n);
  if (normalize(n)) std::copy(n, n + kVec3, out);
}

void Mesh::triangleTangent(int t, float out[3]) const {
  std::fill(out, out + kVec3, 0.0f);
  if (t < 0 || t >= triangleCount || !indices) return;
  const uint16_t* corner = indices + static_cast<long>(t) * kVec3;
  float p[kVec3][kVec3];
  float uv[kVec3][kUvComponents];
  for (int c = 0; c < kVec3; ++c) {
    if (!readFloats(corner[c], ATTRIB_POSITION, p[c], kVec3) ||
        !readFloats(corner[c], ATTRIB_TEXCOORD0, uv[c], kUvComponents)) {
      return;
    }
  }
  float dU1 = uv[1][0] - uv[0][0], dV1 = uv[1][1] - uv[0][1];
  float dU2 = uv[2][0] - uv[0][0], dV2 = uv[2][1] - uv[0][1];
  float determinant = dU1 * dV2 - dU2 * dV1;
  if (determinant == 0.0f) return;
  float r = 1.0f / determinant;
  float tangent[kVec3];
  for (int i = 0; i < kVec3; ++i) {
    float e1 = p[1][i] - p[0][i];
    float e2 = p[2][i] - p[0][i];
    tangent[i] = (e1 * dV2 - e2 * dV1) * r;
  }
  // A nearly flat UV triangle can overflow r; it then says nothing about direction.
  for (int i = 0; i < kVec3; ++i) {
    if (!std::isfinite(tangent[i])) return;
  }
  std::copy(tangent, tangent + kVec3, out);
}

void Mesh::addAttribute(int type, int components) {
  if (type < 0 || type >= kMaxAttributes || components < 1 || attributeCount >= kMaxAttributes) {
    fatalError("Mesh cannot take attribute type %d with %d components.", type, components);
  }
  if (attributeOfType[type] >= 0) return;
  const int newStride = stride + components;
  uint32_t* grown =
      vertexCount > 0 ? new uint32_t[static_cast<long>(vertexCount) * newStride] : nullptr;
  for (int v = 0; v < vertexCount; ++v) {
    uint32_t* to = grown + static_cast<long>(v) * newStride;
    std::memcpy(to, vertexData + static_cast<long>(v) * stride, kWordBytes * stride);
    std::fill(to + stride, to + newStride, 0u);  // the caller fills them; never garbage
  }
  delete[] vertexData;
  vertexData = grown;
  attributeType[attributeCount] = type;
  componentCount[attributeCount] = components;
  ++attributeCount;
  updateLayout();
}

void Mesh::requireVector3(int type) {
  addAttribute(type, kVec3);
  int components = componentCount[attributeOfType[type]];
  if (components < kVec3) {
    fatalError("Mesh attribute type %d has %d components; 3 are needed.", type, components);
  }
}

void Mesh::sumOverTriangles(int type, void (Mesh::*perTriangle)(int, float*) const) {
  const float zero[kVec3] = {};
  for (int v = 0; v < vertexCount; ++v) writeFloats(v, type, zero, kVec3);
  for (int t = 0; t < triangleCount; ++t) {
    float vector[kVec3];
    (this->*perTriangle)(t, vector);
    for (int c = 0; c < kVec3; ++c) {
      int vertex = indices[t * kVec3 + c];
      float sum[kVec3];
      if (!readFloats(vertex, type, sum, kVec3)) continue;
      for (int i = 0; i < kVec3; ++i) sum[i] += vector[i];
      writeFloats(vertex, type, sum, kVec3);
    }
  }
}

void Mesh::computeNormals() {
  requireVector3(ATTRIB_NORMAL);
  sumOverTriangles(ATTRIB_NORMAL, &Mesh::faceNormal);
  for (int v = 0; v < vertexCount; ++v) {
    float n[kVec3];
    readFloats(v, ATTRIB_NORMAL, n, kVec3);
    if (!normalize(n)) std::copy(kFallbackNormal, kFallbackNormal + kVec3, n);
    writeFloats(v, ATTRIB_NORMAL, n, kVec3);
  }
}

void Mesh::computeTangents() {
  requireVector3(ATTRIB_TANGENT);
  requireVector3(ATTRIB_BINORMAL);
  sumOverTriangles(ATTRIB_TANGENT, &Mesh::triangleTangent);
  for (int v = 0; v < vertexCount; ++v) {
    // The frame is built on the unit normal, whatever length the stored one has.
    float n[kVec3];
    if (!readFloats(v, ATTRIB_NORMAL, n, kVec3) || !normalize(n)) {
      std::copy(kFallbackNormal, kFallbackNormal + kVec3, n);
    }
    float t[kVec3];
    readFloats(v, ATTRIB_TANGENT, t, kVec3);
    float along = dot(n, t);
    for (int i = 0; i < kVec3; ++i) t[i] -= n[i] * along;
    if (!normalize(t)) perpendicular(n, t);
    float b[kVec3];
    cross(n, t, b);
    normalize(b);  // already unit up to rounding: n and t are unit and perpendicular
    writeFloats(v, ATTRIB_TANGENT, t, kVec3);
    writeFloats(v, ATTRIB_BINORMAL, b, kVec3);
  }
}

void Mesh::createBuffers() {
  glGenBuffers(1, &vertexBuffer);
  glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount) * stride * kWordBytes,
               vertexData, GL_STATIC_DRAW);
  glGenBuffers(1, &indexBuffer);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(triangleCount) * kTriangleBytes,
               indices, GL_STATIC_DRAW);
}

void Mesh::draw() {
  if (vertexBuffer == kNoBuffer || indexBuffer == kNoBuffer) return;
  bindArrays();
  glDrawRangeElements(GL_TRIANGLES, 0, vertexCount, triangleCount * kVec3, GL_UNSIGNED_SHORT,
                      nullptr);
  unbindArrays();
}

void Mesh::bindArrays() {
  const GLsizei byteStride = stride * kWordBytes;
  glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
  // Components and byte offset of an attribute present in the records.
  auto size = [this](int type) { return componentCount[attributeOfType[type]]; };
  auto at = [this](int type) { return byteOffset(offsetOfType(type)); };
  if (attributeOfType[ATTRIB_POSITION] >= 0) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(size(ATTRIB_POSITION), GL_FLOAT, byteStride, at(ATTRIB_POSITION));
  }
  if (attributeOfType[ATTRIB_NORMAL] >= 0) {
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, byteStride, at(ATTRIB_NORMAL));
  }
  if (attributeOfType[ATTRIB_COLOR] >= 0) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(size(ATTRIB_COLOR), GL_FLOAT, byteStride, at(ATTRIB_COLOR));
  }
  if (attributeOfType[ATTRIB_SECONDARY_COLOR] >= 0) {
    glEnableClientState(GL_SECONDARY_COLOR_ARRAY);
    glSecondaryColorPointer(size(ATTRIB_SECONDARY_COLOR), GL_FLOAT, byteStride,
                            at(ATTRIB_SECONDARY_COLOR));
  }
  if (attributeOfType[ATTRIB_TANGENT] >= 0 && tangentAttribIndex >= 0) {
    glEnableVertexAttribArray(tangentAttribIndex);
    glVertexAttribPointer(tangentAttribIndex, kVec3, GL_FLOAT, GL_TRUE, byteStride,
                          at(ATTRIB_TANGENT));
  }
  for (int unit = 0; unit < kTextureUnits; ++unit) {
    int type = ATTRIB_TEXCOORD0 + unit;
    if (attributeOfType[type] < 0) continue;
    glClientActiveTexture(GL_TEXTURE0 + unit);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(size(type), GL_FLOAT, byteStride, at(type));
  }
}

void Mesh::unbindArrays() {
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_SECONDARY_COLOR_ARRAY);
  for (int index = 0; index < kAlwaysDisabledGenericAttributes; ++index) {
    glDisableVertexAttribArray(index);
  }
  if (tangentAttribIndex >= kAlwaysDisabledGenericAttributes) {
    glDisableVertexAttribArray(tangentAttribIndex);
  }
  for (int unit = kTextureUnits - 1; unit >= 0; --unit) {
    glClientActiveTexture(GL_TEXTURE0 + unit);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
}

void ModelManager::loadModel(const std::string& name) {
  std::string path = findDataFile("data", name, {"aml"});
  getOrCreate(name) = Model();
  get(name).readAml(path);
  for (Mesh& mesh : get(name).meshes) mesh.resolvePositions();
}
