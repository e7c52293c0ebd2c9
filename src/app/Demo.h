// The show's spine: start-up, the per-frame function and the process entry.
//
// runShow(): window, initDemo(), music, then showFrame() (the messages, one renderFrame()
// and one buffer swap) per pass until something calls exit(0) (Escape, close, the end of
// the timeline, a fatal error). Demo time 0 is the first rendered frame: the music starts
// after all loading.
#pragma once

constexpr const char* kMusicFile = "data/deruz.mp3";

#include "app/Screen.h"

class AudioBackend;

// How a caller brings the show up; all else is the same for every caller.
struct ShowStart {
  bool hidden = false;            // an off-screen window, never full screen (tools, tests)
  AudioBackend* sound = nullptr;  // the sound layer; null: the real one through SDL
};
enum class StartFailure { kNone, kVideo, kWindow };

// Start-up up to the first frame: the music decode starts in the background, the window
// (with the show's input handlers) and its context, initDemo(), then the music opened and
// started. Returns which step failed, having released what it made; data failures are fatal.
StartFailure startShow(const ShowStart& how);

int runShow();
// One pass of the main loop: every pending message, renderFrame(), the buffer swap. False
// once a quit message was among the messages; its frame is still drawn and presented.
bool showFrame();
void initDemo();
void renderFrame();
void onResize(int width, int height);
