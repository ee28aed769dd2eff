#include "render/frame_fill.h"

#include <cmath>
#include <cstddef>
#include <memory>

#include "render/float_memo.h"

namespace lensfall {

ToneCurve fillSource(const HostFilterAccess &access, FrameBuffers &buffers,
                     double exponent) {
  const int width = buffers.width;
  const int types[4] = {HOST_BUFFER_RED, HOST_BUFFER_GREEN, HOST_BUFFER_BLUE,
                        HOST_BUFFER_ALPHA};
  const float missing[4] = {0.0f, 0.0f, 0.0f, 1.0f};

  // First the raw values, to find the brightest finite one: the curve is
  // chosen from it, and +infinity stands for it.
  double brightest = 0.0;
  for (int y = 0; y < buffers.height; ++y) {
    Float4 *row = buffers.source + static_cast<std::size_t>(y) * width;
    for (int k = 0; k < 4; ++k) {
      const float *line =
          access.getLine != nullptr ? access.getLine(types[k], y) : nullptr;
      for (int x = 0; x < width; ++x) {
        const float value = line != nullptr ? line[x] : missing[k];
        row[x].c[k] = value;
        if (std::isfinite(value) && value > brightest) brightest = value;
      }
    }
  }

  const ToneCurve curve = chooseToneCurve(exponent, brightest);
  const std::size_t pixels = static_cast<std::size_t>(width) * buffers.height;
  auto encode = [&](float value) {
    return curve.encode(cleanChannel(value, brightest));
  };
  // Sources from half floats hold up to 63 488 distinct finite values.
  auto memo = std::make_unique<FloatMemo<float, 16>>();
  for (std::size_t i = 0; i < pixels; ++i) {
    for (float &value : buffers.source[i].c) value = (*memo)(value, encode);
  }
  return curve;
}

void fillDepth(const HostFilterAccess &access, FrameBuffers &buffers) {
  const int width = buffers.width;
  bool rowsEnded = access.getLine == nullptr;
  for (int y = 0; y < buffers.height; ++y) {
    float *row = buffers.depth + static_cast<std::size_t>(y) * width;
    const float *line =
        rowsEnded ? nullptr : access.getLine(HOST_BUFFER_DEPTH, y);
    rowsEnded = line == nullptr;
    for (int x = 0; x < width; ++x) {
      const float d = rowsEnded ? kFarDepth : line[x];
      row[x] = std::isfinite(d) && d > 0.0f ? d : kFarDepth;
    }
  }
}

}  // namespace lensfall
