#include "cli/farm/farm_commands.h"

#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "cli/farm/farm_job.h"
#include "cli/farm/farm_manager.h"
#include "cli/frame_numbers.h"
#include "cli/scene_commands.h"
#include "host/atomic_write.h"
#include "host/host_error.h"
#include "host/running_program.h"

namespace lensfall::cli {

namespace fs = std::filesystem;
using host::HostError;

namespace {

struct SubmitOptions {
  fs::path input, output;
  std::string frames;
  int chunk = 4;
  std::vector<std::string> settings;
  fs::path scene;
  std::string partition;
  int cpusPerTask = 1;
};

// The program the farm's tasks run: this one, from where it is installed.
fs::path runningProgram() {
  const fs::path self = host::runningProgram();
  if (self.empty()) {
    throw host::HostError(
        "cannot tell where the lensfall program is (/proc/self/exe)");
  }
  return self;
}

// Job ids are looked up in the user's data folder, which a farm's machines
// usually share with the one the shot was submitted from.
fs::path jobIndex() {
  const char *data = std::getenv("XDG_DATA_HOME");
  const char *home = std::getenv("HOME");
  const fs::path base = data != nullptr && *data != '\0' ? fs::path(data)
                        : home != nullptr ? fs::path(home) / ".local" / "share"
                                          : fs::temp_directory_path();
  return base / "lensfall" / "farm";
}

void indexJob(const std::string &id, const FarmJob &job) {
  const fs::path index = jobIndex();
  std::error_code error;
  fs::create_directories(index, error);
  host::writeFileAtomically(index / id, job.recordPath().string() + "\n");
}

// JOB is a job id submitted from here or the path of a job record.
FarmJob findJob(const std::string &job) {
  if (job.find('/') != std::string::npos || fs::is_regular_file(job)) {
    return loadFarmJob(fs::is_directory(job) ? fs::path(job) / "job.json"
                                             : fs::path(job));
  }
  std::ifstream entry(jobIndex() / job);
  std::string record;
  if (!entry || !std::getline(entry, record)) {
    throw HostError(fmt::format(
        "farm job {}: not submitted from this account (no {}); give the path "
        "of its job.json instead",
        job, (jobIndex() / job).string()));
  }
  return loadFarmJob(record);
}

// A folder for the job's files beside the outputs, unique to this
// submission.
fs::path jobFolder(const fs::path &output) {
  std::string stem = output.filename().string();
  stem = stem.substr(0, stem.find('#'));
  while (!stem.empty() && (stem.back() == '.' || stem.back() == '_')) {
    stem.pop_back();
  }
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return output.parent_path() / "lensfall-farm" /
         fmt::format(
             "{}{}{}-{}", stem, stem.empty() ? "" : "-",
             std::chrono::duration_cast<std::chrono::seconds>(now).count(),
             getpid());
}

// Submits `frames` of the job as a new array job, and records it.
void submit(FarmJob &job, const std::vector<int> &frames) {
  Submission submission;
  submission.chunks = chunkFrames(frames, job.chunk);
  submission.script =
      job.folder / fmt::format("submit-{}.sh", job.submissions.size() + 1);
  host::writeFileAtomically(submission.script,
                            batchScript(job, submission, runningProgram()));
  fs::permissions(submission.script, fs::perms::owner_exec,
                  fs::perm_options::add);
  try {
    submission.job = slurm().submit(submission.script);
  } catch (const HostError &error) {
    throw HostError(fmt::format(
        "{}; the script is kept as {}. To render on this machine instead: {}",
        error.what(), submission.script.string(),
        localRenderCommand(job, runningProgram())));
  }
  job.submissions.push_back(submission);
  saveFarmJob(job);
  indexJob(submission.job, job);
  fmt::print("Submitted job {}: frames {} in {} task{} of up to {} frame{}\n",
             submission.job, frameList(frames), submission.chunks.size(),
             submission.chunks.size() == 1 ? "" : "s", job.chunk,
             job.chunk == 1 ? "" : "s");
  fmt::print("  record {}\n", job.recordPath().string());
}

int submitShot(const fs::path &modulePath, const SubmitOptions &options) {
  if (options.chunk < 1) throw HostError("--chunk: expected 1 or more frames");
  if (options.cpusPerTask < 1) {
    throw HostError("--cpus-per-task: expected 1 or more CPUs");
  }
  FarmJob job;
  job.input = fs::absolute(options.input);
  job.output = fs::absolute(options.output);
  const FrameRange range =
      parseFrameRange(options.frames, job.input, job.output);
  if (!range.sequence) {
    throw HostError(fmt::format(
        "{}: a farm renders sequences: put '#' for the frame number in INPUT "
        "and OUTPUT",
        options.input.string()));
  }
  bool any = false;
  for (int frame = range.first; frame <= range.last; ++frame) {
    job.frames.push_back(frame);
    any = any || fs::exists(framePath(job.input, frame));
  }
  if (!any) {
    throw HostError(
        fmt::format("{}: no frame of {} exists (the first would be {})",
                    options.input.string(), options.frames,
                    framePath(job.input, range.first).string()));
  }
  const fs::path outputFolder = job.output.parent_path();
  if (!fs::is_directory(outputFolder)) {
    throw HostError(
        outputFolder.string() +
        ": the output folder does not exist; the tasks write there");
  }
  if (access(outputFolder.c_str(), W_OK) != 0) {
    throw HostError(
        outputFolder.string() +
        ": the output folder is not writable; the tasks write there");
  }
  job.chunk = options.chunk;
  job.cpusPerTask = options.cpusPerTask;
  job.partition = options.partition;
  job.settings = options.settings;
  job.folder = jobFolder(job.output);
  fs::create_directories(job.folder / "logs");
  // The settings are frozen: later edits to the user's scene do not reach
  // the tasks.
  job.scene = job.folder / "settings.json";
  try {
    if (!options.scene.empty()) {
      fs::copy_file(options.scene, job.scene);
    } else {
      CreateOptions defaults;
      defaults.output = job.scene;
      createScene(modulePath, defaults);
    }
  } catch (...) {
    std::error_code ignored;
    fs::remove_all(job.folder, ignored);
    throw;
  }
  submit(job, job.frames);
  return 0;
}

const char *stateName(FrameState state) {
  switch (state) {
    case FrameState::done:
      return "done";
    case FrameState::running:
      return "running";
    case FrameState::queued:
      return "queued";
    case FrameState::failed:
      return "failed";
    case FrameState::missing:
      return "missing";
  }
  return "";
}

std::map<int, FrameState> statesOf(const FarmJob &job) {
  std::vector<std::string> ids;
  for (const Submission &s : job.submissions) ids.push_back(s.job);
  return frameStates(job, slurm().queue(ids));
}

int showStatus(const std::string &jobName) {
  const FarmJob job = findJob(jobName);
  const auto states = statesOf(job);
  std::map<FrameState, std::vector<int>> by;
  for (const auto &[frame, state] : states) by[state].push_back(frame);
  std::string jobs;
  for (const Submission &s : job.submissions) {
    jobs += (jobs.empty() ? "" : ", ") + s.job;
  }
  fmt::print(
      "job {}: {} frames: {} done, {} running, {} queued, {} failed, {} "
      "missing\n",
      jobs, states.size(), by[FrameState::done].size(),
      by[FrameState::running].size(), by[FrameState::queued].size(),
      by[FrameState::failed].size(), by[FrameState::missing].size());
  for (FrameState state : {FrameState::running, FrameState::queued,
                           FrameState::failed, FrameState::missing}) {
    if (by[state].empty()) continue;
    fmt::print("  {}: {}\n", stateName(state), frameList(by[state]));
  }
  if (!by[FrameState::failed].empty()) {
    fmt::print("  the failed tasks' messages are in {}\n",
               (job.folder / "logs").string());
  }
  if (!by[FrameState::failed].empty() || !by[FrameState::missing].empty()) {
    fmt::print("  lensfall farm resubmit {} renders them\n",
               job.submissions.empty() ? jobName : job.submissions.back().job);
  }
  return 0;
}

int resubmit(const std::string &jobName) {
  FarmJob job = findJob(jobName);
  std::vector<int> frames;
  for (const auto &[frame, state] : statesOf(job)) {
    if (state == FrameState::failed || state == FrameState::missing) {
      frames.push_back(frame);
    }
  }
  if (frames.empty()) {
    fmt::print("Nothing to resubmit: every frame is done, running or queued\n");
    return 0;
  }
  submit(job, frames);
  return 0;
}

}  // namespace

void addFarmCommands(CLI::App &app, fs::path &modulePath, int &code) {
  auto *farm = app.add_subcommand(
      "farm",
      "Render a shot on a Slurm farm as an array job, see how far it is, and "
      "submit again what failed or was cancelled");
  farm->require_subcommand(1);

  auto submitOptionsHeld = std::make_shared<SubmitOptions>();
  SubmitOptions &submitOptions = *submitOptionsHeld;
  auto *submitCommand = farm->add_subcommand(
      "submit",
      "Write a batch script and a frozen copy of the settings beside the "
      "outputs, and submit one array task per chunk of frames");
  submitCommand
      ->add_option("input", submitOptions.input,
                   "The frames, with '#' for the frame number")
      ->required();
  submitCommand
      ->add_option("-o,--output", submitOptions.output,
                   "The outputs, with '#'; their folder must be on "
                   "storage every farm machine sees")
      ->required();
  submitCommand->add_option("--frames", submitOptions.frames, "Frame range A-B")
      ->required();
  submitCommand->add_option("--chunk", submitOptions.chunk, "Frames per task")
      ->capture_default_str();
  submitCommand->add_option("--set", submitOptions.settings,
                            "KEY=VALUE, as for render; frozen into the job");
  submitCommand->add_option("--scene", submitOptions.scene,
                            "Scene file whose first Lensfall filter to use; "
                            "copied into the job");
  submitCommand->add_option("--partition", submitOptions.partition,
                            "Slurm partition (default: the cluster's)");
  submitCommand
      ->add_option("--cpus-per-task", submitOptions.cpusPerTask,
                   "CPUs per task; each task renders that many "
                   "frames at once")
      ->capture_default_str();
  submitCommand->callback([&modulePath, &code, submitOptionsHeld] {
    code = submitShot(modulePath, *submitOptionsHeld);
  });

  auto statusJob = std::make_shared<std::string>();
  auto *statusCommand = farm->add_subcommand(
      "status",
      "How many frames of a job are done, running, queued, failed "
      "or missing, and which");
  statusCommand
      ->add_option("job", *statusJob,
                   "Job id, or the path of the job's job.json")
      ->required();
  statusCommand->callback(
      [&code, statusJob] { code = showStatus(*statusJob); });

  auto resubmitJob = std::make_shared<std::string>();
  auto *resubmitCommand = farm->add_subcommand(
      "resubmit",
      "Submit again only the frames of a job that failed or are "
      "missing");
  resubmitCommand
      ->add_option("job", *resubmitJob,
                   "Job id, or the path of the job's job.json")
      ->required();
  resubmitCommand->callback(
      [&code, resubmitJob] { code = resubmit(*resubmitJob); });
}

}  // namespace lensfall::cli
