// lensfall farm submit, status and resubmit: a shot rendered as an array job
// on a farm, watched, and completed where tasks failed or were cancelled.
#pragma once

#include <CLI/CLI.hpp>
#include <filesystem>

namespace lensfall::cli {

void addFarmCommands(CLI::App &app, std::filesystem::path &modulePath,
                     int &code);

}  // namespace lensfall::cli
