// How far out from its centre a kernel has no empty cell.
#pragma once

#include <cstdint>

#include "kernels/aperture.h"

namespace lensfall {

// The largest h such that every cell within h of the centre of a size-`size`
// kernel along both axes lies in `window` and has a non-zero first byte;
// -1 when the centre itself is empty or outside. `cells` holds the window's
// cells, `stride` bytes each (1 for mono kernels, 3 for colour ones), in
// rows of window.width.
int filledHalf(const std::uint8_t *cells, int size, int stride,
               const CellWindow &window);

}  // namespace lensfall
