// The output planes of a process call: made lazily, but always the input
// with exactly the filter's writes once the call ends.
#include <gtest/gtest.h>

#include <vector>

#include "host/frame.h"

namespace lensfall::testing {
namespace {

using namespace lensfall::host;

Frame twoByTwo() {
  Frame frame(2, 2);
  frame.red = {0.1f, 0.2f, 0.3f, 0.4f};
  frame.alpha = {1.0f, 0.5f, 0.25f, 0.0f};
  return frame;
}

TEST(FrameCall, TheOutputIsTheInputWithExactlyTheFiltersWrites) {
  struct Case {
    const char *what;
    bool outputBefore;  // planes present (stale) before the call, or none
    bool writes;
  };
  const Case cases[] = {
      {"a frame read from a file, nothing written", false, false},
      {"a frame read from a file, one pixel written", false, true},
      {"stale output of an earlier call, nothing written", true, false},
      {"stale output of an earlier call, one pixel written", true, true},
  };
  for (const Case &c : cases) {
    Frame frame = twoByTwo();
    const std::vector<float> stale = {9.0f, 9.0f, 9.0f, 9.0f};
    if (c.outputBefore) {
      frame.outRed = frame.outGreen = frame.outBlue = frame.outAlpha = stale;
    } else {
      frame.outRed = frame.outGreen = frame.outBlue = frame.outAlpha = {};
      // Nothing filtered it yet: its output is its input.
      EXPECT_EQ(*frame.outputPlanes()[0], frame.red) << c.what;
    }
    {
      FrameCall call(frame);
      if (c.writes) {
        const float rgb[3] = {7.0f, 8.0f, 6.0f};
        call.access()->setRGB(1, 1, rgb);
        call.access()->setAlpha(1, 1, 0.75f);
      }
    }
    std::vector<float> red = frame.red, alpha = frame.alpha;
    if (c.writes) {
      red[3] = 7.0f;
      alpha[3] = 0.75f;
    }
    EXPECT_EQ(frame.outRed, red) << c.what;
    EXPECT_EQ(frame.outAlpha, alpha) << c.what;
    EXPECT_EQ(frame.outputPlanes()[0], &frame.outRed) << c.what;
  }
}

}  // namespace
}  // namespace lensfall::testing
