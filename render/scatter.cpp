#include "render/scatter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "render/blur_size.h"
#include "render/occluder.h"

namespace lensfall {

namespace {

constexpr double kThird = 1.0 / 3;

// cell / sum as float; a kernel channel that sums to 0 has only zero cells
// and gives weight 0 instead of 0 / 0.
float normalised(std::uint8_t cell, std::int32_t sum) {
  return sum > 0 ? static_cast<float>(static_cast<double>(cell) / sum) : 0.0f;
}

}  // namespace

bool lightBlocked(const PassInputs &in, int mode, int x, int y, int u, int v) {
  const int m =
      occluderSize(in.settings, in.buffers.depth, in.buffers.width, x, y, u, v);
  return SampleKernel(mode, x, y, u, v, in.bank, m, in.settings,
                      in.fallback)[0] > 0.0;
}

int occluderSize(const FilterSettings &lens, const float *depth, int width,
                 int x, int y, int u, int v) {
  const double dd = depth[static_cast<std::size_t>(v) * width + u];
  const double ds = depth[static_cast<std::size_t>(y) * width + x];
  return ConeGeometry(lens).occluderSize(dd, ds, x, y, u, v);
}

void scatterPixel(const PassInputs &in, int x, int y, int requested) {
  const KernelWindow window = kernelWindow(in, x, y, requested);
  if (window.kernel == nullptr) return;
  const ApertureKernel &kernel = *window.kernel;
  const int n = window.size;
  const int half = window.half;
  const int left = window.left, right = window.right;
  const int top = window.top, bottom = window.bottom;

  FrameBuffers &b = in.buffers;
  const int width = b.width;
  const std::size_t j = static_cast<std::size_t>(y) * width + x;
  const Float4 &s = b.source[j];

  for (int v = top; v <= bottom; ++v) {
    const int row = v - y + half;
    for (int u = left; u <= right; ++u) {
      const std::size_t cell =
          static_cast<std::size_t>(row) * n + (u - x + half);
      const std::size_t i = static_cast<std::size_t>(v) * width + u;
      Float4 &colour = b.colourSums[i];
      Float4 &weight = b.weightSums[i];
      Float4 &stopped = b.blockedWeights[i];
      if (in.kernelIsColor == 0) {
        const float w = normalised(kernel.cells[cell], kernel.weightSum[0]);
        if (!(w > 0.0f)) continue;
        if (ConeGeometry::isCandidate(KernelLayout::mono, b.depth[i],
                                      b.depth[j], b.sizeMap[i], b.sizeMap[j]) &&
            lightBlocked(in, 0, x, y, u, v)) {
          stopped.c[0] += w;
          stopped.c[1] = stopped.c[2] = stopped.c[3] = stopped.c[0];
          continue;
        }
        for (int k = 0; k < 4; ++k) colour.c[k] += w * s.c[k];
        weight.c[0] += w;
        weight.c[1] = weight.c[2] = weight.c[3] = weight.c[0];
      } else {
        const std::uint8_t *rgb = kernel.cells + 3 * cell;
        float w[4];
        w[0] = normalised(rgb[0], kernel.weightSum[0]);
        w[1] = normalised(rgb[1], kernel.weightSum[1]);
        w[2] = normalised(rgb[2], kernel.weightSum[2]);
        w[3] = static_cast<float>((w[2] + w[1] + w[0]) * kThird);
        const bool stop =
            ConeGeometry::isCandidate(KernelLayout::colour, b.depth[i],
                                      b.depth[j], b.sizeMap[i], b.sizeMap[j]) &&
            lightBlocked(in, 1, x, y, u, v);
        for (int k = 0; k < 4; ++k) {
          if (!(w[k] > 0.0f)) continue;
          if (stop) {
            stopped.c[k] += w[k];
          } else {
            colour.c[k] += w[k] * s.c[k];
            weight.c[k] += w[k];
          }
        }
      }
    }
  }
}

}  // namespace lensfall
