// How lumorak-capture --jobs N cuts a span of frames into pieces that N processes render
// side by side. GL-free and process-free, so the cutting is tested directly.
//
// Every piece renders the history of its first frame itself, so a cut anywhere gives the
// same pictures: where to cut is only a question of time. A cut moves to a nearby scene
// start, where a piece's run-up is short, and never into a scene that builds on every
// frame since the show's start (the opening).
#pragma once

#include <cstdint>
#include <vector>

// Frames [first, end) of the capture's rate.
struct Piece {
  int64_t first = 0;
  int64_t end = 0;
};

// Frames [first, end) of `fps` cut into at most `jobs` pieces, in order, covering the span
// with no gap or overlap. Each cut lies at an equal share of the frames, or at the scene
// start nearest it when one lies within half a piece. first < end, jobs >= 1.
std::vector<Piece> cutIntoPieces(double fps, int64_t first, int64_t end, int jobs);
