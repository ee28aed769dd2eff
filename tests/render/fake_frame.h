// A frame held in memory behind a filter access record, with a monitor that
// records what the renderer reports, for in-process renderer tests.
#pragma once

#include <memory>
#include <vector>

#include "host/services.h"
#include "hostapi/filter.h"
#include "settings/filter_settings.h"

namespace lensfall::testing {

struct FakeFrame {
  FakeFrame(int width, int height, float value = 0.5f, float depth = 10.0f);
  ~FakeFrame();

  int width;
  int height;
  std::vector<float> channels[4];  // R, G, B, A, row-major
  std::vector<float> depth;
  int depthRows;  // rows served for type 12; the rest come back null

  std::vector<float> outRGBA;  // what setRGB and setAlpha stored
  int rgbCalls = 0;
  int alphaCalls = 0;
  bool alphaBeforeRGB = false;

  bool withMonitor = true;
  int stopAtStep = -1;  // the step (counted from 1) that answers 1
  std::vector<unsigned int> inits;
  int steps = 0;
  int dones = 0;

  void setAll(int channel, float value);
  float &at(int channel, int x, int y) {
    return channels[channel][y * width + x];
  }
  float out(int channel, int x, int y) const {
    return outRGBA[4 * (y * width + x) + channel];
  }
  HostFilterAccess access();

 private:
  HostMonitor monitor_{};
};

// The stand-in host's services installed into the module's table, with a
// 50 mm camera focused at 10 units, and one settings record.
class RenderHost {
 public:
  explicit RenderHost(int frameWidth);
  ~RenderHost();
  FilterSettings &settings() { return *settings_; }
  host::HostServices &host() { return host_; }
  // Sets an animated value through its parameter, as a user would.
  void set(HostVParmID FilterSettings::*param, double value);

 private:
  host::HostServices host_;
  FilterSettings *settings_ = nullptr;
};

}  // namespace lensfall::testing
