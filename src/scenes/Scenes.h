// The six scenes. Each draws one frame at FrameTime.time (the tunnel scene is handed the time and
// the delta), looks every resource up by name, and leaves GL state for the next frame as the
// comments in each scene say.
#pragma once

void openingScene();
void wordScene(float start);
void cloudScene();
void columnScene();
void tunnelScene(float time, float delta);
void closingScene();

// Undoes the tunnel's first-frame set-up for the offline seam, which renders frames out of
// playing order: rt0 and rt1 back to 1024 x 512, all five targets cleared, and the next
// tunnel frame sets up again. The GL state scenes leave (point size among it) is the
// caller's to restore; "shadowmap" and the debug variables stay registered.
void resetSceneState();

// The word scene's blur spread g (texels) at `time`: kWordBlurGain x the 1-2 kHz band, times
// kWordBandModeFactor after kWordBandModeStart. At 0 the blur is skipped (picture feeds back).
float wordBlurSpread(float time);

// The word shown at `time` (null between words) and its quad's scale for loudness g, h.
const char* wordShownAt(float time, float g, float h, float& scale);

// The logo texture on a quad 8 units wide and 2 high centred at (centreX, 0), texturing on.
void drawLogo(float centreX);
