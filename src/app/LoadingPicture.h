// The start-up "loading" picture, shown between loading steps and presented at once.
//
// showLoadingPicture: clears to black, draws the registered texture "loading" in white,
//   then adds a 2 % larger copy tinted by one demoRand() draw, and presents the frame. The
//   generator's fixed start makes the tints repeat from run to run. Needs the texture
//   "loading" and the show's window.
// drawLoadingQuad: a texture on the left-anchored square of the 4:3 view, sized from the
//   texture record (requested over storage width), scaled about the view axis.
#pragma once

void showLoadingPicture();
void drawLoadingQuad(const char* textureName, float scale);
