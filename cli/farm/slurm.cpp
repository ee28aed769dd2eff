#include <fmt/format.h>

#include <sstream>

#include "cli/farm/farm_manager.h"
#include "cli/farm/subprocess.h"
#include "host/host_error.h"

namespace lensfall::cli {

namespace fs = std::filesystem;

namespace {

std::string submitToSlurm(const fs::path &script) {
  const ProgramResult result =
      runProgram({"sbatch", "--parsable", script.string()});
  if (!result.started) {
    throw host::HostError(
        "sbatch was not found on PATH: Slurm is not installed on this machine");
  }
  if (result.status != 0) {
    const std::string reason = firstLine(result.err);
    throw host::HostError(
        fmt::format("sbatch could not submit {}: {}", script.string(),
                    reason.empty() ? "no reason given" : reason));
  }
  // --parsable prints "JOBID" or "JOBID;CLUSTER".
  const std::string id = firstLine(result.out);
  return id.substr(0, id.find(';'));
}

std::vector<QueuedTask> slurmQueue(const std::vector<std::string> &jobs) {
  if (jobs.empty()) return {};
  std::string list;
  for (const std::string &job : jobs) list += (list.empty() ? "" : ",") + job;
  const ProgramResult result =
      runProgram({"squeue", "-h", "-r", "-j", list, "-o", "%F %K %t"});
  if (!result.started) {
    throw host::HostError(
        "squeue was not found on PATH: Slurm is not installed on this machine");
  }
  // squeue refuses ids it no longer knows; then none of them is queued.
  if (result.status != 0) {
    if (result.err.find("Invalid job id") != std::string::npos) return {};
    throw host::HostError("squeue: " + firstLine(result.err));
  }
  return parseSqueue(result.out);
}

}  // namespace

std::vector<QueuedTask> parseSqueue(const std::string &text) {
  std::vector<QueuedTask> tasks;
  std::istringstream lines(text);
  std::string job, task, state;
  while (lines >> job >> task >> state) {
    // A task id of N/A is a job that is not an array; a range such as
    // [2-5] stands for pending tasks not yet split up.
    std::vector<int> ids;
    if (task.front() == '[')
      task = task.substr(1, task.find_first_of("]%") - 1);
    std::istringstream parts(task);
    std::string part;
    while (std::getline(parts, part, ',')) {
      const auto dash = part.find('-');
      try {
        const int first = std::stoi(part.substr(0, dash));
        const int last = dash == std::string::npos
                             ? first
                             : std::stoi(part.substr(dash + 1));
        for (int id = first; id <= last; ++id) ids.push_back(id);
      } catch (const std::exception &) {
        continue;
      }
    }
    const bool running = state == "R" || state == "CG" || state == "CF";
    for (int id : ids) tasks.push_back({job, id, running});
  }
  return tasks;
}

const FarmManager &slurm() {
  static const FarmManager manager{"Slurm", submitToSlurm, slurmQueue};
  return manager;
}

}  // namespace lensfall::cli
