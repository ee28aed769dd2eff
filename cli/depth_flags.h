// The --depth-* options: how a frame's depth values are to be read, on top
// of what the frame's sidecar says.
#pragma once

#include <optional>

#include "cli/render_options.h"
#include "host/depth_convention.h"
#include "host/sidecar.h"

namespace lensfall::cli {

// The options, checked. Throws HostError naming the option and what it
// expects.
struct DepthChoice {
  std::optional<host::DepthMeasure> measure;  // unset: the sidecar's
  host::DepthConvention map;     // mapping, ends and near end of a map
  bool backgroundGiven = false;  // map.background is the user's, maybe none
};
DepthChoice parseDepthFlags(const DepthFlags &flags);

// The convention for one frame: the options first, then the sidecar, then
// distance in scene units.
host::DepthConvention depthConventionFor(const DepthChoice &choice,
                                         const host::Sidecar *sidecar);

// "planar depth in scene units", "inverse map 0.5 to 100, white near": for
// the record written with each frame.
std::string describeDepthConvention(const host::DepthConvention &convention);

}  // namespace lensfall::cli
