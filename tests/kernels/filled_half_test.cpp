// How far out a kernel has no empty cell decides whether a whole stretch of
// nearer pixels stops a source's light at once, so it must never overstate:
// checked on hand-made grids and against a brute-force count on real
// aperture shapes, for whole kernels and for windows of them.
#include "kernels/filled_half.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "kernels/aperture.h"
#include "tests/kernels/grid_text.h"

namespace lensfall {
namespace {

// The largest h with every cell within h of the centre (both axes) inside
// the window and non-zero, counted the slow way.
int bruteFilledHalf(const std::vector<std::uint8_t> &cells, int size,
                    int stride, const CellWindow &w) {
  const int c = size / 2;
  int best = -1;
  for (int h = 0; c + h < size; ++h) {
    for (int v = c - h; v <= c + h; ++v) {
      for (int u = c - h; u <= c + h; ++u) {
        if (u < w.x || u >= w.x + w.width || v < w.y || v >= w.y + w.height) {
          return best;
        }
        const std::size_t i =
            static_cast<std::size_t>(v - w.y) * w.width + (u - w.x);
        if (cells[i * stride] == 0) return best;
      }
    }
    best = h;
  }
  return best;
}

TEST(filledHalf, HandMadeGrids) {
  struct Case {
    std::string what;
    int size;
    std::vector<int> holes;  // cell indices set to 0 in a full grid
    int expected;
  };
  const Case cases[] = {
      {"full 5 x 5", 5, {}, 2},
      {"empty centre", 5, {12}, -1},
      {"hole in the first ring", 5, {7}, 0},
      {"hole in the corner of the outer ring", 5, {0}, 1},
      {"size 1", 1, {}, 0},
  };
  for (const Case &c : cases) {
    std::vector<std::uint8_t> cells(std::size_t(c.size) * c.size, 255);
    for (int hole : c.holes) cells[hole] = 0;
    EXPECT_EQ(c.expected,
              filledHalf(cells.data(), c.size, 1, {0, 0, c.size, c.size}))
        << c.what << "\n"
        << testing::gridText(cells.data(), c.size, c.size);
  }
  // Only the first byte of a colour cell counts.
  std::vector<std::uint8_t> colour(3 * 9, 0);
  for (int i = 0; i < 9; ++i) colour[3 * i] = 255;
  EXPECT_EQ(1, filledHalf(colour.data(), 3, 3, {0, 0, 3, 3}));
  colour[3 * 4] = 0;
  colour[3 * 4 + 1] = 255;
  EXPECT_EQ(-1, filledHalf(colour.data(), 3, 3, {0, 0, 3, 3}));
}

TEST(filledHalf, MatchesACountOnApertureShapesAndWindows) {
  struct Shape {
    const char *what;
    int shape, vertices;
    double deform, rotation;
  };
  const Shape shapes[] = {{"circle", kShapeCircle, 6, 0.0, 0.0},
                          {"pentagon", kShapePolygon, 5, 0.0, 0.4},
                          {"curved heptagon", kShapePolygon, 7, 0.6, 1.1},
                          {"ring", kShapeRing, 6, 0.5, 0.0}};
  for (const Shape &s : shapes) {
    FilterSettings settings{};
    setDefaults(settings);
    settings.apertureShape = s.shape;
    settings.vertexCount = s.vertices;
    settings.deform = s.deform;
    settings.rotation = s.rotation;
    for (int size : {3, 9, 31, 65}) {
      std::vector<std::uint8_t> whole(std::size_t(size) * size * 3);
      ASSERT_TRUE(RasterizeAperture(whole.data(), size, settings));
      const int stride = settings.kernelIsColor != 0 ? 3 : 1;
      const CellWindow all{0, 0, size, size};
      const int full = filledHalf(whole.data(), size, stride, all);
      EXPECT_EQ(bruteFilledHalf(whole, size, stride, all), full)
          << s.what << " size " << size;
      if (s.shape == kShapeRing && size >= 31) {
        EXPECT_EQ(-1, full) << "the ring is hollow at size " << size;
      }
      // A central window of the kernel, as the store of kernels beyond the
      // bank holds them: never more than the window shows.
      const int reach = size / 3;
      const CellWindow window{size / 2 - reach, size / 2 - reach, 2 * reach + 1,
                              2 * reach + 1};
      std::vector<std::uint8_t> part(std::size_t(window.width) * window.height *
                                     stride);
      for (int v = 0; v < window.height; ++v) {
        for (int u = 0; u < window.width; ++u) {
          for (int k = 0; k < stride; ++k) {
            part[(std::size_t(v) * window.width + u) * stride + k] =
                whole[(std::size_t(v + window.y) * size + u + window.x) *
                          stride +
                      k];
          }
        }
      }
      const int inWindow = filledHalf(part.data(), size, stride, window);
      EXPECT_EQ(bruteFilledHalf(part, size, stride, window), inWindow)
          << s.what << " size " << size << " window";
      EXPECT_LE(inWindow, std::min(full < 0 ? -1 : full, reach))
          << s.what << " size " << size;
    }
  }
}

}  // namespace
}  // namespace lensfall
