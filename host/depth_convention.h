// What a frame's depth values mean, and turning them into the distance from
// the camera that the filter expects.
//
// Renderers write depth in scene units, either as the distance from the
// camera or as planar depth along the viewing axis; 2D tools and depth
// estimation networks write normalised maps from 0 to 1 without units,
// proportional to depth or to its inverse. A convention names both: how a
// value maps to scene units, then which of the two measures the result is.
#pragma once

#include <optional>
#include <string_view>

#include "host/frame.h"

namespace lensfall::host {

enum class DepthMeasure {
  Distance,  // distance from the camera: what the filter expects
  Planar,    // depth along the viewing axis: converted on reading
};

enum class DepthMapping {
  Units,    // values are depths in scene units
  Linear,   // 0..1, linear in depth between the near and far depths
  Inverse,  // 0..1, linear in 1 / depth between the near and far depths
};

struct DepthConvention {
  DepthMeasure measure = DepthMeasure::Distance;
  DepthMapping mapping = DepthMapping::Units;
  // For the normalised mappings: the depths the ends of the map stand for,
  // and which end is near (1, white, in the maps of depth networks).
  double nearDepth = 0.0;
  double farDepth = 0.0;
  bool whiteIsNear = true;
  // A value that marks pixels with nothing in them (a renderer's 1e10, a
  // map's 0, infinity); such pixels become very far away.
  std::optional<float> background;
};

// Where pixels with nothing in them are put: far enough to be beyond any
// focus, and finite, so every later step sees an ordinary number.
inline constexpr float kVeryFar = 1e10f;

// Reads a measure as a sidecar or the command line names it: "distance",
// "planar", or one of the longer phrases renderers' exporters use for them
// ("planar depth along the view axis", "radial distance", ...). Anything
// else is not guessed at: the result is empty.
std::optional<DepthMeasure> parseDepthMeasure(std::string_view text);

// The names parseDepthMeasure knows, for messages.
std::string_view knownDepthMeasures();

// Turns the frame's depth plane into distances from the camera in place.
// The fields of view (radians) place each pixel's ray for planar depth.
void depthToDistance(Frame &frame, const DepthConvention &convention,
                     double horizontalFov, double verticalFov);

// Converts planar depth z to distance from the camera, per pixel centre.
void planarToDistance(Frame &frame, double horizontalFov, double verticalFov);

}  // namespace lensfall::host
