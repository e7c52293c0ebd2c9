#include "resources/DataFile.h"

#include <cstdio>

#include "app/Fatal.h"

bool isReadableFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  std::fclose(file);
  return true;
}

std::string findDataFile(const std::string& directory, const std::string& baseName,
                         const std::vector<std::string>& extensions) {
  // Trailing empty extensions do not count; an empty one before a real one does.
  size_t inForce = extensions.size();
  while (inForce > 0 && extensions[inForce - 1].empty()) --inForce;

  for (size_t i = 0; i < inForce; ++i) {
    std::string candidate = directory + "/" + baseName + "." + extensions[i];
    if (isReadableFile(candidate)) return candidate;
  }

  // Directory and name are substituted by concatenation: a '%' in a name stays literal.
  std::string message = "Could not find file: \"" + directory + "/" + baseName + ".{";
  for (size_t i = 0; i < inForce; ++i) message += extensions[i] + " ";
  message += "}\"!";
  fatalError("%s", message.c_str());
}
