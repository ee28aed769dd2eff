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

}  // namespace
}  // namespace lensfall::testing
