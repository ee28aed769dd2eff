// The lens values of a frame, derived from the host's render camera.
#pragma once

#include "settings/filter_settings.h"

namespace lensfall {

// Reads the render camera at settings.evalTime and writes focusDistance,
// focalLength, apertureRadius, angleScale, filmWidth, filmHeight and
// pixelsPerFilmUnit. Without a camera (or without the host services) every
// field keeps its value. A value that would need a division by zero comes out
// NaN, which lensUsable rejects.
void updateCamera(FilterSettings &settings);

// True when the lens values describe a real thin lens: focal length, aperture
// radius, film width and pixel scale finite and positive, focus distance and
// angle scale finite and positive. Otherwise every pixel is kept sharp.
bool lensUsable(const FilterSettings &settings);

}  // namespace lensfall
