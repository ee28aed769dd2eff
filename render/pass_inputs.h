// What the per-pixel cores of both paths read and add into.
#pragma once

#include <algorithm>

#include "kernels/fallback_kernels.h"
#include "kernels/kernel_bank.h"
#include "render/frame_buffers.h"
#include "settings/filter_settings.h"

namespace lensfall {

struct PassInputs {
  FrameBuffers &buffers;
  const KernelBank &bank;  // never empty while a pass runs
  int kernelIsColor;       // 0: one byte per cell; 1: R, G, B per cell
  // The record being processed: its lens values drive the occlusion
  // geometry and its aperture draws the kernels the bank lacks. Never
  // another instance's record, whatever the module last created.
  FilterSettings &settings;
  // The frame's store of kernels beyond the bank; none draws them per call.
  FallbackKernels *fallback = nullptr;
};

// The size a core actually uses for a requested size n: at least 1 and at
// most the bank's largest, whose kernel and window then stand in.
inline int bankedSize(const KernelBank &bank, int n) {
  const int largest = bank.count > 0 ? bank.entries[bank.count - 1].size : 1;
  return std::clamp(n, 1, largest);
}

}  // namespace lensfall
