#include "tests/render/fake_frame.h"

#include <gtest/gtest.h>

#include <cmath>

#include "hostlink/service_table.h"
#include "settings/lifecycle.h"

namespace lensfall::testing {

namespace {

// getLine carries no context, so the frame being served is module-wide.
FakeFrame *served = nullptr;

float *getLine(int type, int y) {
  FakeFrame &f = *served;
  if (y < 0 || y >= f.height) return nullptr;
  if (type == HOST_BUFFER_DEPTH) {
    return y < f.depthRows ? f.depth.data() + y * f.width : nullptr;
  }
  if (type >= HOST_BUFFER_RED && type <= HOST_BUFFER_ALPHA) {
    return f.channels[type - HOST_BUFFER_RED].data() + y * f.width;
  }
  return nullptr;
}

void setRGB(int x, int y, const float rgb[3]) {
  FakeFrame &f = *served;
  ASSERT_TRUE(x >= 0 && x < f.width && y >= 0 && y < f.height);
  for (int k = 0; k < 3; ++k) f.outRGBA[4 * (y * f.width + x) + k] = rgb[k];
  ++f.rgbCalls;
}

void setAlpha(int x, int y, float alpha) {
  FakeFrame &f = *served;
  ASSERT_TRUE(x >= 0 && x < f.width && y >= 0 && y < f.height);
  if (std::isnan(f.outRGBA[4 * (y * f.width + x)])) f.alphaBeforeRGB = true;
  f.outRGBA[4 * (y * f.width + x) + 3] = alpha;
  ++f.alphaCalls;
}

void monitorInit(void *data, unsigned int total) {
  static_cast<FakeFrame *>(data)->inits.push_back(total);
}

int monitorStep(void *data, unsigned int increment) {
  auto &f = *static_cast<FakeFrame *>(data);
  EXPECT_EQ(increment, 1u);
  ++f.steps;
  return f.steps == f.stopAtStep ? 1 : 0;
}

void monitorDone(void *data) { ++static_cast<FakeFrame *>(data)->dones; }

}  // namespace

FakeFrame::FakeFrame(int w, int h, float value, float d)
    : width(w), height(h), depthRows(h) {
  for (auto &channel : channels) channel.assign(w * h, value);
  channels[3].assign(w * h, 1.0f);
  depth.assign(w * h, d);
  outRGBA.assign(4 * w * h, NAN);
}

FakeFrame::~FakeFrame() {
  if (served == this) served = nullptr;
}

void FakeFrame::setAll(int channel, float value) {
  channels[channel].assign(width * height, value);
}

HostFilterAccess FakeFrame::access() {
  served = this;
  monitor_ = {this, monitorInit, monitorStep, monitorDone};
  return {width,  height,   0,
          0.0,    0.0,      getLine,
          setRGB, setAlpha, withMonitor ? &monitor_ : nullptr};
}

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

}  // namespace lensfall::testing
