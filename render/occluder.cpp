#include "render/occluder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "render/blur_size.h"
#include "render/camera.h"

namespace lensfall {

ConeGeometry::ConeGeometry(const FilterSettings &lens)
    : usable_(lensUsable(lens)),
      focalLength_(lens.focalLength),
      apertureRadius_(lens.apertureRadius),
      pixelsPerFilmUnit_(lens.pixelsPerFilmUnit),
      pixelUnit_(1 / lens.pixelsPerFilmUnit),
      coneScale_(2 * lens.apertureRadius * lens.focalLength *
                 lens.pixelsPerFilmUnit),
      refine_(std::isfinite(coneScale_) && coneScale_ > 0.0) {}

int ConeGeometry::occluderCells(const Destination &d, double c) const {
  return truncatedPixels(d.perK * c * 2);
}

int ConeGeometry::occluderSize(double dd, double ds, int x, int y, int u,
                               int v) const {
  if (!usable_) return 1;
  const Destination d = destination(dd, u, v);
  const double c = width(dd, ds);
  if (!insideCone(d, c, x, y)) return 1;
  return oddSize(occluderCells(d, c));
}

// Only a destination inside the source's cone of light can stop it. With the
// destination at least D pixels from the source along some axis (D >= |dy|,
// and >= 1 since the source never tests itself), that needs D x dd /
// (focalLength x pixelsPerFilmUnit) <= (ds - dd) / ds x 2 x apertureRadius,
// that is dd <= A ds / (D ds + A). The bound is widened by a millionth so
// rounding never hides a surface the exact test would find; every surface
// under it still takes the exact test. A candidate is also nearer than the
// source: dd < ds is dd <= the float below ds.
float ConeGeometry::candidateBound(float ds, int dy) const {
  float limit = ds;
  if (refine_) {
    const double d = std::max(1, std::abs(dy));
    const double bound = coneScale_ * ds / (d * ds + coneScale_) * (1.0 + 1e-6);
    if (std::isfinite(bound)) {
      limit = static_cast<float>(std::min<double>(bound, ds));
    }
  }
  return std::min(limit,
                  std::nextafter(ds, -std::numeric_limits<float>::max()));
}

}  // namespace lensfall
