// The farm's pure parts: how frames are cut into tasks, and how the queue
// is read back.
#include "cli/farm/farm_job.h"

#include <gtest/gtest.h>

#include "cli/farm/farm_manager.h"

namespace lensfall::cli {
namespace {

TEST(FarmJob, FramesAreCutIntoRunsOfAtMostAChunkAtEveryGap) {
  struct Case {
    std::vector<int> frames;
    int chunk;
    std::vector<FrameSpan> spans;
  };
  const Case cases[] = {
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 4, {{1, 4}, {5, 8}, {9, 12}}},
      {{1, 2, 3, 4, 5}, 4, {{1, 4}, {5, 5}}},
      {{7, 5, 6, 6, 12}, 10, {{5, 7}, {12, 12}}},  // unsorted, repeated
      {{3, 4, 9}, 1, {{3, 3}, {4, 4}, {9, 9}}},
      {{}, 4, {}},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(chunkFrames(c.frames, c.chunk), c.spans)
        << "chunk " << c.chunk << ", " << c.frames.size() << " frames";
  }
}

TEST(FarmJob, TheQueueIsReadTaskByTask) {
  const auto tasks =
      parseSqueue("41 0 R\n41 [2-4,7%2] PD\n42 N/A PD\n43 3 CG\n");
  std::vector<std::tuple<std::string, int, bool>> read;
  for (const QueuedTask &t : tasks) read.emplace_back(t.job, t.task, t.running);
  const std::vector<std::tuple<std::string, int, bool>> expected = {
      {"41", 0, true},  {"41", 2, false}, {"41", 3, false},
      {"41", 4, false}, {"41", 7, false}, {"43", 3, true}};
  EXPECT_EQ(read, expected);
}

TEST(FarmJob, ScriptWordsAreQuotedForTheShell) {
  EXPECT_EQ(shellQuoted("/farm/shot.####.exr"), "'/farm/shot.####.exr'");
  EXPECT_EQ(shellQuoted("plain/path.exr"), "plain/path.exr");
  EXPECT_EQ(shellQuoted("it's $HOME"), "'it'\\''s $HOME'");
  EXPECT_EQ(shellQuoted(""), "''");
}

}  // namespace
}  // namespace lensfall::cli
