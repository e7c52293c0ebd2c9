#include "scenes/Timeline.h"

#include <GL/glew.h>

#include <cstdlib>

#include "scenes/Scenes.h"

SceneIndex sceneAt(float time) {
  // Double-precision boundaries against the float time, in ascending order.
  const double t = time;
  if (t < 28.1) return kOpening;
  if (t < 63.0) return kWord;
  if (t < 83.474) return kCloud;
  if (t < 104.344) return kColumns;
  if (t < 125.2) return kTunnel;
  if (t < 146.0) return kClosing;
  return kEndOfShow;
}

void runTimeline(float time, float delta) {
  FrameTime.time = time;
  FrameTime.delta = delta;
  // Decide the end before touching GL: time 146 is never drawn.
  const SceneIndex scene = sceneAt(time);
  if (scene == kEndOfShow) std::exit(0);

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  switch (scene) {
    case kOpening: openingScene(); break;
    case kWord: wordScene(28.1f); break;
    case kCloud: cloudScene(); break;
    case kColumns: columnScene(); break;
    case kTunnel: tunnelScene(time, delta); break;
    case kClosing: closingScene(); break;
    case kEndOfShow: break;
  }
}
