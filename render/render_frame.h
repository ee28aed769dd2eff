// The process callback: one rendered frame in, depth of field out.
#pragma once

#include "hostapi/filter.h"
#include "kernels/kernel_bank.h"
#include "render/frame_buffers.h"
#include "render/passes.h"
#include "settings/filter_settings.h"

namespace lensfall {

// Renders the frame that `access` holds with the instance `settings` and
// writes it back through the host; nothing when the user stops it or memory
// cannot be had.
void renderFrame(FilterSettings &settings, const HostFilterAccess &access);

// The allocations a frame is made with; null uses the ordinary ones. Tests
// pass failing ones to reach the failure paths.
struct FrameAllocation {
  BlockAllocation buffers = nullptr;
  ZeroedAllocation bank = nullptr;
};

void renderFrame(FilterSettings &settings, const HostFilterAccess &access,
                 const FrameAllocation &allocation);

// The same frame on the chosen cores: the literal ones are the reference
// that tests and benchmarks hold the fast ones to.
void renderFrame(FilterSettings &settings, const HostFilterAccess &access,
                 const FrameAllocation &allocation, Cores cores);

}  // namespace lensfall
