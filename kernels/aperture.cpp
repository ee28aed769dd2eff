#include "kernels/aperture.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "hostapi/services.h"
#include "hostlink/service_table.h"
#include "kernels/raster_scratch.h"

namespace lensfall {

namespace {

constexpr std::uint8_t kFull = 255;
constexpr double kPi = std::numbers::pi;

std::size_t cellCount(int size) {
  return static_cast<std::size_t>(size) * static_cast<std::size_t>(size);
}

std::size_t windowCells(CellWindow window) {
  return static_cast<std::size_t>(window.width) *
         static_cast<std::size_t>(window.height);
}

// A setting the host could not evaluate (NaN or infinite) is read as 0, the
// default, so that no coordinate derived from it is undefined.
double finiteOrZero(double value) { return std::isfinite(value) ? value : 0.0; }

// Reads the aperture image through the host's image list and image utility,
// resampled to size x size, into the cells of `window`; cell (x, y) of the
// kernel is pixel (x, y) of the resampled image, read on its own, so a window
// holds exactly the bytes the whole kernel holds there. No image (none chosen,
// none at this time, or no resampled copy) gives the all-zero mono kernel; a
// pixel type other than 0, 1 or 5 writes no cell.
void drawImage(std::uint8_t *cells, int size, CellWindow window,
               FilterSettings &settings) {
  const HostImageList *list = services.imageList;
  const HostImageUtility *utility = services.imageUtility;
  HostPixmapID source = nullptr;
  if (settings.apertureImage != nullptr && list != nullptr &&
      utility != nullptr) {
    source = list->evaluate(settings.apertureImage, settings.evalTime);
  }
  HostPixmapID resampled = nullptr;
  if (source != nullptr) {
    resampled = utility->resample(source, size, size, HOST_RESAMPLE_DEFAULT);
  }
  if (resampled == nullptr) {
    std::memset(cells, 0, windowCells(window) * 3);
    return;
  }

  int width = 0;
  int height = 0;
  const int pixelType = utility->info(resampled, &width, &height);
  const bool colour =
      pixelType == HOST_PIXEL_RGB24 || pixelType == HOST_PIXEL_RGBA32;
  if (colour || pixelType == HOST_PIXEL_GREY8) {
    std::uint8_t *pixel = rasterScratch.pixelBuffer;
    std::uint8_t *cell = cells;
    for (int y = window.y; y < window.y + window.height; ++y) {
      for (int x = window.x; x < window.x + window.width; ++x) {
        std::memset(pixel, 0, sizeof rasterScratch.pixelBuffer);
        utility->getPixel(resampled, x, y, pixel);
        if (colour) {
          *cell++ = pixel[0];
          *cell++ = pixel[1];
          *cell++ = pixel[2];
        } else {
          *cell++ = pixel[0];
        }
      }
    }
    settings.kernelIsColor = colour ? 1 : 0;
  }
  utility->destroy(resampled);
}

// The ring's fixed small patterns: a single cell, or the circle's 3 x 3
// pattern with a dimmer centre (0.8 of full) standing for the hole.
void drawSmallRing(int size, std::uint8_t *cells) {
  const int c = size / 2;
  DrawCircle(c, c, c, kFull, false, size, size, cells);
  if (size == 3) {
    cells[4] = static_cast<std::uint8_t>(truncateToInt(kFull * 0.8));
  }
}

}  // namespace

void polygonVertices(int size, int count, double rotation, CellPoint *out) {
  const int c = size / 2;
  const double radius = c;
  for (int i = 0; i < count; ++i) {
    const double angle = i * (2 * kPi / count) + rotation;
    out[i] = {truncateToInt(c + radius * std::cos(angle)),
              truncateToInt(c + radius * std::sin(angle))};
  }
}

bool DrawPolygon(int size, int vertexCount, double rotation,
                 std::uint8_t *cells) {
  const int n = std::clamp(vertexCount, 3, kMaxStraightVertices);
  CellPoint vertex[kMaxStraightVertices];
  polygonVertices(size, n, rotation, vertex);
  for (int i = 0; i + 1 < n; ++i) {
    DrawLine(vertex[i].x, vertex[i].y, vertex[i + 1].x, vertex[i + 1].y, kFull,
             size, size, cells);
  }
  DrawLine(vertex[0].x, vertex[0].y, vertex[n - 1].x, vertex[n - 1].y, kFull,
           size, size, cells);
  return FloodFill(size / 2, size / 2, kFull, size, size, cells);
}

bool DrawCurvedPolygon(int size, int vertexCount, double rotation,
                       double deform, std::uint8_t *cells) {
  const int n = std::clamp(vertexCount, 3, kMaxCurvedVertices);
  CellPoint vertex[kMaxCurvedVertices];
  CellPoint middle[kMaxCurvedVertices];
  polygonVertices(size, n, rotation, vertex);

  // The mid-edge radius moves from the straight edge (d = 0) to the circle
  // through the vertices (d = 1), or inward by the same amount (d = -1).
  const double d = std::clamp(deform, -1.0, 1.0);
  const int c = size / 2;
  const double radius = c;
  const double inner = radius * std::cos(kPi / n);
  const double midRadius = inner + d * (radius - inner);
  for (int i = 0; i < n; ++i) {
    const double angle = i * (2 * kPi / n) + kPi / n + rotation;
    middle[i] = {truncateToInt(c + midRadius * std::cos(angle)),
                 truncateToInt(c + midRadius * std::sin(angle))};
  }

  for (int i = 0; i + 1 < n; ++i) {
    DrawSplineCurve(vertex[i], middle[i], vertex[i + 1], kFull, size, size,
                    cells);
  }
  DrawSplineCurve(vertex[0], middle[n - 1], vertex[n - 1], kFull, size, size,
                  cells);
  return FloodFill(size / 2, size / 2, kFull, size, size, cells);
}

bool DrawRing(int size, double deform, std::uint8_t *cells) {
  if (size == 1 || size == 3) {
    drawSmallRing(size, cells);
    return true;
  }
  const int c = size / 2;
  const int hole = std::min(truncateToInt(c * deform), c);
  // The hole's outline is drawn with 0 and the disc inside it, still 255, is
  // then filled with 0 from the centre. A negative radius draws no hole.
  return DrawCircle(c, c, c, kFull, true, size, size, cells) &&
         DrawCircle(c, c, hole, 0, true, size, size, cells);
}

bool RasterizeAperture(std::uint8_t *cells, int size,
                       FilterSettings &settings) {
  settings.kernelIsColor = 0;
  if (cells == nullptr || size <= 0) return true;
  const int shape = settings.apertureShape;
  if (shape == kShapeImage) {
    drawImage(cells, size, {0, 0, size, size}, settings);
    return true;
  }
  if (shape != kShapeCircle && shape != kShapePolygon && shape != kShapeRing) {
    return true;
  }

  std::memset(cells, 0, cellCount(size));
  // Reserving up front keeps a failed allocation from leaving an outline
  // without its fill.
  if (!reserveFillScratch(size, size)) return false;
  const double rotation = finiteOrZero(settings.rotation);
  const double deform = finiteOrZero(settings.deform);
  bool complete = true;
  switch (shape) {
    case kShapeCircle: {
      const int c = size / 2;
      complete = DrawCircle(c, c, c, kFull, true, size, size, cells);
      break;
    }
    case kShapePolygon:
      if (-0.001 < deform && deform < 0.001) {
        complete = DrawPolygon(size, settings.vertexCount, rotation, cells);
      } else {
        complete = DrawCurvedPolygon(size, settings.vertexCount, rotation,
                                     deform, cells);
      }
      break;
    case kShapeRing:
      complete = DrawRing(size, deform, cells);
      break;
  }
  if (!complete) std::memset(cells, 0, cellCount(size));
  return complete;
}

namespace {

// The squared distance from the kernel's centre cell (c, c) to the window's
// farthest cell.
double farthestSquared(int size, CellWindow window) {
  const int c = size / 2;
  const double dx = std::max(std::abs(window.x - c),
                             std::abs(window.x + window.width - 1 - c));
  const double dy = std::max(std::abs(window.y - c),
                             std::abs(window.y + window.height - 1 - c));
  return dx * dx + dy * dy;
}

// True when every cell of the window lies within `radius` of the centre.
bool windowInsideDisc(double radius, int size, CellWindow window) {
  return radius >= 0 && farthestSquared(size, window) <= radius * radius;
}

enum class Direct { NotShown, Drawn, NoMemory };

// The window of a large circle, straight polygon or ring, drawn without the
// whole kernel where the geometry shows what the whole kernel holds there.
// All three rest on two facts about the primitives. The midpoint circle of
// radius r plots cells less than one cell from the true circle: along its
// octant it keeps, of the two cells it chooses between, the one nearer the
// circle, and the true circle passes between them. And the span fill sets
// exactly the 4-connected region of its seed: a set of cells within some
// radius of the centre is 4-connected (from any of its cells, a step toward
// the centre along the longer axis stays inside), so when that set holds the
// seed and no outline cell, the fill reaches all of it.
Direct drawWindowDirectly(std::uint8_t *cells, int size, CellWindow window,
                          const FilterSettings &settings) {
  const int shape = settings.apertureShape;
  const int c = size / 2;
  // Below this the fixed small patterns apply and the whole kernel is cheap.
  if (size < 5) return Direct::NotShown;
  const std::size_t count = windowCells(window);
  const double deform = finiteOrZero(settings.deform);

  if (shape == kShapeCircle) {
    // The outline of radius c keeps every cell farther than c - 1 from the
    // centre, so the disc of radius c - 2 is filled from the centre.
    if (!windowInsideDisc(c - 2.0, size, window)) return Direct::NotShown;
    std::memset(cells, kFull, count);
    return Direct::Drawn;
  }

  if (shape == kShapePolygon) {
    if (!(-0.001 < deform && deform < 0.001)) return Direct::NotShown;
    // The true edges lie c cos(pi / n) from the centre. Truncating a vertex
    // moves it less than one cell per axis, so every drawn edge lies within
    // sqrt 2 of a true one, and Bresenham's cells within half a cell of their
    // line: no outline cell comes within c cos(pi / n) - 3 of the centre.
    const int n = std::clamp(settings.vertexCount, 3, kMaxStraightVertices);
    const double clear = c * std::cos(kPi / n) - 3.0;
    if (!windowInsideDisc(clear, size, window)) return Direct::NotShown;
    std::memset(cells, kFull, count);
    return Direct::Drawn;
  }

  if (shape == kShapeRing) {
    // A square grid of half-width `local` around the centre holds the whole
    // window and, in the case drawn there, the whole hole with a margin.
    const int local =
        static_cast<int>(std::ceil(std::sqrt(farthestSquared(size, window)))) +
        4;
    // The outer disc fills everything within c - 2 of the centre, so the
    // local grid starts all full, exactly as that part of the whole kernel.
    if (!windowInsideDisc(
            c - 2.0, size,
            {c - local, c - local, 2 * local + 1, 2 * local + 1})) {
      return Direct::NotShown;
    }
    const int hole = std::min(truncateToInt(c * deform), c);
    if (hole < 0) {
      // No hole is drawn.
      std::memset(cells, kFull, count);
      return Direct::Drawn;
    }
    if (windowInsideDisc(hole - 2.0, size, window)) {
      // The hole's outline keeps every cell farther than hole - 1 from the
      // centre; the full cells within hole - 2 hold the seed and are emptied.
      std::memset(cells, 0, count);
      return Direct::Drawn;
    }
    // Here hole < farthest + 2 <= local - 2: the hole's outline lies inside
    // the local grid, at the same offsets from the centre as in the whole
    // kernel, and so does everything the fill can reach up to the outline.
    // The fill beyond the outline, should it get there, reaches all the
    // full cells outside it in both grids alike.
    const int side = 2 * local + 1;
    auto *grid = static_cast<std::uint8_t *>(std::malloc(cellCount(side)));
    if (grid == nullptr) return Direct::NoMemory;
    std::memset(grid, kFull, cellCount(side));
    const bool filled =
        DrawCircle(local, local, hole, 0, true, side, side, grid);
    if (filled) {
      for (int row = 0; row < window.height; ++row) {
        const std::size_t from =
            static_cast<std::size_t>(window.y + row - c + local) * side +
            static_cast<std::size_t>(window.x - c + local);
        std::memcpy(cells + static_cast<std::size_t>(row) * window.width,
                    grid + from, static_cast<std::size_t>(window.width));
      }
    }
    std::free(grid);
    return filled ? Direct::Drawn : Direct::NoMemory;
  }
  return Direct::NotShown;
}

}  // namespace

bool rasterizeApertureWindow(std::uint8_t *cells, int size, CellWindow window,
                             FilterSettings &settings) {
  settings.kernelIsColor = 0;
  if (cells == nullptr) return false;
  const bool inside = size > 0 && window.width > 0 && window.height > 0 &&
                      window.x >= 0 && window.y >= 0 &&
                      window.x <= size - window.width &&
                      window.y <= size - window.height;
  if (!inside) return false;
  const std::size_t count = windowCells(window);
  std::memset(cells, 0, count * 3);

  const int shape = settings.apertureShape;
  if (shape == kShapeImage) {
    drawImage(cells, size, window, settings);
    return true;
  }
  // An unknown shape writes no cell, and the whole kernel starts at 0.
  if (shape != kShapeCircle && shape != kShapePolygon && shape != kShapeRing) {
    return true;
  }
  switch (drawWindowDirectly(cells, size, window, settings)) {
    case Direct::Drawn:
      return true;
    case Direct::NoMemory:
      std::memset(cells, 0, count * 3);
      return false;
    case Direct::NotShown:
      break;
  }

  // The whole kernel, then its window: the geometric shapes are mono.
  const std::size_t wholeBytes = cellCount(size) * 3;
  if (wholeBytes > kMaxWholeKernelBytes) return false;
  auto *whole = static_cast<std::uint8_t *>(std::calloc(wholeBytes, 1));
  if (whole == nullptr) return false;
  const bool complete = RasterizeAperture(whole, size, settings);
  if (complete) {
    for (int row = 0; row < window.height; ++row) {
      std::memcpy(
          cells + static_cast<std::size_t>(row) * window.width,
          whole + static_cast<std::size_t>(window.y + row) * size + window.x,
          static_cast<std::size_t>(window.width));
    }
  }
  std::free(whole);
  return complete;
}

}  // namespace lensfall
