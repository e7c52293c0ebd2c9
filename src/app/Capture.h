// Frame capture: after F11 the next frame is read back, turned upright and saved as an
// 8-bit RGB PNG "shots/shot%04d.png" (the directory is not created). The counter advances
// whether or not the file could be written.
#pragma once

#include <cstdint>
#include <string>

extern bool captureRequested;
extern int32_t captureCounter;

// Called by renderFrame() every frame, after the flush.
void captureFrame();
// The file name for a counter value.
std::string captureFileName(int32_t counter);
