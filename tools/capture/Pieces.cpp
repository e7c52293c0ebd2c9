#include "Pieces.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "offline/OfflineShow.h"
#include "scenes/Schedule.h"

namespace {
// Median milliseconds a frame of each scene took on llvmpipe (docs/performance.md,
// Scenes). Only their ratios matter.
constexpr double kSceneMilliseconds[kSceneCount] = {59.0, 161.8, 108.1, 108.0, 67.5, 95.6};
}  // namespace

std::vector<int64_t> sceneStartFrames(double fps) {
  const FrameRate rate{fps};
  std::vector<int64_t> frames;
  for (const SceneSchedule& scene : kSchedule) frames.push_back(rate.firstAtOrAfter(scene.start));
  return frames;
}

double sceneFrameCost(double fps, int64_t frame) {
  const SceneIndex scene = sceneAt(static_cast<float>(FrameRate{fps}.timeOf(frame)));
  return kSceneMilliseconds[std::min<int>(scene, kSceneCount - 1)];
}

std::vector<Piece> cutIntoPieces(int64_t first, int64_t end, int jobs,
                                 const std::vector<int64_t>& bounds, const PieceCosts& costs) {
  // The frames where a piece may start or end: the span's ends, the bounds inside it and
  // a grid.
  std::vector<int64_t> cuts = {first, end};
  const int64_t step = std::max<int64_t>((end - first + kCutGrid - 1) / kCutGrid, 1);
  for (int64_t n = first + step; n < end; n += step) cuts.push_back(n);
  for (int64_t n : bounds) {
    if (n > first && n < end) cuts.push_back(n);
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  const size_t count = cuts.size();

  // work[i]: frames [first, cuts[i]); a piece [cuts[i], cuts[j]) costs its start, its
  // run-up and work[j] - work[i].
  std::vector<double> work(count, 0.0);
  std::vector<double> runUp(count, 0.0);
  double sum = 0.0;
  for (size_t i = 0, n = static_cast<size_t>(first); i < count; ++i) {
    for (; static_cast<int64_t>(n) < cuts[i]; ++n) sum += costs.frame(static_cast<int64_t>(n));
    work[i] = sum;
    if (i + 1 < count) runUp[i] = costs.runUp(cuts[i]);
  }
  auto piece = [&](size_t i, size_t j) { return costs.perPiece + runUp[i] + work[j] - work[i]; };

  // dearest[k][j]: the cheapest dearest piece of k + 1 pieces covering [first, cuts[j]);
  // from[k][j] the cut before the last of them. O(jobs * count^2), a few million steps.
  const size_t most = std::min<size_t>(static_cast<size_t>(std::max(jobs, 1)), count - 1);
  constexpr double kNone = std::numeric_limits<double>::infinity();
  std::vector<std::vector<double>> dearest(most, std::vector<double>(count, kNone));
  std::vector<std::vector<size_t>> from(most, std::vector<size_t>(count, 0));
  for (size_t j = 1; j < count; ++j) dearest[0][j] = piece(0, j);
  for (size_t k = 1; k < most; ++k) {
    for (size_t j = k + 1; j < count; ++j) {
      for (size_t i = k; i < j; ++i) {
        const double cost = std::max(dearest[k - 1][i], piece(i, j));
        if (cost < dearest[k][j]) {
          dearest[k][j] = cost;
          from[k][j] = i;
        }
      }
    }
  }
  // A span left whole renders in this process: no start to pay.
  dearest[0][count - 1] -= costs.perPiece;
  // The fewest pieces within a part in a million of the best: more would only add starts.
  double best = kNone;
  for (size_t k = 0; k < most; ++k) best = std::min(best, dearest[k][count - 1]);
  size_t pieces = 0;
  while (dearest[pieces][count - 1] > best * (1.0 + 1e-6)) ++pieces;

  std::vector<Piece> result(pieces + 1);
  size_t j = count - 1;
  for (size_t k = pieces + 1; k-- > 0;) {
    const size_t i = k == 0 ? 0 : from[k][j];
    result[k] = Piece{cuts[i], cuts[j]};
    j = i;
  }
  return result;
}

double dearestPiece(const std::vector<Piece>& pieces, const PieceCosts& costs) {
  double dearest = 0.0;
  for (const Piece& p : pieces) {
    double cost = (pieces.size() > 1 ? costs.perPiece : 0.0) + costs.runUp(p.first);
    for (int64_t n = p.first; n < p.end; ++n) cost += costs.frame(n);
    dearest = std::max(dearest, cost);
  }
  return dearest;
}
