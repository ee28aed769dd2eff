// The tone curve of a frame: how colour values are carried through the float
// sums so that the write-back yields their weighted power mean.
#pragma once

#include <cstddef>

namespace lensfall {

// The weighted power mean (sum w v^e / sum w)^(1/e) only needs the summed
// values to be an affine image of v^e. The curve picks that image per frame
// from the frame's own brightest value, so the float32 sums neither overflow
// nor lose dark areas to underflow at high exponents, and near e = 0 it moves
// to the Box-Cox form (v^e - 1) / e, whose limit is ln v: the power mean then
// passes continuously into its limit, the weighted geometric mean.
struct ToneCurve {
  double exponent = 2.5;
  double reference = 1.0;  // values are taken relative to this
  double logFloor = 0.0;   // the lowest ln(v / reference) carried (0: none)
  bool boxCox = false;     // near e = 0: (v'^e - 1) / e instead of v'^e

  // The summed form of a clean (finite, non-negative) value.
  float encode(double value) const;
  // The value whose summed form is `mean`; 0 for a mean below every value.
  double decode(double mean) const;
  // For each mean, static_cast<float>(decode(mean)) where its decode is a
  // finite double in the float range, reached without pow, four means at a
  // time; NaN where this route cannot settle the float (the Box-Cox form, a
  // value too near a rounding boundary, out of range), and the caller
  // decodes exactly.
  void quickDecodeAll(const double *means, float *values,
                      std::size_t count) const;
};

// Exponents closer to 0 than this use the Box-Cox form.
inline constexpr double kBoxCoxBelow = 0.25;

// The curve for exponent `exponent` over a frame whose brightest finite value
// is `brightest` (0 or less: the frame is black).
ToneCurve chooseToneCurve(double exponent, double brightest);

// A host value made fit for the power: negative values, NaN and -infinity
// count as 0, +infinity as the frame's brightest finite value.
double cleanChannel(float value, double brightest);

}  // namespace lensfall
