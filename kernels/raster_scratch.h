// The rasteriser's module-wide scratch: the flood fill's pending seeds and the
// image read's pixel buffer. One copy for the whole module, so rasterising is
// not reentrant.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lensfall {

// Pending work of one flood fill. A pending seed is one bit of its cell, and a
// row with pending seeds sits on the row stack at most once (rowQueued), so a
// grid of w x h cells never needs more than h x ceil(w / 64) words of bits and
// h stack entries: nothing here can overflow, whatever shape is filled.
// Between fills every bit and every rowQueued flag is clear.
struct RasterScratch {
  std::uint64_t *seedBits = nullptr;
  std::int32_t *rowStack = nullptr;
  std::int32_t *rowFirst = nullptr;  // lowest pending column of a queued row
  std::int32_t *rowLast = nullptr;   // highest pending column of a queued row
  std::uint8_t *rowQueued = nullptr;
  std::size_t seedWordCapacity = 0;
  std::size_t rowCapacity = 0;
  // Where the image shape's pixel read writes each pixel's bytes.
  std::uint8_t pixelBuffer[4] = {};

  ~RasterScratch();
};

extern RasterScratch rasterScratch;

// Makes the fill scratch large enough for a width x height grid. It grows only
// when a grid larger than any before is drawn and never shrinks, so a frame's
// kernels and the thumbnail allocate nothing once the largest grid has been
// seen. Returns false, leaving the scratch as it was, when memory cannot be
// had or the grid is empty.
bool reserveFillScratch(int width, int height);

}  // namespace lensfall
