// The built-in demo: checks the module and runs it on the demo scene made
// from a real rendered frame.
#pragma once

#include <filesystem>

namespace lensfall::cli {

struct DemoOptions {
  std::filesystem::path outputDir = "lensfall-demo";
};

int runDemo(const std::filesystem::path &modulePath,
            const DemoOptions &options);

// The folder of real rendered frames: LENSFALL_FRAMES if set, else the one
// this build was configured with.
std::filesystem::path framesDirectory();

}  // namespace lensfall::cli
