// Ctrl-C while a render writes its output: the first asks to stop, the
// second ends the program at once, and takes the half-written temporary
// file with it, leaving the earlier output as it was.
#include "cli/interrupts.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "cli/cli_run.h"
#include "host/atomic_write.h"

namespace lensfall::testing {
namespace {

namespace fs = std::filesystem;

TEST(Interrupts, ASecondCtrlCWhileWritingRemovesTheTemporary) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const TempDir dir("second_interrupt");
  const fs::path target = dir / "frame.exr";
  std::ofstream(target) << "an earlier output";
  EXPECT_EXIT(
      {
        cli::InterruptGuard guard(cli::InterruptGuard::Second::EndsProgram);
        host::writeThroughTemporary(target, [](const fs::path &temporary) {
          std::ofstream(temporary) << "half a frame";
          std::raise(SIGINT);  // the first asks the module to stop
          std::raise(SIGINT);  // the second ends the program
        });
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGINT), "");
  EXPECT_EQ(readText(target), "an earlier output");
  for (const fs::directory_entry &entry : fs::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path(), target) << "left behind";
  }
}

// The settings page's server ends at once on Ctrl-C, a kill or a closed
// terminal; one that lands during a save takes the save's temporary with it.
TEST(Interrupts, AStopSignalDuringASaveRemovesTheTemporary) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const TempDir dir("stop_signal");
    const fs::path target = dir / "shot.json";
    std::ofstream(target) << "the saved scene";
    EXPECT_EXIT(
        {
          cli::endOnStopSignals();
          host::writeThroughTemporary(target, [&](const fs::path &temporary) {
            std::ofstream(temporary) << "half a scene";
            std::raise(signal);
          });
          std::exit(0);
        },
        ::testing::KilledBySignal(signal), "")
        << signal;
    EXPECT_EQ(readText(target), "the saved scene");
    for (const fs::directory_entry &entry :
         fs::directory_iterator(dir.path())) {
      EXPECT_EQ(entry.path(), target) << "left behind";
    }
  }
}

}  // namespace
}  // namespace lensfall::testing
