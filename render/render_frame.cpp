// One frame's road: evaluate the settings at the frame's time, derive the
// camera, fill the source and depth, give every pixel its blur size, build
// the kernel bank, run the passes of the chosen path, write back, release.
#include "render/render_frame.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "hostlink/service_table.h"
#include "render/blur_size.h"
#include "render/camera.h"
#include "render/frame_fill.h"
#include "render/passes.h"
#include "render/tone.h"
#include "render/write_back.h"

namespace lensfall {

namespace {

double frameTime(int frame);
void initMonitor(const HostMonitor *monitor, unsigned int total);
bool stepStops(void *monitor);

// Owns the bank for the length of the call, so every way out releases it.
struct BankHolder {
  KernelBank bank;
  ~BankHolder() { releaseKernelBank(bank); }
};

}  // namespace

void renderFrame(FilterSettings &settings, const HostFilterAccess &access) {
  renderFrame(settings, access, FrameAllocation{});
}

void renderFrame(FilterSettings &settings, const HostFilterAccess &access,
                 const FrameAllocation &allocation) {
  renderFrame(settings, access, allocation, Cores::cheaper);
}

void renderFrame(FilterSettings &settings, const HostFilterAccess &access,
                 const FrameAllocation &allocation, Cores cores) {
  if (access.width <= 0 || access.height <= 0) return;

  // Evaluate: the animated settings at the frame's time, and the tone
  // constants of the power mean.
  settings.evalTime = frameTime(access.frame);
  evaluate(settings, settings.evalTime);
  settings.toneExponent = settings.strength + 2.5;
  settings.toneScale = toneScaleFor(settings.toneExponent);

  // Buffers: a frame that cannot have them is left as the host rendered it.
  // The uniform path has one size and no occlusion: it needs no depth, no
  // size map and no stopped light.
  FrameBuffers buffers;
  const BufferSet set =
      settings.useDepth != 0 ? BufferSet::all : BufferSet::uniformPath;
  if (!buffers.allocate(access.width, access.height, allocation.buffers, set)) {
    return;
  }

  // Camera, fill and sizes.
  updateCamera(settings);
  const ToneCurve curve = fillSource(access, buffers, settings.toneExponent);
  // Only the depth path reads the depths and the sizes.
  if (settings.useDepth != 0) {
    fillDepth(access, buffers);
    buildSizeMap(settings, buffers.width, buffers.height, buffers.depth,
                 buffers.sizeMap);
  }

  // Bank: built before the passes, since rasterising sets kernelIsColor.
  BankHolder held{BuildKernelBank(settings, allocation.bank)};
  if (held.bank.count <= 0) return;

  // Passes, all reading this record: with several instances the most
  // recently created one is another instance's (or already released).
  // Kernels the occlusion test needs beyond the bank are drawn once per size
  // for the frame, and only as far as the scatter's window reaches.
  FallbackKernels fallback(held.bank.entries[held.bank.count - 1].size / 2);
  const PassInputs in{buffers, held.bank, settings.kernelIsColor, settings,
                      &fallback};
  const HostMonitor *monitor = access.monitor;
  const RowProgress progress{monitor != nullptr ? stepStops : nullptr,
                             const_cast<HostMonitor *>(monitor)};
  bool finished;
  if (settings.useDepth != 0) {
    initMonitor(monitor, static_cast<unsigned int>(2 * buffers.height - 2));
    finished = runDepthPasses(in, cores, progress);
  } else {
    initMonitor(monitor, static_cast<unsigned int>(buffers.height - 1));
    finished = runUniformPass(in, uniformBlurSize(settings), cores, progress);
  }
  if (monitor != nullptr && monitor->done != nullptr) {
    monitor->done(monitor->data);
  }

  // Write-back, skipped when the user stopped the frame. Release follows as
  // the buffers and the bank go out of scope.
  if (finished) writeBack(access, buffers, curve);
}

namespace {

double frameTime(int frame) {
  const HostSceneInfo *scene = services.sceneInfo;
  const double fps = scene != nullptr ? scene->framesPerSecond : 0.0;
  return fps > 0.0 && std::isfinite(fps) ? frame / fps : 0.0;
}

// The monitor's side of a pass: the total given to init is one less than the
// rows of each pass, and every row sends one step of 1 (stepStops: true when
// the user asked to stop).
void initMonitor(const HostMonitor *monitor, unsigned int total) {
  if (monitor != nullptr && monitor->init != nullptr) {
    monitor->init(monitor->data, total);
  }
}

bool stepStops(void *data) {
  const auto *monitor = static_cast<const HostMonitor *>(data);
  return monitor->step != nullptr && monitor->step(monitor->data, 1) == 1;
}

}  // namespace

}  // namespace lensfall
