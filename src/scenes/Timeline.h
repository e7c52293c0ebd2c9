// The schedule of scenes over music time (seconds, each interval [from, to)):
//   opening < 28.1 <= word < 63 <= cloud < 83.474 <= columns < 104.344 <= tunnel
//   < 125.2 <= closing < 146 <= end of the show (exit(0) before drawing).
// Boundaries are compared as doubles against the float time, so the float nearest
// 125.2 (125.1999969) still belongs to the tunnel scene.
#pragma once

struct FrameTimeRecord {
  float time = 0.0f;   // seconds
  float delta = 0.0f;  // seconds
};
extern FrameTimeRecord FrameTime;

enum SceneIndex { kOpening, kWord, kCloud, kColumns, kTunnel, kClosing, kEndOfShow };

SceneIndex sceneAt(float time);
// The time (seconds, as compared) at which `scene` starts; 0 for the opening.
double sceneStart(SceneIndex scene);
// Publishes the time, clears colour and depth, draws the scene of `time` or ends the show.
void runTimeline(float time, float delta);
