// A failed debug check names the condition and both values, then stops.
#include "hostlink/check.h"

#include <gtest/gtest.h>

namespace lensfall {
namespace {

#ifdef LENSFALL_DEBUG_CHECKS
TEST(DebugCheckDeathTest, AFailedCheckPrintsTheConditionAndBothValues) {
  const int size = 4;
  EXPECT_DEATH(LENSFALL_DCHECK_EQ(size % 2, 1),
               "check failed: size % 2 == 1 \\(0 vs 1\\)");
  EXPECT_DEATH(LENSFALL_DCHECK(size < 0), "check failed: size < 0");
  LENSFALL_DCHECK_LE(size, 4);
}
#else
TEST(DebugCheck, ChecksCostNothingWhenOff) {
  int evaluated = 0;
  LENSFALL_DCHECK(++evaluated > 0);
  LENSFALL_DCHECK_EQ(++evaluated, 1);
  EXPECT_EQ(evaluated, 0);
}
#endif

}  // namespace
}  // namespace lensfall
