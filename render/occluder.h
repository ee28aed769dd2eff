// The occlusion test's geometry, in one place for the literal scatter and
// every fast path: a nearer surface can stop a source's light only inside the
// cone from the source's point to the lens aperture, and the section of that
// cone at the surface's depth is the size of the kernel that decides it.
// Every core forms these terms through this type, in the same operations, so
// the fast cores reproduce the literal test bit for bit.
#pragma once

#include <cstdint>

#include "kernels/kernel_layout.h"
#include "settings/filter_settings.h"

namespace lensfall {

class ConeGeometry {
 public:
  // The lens values of one frame. Without a usable lens (lensUsable) no cone
  // is cast and nothing is ever stopped.
  explicit ConeGeometry(const FilterSettings &lens);

  bool castsCones() const { return usable_; }

  // The terms that depend on the destination alone: its depth over the
  // focal length k, pixelsPerFilmUnit / k, and its position on the film at
  // that depth.
  struct Destination {
    double k, perK, x, y;
  };
  Destination destination(double dd, int u, int v) const {
    const double k = dd / focalLength_;
    return {k, pixelsPerFilmUnit_ / k, (u + 0.5) * k * pixelUnit_,
            (v + 0.5) * k * pixelUnit_};
  }

  // The cone's width at depth dd for a source at depth ds, by similar
  // triangles from the aperture (diameter 2 x apertureRadius).
  double width(double dd, double ds) const {
    return (ds - dd) / ds * apertureRadius_ * 2;
  }

  // Whether the destination lies inside the cone of width c of source
  // (x, y). Written so that NaN anywhere answers false.
  bool insideCone(const Destination &d, double c, int x, int y) const {
    const double xs = (x + 0.5) * d.k * pixelUnit_;
    const double ys = (y + 0.5) * d.k * pixelUnit_;
    return d.x <= xs + c && xs - c <= d.x && d.y <= ys + c && ys - c <= d.y;
  }

  // The section's length in whole pixels (truncated, NaN as 0): the
  // occluder size before it is made odd.
  int occluderCells(const Destination &d, double c) const;
  int occluderCells(double dd, double ds) const {
    return occluderCells(destinationDepth(dd), width(dd, ds));
  }

  // The odd kernel size the test reads for a section of `cells` pixels:
  // 1 when there is none.
  static int oddSize(int cells) {
    if (cells <= 0) return 1;
    return cells % 2 == 0 ? cells + 1 : cells;
  }

  // The occluder size of destination (u, v) at depth dd for source (x, y) at
  // depth ds: 1 outside the cone or without a usable lens.
  int occluderSize(double dd, double ds, int x, int y, int u, int v) const;

  // Which destinations are candidates at all, before the cone: for mono
  // kernels a strictly nearer depth; for colour kernels a smaller signed
  // size (a front pixel is nearer than any back pixel, and the more blurred
  // front is nearer).
  static bool isCandidate(KernelLayout layout, float dd, float ds,
                          std::int32_t sizeD, std::int32_t sizeS) {
    return layout == KernelLayout::mono ? dd < ds : sizeD < sizeS;
  }

  // The largest depth a destination may have to be inside the cone of a
  // source at depth ds on a row dy away, and nearer than it. See the proof
  // in occluder.cpp.
  float candidateBound(float ds, int dy) const;

 private:
  // The destination terms that do not depend on its position.
  Destination destinationDepth(double dd) const {
    const double k = dd / focalLength_;
    return {k, pixelsPerFilmUnit_ / k, 0.0, 0.0};
  }

  bool usable_;
  double focalLength_, apertureRadius_, pixelsPerFilmUnit_;
  double pixelUnit_;  // 1 / pixelsPerFilmUnit
  double coneScale_;  // 2 x apertureRadius x focalLength x pixelsPerFilmUnit
  bool refine_;       // the cone bound can narrow the candidates
};

}  // namespace lensfall
