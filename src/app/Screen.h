// The screen size of the whole run: 1024 x 768, set from the start-up settings and never
// changed, not even when the window is resized. Capture, the debug-variable sliders, the
// Renderer's viewport and the projections read these, not the window's current size.
#pragma once

extern int screenWidth;
extern int screenHeight;
