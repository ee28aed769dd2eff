// The demo's procedural scene: a frame the command renders itself, with a
// receding checkered ground, balls in front of, at and behind the plane of
// focus, a far wall and small bright lights behind the focus that should
// bloom into the aperture's shape.
#pragma once

#include "host/frame.h"
#include "host/scene.h"

namespace lensfall::cli {

inline constexpr char kDemoFocusObject[] = "Subject";

// Fills the scene's camera and objects and returns the frame's colour, alpha
// and depth (distance from the camera) at the given size.
host::Frame makeDemoFrame(host::Scene &scene, int width, int height);

}  // namespace lensfall::cli
