// The commands of the lensfall tool that work on modules and scene files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lensfall::cli {

struct CreateOptions {
  std::filesystem::path output;
  std::optional<std::filesystem::path> sidecar;  // a rendered frame's sidecar
  std::optional<std::string> focus;              // defaults to the sidecar's
  std::vector<std::string> images;               // NAME=FILE
  std::vector<std::string> settings;             // KEY=VALUE
};

// Each returns the process exit code; errors are HostError exceptions.
int checkModule(const std::filesystem::path &modulePath);
int createScene(const std::filesystem::path &modulePath,
                const CreateOptions &options);
int showScene(const std::filesystem::path &modulePath,
              const std::filesystem::path &scene);
int resaveScene(const std::filesystem::path &modulePath,
                const std::filesystem::path &scene,
                const std::filesystem::path &output);

}  // namespace lensfall::cli
