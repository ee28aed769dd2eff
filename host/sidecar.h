// Frames rendered elsewhere come with a JSON sidecar that records what a
// host would know about them: frame size and rate, the camera, the objects,
// the channels and what the depth measures. Every frame has its own: a
// rack focus or a moving object changes them from frame to frame.
#pragma once

#include <array>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "host/depth_convention.h"
#include "host/frame_channels.h"
#include "host/scene.h"

namespace lensfall::host {

struct SidecarObject {
  std::string name;  // UTF-8
  std::array<double, 3> position{};
};

struct Sidecar {
  int width = 0;
  int height = 0;
  double framesPerSecond = 24.0;
  std::optional<int> frame;
  HostCameraLens lens;
  std::array<double, 3> cameraPosition{};
  std::optional<HostCameraAim> cameraAim;  // when the sidecar gives it
  std::vector<SidecarObject> objects;
  ChannelNames channels;  // from exr_channels; empty when not given
  std::optional<DepthMeasure> depthMeasure;
  std::optional<float> depthBackground;
  std::string suggestedFocusObject;  // empty when the sidecar names none
};

// Reads and checks every field: a value of the wrong type or out of range
// (a focal length or focus distance not above 0, a field of view outside
// 0 to pi, a frame number that is not whole or too large, an unknown depth
// measure) is an error naming the field, the value and what was expected.
Sidecar parseSidecar(const nlohmann::json &document);
// As parseSidecar, with the file's name in front of every message; also
// for a file that is missing, a folder, or not JSON.
Sidecar loadSidecar(const std::filesystem::path &path);

// What applying a sidecar to a scene left out.
struct SidecarApplied {
  // Objects whose names have no form in the host's text encoding (code
  // page 932): the module could not be told their names.
  std::vector<std::string> skippedObjects;
};

// Brings the scene to the sidecar's frame: size, rate, frame number,
// camera and object positions. Objects are updated in place by name and
// new ones added, so the item IDs the module holds stay valid from frame to
// frame.
SidecarApplied applySidecar(const Sidecar &sidecar, Scene &scene);

struct SidecarInfo {
  std::string suggestedFocusObject;  // empty when the sidecar names none
  std::optional<DepthMeasure> depthMeasure;
  SidecarApplied applied;
};

// Fills a scene from a sidecar; throws HostError naming the field (and, for
// readSidecar, the file).
SidecarInfo readSidecar(const std::filesystem::path &path, Scene &scene);
SidecarInfo sceneFromSidecar(const nlohmann::json &sidecar, Scene &scene);

}  // namespace lensfall::host
