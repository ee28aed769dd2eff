// What a click in the preview points at: the point of the scene under it,
// and the object a focus click chooses.
#pragma once

#include <array>
#include <optional>

#include "host/scene.h"

namespace lensfall::cli {

// A click on pixel (x, y) of a width x height picture of the render
// camera's view, where the depth is `distance` from the camera.
struct FocusClick {
  int x = 0, y = 0;
  int width = 1, height = 1;
  double distance = 0.0;
};

// The point `distance` from the camera along the ray through the centre of
// the clicked pixel. Empty when the camera's aim is not known.
std::optional<std::array<double, 3>> pointUnderClick(const HostItem &camera,
                                                     double time,
                                                     const FocusClick &click);

// The object a focus click chooses: the one nearest the point under the
// click when the camera's aim is known; otherwise the one whose distance
// from the camera is nearest the click's. Null when there are no objects.
const HostItem *objectUnderClick(const host::Scene &scene, double time,
                                 const FocusClick &click);

}  // namespace lensfall::cli
