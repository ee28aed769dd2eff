#include "kernels/aperture.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <numbers>

#include "hostapi/services.h"
#include "kernels/raster_scratch.h"
#include "module/service_table.h"

namespace lensfall {

namespace {

constexpr std::uint8_t kFull = 255;
constexpr double kPi = std::numbers::pi;

std::size_t cellCount(int size) {
  return static_cast<std::size_t>(size) * static_cast<std::size_t>(size);
}

// A setting the host could not evaluate (NaN or infinite) is read as 0, the
// default, so that no coordinate derived from it is undefined.
double finiteOrZero(double value) { return std::isfinite(value) ? value : 0.0; }

// Reads the aperture image through the host's image list and image utility,
// resampled to size x size. No image (none chosen, none at this time, or no
// resampled copy) gives the all-zero mono kernel; a pixel type other than
// 0, 1 or 5 writes no cell.
void drawImage(std::uint8_t *cells, int size, FilterSettings &settings) {
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
    std::memset(cells, 0, cellCount(size) * 3);
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
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
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

void PolygonVertices(int size, int count, double rotation, CellPoint *out) {
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
  PolygonVertices(size, n, rotation, vertex);
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
  PolygonVertices(size, n, rotation, vertex);

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
    drawImage(cells, size, settings);
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

}  // namespace lensfall
