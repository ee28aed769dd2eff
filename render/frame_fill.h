// Reading the host's rows into the source and depth buffers.
#pragma once

#include "hostapi/filter.h"
#include "render/frame_buffers.h"
#include "render/tone.h"

namespace lensfall {

// The depth given to pixels without a usable depth: missing rows, NaN,
// infinite, zero or negative depth (background with no geometry). It is
// farther than any real surface, so such pixels blur as far background
// and never occlude anything.
inline constexpr float kFarDepth = 3.4028234663852886e38f;

// Fills buffers.source with the summed form of every cleaned colour and
// alpha value under the curve chosen from the frame's brightest finite value
// and `exponent`, and returns that curve. A colour row the host does not
// supply reads as 0, a missing alpha row as 1.
ToneCurve fillSource(const HostFilterAccess &access, FrameBuffers &buffers,
                     double exponent);

// Fills buffers.depth from the depth rows; from the first missing row on, and
// for every unusable value, the depth is kFarDepth.
void fillDepth(const HostFilterAccess &access, FrameBuffers &buffers);

}  // namespace lensfall
