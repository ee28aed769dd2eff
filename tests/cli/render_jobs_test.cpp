// `lensfall render --jobs`: a sequence rendered by several worker processes
// comes out as one process renders it, a bad frame fails alone, Ctrl-C stops
// every worker without leaving partial files, and --jobs below 1 is refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "host/frame.h"
#include "host/frame_io.h"

namespace lensfall::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kFrame =
    fs::path(LENSFALL_FRAMES_DIR) / "occlusion" / "occlusion_640x360";

// A temporary folder with frames in.0001.exr ... in.NNNN.exr, all the real
// 640 x 360 frame, each with its sidecar.
class Sequence {
 public:
  Sequence(const std::string &name, int frames)
      : dir_(fs::path(::testing::TempDir()) /
             ("lensfall_jobs_" + name + "_" + std::to_string(getpid()))) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (int n = 1; n <= frames; ++n) {
      fs::create_symlink(kFrame.string() + ".exr", input(n));
      fs::create_symlink(kFrame.string() + ".json", sidecar(n));
    }
  }
  ~Sequence() { fs::remove_all(dir_); }

  const fs::path &dir() const { return dir_; }
  fs::path input(int n) const { return dir_ / numbered("in", n); }
  fs::path sidecar(int n) const {
    return fs::path(input(n)).replace_extension(".json");
  }
  fs::path output(const std::string &stem, int n) const {
    return dir_ / numbered(stem, n);
  }
  std::string inputPattern() const { return (dir_ / "in.####.exr").string(); }
  std::string outputPattern(const std::string &stem) const {
    return (dir_ / (stem + ".####.exr")).string();
  }

 private:
  static std::string numbered(const std::string &stem, int n) {
    char number[16];
    std::snprintf(number, sizeof number, "%04d", n);
    return stem + "." + number + ".exr";
  }
  fs::path dir_;
};

host::Frame readOutput(const fs::path &path) {
  host::FrameSource source;
  source.image = path;
  return host::readFrame(source);
}

void expectSamePixels(const fs::path &expected, const fs::path &actual) {
  const host::Frame a = readOutput(expected);
  const host::Frame b = readOutput(actual);
  ASSERT_EQ(a.width, b.width) << actual;
  ASSERT_EQ(a.height, b.height) << actual;
  EXPECT_EQ(a.red, b.red) << actual;
  EXPECT_EQ(a.green, b.green) << actual;
  EXPECT_EQ(a.blue, b.blue) << actual;
  EXPECT_EQ(a.alpha, b.alpha) << actual;
  EXPECT_EQ(a.depth, b.depth) << actual;
}

TEST(RenderJobs, TwoWorkersWriteWhatOneProcessWrites) {
  const Sequence sequence("same", 4);
  const CliRun one = lensfall(
      sequence.dir(),
      {"render", sequence.inputPattern(), "-o", sequence.outputPattern("one"),
       "--frames", "1-4", "--jobs", "1", "--set", "focus=FenceCenterMarker"});
  ASSERT_EQ(one.status, 0) << one.err;
  const CliRun two = lensfall(
      sequence.dir(),
      {"render", sequence.inputPattern(), "-o", sequence.outputPattern("two"),
       "--frames", "1-4", "--jobs", "2", "--set", "focus=FenceCenterMarker"});
  ASSERT_EQ(two.status, 0) << two.err;
  EXPECT_EQ(two.err, "");
  for (int n = 1; n <= 4; ++n) {
    expectSamePixels(sequence.output("one", n), sequence.output("two", n));
    // One progress line per frame, whichever worker rendered it.
    EXPECT_NE(two.out.find("frame " + std::to_string(n) + " done ("),
              std::string::npos)
        << two.out;
  }
}

// With one worker process or several, a frame that cannot be read fails
// with a message naming it, and every other frame is still written.
TEST(RenderJobs, AnUnreadableFrameFailsAlone) {
  for (const char *jobs : {"1", "2"}) {
    SCOPED_TRACE(std::string("--jobs ") + jobs);
    const Sequence sequence(std::string("bad") + jobs, 4);
    fs::remove(sequence.input(3));
    std::ofstream(sequence.input(3)) << "not an image\n";
    const CliRun run =
        lensfall(sequence.dir(), {"render", sequence.inputPattern(), "-o",
                                  sequence.outputPattern("out"), "--frames",
                                  "1-4", "--jobs", jobs, "-q"});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find(sequence.input(3).string()), std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "") << "--quiet prints no progress";
    EXPECT_FALSE(fs::exists(sequence.output("out", 3)));
    for (int n : {1, 2, 4}) {
      ASSERT_TRUE(fs::exists(sequence.output("out", n))) << n;
      EXPECT_EQ(readOutput(sequence.output("out", n)).width, 640);
    }
  }
}

TEST(RenderJobs, JobsBelowOneAreRefused) {
  const Sequence sequence("zero", 2);
  for (const char *jobs : {"--jobs=0", "--jobs=-2"}) {
    const CliRun run =
        lensfall(sequence.dir(),
                 {"render", sequence.inputPattern(), "-o",
                  sequence.outputPattern("out"), "--frames", "1-2", jobs});
    EXPECT_EQ(run.status, 1) << jobs;
    EXPECT_NE(run.err.find("--jobs"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(sequence.output("out", 1)));
  }
}

// SIGINT to the parent alone (as a job control system sends it) stops the
// workers too: the parent forwards it at once, so only the frames already
// being rendered can still finish, far fewer than the 40. Finished frames
// are complete files, and nothing else is left in the folder. SIGTERM, which
// a workload manager sends a task it cancels, does the same.
void stopsEveryWorker(int stopSignal) {
  constexpr int kFrames = 40;
  const Sequence sequence("stop" + std::to_string(stopSignal), kFrames);
  const std::string output = sequence.outputPattern("out");
  const std::string input = sequence.inputPattern();
  std::vector<const char *> argv = {
      LENSFALL_CLI_PATH, "--module",    LENSFALL_MODULE_PATH,
      "render",          input.c_str(), "-o",
      output.c_str(),    "--frames",    "1-40",
      "--jobs",          "2",           nullptr};
  int out[2], err[2];
  ASSERT_EQ(pipe(out), 0);
  ASSERT_EQ(pipe(err), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    execv(LENSFALL_CLI_PATH, const_cast<char *const *>(argv.data()));
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  // Interrupt once the first frame is reported done.
  FILE *progress = fdopen(out[0], "r");
  char line[4096];
  bool interrupted = false;
  while (std::fgets(line, sizeof line, progress) != nullptr) {
    if (!interrupted &&
        std::string(line).find(" done (") != std::string::npos) {
      kill(pid, stopSignal);
      interrupted = true;
    }
  }
  std::fclose(progress);
  std::string messages;
  ssize_t n = 0;
  while ((n = read(err[0], line, sizeof line)) > 0) {
    messages.append(line, size_t(n));
  }
  close(err[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(interrupted) << messages;
  ASSERT_TRUE(WIFEXITED(status)) << messages;
  EXPECT_EQ(WEXITSTATUS(status), 130) << messages;
  EXPECT_NE(messages.find("stopped"), std::string::npos) << messages;

  std::set<fs::path> expected;
  int written = 0;
  for (int k = 1; k <= kFrames; ++k) {
    expected.insert(sequence.input(k));
    expected.insert(sequence.sidecar(k));
    if (fs::exists(sequence.output("out", k))) {
      ++written;
      expected.insert(sequence.output("out", k));
      EXPECT_EQ(readOutput(sequence.output("out", k)).height, 360) << k;
    }
  }
  EXPECT_GE(written, 1);
  EXPECT_LT(written, kFrames);
  for (const fs::directory_entry &entry :
       fs::directory_iterator(sequence.dir())) {
    EXPECT_TRUE(expected.count(entry.path()))
        << "left behind: " << entry.path();
  }
}

TEST(RenderJobs, InterruptStopsEveryWorker) { stopsEveryWorker(SIGINT); }
TEST(RenderJobs, TerminateStopsEveryWorker) { stopsEveryWorker(SIGTERM); }

// A worker killed while it writes a frame (the out-of-memory killer, a
// second Ctrl-C) cannot remove its temporary file; its parent knows which
// frame it had and removes it. The worker is caught mid-write by watching
// the folder for the temporary and stopping the writer at once.
TEST(RenderJobs, AWorkerKilledWhileWritingLeavesNoTemporary) {
  constexpr int kFrames = 6;
  const Sequence sequence("killed", kFrames);
  const int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, sequence.dir().c_str(), IN_CREATE), 0);
  const std::string output = sequence.outputPattern("out");
  const std::string input = sequence.inputPattern();
  std::vector<const char *> argv = {LENSFALL_CLI_PATH,
                                    "--module",
                                    LENSFALL_MODULE_PATH,
                                    "render",
                                    input.c_str(),
                                    "-o",
                                    output.c_str(),
                                    "--frames",
                                    "1-6",
                                    "--jobs",
                                    "2",
                                    "-q",
                                    nullptr};
  const fs::path messages = sequence.dir() / "messages";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int err = open(messages.c_str(), O_WRONLY | O_CREAT, 0644);
    dup2(err, STDERR_FILENO);
    execv(LENSFALL_CLI_PATH, const_cast<char *const *>(argv.data()));
    _exit(127);
  }
  // ".out.0003.exr.HOST-PID.tmp": stop its writer; kill it if the
  // temporary is still there, else let it go on and wait for the next.
  int killedFrame = 0;
  alignas(inotify_event) char events[4096];
  pollfd ready{watch, POLLIN, 0};
  while (killedFrame == 0 && poll(&ready, 1, 120000) > 0) {
    const ssize_t size = read(watch, events, sizeof events);
    for (ssize_t at = 0; at < size && killedFrame == 0;) {
      const auto *event = reinterpret_cast<const inotify_event *>(events + at);
      at += ssize_t(sizeof(inotify_event) + event->len);
      const std::string name = event->len > 0 ? event->name : "";
      if (name.rfind(".out.", 0) != 0 || !name.ends_with(".tmp")) continue;
      const size_t dash = name.rfind('-');
      const pid_t writer = pid_t(std::stol(name.substr(dash + 1)));
      kill(writer, SIGSTOP);
      if (fs::exists(sequence.dir() / name)) {
        kill(writer, SIGKILL);
        killedFrame = std::stoi(name.substr(5, 4));
      } else {
        kill(writer, SIGCONT);
      }
    }
  }
  close(watch);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_NE(killedFrame, 0) << "no frame was caught while it was written";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string err = readText(messages);
  EXPECT_NE(err.find(sequence.input(killedFrame).string()), std::string::npos)
      << err;
  for (const fs::directory_entry &entry :
       fs::directory_iterator(sequence.dir())) {
    EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp"))
        << "left behind: " << entry.path();
  }
  EXPECT_FALSE(fs::exists(sequence.output("out", killedFrame)));
}

}  // namespace
}  // namespace lensfall::testing
