#include "render/fast_power.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace lensfall {

namespace {

// Four lanes: one vector of a processor with 256-bit vectors, two of one
// with 128-bit ones.
constexpr std::size_t kLanes = 4;
using Lanes = double __attribute__((vector_size(8 * kLanes)));
using LaneInts = std::int64_t __attribute__((vector_size(8 * kLanes)));

constexpr double kInverseLn2 = 1.4426950408889634074;  // 1 / ln 2
constexpr double kLn2 = 0.6931471805599453094;
constexpr double kSqrt2 = 1.4142135623730950488;
// Added and taken away again, it rounds a double below 2^51 in magnitude to
// an integer, which then sits in the sum's low bits.
constexpr double kRoundingShift = 0x1.8p52;

// ln m = 2 s (1 + s^2/3 + s^4/5 + ...) with s = (m - 1) / (m + 1): for m in
// [sqrt(1/2), sqrt(2)], |s| <= 0.1716 and s^2 <= 0.0295, so the terms left
// out after s^16/17 add up to less than 1e-15 of the sum. Highest first.
constexpr double kLogSeries[] = {1.0 / 17, 1.0 / 15, 1.0 / 13,
                                 1.0 / 11, 1.0 / 9,  1.0 / 7,
                                 1.0 / 5,  1.0 / 3,  1.0};

// e^g = sum of g^k / k!: for 2^f with f in [-1/2, 1/2], g = f ln 2 and
// |g| <= 0.347, so the terms after g^12/12! add up to less than 2e-16.
// Highest first.
constexpr double kExpSeries[] = {1.0 / 479001600,
                                 1.0 / 39916800,
                                 1.0 / 3628800,
                                 1.0 / 362880,
                                 1.0 / 40320,
                                 1.0 / 5040,
                                 1.0 / 720,
                                 1.0 / 120,
                                 1.0 / 24,
                                 1.0 / 6,
                                 1.0 / 2,
                                 1.0,
                                 1.0};

// x^y in every lane, in the lanes' own arithmetic only (no calls, no
// branches), so that a lane is one element of a vector where the processor
// has them; NaN in lanes approximatePower does not answer. Taken by
// reference, so that the lanes never cross a call in vector registers.
// The error: log2 x and t = y log2 x are each rounded a few times, about
// 3 x 2^-53 of |t| <= 1000, which moves 2^t by less than 3e-13 of itself;
// the two series and their roundings add about 1e-15. The scale by 2^n is
// exact: n stays within [-1000, 1000], where 2^n is normal.
[[gnu::always_inline]] inline void powerLanes(const Lanes &x, double y,
                                              Lanes &power) {
  // x = m 2^e with m in [sqrt(1/2), sqrt(2)].
  const LaneInts bits = reinterpret_cast<LaneInts>(x);
  const LaneInts normal = (x >= 0x1p-1022) & (x <= 0x1p1023);
  Lanes m = reinterpret_cast<Lanes>((bits & 0x000FFFFFFFFFFFFFll) |
                                    0x3FF0000000000000ll);
  const LaneInts halve = m > kSqrt2;  // -1 in the lanes where m is halved
  m = halve ? m * 0.5 : m;
  const LaneInts biased = ((bits >> 52) & 0x7FF) - halve;
  // The biased exponent, an integer below 2^11, as a double: exact.
  const Lanes e = reinterpret_cast<Lanes>(biased | 0x4330000000000000ll) -
                  (0x1p52 + 1023.0);

  const Lanes s = (m - 1.0) / (m + 1.0);
  const Lanes s2 = s * s;
  Lanes series = {};
#pragma GCC unroll 16
  for (const double c : kLogSeries) series = series * s2 + c;
  const Lanes log2x = e + (2.0 * s * series) * kInverseLn2;

  Lanes t = y * log2x;
  const LaneInts answered = normal & (t >= -1000.0) & (t <= 1000.0);
  t = answered ? t : 0.0;
  const Lanes shifted = t + kRoundingShift;
  // Exact: t and its nearest integer are within a half of each other.
  const Lanes fraction = t - (shifted - kRoundingShift);
  const Lanes shift = Lanes{} + kRoundingShift;
  const LaneInts n =
      reinterpret_cast<LaneInts>(shifted) - reinterpret_cast<LaneInts>(shift);
  const Lanes g = fraction * kLn2;
  Lanes exp = {};
#pragma GCC unroll 16
  for (const double c : kExpSeries) exp = exp * g + c;
  power = exp * reinterpret_cast<Lanes>((n + 1023) << 52);
  power = answered ? power : NAN;
}

// Whole vectors from `from`, and a last one filled up with `fill`.
[[gnu::always_inline]] inline void loadLanes(const double *from,
                                             std::size_t lanes, double fill,
                                             Lanes &to) {
  to = Lanes{} + fill;
  if (lanes == kLanes) {
    std::memcpy(&to, from, sizeof to);
  } else {
    for (std::size_t j = 0; j < lanes; ++j) to[j] = from[j];
  }
}

}  // namespace

double approximatePower(double x, double y) {
  Lanes v = Lanes{} + 1.0, power;
  v[0] = x;
  powerLanes(v, y, power);
  return power[0];
}

// Rounding to nearest never decreases, so when both ends of the interval
// around a value round to the same float, so does everything between them.
// The interval is widened by more than the roundings of the margin and of
// the two sums. Lane by lane, with no branch.
__attribute__((target_clones("avx2", "default"))) void settledPowers(
    const double *x, double xScale, double y, double scale, float *values,
    std::size_t count) {
  using FloatLanes = float __attribute__((vector_size(4 * kLanes)));
  using FloatLaneInts = std::int32_t __attribute__((vector_size(4 * kLanes)));
  constexpr double kWidening = kApproximatePowerError + 0x1p-50;
  for (std::size_t i = 0; i < count; i += kLanes) {
    const std::size_t lanes = count - i < kLanes ? count - i : kLanes;
    Lanes v, power;
    loadLanes(x + i, lanes, 1.0, v);
    powerLanes(v * xScale, y, power);
    const Lanes value = power * scale;
    // Normal values only (NaN fails both), where the relative error holds.
    const LaneInts normal = (value >= 0x1p-1000) & (value <= 0x1p1000);
    const Lanes margin = value * kWidening;
    const FloatLanes low = __builtin_convertvector(value - margin, FloatLanes);
    const FloatLanes high = __builtin_convertvector(value + margin, FloatLanes);
    const FloatLaneInts settled =
        (low == high) & (low <= FLT_MAX) &
        __builtin_convertvector(normal, FloatLaneInts);
    const FloatLanes result = settled ? low : NAN;
    for (std::size_t j = 0; j < lanes; ++j) values[i + j] = result[j];
  }
}

}  // namespace lensfall
