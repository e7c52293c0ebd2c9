#include "models/Model.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/Fatal.h"
#include "resources/DataFile.h"

namespace {

constexpr char kMagic[] = "AML";
constexpr int kMagicLength = 3;
constexpr unsigned kFormatVersion = 2;
constexpr long kHeaderBytes = 8;    // magic, version byte, int32 mesh count
constexpr long kMeshHeadBytes = 7;  // P, V, T (u16 each) and A (u8): the least a mesh takes
constexpr long kPositionBytes = 12;
constexpr long kWordBytes = 4;
constexpr long kTriangleBytes = 6;
constexpr int kVec3 = 3;
constexpr int kTextureUnits = 8;
constexpr int kUvComponents = 2;
// unbindArrays() always disables generic attributes 0 and 1; others it disables by name.
constexpr int kAlwaysDisabledGenericAttributes = 2;
constexpr float kFallbackNormal[kVec3] = {0.0f, 0.0f, 1.0f};
constexpr int kModelCapacity = 16;  // meshes a freshly registered model has room for

template <typename T>
T* duplicate(const T* source, long count) {
  if (!source || count <= 0) return nullptr;
  T* copy = new T[count];
  std::memcpy(copy, source, sizeof(T) * count);
  return copy;
}

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

// One mesh of the stream into `mesh`; `remaining` is the byte count left in the file.
void readMesh(InputStream& in, const char* file, long& remaining, Mesh& mesh) {
  mesh.positionCount = in.readU16();
  mesh.vertexCount = in.readU16();
  mesh.triangleCount = in.readU16();
  mesh.attributeCount = in.readU8();
  if (in.failed()) fatalError("File '%s' is truncated.\n", file);
  remaining -= kMeshHeadBytes;
  if (mesh.attributeCount > kMaxAttributes) {
    fatalError("File '%s' has more than %d attributes.\n", file, kMaxAttributes);
  }

  bool seen[kMaxAttributes] = {};
  for (int i = 0; i < mesh.attributeCount; ++i) {
    int type = in.readU8();
    int components = in.readU8();
    if (in.failed()) fatalError("File '%s' is truncated.\n", file);
    if (type >= kMaxAttributes) {
      fatalError("File '%s' has an attribute type %d out of range.\n", file, type);
    }
    if (seen[type]) fatalError("File '%s' repeats attribute type %d.\n", file, type);
    seen[type] = true;
    mesh.attributeType[i] = type;
    mesh.componentCount[i] = components;
  }
  remaining -= 2L * mesh.attributeCount;
  if (mesh.attributeCount == 0 || mesh.attributeType[0] != ATTRIB_POSITION_INDEX ||
      mesh.componentCount[0] != 1) {
    fatalError("File '%s' does not start its vertices with a position index.\n", file);
  }
  mesh.updateLayout();
  // Normals are always written as three floats; a narrower slot would be overrun.
  int normal = mesh.attributeOfType[ATTRIB_NORMAL];
  if (normal >= 0 && mesh.componentCount[normal] != kVec3) {
    fatalError("File '%s' has a normal of %d components.\n", file, mesh.componentCount[normal]);
  }

  // Checked before allocating, so a few bytes cannot ask for a gigabyte.
  long vertexWords = static_cast<long>(mesh.vertexCount) * mesh.stride;
  long needed = kPositionBytes * mesh.positionCount + kWordBytes * vertexWords +
                kTriangleBytes * mesh.triangleCount;
  if (needed > remaining) fatalError("File '%s' is truncated.\n", file);

  if (mesh.positionCount > 0) {
    mesh.positions = new float[static_cast<size_t>(mesh.positionCount) * kVec3];
    in.readBlock(mesh.positions, kPositionBytes * mesh.positionCount);
  }
  if (vertexWords > 0) {
    mesh.vertexData = new uint32_t[vertexWords];
    for (int v = 0; v < mesh.vertexCount; ++v) {
      in.readBlock(mesh.vertexData + static_cast<long>(v) * mesh.stride, kWordBytes * mesh.stride);
    }
  }
  if (mesh.triangleCount > 0) {
    mesh.indices = new uint16_t[static_cast<size_t>(mesh.triangleCount) * kVec3];
    in.readBlock(mesh.indices, kTriangleBytes * mesh.triangleCount);
  }
  if (in.failed()) fatalError("File '%s' is truncated.\n", file);
  remaining -= needed;

  for (int v = 0; v < mesh.vertexCount; ++v) {
    uint32_t index = mesh.vertexData[static_cast<long>(v) * mesh.stride];
    if (index >= static_cast<uint32_t>(mesh.positionCount)) {
      fatalError("File '%s' has a position index out of range.\n", file);
    }
  }
  for (long i = 0; i < static_cast<long>(mesh.triangleCount) * kVec3; ++i) {
    if (mesh.indices[i] >= mesh.vertexCount) {
      fatalError("File '%s' has a triangle index out of range.\n", file);
    }
  }
}

}  // namespace

// ---- Input streams ----

bool InputStream::readBlock(void* buffer, size_t size) {
  if (size == 0) return !failed_;  // fread of zero bytes reports zero blocks
  if (!failed_ && read(buffer, size) == 1) return true;
  failed_ = true;
  std::memset(buffer, 0, size);
  return false;
}

namespace {
// One value in the machine's byte order; 0 once the stream has come up short.
template <typename T>
T readValue(InputStream& in) {
  T value;
  in.readBlock(&value, sizeof value);
  return value;
}
}  // namespace

uint8_t InputStream::readU8() { return readValue<uint8_t>(*this); }
uint16_t InputStream::readU16() { return readValue<uint16_t>(*this); }
uint32_t InputStream::readU32() { return readValue<uint32_t>(*this); }
float InputStream::readFloat() { return readValue<float>(*this); }
double InputStream::readDouble() { return readValue<double>(*this); }

FileInputStream::FileInputStream(const char* path) : file_(std::fopen(path, "rb")) {}

FileInputStream::~FileInputStream() {
  if (file_) std::fclose(file_);
}

int FileInputStream::seek(long offset, int origin) {
  return file_ ? std::fseek(file_, offset, origin) : -1;
}

size_t FileInputStream::read(void* buffer, size_t size) {
  return file_ ? std::fread(buffer, size, 1, file_) : 0;
}

long FileInputStream::size() {
  if (!file_) return -1;
  long here = std::ftell(file_);
  if (here < 0 || std::fseek(file_, 0, SEEK_END) != 0) return -1;
  long end = std::ftell(file_);
  std::fseek(file_, here, SEEK_SET);
  return end;
}

// ---- Mesh: storage and layout ----

Mesh::Mesh(const Mesh& other) { copyFrom(other); }

Mesh& Mesh::operator=(const Mesh& other) {
  if (this != &other) {
    release();
    copyFrom(other);
  }
  return *this;
}

Mesh::~Mesh() { release(); }

void Mesh::release() {
  delete[] positions;
  delete[] vertexData;
  delete[] indices;
  positions = nullptr;
  vertexData = nullptr;
  indices = nullptr;
}

void Mesh::copyFrom(const Mesh& other) {
  indexBuffer = other.indexBuffer;
  vertexBuffer = other.vertexBuffer;
  positionCount = other.positionCount;
  vertexCount = other.vertexCount;
  triangleCount = other.triangleCount;
  attributeCount = other.attributeCount;
  std::copy(other.componentCount, other.componentCount + kMaxAttributes, componentCount);
  std::copy(other.attributeType, other.attributeType + kMaxAttributes, attributeType);
  tangentAttribIndex = other.tangentAttribIndex;
  std::copy(other.attributeOfType, other.attributeOfType + kMaxAttributes, attributeOfType);
  stride = other.stride;
  positions = duplicate(other.positions, static_cast<long>(positionCount) * kVec3);
  vertexData = duplicate(other.vertexData, static_cast<long>(vertexCount) * stride);
  indices = duplicate(other.indices, static_cast<long>(triangleCount) * kVec3);
}

void Mesh::updateLayout() {
  int count = std::clamp(attributeCount, 0, kMaxAttributes);
  stride = 0;
  for (int i = 0; i < count; ++i) stride += componentCount[i];
  std::fill(attributeOfType, attributeOfType + kMaxAttributes, -1);
  for (int i = 0; i < count; ++i) {
    int type = attributeType[i];
    if (type < 0 || type >= kMaxAttributes) {
      std::printf("Error! Attrib type[%d] = %d\n", i, type);
      std::exit(1);
    }
    attributeOfType[type] = i;
  }
}

void Mesh::resolvePositions() {
  int indexAttribute = attributeOfType[ATTRIB_POSITION_INDEX];
  if (indexAttribute < 0) return;
  if (indexAttribute != 0 || componentCount[0] != 1) {
    fatalError("Mesh vertices do not start with a position index.");
  }
  const int oldStride = stride;
  const int newStride = oldStride - 1 + kVec3;
  uint32_t* resolved =
      vertexCount > 0 ? new uint32_t[static_cast<long>(vertexCount) * newStride] : nullptr;
  for (int v = 0; v < vertexCount; ++v) {
    const uint32_t* from = vertexData + static_cast<long>(v) * oldStride;
    uint32_t* to = resolved + static_cast<long>(v) * newStride;
    uint32_t k = from[0];
    if (k >= static_cast<uint32_t>(positionCount)) {
      delete[] resolved;
      fatalError("Mesh position index %u is out of range (%d positions).", k, positionCount);
    }
    std::memcpy(to, positions + static_cast<size_t>(k) * kVec3, kPositionBytes);
    std::memcpy(to + kVec3, from + 1, kWordBytes * (oldStride - 1));
  }
  delete[] vertexData;
  delete[] positions;
  vertexData = resolved;
  positions = nullptr;
  positionCount = 0;
  attributeType[0] = ATTRIB_POSITION;
  componentCount[0] = kVec3;
  updateLayout();
}

int Mesh::offsetOfType(int type) const {
  if (type < 0 || type >= kMaxAttributes || attributeOfType[type] < 0) return -1;
  int offset = 0;
  for (int i = 0; i < attributeOfType[type]; ++i) offset += componentCount[i];
  return offset;
}

const float* Mesh::floatsOf(int vertex, int type) const {
  int offset = offsetOfType(type);
  if (offset < 0 || !vertexData || vertex < 0 || vertex >= vertexCount) return nullptr;
  return reinterpret_cast<const float*>(vertexData + static_cast<long>(vertex) * stride + offset);
}

float* Mesh::floatsOf(int vertex, int type) {
  return const_cast<float*>(static_cast<const Mesh*>(this)->floatsOf(vertex, type));
}

// ---- Mesh: normals and tangents ----

void Mesh::faceNormal(int t, float out[3]) const {
  std::fill(out, out + kVec3, 0.0f);
  if (t < 0 || t >= triangleCount || !indices) return;
  const uint16_t* corner = indices + static_cast<long>(t) * kVec3;
  const float* p0 = floatsOf(corner[0], ATTRIB_POSITION);
  const float* p1 = floatsOf(corner[1], ATTRIB_POSITION);
  const float* p2 = floatsOf(corner[2], ATTRIB_POSITION);
  if (!p0 || !p1 || !p2) return;
  float e1[kVec3], e2[kVec3], n[kVec3];
  for (int i = 0; i < kVec3; ++i) {
    e1[i] = p1[i] - p0[i];
    e2[i] = p2[i] - p0[i];
  }
  cross(e1, e2, n);
  if (normalize(n)) std::copy(n, n + kVec3, out);
}

void Mesh::triangleTangent(int t, float out[3]) const {
  std::fill(out, out + kVec3, 0.0f);
  if (t < 0 || t >= triangleCount || !indices) return;
  int uvAttribute = attributeOfType[ATTRIB_TEXCOORD0];
  if (uvAttribute < 0 || componentCount[uvAttribute] < kUvComponents) return;
  const uint16_t* corner = indices + static_cast<long>(t) * kVec3;
  const float* p[kVec3];
  const float* uv[kVec3];
  for (int c = 0; c < kVec3; ++c) {
    p[c] = floatsOf(corner[c], ATTRIB_POSITION);
    uv[c] = floatsOf(corner[c], ATTRIB_TEXCOORD0);
    if (!p[c] || !uv[c]) return;
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
  for (int v = 0; v < vertexCount; ++v) std::fill_n(floatsOf(v, type), kVec3, 0.0f);
  for (int t = 0; t < triangleCount; ++t) {
    float vector[kVec3];
    (this->*perTriangle)(t, vector);
    for (int c = 0; c < kVec3; ++c) {
      float* sum = floatsOf(indices[t * kVec3 + c], type);
      if (!sum) continue;
      for (int i = 0; i < kVec3; ++i) sum[i] += vector[i];
    }
  }
}

void Mesh::computeNormals() {
  requireVector3(ATTRIB_NORMAL);
  sumOverTriangles(ATTRIB_NORMAL, &Mesh::faceNormal);
  for (int v = 0; v < vertexCount; ++v) {
    float* n = floatsOf(v, ATTRIB_NORMAL);
    if (!normalize(n)) std::copy(kFallbackNormal, kFallbackNormal + kVec3, n);
  }
}

void Mesh::computeTangents() {
  requireVector3(ATTRIB_TANGENT);
  requireVector3(ATTRIB_BINORMAL);
  sumOverTriangles(ATTRIB_TANGENT, &Mesh::triangleTangent);
  int normalAttribute = attributeOfType[ATTRIB_NORMAL];
  bool haveNormals = normalAttribute >= 0 && componentCount[normalAttribute] >= kVec3;
  for (int v = 0; v < vertexCount; ++v) {
    // The frame is built on the unit normal, whatever length the stored one has.
    float n[kVec3];
    std::copy(kFallbackNormal, kFallbackNormal + kVec3, n);
    if (haveNormals) {
      const float* stored = floatsOf(v, ATTRIB_NORMAL);
      std::copy(stored, stored + kVec3, n);
      if (!normalize(n)) std::copy(kFallbackNormal, kFallbackNormal + kVec3, n);
    }
    float* t = floatsOf(v, ATTRIB_TANGENT);
    float along = dot(n, t);
    for (int i = 0; i < kVec3; ++i) t[i] -= n[i] * along;
    if (!normalize(t)) perpendicular(n, t);
    float* b = floatsOf(v, ATTRIB_BINORMAL);
    cross(n, t, b);
    normalize(b);  // already unit up to rounding: n and t are unit and perpendicular
  }
}

// ---- Mesh: buffers and drawing ----

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
  if (attributeOfType[ATTRIB_POSITION] >= 0) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(componentCount[attributeOfType[ATTRIB_POSITION]], GL_FLOAT, byteStride,
                    byteOffset(offsetOfType(ATTRIB_POSITION)));
  }
  if (attributeOfType[ATTRIB_NORMAL] >= 0) {
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, byteStride, byteOffset(offsetOfType(ATTRIB_NORMAL)));
  }
  if (attributeOfType[ATTRIB_COLOR] >= 0) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(componentCount[attributeOfType[ATTRIB_COLOR]], GL_FLOAT, byteStride,
                   byteOffset(offsetOfType(ATTRIB_COLOR)));
  }
  if (attributeOfType[ATTRIB_SECONDARY_COLOR] >= 0) {
    glEnableClientState(GL_SECONDARY_COLOR_ARRAY);
    glSecondaryColorPointer(componentCount[attributeOfType[ATTRIB_SECONDARY_COLOR]], GL_FLOAT,
                            byteStride, byteOffset(offsetOfType(ATTRIB_SECONDARY_COLOR)));
  }
  if (attributeOfType[ATTRIB_TANGENT] >= 0 && tangentAttribIndex >= 0) {
    glEnableVertexAttribArray(tangentAttribIndex);
    glVertexAttribPointer(tangentAttribIndex, kVec3, GL_FLOAT, GL_TRUE, byteStride,
                          byteOffset(offsetOfType(ATTRIB_TANGENT)));
  }
  for (int unit = 0; unit < kTextureUnits; ++unit) {
    int type = ATTRIB_TEXCOORD0 + unit;
    if (attributeOfType[type] < 0) continue;
    glClientActiveTexture(GL_TEXTURE0 + unit);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(componentCount[attributeOfType[type]], GL_FLOAT, byteStride,
                      byteOffset(offsetOfType(type)));
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

// ---- Model ----

void Model::readAml(const std::string& path) {
  FileInputStream in(path.c_str());
  if (!in.isOpen()) {
    std::fprintf(stderr, "File %s not found!\n", path.c_str());
    std::exit(1);
  }
  readAml(in, path, in.size());
}

void Model::readAml(InputStream& in, const std::string& path, long fileSize) {
  const char* file = path.c_str();
  // Letter by letter: a file is refused at its first wrong byte and read no further.
  for (int i = 0; i < kMagicLength; ++i) {
    if (in.readU8() != static_cast<uint8_t>(kMagic[i])) {
      fatalError("File '%s' is not AML file (or is format version 0).\n", file);
    }
  }
  unsigned version = in.readU8();
  if (in.failed()) fatalError("File '%s' is truncated.\n", file);
  if (version != kFormatVersion) {
    fatalError("File '%s' is not AML format 2 file (format = %d).\n", file,
               static_cast<int>(version));
  }
  int32_t meshCount = static_cast<int32_t>(in.readU32());
  if (in.failed()) fatalError("File '%s' is truncated.\n", file);
  long remaining = std::max(fileSize - kHeaderBytes, 0L);
  if (meshCount < 0 || meshCount > remaining / kMeshHeadBytes) {
    fatalError("File '%s' has an impossible mesh count %d.\n", file, meshCount);
  }
  meshes.reset(meshCount);
  for (int i = 0; i < meshCount; ++i) readMesh(in, file, remaining, meshes.append());
}

void Model::computeNormals() {
  for (Mesh& mesh : meshes) mesh.computeNormals();
}

void Model::computeTangents() {
  for (Mesh& mesh : meshes) mesh.computeTangents();
}

void Model::createBuffers() {
  for (Mesh& mesh : meshes) mesh.createBuffers();
}

void Model::draw() {
  for (Mesh& mesh : meshes) mesh.draw();
}

// ---- ModelManager ----

void ModelManager::loadModel(const std::string& name) {
  std::string path = findDataFile("data", name, {"aml"});
  getOrCreate(name) = Model(kModelCapacity);
  get(name).readAml(path);
  for (Mesh& mesh : get(name).meshes) mesh.resolvePositions();
}
