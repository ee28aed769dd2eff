// A plain thin lens for render tests: 50 mm focal length, 20 mm aperture
// radius, focus at 10 m, a 36 mm film `width` pixels wide.
#pragma once

#include "settings/filter_settings.h"

namespace lensfall::testing {

inline FilterSettings testLens(int width, double maxima) {
  FilterSettings s{};
  setDefaults(s);
  s.focalLength = 0.05;
  s.apertureRadius = 0.02;
  s.focusDistance = 10.0;
  s.angleScale = 1.0;
  s.filmWidth = 0.036;
  s.pixelsPerFilmUnit = width / 0.036;
  s.frontMax = s.backMax = maxima;
  return s;
}

}  // namespace lensfall::testing
