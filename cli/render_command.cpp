#include "cli/render_command.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string_view>
#include <thread>

#include "cli/instance_settings.h"
#include "host/frame.h"
#include "host/frame_io.h"
#include "host/host_error.h"
#include "host/path_format.h"
#include "host/session.h"
#include "host/sidecar.h"

namespace lensfall::cli {

namespace {

using host::HostError;

// A problem of one frame only (its input cannot be read or has no depth, its
// output cannot be written): the other frames of a sequence can still be
// rendered. Any other HostError is one every frame would have.
class FrameError : public HostError {
 public:
  using HostError::HostError;
};

std::atomic<bool> stopRequested{false};

void requestStop(int) { stopRequested = true; }

// Ctrl-C asks the module to stop through its monitor, for as long as a
// render runs. In this process a second Ctrl-C ends the program the usual
// way. A worker process keeps asking to stop on every SIGINT instead: from a
// terminal it gets each Ctrl-C twice, once from the terminal and once
// forwarded by its parent, and it is the parent that ends the workers on a
// second Ctrl-C. Without SA_RESTART, a worker waiting for its next frame
// wakes up at once.
class InterruptGuard {
 public:
  enum class Second { EndsProgram, AsksAgain };

  explicit InterruptGuard(Second second) {
    stopRequested = false;
    struct sigaction action {};
    action.sa_handler = requestStop;
    action.sa_flags = second == Second::EndsProgram ? SA_RESETHAND : 0;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptGuard() { sigaction(SIGINT, &previous_, nullptr); }
  InterruptGuard(const InterruptGuard &) = delete;
  InterruptGuard &operator=(const InterruptGuard &) = delete;

 private:
  struct sigaction previous_ {};
};

nlohmann::json readJson(const std::filesystem::path &path) {
  std::ifstream in(path);
  if (!in) throw HostError(fmt::format("{}: cannot open", path));
  try {
    return nlohmann::json::parse(in);
  } catch (const nlohmann::json::exception &error) {
    throw HostError(fmt::format("{}: not valid JSON: {}", path, error.what()));
  }
}

host::DepthMeasure measureFrom(const std::string &flag,
                               const std::string &sidecarMeasure) {
  if (flag == "distance") return host::DepthMeasure::Distance;
  if (flag == "planar") return host::DepthMeasure::Planar;
  if (!flag.empty()) {
    throw HostError(fmt::format(
        "--depth-measure: expected planar or distance, not \"{}\"", flag));
  }
  return sidecarMeasure.find("planar") != std::string::npos
             ? host::DepthMeasure::Planar
             : host::DepthMeasure::Distance;
}

std::pair<int, int> frameRange(const RenderOptions &options) {
  const bool pattern = options.input.string().find('#') != std::string::npos;
  if (options.frames.empty()) {
    if (pattern) {
      throw HostError(
          fmt::format("{}: a '#' pattern needs --frames A-B", options.input));
    }
    return {0, 0};
  }
  int first = 0, last = 0;
  char dash = 0;
  std::istringstream in(options.frames);
  if (!(in >> first) || (in >> dash && (dash != '-' || !(in >> last)))) {
    throw HostError(
        fmt::format("--frames: expected A-B, not \"{}\"", options.frames));
  }
  if (dash == 0) last = first;
  if (last < first) {
    throw HostError(
        fmt::format("--frames {}: the range is empty", options.frames));
  }
  if (!pattern) {
    throw HostError("--frames needs '#' in INPUT and OUTPUT for the number");
  }
  return {first, last};
}

// Settings whose value names a file: an aperture image given by its file is
// added to the scene under the file's name.
std::string resolveImageSetting(const std::string &setting,
                                host::Scene &scene) {
  if (setting.rfind("image=", 0) != 0) return setting;
  const std::string value = setting.substr(6);
  if (value.empty() || value == "(none)" ||
      scene.imageNamed(value) != nullptr) {
    return setting;
  }
  const std::filesystem::path file(value);
  if (!std::filesystem::exists(file)) {
    throw HostError(fmt::format(
        "image: \"{}\" is neither an image of the scene nor a file", value));
  }
  const std::string name = file.stem().string();
  if (scene.imageNamed(name) == nullptr) scene.addImage(name, {file});
  return "image=" + name;
}

void cameraFromFlags(const CameraFlags &flags, int width, int height,
                     host::Scene &scene) {
  HostCameraLens lens;
  lens.focalLengthMm = flags.focalLengthMm;
  lens.horizontalFov =
      2.0 * std::atan(flags.sensorWidthMm / 2.0 / flags.focalLengthMm);
  lens.verticalFov =
      2.0 * std::atan(std::tan(lens.horizontalFov / 2.0) * height / width);
  lens.focalDistance = flags.focusDistance;
  scene.setCamera(lens, {0.0, 0.0, 0.0});
}

class ProgressBar {
 public:
  explicit ProgressBar(bool shown) : shown_(shown) {}
  void operator()(int steps, unsigned int total) {
    if (!shown_) return;
    const double fraction =
        total > 0 ? std::min(1.0, double(steps) / total) : 1.0;
    const int filled = int(fraction * 40);
    if (filled == last_) return;
    last_ = filled;
    fmt::print(stderr, "\r[{:<40}] {:3d} %", std::string(size_t(filled), '#'),
               int(fraction * 100));
  }
  void finish() {
    if (shown_ && last_ >= 0) fmt::print(stderr, "\n");
    last_ = -1;
  }

 private:
  bool shown_;
  int last_ = -1;
};

// What was written for one frame.
struct FrameDone {
  std::filesystem::path input;
  std::filesystem::path output;
  int width = 0;
  int height = 0;
  double seconds = 0.0;
};

// The module loaded in a session with the scene, camera and filter instance
// the options describe; renders frames one at a time. The in-process path
// and every worker process render through this same code.
class FrameRenderer {
 public:
  FrameRenderer(const std::filesystem::path &modulePath,
                const RenderOptions &options, int firstFrame, bool sequence)
      : options_(options), sequence_(sequence), session_(modulePath) {
    const std::filesystem::path firstInput =
        framePath(options.input, firstFrame);
    host::Scene &scene = session_.scene();
    std::optional<std::filesystem::path> sidecar = options.camera;
    if (!sidecar) {
      auto guess = firstInput;
      guess.replace_extension(".json");
      if (std::filesystem::exists(guess)) sidecar = guess;
    }
    if (sidecar) {
      const nlohmann::json json = readJson(*sidecar);
      if (json.contains("exr_channels") && json["exr_channels"].is_object()) {
        const auto &names = json["exr_channels"];
        channels_ = {names.value("R", ""), names.value("G", ""),
                     names.value("B", ""), names.value("A", ""),
                     names.value("Z", "")};
      }
      if (json.contains("depth") && json["depth"].is_object()) {
        sidecarMeasure_ = json["depth"].value("measures", "");
      }
    }
    if (!options.depthChannel.empty()) channels_.depth = options.depthChannel;
    if (options.depth) channels_.depth.clear();

    if (options.scene) {
      session_.openScene(*options.scene);
      if (session_.instances().empty()) {
        throw HostError(fmt::format("{}: the scene has no Lensfall filter",
                                    *options.scene));
      }
    } else if (sidecar) {
      try {
        host::sceneFromSidecar(readJson(*sidecar), scene);
      } catch (const HostError &error) {
        throw HostError(fmt::format("{}: {}", *sidecar, error.what()));
      }
    } else if (options.cameraFlags.focalLengthMm <= 0.0) {
      throw HostError(fmt::format(
          "{}: no camera for this frame: give --camera with the frame's JSON "
          "sidecar, --scene, or --focal-length (looked for {})",
          firstInput,
          std::filesystem::path(firstInput).replace_extension(".json")));
    }

    instance_ = options.scene ? session_.instances().front()
                              : session_.filter().create();
    for (const std::string &setting : options.settings) {
      settings_.push_back(resolveImageSetting(setting, scene));
    }
    settingsPending_ = !options.scene || !settings_.empty();
  }

  // Renders frame `number` and writes its output. Throws FrameError for a
  // problem of this frame, HostError for one every frame would have, and
  // RenderStopped when asked to stop (nothing is written then).
  FrameDone render(int number, ProgressBar &progress) {
    host::Scene &scene = session_.scene();
    host::FrameSource source;
    source.image = framePath(options_.input, number);
    source.depthImage = options_.depth;
    if (options_.depth) source.depthImage = framePath(*options_.depth, number);
    source.channels = channels_;
    if (source.image.extension() != ".exr" && !options_.depth) {
      source.channels.depth.clear();
    }
    host::Frame frame;
    try {
      frame = host::readFrame(source);
    } catch (const HostError &error) {
      throw FrameError(error.what());
    }
    if (!scene.camera) {
      cameraFromFlags(options_.cameraFlags, frame.width, frame.height, scene);
    }
    source.depthMeasure = measureFrom(options_.depthMeasure, sidecarMeasure_);
    if (!frame.depth.empty() &&
        source.depthMeasure == host::DepthMeasure::Planar) {
      host::planarToDistance(frame, scene.camera->lens.horizontalFov,
                             scene.camera->lens.verticalFov);
    }
    scene.width = frame.width;
    scene.height = frame.height;
    if (sequence_) scene.frame = number;
    session_.services().sceneChanged();
    // The settings go in with the first frame that could be read, once the
    // scene has its frame size.
    if (settingsPending_) {
      nlohmann::json data = session_.filter().save(instance_);
      for (const std::string &setting : settings_) {
        applySetting(data, setting, scene);
      }
      session_.filter().load(instance_, data);
      settingsPending_ = false;
    }
    const bool usesDepth = session_.filter().save(instance_)[7] != 0;
    if (frame.depth.empty() && usesDepth) {
      throw FrameError(fmt::format(
          "{}: the frame has no depth; give --depth FILE, name the channel "
          "with --depth-channel, or --set use-depth=off",
          source.image));
    }

    host::ProcessOptions process;
    process.frameNumber = scene.frame;
    process.stopRequested = &stopRequested;
    process.onStep = [&](int steps, unsigned int total) {
      progress(steps, total);
    };
    const auto started = std::chrono::steady_clock::now();
    host::ProcessReport report;
    try {
      report = host::processFrame(session_.filter(), instance_, frame, process);
    } catch (const HostError &error) {
      progress.finish();
      throw FrameError(fmt::format("{}: {}", source.image, error.what()));
    }
    progress.finish();
    const double seconds = std::chrono::duration<double>(
                               std::chrono::steady_clock::now() - started)
                               .count();
    const std::filesystem::path output = framePath(options_.output, number);
    if (report.stopped) throw RenderStopped{};
    if (report.rgbWrites == 0) {
      throw FrameError(fmt::format(
          "the filter wrote no pixels for {}; nothing was written to {}",
          source.image, output));
    }
    try {
      host::writeFrameOutput(frame, output);
    } catch (const HostError &error) {
      throw FrameError(error.what());
    }
    return {source.image, output, frame.width, frame.height, seconds};
  }

 private:
  const RenderOptions &options_;
  bool sequence_;
  host::Session session_;
  host::ChannelNames channels_;
  std::string sidecarMeasure_;
  HostInstance instance_{};
  std::vector<std::string> settings_;
  bool settingsPending_ = false;
};

// "3, 7, 12": the frames in order, the first twenty of them.
std::string frameList(std::vector<int> frames) {
  std::sort(frames.begin(), frames.end());
  std::string text;
  for (size_t k = 0; k < frames.size() && k < 20; ++k) {
    text += fmt::format("{}{}", k == 0 ? "" : ", ", frames[k]);
  }
  if (frames.size() > 20) text += ", ...";
  return text;
}

void reportUnwritten(int unwritten, int total, const std::vector<int> &failed) {
  fmt::print(stderr, "lensfall: {} of {} frames were not written{}\n",
             unwritten, total,
             failed.empty() ? "" : "; failed: " + frameList(failed));
}

// --jobs 1, or a single frame: every frame in this process, in order.
int renderInProcess(const std::filesystem::path &modulePath,
                    const RenderOptions &options, int firstFrame, int lastFrame,
                    bool sequence) {
  FrameRenderer renderer(modulePath, options, firstFrame, sequence);
  InterruptGuard interrupts(InterruptGuard::Second::EndsProgram);
  ProgressBar progress(!options.quiet && isatty(STDERR_FILENO));
  std::vector<int> failed;
  for (int number = firstFrame; number <= lastFrame; ++number) {
    try {
      const FrameDone done = renderer.render(number, progress);
      if (!options.quiet) {
        fmt::print("{} -> {} ({} x {}, {:.2f} s)\n", done.input, done.output,
                   done.width, done.height, done.seconds);
      }
    } catch (const FrameError &error) {
      fmt::print(stderr, "lensfall: {}\n", error.what());
      failed.push_back(number);
    } catch (const RenderStopped &) {
      fmt::print(stderr, "lensfall: stopped; {} was not written\n",
                 framePath(options.output, number));
      throw;
    }
  }
  if (failed.empty()) return 0;
  if (sequence) {
    reportUnwritten(int(failed.size()), lastFrame - firstFrame + 1, failed);
  }
  return 1;
}

// Several frames at once, in worker processes.
//
// The parent starts each worker by running this program again
// (/proc/self/exe) with the user's own arguments and --render-worker in
// front; it does not fork a copy of itself and carry on in it. A library the
// program links starts threads of its own before main(), so a forked copy
// would hold the state of threads it does not have (and hangs in that
// library's exit handlers); a fresh process has none of that, and parses the
// same arguments so every option reaches the workers without a list to keep
// up to date. A worker loads the module and the scene once and renders
// frame after frame. The parent hands out the next frame to whichever worker
// is free, so a slow frame holds up only its own worker, and is the only one
// to print: progress and error messages never mix.
//
// Parent to worker, one pipe per worker: frame numbers as int32; the end of
// the pipe means no more frames. Worker to parent, one shared pipe: reports.

// One report: a header and the message, in a single write() of at most
// PIPE_BUF bytes, which a pipe never interleaves with another worker's.
struct ReportHeader {
  enum Kind : std::int32_t {
    Ready,   // set up; waiting for a frame
    Done,    // the frame was written
    Failed,  // the frame could not be rendered (message); ready for the next
    Fatal,   // the worker cannot go on (message); it exits
  };
  Kind kind = Ready;
  std::int32_t worker = 0;
  std::int32_t frame = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint32_t messageSize = 0;
  double seconds = 0.0;
};
constexpr size_t kMaxMessage = PIPE_BUF - sizeof(ReportHeader);

struct Report {
  ReportHeader header;
  std::string message;
};

bool writeAll(int fd, const void *data, size_t size) {
  const char *bytes = static_cast<const char *>(data);
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= size_t(n);
  }
  return true;
}

// Reads exactly `size` bytes; false at the end of the pipe.
bool readAll(int fd, void *data, size_t size) {
  char *bytes = static_cast<char *>(data);
  while (size > 0) {
    const ssize_t n = read(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= size_t(n);
  }
  return true;
}

bool sendReport(int fd, ReportHeader header, std::string_view message = {}) {
  if (message.size() > kMaxMessage) message = message.substr(0, kMaxMessage);
  header.messageSize = std::uint32_t(message.size());
  char buffer[PIPE_BUF];
  std::memcpy(buffer, &header, sizeof header);
  if (!message.empty()) {
    std::memcpy(buffer + sizeof header, message.data(), message.size());
  }
  return writeAll(fd, buffer, sizeof header + message.size());
}

bool readReport(int fd, Report &report) {
  if (!readAll(fd, &report.header, sizeof report.header)) return false;
  report.message.resize(
      std::min<size_t>(report.header.messageSize, kMaxMessage));
  return readAll(fd, report.message.data(), report.message.size());
}

// The next frame from the parent; false when there are none left or this
// worker is asked to stop.
bool readTask(int fd, int &frame) {
  std::int32_t number = 0;
  char *bytes = reinterpret_cast<char *>(&number);
  size_t got = 0;
  while (got < sizeof number) {
    const ssize_t n = read(fd, bytes + got, sizeof number - got);
    if (n < 0 && errno == EINTR) {
      if (stopRequested) return false;
      continue;
    }
    if (n <= 0) return false;
    got += size_t(n);
  }
  frame = number;
  return true;
}

// A worker process: sets up once, then renders the frames it is sent.
// Returns its exit status: 0, 1 (it could not go on) or 130 (stopped).
int serveFrames(const std::filesystem::path &modulePath,
                const RenderOptions &options, int firstFrame, bool sequence) {
  const RenderOptions::Worker &channel = *options.worker;
  InterruptGuard interrupts(InterruptGuard::Second::AsksAgain);
  // The parent starts workers with SIGINT blocked so that none is lost;
  // from here on it is handled.
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  sigprocmask(SIG_UNBLOCK, &interrupt, nullptr);
  std::signal(SIGPIPE, SIG_IGN);  // a lost parent shows as a failed write

  ReportHeader header;
  header.worker = channel.index;
  auto send = [&](ReportHeader::Kind kind, std::string_view message = {}) {
    header.kind = kind;
    if (!sendReport(channel.reportFd, header, message)) stopRequested = true;
  };
  try {
    FrameRenderer renderer(modulePath, options, firstFrame, sequence);
    ProgressBar noBar(false);
    send(ReportHeader::Ready);
    int number = 0;
    while (!stopRequested && readTask(channel.taskFd, number)) {
      header = ReportHeader{};
      header.worker = channel.index;
      header.frame = number;
      try {
        const FrameDone done = renderer.render(number, noBar);
        header.width = done.width;
        header.height = done.height;
        header.seconds = done.seconds;
        send(ReportHeader::Done);
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

// The workers a SIGINT to the parent is forwarded to; 0 once reaped.
std::atomic<pid_t> *interruptTargets = nullptr;
std::atomic<size_t> interruptTargetCount{0};
volatile std::sig_atomic_t parentInterrupted = 0;

// The first Ctrl-C asks every worker to stop (a terminal sends it to them
// too, but not when only the parent is signalled); a second ends the
// workers, then the parent the usual way.
void forwardInterrupt(int) {
  const int savedErrno = errno;
  const bool first = parentInterrupted == 0;
  parentInterrupted = 1;
  const size_t count = interruptTargetCount.load();
  for (size_t k = 0; k < count; ++k) {
    const pid_t pid = interruptTargets[k].load();
    if (pid > 0) kill(pid, first ? SIGINT : SIGKILL);
  }
  if (!first) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    raise(SIGINT);
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    sigprocmask(SIG_UNBLOCK, &interrupt, nullptr);  // delivered now
  }
  errno = savedErrno;
}

// Waits for a worker with SIGINT deliverable, then reaps it. Its pid leaves
// the forwarding list before it is reaped, so a late Ctrl-C never reaches a
// process that took over the pid.
int reapWorker(size_t k, const sigset_t &unblocked) {
  const pid_t pid = interruptTargets[k].load();
  sigset_t blocked;
  sigprocmask(SIG_SETMASK, &unblocked, &blocked);
  siginfo_t info{};
  while (waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) != 0 &&
         errno == EINTR) {
  }
  sigprocmask(SIG_SETMASK, &blocked, nullptr);
  interruptTargets[k] = 0;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

int renderInWorkers(const RenderOptions &options, int firstFrame, int lastFrame,
                    int workers) {
  const int total = lastFrame - firstFrame + 1;
  int reportPipe[2];
  if (pipe2(reportPipe, O_CLOEXEC) != 0) {
    throw HostError(
        fmt::format("cannot start worker processes: {}", std::strerror(errno)));
  }

  // SIGINT stays blocked in the parent except while it waits for reports,
  // so it is seen between two reports and never missed; the workers start
  // with it blocked too and unblock it once their handler is in place.
  sigset_t interrupt, unblocked;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  sigprocmask(SIG_BLOCK, &interrupt, &unblocked);
  std::unique_ptr<std::atomic<pid_t>[]> pids(
      new std::atomic<pid_t>[size_t(workers)]);
  parentInterrupted = 0;
  interruptTargets = pids.get();
  interruptTargetCount = 0;
  struct sigaction forward {};
  struct sigaction previousInterrupt {};
  forward.sa_handler = forwardInterrupt;
  sigemptyset(&forward.sa_mask);
  sigaction(SIGINT, &forward, &previousInterrupt);
  std::fflush(nullptr);

  std::vector<int> tasks;  // write ends; -1 once closed
  const pid_t parent = getpid();
  int startError = 0;  // errno of a worker that could not be started
  for (int k = 0; k < workers; ++k) {
    int taskPipe[2];
    if (pipe2(taskPipe, O_CLOEXEC) != 0) {
      startError = errno;
      break;
    }
    // Everything the child needs is made before fork(): after it, the
    // child only calls functions that are safe there, up to execv().
    std::vector<std::string> arguments = {
        "lensfall", "--render-worker",
        fmt::format("{},{},{}", k, taskPipe[0], reportPipe[1])};
    arguments.insert(arguments.end(), options.commandLine.begin(),
                     options.commandLine.end());
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      fcntl(taskPipe[0], F_SETFD, 0);
      fcntl(reportPipe[1], F_SETFD, 0);
#ifdef __linux__
      // A parent that dies stops its workers the same way as Ctrl-C.
      prctl(PR_SET_PDEATHSIG, SIGINT);
#endif
      if (getppid() != parent) _exit(130);
      execv("/proc/self/exe", argv.data());
      static const char message[] = "lensfall: cannot start a worker process\n";
      [[maybe_unused]] const ssize_t ignored =
          write(STDERR_FILENO, message, sizeof message - 1);
      _exit(127);
    }
    if (pid < 0) startError = errno;
    close(taskPipe[0]);
    if (pid < 0) {
      close(taskPipe[1]);
      break;
    }
    pids[size_t(k)] = pid;
    interruptTargetCount = size_t(k) + 1;
    tasks.push_back(taskPipe[1]);
  }
  close(reportPipe[1]);
  const int started = int(tasks.size());
  if (started < workers) {
    const char *error = std::strerror(startError);
    if (started == 0) {
      close(reportPipe[0]);
      interruptTargets = nullptr;
      sigaction(SIGINT, &previousInterrupt, nullptr);
      sigprocmask(SIG_SETMASK, &unblocked, nullptr);
      throw HostError(fmt::format("cannot start worker processes: {}", error));
    }
    fmt::print(stderr,
               "lensfall: started {} of {} worker processes ({}); they render "
               "all the frames\n",
               started, workers, error);
  }
  // A worker that died shows as a failed write, not as SIGPIPE here.
  struct sigaction ignore {};
  struct sigaction previousPipe {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &previousPipe);

  std::deque<int> pending;
  for (int number = firstFrame; number <= lastFrame; ++number) {
    pending.push_back(number);
  }
  std::vector<int> inFlight(size_t(started), 0);  // while busy
  std::vector<bool> busy(size_t(started), false);
  std::vector<bool> reportedFatal(size_t(started), false);
  std::vector<int> failed;
  std::set<std::string> shownErrors;
  bool stopping = false, workerFailed = false;
  int finished = 0, written = 0;

  auto closeTasks = [&](size_t k) {
    if (tasks[k] >= 0) close(tasks[k]);
    tasks[k] = -1;
  };
  // Gives worker k its next frame, or tells it there are none.
  auto dispatch = [&](size_t k) {
    busy[k] = false;
    while (!stopping && !pending.empty() && tasks[k] >= 0) {
      const std::int32_t number = pending.front();
      if (writeAll(tasks[k], &number, sizeof number)) {
        pending.pop_front();
        inFlight[k] = number;
        busy[k] = true;
        return;
      }
      closeTasks(k);  // the worker is gone; the frame waits for another
    }
    closeTasks(k);
  };

  Report report;
  for (;;) {
    pollfd reports{reportPipe[0], POLLIN, 0};
    const int ready = ppoll(&reports, 1, nullptr, &unblocked);
    if (parentInterrupted != 0 && !stopping) {
      stopping = true;
      for (size_t k = 0; k < tasks.size(); ++k) closeTasks(k);
    }
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || !readReport(reportPipe[0], report)) break;
    const ReportHeader &header = report.header;
    if (header.worker < 0 || header.worker >= started) continue;
    const auto k = size_t(header.worker);
    switch (header.kind) {
      case ReportHeader::Ready:
        break;
      case ReportHeader::Done:
        ++finished;
        ++written;
        if (!options.quiet) {
          fmt::print("frame {} done ({}/{}): {} -> {} ({} x {}, {:.2f} s)\n",
                     header.frame, finished, total,
                     framePath(options.input, header.frame),
                     framePath(options.output, header.frame), header.width,
                     header.height, header.seconds);
          std::fflush(stdout);
        }
        break;
      case ReportHeader::Failed:
        ++finished;
        failed.push_back(header.frame);
        fmt::print(stderr, "lensfall: {}\n", report.message);
        if (!options.quiet) {
          fmt::print("frame {} failed ({}/{})\n", header.frame, finished,
                     total);
          std::fflush(stdout);
        }
        break;
      case ReportHeader::Fatal:
        // Workers share their set-up, so they tend to fail alike.
        if (shownErrors.insert(report.message).second) {
          fmt::print(stderr, "lensfall: {}\n", report.message);
        }
        workerFailed = true;
        reportedFatal[k] = true;
        busy[k] = false;
        closeTasks(k);
        continue;
    }
    dispatch(k);
  }
  close(reportPipe[0]);
  for (size_t k = 0; k < tasks.size(); ++k) closeTasks(k);

  bool stopped = parentInterrupted != 0;
  for (int k = 0; k < started; ++k) {
    const int status = reapWorker(size_t(k), unblocked);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (code == 130 || signal == SIGINT) {
      stopped = true;
      continue;
    }
    if (code == 0) continue;
    workerFailed = true;
    if (reportedFatal[size_t(k)]) continue;  // its message is out already
    // Ended without saying why (a crash): name the frame it had.
    const std::string how =
        code > 0
            ? fmt::format("exited with status {}", code)
            : fmt::format("ended by signal {} ({})", signal, strsignal(signal));
    if (busy[size_t(k)]) {
      const int number = inFlight[size_t(k)];
      failed.push_back(number);
      fmt::print(stderr, "lensfall: {}: the worker process rendering it {}\n",
                 framePath(options.input, number), how);
    } else {
      fmt::print(stderr, "lensfall: a worker process {}\n", how);
    }
  }
  interruptTargetCount = 0;
  interruptTargets = nullptr;
  sigaction(SIGPIPE, &previousPipe, nullptr);
  sigaction(SIGINT, &previousInterrupt, nullptr);
  sigprocmask(SIG_SETMASK, &unblocked, nullptr);

  const int unwritten = total - written;
  if (stopped && unwritten > 0) {
    fmt::print(stderr, "lensfall: stopped; {} of {} frames were not written\n",
               unwritten, total);
    throw RenderStopped{};
  }
  if (unwritten > 0) reportUnwritten(unwritten, total, failed);
  return unwritten > 0 || workerFailed ? 1 : 0;
}

}  // namespace

std::filesystem::path framePath(const std::filesystem::path &pattern,
                                int frame) {
  std::string text = pattern.string();
  const size_t first = text.find('#');
  if (first == std::string::npos) return pattern;
  const size_t last = text.find_first_not_of('#', first);
  const size_t width = (last == std::string::npos ? text.size() : last) - first;
  text.replace(first, width, fmt::format("{:0{}d}", frame, width));
  return text;
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

int defaultJobs() {
  return int(std::max(1u, std::thread::hardware_concurrency()));
}

int renderFrames(const std::filesystem::path &modulePath,
                 const RenderOptions &options) {
  if (options.jobs && *options.jobs < 1) {
    throw HostError(fmt::format(
        "--jobs {}: give the number of frames to render at once, 1 or more",
        *options.jobs));
  }
  const auto [firstFrame, lastFrame] = frameRange(options);
  const bool sequence = options.input.string().find('#') != std::string::npos;
  if (sequence && options.output.string().find('#') == std::string::npos) {
    throw HostError(
        fmt::format("{}: a sequence needs '#' in OUTPUT for the frame number",
                    options.output));
  }
  measureFrom(options.depthMeasure, "");  // a bad flag fails before any frame
  if (options.worker) {
    return serveFrames(modulePath, options, firstFrame, sequence);
  }

  const int frames = lastFrame - firstFrame + 1;
  const int workers = std::min(options.jobs.value_or(defaultJobs()), frames);
  if (workers <= 1) {
    return renderInProcess(modulePath, options, firstFrame, lastFrame,
                           sequence);
  }
  return renderInWorkers(options, firstFrame, lastFrame, workers);
}

}  // namespace lensfall::cli
