// The six scenes. Each draws one frame at FrameTime.time (the tunnel scene is handed its
// time), looks every resource up by name, and leaves GL state for the next frame as the
// comments in each scene say.
#pragma once

void openingScene();
void wordScene(float start);
void cloudScene();
void columnScene();
void tunnelScene(float time, float delta);
void closingScene();

// The word scene's blur spread g (texels) at scene time `time`: 50 x the 1-2 kHz band, and
// 1.6 times that from 41.867 s on. At 0 the scene skips the blur and its frame builds on
// the previous one (the picture feeds back).
float wordBlurSpread(float time);

// The word of the word scene's schedule at `time` (null between words) and the scale of
// its screen quad for the band loudness terms g and h.
const char* wordShownAt(float time, float g, float h, float& scale);

// The logo texture on a quad 8 units wide and 2 high centred at (centreX, 0), texturing on.
void drawLogo(float centreX);
