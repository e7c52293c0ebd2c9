#include "app/Controls.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "MaterialManager.h"
#include "app/Capture.h"
#include "app/Globals.h"
#include "app/Screen.h"
#include "app/VirtualKeys.h"

float lastBeatTime = 0.0f;
int32_t xSlot = 0;
int32_t ySlot = 0;

MessageLog::~MessageLog() {
  for (MessageLine& line : lines) delete[] line.text;
}

void MessageLog::append(const char* text) {
  MessageLine line;
  line.text = new char[kMessageLineBytes];
  std::snprintf(line.text, kMessageLineBytes, "%s", text);
  if (lines.count() == kMessageLogLines) {
    delete[] lines[0].text;
    for (int i = 1; i < lines.count(); ++i) lines[i - 1] = lines[i];
    lines[lines.count() - 1] = line;
    return;
  }
  lines.append(line);
}

void printLine(const char* format, ...) {
  char text[kMessageLineBytes];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  messageLog.append(text);
  std::printf("%s\n", text);
  std::fflush(stdout);
}

double seekStepOfKey(int code) {
  switch (code) {
    case vk::kPageUp: return -30.0;
    case vk::kPageDown: return 30.0;
    case vk::kLeft: return -1.0;
    case vk::kUp: return 5.0;
    case vk::kRight: return 1.0;
    case vk::kDown: return -5.0;
    default: return 0.0;
  }
}

bool isPauseKey(int code) { return code == vk::kKeyP; }

void onKeyDown(int code) {
  switch (code) {
    case vk::kEscape: std::exit(0);
    case vk::kSpace: {
      const float t = demoSystem.clock.time();
      const float d = t - lastBeatTime;
      lastBeatTime = t;
      printLine("Beat %.2f delta %.2f bpm %.0f", t, d, 60 / d);
      break;
    }
    case vk::kKeyL: loadMaterials(); break;
    case vk::kKeyP: demoSystem.clock.setPaused(!demoSystem.clock.isPaused()); break;
    case vk::kF11: captureRequested = true; break;
    // The slots stay within 0..kMouseValueCount - 1.
    case vk::kKeyA: ySlot = std::max(ySlot - 1, 0); break;
    case vk::kKeyS: ySlot = std::min(ySlot + 1, kMouseValueCount - 1); break;
    case vk::kKeyQ: xSlot = std::max(xSlot - 1, 0); break;
    case vk::kKeyW: xSlot = std::min(xSlot + 1, kMouseValueCount - 1); break;
    default:
      if (seekStepOfKey(code) != 0.0) demoSystem.clock.seekBy(seekStepOfKey(code));
      break;
  }
}

void onMouseMove(int flags, int x, int y) {
  if (flags & 1) {
    renderer.mouseValues[xSlot] = static_cast<float>(x) / screenWidth;
    renderer.mouseValues[ySlot] = static_cast<float>(y) / screenHeight;
  }
  debugVariables.editWithMouse(flags, x, y);
}
