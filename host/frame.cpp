#include "host/frame.h"

#include "host/host_error.h"

namespace lensfall::host {

Frame::Frame(int w, int h) : width(w), height(h) {
  const size_t n = pixels();
  red.assign(n, 0.0f);
  green.assign(n, 0.0f);
  blue.assign(n, 0.0f);
  alpha.assign(n, 1.0f);
  resetOutput();
}

void Frame::resetOutput() {
  outRed = red;
  outGreen = green;
  outBlue = blue;
  outAlpha = alpha;
}

namespace {

// The call being made: the access record's functions take no context.
FrameCall *openCall = nullptr;

}  // namespace

float *FrameCall::getLine(int type, int y) {
  Frame &frame = openCall->frame_;
  if (y < 0 || y >= frame.height) return nullptr;
  std::vector<float> *plane = nullptr;
  switch (type) {
    case HOST_BUFFER_RED:
      plane = &frame.red;
      break;
    case HOST_BUFFER_GREEN:
      plane = &frame.green;
      break;
    case HOST_BUFFER_BLUE:
      plane = &frame.blue;
      break;
    case HOST_BUFFER_ALPHA:
      plane = &frame.alpha;
      break;
    case HOST_BUFFER_DEPTH:
      if (frame.depth.empty()) return nullptr;
      if (openCall->options_.missingDepthFromRow >= 0 &&
          y >= openCall->options_.missingDepthFromRow) {
        return nullptr;
      }
      plane = &frame.depth;
      break;
    default:
      return nullptr;
  }
  return plane->data() + size_t(y) * size_t(frame.width);
}

bool FrameCall::inside(int x, int y) {
  return x >= 0 && y >= 0 && x < openCall->frame_.width &&
         y < openCall->frame_.height;
}

void FrameCall::setRGB(int x, int y, const float rgb[3]) {
  if (!inside(x, y) || rgb == nullptr) return;
  Frame &frame = openCall->frame_;
  const size_t i = size_t(y) * size_t(frame.width) + size_t(x);
  frame.outRed[i] = rgb[0];
  frame.outGreen[i] = rgb[1];
  frame.outBlue[i] = rgb[2];
  openCall->colourSet_[i] = 1;
  ++openCall->report_.rgbWrites;
}

void FrameCall::setAlpha(int x, int y, float a) {
  if (!inside(x, y)) return;
  Frame &frame = openCall->frame_;
  const size_t i = size_t(y) * size_t(frame.width) + size_t(x);
  frame.outAlpha[i] = a;
  if (openCall->colourSet_[i] == 0) openCall->report_.alphaBeforeRgb = true;
  ++openCall->report_.alphaWrites;
}

void FrameCall::monitorInit(void *data, unsigned int total) {
  auto *report = static_cast<ProcessReport *>(data);
  report->initTotal = total;
  ++report->initCalls;
}

int FrameCall::monitorStep(void *data, unsigned int increment) {
  auto *report = static_cast<ProcessReport *>(data);
  report->steps += int(increment);
  const ProcessOptions &options = openCall->options_;
  if (options.onStep) options.onStep(report->steps, report->initTotal);
  const int stopAt = options.stopAfterSteps;
  const std::atomic<bool> *stop = options.stopRequested;
  if ((stopAt >= 0 && report->steps >= stopAt) ||
      (stop != nullptr && stop->load())) {
    report->stopped = true;
    return 1;
  }
  return 0;
}

void FrameCall::monitorDone(void *data) {
  ++static_cast<ProcessReport *>(data)->doneCalls;
}

FrameCall::FrameCall(Frame &frame, const ProcessOptions &options)
    : frame_(frame), options_(options) {
  if (openCall != nullptr) throw HostError("a frame is already processing");
  if (frame.red.size() != frame.pixels() ||
      frame.green.size() != frame.pixels() ||
      frame.blue.size() != frame.pixels() ||
      frame.alpha.size() != frame.pixels() ||
      (!frame.depth.empty() && frame.depth.size() != frame.pixels())) {
    throw HostError("the frame's planes do not match its size");
  }
  report_.monitorPresent = options.withMonitor;
  colourSet_.assign(frame.pixels(), 0);
  frame.resetOutput();
  monitor_ = {&report_, monitorInit, monitorStep, monitorDone};
  access_ = {frame.width,
             frame.height,
             options.frameNumber,
             options.frameStart,
             options.frameEnd,
             getLine,
             setRGB,
             setAlpha,
             options.withMonitor ? &monitor_ : nullptr};
  openCall = this;
}

FrameCall::~FrameCall() { openCall = nullptr; }

ProcessReport processFrame(FilterHost &filter, HostInstance instance,
                           Frame &frame, const ProcessOptions &options) {
  FrameCall call(frame, options);
  if (filter.handler().process != nullptr) {
    filter.handler().process(instance, call.access());
  }
  return call.report();
}

}  // namespace lensfall::host
