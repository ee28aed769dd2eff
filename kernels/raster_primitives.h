// Raster primitives that draw aperture outlines into a byte grid of w x h
// cells (cell (x, y) at index y x w + x): lines, circles, spline curves and
// the span flood fill. Every primitive clips to the grid.
#pragma once

#include <cstdint>

namespace lensfall {

struct CellPoint {
  int x;
  int y;
  friend bool operator==(const CellPoint &, const CellPoint &) = default;
};

// Truncates toward zero like a plain conversion, but a value outside the int
// range is clamped to it and NaN becomes 0, so no coordinate is undefined.
int truncateToInt(double value);

// Bresenham line from (x0, y0) to (x1, y1), both end points drawn.
void DrawLine(int x0, int y0, int x1, int y1, std::uint8_t v, int w, int h,
              std::uint8_t *cells);

// Midpoint circle outline of radius r, filled from its centre when `fill` is
// set. Grids of width 1 and 3 get the fixed small-aperture patterns instead.
// Returns false only when the fill could not get its scratch memory.
bool DrawCircle(int cx, int cy, int r, std::uint8_t v, bool fill, int w, int h,
                std::uint8_t *cells);

// Sets the 4-connected region of cells equal to the seed cell to v. A seed
// outside the grid changes nothing. Returns false, with no cell changed, only
// when the module-wide fill scratch cannot grow to this grid.
bool FloodFill(int x, int y, std::uint8_t v, int w, int h, std::uint8_t *cells);

// Natural cubic spline through p0, p1, p2 over chord-length knots, drawn as
// line pieces about 10 / w of the parameter range long. A zero chord (two
// coincident points) has no knots, so the straight line p0 to p2 is drawn.
void DrawSplineCurve(CellPoint p0, CellPoint p1, CellPoint p2, std::uint8_t v,
                     int w, int h, std::uint8_t *cells);

}  // namespace lensfall
