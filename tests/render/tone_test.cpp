// The tone curve: the power mean and its limit at exponent 0, without
// underflow or NaN at the ends of the strength range.
#include "render/tone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

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
