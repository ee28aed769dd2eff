// The literal cores once more, for tests only, summing in double: the same
// loops, kernel cells and float weights, the same occlusion test (written out
// again here, sharing no code with the cores), but every product and sum of
// the colour and weight sums carried in double. Their sums are the algorithm's
// result without the literal's float32 rounding, against which both cores are
// measured.
#pragma once

#include <array>
#include <vector>

#include "render/pass_inputs.h"

namespace lensfall::testing {

// Sums per pixel, indexed y x width + x, channels R, G, B, A.
struct ReferenceSums {
  std::vector<std::array<double, 4>> colour;
  std::vector<std::array<double, 4>> weight;
  // The light the occlusion test stopped, added in float in the literal
  // scatter's order: the literal cores' blockedWeights, bit for bit, when
  // this copy tests occlusion as they do. Zero on the uniform path.
  std::vector<Float4> blocked;
};

// The uniform path: every pixel gathered with size `size`.
ReferenceSums referenceUniformPass(const PassInputs &in, int size);

// The depth path: pass one scatters every pixel with |sizeMap|; pass two
// gathers afresh the pixels whose `deciding` blocked weight (A) is a tenth or
// more. `deciding` is the literal cores' blockedWeights, so that both cores
// and this copy re-gather the same pixels.
ReferenceSums referenceDepthPasses(const PassInputs &in,
                                   const Float4 *deciding);

}  // namespace lensfall::testing
