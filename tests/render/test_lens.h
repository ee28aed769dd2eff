// Lenses for render tests, derived by updateCamera from a camera record
// exactly as a frame's lens is, so no test restates the camera arithmetic.
#pragma once

#include "settings/filter_settings.h"

namespace lensfall::testing {

struct TestCamera {
  double focalLengthMm = 50.0;
  double focusDistance = 10.0;           // scene units
  double horizontalFov = 0.69115038379;  // a 36 mm film at 50 mm
  double fNumber = 1.25;                 // a 20 mm aperture radius at 50 mm
};

// The lens of `camera` over a frame `width` pixels wide, with both front and
// back maxima `maxima`.
FilterSettings lensFromCamera(int width, double maxima,
                              const TestCamera &camera = {});

// The plain lens most render tests use: the defaults of TestCamera.
inline FilterSettings testLens(int width, double maxima) {
  return lensFromCamera(width, maxima);
}

}  // namespace lensfall::testing
