// Rasterising an aperture shape (circle, polygon, curved polygon, ring or
// image) into a square grid of cell weights of a given edge length.
#pragma once

#include <cstdint>

#include "kernels/raster_primitives.h"
#include "settings/filter_settings.h"

namespace lensfall {

// The vertex tables of the two polygon forms. A vertex count outside
// 3..kMaxStraightVertices (straight) or 3..kMaxCurvedVertices (curved) is
// clamped into that range.
inline constexpr int kMaxStraightVertices = 16;
inline constexpr int kMaxCurvedVertices = 32;

// Draws the aperture of `settings` at edge length `size` into `cells`, which
// must hold size x size x 3 bytes. Sets settings.kernelIsColor to the layout
// produced (0: one byte per cell, 1: R, G, B per cell). An unknown shape code
// writes no cell. Returns false only when the flood fill's scratch memory
// could not be had; the first size x size cells are then all 0.
bool RasterizeAperture(std::uint8_t *cells, int size, FilterSettings &settings);

// The polygon's vertices on the circle of radius c = size / 2 around (c, c),
// vertex 0 at angle `rotation` and the angles growing towards +y. Writes
// `count` points (already clamped by the caller) to `out`.
void PolygonVertices(int size, int count, double rotation, CellPoint *out);

// The geometric shapes, drawn with 255 into a size x size grid whose cells the
// caller has set to 0. Each returns false only when its fill lacked scratch.
bool DrawPolygon(int size, int vertexCount, double rotation,
                 std::uint8_t *cells);
bool DrawCurvedPolygon(int size, int vertexCount, double rotation,
                       double deform, std::uint8_t *cells);
bool DrawRing(int size, double deform, std::uint8_t *cells);

}  // namespace lensfall
