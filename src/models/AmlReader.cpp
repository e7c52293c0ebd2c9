#include "models/AmlReader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/Fatal.h"

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
// Component counts the fixed-function arrays take (glColorPointer, glTexCoordPointer,
// glSecondaryColorPointer); others fail with GL_INVALID_VALUE at draw time.
constexpr int kMinColourComponents = 3;
constexpr int kMaxColourComponents = 4;
constexpr int kSecondaryColourComponents = 3;
constexpr int kMinUvComponents = 1;
constexpr int kMaxUvComponents = 4;

template <typename T>
T* duplicate(const T* source, long count) {
  if (!source || count <= 0) return nullptr;
  T* copy = new T[count];
  std::memcpy(copy, source, sizeof(T) * count);
  return copy;
}

// Refuses component counts that GL would reject at draw time or the geometry would overrun.
void checkComponentCounts(const Mesh& mesh, const char* file) {
  auto componentsOf = [&mesh](int type) {
    int slot = mesh.attributeOfType[type];
    return slot >= 0 ? mesh.componentCount[slot] : -1;
  };
  // Normals are always written as three floats; a narrower slot would be overrun.
  int normal = componentsOf(ATTRIB_NORMAL);
  if (normal >= 0 && normal != kVec3) {
    fatalError("File '%s' has a normal of %d components.\n", file, normal);
  }
  int colour = componentsOf(ATTRIB_COLOR);
  if (colour >= 0 && (colour < kMinColourComponents || colour > kMaxColourComponents)) {
    fatalError("File '%s' has a colour of %d components.\n", file, colour);
  }
  int secondary = componentsOf(ATTRIB_SECONDARY_COLOR);
  if (secondary >= 0 && secondary != kSecondaryColourComponents) {
    fatalError("File '%s' has a secondary colour of %d components.\n", file, secondary);
  }
  for (int unit = 0; unit < kTextureUnits; ++unit) {
    int uv = componentsOf(ATTRIB_TEXCOORD0 + unit);
    if (uv >= 0 && (uv < kMinUvComponents || uv > kMaxUvComponents)) {
      fatalError("File '%s' has texture coordinates of unit %d with %d components.\n", file, unit,
                 uv);
    }
  }
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
    // Loading makes the type-0 slot from the position index; a second one from the file
    // would be the slot that drawing and normals read, at whatever width it declares.
    if (type == ATTRIB_POSITION) {
      fatalError("File '%s' has an attribute type 0, which only loading makes.\n", file);
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
  checkComponentCounts(mesh, file);

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

// One value in the machine's byte order; 0 once the stream has come up short.
template <typename T>
T readValue(InputStream& in) {
  T value;
  in.readBlock(&value, sizeof value);
  return value;
}

}  // namespace

bool InputStream::readBlock(void* buffer, size_t size) {
  if (size == 0) return !failed_;  // fread of zero bytes reports zero blocks
  if (!failed_ && read(buffer, size) == 1) return true;
  failed_ = true;
  std::memset(buffer, 0, size);
  return false;
}

uint8_t InputStream::readU8() { return readValue<uint8_t>(*this); }
uint16_t InputStream::readU16() { return readValue<uint16_t>(*this); }
uint32_t InputStream::readU32() { return readValue<uint32_t>(*this); }

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

int ByteInputStream::seek(long offset, int origin) {
  long base = origin == SEEK_CUR   ? static_cast<long>(position_)
              : origin == SEEK_END ? static_cast<long>(size_)
                                   : 0;
  if (offset < -base || offset > static_cast<long>(size_) - base) return -1;
  position_ = static_cast<size_t>(base + offset);
  return 0;
}

size_t ByteInputStream::read(void* buffer, size_t size) {
  if (size > size_ - position_) {
    position_ = size_;
    return 0;
  }
  std::memcpy(buffer, bytes_ + position_, size);
  position_ += size;
  return 1;
}

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

const uint32_t* Mesh::wordsOf(int vertex, int type, int count) const {
  int offset = offsetOfType(type);
  if (offset < 0 || !vertexData || vertex < 0 || vertex >= vertexCount || count < 0 ||
      count > componentCount[attributeOfType[type]]) {
    return nullptr;
  }
  return vertexData + static_cast<long>(vertex) * stride + offset;
}

bool Mesh::readFloats(int vertex, int type, float* out, int count) const {
  const uint32_t* words = wordsOf(vertex, type, count);
  if (!words) return false;
  std::memcpy(out, words, sizeof(float) * count);
  return true;
}

bool Mesh::writeFloats(int vertex, int type, const float* values, int count) {
  const uint32_t* words = wordsOf(vertex, type, count);
  if (!words) return false;
  std::memcpy(const_cast<uint32_t*>(words), values, sizeof(float) * count);
  return true;
}

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
