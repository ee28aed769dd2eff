// In-process renderer tests: the stand-in host's services installed into the
// module's table with one settings record, and frames served to renderFrame
// through the host's own frame call.
#pragma once

#include <vector>

#include "host/frame.h"
#include "host/services.h"
#include "render/render_frame.h"
#include "settings/filter_settings.h"

namespace lensfall::testing {

// The host's services with a 50 mm camera focused at 10 units, and one
// settings record.
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

// A frame of one colour: red, green and blue `value`, alpha 1, and `depth`
// everywhere.
host::Frame uniformFrame(int width, int height, float value = 0.5f,
                         float depth = 10.0f);

// Plane `k` of a frame (0 red, 1 green, 2 blue, 3 alpha): its input, which
// tests may change, and its output.
std::vector<float> &inputPlane(host::Frame &frame, int k);
const std::vector<float> &outputPlane(const host::Frame &frame, int k);

// The output as red, green, blue and alpha of each pixel in turn.
std::vector<float> outputRGBA(const host::Frame &frame);

// Renders the frame with `settings` through a host's frame call, and says
// what the renderer did with the monitor and the output.
host::ProcessReport renderOn(FilterSettings &settings, host::Frame &frame,
                             const host::ProcessOptions &options = {},
                             const FrameAllocation &allocation = {},
                             Cores cores = Cores::cheaper);

}  // namespace lensfall::testing
