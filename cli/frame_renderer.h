// Rendering the frames of a shot one at a time: the module loaded once in a
// host session with the scene and the filter instance the options describe,
// and every frame read with its own sidecar (camera, objects, channels,
// depth convention), filtered and written.
//
// A frame's camera and object positions come from its sidecar when it has
// one: that is the renderer's record of the frame. Without one they come
// from the scene file, evaluated at the frame's time, or from the camera
// options. A scene file always gives the filter instance and its images.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/depth_flags.h"
#include "cli/frame_numbers.h"
#include "cli/progress_bar.h"
#include "cli/render_options.h"
#include "host/host_error.h"
#include "host/session.h"

namespace lensfall::cli {

// A problem of one frame only (its input cannot be read or has no depth, its
// sidecar is wrong, its output cannot be written): the other frames of a
// sequence can still be rendered. Any other HostError is one every frame
// would have.
class FrameError : public host::HostError {
 public:
  using HostError::HostError;
};

// Thrown when the user stopped the render; the frames being rendered then
// were not written.
struct RenderStopped {};

// The files of one frame.
struct FramePaths {
  std::filesystem::path input;
  std::optional<std::filesystem::path> depth;
  std::optional<std::filesystem::path> sidecar;  // when there is one
  std::filesystem::path output;
};
FramePaths framePaths(const RenderOptions &options, int number);

// What became of one frame.
struct FrameDone {
  bool skipped = false;  // its output existed and --skip-existing was given
  std::filesystem::path input;
  std::filesystem::path output;
  int width = 0;
  int height = 0;
  double seconds = 0.0;
  std::vector<std::string> warnings;  // worth telling the user once
};

class FrameRenderer {
 public:
  // Loads the module and the scene, and makes the filter instance. Throws
  // HostError for what would fail every frame.
  FrameRenderer(const std::filesystem::path &modulePath,
                const RenderOptions &options, const FrameRange &range);

  // Renders frame `number` and writes its output. Throws FrameError for a
  // problem of this frame, HostError for one every frame would have, and
  // RenderStopped when asked to stop (nothing is written then).
  FrameDone render(int number, ProgressBar &progress);

 private:
  void placeCamera(const FramePaths &paths,
                   const std::optional<host::Sidecar> &sidecar,
                   const host::Frame &frame, int number, FrameDone &done);
  void applySettingsOnce();
  FrameDone renderFrame(const FramePaths &paths, int number,
                        ProgressBar &progress);

  const RenderOptions &options_;
  FrameRange range_;
  DepthChoice depth_;
  host::Session session_;
  HostInstance instance_{};
  std::vector<std::string> settings_;
  bool settingsPending_ = false;
  int sceneFileFrame_ = 0;  // the frame a scene file was saved at
};

// Roughly the memory a frame of this size needs, in bytes: the host's planes
// and the filter's work buffers.
double frameMemoryBytes(int width, int height);

}  // namespace lensfall::cli
