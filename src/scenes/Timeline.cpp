#include "scenes/Timeline.h"

#include <GL/glew.h>

#include <cstdlib>

#include "scenes/Scenes.h"

void runTimeline(float time, float delta) {
  FrameTime.time = time;
  FrameTime.delta = delta;
  // Decide the end before touching GL: time 146 is never drawn.
  const SceneIndex scene = sceneAt(time);
  if (scene == kEndOfShow) std::exit(0);

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  switch (scene) {
    case kOpening: openingScene(); break;
    case kWord: wordScene(static_cast<float>(sceneStart(kWord))); break;
    case kCloud: cloudScene(); break;
    case kColumns: columnScene(); break;
    case kTunnel: tunnelScene(time, delta); break;
    case kClosing: closingScene(); break;
    case kEndOfShow: break;
  }
}
