#include "render/blur_size.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "render/camera.h"
#include "render/float_memo.h"

namespace lensfall {

int blurSizeAt(const FilterSettings &s, double d) {
  if (!lensUsable(s)) return 1;
  const double backLimit = s.backMax * s.filmWidth * 0.1;
  const double frontLimit = s.frontMax * s.filmWidth * 0.1;
  const double angle = std::atan(d / s.apertureRadius) * s.angleScale;
  // tan(angle) x apertureRadius is 0 only at depth 0, where the thin-lens
  // blur is infinite and the front limit takes its place.
  const double lensTerm = std::tan(angle) * s.apertureRadius;
  const double infinite = std::numeric_limits<double>::infinity();

  double b = 0.0;
  bool front = false;
  if (s.keepFarSharp == 1 && d >= s.noBlurDistance) {
    b = 0.0;
  } else if (d > s.focusDistance && s.backBlur != 0) {
    b = lensTerm != 0.0 ? 2 * s.apertureRadius * (1 - s.focalLength / lensTerm)
                        : infinite;
    if (b > backLimit) b = backLimit;
  } else if (d < s.focusDistance && s.frontBlur != 0) {
    b = lensTerm != 0.0 ? 2 * ((s.focalLength * s.apertureRadius) / lensTerm -
                               s.apertureRadius)
                        : infinite;
    if (b > frontLimit) b = frontLimit;
    front = true;
  }

  int n = truncatedPixels(b * s.pixelsPerFilmUnit);
  if (n % 2 == 0) n += 1;
  if (n <= 0) return 1;
  return front && n > 1 ? -n : n;
}

void buildSizeMap(const FilterSettings &settings, int width, int height,
                  const float *depth, std::int32_t *sizeMap) {
  // Depths repeat (the background, flat surfaces): each is sized once.
  auto sizeOf = [&](float d) { return blurSizeAt(settings, d); };
  auto memo = std::make_unique<FloatMemo<std::int32_t>>();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * width + x;
      sizeMap[i] = (*memo)(depth[i], sizeOf);
    }
  }
}

int uniformBlurSize(const FilterSettings &s) {
  int n = std::abs(
      truncatedPixels(s.filmWidth * s.pixelsPerFilmUnit * s.frontMax * 0.1));
  if (n % 2 == 0) n += 1;
  return n;
}

}  // namespace lensfall
