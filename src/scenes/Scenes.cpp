#include "scenes/Scenes.h"

// Scenes are filled in scene by scene; until then each frame shows the cleared picture.
void openingScene() {}
void wordScene(float) {}
void cloudScene() {}
void columnScene() {}
void tunnelScene(float, float) {}
void closingScene() {}
