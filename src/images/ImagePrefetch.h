// Image files read and decoded ahead of their texture loads, on a thread of their own, so
// that the reading overlaps window creation (which mostly waits on the window system).
//
// takePrefetchedImage() hands out each prefetched file once, waiting while it is still
// being read; it gives exactly what read_image(path, &image, true) gives, status
// included. A file not prefetched (or taken before) is the caller's to read. Main thread
// only; the reader thread touches nothing but its own list.
#pragma once

#include <string>
#include <vector>

#include "images/Image.h"

// Starts reading directory/baseName.<extension> for each base name, trying the extensions
// in order as findDataFile() does. Only PNG files are read ahead (a corrupt JPEG ends the
// process from inside the reader); a base name with no readable PNG file is left to the
// caller. Replaces any earlier prefetch.
void prefetchImages(const std::string& directory, const std::vector<std::string>& baseNames,
                    const std::vector<std::string>& extensions);

// True with `image` (the caller owns its pixels) and read_image's `status` when `path` was
// prefetched.
bool takePrefetchedImage(const std::string& path, ImageBuffer& image, int& status);
