// The show's spine: start-up, the per-frame function and the process entry.
//
// runShow(): window, initDemo(), music, then one renderFrame() and one buffer swap per
// pass until something calls exit(0) (Escape, close, the end of the timeline, a fatal
// error). Demo time 0 is the first rendered frame: the music starts after all loading.
#pragma once

constexpr const char* kMusicFile = "data/deruz.mp3";

extern int screenWidth;   // 1024 for the whole run, whatever the window's size
extern int screenHeight;  // 768

int runShow();
void initDemo();
void renderFrame();
void onResize(int width, int height);
