// Blur size from depth: the thin-lens circle of confusion of each pixel as a
// signed odd kernel size.
#pragma once

#include <cstdint>

#include "settings/filter_settings.h"

namespace lensfall {

// Sizes are kept within +-kSizeLimit before they become integers, so no
// conversion overflows; the passes use the bank's largest kernel beyond it.
inline constexpr int kSizeLimit = 1 << 30;

// A length in pixels truncated toward zero, with NaN as 0 and anything
// beyond +-kSizeLimit held there.
inline int truncatedPixels(double pixels) {
  if (pixels != pixels) return 0;
  if (pixels > kSizeLimit) return kSizeLimit;
  if (pixels < -kSizeLimit) return -kSizeLimit;
  return static_cast<int>(pixels);
}

// The signed odd size for a depth: 1 is sharp; negative sizes lie in front
// of the plane of focus. Without a usable lens (lensUsable) every depth is
// sharp; a NaN depth is sharp as well.
int blurSizeAt(const FilterSettings &settings, double depth);

// sizeMap[i] = blurSizeAt(depth[i]) for every pixel of a width x height frame.
void buildSizeMap(const FilterSettings &settings, int width, int height,
                  const float *depth, std::int32_t *sizeMap);

// The one size of the uniform path: |trunc(filmWidth x pixelsPerFilmUnit x
// frontMax x 0.1)|, made odd by adding 1 when even (so at least 1).
int uniformBlurSize(const FilterSettings &settings);

}  // namespace lensfall
