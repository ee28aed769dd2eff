// What `lensfall render` was asked to do, as parsed from its command line.
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

// How the depth values are to be read; empty fields are not given.
struct DepthFlags {
  std::string measure;     // planar or distance
  std::string range;       // NEAR:FAR, for normalised maps
  std::string map;         // linear or inverse, for normalised maps
  std::string nearEnd;     // white or black: the map's near end
  std::string background;  // the value of pixels with nothing in them
};

struct RenderOptions {
  std::filesystem::path input;   // may hold a run of '#' for the frame number
  std::filesystem::path output;  // likewise
  std::optional<std::filesystem::path> scene;   // use its first instance
  std::optional<std::filesystem::path> camera;  // sidecar; default INPUT.json
  std::optional<std::filesystem::path> depth;   // separate depth image
  std::string depthChannel;                     // name of the depth channel
  std::string channels;  // the beauty layer of a multilayer file
  DepthFlags depthFlags;
  std::string colorspace;        // of the input's colour; empty: its own
  std::string outputColorspace;  // of an integer output; empty: default
  CameraFlags cameraFlags;
  std::string frames;                 // "A-B" for sequences
  std::vector<std::string> settings;  // KEY=VALUE
  bool quiet = false;
  bool skipExisting = false;  // frames whose output exists are not rendered
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

}  // namespace lensfall::cli
