// The fast gather on rows where plain double prefix sums are not enough: a
// few highlights orders of magnitude above a dark row (after the power) take
// most of the digits of every prefix to their right, so the pixels there are
// summed again from the prefix pairs or directly. Whichever way a pixel
// went, its mean must match the exact result.
#include "render/fast_gather.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "kernels/kernel_bank.h"
#include "kernels/kernel_runs.h"
#include "reference_cores.h"
#include "test_lens.h"

namespace lensfall::testing {
namespace {

// Dark noise with highlights in every third row, every 97 pixels from
// `first` on: `dark` is the darkest value's share of a highlight before the
// power `exponent`; some pixels are 0.
void fillHighlightRows(FrameBuffers &b, int first, double dark, double exponent,
                       std::mt19937 &rng) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double scale = std::ldexp(1.0, 100);
  for (int y = 0; y < b.height; ++y) {
    for (int x = 0; x < b.width; ++x) {
      const std::size_t i = std::size_t(y) * b.width + x;
      const bool highlight = y % 3 == 0 && x >= first && (x - first) % 97 == 0;
      for (int k = 0; k < 4; ++k) {
        const double v = highlight ? 1.0 : dark * (1.0 + 9.0 * unit(rng));
        b.source[i].c[k] =
            unit(rng) < 0.05 ? 0.0f : float(std::pow(v, exponent) * scale);
      }
      b.depth[i] = 20.0f;
      b.sizeMap[i] = 1;
    }
  }
}

TEST(FastGather, PixelsBesideHighlightsMatchTheExactSumsWhicheverWayTheyGo) {
  struct Case {
    int first;  // the first highlight's column; < 0: from the right edge
    double dark, exponent;
  };
  // Moderate HDR (pairs suffice), a range no double difference can carry
  // (the darkest pixels are summed directly), and highlights so near the
  // right edge that only a few pixels per row lie beyond their reach.
  const Case cases[] = {
      {13, 1e-3, 2.5}, {13, 1e-3, 8.0}, {13, 1e-4, 12.0}, {-16, 1e-3, 8.0}};
  FastGather::Refined total;
  for (const Case &c : cases) {
    const std::string what = "dark " + std::to_string(c.dark) + " exponent " +
                             std::to_string(c.exponent);
    std::mt19937 rng(7);
    FrameBuffers b;
    ASSERT_TRUE(b.allocate(320, 27));
    FilterSettings lens = testLens(b.width, 1.0);
    KernelBank bank = BuildKernelBank(lens);
    ASSERT_GT(bank.count, 8);
    const int size = 2 * std::min(bank.count - 1, 12) + 1;
    fillHighlightRows(b, c.first >= 0 ? c.first : b.width + c.first, c.dark,
                      c.exponent, rng);
    const PassInputs in{b, bank, lens.kernelIsColor, lens, nullptr};
    const KernelRuns runs(bank, lens.kernelIsColor);
    FastGather gather(in, runs, size / 2);
    for (int y = 0; y < b.height; y += FastGather::kBand) {
      gather.uniformRows(y, FastGather::kBand, size);
    }
    std::printf("%s: swept %ld paired %ld direct %ld\n", what.c_str(),
                gather.refined().swept, gather.refined().paired,
                gather.refined().direct);
    total.swept += gather.refined().swept;
    total.paired += gather.refined().paired;
    total.direct += gather.refined().direct;

    const ReferenceSums exact = referenceUniformPass(in, size);
    for (std::size_t i = 0; i < std::size_t(b.width) * b.height; ++i) {
      for (int k = 0; k < 4; ++k) {
        const double w = exact.weight[i][k];
        ASSERT_GT(w, 0.0);
        const double mean = exact.colour[i][k] / w;
        const double fast = double(b.colourSums[i].c[k]) / b.weightSums[i].c[k];
        const double scale = std::max(std::fabs(mean), std::fabs(fast));
        if (scale == 0.0) continue;
        ASSERT_LE(std::fabs(mean - fast) / scale, 1e-5)
            << what << " pixel " << i << " channel " << k << ": exact " << mean
            << " fast " << fast;
        ASSERT_LE(std::fabs(w - b.weightSums[i].c[k]) / w, 1e-6) << what;
      }
    }
    releaseKernelBank(bank);
  }
  // Every way of refining a pixel was taken somewhere.
  EXPECT_GT(total.swept, 0);
  EXPECT_GT(total.paired, 0);
  EXPECT_GT(total.direct, 0);
}

}  // namespace
}  // namespace lensfall::testing
