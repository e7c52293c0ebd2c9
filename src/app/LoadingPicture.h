// The start-up "loading" picture, shown between loading steps and presented at once.
//
// showLoadingPicture: clears to black, draws the texture "loading" in white, adds a 2 %
//   larger copy tinted by one demoRand() draw (the same tints every run), and presents.
// drawLoadingQuad: a texture on the left-anchored square of the 4:3 view, sized from the
//   texture record (requested over storage width), scaled about the view axis.
#pragma once

void showLoadingPicture();
void drawLoadingQuad(const char* textureName, float scale);
