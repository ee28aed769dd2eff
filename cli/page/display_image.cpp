#include "cli/page/display_image.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "hostlink/check.h"

namespace lensfall::cli {

namespace {

// The sRGB transfer curve and its inverse, on values in 0..1.
double srgbFromLinear(double v) {
  return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}
double linearFromSrgb(double v) {
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// The codes are found from two tables made once. thresholds[k] is the
// least float whose code is k + 1, that is whose sRGB value reaches
// (k + 0.5) / 255: the inverse curve gives it to within a float step, and
// the steps to either side settle it exactly. start[i] is the code of
// i / kBins; the bins are narrow enough that a value lies at most a
// threshold or two above its bin's start, so a code costs a multiply and a
// comparison or two instead of a power.
constexpr int kBins = 4096;

struct CodeTables {
  std::array<float, 255> thresholds{};
  std::array<uint8_t, kBins + 1> start{};
};

const CodeTables &codeTables() {
  static const CodeTables tables = [] {
    CodeTables made;
    for (size_t k = 0; k < made.thresholds.size(); ++k) {
      const double boundary = (double(k) + 0.5) / 255.0;
      const auto reaches = [&](float v) {
        return srgbFromLinear(v) >= boundary;
      };
      float t = float(linearFromSrgb(boundary));
      while (!reaches(t)) t = std::nextafter(t, 2.0f);
      while (reaches(std::nextafter(t, 0.0f))) t = std::nextafter(t, 0.0f);
      made.thresholds[k] = t;
    }
    for (int i = 0; i <= kBins; ++i) {
      const float v = float(i) / float(kBins);
      made.start[size_t(i)] = uint8_t(
          std::upper_bound(made.thresholds.begin(), made.thresholds.end(), v) -
          made.thresholds.begin());
    }
    return made;
  }();
  return tables;
}

}  // namespace

uint8_t srgbCode(float linear) {
  if (!(linear > 0.0f)) return 0;  // also not-a-number
  if (linear >= 1.0f) return 255;
  const CodeTables &tables = codeTables();
  // Exact: multiplying by a power of two only moves the exponent.
  size_t code = tables.start[size_t(linear * float(kBins))];
  while (code < tables.thresholds.size() && linear >= tables.thresholds[code])
    ++code;
  return uint8_t(code);
}

Region regionInside(Region wanted, int frameWidth, int frameHeight) {
  Region region;
  region.width = std::clamp(wanted.width, 0, frameWidth);
  region.height = std::clamp(wanted.height, 0, frameHeight);
  region.x = std::clamp(wanted.x, 0, frameWidth - region.width);
  region.y = std::clamp(wanted.y, 0, frameHeight - region.height);
  return region;
}

std::vector<uint8_t> displayPixels(const host::Frame &frame, Planes planes,
                                   double stops, Region region) {
  LENSFALL_DCHECK(region == regionInside(region, frame.width, frame.height));
  const bool input = planes == Planes::Input;
  const auto output = frame.outputPlanes();
  const std::vector<float> *channels[3] = {input ? &frame.red : output[0],
                                           input ? &frame.green : output[1],
                                           input ? &frame.blue : output[2]};
  const float gain = float(std::exp2(stops));
  std::vector<uint8_t> rgb(size_t(region.width) * size_t(region.height) * 3);
  uint8_t *out = rgb.data();
  for (int y = region.y; y < region.y + region.height; ++y) {
    const size_t row = size_t(y) * size_t(frame.width);
    for (int x = region.x; x < region.x + region.width; ++x) {
      for (const std::vector<float> *channel : channels) {
        *out++ = srgbCode((*channel)[row + size_t(x)] * gain);
      }
    }
  }
  return rgb;
}

host::Frame reducedFrame(const host::Frame &frame, int maxWidth) {
  if (frame.width <= maxWidth || frame.width <= 0) return frame;
  const int width = maxWidth;
  const int height =
      std::max(1, int(std::lround(double(frame.height) * width / frame.width)));
  host::Frame reduced(width, height);
  const bool depth = !frame.depth.empty();
  if (depth) reduced.depth.resize(reduced.pixels());
  for (int y = 0; y < height; ++y) {
    const int sy =
        std::min(frame.height - 1, int((y + 0.5) * frame.height / height));
    for (int x = 0; x < width; ++x) {
      const int sx =
          std::min(frame.width - 1, int((x + 0.5) * frame.width / width));
      const size_t from = size_t(sy) * frame.width + sx;
      const size_t to = size_t(y) * width + x;
      reduced.red[to] = frame.red[from];
      reduced.green[to] = frame.green[from];
      reduced.blue[to] = frame.blue[from];
      reduced.alpha[to] = frame.alpha[from];
      if (depth) reduced.depth[to] = frame.depth[from];
    }
  }
  reduced.resetOutput();
  return reduced;
}

}  // namespace lensfall::cli
