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

// The filter access record's functions take no context, as a host's do; the
// frame being processed is reached through this for the duration of a call.
struct ActiveCall {
  Frame *frame = nullptr;
  const ProcessOptions *options = nullptr;
  ProcessReport *report = nullptr;
  std::vector<uint8_t> colourSet;
};
ActiveCall *activeCall = nullptr;

float *getLine(int type, int y) {
  Frame &frame = *activeCall->frame;
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
      if (activeCall->options->missingDepthFromRow >= 0 &&
          y >= activeCall->options->missingDepthFromRow) {
        return nullptr;
      }
      plane = &frame.depth;
      break;
    default:
      return nullptr;
  }
  return plane->data() + size_t(y) * size_t(frame.width);
}

bool inside(int x, int y) {
  return x >= 0 && y >= 0 && x < activeCall->frame->width &&
         y < activeCall->frame->height;
}

void setRGB(int x, int y, const float rgb[3]) {
  if (!inside(x, y) || rgb == nullptr) return;
  Frame &frame = *activeCall->frame;
  const size_t i = size_t(y) * size_t(frame.width) + size_t(x);
  frame.outRed[i] = rgb[0];
  frame.outGreen[i] = rgb[1];
  frame.outBlue[i] = rgb[2];
  activeCall->colourSet[i] = 1;
  ++activeCall->report->rgbWrites;
}

void setAlpha(int x, int y, float a) {
  if (!inside(x, y)) return;
  Frame &frame = *activeCall->frame;
  const size_t i = size_t(y) * size_t(frame.width) + size_t(x);
  frame.outAlpha[i] = a;
  if (activeCall->colourSet[i] == 0) activeCall->report->alphaBeforeRgb = true;
  ++activeCall->report->alphaWrites;
}

void monitorInit(void *data, unsigned int total) {
  auto *report = static_cast<ProcessReport *>(data);
  report->initTotal = total;
  ++report->initCalls;
}

int monitorStep(void *data, unsigned int increment) {
  auto *report = static_cast<ProcessReport *>(data);
  report->steps += int(increment);
  if (activeCall->options->onStep) {
    activeCall->options->onStep(report->steps, report->initTotal);
  }
  const int stopAt = activeCall->options->stopAfterSteps;
  const std::atomic<bool> *stop = activeCall->options->stopRequested;
  if ((stopAt >= 0 && report->steps >= stopAt) ||
      (stop != nullptr && stop->load())) {
    report->stopped = true;
    return 1;
  }
  return 0;
}

void monitorDone(void *data) {
  ++static_cast<ProcessReport *>(data)->doneCalls;
}

}  // namespace

ProcessReport processFrame(FilterHost &filter, HostInstance instance,
                           Frame &frame, const ProcessOptions &options) {
  if (activeCall != nullptr) throw HostError("a frame is already processing");
  if (frame.red.size() != frame.pixels() ||
      frame.green.size() != frame.pixels() ||
      frame.blue.size() != frame.pixels() ||
      frame.alpha.size() != frame.pixels() ||
      (!frame.depth.empty() && frame.depth.size() != frame.pixels())) {
    throw HostError("the frame's planes do not match its size");
  }
  ProcessReport report;
  report.monitorPresent = options.withMonitor;
  ActiveCall call{&frame, &options, &report,
                  std::vector<uint8_t>(frame.pixels(), 0)};
  frame.resetOutput();
  HostMonitor monitor{&report, monitorInit, monitorStep, monitorDone};
  HostFilterAccess access{frame.width,
                          frame.height,
                          options.frameNumber,
                          options.frameStart,
                          options.frameEnd,
                          getLine,
                          setRGB,
                          setAlpha,
                          options.withMonitor ? &monitor : nullptr};
  activeCall = &call;
  if (filter.handler().process != nullptr) {
    filter.handler().process(instance, &access);
  }
  activeCall = nullptr;
  return report;
}

}  // namespace lensfall::host
