// A rendered frame as the stand-in host holds it while a filter processes
// it: colour, alpha and depth planes in, the filter's output planes out, and
// the filter access record that serves them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "host/filter_host.h"
#include "hostapi/filter.h"

namespace lensfall::host {

struct Frame {
  int width = 0;
  int height = 0;
  // Planes of width x height floats, top row first.
  std::vector<float> red, green, blue, alpha;
  std::vector<float> depth;  // empty: the host has no depth buffer
  // The filter's output: a copy of the input in which the pixels the filter
  // set hold its values. A frame made by size starts with the copy; a frame
  // read from a file has none until a process call makes it.
  std::vector<float> outRed, outGreen, outBlue, outAlpha;

  Frame() = default;
  Frame(int width, int height);
  size_t pixels() const { return size_t(width) * size_t(height); }
  // Copies the input planes to the output planes.
  void resetOutput();
  // Red, green, blue and alpha of the output; the input's while no process
  // call has made the output (a frame nothing filtered is its own output).
  std::array<const std::vector<float> *, 4> outputPlanes() const;
};

// What a filter did with the monitor and the output during one call.
struct ProcessReport {
  bool monitorPresent = true;
  unsigned int initTotal = 0;
  int initCalls = 0;
  int steps = 0;
  int doneCalls = 0;
  bool stopped = false;  // the stop was asked for
  long rgbWrites = 0;
  long alphaWrites = 0;
  bool alphaBeforeRgb = false;  // some pixel got alpha before its colour
};

struct ProcessOptions {
  bool withMonitor = true;
  int stopAfterSteps = -1;  // -1 never asks to stop
  // When set and true at a step, the monitor asks the filter to stop.
  const std::atomic<bool> *stopRequested = nullptr;
  int missingDepthFromRow = -1;  // rows from here on have no depth
  // Called after every step with (steps so far, total given to init).
  std::function<void(int, unsigned int)> onStep;
  int frameNumber = 0;
  double frameStart = 0.0;
  double frameEnd = 0.0;
};

// One process call over a frame, as a host makes it: the filter access
// record that serves the frame's rows and takes its output, with a monitor
// that follows the options, and the report of what the filter did. The
// output planes are made a copy of the input at the filter's first write,
// or when the call ends if it wrote nothing: a filter frees its work memory
// before it writes back, and the copy then reuses it rather than adding
// fresh pages to the frame's peak. The record's functions take no context,
// as a host's do, so only one call may be open at a time.
class FrameCall {
 public:
  // Throws HostError when another call is open or the frame's planes do not
  // match its size.
  explicit FrameCall(Frame &frame, const ProcessOptions &options = {});
  ~FrameCall();
  FrameCall(const FrameCall &) = delete;
  FrameCall &operator=(const FrameCall &) = delete;

  const HostFilterAccess *access() const { return &access_; }
  const ProcessReport &report() const { return report_; }

 private:
  Frame &frame_;
  ProcessOptions options_;
  ProcessReport report_;
  std::vector<uint8_t> colourSet_;  // pixels whose colour has been set
  // The output planes are made, or could not be (the writes are dropped).
  enum class Output { pending, made, lost } output_ = Output::pending;
  HostMonitor monitor_{};
  HostFilterAccess access_{};

  // The access record's and the monitor's functions; they reach the open
  // call through a pointer of the file that defines them.
  static float *getLine(int type, int y);
  static bool inside(int x, int y);
  // Makes the output planes on first use; false when there is no memory.
  bool makeOutput();
  static void setRGB(int x, int y, const float rgb[3]);
  static void setAlpha(int x, int y, float alpha);
  static void monitorInit(void *data, unsigned int total);
  static int monitorStep(void *data, unsigned int increment);
  static void monitorDone(void *data);
};

// Runs the filter's process callback over the frame. Throws HostError when
// there was no memory for the output (the call leaves its planes empty).
ProcessReport processFrame(FilterHost &filter, HostInstance instance,
                           Frame &frame, const ProcessOptions &options = {});

}  // namespace lensfall::host
