// The screen size of the whole run, 1024 x 768, never changed by a window resize: capture,
// the sliders, the viewport and the projections read these, not the window's size.
#pragma once

extern int screenWidth;
extern int screenHeight;
