// findDataFile: the one place where an asset's base name becomes a file path.
//
// Returns the first readable directory/baseName.extension, extensions in order; none is fatal:
//   Could not find file: "data/lklogo.{png jpg }"!
// Trailing empty extensions are dropped; an empty one before a non-empty one is tried.
#pragma once

#include <string>
#include <vector>

std::string findDataFile(const std::string& directory, const std::string& baseName,
                         const std::vector<std::string>& extensions);

// True when `path` opens for reading: the test findDataFile applies to each candidate.
bool isReadableFile(const std::string& path);
