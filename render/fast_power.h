// x^y without libm, to a stated relative error, and the float it rounds to
// when everything within that error rounds to the same float: libm's float
// result for most values at a fraction of pow's cost, and a plain answer
// where it cannot tell, so the caller can fall back to pow itself.
#pragma once

#include <cstddef>

namespace lensfall {

// The relative error approximatePower stays within, with room to spare
// (its own error is below 1e-12 wherever it answers).
inline constexpr double kApproximatePowerError = 0x1p-36;

// x^y for a positive normal x, within kApproximatePowerError of the exact
// value, when that lies in [2^-1000, 2^1000]; NaN otherwise (x not positive
// and finite, |y log2 x| beyond 1000), so that every answer it gives is a
// normal double.
double approximatePower(double x, double y);

// For each x: the float that every double within kApproximatePowerError of
// (x xScale)^y scale rounds to, when that is one finite float and the value
// is normal; NaN otherwise. xScale and scale are applied as given, so a
// caller's exact route must apply them the same way (a power of two as
// xScale is exact in either).
void settledPowers(const double *x, double xScale, double y, double scale,
                   float *values, std::size_t count);

}  // namespace lensfall
