#include "capture/Pieces.h"

#include <algorithm>
#include <cstdlib>

#include "offline/OfflineShow.h"
#include "scenes/Schedule.h"

std::vector<Piece> cutIntoPieces(double fps, int64_t first, int64_t end, int jobs) {
  const FrameRate rate{fps};
  std::vector<int64_t> starts;  // the scenes' first frames inside the span
  for (const SceneSchedule& scene : kSchedule) {
    const int64_t n = rate.firstAtOrAfter(scene.start);
    if (n > first && n < end) starts.push_back(n);
  }
  const int64_t share = (end - first) / std::max(jobs, 1);
  std::vector<int64_t> cuts = {first};
  for (int k = 1; k < jobs; ++k) {
    int64_t cut = first + (end - first) * k / jobs;
    const auto nearest = std::min_element(
        starts.begin(), starts.end(),
        [cut](int64_t a, int64_t b) { return std::llabs(a - cut) < std::llabs(b - cut); });
    if (nearest != starts.end() && std::llabs(*nearest - cut) <= share / 2) {
      cut = *nearest;
    } else if (scheduleOf(sceneAt(static_cast<float>(rate.timeOf(cut)))).history ==
               History::kFromShowStart) {
      continue;
    }
    if (cut > cuts.back() && cut < end) cuts.push_back(cut);
  }
  cuts.push_back(end);
  std::vector<Piece> pieces;
  for (size_t i = 0; i + 1 < cuts.size(); ++i) pieces.push_back(Piece{cuts[i], cuts[i + 1]});
  return pieces;
}
