// Shared by the fuzz targets: a fatal error ends the input, not the fuzzer, and image
// readers get their bytes through a file in memory.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/Fatal.h"

// Thrown by the fuzzing reporter; each target catches it around one input.
struct InputRefused {};

inline void refusingFatalReporter(const char*) { throw InputRefused{}; }

// Call from LLVMFuzzerInitialize: no message box, no exit.
inline void installRefusingFatalReporter() { setFatalReporter(refusingFatalReporter); }

// A file that lives in memory, rewritten for every input; path() opens it afresh (the
// readers take a path). Made once per process.
class MemoryFile {
 public:
  explicit MemoryFile(const char* name) : fd_(memfd_create(name, 0)) {
    if (fd_ < 0) {
      std::perror("memfd_create");
      std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  void write(const uint8_t* data, size_t size) {
    if (ftruncate(fd_, 0) != 0 || (size > 0 && pwrite(fd_, data, size, 0) != ssize_t(size))) {
      std::perror("memory file");
      std::abort();
    }
  }
  const char* path() const { return path_.c_str(); }

 private:
  int fd_;
  std::string path_;
};

// Where touchBytes leaves its sum; volatile, so the reads cannot be optimised away.
inline volatile unsigned touchedSum = 0;

// Reads every byte of a decoded picture, so that a buffer shorter than its record claims
// is caught by AddressSanitizer.
inline void touchBytes(const uint8_t* bytes, size_t count) {
  unsigned sum = 0;
  for (size_t i = 0; i < count; ++i) sum += bytes[i];
  touchedSum = sum;
}
