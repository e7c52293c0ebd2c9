#include "app/Controls.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "MaterialManager.h"
#include "app/Capture.h"
#include "app/Demo.h"
#include "app/Globals.h"

float lastBeatTime = 0.0f;
int32_t xSlot = 0;
int32_t ySlot = 0;

namespace {
// Windows virtual-key codes of the keys the show listens to.
enum Key {
  kEscape = 27,
  kSpace = 32,
  kPageUp = 33,
  kPageDown = 34,
  kLeft = 37,
  kUp = 38,
  kRight = 39,
  kDown = 40,
  kKeyA = 65,
  kKeyL = 76,
  kKeyP = 80,
  kKeyQ = 81,
  kKeyS = 83,
  kKeyW = 87,
  kF11 = 122,
};
}  // namespace

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
    case kPageUp: return -30.0;
    case kPageDown: return 30.0;
    case kLeft: return -1.0;
    case kUp: return 5.0;
    case kRight: return 1.0;
    case kDown: return -5.0;
    default: return 0.0;
  }
}

bool isPauseKey(int code) { return code == kKeyP; }

void onKeyDown(int code) {
  switch (code) {
    case kEscape: std::exit(0);
    case kSpace: {
      const float t = demoSystem.clock.time();
      const float d = t - lastBeatTime;
      lastBeatTime = t;
      printLine("Beat %.2f delta %.2f bpm %.0f", t, d, 60 / d);
      break;
    }
    case kPageUp:
    case kPageDown:
    case kLeft:
    case kUp:
    case kRight:
    case kDown: demoSystem.clock.seekBy(seekStepOfKey(code)); break;
    case kKeyL: loadMaterials(); break;
    case kKeyP: demoSystem.clock.setPaused(!demoSystem.clock.isPaused()); break;
    case kF11: captureRequested = true; break;
    // The slots stay within 0..kMouseValueCount - 1.
    case kKeyA: ySlot = std::max(ySlot - 1, 0); break;
    case kKeyS: ySlot = std::min(ySlot + 1, kMouseValueCount - 1); break;
    case kKeyQ: xSlot = std::max(xSlot - 1, 0); break;
    case kKeyW: xSlot = std::min(xSlot + 1, kMouseValueCount - 1); break;
    default: break;
  }
}

void onMouseMove(int flags, int x, int y) {
  if (flags & 1) {
    renderer.mouseValues[xSlot] = static_cast<float>(x) / screenWidth;
    renderer.mouseValues[ySlot] = static_cast<float>(y) / screenHeight;
  }
  debugVariables.editWithMouse(flags, x, y);
}
