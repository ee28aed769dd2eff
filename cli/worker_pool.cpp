#include "cli/worker_pool.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <sstream>

#include "cli/frame_renderer.h"
#include "cli/interrupts.h"
#include "cli/worker_protocol.h"
#include "host/atomic_write.h"
#include "host/host_error.h"
#include "host/path_format.h"

namespace lensfall::cli {

namespace {

using host::HostError;

// The workers a SIGINT to the parent is forwarded to; 0 once reaped.
std::atomic<pid_t> *interruptTargets = nullptr;
std::atomic<size_t> interruptTargetCount{0};
volatile std::sig_atomic_t interruptsSeen = 0;

// The first Ctrl-C asks every worker to stop (a terminal sends it to them
// too, but not when only the parent is signalled); a second kills them at
// once. The parent then reaps them, removes the temporary files they were
// writing, and ends.
void forwardInterrupt(int) {
  const int savedErrno = errno;
  const bool first = interruptsSeen == 0;
  interruptsSeen = first ? 1 : 2;
  const size_t count = interruptTargetCount.load();
  for (size_t k = 0; k < count; ++k) {
    const pid_t pid = interruptTargets[k].load();
    if (pid > 0) kill(pid, first ? SIGINT : SIGKILL);
  }
  errno = savedErrno;
}

// While workers run, SIGINT (and SIGTERM, which counts as Ctrl-C) is
// forwarded to them as SIGINT and stays blocked in the parent except while
// it waits for reports, so it is seen between two
// reports and never missed; the workers start with it blocked too and
// unblock it once their handler is in place. A worker that died shows as a
// failed write, not as SIGPIPE.
class ParentSignals {
 public:
  explicit ParentSignals(std::atomic<pid_t> *targets) {
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    sigaddset(&interrupt, SIGTERM);
    sigprocmask(SIG_BLOCK, &interrupt, &unblocked_);
    interruptsSeen = 0;
    interruptTargets = targets;
    interruptTargetCount = 0;
    struct sigaction forward {};
    forward.sa_handler = forwardInterrupt;
    sigemptyset(&forward.sa_mask);
    sigaction(SIGINT, &forward, &previousInterrupt_);
    sigaction(SIGTERM, &forward, &previousTerminate_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previousPipe_);
  }
  ~ParentSignals() {
    interruptTargetCount = 0;
    interruptTargets = nullptr;
    sigaction(SIGPIPE, &previousPipe_, nullptr);
    sigaction(SIGTERM, &previousTerminate_, nullptr);
    sigaction(SIGINT, &previousInterrupt_, nullptr);
    sigprocmask(SIG_SETMASK, &unblocked_, nullptr);
  }
  ParentSignals(const ParentSignals &) = delete;
  ParentSignals &operator=(const ParentSignals &) = delete;

  // The signal mask with SIGINT deliverable.
  const sigset_t &unblocked() const { return unblocked_; }

 private:
  sigset_t unblocked_{};
  struct sigaction previousInterrupt_ {};
  struct sigaction previousTerminate_ {};
  struct sigaction previousPipe_ {};
};

struct Worker {
  int tasks = -1;  // write end of its task pipe; -1 once closed
  bool busy = false;
  int frame = 0;  // while busy
  bool reportedFatal = false;
};

class WorkerPool {
 public:
  WorkerPool(const RenderOptions &options, const std::vector<int> &frames,
             int workers)
      : options_(options),
        pending_(frames.begin(), frames.end()),
        total_(int(frames.size())),
        pids_(new std::atomic<pid_t>[size_t(workers)]),
        signals_(pids_.get()) {
    if (pipe2(reportPipe_, O_CLOEXEC) != 0) {
      throw HostError(fmt::format("cannot start worker processes: {}",
                                  std::strerror(errno)));
    }
    start(workers);
  }

  int run() {
    Report report;
    for (;;) {
      pollfd reports{reportPipe_[0], POLLIN, 0};
      const int ready = ppoll(&reports, 1, nullptr, &signals_.unblocked());
      if (interruptsSeen != 0 && !stopping_) {
        stopping_ = true;
        for (size_t k = 0; k < workers_.size(); ++k) closeTasks(k);
      }
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0 || !readReport(reportPipe_[0], report)) break;
      handle(report);
    }
    close(reportPipe_[0]);
    for (size_t k = 0; k < workers_.size(); ++k) closeTasks(k);
    reapAll();
    return finish();
  }

 private:
  void start(int count) {
    std::fflush(nullptr);
    const pid_t parent = getpid();
    int startError = 0;  // errno of a worker that could not be started
    for (int k = 0; k < count; ++k) {
      int taskPipe[2];
      if (pipe2(taskPipe, O_CLOEXEC) != 0) {
        startError = errno;
        break;
      }
      // Everything the child needs is made before fork(): after it, the
      // child only calls functions that are safe there, up to execv().
      std::vector<std::string> arguments = {
          "lensfall", "--render-worker",
          fmt::format("{},{},{}", k, taskPipe[0], reportPipe_[1])};
      arguments.insert(arguments.end(), options_.commandLine.begin(),
                       options_.commandLine.end());
      std::vector<char *> argv;
      for (std::string &argument : arguments) argv.push_back(argument.data());
      argv.push_back(nullptr);
      const pid_t pid = fork();
      if (pid == 0) {
        fcntl(taskPipe[0], F_SETFD, 0);
        fcntl(reportPipe_[1], F_SETFD, 0);
#ifdef __linux__
        // A parent that dies stops its workers the same way as Ctrl-C.
        prctl(PR_SET_PDEATHSIG, SIGINT);
#endif
        if (getppid() != parent) _exit(130);
        execv("/proc/self/exe", argv.data());
        static const char message[] =
            "lensfall: cannot start a worker process\n";
        [[maybe_unused]] const ssize_t ignored =
            write(STDERR_FILENO, message, sizeof message - 1);
        _exit(127);
      }
      close(taskPipe[0]);
      if (pid < 0) {
        startError = errno;
        close(taskPipe[1]);
        break;
      }
      pids_[size_t(k)] = pid;
      interruptTargetCount = size_t(k) + 1;
      workers_.push_back({taskPipe[1]});
    }
    close(reportPipe_[1]);
    if (int(workers_.size()) == count) return;
    const char *error = std::strerror(startError);
    if (workers_.empty()) {
      close(reportPipe_[0]);
      throw HostError(fmt::format("cannot start worker processes: {}", error));
    }
    fmt::print(stderr,
               "lensfall: started {} of {} worker processes ({}); they render "
               "all the frames\n",
               workers_.size(), count, error);
  }

  void closeTasks(size_t k) {
    if (workers_[k].tasks >= 0) close(workers_[k].tasks);
    workers_[k].tasks = -1;
  }

  // Gives worker k its next frame, or tells it there are none.
  void dispatch(size_t k) {
    Worker &worker = workers_[k];
    worker.busy = false;
    while (!stopping_ && !pending_.empty() && worker.tasks >= 0) {
      const int number = pending_.front();
      if (sendTask(worker.tasks, number)) {
        pending_.pop_front();
        worker.frame = number;
        worker.busy = true;
        return;
      }
      closeTasks(k);  // the worker is gone; the frame waits for another
    }
    closeTasks(k);
  }

  void progress(const std::string &line) {
    if (options_.quiet) return;
    fmt::print("{}\n", line);
    std::fflush(stdout);
  }

  void handle(const Report &report) {
    const ReportHeader &header = report.header;
    if (header.worker < 0 || header.worker >= int(workers_.size())) return;
    const auto k = size_t(header.worker);
    switch (header.kind) {
      case ReportHeader::Ready:
        break;
      case ReportHeader::Done:
        ++finished_;
        ++written_;
        progress(fmt::format(
            "frame {} done ({}/{}): {} -> {} ({} x {}, {:.2f} s)", header.frame,
            finished_, total_, framePath(options_.input, header.frame),
            framePath(options_.output, header.frame), header.width,
            header.height, header.seconds));
        break;
      case ReportHeader::Skipped:
        ++finished_;
        ++written_;
        progress(fmt::format("frame {} skipped ({}/{}): {} exists",
                             header.frame, finished_, total_,
                             framePath(options_.output, header.frame)));
        break;
      case ReportHeader::Failed:
        ++finished_;
        failed_.push_back(header.frame);
        fmt::print(stderr, "lensfall: {}\n", report.message);
        progress(fmt::format("frame {} failed ({}/{})", header.frame, finished_,
                             total_));
        break;
      case ReportHeader::Warning:
        // Workers share their set-up, so they tend to warn alike.
        if (shown_.insert(report.message).second) {
          fmt::print(stderr, "lensfall: warning: {}\n", report.message);
        }
        return;
      case ReportHeader::Fatal:
        if (shown_.insert(report.message).second) {
          fmt::print(stderr, "lensfall: {}\n", report.message);
        }
        workerFailed_ = true;
        workers_[k].reportedFatal = true;
        workers_[k].busy = false;
        closeTasks(k);
        return;
    }
    dispatch(k);
  }

  // Waits for worker k with SIGINT deliverable, then reaps it. Its pid
  // leaves the forwarding list before it is reaped, so a late Ctrl-C never
  // reaches a process that took over the pid.
  int reap(size_t k) {
    const pid_t pid = pids_[k].load();
    sigset_t blocked;
    sigprocmask(SIG_SETMASK, &signals_.unblocked(), &blocked);
    siginfo_t info{};
    while (waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) != 0 &&
           errno == EINTR) {
    }
    sigprocmask(SIG_SETMASK, &blocked, nullptr);
    pids_[k] = 0;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
  }

  void reapAll() {
    for (size_t k = 0; k < workers_.size(); ++k) {
      const pid_t pid = pids_[k].load();
      const int status = reap(k);
      const Worker &worker = workers_[k];
      // A worker killed while writing (a second Ctrl-C, the out-of-memory
      // killer) leaves its temporary file: it is removed here.
      if (worker.busy) {
        std::error_code ignored;
        std::filesystem::remove(
            host::temporaryPathFor(framePath(options_.output, worker.frame),
                                   pid),
            ignored);
      }
      const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      if (code == 130 || signal == SIGINT) {
        stopped_ = true;
        continue;
      }
      if (code == 0) continue;
      if (signal == SIGKILL && interruptsSeen > 1) {
        stopped_ = true;
        continue;
      }
      workerFailed_ = true;
      if (worker.reportedFatal) continue;  // its message is out already
      // Ended without saying why (a crash): name the frame it had.
      const std::string how = code > 0
                                  ? fmt::format("exited with status {}", code)
                                  : fmt::format("ended by signal {} ({})",
                                                signal, strsignal(signal));
      if (worker.busy) {
        failed_.push_back(worker.frame);
        fmt::print(stderr, "lensfall: {}: the worker process rendering it {}\n",
                   framePath(options_.input, worker.frame), how);
      } else {
        fmt::print(stderr, "lensfall: a worker process {}\n", how);
      }
    }
  }

  int finish() {
    const int unwritten = total_ - written_;
    if ((stopped_ || interruptsSeen != 0) && unwritten > 0) {
      fmt::print(stderr,
                 "lensfall: stopped; {} of {} frames were not written\n",
                 unwritten, total_);
      throw RenderStopped{};
    }
    if (unwritten > 0) {
      fmt::print(stderr, "lensfall: {} of {} frames were not written{}\n",
                 unwritten, total_,
                 failed_.empty() ? "" : "; failed: " + frameList(failed_));
    }
    return unwritten > 0 || workerFailed_ ? 1 : 0;
  }

  const RenderOptions &options_;
  std::deque<int> pending_;
  int total_;
  std::unique_ptr<std::atomic<pid_t>[]> pids_;
  ParentSignals signals_;
  int reportPipe_[2] = {-1, -1};
  std::vector<Worker> workers_;
  std::vector<int> failed_;
  std::set<std::string> shown_;  // messages already printed
  bool stopping_ = false, stopped_ = false, workerFailed_ = false;
  int finished_ = 0, written_ = 0;
};

}  // namespace

int renderInWorkers(const RenderOptions &options,
                    const std::vector<int> &frames, int workers) {
  WorkerPool pool(options, frames, workers);
  return pool.run();
}

int serveFrames(const std::filesystem::path &modulePath,
                const RenderOptions &options, const FrameRange &range) {
  const RenderOptions::Worker &channel = *options.worker;
  InterruptGuard interrupts(InterruptGuard::Second::AsksAgain);
  // The parent starts workers with SIGINT and SIGTERM blocked so that none
  // is lost; from here on they are handled.
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  sigaddset(&interrupt, SIGTERM);
  sigprocmask(SIG_UNBLOCK, &interrupt, nullptr);
  std::signal(SIGPIPE, SIG_IGN);  // a lost parent shows as a failed write

  ReportHeader header;
  header.worker = channel.index;
  auto send = [&](ReportHeader::Kind kind, std::string_view message = {}) {
    header.kind = kind;
    if (!sendReport(channel.reportFd, header, message)) stopRequested = true;
  };
  try {
    FrameRenderer renderer(modulePath, options, range);
    ProgressBar noBar(false);
    send(ReportHeader::Ready);
    int number = 0;
    while (!stopRequested && readTask(channel.taskFd, number, &stopRequested)) {
      header = ReportHeader{};
      header.worker = channel.index;
      header.frame = number;
      try {
        const FrameDone done = renderer.render(number, noBar);
        for (const std::string &warning : done.warnings) {
          send(ReportHeader::Warning, warning);
        }
        header.width = done.width;
        header.height = done.height;
        header.seconds = done.seconds;
        send(done.skipped ? ReportHeader::Skipped : ReportHeader::Done);
      } catch (const FrameError &error) {
        send(ReportHeader::Failed, error.what());
      }
    }
  } catch (const RenderStopped &) {
    return 130;
  } catch (const HostError &error) {
    send(ReportHeader::Fatal, error.what());
    return 1;
  } catch (const std::exception &error) {
    send(ReportHeader::Fatal,
         fmt::format("unexpected failure: {}", error.what()));
    return 1;
  }
  return stopRequested ? 130 : 0;
}

RenderOptions::Worker parseWorkerChannel(const std::string &text) {
  RenderOptions::Worker worker;
  char comma1 = 0, comma2 = 0;
  std::istringstream in(text);
  if (!(in >> worker.index >> comma1 >> worker.taskFd >> comma2 >>
        worker.reportFd) ||
      comma1 != ',' || comma2 != ',' || worker.index < 0 || worker.taskFd < 0 ||
      worker.reportFd < 0) {
    throw HostError(fmt::format(
        "--render-worker: expected INDEX,TASKFD,REPORTFD, not \"{}\"", text));
  }
  return worker;
}

}  // namespace lensfall::cli
