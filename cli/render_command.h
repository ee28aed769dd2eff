// lensfall render: rendered frames through the module's process callback.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lensfall::cli {

struct CameraFlags {
  double focalLengthMm = 0.0;  // 0: not given
  double sensorWidthMm = 36.0;
  double focusDistance = 0.0;  // 0: not given
};

struct RenderOptions {
  std::filesystem::path input;   // may hold a run of '#' for the frame number
  std::filesystem::path output;  // likewise
  std::optional<std::filesystem::path> scene;   // use its first instance
  std::optional<std::filesystem::path> camera;  // sidecar; default INPUT.json
  std::optional<std::filesystem::path> depth;   // separate depth image
  std::string depthChannel;                     // name of the depth channel
  std::string depthMeasure;                     // "planar", "distance" or ""
  CameraFlags cameraFlags;
  std::string frames;                 // "A-B" for sequences
  std::vector<std::string> settings;  // KEY=VALUE
  bool quiet = false;
  // Frames rendered at the same time, each by its own process; unset: one
  // per core. 1 renders in this process.
  std::optional<int> jobs;
  // The program's arguments after its name, to start worker processes with.
  std::vector<std::string> commandLine;
  // Set in a worker process started for --jobs: it renders the frames its
  // parent sends and reports on each, instead of the whole range.
  struct Worker {
    int index = 0;
    int taskFd = -1;    // frame numbers to render, from the parent
    int reportFd = -1;  // reports on them, to the parent
  };
  std::optional<Worker> worker;
};

// Thrown when the user stopped the render; the frames being rendered then
// were not written.
struct RenderStopped {};

// Reads the value of --render-worker, "INDEX,TASKFD,REPORTFD". Throws
// HostError if it is not that.
RenderOptions::Worker parseWorkerChannel(const std::string &text);

// The number of cores, at least 1: the default for RenderOptions::jobs.
int defaultJobs();

// Renders every frame of the sequence (or the one frame). A frame that fails
// is reported, naming its file, and the others are still rendered; returns 1
// if any frame was not written.
int renderFrames(const std::filesystem::path &modulePath,
                 const RenderOptions &options);

// Replaces the run of '#' in a path by the zero-padded frame number.
std::filesystem::path framePath(const std::filesystem::path &pattern,
                                int frame);

}  // namespace lensfall::cli
