// The gather: one output pixel from the source pixels whose kernels reach it.
#pragma once

#include "render/pass_inputs.h"

namespace lensfall {

// Adds to colourSums and weightSums at (x, y) the source pixels of the
// size-n window around it, each weighted by the kernel cell at offset
// (x, y) - source from the kernel's centre: the same cell the scatter
// applies between the two pixels. A clipped window is not renormalised.
void gatherPixel(const PassInputs &in, int x, int y, int n);

}  // namespace lensfall
