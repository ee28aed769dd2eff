// The built-in demo: a procedural frame rendered through the module with
// default settings, written as a before/after picture.
#pragma once

#include <filesystem>

namespace lensfall::cli {

struct DemoOptions {
  std::filesystem::path output = "demo.png";
  int width = 640;
  int height = 360;
};

int runDemo(const std::filesystem::path &modulePath,
            const DemoOptions &options);

}  // namespace lensfall::cli
