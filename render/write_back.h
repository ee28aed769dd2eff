// The write-back: every output pixel as the weighted power mean of the light
// that reached it, handed to the host.
#pragma once

#include "hostapi/filter.h"
#include "render/frame_buffers.h"
#include "render/tone.h"

namespace lensfall {

// One output channel: the curve's inverse of colourSum / weightSum. A channel
// that no weight reached (weight sum 0), or whose mean is not finite, keeps
// the pixel's own source value.
float outputChannel(const ToneCurve &curve, float colourSum, float weightSum,
                    float source);

// For every pixel, row by row: setRGB with the three colour channels, then
// setAlpha with the fourth.
void writeBack(const HostFilterAccess &access, const FrameBuffers &buffers,
               const ToneCurve &curve);

}  // namespace lensfall
