// The show's material files: GLSL 1.10 shaders and texture lines, written as text.
#pragma once

#include <string>

// Writes show_normals.mat, show_depth.mat and shadow.mat into `materialsDir` (created if
// missing); false with a one-line reason on failure.
bool writeMaterials(const std::string& materialsDir, std::string& error);
