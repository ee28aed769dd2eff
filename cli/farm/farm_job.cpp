#include "cli/farm/farm_job.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli/frame_numbers.h"
#include "host/atomic_write.h"
#include "host/host_error.h"

namespace lensfall::cli {

namespace fs = std::filesystem;
using nlohmann::json;

std::string spanText(const FrameSpan &span) {
  return span.first == span.last ? std::to_string(span.first)
                                 : fmt::format("{}-{}", span.first, span.last);
}

std::vector<FrameSpan> chunkFrames(std::vector<int> frames, int chunk) {
  std::sort(frames.begin(), frames.end());
  frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
  std::vector<FrameSpan> spans;
  for (int frame : frames) {
    if (!spans.empty() && spans.back().last + 1 == frame &&
        spans.back().last - spans.back().first + 1 < chunk) {
      spans.back().last = frame;
    } else {
      spans.push_back({frame, frame});
    }
  }
  return spans;
}

void saveFarmJob(const FarmJob &job) {
  json submissions = json::array();
  for (const Submission &s : job.submissions) {
    json chunks = json::array();
    for (const FrameSpan &c : s.chunks) chunks.push_back({c.first, c.last});
    submissions.push_back(
        {{"job", s.job}, {"script", s.script.string()}, {"chunks", chunks}});
  }
  const json record = {
      {"input", job.input.string()}, {"output", job.output.string()},
      {"scene", job.scene.string()}, {"settings", job.settings},
      {"partition", job.partition},  {"cpusPerTask", job.cpusPerTask},
      {"chunk", job.chunk},          {"frames", job.frames},
      {"submissions", submissions}};
  host::writeFileAtomically(job.recordPath(), record.dump(2) + "\n");
}

FarmJob loadFarmJob(const fs::path &record) {
  std::ifstream in(record);
  if (!in)
    throw host::HostError(record.string() + ": cannot read the job record");
  try {
    const json j = json::parse(in);
    FarmJob job;
    job.folder = record.parent_path();
    job.input = j.at("input").get<std::string>();
    job.output = j.at("output").get<std::string>();
    job.scene = j.at("scene").get<std::string>();
    job.settings = j.at("settings").get<std::vector<std::string>>();
    job.partition = j.at("partition").get<std::string>();
    job.cpusPerTask = j.at("cpusPerTask").get<int>();
    job.chunk = j.at("chunk").get<int>();
    job.frames = j.at("frames").get<std::vector<int>>();
    for (const json &s : j.at("submissions")) {
      Submission submission;
      submission.job = s.at("job").get<std::string>();
      submission.script = s.at("script").get<std::string>();
      for (const json &c : s.at("chunks")) {
        submission.chunks.push_back({c.at(0).get<int>(), c.at(1).get<int>()});
      }
      job.submissions.push_back(submission);
    }
    return job;
  } catch (const json::exception &error) {
    throw host::HostError(record.string() + ": not a farm job record (" +
                          error.what() + ")");
  }
}

std::string shellQuoted(const std::string &word) {
  const bool plain = !word.empty() &&
                     word.find_first_not_of(
                         "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                         "0123456789_-./=:,+%@") == std::string::npos;
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

namespace {

// The arguments every render of the job takes after its frames.
std::string renderArguments(const FarmJob &job) {
  std::string args = fmt::format("--scene {}", shellQuoted(job.scene.string()));
  for (const std::string &setting : job.settings) {
    args += " --set " + shellQuoted(setting);
  }
  return args;
}

}  // namespace

std::string batchScript(const FarmJob &job, const Submission &submission,
                        const fs::path &lensfall) {
  std::ostringstream s;
  s << "#!/bin/bash\n"
    << "# Lensfall farm job: renders " << job.input.string() << "\n"
    << "# to " << job.output.string() << ", frames " << frameList(job.frames)
    << ",\n"
    << "# with the settings frozen in " << job.scene.string() << ".\n"
    << "# One array task per chunk; submit again with: sbatch "
    << shellQuoted(submission.script.string()) << "\n";
  s << "#SBATCH --job-name=lensfall\n"
    << "#SBATCH --array=0-" << submission.chunks.size() - 1 << "\n"
    << "#SBATCH --cpus-per-task=" << job.cpusPerTask << "\n"
    << "#SBATCH --output=" << (job.folder / "logs" / "%A_%a.log").string()
    << "\n";
  if (!job.partition.empty()) {
    s << "#SBATCH --partition=" << job.partition << "\n";
  }
  s << "set -u\n"
    << "chunks=(";
  for (std::size_t i = 0; i < submission.chunks.size(); ++i) {
    s << (i > 0 ? " " : "") << spanText(submission.chunks[i]);
  }
  s << ")\n"
    << "frames=${chunks[$SLURM_ARRAY_TASK_ID]}\n"
    << "# Frames already written are left as they are, so a task that runs\n"
    << "# again only renders what is missing.\n"
    << shellQuoted(lensfall.string()) << " render "
    << shellQuoted(job.input.string()) << " -o "
    << shellQuoted(job.output.string()) << " --frames \"$frames\" "
    << renderArguments(job)
    << " --skip-existing --jobs \"${SLURM_CPUS_PER_TASK:-1}\"\n"
    << "status=$?\n"
    << "echo \"$SLURM_ARRAY_JOB_ID $SLURM_ARRAY_TASK_ID $status\" >> "
    << shellQuoted(job.endedPath().string()) << "\n"
    << "exit $status\n";
  return s.str();
}

std::map<int, FrameState> frameStates(const FarmJob &job,
                                      const std::vector<QueuedTask> &queue) {
  // Tasks that ended, and with which status: the last note of each wins.
  std::map<std::pair<std::string, int>, int> ended;
  std::ifstream notes(job.endedPath());
  std::string noteJob;
  int task = 0, status = 0;
  while (notes >> noteJob >> task >> status) ended[{noteJob, task}] = status;

  std::map<int, FrameState> states;
  for (int frame : job.frames) {
    states[frame] = fs::exists(framePath(job.output, frame))
                        ? FrameState::done
                        : FrameState::missing;
  }
  for (const Submission &submission : job.submissions) {
    for (std::size_t i = 0; i < submission.chunks.size(); ++i) {
      const FrameSpan span = submission.chunks[i];
      FrameState state = FrameState::missing;
      for (const QueuedTask &queued : queue) {
        if (queued.job == submission.job && queued.task == int(i)) {
          state = queued.running ? FrameState::running : FrameState::queued;
        }
      }
      const auto note = ended.find({submission.job, int(i)});
      if (state == FrameState::missing && note != ended.end() &&
          note->second != 0) {
        state = FrameState::failed;
      }
      for (int frame = span.first; frame <= span.last; ++frame) {
        auto found = states.find(frame);
        if (found == states.end() || found->second == FrameState::done) {
          continue;
        }
        // A later submission's word on a frame replaces an earlier one's.
        if (state != FrameState::missing ||
            found->second != FrameState::failed) {
          found->second = state;
        }
      }
    }
  }
  return states;
}

std::string localRenderCommand(const FarmJob &job, const fs::path &lensfall) {
  const int first = job.frames.front(), last = job.frames.back();
  return fmt::format(
      "{} render {} -o {} --frames {}-{} {} --skip-existing",
      shellQuoted(lensfall.string()), shellQuoted(job.input.string()),
      shellQuoted(job.output.string()), first, last, renderArguments(job));
}

}  // namespace lensfall::cli
