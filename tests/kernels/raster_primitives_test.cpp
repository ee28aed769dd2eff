#include "kernels/raster_primitives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "tests/kernels/grid_text.h"

namespace lensfall {
namespace {

using testing::gridFromRows;
using testing::gridText;
using testing::sameGrid;

using Grid = std::vector<std::uint8_t>;

// The oracle for FloodFill: a plain cell-by-cell search of the 4-connected
// component, with no spans and no shared scratch.
void referenceFill(Grid &cells, int x, int y, std::uint8_t v, int w, int h) {
  const std::uint8_t s = cells[y * w + x];
  if (s == v) return;
  std::vector<std::pair<int, int>> stack = {{x, y}};
  cells[y * w + x] = v;
  while (!stack.empty()) {
    const auto [cx, cy] = stack.back();
    stack.pop_back();
    const std::pair<int, int> next[] = {
        {cx + 1, cy}, {cx - 1, cy}, {cx, cy + 1}, {cx, cy - 1}};
    for (const auto &[nx, ny] : next) {
      if (nx >= 0 && nx < w && ny >= 0 && ny < h && cells[ny * w + nx] == s) {
        cells[ny * w + nx] = v;
        stack.push_back({nx, ny});
      }
    }
  }
}

TEST(DrawLine, PlotsBresenhamCellsWithBothEndsAndClipsToTheGrid) {
  struct Case {
    int x0, y0, x1, y1;
    std::vector<std::string> expected;  // 5 x 3 grid
  };
  const Case cases[] = {
      {0, 0, 4, 2, {"#....", ".##..", "...##"}},
      {4, 2, 0, 0, {"##...", "..##.", "....#"}},
      {1, 0, 2, 2, {".#...", "..#..", "..#.."}},
      {3, 1, 3, 1, {".....", "...#.", "....."}},
      // Runs from outside the grid to outside it: only the inside is drawn.
      {-2, 1, 7, 1, {".....", "#####", "....."}},
      {-1, -1, 5, 5, {"#....", ".#...", "..#.."}},
  };
  for (const Case &c : cases) {
    Grid cells(5 * 3, 0);
    DrawLine(c.x0, c.y0, c.x1, c.y1, 255, 5, 3, cells.data());
    EXPECT_TRUE(sameGrid(cells, gridFromRows(c.expected), 5, 3))
        << "line (" << c.x0 << ", " << c.y0 << ") to (" << c.x1 << ", " << c.y1
        << ")";
  }
}

TEST(DrawCircle, SmallGridsGetTheFixedPatternWhateverTheCircle) {
  struct Case {
    int cx, cy, r;
    bool fill;
  };
  const Case circles[] = {{1, 1, 1, true}, {0, 0, 0, false}, {3, 2, 7, true}};
  for (const Case &c : circles) {
    Grid three(9, 0);
    DrawCircle(c.cx, c.cy, c.r, 200, c.fill, 3, 3, three.data());
    EXPECT_TRUE(
        sameGrid(three, {120, 200, 120, 200, 200, 200, 120, 200, 120}, 3, 3));
    Grid one(1, 0);
    DrawCircle(c.cx % 2, c.cy % 2, c.r, 200, c.fill, 1, 1, one.data());
    EXPECT_EQ(one, Grid{200});
  }
}

TEST(DrawCircle, DrawsNothingForANegativeRadiusOrACentreOutOfRange) {
  const int outside[][3] = {
      {3, 3, -1}, {-1, 3, 2}, {3, -1, 2}, {8, 3, 2}, {3, 8, 2}};
  for (const auto &c : outside) {
    Grid cells(7 * 7, 0);
    DrawCircle(c[0], c[1], c[2], 255, true, 7, 7, cells.data());
    EXPECT_TRUE(sameGrid(cells, Grid(7 * 7, 0), 7, 7));
  }
  // A centre on the grid's far edge is still drawn; its right half is not.
  Grid edge(7 * 7, 0);
  DrawCircle(7, 3, 2, 255, false, 7, 7, edge.data());
  EXPECT_EQ(edge[3 * 7 + 5], 255) << gridText(edge, 7, 7);
  // A radius of 0 sets the centre cell alone.
  Grid dot(7 * 7, 0);
  DrawCircle(3, 3, 0, 255, true, 7, 7, dot.data());
  Grid expected(7 * 7, 0);
  expected[3 * 7 + 3] = 255;
  EXPECT_TRUE(sameGrid(dot, expected, 7, 7));
}

// Grids built to leave thousands of spans pending at once: a fill that kept
// them in a fixed ring of 1024 would wrap over pending work here.
struct FillCase {
  const char *name;
  int w, h;
  Grid cells;
  int seedX, seedY;
};

std::vector<FillCase> fillCases() {
  std::vector<FillCase> cases;
  // A bar with 2000 one-cell teeth above and below it: a first-in first-out
  // queue of spans would hold about 4000 of them at once.
  {
    const int w = 4001, h = 9;
    Grid cells(w * h, 0);
    for (int y = 0; y < h; ++y) {
      for (int x = 1; x < w; x += 2) {
        if (y != h / 2) cells[y * w + x] = 255;
      }
    }
    cases.push_back({"double comb", w, h, std::move(cells), 0, h / 2});
  }
  // Random walls at half density: a maze of short spans in every row.
  for (const int size : {301, 1200}) {
    std::mt19937 random(size);
    Grid cells(static_cast<std::size_t>(size) * size);
    for (auto &cell : cells) cell = (random() % 100 < 45) ? 255 : 0;
    cells[(size / 2) * size + size / 2] = 0;
    cases.push_back(
        {"random walls", size, size, std::move(cells), size / 2, size / 2});
  }
  // Diagonal stripes: every span is one cell long and joins its neighbours
  // only at corners or through the next row.
  {
    const int size = 1001;
    Grid cells(static_cast<std::size_t>(size) * size);
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        cells[y * size + x] = ((x + 2 * y) % 3 == 0) ? 255 : 0;
      }
    }
    cases.push_back({"stripes", size, size, std::move(cells), 1, 0});
  }
  // A square spiral corridor, whose fill winds all the way in.
  {
    const int size = 1000;
    Grid cells(static_cast<std::size_t>(size) * size, 0);
    for (int ring = 0; 2 * ring < size; ring += 2) {
      const int lo = ring, hi = size - 1 - ring;
      for (int i = lo; i <= hi; ++i) {
        cells[lo * size + i] = cells[hi * size + i] = 255;
        cells[i * size + lo] = cells[i * size + hi] = 255;
      }
      if (lo + 1 < hi) cells[(lo + 1) * size + lo] = 0;  // doorway inward
    }
    cases.push_back({"spiral", size, size, std::move(cells), 1, 1});
  }
  // Values other than the fill's two: the fill must stop at them too.
  {
    const int w = 2000, h = 3;
    Grid cells(w * h, 7);
    for (int x = 0; x < w; x += 3) cells[w + x] = 9;
    cases.push_back({"other values", w, h, std::move(cells), 1, 1});
  }
  return cases;
}

TEST(FloodFill, MatchesACellByCellFillOnWorstCaseGrids) {
  for (const FillCase &c : fillCases()) {
    Grid expected = c.cells;
    referenceFill(expected, c.seedX, c.seedY, 128, c.w, c.h);
    Grid cells = c.cells;
    ASSERT_TRUE(FloodFill(c.seedX, c.seedY, 128, c.w, c.h, cells.data()));
    EXPECT_TRUE(sameGrid(cells, expected, c.w, c.h)) << c.name;
  }
}

TEST(FloodFill, LeavesTheGridAloneForASeedOutsideOrAlreadyHoldingTheValue) {
  const Grid start = gridFromRows({"..#..", ".#.#.", "..#.."});
  const int seeds[][2] = {{-1, 0}, {5, 1}, {2, 3}, {2, -4}, {2, 0}};
  for (const auto &seed : seeds) {
    Grid cells = start;
    EXPECT_TRUE(FloodFill(seed[0], seed[1], 255, 5, 3, cells.data()));
    EXPECT_TRUE(sameGrid(cells, start, 5, 3))
        << "seed (" << seed[0] << ", " << seed[1] << ")";
  }
  // The enclosed cell fills; the outside does not leak in.
  Grid cells = start;
  FloodFill(2, 1, 255, 5, 3, cells.data());
  EXPECT_TRUE(sameGrid(cells, gridFromRows({"..#..", ".###.", "..#.."}), 5, 3));
}

TEST(DrawSplineCurve, CoincidentPointsDrawTheStraightLineFromFirstToLast) {
  struct Case {
    CellPoint p0, p1, p2;
  };
  const Case cases[] = {
      {{2, 2}, {2, 2}, {2, 2}},  // a size-1 curve
      {{0, 1}, {0, 1}, {4, 0}},  // mid point on the first vertex
      {{0, 0}, {4, 2}, {4, 2}},  // mid point on the last vertex
      {{4, 2}, {4, 2}, {0, 0}},
  };
  for (const Case &c : cases) {
    for (const int w : {1, 5, 50}) {
      Grid curve(static_cast<std::size_t>(w) * 5, 0);
      Grid line = curve;
      DrawSplineCurve(c.p0, c.p1, c.p2, 255, w, 5, curve.data());
      DrawLine(c.p0.x, c.p0.y, c.p2.x, c.p2.y, 255, w, 5, line.data());
      EXPECT_TRUE(sameGrid(curve, line, w, 5)) << "w " << w;
    }
  }
}

TEST(TruncateToInt, TruncatesTowardZeroAndClampsWhatAnIntCannotHold) {
  constexpr int kMax = std::numeric_limits<int>::max();
  constexpr int kMin = std::numeric_limits<int>::min();
  const std::pair<double, int> cases[] = {
      {2.9, 2},       {-2.9, -2},       {-0.0, 0},         {1e300, kMax},
      {-1e300, kMin}, {INFINITY, kMax}, {-INFINITY, kMin}, {NAN, 0}};
  for (const auto &[value, expected] : cases) {
    EXPECT_EQ(truncateToInt(value), expected) << value;
  }
}

}  // namespace
}  // namespace lensfall
