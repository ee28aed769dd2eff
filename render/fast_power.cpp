#include "render/fast_power.h"

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

}  // namespace

// kLanes values at a time in the lanes' own arithmetic only (no calls, no
// branches), so that a lane is one element of a vector where the processor
// has them. The error: log2 x and t = y log2 x are each rounded a few times,
// about 3 x 2^-53 of |t| <= 1000, which moves 2^t by less than 3e-13 of
// itself; the two series and their roundings add about 1e-15. The scale by
// 2^n is exact: n stays within [-1000, 1000], where 2^n is normal.
__attribute__((target_clones("avx2", "default"))) void approximatePowers(
    const double *x, double y, double *powers, std::size_t count) {
  const Lanes shift = Lanes{} + kRoundingShift;
  for (std::size_t i = 0; i < count; i += kLanes) {
    // Whole vectors, and a last one filled up with ones.
    const std::size_t lanes = count - i < kLanes ? count - i : kLanes;
    Lanes v = Lanes{} + 1.0;
    if (lanes == kLanes) {
      std::memcpy(&v, x + i, sizeof v);
    } else {
      for (std::size_t j = 0; j < lanes; ++j) v[j] = x[i + j];
    }

    // v = m 2^e with m in [sqrt(1/2), sqrt(2)].
    const LaneInts bits = reinterpret_cast<LaneInts>(v);
    const LaneInts normal = (v >= 0x1p-1022) & (v <= 0x1p1023);
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
    const LaneInts n =
        reinterpret_cast<LaneInts>(shifted) - reinterpret_cast<LaneInts>(shift);
    const Lanes g = fraction * kLn2;
    Lanes exp = {};
#pragma GCC unroll 16
    for (const double c : kExpSeries) exp = exp * g + c;
    const Lanes power = exp * reinterpret_cast<Lanes>((n + 1023) << 52);

    v = answered ? power : NAN;
    if (lanes == kLanes) {
      std::memcpy(powers + i, &v, sizeof v);
    } else {
      for (std::size_t j = 0; j < lanes; ++j) powers[i + j] = v[j];
    }
  }
}

double approximatePower(double x, double y) {
  double power;
  approximatePowers(&x, y, &power, 1);
  return power;
}

std::optional<float> settledFloat(double value, double relativeError) {
  if (!std::isfinite(value)) return std::nullopt;
  // Widened by more than the roundings of the margin and of the two sums.
  const double margin = std::fabs(value) * (relativeError + 0x1p-50);
  const double low = value - margin;
  const double high = value + margin;
  // Rounding to nearest never decreases, so when both ends of the interval
  // round to the same float, so does everything between them.
  const float lowFloat = static_cast<float>(low);
  if (lowFloat != static_cast<float>(high) || !std::isfinite(lowFloat)) {
    return std::nullopt;
  }
  return lowFloat;
}

}  // namespace lensfall
