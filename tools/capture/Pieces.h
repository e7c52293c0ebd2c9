// How lumorak-capture --jobs N cuts a span of frames into pieces that N processes render
// side by side. GL-free and process-free, so the cutting is tested directly.
//
// Every piece renders the history of its first frame itself (OfflineShow::renderUpTo),
// so a cut anywhere gives the same pictures: where to cut is only a question of time. A
// piece costs its process's start, its run-up (the history it renders without keeping)
// and its own frames; the pieces run at once, so the run takes as long as the dearest
// one. cutIntoPieces() picks the cuts that make the dearest piece cheapest, and the fewest
// pieces that reach that: a short span stays whole when a second start-up would cost more
// than it saves, and a cut where the run-up is long (inside the opening, which builds on
// every frame since 0) is taken only when nothing cheaper balances the work.
//
// Cuts lie at scene bounds or on a grid of frames (at most kCutGrid steps over the span),
// so the pieces' costs differ by at most a grid step's frames from the best.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// Frames [first, end) of the capture's rate.
struct Piece {
  int64_t first = 0;
  int64_t end = 0;
};

// Costs in one unit (the Scenes table's milliseconds per frame in docs/performance.md).
struct PieceCosts {
  std::function<double(int64_t frame)> frame;  // rendering frame `frame`
  std::function<double(int64_t frame)> runUp;  // the history of a piece starting at `frame`
  double perPiece = 0.0;  // starting a child process; a span left whole renders in this one
};

constexpr int kCutGrid = 400;

// Frames [first, end) cut into at most `jobs` pieces, in order, covering the span with no
// gap or overlap. `bounds` are frames where a cut costs nothing extra (scene starts);
// those outside (first, end) are ignored. first < end, jobs >= 1.
std::vector<Piece> cutIntoPieces(int64_t first, int64_t end, int jobs,
                                 const std::vector<int64_t>& bounds, const PieceCosts& costs);

// The time the run takes: the dearest piece's start (none for a span left whole), run-up
// and frames.
double dearestPiece(const std::vector<Piece>& pieces, const PieceCosts& costs);

// The frames at which the show's scenes start, at `fps` (the first frame of each).
std::vector<int64_t> sceneStartFrames(double fps);
// The cost of rendering frame `frame` at `fps` in the scene it lies in (Scenes table).
double sceneFrameCost(double fps, int64_t frame);
// A child's start-up (window, data, music, encoder) in the same unit; docs/performance.md
// (Parallel export) says how it was priced.
constexpr double kPieceStartCost = 3000.0;
