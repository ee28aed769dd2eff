// x^y without libm, to a stated relative error, and the float a value rounds
// to when everything within that error rounds to the same float. Together
// they give libm's float result for most values at a fraction of pow's cost,
// and say when they cannot, so the caller can fall back to pow itself.
#pragma once

#include <cstddef>
#include <optional>

namespace lensfall {

// The relative error approximatePower stays within, with room to spare
// (its own error is below 1e-12 wherever it answers).
inline constexpr double kApproximatePowerError = 0x1p-36;

// x^y for a positive normal x, within kApproximatePowerError of the exact
// value, when that lies in [2^-1000, 2^1000]; NaN otherwise (x not positive
// and finite, |y log2 x| beyond 1000), so that every answer it gives is a
// normal double.
double approximatePower(double x, double y);
// approximatePower of `count` values at once, four at a time, as vectors where
// the processor has them.
void approximatePowers(const double *x, double y, double *powers,
                       std::size_t count);

// The float that every double within `relativeError` of `value` rounds to,
// when that is one finite float; nullopt when the interval straddles a
// rounding boundary or the float range's end, or `value` is not finite.
std::optional<float> settledFloat(double value, double relativeError);

}  // namespace lensfall
