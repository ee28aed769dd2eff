// Small frames with arbitrary colour, alpha and depth values and arbitrary
// settings, inside and outside the form's bounds, through the process
// callback. Every output channel must be finite, colour must come before
// alpha for each pixel, and the monitor's contract must hold.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "host/services.h"
#include "hostlink/service_table.h"
#include "render/render_frame.h"
#include "settings/lifecycle.h"

namespace {

using namespace lensfall;

struct FuzzFrame {
  int width = 0, height = 0;
  std::vector<float> planes[5];  // R, G, B, A, depth
  bool depthRows = true;
  int missingDepthFrom = -1;
  std::vector<uint8_t> colourSet;
  long writes = 0;
  // Monitor record.
  int initCalls = 0, stepsBeforeInit = 0, doneCalls = 0, steps = 0;
  unsigned int total = 0;
  int stopAt = -1;
};
FuzzFrame *current = nullptr;

float *getLine(int type, int y) {
  if (y < 0 || y >= current->height) __builtin_trap();
  int plane = -1;
  if (type >= HOST_BUFFER_RED && type <= HOST_BUFFER_ALPHA) {
    plane = type - HOST_BUFFER_RED;
  } else if (type == HOST_BUFFER_DEPTH) {
    if (!current->depthRows ||
        (current->missingDepthFrom >= 0 && y >= current->missingDepthFrom)) {
      return nullptr;
    }
    plane = 4;
  } else {
    return nullptr;
  }
  return current->planes[plane].data() + size_t(y) * size_t(current->width);
}

void setRGB(int x, int y, const float rgb[3]) {
  if (x < 0 || y < 0 || x >= current->width || y >= current->height) {
    __builtin_trap();
  }
  for (int k = 0; k < 3; ++k) {
    if (!std::isfinite(rgb[k])) __builtin_trap();
  }
  current->colourSet[size_t(y) * size_t(current->width) + size_t(x)] = 1;
  ++current->writes;
}

void setAlpha(int x, int y, float alpha) {
  if (x < 0 || y < 0 || x >= current->width || y >= current->height) {
    __builtin_trap();
  }
  if (!std::isfinite(alpha)) __builtin_trap();
  if (!current->colourSet[size_t(y) * size_t(current->width) + size_t(x)]) {
    __builtin_trap();
  }
}

void monitorInit(void *, unsigned int total) {
  ++current->initCalls;
  current->total = total;
}
int monitorStep(void *, unsigned int increment) {
  if (current->initCalls == 0) ++current->stepsBeforeInit;
  current->steps += int(increment);
  return current->stopAt >= 0 && current->steps >= current->stopAt ? 1 : 0;
}
void monitorDone(void *) { ++current->doneCalls; }

host::HostServices &fuzzHost() {
  static host::HostServices *services = [] {
    auto *created = new host::HostServices;
    created->scene().addObject("Focus");
    HostPixmap colour;
    colour.width = colour.height = 3;
    colour.pixelType = HOST_PIXEL_RGB24;
    colour.bytes = {255, 0, 0, 0,   255, 0, 0, 0, 255, 255, 0,   0, 0, 0,
                    0,   0, 0, 255, 9,   9, 9, 0, 255, 0,   255, 0, 0};
    created->scene().addImage("red", colour);
    acquireServices(created->lookup());
    return created;
  }();
  return *services;
}

double anyDouble(FuzzedDataProvider &input) {
  switch (input.ConsumeIntegralInRange<int>(0, 5)) {
    case 0:
      return input.ConsumeFloatingPointInRange<double>(-5.0, 15.0);
    case 1:
      return 0.0;
    case 2:
      return std::nan("");
    case 3:
      return input.ConsumeBool() ? INFINITY : -INFINITY;
    case 4:
      return input.ConsumeFloatingPointInRange<double>(-1e6, 1e6);
    default:
      return input.ConsumeFloatingPoint<double>();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  host::HostServices &host = fuzzHost();
  FuzzedDataProvider input(data, size);

  // The scene: camera values may be anything, including nonsense.
  HostCameraLens lens;
  lens.focalLengthMm = anyDouble(input);
  lens.focalDistance = anyDouble(input);
  lens.horizontalFov = anyDouble(input);
  lens.verticalFov = anyDouble(input);
  host.scene().setCamera(lens, {anyDouble(input), 0.0, 0.0});
  host.scene().objects.front()->position.constant = {0.0, anyDouble(input),
                                                     0.0};
  host.scene().framesPerSecond = input.ConsumeBool() ? 24.0 : anyDouble(input);
  host.scene().width = input.ConsumeIntegralInRange<int>(-2, 4000);
  host.sceneChanged();
  if (input.ConsumeIntegralInRange<int>(0, 15) == 0)
    host.scene().camera.reset();

  const char *error = nullptr;
  FilterSettings *settings = createSettings(&error);
  if (settings == nullptr) __builtin_trap();
  HostVParm *parms[] = {settings->strengthParam,       settings->backMaxParam,
                        settings->frontMaxParam,       settings->fNumberParam,
                        settings->noBlurDistanceParam, settings->rotationParam,
                        settings->deformParam};
  for (HostVParm *parm : parms) {
    if (input.ConsumeBool()) parm->value = anyDouble(input);
  }
  settings->useDepth = input.ConsumeIntegralInRange<int>(-1, 2);
  settings->keepFarSharp = input.ConsumeIntegralInRange<int>(0, 1);
  settings->frontBlur = input.ConsumeIntegralInRange<int>(0, 1);
  settings->backBlur = input.ConsumeIntegralInRange<int>(0, 1);
  settings->apertureShape = input.ConsumeIntegralInRange<int>(-1, 4);
  settings->vertexCount = input.ConsumeIntegralInRange<int>(-3, 40);
  if (input.ConsumeBool()) {
    settings->focusItem = host.scene().objects.front().get();
  }
  if (input.ConsumeBool()) {
    settings->apertureImage = host.scene().images.front().get();
  }

  FuzzFrame frame;
  frame.width = input.ConsumeIntegralInRange<int>(1, 48);
  frame.height = input.ConsumeIntegralInRange<int>(1, 48);
  frame.depthRows = input.ConsumeIntegralInRange<int>(0, 7) != 0;
  if (input.ConsumeIntegralInRange<int>(0, 7) == 0) {
    frame.missingDepthFrom = input.ConsumeIntegralInRange<int>(0, frame.height);
  }
  const bool withMonitor = input.ConsumeIntegralInRange<int>(0, 7) != 0;
  if (input.ConsumeIntegralInRange<int>(0, 7) == 0) {
    frame.stopAt = input.ConsumeIntegralInRange<int>(0, 2 * frame.height);
  }
  const size_t pixels = size_t(frame.width) * size_t(frame.height);
  for (auto &plane : frame.planes) {
    plane.resize(pixels);
    for (float &value : plane) {
      value = input.remaining_bytes() >= 4 ? input.ConsumeFloatingPoint<float>()
                                           : 0.5f;
    }
  }
  frame.colourSet.assign(pixels, 0);

  HostMonitor monitor{nullptr, monitorInit, monitorStep, monitorDone};
  HostFilterAccess access{
      frame.width, frame.height, 1,
      0.0,         0.0,          getLine,
      setRGB,      setAlpha,     withMonitor ? &monitor : nullptr};
  current = &frame;
  renderFrame(*settings, access);
  current = nullptr;

  if (withMonitor) {
    if (frame.initCalls > 1 || frame.stepsBeforeInit > 0) __builtin_trap();
    if (frame.initCalls == 1 && frame.doneCalls != 1) __builtin_trap();
    if (frame.steps > 2 * frame.height) __builtin_trap();
  }
  const bool stopped =
      frame.stopAt >= 0 && frame.steps >= frame.stopAt && frame.initCalls == 1;
  if (stopped && frame.writes != 0) __builtin_trap();
  destroySettings(settings);
  return 0;
}
