// Material files from arbitrary bytes: the text parser (sections and texture lines).
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "FuzzSupport.h"
#include "MaterialManager.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  installRefusingFatalReporter();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // fmemopen takes no empty buffer; material_test reads empty files
  FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!file) return 0;
  MaterialSource source;
  try {
    parseMaterialStream(file, source);
  } catch (const InputRefused&) {
  }
  std::fclose(file);
  return 0;
}
