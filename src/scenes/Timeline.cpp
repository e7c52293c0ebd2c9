#include "scenes/Timeline.h"

#include <GL/glew.h>

#include <cstdlib>

#include "scenes/Scenes.h"

namespace {
// Where each scene ends and the next begins, seconds, as doubles.
constexpr double kBoundaries[] = {28.1, 63.0, 83.474, 104.344, 125.2, 146.0};
}  // namespace

SceneIndex sceneAt(float time) {
  // Double-precision boundaries against the float time, in ascending order.
  const double t = time;
  int scene = kOpening;
  while (scene < kEndOfShow && !(t < kBoundaries[scene])) ++scene;
  return static_cast<SceneIndex>(scene);
}

double sceneStart(SceneIndex scene) { return scene == kOpening ? 0.0 : kBoundaries[scene - 1]; }

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
