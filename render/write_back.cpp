#include "render/write_back.h"

#include <cmath>
#include <cstddef>
#include <memory>

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

void writeBack(const HostFilterAccess &access, const FrameBuffers &buffers,
               const ToneCurve &curve) {
  // A mean that is a float itself (a sharp pixel's own value, a pixel no
  // light reached) is decoded once per value.
  auto memo = std::make_unique<FloatMemo<float>>();
  auto decode = [&](float mean) {
    return static_cast<float>(curve.decode(mean));
  };
  for (int y = 0; y < buffers.height; ++y) {
    for (int x = 0; x < buffers.width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * buffers.width + x;
      const Float4 &colour = buffers.colourSums[i];
      const Float4 &weight = buffers.weightSums[i];
      const Float4 &source = buffers.source[i];
      float out[4];
      for (int k = 0; k < 4; ++k) {
        if (weight.c[k] == 1.0f || !(weight.c[k] > 0.0f)) {
          const float mean = weight.c[k] == 1.0f && std::isfinite(colour.c[k])
                                 ? colour.c[k]
                                 : source.c[k];
          const float value = (*memo)(mean, decode);
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
