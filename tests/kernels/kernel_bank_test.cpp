#include "kernels/kernel_bank.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kernels/aperture.h"
#include "tests/kernels/fake_image_host.h"
#include "tests/kernels/grid_text.h"

namespace lensfall {
namespace {

using testing::gridText;

FilterSettings bankSettings(double apertureRadius, double pixelsPerFilmUnit,
                            double frontMax = 0.0, double backMax = 0.0,
                            double filmWidth = 36.0) {
  FilterSettings settings{};
  setDefaults(settings);
  settings.apertureRadius = apertureRadius;
  settings.pixelsPerFilmUnit = pixelsPerFilmUnit;
  settings.frontMax = frontMax;
  settings.backMax = backMax;
  settings.filmWidth = filmWidth;
  return settings;
}

// Owns a bank for the length of a test.
struct ScopedBank {
  KernelBank bank;
  explicit ScopedBank(FilterSettings &settings)
      : bank(BuildKernelBank(settings)) {}
  ~ScopedBank() { releaseKernelBank(bank); }
};

TEST(BuildKernelBank, HoldsEveryOddSizeUpToTheLargestDiameter) {
  struct Case {
    const char *what;
    FilterSettings settings;
    int count;
  };
  const Case cases[] = {
      {"no blur at all", bankSettings(0.0, 100.0), 1},
      {"diameter 0.9 px", bankSettings(0.45, 1.0), 1},
      {"diameter 2.9 px", bankSettings(1.45, 1.0), 2},
      {"diameter 299.5 px", bankSettings(149.75, 1.0), 150},
      {"diameter 300 px", bankSettings(150.0, 1.0), 151},
      {"diameter 302 px", bankSettings(151.0, 1.0), 151},
      {"diameter 500 px", bankSettings(250.0, 1.0), 151},
      {"front maximum", bankSettings(0.1, 10.0, 1.0, 0.5), 19},
      {"back maximum", bankSettings(0.1, 10.0, 0.5, 1.0), 19},
      {"negative aperture", bankSettings(-5.0, 10.0), 1},
      {"NaN aperture", bankSettings(NAN, 10.0, NAN, NAN), 1},
      {"NaN film scale", bankSettings(3.0, NAN), 1},
      {"infinite aperture", bankSettings(INFINITY, 10.0), 151},
      {"infinite negative", bankSettings(-INFINITY, 10.0), 1},
      {"infinite times zero", bankSettings(INFINITY, 0.0), 1},
  };
  for (const Case &c : cases) {
    FilterSettings settings = c.settings;
    ScopedBank scoped(settings);
    const KernelBank &bank = scoped.bank;
    ASSERT_EQ(bank.count, c.count) << c.what;
    for (int i = 0; i < bank.count; ++i) {
      ASSERT_EQ(bank.entries[i].size, 2 * i + 1) << c.what;
      ASSERT_NE(bank.entries[i].cells, nullptr) << c.what;
    }
  }
}

TEST(BuildKernelBank, DefaultCircleSums) {
  FilterSettings settings = bankSettings(3.5, 1.0);
  ScopedBank scoped(settings);
  ASSERT_EQ(scoped.bank.count, 4);
  const std::int32_t expected[] = {255, 1887, 5355, 9435};
  for (int i = 0; i < 4; ++i) {
    const ApertureKernel &kernel = scoped.bank.entries[i];
    EXPECT_EQ(kernel.weightSum[0], expected[i])
        << gridText(kernel.cells, kernel.size, kernel.size);
    EXPECT_EQ(kernel.weightSum[1], 0);
    EXPECT_EQ(kernel.weightSum[2], 0);
    EXPECT_EQ(kernel.weightSum[3], 0);
  }
  EXPECT_EQ(settings.kernelIsColor, 0);
}

TEST(BuildKernelBank, FullBankSumsEveryKernel) {
  FilterSettings settings = bankSettings(200.0, 1.0);
  settings.apertureShape = kShapePolygon;
  settings.deform = -0.4;
  ScopedBank scoped(settings);
  ASSERT_EQ(scoped.bank.count, 151);
  for (int i = 0; i < scoped.bank.count; ++i) {
    const ApertureKernel &kernel = scoped.bank.entries[i];
    long long sum = 0;
    for (int cell = 0; cell < kernel.size * kernel.size; ++cell) {
      sum += kernel.cells[cell];
    }
    ASSERT_EQ(kernel.weightSum[0], sum) << "size " << kernel.size;
  }
}

TEST(BuildKernelBank, RingOfSevenWithAHoleOfRadiusOne) {
  FilterSettings settings = bankSettings(3.5, 1.0);
  settings.apertureShape = kShapeRing;
  settings.deform = 0.5;
  ScopedBank scoped(settings);
  ASSERT_EQ(scoped.bank.count, 4);
  EXPECT_EQ(scoped.bank.entries[3].weightSum[0], 8160);
}

// Fails the n-th allocation the builder makes, counting from 1.
int allocationsLeft = 0;
void *failingAllocation(std::size_t count, std::size_t size) {
  if (--allocationsLeft == 0) return nullptr;
  return std::calloc(count, size);
}

// Whichever allocation fails, the caller gets an empty bank and nothing stays
// allocated (the sanitizer build checks the latter at exit).
TEST(BuildKernelBank, AFailedAllocationLeavesAnEmptyBank) {
  FilterSettings settings = bankSettings(4.5, 1.0);  // 5 kernels
  for (int failing = 1; failing <= 6; ++failing) {
    allocationsLeft = failing;
    KernelBank bank = BuildKernelBank(settings, failingAllocation);
    EXPECT_EQ(bank.entries, nullptr) << "allocation " << failing;
    EXPECT_EQ(bank.count, 0) << "allocation " << failing;
    releaseKernelBank(bank);
  }
}

TEST(ReleaseKernelBank, LeavesAnEmptyBankAndMayBeRepeated) {
  FilterSettings settings = bankSettings(10.0, 1.0);
  KernelBank bank = BuildKernelBank(settings);
  ASSERT_GT(bank.count, 1);
  releaseKernelBank(bank);
  EXPECT_EQ(bank.entries, nullptr);
  EXPECT_EQ(bank.count, 0);
  releaseKernelBank(bank);
}

TEST(SumKernelWeights, SumsByModeAndLeavesUnknownModesAtZero) {
  std::uint8_t cells[2 * 2 * 3] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  ApertureKernel kernel = {2, {9, 9, 9, 9}, cells};
  SumKernelWeights(kernel, 0);
  EXPECT_EQ((std::array<int, 4>{kernel.weightSum[0], kernel.weightSum[1],
                                kernel.weightSum[2], kernel.weightSum[3]}),
            (std::array<int, 4>{10, 0, 0, 0}));
  SumKernelWeights(kernel, 1);
  EXPECT_EQ((std::array<int, 4>{kernel.weightSum[0], kernel.weightSum[1],
                                kernel.weightSum[2], kernel.weightSum[3]}),
            (std::array<int, 4>{22, 26, 30, 0}));
  SumKernelWeights(kernel, 2);
  EXPECT_EQ((std::array<int, 4>{kernel.weightSum[0], kernel.weightSum[1],
                                kernel.weightSum[2], kernel.weightSum[3]}),
            (std::array<int, 4>{0, 0, 0, 0}));
}

class ColourBank : public testing::FakeImageHostTest {};

TEST_F(ColourBank, SumsEachChannelSeparately) {
  host().pixelType = HOST_PIXEL_RGB24;
  FilterSettings settings = bankSettings(3.5, 1.0);
  settings.apertureShape = kShapeImage;
  settings.apertureImage = testing::fakeImageId();
  ScopedBank scoped(settings);
  ASSERT_EQ(scoped.bank.count, 4);
  EXPECT_EQ(settings.kernelIsColor, 1);
  for (int i = 0; i < scoped.bank.count; ++i) {
    const int size = 2 * i + 1;
    std::int32_t expected[4] = {0, 0, 0, 0};
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const auto pixel = testing::fakePixel(x, y);
        for (int k = 0; k < 3; ++k) expected[k] += pixel[k];
      }
    }
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(scoped.bank.entries[i].weightSum[k], expected[k])
          << "size " << size << ", sum " << k;
    }
  }
}

TEST_F(ColourBank, SampleKernelGivesTheChannelsAndTheirMean) {
  host().pixelType = HOST_PIXEL_RGBA32;
  FilterSettings settings = bankSettings(2.5, 1.0);
  settings.apertureShape = kShapeImage;
  settings.apertureImage = testing::fakeImageId();
  ScopedBank scoped(settings);
  ASSERT_EQ(scoped.bank.count, 3);
  for (int dy = -2; dy <= 2; ++dy) {
    for (int dx = -2; dx <= 2; ++dx) {
      const auto pixel = testing::fakePixel(dx + 2, dy + 2);
      const double r = pixel[0] / 255.0, g = pixel[1] / 255.0,
                   b = pixel[2] / 255.0;
      const std::array<double, 4> expected = {r, g, b, (r + g + b) * (1.0 / 3)};
      EXPECT_EQ(
          SampleKernel(1, 40, 30, 40 + dx, 30 + dy, scoped.bank, 5, settings),
          expected)
          << "offset (" << dx << ", " << dy << ")";
    }
  }
}

TEST(SampleKernel, ReadsTheBankKernelAtTheOffsetAndZerosOutsideIt) {
  FilterSettings settings = bankSettings(3.5, 1.0);
  settings.apertureShape = kShapeRing;
  ScopedBank scoped(settings);
  ASSERT_EQ(scoped.bank.count, 4);
  const ApertureKernel &kernel = scoped.bank.entries[3];
  // Outside the kernel nothing is rasterised: the record's mode stays as set.
  settings.kernelIsColor = 5;
  for (int dy = -5; dy <= 5; ++dy) {
    for (int dx = -5; dx <= 5; ++dx) {
      const bool inside = std::abs(dx) <= 3 && std::abs(dy) <= 3;
      const double g =
          inside ? kernel.cells[(dy + 3) * 7 + dx + 3] / 255.0 : 0.0;
      EXPECT_EQ(
          SampleKernel(0, 100, 7, 100 + dx, 7 + dy, scoped.bank, 7, settings),
          (std::array<double, 4>{g, g, g, g}))
          << "offset (" << dx << ", " << dy << ")";
    }
  }
  EXPECT_EQ(settings.kernelIsColor, 5);
  EXPECT_EQ(SampleKernel(0, 3, 3, 3, 3, scoped.bank, 7, settings)[0], 0.0)
      << "the ring's centre cell";
  EXPECT_EQ(SampleKernel(0, 3, 3, 4, 3, scoped.bank, 7, settings)[0], 1.0);
}

// A size above the bank's largest is drawn from the record passed in and
// gives what a bank kernel of that size would hold.
TEST(SampleKernel, FallsBackToATemporaryKernelForSizesTheBankLacks) {
  FilterSettings small = bankSettings(1.5, 1.0);  // sizes 1 and 3
  small.apertureShape = kShapePolygon;
  small.deform = 0.3;
  ScopedBank scoped(small);
  ASSERT_EQ(scoped.bank.count, 2);
  FilterSettings large = small;
  large.apertureRadius = 4.5;  // sizes up to 9
  ScopedBank reference(large);
  ASSERT_EQ(reference.bank.count, 5);

  for (const int size : {5, 9}) {
    const ApertureKernel &kernel = reference.bank.entries[size / 2];
    for (int v = 0; v < size; ++v) {
      for (int u = 0; u < size; ++u) {
        const double g = kernel.cells[v * size + u] / 255.0;
        EXPECT_EQ(SampleKernel(0, 20, 20, 20 + u - size / 2, 20 + v - size / 2,
                               scoped.bank, size, small),
                  (std::array<double, 4>{g, g, g, g}))
            << "size " << size << ", cell (" << u << ", " << v << ")";
      }
    }
  }
  // An even size is never read from the next odd kernel.
  std::vector<std::uint8_t> even(4 * 4 * 3);
  RasterizeAperture(even.data(), 4, small);
  for (int cell = 0; cell < 16; ++cell) {
    EXPECT_EQ(
        SampleKernel(0, 2, 2, cell % 4, cell / 4, reference.bank, 4, small)[0],
        even[cell] / 255.0)
        << "cell " << cell;
  }
}

TEST(SampleKernel, GivesZerosForAnUnknownModeOrAnEmptySize) {
  FilterSettings settings = bankSettings(1.5, 1.0);
  ScopedBank scoped(settings);
  const std::array<double, 4> zeros = {0, 0, 0, 0};
  for (const int mode : {-1, 2}) {
    EXPECT_EQ(SampleKernel(mode, 0, 0, 0, 0, scoped.bank, 3, settings), zeros);
  }
  for (const int size : {0, -3}) {
    EXPECT_EQ(SampleKernel(0, 0, 0, 0, 0, scoped.bank, size, settings), zeros);
  }
}

}  // namespace
}  // namespace lensfall
