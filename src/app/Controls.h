// Developer controls, always active: seek, pause, beat tap, material reload, frame
// capture, mouse slots and the debug-variable sliders. Input arrives between frames.
//
// Keys (Windows virtual-key codes; codes below 27 or above 122 do nothing):
//   Esc quit | Space beat tap | PgUp/PgDn -/+30 s | Left/Right -/+1 s | Down/Up -/+5 s
//   L reload materials | P pause | F11 capture next frame | Q/W x slot -/+ | A/S y slot -/+
// Seeks pressed within one frame add up (DemoClock::seekBy), each step clamped at 0.
#pragma once

#include <cstdint>

#include "resources/GrowableArray.h"

constexpr int kMessageLogLines = 19;
constexpr int kMessageLineBytes = 80;  // terminator included

struct MessageLine {
  char* text = nullptr;  // kMessageLineBytes bytes, owned by the log
};

class MessageLog {
 public:
  MessageLog() : lines(16) {}
  ~MessageLog();
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  void append(const char* text);  // cut at 79 characters; the oldest goes past 19 lines
  GrowableArray<MessageLine> lines;
};

extern MessageLog messageLog;
extern float lastBeatTime;
extern int32_t xSlot;
extern int32_t ySlot;

void onKeyDown(int code);
// A key's seek in seconds (0: none) and the pause key; the preview tool shares them.
double seekStepOfKey(int code);
bool isPauseKey(int code);
void onMouseMove(int flags, int x, int y);
// Appends one line to the log and echoes it on stdout.
void printLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
