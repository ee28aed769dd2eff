// Frames rendered elsewhere come with a JSON sidecar that records what a
// host would know about them: frame size and rate, the camera, the objects.
// This turns a sidecar into a scene of the stand-in host.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "host/scene.h"

namespace lensfall::host {

struct SidecarInfo {
  std::string suggestedFocusObject;  // empty when the sidecar names none
  std::string depthMeasure;          // e.g. "planar depth along the view axis"
};

// Fills an empty scene; throws HostError naming the file and the field.
SidecarInfo readSidecar(const std::filesystem::path &path, Scene &scene);
SidecarInfo sceneFromSidecar(const nlohmann::json &sidecar, Scene &scene);

}  // namespace lensfall::host
