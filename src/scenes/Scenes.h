// The six scenes. Each draws one frame at FrameTime.time (the tunnel scene is handed the time and
// the delta), looks every resource up by name, and leaves GL state for later frames as
// scenes/LastingState.cpp lists it.
#pragma once

void openingScene();
void wordScene(float start);
void cloudScene();
void columnScene();
void tunnelScene(float time, float delta);
void closingScene();

// The word scene's blur spread g (texels) at `time`: kWordBlurGain x the 1-2 kHz band, times
// kWordBandModeFactor after kWordBandModeStart. At 0 the blur is skipped (picture feeds back).
float wordBlurSpread(float time);

// The word shown at `time` (null between words) and its quad's scale for loudness g, h.
const char* wordShownAt(float time, float g, float h, float& scale);

// The logo texture on a quad 8 units wide and 2 high centred at (centreX, 0), texturing on.
void drawLogo(float centreX);
