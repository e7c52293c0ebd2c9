// lumorak-capture's options and the arithmetic that keeps its sound with its picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CaptureJob.h"
#include "Pieces.h"
#include "scenes/Schedule.h"

namespace {

bool parse(std::vector<const char*> args, CaptureJob& job, std::string& error) {
  args.insert(args.begin(), "lumorak-capture");
  return parseCaptureArgs(static_cast<int>(args.size()), args.data(), job, error);
}

std::string errorOf(std::vector<const char*> args) {
  CaptureJob job;
  std::string error;
  return parse(args, job, error) ? "" : error;
}

TEST(CaptureJobTest, DefaultsAreTheWholeShowAsAnMp4At60Fps) {
  CaptureJob job;
  std::string error;
  ASSERT_TRUE(parse({}, job, error)) << error;
  EXPECT_EQ(job.mode, CaptureMode::kVideo);
  EXPECT_EQ(job.firstFrame(), 0);
  EXPECT_EQ(job.endFrame(), 8760);  // 146 s at 60 fps
  EXPECT_EQ(job.sampleAt(job.endFrame()), 146 * 44100);
}

TEST(CaptureJobTest, SoundIsCutWhereThePictureIsCutWithoutDrift) {
  CaptureJob job;
  std::string error;
  ASSERT_TRUE(parse({"--fps", "59.94", "--from", "130", "--to", "132"}, job, error)) << error;
  // The first frame at or after 130 s: 7792.2 frames in, so frame 7793.
  EXPECT_EQ(job.firstFrame(), 7793);
  EXPECT_EQ(job.endFrame(), 7913);
  // Consecutive frames' audio spans tile the span exactly: 735 or 736 samples each.
  int64_t total = 0;
  for (int64_t n = job.firstFrame(); n < job.endFrame(); ++n) {
    const int64_t samples = job.sampleAt(n + 1) - job.sampleAt(n);
    EXPECT_TRUE(samples == 735 || samples == 736) << samples;
    total += samples;
  }
  EXPECT_EQ(total, job.sampleAt(job.endFrame()) - job.sampleAt(job.firstFrame()));
  // A whole hour later the boundary is still the rounded exact product.
  EXPECT_EQ(job.sampleAt(215784), 158760000);  // 215784 / 59.94 s = 3600 s
}

TEST(CaptureJobTest, ModesAndTheirOptions) {
  CaptureJob frames;
  std::string error;
  ASSERT_TRUE(parse({"--frames", "130,1,70.5", "--png-dir", "out"}, frames, error)) << error;
  EXPECT_EQ(frames.mode, CaptureMode::kFrames);
  EXPECT_EQ(frames.frames, (std::vector<double>{1, 70.5, 130}));  // rendered in time order
  CaptureJob pngs;
  ASSERT_TRUE(parse({"--png-dir", "out", "--from", "1", "--to", "2"}, pngs, error)) << error;
  EXPECT_EQ(pngs.mode, CaptureMode::kPngDir);
  CaptureJob video;
  ASSERT_TRUE(parse({"--out", "a.mp4", "--preset", "slow", "--crf", "23"}, video, error));
  EXPECT_EQ(video.out, "a.mp4");
  EXPECT_EQ(video.crf, 23);
}

TEST(CaptureJobTest, BadOptionsAreRefusedWithAReason) {
  EXPECT_EQ(errorOf({"--fps", "sixty"}), "--fps takes a number, not 'sixty'");
  EXPECT_EQ(errorOf({"--fps", "0"}), "--fps must lie above 0 and at most 1000");
  EXPECT_EQ(errorOf({"--from", "10", "--to", "5"}),
            "the span is empty: --to 5 s must come after --from 10 s");
  EXPECT_EQ(errorOf({"--to", "147"}), "--to 147 s lies outside the show: it runs from 0 to 146 s");
  EXPECT_EQ(errorOf({"--from=-1"}), "--from -1 s lies outside the show: it runs from 0 to 146 s");
  EXPECT_EQ(errorOf({"--frames", "1,,2"}), "--frames takes comma-separated seconds, not ''");
  EXPECT_EQ(errorOf({"--frames", "146"}),
            "--frames 146 s lies outside the show: times run from 0 up to 146 s");
  EXPECT_EQ(errorOf({"--out", "v.gif"}),
            "--out v.gif: the file is written as mp4, so its name must end in .mp4");
  EXPECT_EQ(errorOf({"--frames", "1", "--sheet", "s.jpg"}),
            "--sheet s.jpg: the file is written as png, so its name must end in .png");
  EXPECT_EQ(errorOf({"--frames", "1", "--out", "x.mp4"}),
            "--frames renders single frames: it takes no --out, --from or --to");
  EXPECT_EQ(errorOf({"--png-dir", "d", "--out", "x.mp4"}),
            "--png-dir writes PNGs instead of a video: it takes no --out");
  EXPECT_EQ(errorOf({"--sheet", "s.png"}), "--sheet goes with --frames");
  EXPECT_EQ(errorOf({"--crf", "7.5"}), "--crf takes a whole number from 0 to 51");
  EXPECT_EQ(errorOf({"--from", "1.01", "--to", "1.05", "--fps", "10"}),
            "the span holds no frame at this rate");
}

TEST(CaptureJobTest, WavHeaderDescribes16BitStereo) {
  const auto h = wavHeader(44100, 44100);
  ASSERT_EQ(h.size(), 44u);
  EXPECT_EQ(std::string(h.begin(), h.begin() + 4), "RIFF");
  auto u32 = [&h](size_t at) { return h[at] | h[at + 1] << 8 | h[at + 2] << 16 | h[at + 3] << 24; };
  EXPECT_EQ(u32(4), 36u + 176400u);
  EXPECT_EQ(u32(24), 44100u);   // sample rate
  EXPECT_EQ(u32(28), 176400u);  // bytes per second
  EXPECT_EQ(u32(40), 176400u);  // data bytes
  EXPECT_EQ(h[22], 2);          // channels
  EXPECT_EQ(h[34], 16);         // bits per sample
}

TEST(CaptureJobTest, JobsAndTheHiddenPieceOption) {
  CaptureJob job;
  std::string error;
  ASSERT_TRUE(parse({"--jobs", "auto"}, job, error)) << error;
  EXPECT_EQ(job.jobs, 0);
  EXPECT_FALSE(job.isPiece());
  ASSERT_TRUE(parse({"--jobs=3", "--from", "1", "--to", "2", "--fps", "10", "--piece", "12,15,2,3"},
                    job, error))
      << error;
  EXPECT_EQ(job.jobs, 3);
  EXPECT_EQ(job.renderFirst(), 12);
  EXPECT_EQ(job.renderEnd(), 15);
  EXPECT_EQ(errorOf({"--jobs", "0"}), "--jobs takes a whole number from 1 to 32, or auto");
  EXPECT_EQ(errorOf({"--jobs", "33"}), "--jobs takes a whole number from 1 to 32, or auto");
  EXPECT_EQ(errorOf({"--jobs", "two"}), "--jobs takes a whole number from 1 to 32, or auto");
  EXPECT_EQ(errorOf({"--frames", "1", "--jobs", "2"}),
            "--frames renders its few frames in one process: it takes no --jobs");
  EXPECT_EQ(errorOf({"--piece", "5,5,1,1"}), "--piece takes FIRST,END,INDEX,COUNT");
  EXPECT_EQ(errorOf({"--piece", "5,6,3,2"}), "--piece takes FIRST,END,INDEX,COUNT");
  EXPECT_EQ(errorOf({"--from", "1", "--to", "2", "--fps", "10", "--piece", "9,15,1,2"}),
            "--piece lies outside the span");
}

// What the end-to-end runs cannot see in the file: which way up the picture went in, and
// whether the pieces were encoded a second time. Sizes, rates and streams they probe.
TEST(CaptureJobTest, FfmpegTurnsThePictureUprightAndJoinsPiecesWithoutEncodingAgain) {
  auto after = [](const std::vector<std::string>& args, const std::string& flag) {
    const auto at = std::find(args.begin(), args.end(), flag);
    return at + 1 < args.end() ? *(at + 1) : std::string("<missing>");
  };
  // glReadPixels gives the bottom row first: the whole video and a piece (no sound) flip it.
  for (int audioFd : {4, -1}) {
    EXPECT_EQ(after(ffmpegArgs(CaptureJob{}, 1024, 768, 3, audioFd, "x.mp4"), "-vf"), "vflip")
        << "sound on " << audioFd;
  }
  EXPECT_EQ(after(joinArgs("list.txt", 4, "out.mp4"), "-c:v"), "copy");
  // The demuxer's quoting: a quote ends the quoted text, is escaped, and starts it again.
  // Each piece's exact length, to the demuxer's microsecond.
  EXPECT_EQ(concatList({"/t/a.mp4", "/t/it's.mp4"}, {30 / 59.94, 0.5}),
            "ffconcat version 1.0\nfile '/t/a.mp4'\nduration 0.500500501\n"
            "file '/t/it'\\''s.mp4'\nduration 0.500000000\n");
}

// ---- Cutting a span into pieces ------------------------------------------------------

PieceCosts uniform(double perFrame, double perPiece) {
  return {[perFrame](int64_t) { return perFrame; }, [perFrame](int64_t) { return perFrame; },
          perPiece};
}

// The show's own costs at `fps`: the opening builds on every frame since 0, every other
// scene on the frame before it.
PieceCosts showCosts(double fps, double perPiece) {
  const int64_t openingEnd = sceneStartFrames(fps)[1];
  auto frame = [fps](int64_t n) { return sceneFrameCost(fps, n); };
  auto runUp = [fps, openingEnd, frame](int64_t n) {
    if (n >= openingEnd) return frame(n - 1);
    double cost = 0.0;
    for (int64_t h = 0; h < n; ++h) cost += frame(h);
    return cost;
  };
  return {frame, runUp, perPiece};
}

// Contiguous, non-empty, in order, from first to end, at most `jobs` of them.
::testing::AssertionResult tiles(const std::vector<Piece>& pieces, int64_t first, int64_t end,
                                 int jobs) {
  if (pieces.empty() || static_cast<int>(pieces.size()) > jobs) {
    return ::testing::AssertionFailure() << pieces.size() << " pieces for " << jobs << " jobs";
  }
  int64_t at = first;
  for (const Piece& p : pieces) {
    if (p.first != at || p.end <= p.first) {
      return ::testing::AssertionFailure()
             << "piece [" << p.first << ", " << p.end << ") after " << at;
    }
    at = p.end;
  }
  if (at != end) return ::testing::AssertionFailure() << "ends at " << at << ", not " << end;
  return ::testing::AssertionSuccess();
}

TEST(PiecesTest, PiecesCoverTheSpanExactly) {
  struct Span {
    double fps;
    int64_t first, end;
  };
  for (const Span& span : {Span{60, 0, 8760}, Span{59.94, 4997, 5012}, Span{10, 835, 836},
                           Span{10, 830, 840}, Span{60, 1685, 1688}, Span{1000, 0, 146000}}) {
    for (int jobs : {1, 2, 3, 7, 32}) {
      for (double start : {0.0, 3000.0}) {
        SCOPED_TRACE(testing::Message() << span.fps << " fps [" << span.first << ", " << span.end
                                        << ") jobs " << jobs << " start " << start);
        const auto pieces = cutIntoPieces(span.first, span.end, jobs, sceneStartFrames(span.fps),
                                          showCosts(span.fps, start));
        EXPECT_TRUE(tiles(pieces, span.first, span.end, jobs));
      }
    }
  }
}

TEST(PiecesTest, EvenWorkIsSplitEvenly) {
  // 1000 frames of equal cost and no start-up: four pieces within a grid step (3 frames).
  const auto pieces = cutIntoPieces(0, 1000, 4, {}, uniform(1.0, 0.0));
  ASSERT_TRUE(tiles(pieces, 0, 1000, 4));
  ASSERT_EQ(pieces.size(), 4u);
  for (const Piece& p : pieces) EXPECT_NEAR(static_cast<double>(p.end - p.first), 250.0, 3.0);
  // Each job more makes the dearest piece cheaper, so all are used.
  EXPECT_EQ(cutIntoPieces(0, 1000, 5, {}, uniform(1.0, 0.0)).size(), 5u);
}

TEST(PiecesTest, StartUpsArePaidOnlyWhenTheSpanIsLongEnough) {
  // A piece's start costs 30 frames: 20 frames stay whole, 2000 are cut in two.
  EXPECT_EQ(cutIntoPieces(0, 20, 2, {}, uniform(100.0, 3000.0)).size(), 1u);
  EXPECT_EQ(cutIntoPieces(0, 2000, 2, {}, uniform(100.0, 3000.0)).size(), 2u);
  // 100 frames: each process more saves more than its start, up to eight.
  EXPECT_EQ(cutIntoPieces(0, 100, 8, {}, uniform(100.0, 3000.0)).size(), 8u);
  // A span on one frame's cost, of three frames: never more pieces than frames.
  EXPECT_EQ(cutIntoPieces(0, 3, 8, {}, uniform(100.0, 0.0)).size(), 3u);
}

TEST(PiecesTest, TheOpeningIsNotCutWhereItsRunUpWouldCostMore) {
  const double fps = 60;
  const int64_t openingEnd = sceneStartFrames(fps)[1];
  // Within the opening every piece renders all frames before it: no cut helps.
  EXPECT_EQ(cutIntoPieces(0, openingEnd, 4, sceneStartFrames(fps), showCosts(fps, 0.0)).size(), 1u);
  // The whole show in two: the cut falls after the opening, and the pieces weigh the same
  // within a grid step of word-scene frames.
  const PieceCosts costs = showCosts(fps, kPieceStartCost);
  const auto pieces = cutIntoPieces(0, 8760, 2, sceneStartFrames(fps), costs);
  ASSERT_TRUE(tiles(pieces, 0, 8760, 2));
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_GE(pieces[0].end, openingEnd);
  double total = 0.0;
  for (int64_t n = 0; n < 8760; ++n) total += costs.frame(n);
  const double step = 22 * sceneFrameCost(fps, openingEnd);  // 8760 / kCutGrid frames
  EXPECT_LE(dearestPiece(pieces, costs), total / 2 + kPieceStartCost + step);
  // Half the show's work is done by the early cloud: the cut lies there, not in the opening.
  EXPECT_EQ(sceneAt(static_cast<float>(pieces[0].end / fps)), kCloud);
}

}  // namespace
