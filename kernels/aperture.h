// Rasterising an aperture shape (circle, polygon, curved polygon, ring or
// image) into a square grid of cell weights of a given edge length.
#pragma once

#include <cstddef>
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

// A kernel whose cells would take more bytes than this is never drawn whole:
// only a window of it, where its cells can be had without the whole (see
// rasterizeApertureWindow), or none at all.
inline constexpr std::size_t kMaxWholeKernelBytes = std::size_t{256} << 20;

// A rectangle of cells of a kernel: columns x .. x + width - 1 and rows
// y .. y + height - 1.
struct CellWindow {
  int x;
  int y;
  int width;
  int height;
};

// Draws only `window` of the size-`size` kernel of `settings` into `cells`
// (width x height x 3 bytes, laid out like a kernel whose rows are `width`
// cells long): byte for byte what RasterizeAperture leaves in those cells,
// and the same kernelIsColor. The image shape reads only the window's
// pixels; the circle, the straight polygon and the ring fill the window
// directly once the kernel is large enough that their outlines provably lie
// outside it (or, for the ring's hole, inside a small grid around it); any
// other case draws the whole kernel and copies the window. Returns false,
// with the window all 0, when memory cannot be had, the whole kernel would
// exceed kMaxWholeKernelBytes, or the window does not lie inside the kernel.
bool rasterizeApertureWindow(std::uint8_t *cells, int size, CellWindow window,
                             FilterSettings &settings);

// The polygon's vertices on the circle of radius c = size / 2 around (c, c),
// vertex 0 at angle `rotation` and the angles growing towards +y. Writes
// `count` points (already clamped by the caller) to `out`.
void polygonVertices(int size, int count, double rotation, CellPoint *out);

// The geometric shapes, drawn with 255 into a size x size grid whose cells the
// caller has set to 0. Each returns false only when its fill lacked scratch.
bool DrawPolygon(int size, int vertexCount, double rotation,
                 std::uint8_t *cells);
bool DrawCurvedPolygon(int size, int vertexCount, double rotation,
                       double deform, std::uint8_t *cells);
bool DrawRing(int size, double deform, std::uint8_t *cells);

}  // namespace lensfall
