#include "render/tone.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "render/fast_power.h"

namespace lensfall {

namespace {

// The summed form of the brightest value in the power form: 2^100 leaves
// room for the sums of up to 301 x 301 full weights below FLT_MAX (2^128)
// while everything down to about 2^-226 of it (in v^e) stays representable.
const double kTop = std::ldexp(1.0, 100);

// The darkest value carried, as ln(v / brightest): v^e of it stays within
// e^60 of the brightest's, and a zero value in the geometric mean counts as
// e^-10000 of the brightest, which makes any mean it reaches practically 0.
double logFloorFor(double exponent) {
  const double magnitude = std::fabs(exponent);
  return magnitude * 1e4 > 60.0 ? -60.0 / magnitude : -1e4;
}

}  // namespace

ToneCurve chooseToneCurve(double exponent, double brightest) {
  ToneCurve curve;
  curve.exponent = exponent;
  curve.reference =
      brightest > 0.0 && std::isfinite(brightest) ? brightest : 1.0;
  curve.boxCox = std::fabs(exponent) < kBoxCoxBelow;
  if (curve.boxCox || exponent < 0.0) curve.logFloor = logFloorFor(exponent);
  if (!curve.boxCox && exponent < 0.0) {
    // With a negative exponent the darkest value has the largest power, so
    // the floor becomes the reference and every summed form is at most kTop.
    const double floor = curve.reference * std::exp(curve.logFloor);
    curve.reference = floor > DBL_MIN ? floor : DBL_MIN;
  }
  return curve;
}

double cleanChannel(float value, double brightest) {
  if (std::isnan(value) || value <= 0.0f) return 0.0;
  if (std::isinf(value)) return brightest;
  return value;
}

float ToneCurve::encode(double value) const {
  const double relative = value / reference;
  if (boxCox) {
    // ln 0 is -infinity, which the floor replaces.
    const double logValue = std::max(std::log(relative), logFloor);
    if (exponent == 0.0) return static_cast<float>(logValue);
    return static_cast<float>(std::expm1(exponent * logValue) / exponent);
  }
  if (exponent < 0.0) {
    return static_cast<float>(std::pow(std::max(relative, 1.0), exponent) *
                              kTop);
  }
  return static_cast<float>(std::pow(relative, exponent) * kTop);
}

double ToneCurve::decode(double mean) const {
  if (boxCox) {
    if (exponent == 0.0) return std::exp(mean) * reference;
    const double base = exponent * mean;
    if (!(base > -1.0)) return 0.0;
    return std::exp(std::log1p(base) / exponent) * reference;
  }
  if (!(mean > 0.0)) return 0.0;
  return std::pow(mean / kTop, 1.0 / exponent) * reference;
}

void ToneCurve::quickDecodeAll(const double *means, float *values,
                               std::size_t count) const {
  if (boxCox) {
    std::fill(values, values + count, NAN);
    return;
  }
  // decode's own steps (a mean of 0 or less, or NaN, has no power), with an
  // approximate power whose error, and the roundings of pow and of the
  // product that the exact route adds, the settling allows for. Dividing by
  // kTop and multiplying by its inverse are both exact.
  settledPowers(means, 1.0 / kTop, 1.0 / exponent, reference, values, count);
}

}  // namespace lensfall
