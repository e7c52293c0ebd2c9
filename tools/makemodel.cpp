// Builds the show's one model, "dudezurodev": a standing human figure about 40 units tall
// made of ellipsoid parts, each a mesh of its own. The head points toward -z, which the
// opening scene's 90 degree turn about x makes the world's up. Vertices carry a position
// index, a zero normal (the loader computes normals) and texture coordinates, so loading,
// normals and tangents all have work to do.
#include <cmath>
#include <cstdio>
#include <vector>

#include "aml/AmlWriter.h"
#include "cli/Cli.h"

namespace {
const char* const kHelp =
    "usage: makemodel OUTPUT.aml\n"
    "\n"
    "Writes the show's one model, a standing human figure of eight ellipsoid parts, as an\n"
    "AML file (data/dudezurodev.aml in the repository). The same file on every run.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the version and the commit it was built from\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 bad arguments.\n";

constexpr double kPi = 3.14159265358979323846;
constexpr int kRings = 14;     // latitude steps per ellipsoid
constexpr int kSegments = 22;  // longitude steps per ellipsoid

struct Ellipsoid {
  float cx, cy, cz;  // centre
  float rx, ry, rz;  // radii
};

// Appends one ellipsoid to `mesh`; poles are shared positions, the seam column is
// duplicated so texture coordinates can run 0..1 around.
void addEllipsoid(aml::MeshData& mesh, const Ellipsoid& e) {
  const uint32_t firstPosition = static_cast<uint32_t>(mesh.positions.size() / 3);
  const uint32_t firstVertex = static_cast<uint32_t>(mesh.vertexCount());
  for (int ring = 0; ring <= kRings; ++ring) {
    const double theta = kPi * ring / kRings;  // 0 at -z (top), pi at +z
    for (int segment = 0; segment <= kSegments; ++segment) {
      const double phi = 2.0 * kPi * segment / kSegments;
      const bool seam = segment == kSegments;
      if (!seam) {
        mesh.positions.push_back(static_cast<float>(e.cx + e.rx * std::sin(theta) * std::cos(phi)));
        mesh.positions.push_back(static_cast<float>(e.cy + e.ry * std::sin(theta) * std::sin(phi)));
        mesh.positions.push_back(static_cast<float>(e.cz - e.rz * std::cos(theta)));
      }
      const uint32_t position = firstPosition + ring * kSegments + (seam ? 0 : segment);
      const float u = static_cast<float>(segment) / kSegments;
      const float v = static_cast<float>(ring) / kRings;
      mesh.addVertex(position, {0.0f, 0.0f, 0.0f, u, v});
    }
  }
  const int row = kSegments + 1;
  for (int ring = 0; ring < kRings; ++ring) {
    for (int segment = 0; segment < kSegments; ++segment) {
      const uint16_t a = static_cast<uint16_t>(firstVertex + ring * row + segment);
      const uint16_t b = static_cast<uint16_t>(a + 1);
      const uint16_t c = static_cast<uint16_t>(a + row);
      const uint16_t d = static_cast<uint16_t>(c + 1);
      // Counter-clockwise seen from outside.
      if (ring != 0) mesh.triangles.insert(mesh.triangles.end(), {a, c, b});
      if (ring != kRings - 1) mesh.triangles.insert(mesh.triangles.end(), {b, c, d});
    }
  }
}

aml::MeshData part(std::initializer_list<Ellipsoid> pieces) {
  aml::MeshData mesh;
  mesh.attributes = {{aml::kPositionIndex, 1}, {aml::kNormal, 3}, {aml::kTexCoord0, 2}};
  for (const Ellipsoid& e : pieces) addEllipsoid(mesh, e);
  return mesh;
}
}  // namespace

int main(int argc, char** argv) {
  std::string output;
  cli::Parser args("makemodel", kHelp);
  args.positional([&output](const std::string& value, std::string& error) {
    if (!output.empty()) {
      return cli::failWith(error, "one output file only, not also '" + value + "'");
    }
    output = value;
    return true;
  });
  args.parseOrExit(argc, argv);
  std::string error;
  if (output.empty()) return cli::usageError("no output file given");
  if (!cli::checkExtension("the output", output, ".aml", error)) return cli::usageError(error);
  if (!cli::checkOutputFile(output, error)) return cli::fail(error);
  cli::dieOnStopSignals();
  // Units: the figure spans z = -20 (top of the head) to about +22.5 (soles).
  std::vector<aml::MeshData> meshes = {
      part({{0, 0, -16.5f, 3.0f, 3.2f, 3.5f}}),  // head
      part({{0, 0, -12.4f, 1.3f, 1.3f, 1.6f}}),  // neck
      part({{0, 0, -5.0f, 5.2f, 3.0f, 7.5f}}),   // torso
      part({{0, 0, 3.5f, 4.4f, 2.8f, 3.0f}}),    // pelvis
      part({{-6.6f, 0, -5.5f, 1.5f, 1.5f, 5.0f},
            {-7.4f, 0.6f, 3.5f, 1.2f, 1.2f, 4.6f}}),  // left arm
      part(
          {{6.6f, 0, -5.5f, 1.5f, 1.5f, 5.0f}, {7.4f, 0.6f, 3.5f, 1.2f, 1.2f, 4.6f}}),  // right arm
      part({{-2.3f, 0, 10.5f, 2.0f, 2.0f, 6.0f},
            {-2.4f, 0.3f, 18.0f, 1.6f, 1.6f, 4.6f}}),  // left leg
      part({{2.3f, 0, 10.5f, 2.0f, 2.0f, 6.0f},
            {2.4f, 0.3f, 18.0f, 1.6f, 1.6f, 4.6f}}),  // right leg
  };
  int triangles = 0;
  for (const aml::MeshData& mesh : meshes) {
    const std::string problem = aml::checkMesh(mesh);
    if (!problem.empty()) return cli::fail(problem);
    triangles += static_cast<int>(mesh.triangles.size() / 3);
  }
  auto write = [&meshes](const std::string& temporary, std::string&) {
    return aml::writeFile(temporary, aml::writeAml(meshes));
  };
  if (!cli::writeWhole(output, write, error)) return cli::fail(error);
  std::printf("makemodel: %s, %zu meshes, %d triangles\n", output.c_str(), meshes.size(),
              triangles);
  return 0;
}
