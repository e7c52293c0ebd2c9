// lumorak-capture's options and the arithmetic that keeps its sound with its picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "capture/CaptureJob.h"
#include "capture/Pieces.h"
#include "offline/OfflineShow.h"
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
      SCOPED_TRACE(testing::Message()
                   << span.fps << " fps [" << span.first << ", " << span.end << ") jobs " << jobs);
      EXPECT_TRUE(
          tiles(cutIntoPieces(span.fps, span.first, span.end, jobs), span.first, span.end, jobs));
    }
  }
}

TEST(PiecesTest, CutsFallAtEqualSharesOrAtASceneStartNearby) {
  const double fps = 60;
  auto startOf = [fps](SceneIndex scene) {
    return FrameRate{fps}.firstAtOrAfter(sceneStart(scene));
  };
  // Inside the column field, no scene starts: four equal shares.
  const int64_t from = 84 * 60;
  const auto even = cutIntoPieces(fps, from, from + 1000, 4);
  ASSERT_TRUE(tiles(even, from, from + 1000, 4));
  ASSERT_EQ(even.size(), 4u);
  for (const Piece& p : even) EXPECT_EQ(p.end - p.first, 250);
  // The whole show in two: the half lies at 73 s, in the cloud; the cut moves to the
  // cloud's start at 63 s, 600 frames off, within half a piece.
  const auto halves = cutIntoPieces(fps, 0, 8760, 2);
  ASSERT_EQ(halves.size(), 2u);
  EXPECT_EQ(halves[0].end, startOf(kCloud));
  // A scene start further than half a piece from the share leaves the share as it is: the
  // half of [cloud - 100, cloud + 900) lies 400 frames after the cloud's start.
  const auto far = cutIntoPieces(fps, startOf(kCloud) - 100, startOf(kCloud) + 900, 2);
  ASSERT_EQ(far.size(), 2u);
  EXPECT_EQ(far[0].end, startOf(kCloud) + 400);
}

TEST(PiecesTest, TheOpeningIsNeverCutInside) {
  // Every frame of the opening builds on all frames before it: a piece starting inside it
  // would render the whole span before it again.
  const double fps = 60;
  const int64_t openingEnd = FrameRate{fps}.firstAtOrAfter(sceneStart(kWord));
  EXPECT_EQ(cutIntoPieces(fps, 0, openingEnd, 4).size(), 1u);
  // Reaching into the word scene, the one cut moves to the word scene's start.
  const auto pieces = cutIntoPieces(fps, 0, openingEnd + 600, 2);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].end, openingEnd);
}

}  // namespace
