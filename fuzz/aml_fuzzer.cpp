// AML files from arbitrary bytes: reading, position resolving and, in the aml_mesh
// target (LUMORAK_FUZZ_GEOMETRY), normals and tangents of what was accepted.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "models/AmlReader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  installRefusingFatalReporter();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteInputStream in(data, size);
  Model model;
  try {
    model.readAml(in, "fuzz.aml", static_cast<long>(size));
    for (Mesh& mesh : model.meshes) mesh.resolvePositions();
#ifdef LUMORAK_FUZZ_GEOMETRY
    model.computeNormals();
    model.computeTangents();
#endif
  } catch (const InputRefused&) {
  }
  return 0;
}
