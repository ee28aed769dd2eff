// The tone curve: the power mean and its limit at exponent 0, without
// underflow or NaN at the ends of the strength range.
#include "render/tone.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <optional>
#include <random>
#include <vector>

#include "render/fast_power.h"

namespace lensfall::testing {
namespace {

// The weighted power mean in double, the curve's oracle; exponent 0 is the
// weighted geometric mean.
double powerMean(const std::vector<double> &v, const std::vector<double> &w,
                 double e) {
  double sum = 0, weights = 0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    sum += w[i] * (e == 0 ? std::log(v[i]) : std::pow(v[i], e));
    weights += w[i];
  }
  return e == 0 ? std::exp(sum / weights) : std::pow(sum / weights, 1 / e);
}

double throughCurve(const std::vector<double> &v, const std::vector<double> &w,
                    double e) {
  double brightest = 0;
  for (double x : v) brightest = std::max(brightest, x);
  const ToneCurve curve = chooseToneCurve(e, brightest);
  float sum = 0, weights = 0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    sum += static_cast<float>(w[i]) * curve.encode(v[i]);
    weights += static_cast<float>(w[i]);
  }
  return curve.decode(static_cast<double>(sum) / weights);
}

TEST(ToneCurve, GivesTheWeightedPowerMeanAcrossTheStrengthRange) {
  const std::vector<std::vector<double>> values = {
      {0.2, 0.8}, {0.02, 0.03, 0.025}, {1e-3, 4.0, 0.5}, {100.0, 0.01}};
  const std::vector<double> weights = {0.25, 0.5, 0.25};
  const double exponents[] = {-0.5, -0.3, -0.25, -0.2, -1e-3, -1e-9, 0.0, 1e-9,
                              1e-3, 0.2,  0.25,  0.3,  1.0,   2.5,   4.0, 12.5};
  for (const auto &v : values) {
    const std::vector<double> w(weights.begin(), weights.begin() + v.size());
    for (double e : exponents) {
      const double expected = powerMean(v, w, e);
      EXPECT_NEAR(throughCurve(v, w, e), expected, 2e-4 * expected)
          << "exponent " << e << ", first value " << v[0];
    }
  }
}

TEST(ToneCurve, DarkValuesSurviveHighExponents) {
  for (double brightest : {0.02, 1.0, 50.0}) {
    const ToneCurve curve = chooseToneCurve(12.5, brightest);
    const float encoded = curve.encode(0.02);
    EXPECT_GT(encoded, 0.0f) << "brightest " << brightest;
    EXPECT_NEAR(curve.decode(encoded), 0.02, 1e-4);
  }
}

TEST(ToneCurve, ZeroValuesStayFiniteAndDark) {
  for (double e : {-0.5, -0.1, 0.0, 0.1, 2.5, 12.5}) {
    const ToneCurve curve = chooseToneCurve(e, 1.0);
    const float encoded = curve.encode(0.0);
    ASSERT_TRUE(std::isfinite(encoded)) << "exponent " << e;
    EXPECT_NEAR(curve.decode(encoded), 0.0, 1e-12) << "exponent " << e;
    // Mixed with light, a zero pulls a power mean of exponent <= 0 to 0.
    const float mixed = 0.5f * encoded + 0.5f * curve.encode(1.0);
    EXPECT_LT(curve.decode(mixed), e <= 0 ? 1e-6 : 1.0) << "exponent " << e;
  }
}

// One mean through the quick decode; nullopt where it declines.
std::optional<float> quickDecode(const ToneCurve &curve, double mean) {
  float value;
  curve.quickDecodeAll(&mean, &value, 1);
  if (std::isnan(value)) return std::nullopt;
  return value;
}

// The quick decode either gives the float the exact route gives, bit for
// bit, or declines: over random means from anywhere in a double's range,
// and, where it must rarely decline, over the means of sums of a frame's
// values, for exponents of both signs.
TEST(ToneCurve, QuickDecodeGivesTheExactRoutesFloatOrDeclines) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> anyLog(-1000.0, 1000.0);
  std::uniform_real_distribution<double> frameLog(-16.0, 0.0);
  std::uniform_real_distribution<double> mix(0.5, 1.0);
  for (double e : {-0.5, -0.3, 0.3, 1.0, 2.5, 4.0, 12.5}) {
    for (double brightest : {1e-3, 1.0, 3e4}) {
      SCOPED_TRACE(::testing::Message()
                   << "exponent " << e << ", brightest " << brightest);
      const ToneCurve curve = chooseToneCurve(e, brightest);
      int answered = 0;
      auto check = [&](double mean) {
        const auto quick = quickDecode(curve, mean);
        if (!quick) return;
        ++answered;
        const double exact = curve.decode(mean);
        ASSERT_TRUE(std::isfinite(exact)) << mean;
        ASSERT_EQ(*quick, static_cast<float>(exact)) << mean;
      };
      for (int i = 0; i < 20000; ++i) check(std::exp2(anyLog(random)));
      for (double mean : {DBL_MIN, 1e-300, 0x1p100, 1e30, double(FLT_MAX)}) {
        check(mean);
      }
      answered = 0;
      const int means = 100000;
      for (int i = 0; i < means / 2; ++i) {
        // A sharp pixel's own float, and a mean of two values in double.
        const float a = curve.encode(brightest * std::exp2(frameLog(random)));
        const float b = curve.encode(brightest * std::exp2(frameLog(random)));
        const double w = mix(random);
        check(a);
        check((w * a + (1 - w) * b) / 1.0);
      }
      EXPECT_GT(answered, means * 999 / 1000);
    }
  }
  // Declined: the Box-Cox form, and means that decode to no value.
  EXPECT_FALSE(quickDecode(chooseToneCurve(0.1, 1.0), 0.5));
  for (double mean : {0.0, -1.0, double(NAN), double(INFINITY)}) {
    EXPECT_FALSE(quickDecode(chooseToneCurve(2.5, 1.0), mean)) << mean;
  }
}

// x^1 is x, so these settle values chosen beside float rounding boundaries.
float settled(double x) {
  float value;
  settledPowers(&x, 1.0, 1.0, 1.0, &value, 1);
  return value;
}

TEST(FastPower, SettlesOnlyWhatEveryNearbyValueRoundsTo) {
  const double midpoint = 1.0 + 0x1p-24;  // between 1 and the next float
  EXPECT_EQ(settled(1.0), 1.0f);
  EXPECT_TRUE(std::isnan(settled(midpoint)));
  EXPECT_TRUE(std::isnan(settled(midpoint * (1 + 0x1p-40))));
  EXPECT_EQ(settled(midpoint * (1 + 0x1p-30)), std::nextafter(1.0f, 2.0f));
  EXPECT_EQ(settled(midpoint * (1 - 0x1p-30)), 1.0f);
  EXPECT_TRUE(std::isnan(settled(double(FLT_MAX) * 1.5)));
  EXPECT_TRUE(std::isnan(settled(0x1p-1010)));  // below the normal range
  EXPECT_TRUE(std::isnan(settled(double(NAN))));
  EXPECT_TRUE(std::isnan(settled(0.0)));
  // Many at once, past a whole vector, with the scales applied.
  const std::vector<double> xs = {0.25, 4.0, 9.0, 16.0, 0.0625, 100.0, 1e-6};
  std::vector<float> values(xs.size());
  settledPowers(xs.data(), 4.0, 0.5, 3.0, values.data(), xs.size());
  for (std::size_t i = 0; i < xs.size(); ++i) {
    EXPECT_EQ(values[i], static_cast<float>(std::sqrt(xs[i] * 4.0) * 3.0))
        << xs[i];
  }
  // The approximation against pow, where it answers.
  for (double x : {1e-300, 1e-10, 0.5, 0.999999, 1.0, 1.7, 1e10, 1e300}) {
    for (double y : {-3.0, -0.4, 0.08, 0.4, 1.0, 2.5}) {
      const double approximate = approximatePower(x, y);
      const double exact = std::pow(x, y);
      if (std::fabs(y * std::log2(x)) > 1000) {
        EXPECT_TRUE(std::isnan(approximate)) << x << "^" << y;
        continue;
      }
      EXPECT_NEAR(approximate, exact, 1e-12 * exact) << x << "^" << y;
    }
  }
  EXPECT_TRUE(std::isnan(approximatePower(0.0, 2.0)));
  EXPECT_TRUE(std::isnan(approximatePower(-1.0, 2.0)));
}

TEST(CleanChannel, MakesEveryValueFitForThePower) {
  struct Case {
    float value;
    double clean;
  };
  const Case cases[] = {{0.5f, 0.5},      {-0.25f, 0.0},   {NAN, 0.0},
                        {-INFINITY, 0.0}, {INFINITY, 3.0}, {0.0f, 0.0}};
  for (const Case &c : cases) {
    EXPECT_EQ(cleanChannel(c.value, 3.0), c.clean) << c.value;
  }
}

}  // namespace
}  // namespace lensfall::testing
