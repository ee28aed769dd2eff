#include "tests/render/render_host.h"

#include <gtest/gtest.h>

#include "hostlink/service_table.h"
#include "settings/lifecycle.h"

namespace lensfall::testing {

RenderHost::RenderHost(int frameWidth) {
  host_.scene().width = frameWidth;
  host_.scene().setCamera(HostCameraLens{});
  host_.sceneChanged();
  EXPECT_TRUE(acquireServices(host_.lookup()));
  const char *error = nullptr;
  settings_ = createSettings(&error);
  EXPECT_NE(settings_, nullptr) << (error != nullptr ? error : "");
}

RenderHost::~RenderHost() { destroySettings(settings_); }

void RenderHost::set(HostVParmID FilterSettings::*param, double value) {
  (settings_->*param)->value = value;
}

host::Frame uniformFrame(int width, int height, float value, float depth) {
  host::Frame frame(width, height);
  frame.red.assign(frame.pixels(), value);
  frame.green.assign(frame.pixels(), value);
  frame.blue.assign(frame.pixels(), value);
  frame.depth.assign(frame.pixels(), depth);
  return frame;
}

std::vector<float> &inputPlane(host::Frame &frame, int k) {
  std::vector<float> *planes[] = {&frame.red, &frame.green, &frame.blue,
                                  &frame.alpha};
  return *planes[k];
}

const std::vector<float> &outputPlane(const host::Frame &frame, int k) {
  const std::vector<float> *planes[] = {&frame.outRed, &frame.outGreen,
                                        &frame.outBlue, &frame.outAlpha};
  return *planes[k];
}

std::vector<float> outputRGBA(const host::Frame &frame) {
  std::vector<float> rgba;
  rgba.reserve(4 * frame.pixels());
  for (size_t i = 0; i < frame.pixels(); ++i) {
    for (int k = 0; k < 4; ++k) rgba.push_back(outputPlane(frame, k)[i]);
  }
  return rgba;
}

host::ProcessReport renderOn(FilterSettings &settings, host::Frame &frame,
                             const host::ProcessOptions &options,
                             const FrameAllocation &allocation, Cores cores) {
  host::FrameCall call(frame, options);
  renderFrame(settings, *call.access(), allocation, cores);
  return call.report();
}

}  // namespace lensfall::testing
