// Small pictures of show frames for contact sheets and film strips.
#pragma once

#include <cstdint>

#include "text/Canvas.h"
#include "text/Text.h"

// Box-filters a frame (rgb, rows bottom-up as glReadPixels gives them) into a thumbnail of
// thumbWidth x thumbHeight whose top-left corner lands at (left, top) of the canvas.
// The frame's sides must be whole multiples of the thumbnail's.
void paintThumbnail(Canvas& canvas, int left, int top, int thumbWidth, int thumbHeight,
                    const uint8_t* rgb, int width, int height);
