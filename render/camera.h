// The lens values of a frame, derived from the host's render camera: read
// what the host says of the camera, work out the thin lens, and store it in
// the settings record, where the rest of the frame reads it.
#pragma once

#include <optional>

#include "settings/filter_settings.h"

namespace lensfall {

// What the host says of its render camera at one time.
struct CameraView {
  double focusDistance = 0.0;  // to the focus item, or the camera's own
  double focalLength = 0.0;    // as the camera service gives it (mm)
  double horizontalFov = 0.0;  // radians
  double verticalFov = 0.0;
  int frameWidth = 0;  // pixels
};

// The thin lens of one frame, in scene units.
struct Lens {
  double focusDistance = 0.0;
  double focalLength = 0.0;
  double apertureRadius = 0.0;
  double angleScale = 0.0;
  double filmWidth = 0.0;
  double filmHeight = 0.0;
  double pixelsPerFilmUnit = 0.0;
};

// The render camera at `time`, through the host's scene, camera and item
// services; the distance to settings.focusItem when one is set. Empty
// without a camera or without those services.
std::optional<CameraView> readCamera(const FilterSettings &settings,
                                     double time);

// The thin lens of a camera at an aperture number. A value that would need
// a division by zero comes out NaN, which lensUsable rejects.
Lens lensFor(const CameraView &camera, double fNumber);

// Writes the lens into focusDistance, focalLength, apertureRadius,
// angleScale, filmWidth, filmHeight and pixelsPerFilmUnit.
void storeLens(FilterSettings &settings, const Lens &lens);

// readCamera at settings.evalTime, lensFor and storeLens. Without a camera
// (or without the host services) every field keeps its value.
void updateCamera(FilterSettings &settings);

// True when the lens values describe a real thin lens: focal length, aperture
// radius, film width and pixel scale finite and positive, focus distance and
// angle scale finite and positive. Otherwise every pixel is kept sharp.
bool lensUsable(const FilterSettings &settings);

}  // namespace lensfall
