// A rendered frame with its sidecar, read as the render tests and benchmarks
// use it: the sidecar's beauty and depth channels, the depth converted from
// planar to distance from the camera.
#pragma once

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "host/frame_io.h"

namespace lensfall::testing {

struct SharedFrame {
  host::Frame frame;
  nlohmann::json sidecar;
};

// NAME.exr and NAME.json in `dir`.
inline SharedFrame readSharedFrame(const std::filesystem::path &dir,
                                   const std::string &name) {
  SharedFrame shared;
  std::ifstream in(dir / (name + ".json"));
  shared.sidecar = nlohmann::json::parse(in);
  const auto &names = shared.sidecar["exr_channels"];
  host::FrameSource source;
  source.image = dir / (name + ".exr");
  source.channels = {names.value("R", ""), names.value("G", ""),
                     names.value("B", ""), names.value("A", ""),
                     names.value("Z", "")};
  shared.frame = host::readFrame(source);
  const auto &camera = shared.sidecar["camera"];
  host::planarToDistance(shared.frame, camera["hfov_rad"].get<double>(),
                         camera["vfov_rad"].get<double>());
  return shared;
}

}  // namespace lensfall::testing
