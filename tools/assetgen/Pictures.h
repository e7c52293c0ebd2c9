// The show's pictures: the loading picture, the logo, the seven word textures and the
// cloud overlay, all drawn from fonts, shapes and seeded noise.
#pragma once

#include <string>

// The words of the word scene, each written to data/<word>.png.
constexpr const char* kWordPictures[] = {"with", "as",       "concept", "must",
                                         "task", "decision", "his"};

// Writes every picture into `dataDir`; false with a one-line reason on the first failure.
bool writePictures(const std::string& dataDir, std::string& error);
