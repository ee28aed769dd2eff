// The passes of both paths over a whole frame, on the literal per-pixel
// cores or on the fast row-run cores that reproduce them.
#pragma once

#include "render/pass_inputs.h"

namespace lensfall {

// Which cores run the passes. The literal cores are the reference the fast
// ones are proven against (tests and benchmarks); frames use the fast ones.
enum class Cores { fast, literal };

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
