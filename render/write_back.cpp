#include "render/write_back.h"

#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "render/float_memo.h"

namespace lensfall {

float outputChannel(const ToneCurve &curve, float colourSum, float weightSum,
                    float source) {
  if (weightSum > 0.0f && std::isfinite(weightSum) &&
      std::isfinite(colourSum)) {
    const double value =
        curve.decode(static_cast<double>(colourSum) / weightSum);
    if (std::isfinite(value)) return static_cast<float>(value);
  }
  return static_cast<float>(curve.decode(source));
}

namespace {

// A channel whose mean is a float of its own: a sharp pixel (weight exactly
// 1) or one that no light reached.
bool ownValue(float weight) { return weight == 1.0f || !(weight > 0.0f); }

// The float a channel of its own decodes: its sum where that is its value,
// else the pixel's source.
float ownMean(float colour, float weight, float source) {
  return weight == 1.0f && std::isfinite(colour) ? colour : source;
}

}  // namespace

void writeBack(const HostFilterAccess &access, const FrameBuffers &buffers,
               const ToneCurve &curve) {
  // Every mean of a row is decoded together, four to a vector, where that
  // settles its float (NaN in `quick` where it does not). The rest take the
  // exact route, a mean that is a float itself once per value.
  auto memo = std::make_unique<FloatMemo<float>>();
  auto decode = [&](float mean) {
    return static_cast<float>(curve.decode(mean));
  };
  const std::size_t rowValues = 4 * static_cast<std::size_t>(buffers.width);
  std::vector<double> means(rowValues);
  std::vector<float> quick(rowValues);
  for (int y = 0; y < buffers.height; ++y) {
    const std::size_t row = static_cast<std::size_t>(y) * buffers.width;
    const Float4 *colours = buffers.colourSums + row;
    const Float4 *weights = buffers.weightSums + row;
    const Float4 *sources = buffers.source + row;
    for (int x = 0; x < buffers.width; ++x) {
      for (int k = 0; k < 4; ++k) {
        const float colour = colours[x].c[k];
        const float weight = weights[x].c[k];
        double mean = NAN;
        if (ownValue(weight)) {
          mean = ownMean(colour, weight, sources[x].c[k]);
        } else if (std::isfinite(weight) && std::isfinite(colour)) {
          mean = static_cast<double>(colour) / weight;
        }
        means[4 * static_cast<std::size_t>(x) + k] = mean;
      }
    }
    curve.quickDecodeAll(means.data(), quick.data(), rowValues);
    for (int x = 0; x < buffers.width; ++x) {
      const Float4 &colour = colours[x];
      const Float4 &weight = weights[x];
      const Float4 &source = sources[x];
      float out[4];
      for (int k = 0; k < 4; ++k) {
        const float settled = quick[4 * static_cast<std::size_t>(x) + k];
        if (!std::isnan(settled)) {
          out[k] = settled;
          continue;
        }
        if (ownValue(weight.c[k])) {
          const float value =
              (*memo)(ownMean(colour.c[k], weight.c[k], source.c[k]), decode);
          if (std::isfinite(value)) {
            out[k] = value;
            continue;
          }
        }
        out[k] = outputChannel(curve, colour.c[k], weight.c[k], source.c[k]);
      }
      if (access.setRGB != nullptr) access.setRGB(x, y, out);
      if (access.setAlpha != nullptr) access.setAlpha(x, y, out[3]);
    }
  }
}

}  // namespace lensfall
