// The passes of both paths over a whole frame, on the literal per-pixel
// cores or on the fast row-run cores that reproduce them.
#pragma once

#include "render/pass_inputs.h"

namespace lensfall {

// Which cores run the passes. The literal cores are the reference the fast
// ones are proven against (tests and benchmarks). Frames take whichever of
// the two is cheaper for their sizes (`cheaper`): the fast cores pay per
// kernel row what the literal ones pay per kernel cell, so a frame of small
// sizes is quicker on the literal cores.
enum class Cores { fast, literal, cheaper };

// The cores `cheaper` picks for the inputs' sizes: the uniform path's one
// size when `uniformSize` > 0, else every pixel's size in the size map.
Cores cheaperCores(const PassInputs &in, int uniformSize);

// Called once after every row of every pass; true asks the passes to stop.
struct RowProgress {
  bool (*step)(void *data) = nullptr;
  void *data = nullptr;
  bool stop() const { return step != nullptr && step(data); }
};

// The uniform path: every pixel gathered with kernel size `size`. Returns
// false when stopped.
bool runUniformPass(const PassInputs &in, int size, Cores cores,
                    RowProgress progress = {});

// The depth path: pass one scatters every pixel with |sizeMap|, pass two
// gathers afresh the pixels that stopped a tenth or more of some light.
// Returns false when stopped.
bool runDepthPasses(const PassInputs &in, Cores cores,
                    RowProgress progress = {});

}  // namespace lensfall
