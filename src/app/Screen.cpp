// The screen size of the whole run. Set from the start-up settings and never changed,
// not even when the window is resized: capture, sliders and projections read these.
#include "app/Demo.h"

int screenWidth = 1024;
int screenHeight = 768;
