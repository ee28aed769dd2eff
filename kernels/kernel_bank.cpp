#include "kernels/kernel_bank.h"

#include <cstdlib>

#include "kernels/aperture.h"
#include "kernels/raster_scratch.h"

namespace lensfall {

namespace {

constexpr double kThird = 1.0 / 3;

void *callocAllocation(std::size_t count, std::size_t size) {
  return std::calloc(count, size);
}

std::size_t kernelBytes(int size) {
  return static_cast<std::size_t>(size) * static_cast<std::size_t>(size) * 3;
}

}  // namespace

std::int32_t kernelBankCount(const FilterSettings &settings) {
  // The largest diameter in film units: the lens aperture, or a tenth of the
  // film width times the front or back maximum when that is larger.
  double diameter = 2 * settings.apertureRadius;
  const double front = settings.frontMax * settings.filmWidth * 0.1;
  if (front > diameter) diameter = front;
  const double back = settings.backMax * settings.filmWidth * 0.1;
  if (back > diameter) diameter = back;
  const double pixels = diameter * settings.pixelsPerFilmUnit;

  // Below one pixel, negative or NaN (an aperture number of 0 or less, camera
  // values not yet set) there is no blur to make room for: the size-1 kernel
  // alone. At or beyond the cap (+infinity included) the bank is full.
  int n = 1;
  if (pixels >= kMaxKernelSize) {
    n = kMaxKernelSize;
  } else if (pixels >= 1) {
    n = static_cast<int>(pixels);
    if (n % 2 == 0) n += 1;
  }
  return n / 2 + 1;
}

KernelBank BuildKernelBank(FilterSettings &settings,
                           ZeroedAllocation allocate) {
  if (allocate == nullptr) allocate = callocAllocation;
  const std::int32_t count = kernelBankCount(settings);
  const int largest = 2 * (count - 1) + 1;
  KernelBank bank{nullptr, 0};
  // The fill scratch is reserved for the largest kernel first, so a shortage
  // is found before any kernel is drawn rather than as a half-filled kernel.
  if (!reserveFillScratch(largest, largest)) return bank;
  bank.entries = static_cast<ApertureKernel *>(
      allocate(static_cast<std::size_t>(count), sizeof(ApertureKernel)));
  if (bank.entries == nullptr) return bank;
  bank.count = count;

  for (std::int32_t i = 0; i < count; ++i) {
    ApertureKernel &kernel = bank.entries[i];
    kernel.size = 2 * i + 1;
    // Cleared, so that a shape that writes no cell (an unknown shape code or
    // image pixel type) gives a kernel of zero weight, not stale memory.
    kernel.cells =
        static_cast<std::uint8_t *>(allocate(kernelBytes(kernel.size), 1));
    if (kernel.cells == nullptr ||
        !RasterizeAperture(kernel.cells, kernel.size, settings)) {
      releaseKernelBank(bank);
      return bank;
    }
    SumKernelWeights(kernel, settings.kernelIsColor);
  }
  return bank;
}

void releaseKernelBank(KernelBank &bank) {
  if (bank.entries != nullptr) {
    for (std::int32_t i = 0; i < bank.count; ++i) {
      std::free(bank.entries[i].cells);
    }
    std::free(bank.entries);
  }
  bank = {nullptr, 0};
}

void SumKernelWeights(ApertureKernel &kernel, int mode) {
  for (std::int32_t &sum : kernel.weightSum) sum = 0;
  if (kernel.cells == nullptr || kernel.size <= 0) return;
  const std::size_t cells = static_cast<std::size_t>(kernel.size) *
                            static_cast<std::size_t>(kernel.size);
  if (mode == 0) {
    for (std::size_t i = 0; i < cells; ++i)
      kernel.weightSum[0] += kernel.cells[i];
  } else if (mode == 1) {
    for (std::size_t i = 0; i < cells; ++i) {
      kernel.weightSum[0] += kernel.cells[3 * i];
      kernel.weightSum[1] += kernel.cells[3 * i + 1];
      kernel.weightSum[2] += kernel.cells[3 * i + 2];
    }
  }
}

namespace {

// Cell (u, v) of the whole size-`size` kernel read in `mode`, for a caller
// whose mode is not the layout the kernel is drawn in: the bytes it then
// reads are those of the whole kernel's buffer, which no window holds.
std::array<double, 4> wholeKernelCell(int mode, int size, std::size_t cell,
                                      FilterSettings &drawing) {
  std::array<double, 4> weights = {0.0, 0.0, 0.0, 0.0};
  if (kernelBytes(size) > kMaxWholeKernelBytes) return weights;
  auto *cells = static_cast<std::uint8_t *>(std::calloc(kernelBytes(size), 1));
  if (cells == nullptr) return weights;
  if (RasterizeAperture(cells, size, drawing)) {
    if (mode == 0) {
      const double g = cells[cell] / 255.0;
      weights = {g, g, g, g};
    } else {
      const double r = cells[3 * cell] / 255.0;
      const double g = cells[3 * cell + 1] / 255.0;
      const double b = cells[3 * cell + 2] / 255.0;
      weights = {r, g, b, (r + g + b) * kThird};
    }
  }
  std::free(cells);
  return weights;
}

}  // namespace

std::array<double, 4> SampleKernel(int mode, int cx, int cy, int x, int y,
                                   const KernelBank &bank, int size,
                                   const FilterSettings &settings,
                                   FallbackKernels *fallback) {
  std::array<double, 4> weights = {0.0, 0.0, 0.0, 0.0};
  if (size <= 0 || (mode != 0 && mode != 1)) return weights;
  const std::int64_t half = size / 2;
  const std::int64_t u = std::int64_t{x} - cx + half;
  const std::int64_t v = std::int64_t{y} - cy + half;
  if (u < 0 || u >= size || v < 0 || v >= size) return weights;
  const std::size_t cell =
      static_cast<std::size_t>(v) * static_cast<std::size_t>(size) +
      static_cast<std::size_t>(u);

  // A bank entry is used only when it has exactly this size: an even size
  // would otherwise read the next odd kernel with the wrong row length.
  const std::uint8_t *bytes = nullptr;
  const std::int32_t index = size / 2;
  if (bank.entries != nullptr && index < bank.count &&
      bank.entries[index].size == size &&
      bank.entries[index].cells != nullptr) {
    const std::uint8_t *cells = bank.entries[index].cells;
    bytes = mode == 0 ? cells + cell : cells + 3 * cell;
  }

  // Beyond the bank: the one cell, never the whole kernel where that can be
  // helped (an occluder near the camera asks for kernels thousands of cells
  // wide).
  std::uint8_t single[3] = {0, 0, 0};
  if (bytes == nullptr && fallback != nullptr) {
    bytes = fallback->cell(size, static_cast<int>(u), static_cast<int>(v), mode,
                           settings);
  }
  if (bytes == nullptr) {
    const CellWindow one{static_cast<int>(u), static_cast<int>(v), 1, 1};
    FilterSettings drawing = settings;
    if (!rasterizeApertureWindow(single, size, one, drawing)) return weights;
    if (drawing.kernelIsColor != mode) {
      return wholeKernelCell(mode, size, cell, drawing);
    }
    bytes = single;
  }

  if (mode == 0) {
    const double g = bytes[0] / 255.0;
    weights = {g, g, g, g};
  } else {
    const double r = bytes[0] / 255.0;
    const double g = bytes[1] / 255.0;
    const double b = bytes[2] / 255.0;
    weights = {r, g, b, (r + g + b) * kThird};
  }
  return weights;
}

}  // namespace lensfall
