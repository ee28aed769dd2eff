#include "tests/render/reference_cores.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "kernels/kernel_bank.h"

namespace lensfall::testing {

namespace {

constexpr double kCellScale = 1.0 / 255;
constexpr double kThird = 1.0 / 3;

// The scatter's weight of one cell, as the literal scatter rounds it.
float normalised(std::uint8_t cell, std::int32_t sum) {
  return sum > 0 ? static_cast<float>(static_cast<double>(cell) / sum) : 0.0f;
}

// The reference's own kernel window and occlusion test, written out here
// rather than taken from the cores, so that a fault in the cores' shared
// helpers cannot pass both.

// The bank's kernel for a requested size (clamped to 1 .. the largest) and
// the pixels it covers around (x, y), clipped to the frame.
struct Window {
  const ApertureKernel *kernel = nullptr;
  int size = 0, half = 0;
  int left = 0, right = -1, top = 0, bottom = -1;
};

Window windowAround(const PassInputs &in, int x, int y, int requested) {
  const KernelBank &bank = in.bank;
  if (bank.count <= 0) return {};
  const int largest = bank.entries[bank.count - 1].size;
  const int size =
      requested < 1 ? 1 : (requested > largest ? largest : requested);
  const ApertureKernel &kernel = bank.entries[size / 2];
  if (kernel.cells == nullptr || kernel.size != size) return {};
  Window w;
  w.kernel = &kernel;
  w.size = size;
  w.half = size / 2;
  w.left = x - w.half < 0 ? 0 : x - w.half;
  w.right =
      x + w.half > in.buffers.width - 1 ? in.buffers.width - 1 : x + w.half;
  w.top = y - w.half < 0 ? 0 : y - w.half;
  w.bottom =
      y + w.half > in.buffers.height - 1 ? in.buffers.height - 1 : y + w.half;
  return w;
}

bool positiveFinite(double value) { return std::isfinite(value) && value > 0; }

// Whether the nearer surface at (u, v) stops the light of source (x, y):
// inside the cone from the source's point to the aperture, the section of
// that cone at the surface's depth is a kernel size, and the kernel of that
// size centred on the source must have weight at the surface.
bool stopsLight(const PassInputs &in, int mode, int x, int y, int u, int v) {
  const FilterSettings &lens = in.settings;
  int size = 1;
  const bool lensIsReal =
      positiveFinite(lens.focalLength) && positiveFinite(lens.apertureRadius) &&
      positiveFinite(lens.filmWidth) &&
      positiveFinite(lens.pixelsPerFilmUnit) &&
      positiveFinite(lens.focusDistance) && positiveFinite(lens.angleScale);
  if (lensIsReal) {
    const int width = in.buffers.width;
    const double dd = in.buffers.depth[std::size_t(v) * width + u];
    const double ds = in.buffers.depth[std::size_t(y) * width + x];
    // Film positions at the surface's depth, and the cone's half-width there.
    const double k = dd / lens.focalLength;
    const double p = 1 / lens.pixelsPerFilmUnit;
    const double c = (ds - dd) / ds * lens.apertureRadius * 2;
    const double xs = (x + 0.5) * k * p, ys = (y + 0.5) * k * p;
    const double xd = (u + 0.5) * k * p, yd = (v + 0.5) * k * p;
    const bool inside =
        xd <= xs + c && xs - c <= xd && yd <= ys + c && ys - c <= yd;
    if (inside) {
      const double pixels = lens.pixelsPerFilmUnit / k * c * 2;
      // Truncated toward zero, NaN as 0, at most the size limit.
      const int limit = 1 << 30;
      const int truncated =
          std::isnan(pixels)
              ? 0
              : (pixels > limit ? limit : static_cast<int>(pixels));
      if (truncated > 0) size = truncated % 2 == 0 ? truncated + 1 : truncated;
    }
  }
  return SampleKernel(mode, x, y, u, v, in.bank, size, in.settings,
                      in.fallback)[0] > 0.0;
}

ReferenceSums zeroed(const FrameBuffers &b) {
  const std::size_t pixels = static_cast<std::size_t>(b.width) * b.height;
  return {std::vector<std::array<double, 4>>(pixels),
          std::vector<std::array<double, 4>>(pixels),
          std::vector<Float4>(pixels)};
}

// gatherPixel with double sums: the weights are the literal's floats, each
// product and sum is taken in double.
void gather(const PassInputs &in, int x, int y, int requested,
            ReferenceSums &out) {
  const Window window = windowAround(in, x, y, requested);
  if (window.kernel == nullptr) return;
  const ApertureKernel &kernel = *window.kernel;
  const int n = window.size;
  const FrameBuffers &b = in.buffers;
  const std::size_t i = static_cast<std::size_t>(y) * b.width + x;
  std::array<double, 4> &colour = out.colour[i];
  std::array<double, 4> &weight = out.weight[i];

  for (int v = window.top; v <= window.bottom; ++v) {
    // The cell at the offset opposite to source - output, as the literal
    // gather reads it: the cell the scatter applies between the two pixels.
    const int row = (n - 1) - (v - y + window.half);
    for (int u = window.left; u <= window.right; ++u) {
      const int column = (n - 1) - (u - x + window.half);
      const std::size_t cell = static_cast<std::size_t>(row) * n + column;
      const Float4 &s = b.source[static_cast<std::size_t>(v) * b.width + u];
      if (in.kernelIsColor == 0) {
        const std::uint8_t byte = kernel.cells[cell];
        if (byte == 0) continue;
        const float w = static_cast<float>(byte * kCellScale);
        for (int k = 0; k < 4; ++k) {
          colour[k] += static_cast<double>(w) * s.c[k];
          weight[k] += w;
        }
      } else {
        const std::uint8_t *rgb = kernel.cells + 3 * cell;
        float w[4];
        w[0] = static_cast<float>(rgb[0] / 255.0);
        w[1] = static_cast<float>(rgb[1] / 255.0);
        w[2] = static_cast<float>(rgb[2] / 255.0);
        w[3] = static_cast<float>((w[2] + w[1] + w[0]) * kThird);
        for (int k = 0; k < 4; ++k) {
          if (w[k] > 0.0f) {
            colour[k] += static_cast<double>(w[k]) * s.c[k];
            weight[k] += w[k];
          }
        }
      }
    }
  }
}

// scatterPixel with double sums. The blocked weights stay float and are
// added in the literal order, so they can be compared bit for bit.
void scatter(const PassInputs &in, int x, int y, int requested,
             ReferenceSums &out) {
  const Window window = windowAround(in, x, y, requested);
  if (window.kernel == nullptr) return;
  const ApertureKernel &kernel = *window.kernel;
  const int n = window.size;
  const FrameBuffers &b = in.buffers;
  const std::size_t j = static_cast<std::size_t>(y) * b.width + x;
  const Float4 &s = b.source[j];

  for (int v = window.top; v <= window.bottom; ++v) {
    const int row = v - y + window.half;
    for (int u = window.left; u <= window.right; ++u) {
      const std::size_t cell =
          static_cast<std::size_t>(row) * n + (u - x + window.half);
      const std::size_t i = static_cast<std::size_t>(v) * b.width + u;
      std::array<double, 4> &colour = out.colour[i];
      std::array<double, 4> &weight = out.weight[i];
      Float4 &stopped = out.blocked[i];
      if (in.kernelIsColor == 0) {
        const float w = normalised(kernel.cells[cell], kernel.weightSum[0]);
        if (!(w > 0.0f)) continue;
        if (b.depth[i] < b.depth[j] && stopsLight(in, 0, x, y, u, v)) {
          stopped.c[0] += w;
          stopped.c[1] = stopped.c[2] = stopped.c[3] = stopped.c[0];
          continue;
        }
        for (int k = 0; k < 4; ++k) {
          colour[k] += static_cast<double>(w) * s.c[k];
          weight[k] += w;
        }
      } else {
        const std::uint8_t *rgb = kernel.cells + 3 * cell;
        float w[4];
        w[0] = normalised(rgb[0], kernel.weightSum[0]);
        w[1] = normalised(rgb[1], kernel.weightSum[1]);
        w[2] = normalised(rgb[2], kernel.weightSum[2]);
        w[3] = static_cast<float>((w[2] + w[1] + w[0]) * kThird);
        const bool stop =
            b.sizeMap[i] < b.sizeMap[j] && stopsLight(in, 1, x, y, u, v);
        for (int k = 0; k < 4; ++k) {
          if (!(w[k] > 0.0f)) continue;
          if (stop) {
            stopped.c[k] += w[k];
          } else {
            colour[k] += static_cast<double>(w[k]) * s.c[k];
            weight[k] += w[k];
          }
        }
      }
    }
  }
}

}  // namespace

ReferenceSums referenceUniformPass(const PassInputs &in, int size) {
  const FrameBuffers &b = in.buffers;
  ReferenceSums out = zeroed(b);
  for (int y = 0; y < b.height; ++y) {
    for (int x = 0; x < b.width; ++x) gather(in, x, y, size, out);
  }
  return out;
}

ReferenceSums referenceDepthPasses(const PassInputs &in,
                                   const Float4 *deciding) {
  const FrameBuffers &b = in.buffers;
  ReferenceSums out = zeroed(b);
  for (int y = 0; y < b.height; ++y) {
    for (int x = 0; x < b.width; ++x) {
      scatter(in, x, y,
              std::abs(b.sizeMap[static_cast<std::size_t>(y) * b.width + x]),
              out);
    }
  }
  for (int y = 0; y < b.height; ++y) {
    for (int x = 0; x < b.width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * b.width + x;
      if (!(deciding[i].c[3] >= 0.1)) continue;
      out.colour[i] = {};
      out.weight[i] = {};
      gather(in, x, y, std::abs(b.sizeMap[i]), out);
    }
  }
  return out;
}

}  // namespace lensfall::testing
