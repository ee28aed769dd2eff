#include "render/gather.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace lensfall {

namespace {

constexpr double kCellScale = 1.0 / 255;
constexpr double kThird = 1.0 / 3;

}  // namespace

void gatherPixel(const PassInputs &in, int x, int y, int requested) {
  const KernelWindow window = kernelWindow(in, x, y, requested);
  if (window.kernel == nullptr) return;
  const ApertureKernel &kernel = *window.kernel;
  const int n = window.size;
  const int half = window.half;
  const int left = window.left, right = window.right;
  const int top = window.top, bottom = window.bottom;

  FrameBuffers &b = in.buffers;
  const int width = b.width;
  const std::size_t i = static_cast<std::size_t>(y) * width + x;
  Float4 &colour = b.colourSums[i];
  Float4 &weight = b.weightSums[i];

  for (int v = top; v <= bottom; ++v) {
    // Read backwards: source (u, v) lies at (u - x, v - y) from the output,
    // so the output lies at the opposite offset from the source.
    const int row = (n - 1) - (v - y + half);
    for (int u = left; u <= right; ++u) {
      const int column = (n - 1) - (u - x + half);
      const std::size_t cell = static_cast<std::size_t>(row) * n + column;
      const Float4 &s = b.source[static_cast<std::size_t>(v) * width + u];
      if (in.kernelIsColor == 0) {
        const std::uint8_t byte = kernel.cells[cell];
        if (byte == 0) continue;
        const float w = static_cast<float>(byte * kCellScale);
        for (int k = 0; k < 4; ++k) colour.c[k] += w * s.c[k];
        weight.c[0] += w;
      } else {
        const std::uint8_t *rgb = kernel.cells + 3 * cell;
        float w[4];
        w[0] = static_cast<float>(rgb[0] / 255.0);
        w[1] = static_cast<float>(rgb[1] / 255.0);
        w[2] = static_cast<float>(rgb[2] / 255.0);
        w[3] = static_cast<float>((w[2] + w[1] + w[0]) * kThird);
        for (int k = 0; k < 4; ++k) {
          if (w[k] > 0.0f) {
            colour.c[k] += w[k] * s.c[k];
            weight.c[k] += w[k];
          }
        }
      }
    }
  }
  if (in.kernelIsColor == 0) {
    weight.c[1] = weight.c[2] = weight.c[3] = weight.c[0];
  }
}

}  // namespace lensfall
