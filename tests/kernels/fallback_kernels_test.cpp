// Kernels beyond the bank drawn by window: every byte must be what the whole
// kernel, drawn literally, holds at that cell.
#include "kernels/fallback_kernels.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "kernels/aperture.h"
#include "kernels/kernel_bank.h"
#include "tests/kernels/fake_image_host.h"

namespace lensfall {
namespace {

// The largest offset a scatter over the capped bank can ask for.
constexpr int kReach = kMaxKernelSize / 2;

struct Aperture {
  const char *what;
  int shape;
  double deform;
  int vertices;
  double rotation;
};

FilterSettings settingsFor(const Aperture &a) {
  FilterSettings settings{};
  setDefaults(settings);
  settings.apertureShape = a.shape;
  settings.deform = a.deform;
  settings.vertexCount = a.vertices;
  settings.rotation = a.rotation;
  return settings;
}

// The oracle: the whole kernel, as RasterizeAperture leaves it.
struct WholeKernel {
  std::vector<std::uint8_t> cells;
  int mode = -1;
  WholeKernel(int size, FilterSettings settings)
      : cells(static_cast<std::size_t>(size) * size * 3, 0) {
    EXPECT_TRUE(RasterizeAperture(cells.data(), size, settings));
    mode = settings.kernelIsColor;
  }
};

// Compares `window` of the size-`size` kernel with the whole kernel and
// reports the first differing cell.
void expectWindowMatches(const WholeKernel &whole, int size, CellWindow window,
                         const FilterSettings &base, const std::string &what) {
  FilterSettings settings = base;
  std::vector<std::uint8_t> cells(
      static_cast<std::size_t>(window.width) * window.height * 3, 7);
  ASSERT_TRUE(rasterizeApertureWindow(cells.data(), size, window, settings))
      << what;
  ASSERT_EQ(settings.kernelIsColor, whole.mode) << what;
  const int bytes = whole.mode == 1 ? 3 : 1;
  for (int y = 0; y < window.height; ++y) {
    for (int x = 0; x < window.width; ++x) {
      const std::size_t from =
          static_cast<std::size_t>(window.y + y) * size + (window.x + x);
      const std::size_t to = static_cast<std::size_t>(y) * window.width + x;
      for (int k = 0; k < bytes; ++k) {
        ASSERT_EQ(cells[bytes * to + k], whole.cells[bytes * from + k])
            << what << ": cell (" << window.x + x << ", " << window.y + y
            << ") of size " << size << ", byte " << k;
      }
    }
  }
}

// The windows a frame asks for (the central one of the scatter's reach) and
// a few others: single cells, one off the centre, one at the kernel's edge.
void expectWindowsMatch(const Aperture &a, int size) {
  const FilterSettings settings = settingsFor(a);
  const WholeKernel whole(size, settings);
  const std::string what =
      std::string(a.what) + ", size " + std::to_string(size);
  const int c = size / 2;
  const int first = std::max(0, c - kReach);
  const int side = std::min(size - 1, c + kReach) - first + 1;
  expectWindowMatches(whole, size, {first, first, side, side}, settings,
                      what + ", central window");
  expectWindowMatches(whole, size, {c, c, 1, 1}, settings, what + ", centre");
  expectWindowMatches(whole, size, {c - kReach, c + kReach, 1, 1}, settings,
                      what + ", window corner");
  expectWindowMatches(whole, size, {c + 17, c - 60, 40, 9}, settings,
                      what + ", off the centre");
  expectWindowMatches(whole, size, {0, c - 3, 5, 7}, settings,
                      what + ", at the edge");
}

// Sizes just below and above where each shape's window is drawn directly
// (the circle from 431, the ring from 619, the straight triangle from 863
// and the hexagon from 497 with this reach), and sizes in the thousands.
constexpr int kSizes[] = {303, 429, 431, 433,  497,  617, 619,
                          621, 861, 863, 1001, 2001, 3001};

TEST(rasterizeApertureWindow, GeometricShapesMatchTheWholeKernel) {
  const Aperture apertures[] = {
      {"circle", kShapeCircle, 0.0, 6, 0.0},
      {"triangle", kShapePolygon, 0.0, 3, 0.0},
      {"pentagon turned", kShapePolygon, 0.0005, 5, 0.3},
      {"hexagon", kShapePolygon, 0.0, 6, 1.0},
  };
  for (const Aperture &a : apertures) {
    for (const int size : kSizes) expectWindowsMatch(a, size);
  }
}

TEST(rasterizeApertureWindow, RingsMatchTheWholeKernel) {
  // Hole radii around where the window lies wholly in the hole (about 215
  // cells), small holes drawn in the local grid, a hole that fills the
  // disc, and none.
  const Aperture apertures[] = {
      {"ring 0", kShapeRing, 0.0, 6, 0.0},
      {"ring 0.07", kShapeRing, 0.07, 6, 0.0},
      {"ring 0.142", kShapeRing, 0.142, 6, 0.0},
      {"ring 0.145", kShapeRing, 0.145, 6, 0.0},
      {"ring 0.5", kShapeRing, 0.5, 6, 0.0},
      {"ring 0.69", kShapeRing, 0.69, 6, 0.0},
      {"ring 0.7", kShapeRing, 0.7, 6, 0.0},
      {"ring 0.999", kShapeRing, 0.999, 6, 0.0},
      {"ring 1.5", kShapeRing, 1.5, 6, 0.0},
      {"ring -0.2", kShapeRing, -0.2, 6, 0.0},
  };
  for (const Aperture &a : apertures) {
    for (const int size : {303, 617, 619, 621, 1001, 3001}) {
      expectWindowsMatch(a, size);
    }
  }
}

TEST(rasterizeApertureWindow, CurvedPolygonsMatchTheWholeKernel) {
  // Deformations near -1 cross the curves at the centre; near +1 they bulge.
  const Aperture apertures[] = {
      {"triangle bowed -1", kShapePolygon, -1.0, 3, 0.0},
      {"triangle bowed -0.999", kShapePolygon, -0.999, 3, 0.2},
      {"square bowed -0.98", kShapePolygon, -0.98, 4, 0.0},
      {"square bulged 0.999", kShapePolygon, 0.999, 4, 0.5},
      {"hexagon bulged 1", kShapePolygon, 1.0, 6, 0.0},
  };
  for (const Aperture &a : apertures) {
    for (const int size : {303, 863, 2001}) expectWindowsMatch(a, size);
  }
}

class ImageWindow : public testing::FakeImageHostTest {};

TEST_F(ImageWindow, ReadsOnlyTheWindowAndMatchesTheWholeKernel) {
  const Aperture image = {"image", kShapeImage, 0.0, 6, 0.0};
  // Pixel type 2 is none the image shape knows: no cell is written.
  const int types[] = {HOST_PIXEL_RGB24, HOST_PIXEL_GREY8, HOST_PIXEL_RGBA32,
                       2};
  for (const int type : types) {
    host().pixelType = type;
    FilterSettings settings = settingsFor(image);
    settings.apertureImage = testing::fakeImageId();
    for (const int size : {303, 2001}) {
      const WholeKernel whole(size, settings);
      const int c = size / 2;
      expectWindowMatches(
          whole, size, {c - kReach, c - kReach, 2 * kReach + 1, 2 * kReach + 1},
          settings, "image type " + std::to_string(type));
      EXPECT_EQ(host().lastWidth, size);
      EXPECT_EQ(host().liveResampled, 0) << "every resampled copy released";
    }
  }
  FilterSettings none = settingsFor(image);
  const WholeKernel whole(1001, none);
  expectWindowMatches(whole, 1001, {400, 400, 201, 201}, none, "no image");
}

// SampleKernel beyond the bank, with the frame's store and without, gives
// the whole kernel's cell at every offset a scatter can ask for, and beyond.
void expectSamplesMatch(const Aperture &a, int size, FilterSettings settings) {
  const WholeKernel whole(size, settings);
  const KernelBank noBank{nullptr, 0};
  FallbackKernels store(kReach);
  const int c = size / 2;
  auto check = [&](int dx, int dy) {
    const int u = c + dx, v = c + dy;
    std::array<double, 4> expected = {0, 0, 0, 0};
    if (u >= 0 && u < size && v >= 0 && v < size) {
      const std::size_t cell = static_cast<std::size_t>(v) * size + u;
      if (whole.mode == 0) {
        const double g = whole.cells[cell] / 255.0;
        expected = {g, g, g, g};
      } else {
        const double r = whole.cells[3 * cell] / 255.0;
        const double g = whole.cells[3 * cell + 1] / 255.0;
        const double b = whole.cells[3 * cell + 2] / 255.0;
        expected = {r, g, b, (r + g + b) * (1.0 / 3)};
      }
    }
    const int mode = whole.mode;
    ASSERT_EQ(SampleKernel(mode, 50, 40, 50 + dx, 40 + dy, noBank, size,
                           settings, &store),
              expected)
        << a.what << " size " << size << " offset " << dx << "," << dy
        << " with the store";
    ASSERT_EQ(
        SampleKernel(mode, 50, 40, 50 + dx, 40 + dy, noBank, size, settings),
        expected)
        << a.what << " size " << size << " offset " << dx << "," << dy
        << " without it";
  };
  for (int dy = -kReach; dy <= kReach; dy += 13) {
    for (int dx = -kReach; dx <= kReach; dx += 11) check(dx, dy);
  }
  for (const int d : {-kReach, kReach, 0}) {
    check(d, kReach);
    check(kReach, d);
  }
  // Beyond the reach the store cannot answer; the result is still exact.
  check(kReach + 40, 3);
  check(-c, -c);
}

TEST(SampleKernelBeyondTheBank, MatchesTheWholeKernelForEveryShape) {
  const Aperture apertures[] = {
      {"circle", kShapeCircle, 0.0, 6, 0.0},
      {"hexagon", kShapePolygon, 0.0, 6, 0.0},
      {"triangle bowed -0.999", kShapePolygon, -0.999, 3, 0.0},
      {"ring 0.3", kShapeRing, 0.3, 6, 0.0},
      {"ring 0.9", kShapeRing, 0.9, 6, 0.0},
  };
  for (const Aperture &a : apertures) {
    for (const int size : {305, 1001, 2001}) {
      expectSamplesMatch(a, size, settingsFor(a));
    }
  }
}

class ImageSamples : public testing::FakeImageHostTest {};

TEST_F(ImageSamples, MatchTheWholeKernel) {
  const Aperture image = {"image", kShapeImage, 0.0, 6, 0.0};
  for (const int type : {int{HOST_PIXEL_RGB24}, int{HOST_PIXEL_GREY8}}) {
    host().pixelType = type;
    FilterSettings settings = settingsFor(image);
    settings.apertureImage = testing::fakeImageId();
    expectSamplesMatch(image, 1001, settings);
  }
}

TEST(FallbackKernels, HoldsNoMoreThanItsBudget) {
  FilterSettings settings = settingsFor({"ring", kShapeRing, 0.5, 6, 0.0});
  const std::size_t window = std::size_t{2 * kReach + 1} * (2 * kReach + 1) * 3;
  const std::size_t budget = 3 * window + window / 2;
  FallbackKernels store(kReach, budget);
  for (int size = 1001; size < 1041; size += 2) {
    ASSERT_NE(store.cell(size, size / 2 + 5, size / 2, 0, settings), nullptr);
    EXPECT_LE(store.bytesHeld(), budget) << "size " << size;
  }
  // A window larger than the whole budget is not held: the caller draws.
  FallbackKernels tiny(kReach, window - 1);
  EXPECT_EQ(tiny.cell(1001, 500, 500, 0, settings), nullptr);
  EXPECT_EQ(tiny.bytesHeld(), 0u);
}

}  // namespace
}  // namespace lensfall
