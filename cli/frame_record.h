// What was done to a frame, written into its EXR header under "lensfall/"
// so that the frame can be audited and rendered again the same way: the
// program's version, the settings at the frame's time, and the camera
// values the host handed the filter.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/image_file.h"
#include "host/scene.h"

namespace lensfall::cli {

struct FrameRecordInputs {
  const nlohmann::json *instanceData = nullptr;  // the filter's saved items
  const host::Scene *scene = nullptr;            // at the frame
  std::string layer;                             // the beauty layer read
  std::string depth;                             // how its depth was read
};

// The lens values follow the thin-lens model the filter uses: the focus
// distance to the focus object (or the camera's own), an aperture radius of
// focal length / f-number / 2, and the frame's width over the film width
// the field of view gives.
std::vector<host::ImageAttribute> frameRecord(const FrameRecordInputs &inputs);

}  // namespace lensfall::cli
