#include "host/frame.h"

#include <new>

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

std::array<const std::vector<float> *, 4> Frame::outputPlanes() const {
  if (outRed.size() != pixels() && red.size() == pixels()) {
    return {&red, &green, &blue, &alpha};
  }
  return {&outRed, &outGreen, &outBlue, &outAlpha};
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

bool FrameCall::makeOutput() {
  if (output_ == Output::pending) {
    try {
      frame_.resetOutput();
      output_ = Output::made;
    } catch (const std::bad_alloc &) {
      output_ = Output::lost;
    }
  }
  return output_ == Output::made;
}

bool FrameCall::inside(int x, int y) {
  return x >= 0 && y >= 0 && x < openCall->frame_.width &&
         y < openCall->frame_.height;
}

void FrameCall::setRGB(int x, int y, const float rgb[3]) {
  if (!inside(x, y) || rgb == nullptr || !openCall->makeOutput()) return;
  Frame &frame = openCall->frame_;
  const size_t i = size_t(y) * size_t(frame.width) + size_t(x);
  frame.outRed[i] = rgb[0];
  frame.outGreen[i] = rgb[1];
  frame.outBlue[i] = rgb[2];
  openCall->colourSet_[i] = 1;
  ++openCall->report_.rgbWrites;
}

void FrameCall::setAlpha(int x, int y, float a) {
  if (!inside(x, y) || !openCall->makeOutput()) return;
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

FrameCall::~FrameCall() {
  openCall = nullptr;
  // A filter that wrote nothing (stopped, or nothing to do) leaves the
  // input. Output planes that cannot be made are left empty, never stale
  // from an earlier call.
  if (!makeOutput()) {
    for (auto *plane : {&frame_.outRed, &frame_.outGreen, &frame_.outBlue,
                        &frame_.outAlpha}) {
      std::vector<float>().swap(*plane);
    }
  }
}

ProcessReport processFrame(FilterHost &filter, HostInstance instance,
                           Frame &frame, const ProcessOptions &options) {
  ProcessReport report;
  {
    FrameCall call(frame, options);
    if (filter.handler().process != nullptr) {
      filter.handler().process(instance, call.access());
    }
    report = call.report();
  }
  if (frame.outRed.size() != frame.pixels()) {
    throw HostError("there was no memory for the filter's output");
  }
  return report;
}

}  // namespace lensfall::host
