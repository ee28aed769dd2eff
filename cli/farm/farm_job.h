// A shot rendered on a farm: "render frames A-B of this shot with these
// settings", the chunks it is cut into, and the submissions made for it. Only
// the submission itself depends on the farm manager (farm_manager.h).
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace lensfall::cli {

// Frames first .. last, rendered by one task with one `lensfall render`.
struct FrameSpan {
  int first = 0, last = 0;
  bool operator==(const FrameSpan &) const = default;
};

// "12" or "12-15", as --frames takes it.
std::string spanText(const FrameSpan &span);

// The frames, sorted and without repeats, as runs of consecutive frames of
// at most `chunk` frames each.
std::vector<FrameSpan> chunkFrames(std::vector<int> frames, int chunk);

struct Submission {
  std::string job;  // the farm manager's job id
  std::filesystem::path script;
  std::vector<FrameSpan> chunks;  // task i renders chunks[i]
};

struct FarmJob {
  std::filesystem::path input, output;  // absolute '#' patterns
  std::filesystem::path folder;       // the job's files: script, settings, logs
  std::filesystem::path scene;        // the frozen settings, inside folder
  std::vector<std::string> settings;  // --set values, frozen in the script
  std::string partition;              // empty: the farm's default
  int cpusPerTask = 1;
  int chunk = 4;
  std::vector<int> frames;  // the shot's frames
  std::vector<Submission> submissions;

  std::filesystem::path recordPath() const { return folder / "job.json"; }
  // Where each task notes "JOB TASK STATUS" when its render has ended.
  std::filesystem::path endedPath() const { return folder / "ended.txt"; }
};

// The job record, written atomically; throws HostError naming the file.
void saveFarmJob(const FarmJob &job);
FarmJob loadFarmJob(const std::filesystem::path &record);

// The batch script of one submission: an array job of one task per chunk,
// each running `lensfall render` on its frames with the frozen settings,
// --skip-existing and as many jobs as CPUs it was given. It can be run again
// by hand with sbatch.
std::string batchScript(const FarmJob &job, const Submission &submission,
                        const std::filesystem::path &lensfall);

// A task as the farm manager's queue shows it.
struct QueuedTask {
  std::string job;
  int task = 0;
  bool running = false;  // false: pending
};

enum class FrameState { done, running, queued, failed, missing };

// Each frame's state: done when its output exists; running or queued while
// a task that renders it is in the queue; failed when its task ended with a
// non-zero status and left no output; missing otherwise (never submitted, or
// its task was cancelled or killed).
std::map<int, FrameState> frameStates(const FarmJob &job,
                                      const std::vector<QueuedTask> &queue);

// The `lensfall render` line that renders the job's frames on this machine.
std::string localRenderCommand(const FarmJob &job,
                               const std::filesystem::path &lensfall);

// A word for a shell, in single quotes where it needs them.
std::string shellQuoted(const std::string &word);

}  // namespace lensfall::cli
