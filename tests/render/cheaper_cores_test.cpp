// Frames take the cheaper cores for their sizes: the literal ones where
// kernels are small (a cell costs them what a row costs the fast ones), the
// fast ones where they are large. Either way the frame is the same within
// the cores' agreement, which the core comparisons prove.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "kernels/kernel_bank.h"
#include "render/passes.h"
#include "test_lens.h"

namespace lensfall::testing {
namespace {

struct Frame {
  FilterSettings lens = testLens(200, 1.0);
  FrameBuffers buffers;
  KernelBank bank{};
  Frame() {
    bank = BuildKernelBank(lens);
    EXPECT_TRUE(buffers.allocate(200, 40));
  }
  ~Frame() { releaseKernelBank(bank); }
  PassInputs inputs() { return {buffers, bank, lens.kernelIsColor, lens}; }
  void sizes(std::int32_t size) {
    std::fill(buffers.sizeMap, buffers.sizeMap + 200 * 40, size);
  }
};

TEST(CheaperCores, SmallKernelsGoToTheLiteralCoresLargeOnesToTheFast) {
  Frame frame;
  ASSERT_GT(frame.bank.count, 10);
  struct Case {
    std::int32_t size;
    Cores expected;
  };
  const Case cases[] = {{1, Cores::literal},
                        {5, Cores::literal},
                        {-7, Cores::literal},
                        {9, Cores::fast},
                        {-15, Cores::fast},
                        {1 << 20, Cores::fast}};  // held to the bank's largest
  for (const Case &c : cases) {
    frame.sizes(c.size);
    EXPECT_EQ(c.expected, cheaperCores(frame.inputs(), 0)) << c.size;
    EXPECT_EQ(c.expected,
              cheaperCores(frame.inputs(), c.size < 0 ? -c.size : c.size))
        << "uniform " << c.size;
  }
  // A frame mostly sharp with a few large kernels is priced by its cells.
  frame.sizes(1);
  std::fill(frame.buffers.sizeMap, frame.buffers.sizeMap + 200, 25);
  EXPECT_EQ(Cores::fast, cheaperCores(frame.inputs(), 0));
  std::fill(frame.buffers.sizeMap, frame.buffers.sizeMap + 200, 1);
  std::fill(frame.buffers.sizeMap, frame.buffers.sizeMap + 20, 25);
  EXPECT_EQ(Cores::literal, cheaperCores(frame.inputs(), 0));
}

}  // namespace
}  // namespace lensfall::testing
