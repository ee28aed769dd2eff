// The scatter: one source pixel spread over its kernel, with the occlusion
// test that stops light a nearer surface blocks.
#pragma once

#include "render/pass_inputs.h"
#include "settings/filter_settings.h"

namespace lensfall {

// Spreads source (x, y) over the size-n window around it: each destination
// gains the kernel cell at offset destination - source, normalised by the
// kernel's weight sum so a whole kernel carries a weight of 1 per channel.
// Light that a nearer destination blocks goes to blockedWeights instead.
// A channel whose kernel sums to 0 carries no weight (never NaN).
void scatterPixel(const PassInputs &in, int x, int y, int n);

// True when the surface at destination (u, v), a candidate nearer than
// source (x, y), stops the source's light: the kernel of the occluder's
// size, centred on the source, has weight at the destination. `mode` is the
// kernel layout (0 mono, 1 colour).
bool lightBlocked(const PassInputs &in, int mode, int x, int y, int u, int v);

// The odd size (at least 1) of the section, at the destination's depth, of
// the cone of light from the source's point to the lens aperture; 1 when the
// destination lies outside it or the lens is not usable (ConeGeometry).
int occluderSize(const FilterSettings &lens, const float *depth, int width,
                 int x, int y, int u, int v);

}  // namespace lensfall
