// The memo must give f(x) for every x, whatever collides in its slots, and
// never a stale value for the bit pattern that marks empty slots.
#include "render/float_memo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace lensfall::testing {
namespace {

float fromBits(std::uint32_t bits) {
  float x;
  std::memcpy(&x, &bits, sizeof x);
  return x;
}

TEST(FloatMemo, GivesTheFunctionOfEveryValueThroughCollisions) {
  FloatMemo<float> memo;
  int calls = 0;
  auto f = [&](float x) {
    ++calls;
    return x != x ? -1.0f : 2.0f * x + 1.0f;
  };
  // Far more distinct values than slots, each asked twice in a row and
  // again after the others.
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 100000; ++i) {
      const float x = static_cast<float>(i) * 0.37f;
      ASSERT_EQ(memo(x, f), 2.0f * x + 1.0f);
      ASSERT_EQ(memo(x, f), 2.0f * x + 1.0f);
    }
  }
  EXPECT_LT(calls, 4 * 100000);  // the repeats came from the memo
  // The empty slots' pattern and other NaNs are computed, not looked up.
  EXPECT_EQ(memo(fromBits(0xFFFFFFFFu), f), -1.0f);
  EXPECT_EQ(memo(std::numeric_limits<float>::quiet_NaN(), f), -1.0f);
  EXPECT_EQ(memo(-0.0f, f), 1.0f);
  EXPECT_EQ(memo(0.0f, f), 1.0f);
}

}  // namespace
}  // namespace lensfall::testing
