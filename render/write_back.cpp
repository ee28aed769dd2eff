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

}  // namespace

void writeBack(const HostFilterAccess &access, const FrameBuffers &buffers,
               const ToneCurve &curve) {
  // A mean that is a float itself is decoded once per value.
  auto memo = std::make_unique<FloatMemo<float>>();
  auto decode = [&](float mean) {
    if (const auto quick = curve.quickDecode(mean)) return *quick;
    return static_cast<float>(curve.decode(mean));
  };
  // The other means of a row are decoded together, four to a vector, where
  // that settles their floats (NaN where it does not).
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
        const bool summed =
            !ownValue(weight) && std::isfinite(weight) && std::isfinite(colour);
        means[4 * static_cast<std::size_t>(x) + k] =
            summed ? static_cast<double>(colour) / weight : NAN;
      }
    }
    curve.quickDecodeAll(means.data(), quick.data(), rowValues);
    for (int x = 0; x < buffers.width; ++x) {
      const Float4 &colour = colours[x];
      const Float4 &weight = weights[x];
      const Float4 &source = sources[x];
      float out[4];
      for (int k = 0; k < 4; ++k) {
        if (ownValue(weight.c[k])) {
          const float mean = weight.c[k] == 1.0f && std::isfinite(colour.c[k])
                                 ? colour.c[k]
                                 : source.c[k];
          const float value = (*memo)(mean, decode);
          if (std::isfinite(value)) {
            out[k] = value;
            continue;
          }
        } else if (const float value =
                       quick[4 * static_cast<std::size_t>(x) + k];
                   !std::isnan(value)) {
          out[k] = value;
          continue;
        }
        out[k] = outputChannel(curve, colour.c[k], weight.c[k], source.c[k]);
      }
      if (access.setRGB != nullptr) access.setRGB(x, y, out);
      if (access.setAlpha != nullptr) access.setAlpha(x, y, out[3]);
    }
  }
}

}  // namespace lensfall
