// lensfall render: one rendered frame through the module's process callback.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lensfall::cli {

struct RenderOptions {
  std::filesystem::path input;
  std::filesystem::path output;
  std::optional<std::filesystem::path> scene;    // use its first instance
  std::optional<std::filesystem::path> sidecar;  // default: INPUT's .json
  std::optional<std::filesystem::path> depth;    // separate depth image
  std::string depthMeasure;                      // "planar", "distance" or ""
  std::optional<std::string> focus;
  std::vector<std::string> settings;  // KEY=VALUE
  bool quiet = false;
};

int renderFrame(const std::filesystem::path &modulePath,
                const RenderOptions &options);

}  // namespace lensfall::cli
