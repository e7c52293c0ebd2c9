#include "resources/DataFile.h"

#include <unistd.h>

#include "app/Fatal.h"

std::string findDataFile(const std::string& directory, const std::string& baseName,
                         const std::vector<std::string>& extensions) {
  // Trailing empty extensions do not count; an empty one before a real one does.
  size_t inForce = extensions.size();
  while (inForce > 0 && extensions[inForce - 1].empty()) --inForce;

  for (size_t i = 0; i < inForce; ++i) {
    std::string candidate = directory + "/" + baseName + "." + extensions[i];
    if (access(candidate.c_str(), R_OK) == 0) return candidate;
  }

  // Directory and name are substituted by concatenation: a '%' in a name stays literal.
  std::string message = "Could not find file: \"" + directory + "/" + baseName + ".{";
  for (size_t i = 0; i < inForce; ++i) message += extensions[i] + " ";
  message += "}\"!";
  fatalError("%s", message.c_str());
}
