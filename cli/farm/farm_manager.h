// The one part of a farm render that depends on the farm manager: submitting
// a batch script and reading the queue. Slurm is the one there is; another
// manager would be another implementation of this table.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/farm/farm_job.h"

namespace lensfall::cli {

struct FarmManager {
  std::string name;
  // Submits the script and returns the job id; throws HostError with the
  // manager's own words and how to render locally instead.
  std::string (*submit)(const std::filesystem::path &script);
  // The tasks of the given jobs that are still queued or running.
  std::vector<QueuedTask> (*queue)(const std::vector<std::string> &jobs);
};

// Slurm, through sbatch and squeue on PATH.
const FarmManager &slurm();

// Parses `squeue -h -r -o '%F %K %t'`: array job id, task id, state.
std::vector<QueuedTask> parseSqueue(const std::string &text);

}  // namespace lensfall::cli
