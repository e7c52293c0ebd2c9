// The timeline: publishes each frame's time and draws the scene the schedule
// (scenes/Schedule.h) gives for it, or ends the show at its end (exit(0) before drawing).
#pragma once

#include "scenes/Schedule.h"

struct FrameTimeRecord {
  float time = 0.0f;   // seconds
  float delta = 0.0f;  // seconds
};
extern FrameTimeRecord FrameTime;

// Publishes the time, clears colour and depth, draws the scene of `time` or ends the show.
void runTimeline(float time, float delta);
