#include "kernels/raster_primitives.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "kernels/raster_scratch.h"

namespace lensfall {

namespace {

// Plots one cell when it lies inside the grid. Coordinates are 64-bit so the
// stepping of the line and circle algorithms cannot overflow.
inline void plot(std::int64_t x, std::int64_t y, std::uint8_t v, int w, int h,
                 std::uint8_t *cells) {
  if (x >= 0 && x < w && y >= 0 && y < h) {
    cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
          static_cast<std::size_t>(x)] = v;
  }
}

// The fixed patterns of the smallest apertures: a single cell, or a 3 x 3
// cross whose corners carry 0.6 of the full value.
void drawSmallPattern(std::uint8_t v, int w, int h, std::uint8_t *cells) {
  if (w == 1) {
    plot(0, 0, v, w, h, cells);
    return;
  }
  const auto corner = static_cast<std::uint8_t>(truncateToInt(v * 0.6));
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      const bool isCorner = x != 1 && y != 1;
      plot(x, y, isCorner ? corner : v, w, h, cells);
    }
  }
}

}  // namespace

int truncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value <= static_cast<double>(std::numeric_limits<int>::min())) {
    return std::numeric_limits<int>::min();
  }
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  return static_cast<int>(value);
}

void DrawLine(int x0, int y0, int x1, int y1, std::uint8_t v, int w, int h,
              std::uint8_t *cells) {
  if (cells == nullptr || w <= 0 || h <= 0) return;
  std::int64_t x = x0;
  std::int64_t y = y0;
  const std::int64_t dx =
      x1 > x0 ? std::int64_t{x1} - x0 : std::int64_t{x0} - x1;
  const std::int64_t dy =
      y1 > y0 ? std::int64_t{y1} - y0 : std::int64_t{y0} - y1;
  const std::int64_t sx = x1 > x0 ? 1 : -1;
  const std::int64_t sy = y1 > y0 ? 1 : -1;
  if (dx >= dy) {
    std::int64_t err = -dx;
    for (std::int64_t step = 0; step <= dx; ++step) {
      plot(x, y, v, w, h, cells);
      x += sx;
      err += 2 * dy;
      if (err >= 0) {
        y += sy;
        err -= 2 * dx;
      }
    }
  } else {
    std::int64_t err = -dy;
    for (std::int64_t step = 0; step <= dy; ++step) {
      plot(x, y, v, w, h, cells);
      y += sy;
      err += 2 * dx;
      if (err >= 0) {
        x += sx;
        err -= 2 * dy;
      }
    }
  }
}

bool DrawCircle(int cx, int cy, int r, std::uint8_t v, bool fill, int w, int h,
                std::uint8_t *cells) {
  if (cells == nullptr || w <= 0 || h <= 0) return true;
  if (cx < 0 || cx > w || cy < 0 || cy > h) return true;
  if (w == 1 || w == 3) {
    drawSmallPattern(v, w, h, cells);
    return true;
  }
  if (r < 0) return true;
  std::int64_t x = 0;
  std::int64_t y = r;
  std::int64_t e = 3 - 2 * std::int64_t{r};
  while (y >= x) {
    plot(cx + y, cy + x, v, w, h, cells);
    plot(cx - y, cy + x, v, w, h, cells);
    plot(cx + y, cy - x, v, w, h, cells);
    plot(cx - y, cy - x, v, w, h, cells);
    plot(cx + x, cy + y, v, w, h, cells);
    plot(cx - x, cy + y, v, w, h, cells);
    plot(cx + x, cy - y, v, w, h, cells);
    plot(cx - x, cy - y, v, w, h, cells);
    if (e >= 0) {
      e += 4 * (x - y) + 10;
      y -= 1;
    } else {
      e += 4 * x + 6;
    }
    x += 1;
  }
  return fill ? FloodFill(cx, cy, v, w, h, cells) : true;
}

// The fill works on horizontal spans. Pending seeds are kept as one bit per
// cell (the first cell of each run of s found next to a filled span) and the
// rows that hold any are kept on a stack on which a row appears at most once.
// Both are bounded by the grid itself (see RasterScratch), so no shape, however
// many spans it leaves pending, can overflow them. The filled region is the
// 4-connected component of the seed, which does not depend on the order in
// which spans are taken.
bool FloodFill(int x, int y, std::uint8_t v, int w, int h,
               std::uint8_t *cells) {
  if (cells == nullptr || w <= 0 || h <= 0) return true;
  if (x < 0 || x >= w || y < 0 || y >= h) return true;
  const std::size_t width = static_cast<std::size_t>(w);
  const std::uint8_t s =
      cells[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)];
  if (s == v) return true;
  if (!reserveFillScratch(w, h)) return false;

  RasterScratch &scratch = rasterScratch;
  const std::size_t words = (width + 63) / 64;
  std::size_t stackTop = 0;
  auto markSeed = [&](int row, int column) {
    scratch.seedBits[static_cast<std::size_t>(row) * words +
                     static_cast<std::size_t>(column) / 64] |= std::uint64_t{1}
                                                               << (column % 64);
    if (scratch.rowQueued[row] == 0) {
      scratch.rowQueued[row] = 1;
      scratch.rowFirst[row] = column;
      scratch.rowLast[row] = column;
      scratch.rowStack[stackTop++] = row;
    } else if (column < scratch.rowFirst[row]) {
      scratch.rowFirst[row] = column;
    } else if (column > scratch.rowLast[row]) {
      scratch.rowLast[row] = column;
    }
  };
  // Marks the start of every run of s in columns left..right of a row.
  auto markRuns = [&](int row, int left, int right) {
    const std::uint8_t *line = cells + static_cast<std::size_t>(row) * width;
    for (int column = left; column <= right; ++column) {
      if (line[column] == s && (column == left || line[column - 1] != s)) {
        markSeed(row, column);
      }
    }
  };

  markSeed(y, x);
  while (stackTop > 0) {
    const int row = scratch.rowStack[--stackTop];
    scratch.rowQueued[row] = 0;
    std::uint8_t *line = cells + static_cast<std::size_t>(row) * width;
    std::uint64_t *bits =
        scratch.seedBits + static_cast<std::size_t>(row) * words;
    const std::size_t lastWord =
        static_cast<std::size_t>(scratch.rowLast[row]) / 64;
    for (std::size_t word =
             static_cast<std::size_t>(scratch.rowFirst[row]) / 64;
         word <= lastWord; ++word) {
      while (bits[word] != 0) {
        const int column =
            static_cast<int>(word * 64) + std::countr_zero(bits[word]);
        bits[word] &= bits[word] - 1;
        // A seed that no longer holds s was filled through another seed.
        if (line[column] != s) continue;
        int left = column;
        int right = column;
        while (left > 0 && line[left - 1] == s) --left;
        while (right < w - 1 && line[right + 1] == s) ++right;
        std::memset(line + left, v, static_cast<std::size_t>(right - left + 1));
        if (row > 0) markRuns(row - 1, left, right);
        if (row < h - 1) markRuns(row + 1, left, right);
      }
    }
  }
  return true;
}

namespace {

// One coordinate of the natural cubic spline over knots 0, t1, 1: the values
// at the knots and the middle term k1 (the end terms are 0).
struct SplineAxis {
  double u[3];
  double k1;
};

SplineAxis makeAxis(double u0, double u1, double u2, const double t[3]) {
  const double s0 = (u1 - u0) / (t[1] - t[0]);
  const double s1 = (u2 - u1) / (t[2] - t[1]);
  return {{u0, u1, u2}, (s1 - s0) / (2 * (t[2] - t[0]))};
}

double evaluateAxis(const SplineAxis &axis, const double t[3], double at) {
  const int j = at <= t[1] ? 0 : 1;
  const double k[3] = {0.0, axis.k1, 0.0};
  const double h = t[j + 1] - t[j];
  const double a = (at - t[j]) / h;
  const double b = 1 - a;
  return b * axis.u[j] + a * axis.u[j + 1] +
         ((b * b * b - b) * k[j] + (a * a * a - a) * k[j + 1]) * (h * h);
}

double chordLength(CellPoint from, CellPoint to) {
  const double dx = static_cast<double>(to.x) - static_cast<double>(from.x);
  const double dy = static_cast<double>(to.y) - static_cast<double>(from.y);
  return std::sqrt(dx * dx + dy * dy);
}

}  // namespace

void DrawSplineCurve(CellPoint p0, CellPoint p1, CellPoint p2, std::uint8_t v,
                     int w, int h, std::uint8_t *cells) {
  if (cells == nullptr || w <= 0 || h <= 0) return;
  const double first = chordLength(p0, p1);
  const double second = chordLength(p1, p2);
  // Small kernels put a mid point on a vertex; the knots would then divide 0
  // by 0, so the curve degenerates to its chord.
  if (first == 0.0 || second == 0.0) {
    DrawLine(p0.x, p0.y, p2.x, p2.y, v, w, h, cells);
    return;
  }
  double t[3] = {0.0, first, first + second};
  t[1] = t[1] / t[2];
  t[2] = t[2] / t[2];
  const SplineAxis xs = makeAxis(p0.x, p1.x, p2.x, t);
  const SplineAxis ys = makeAxis(p0.y, p1.y, p2.y, t);
  auto pointAt = [&](double at) {
    return CellPoint{truncateToInt(evaluateAxis(xs, t, at)),
                     truncateToInt(evaluateAxis(ys, t, at))};
  };

  double step = 10.0 / w;
  if (step >= 1) step = 0.25;
  CellPoint previous = p0;
  for (double at = 0.0; at <= 1; at += step) {
    const CellPoint q = pointAt(at);
    DrawLine(previous.x, previous.y, q.x, q.y, v, w, h, cells);
    previous = q;
  }
  const CellPoint end = pointAt(1.0);
  DrawLine(previous.x, previous.y, end.x, end.y, v, w, h, cells);
}

}  // namespace lensfall
