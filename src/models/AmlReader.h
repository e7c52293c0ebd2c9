// AmlReader: the GL-free half of models/Model.h (lumorak_aml_reader, linked alone by the
// reader's tests and fuzz target): the input streams, Model::readAml, and mesh storage and
// layout. Model.cpp adds normals, tangents and GL drawing; Model.h describes the format.
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
