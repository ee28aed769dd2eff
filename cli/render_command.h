// lensfall render: rendered frames through the module's process callback.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lensfall::cli {

struct CameraFlags {
  double focalLengthMm = 0.0;  // 0: not given
  double sensorWidthMm = 36.0;
  double focusDistance = 0.0;  // 0: not given
};

struct RenderOptions {
  std::filesystem::path input;   // may hold a run of '#' for the frame number
  std::filesystem::path output;  // likewise
  std::optional<std::filesystem::path> scene;   // use its first instance
  std::optional<std::filesystem::path> camera;  // sidecar; default INPUT.json
  std::optional<std::filesystem::path> depth;   // separate depth image
  std::string depthChannel;                     // name of the depth channel
  std::string depthMeasure;                     // "planar", "distance" or ""
  CameraFlags cameraFlags;
  std::string frames;                 // "A-B" for sequences
  std::vector<std::string> settings;  // KEY=VALUE
  bool quiet = false;
};

// Thrown when the user stopped the render; nothing was written.
struct RenderStopped {};

int renderFrames(const std::filesystem::path &modulePath,
                 const RenderOptions &options);

// Replaces the run of '#' in a path by the zero-padded frame number.
std::filesystem::path framePath(const std::filesystem::path &pattern,
                                int frame);

}  // namespace lensfall::cli
