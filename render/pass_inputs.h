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
  // another instance's record, whatever the module last created. The
  // passes only read it.
  const FilterSettings &settings;
  // The frame's store of kernels beyond the bank; none draws them per call.
  FallbackKernels *fallback = nullptr;
};

// The size a core actually uses for a requested size n: at least 1 and at
// most the bank's largest, whose kernel and window then stand in.
inline int bankedSize(const KernelBank &bank, int n) {
  const int largest = bank.count > 0 ? bank.entries[bank.count - 1].size : 1;
  return std::clamp(n, 1, largest);
}

// The kernel a core applies around pixel (x, y) for a requested size, and
// the window of image pixels it covers: the square of the kernel's edge
// centred on the pixel, clipped to the image. A clipped kernel is not
// renormalised.
struct KernelWindow {
  const ApertureKernel *kernel;  // null: the bank has no kernel to use
  int size, half;
  int left, right, top, bottom;
};

inline KernelWindow kernelWindow(const PassInputs &in, int x, int y,
                                 int requested) {
  if (in.bank.count <= 0) return {};
  const int n = bankedSize(in.bank, requested);
  const int half = n / 2;
  const ApertureKernel &kernel = in.bank.entries[half];
  if (kernel.cells == nullptr || kernel.size != n) return {};
  const FrameBuffers &b = in.buffers;
  return {&kernel,
          n,
          half,
          std::max(0, x - half),
          std::min(b.width - 1, x + half),
          std::max(0, y - half),
          std::min(b.height - 1, y + half)};
}

}  // namespace lensfall
