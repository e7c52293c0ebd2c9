#include "app/Capture.h"

#include <GL/glew.h>

#include <cstdio>

#include "app/Screen.h"
#include "app/Window.h"
#include "images/Image.h"

bool captureRequested = false;
int32_t captureCounter = 0;

namespace {
// Allocated on the first capture, reused for every later one, never freed.
ImageBuffer captureBuffer;
}  // namespace

std::string captureFileName(int32_t counter) {
  char name[64];
  std::snprintf(name, sizeof name, "shots/shot%04d.png", static_cast<int>(counter));
  return name;
}

void captureFrame() {
  if (!captureRequested) return;
  if (!captureBuffer.pixels) alloc_image(&captureBuffer, screenWidth, screenHeight, 3);
  // Rows are packed tightly (stride = width * 3), whatever the width.
  GLint alignment = 4;
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, screenWidth, screenHeight, GL_RGB, GL_UNSIGNED_BYTE, captureBuffer.pixels);
  glPixelStorei(GL_PACK_ALIGNMENT, alignment);
  const std::string name = captureFileName(captureCounter);
  // The read-back delivers the bottom row first; the file wants the top row first.
  flip_image(&captureBuffer, true, false);
  write_png(name.c_str(), captureBuffer);
  offerSavedFile(name);  // a file that could not be written is not offered
  ++captureCounter;      // used up even when the file could not be written
  captureRequested = false;
}
