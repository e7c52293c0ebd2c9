// AmlReader: the GL-free half of models/Model.h, linked alone by the reader's tests and
// its fuzz target (library lumorak_aml_reader).
//
// It defines the input streams, Model::readAml and the mesh storage and layout: copying,
// updateLayout(), resolvePositions(), offsetOfType() and the float accessors. Model.cpp
// (lumorak_models) adds the geometry (normals, tangents) and the GL buffers and drawing.
// The file layout and the refusals are described in models/Model.h.
//
// ByteInputStream reads a caller's buffer in place, for files already in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "models/Model.h"

class ByteInputStream : public InputStream {
 public:
  // `bytes` must outlive the stream; it is never written.
  ByteInputStream(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
  int seek(long offset, int origin) override;
  size_t read(void* buffer, size_t size) override;

 private:
  const uint8_t* bytes_;
  size_t size_;
  size_t position_ = 0;
};
