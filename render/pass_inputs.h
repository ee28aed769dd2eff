// What the per-pixel cores of both paths read and add into.
#pragma once

#include <algorithm>

#include "kernels/kernel_bank.h"
#include "render/frame_buffers.h"
#include "settings/filter_settings.h"

namespace lensfall {

struct PassInputs {
  FrameBuffers &buffers;
  const KernelBank &bank;  // never empty while a pass runs
  int kernelIsColor;       // 0: one byte per cell; 1: R, G, B per cell
  // The lens values the occlusion geometry reads.
  const FilterSettings &lens;
};

// The size a core actually uses for a requested size n: at least 1 and at
// most the bank's largest, whose kernel and window then stand in.
inline int bankedSize(const KernelBank &bank, int n) {
  const int largest = bank.count > 0 ? bank.entries[bank.count - 1].size : 1;
  return std::clamp(n, 1, largest);
}

}  // namespace lensfall
