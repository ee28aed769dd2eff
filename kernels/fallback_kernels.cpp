#include "kernels/fallback_kernels.h"

#include <algorithm>
#include <cstdlib>

#include "kernels/filled_half.h"

namespace lensfall {

namespace {

// What a kernel that could not be drawn gives in every channel.
constexpr std::uint8_t kNoWeight[3] = {0, 0, 0};

}  // namespace

FallbackKernels::FallbackKernels(int reach, std::size_t budget)
    : reach_(std::max(reach, 0)), budget_(budget) {}

FallbackKernels::~FallbackKernels() {
  for (auto &entry : windows_) std::free(entry.second.bytes);
}

void FallbackKernels::evictOldest() {
  const int size = order_.front();
  order_.pop_front();
  auto found = windows_.find(size);
  held_ -= found->second.byteCount;
  std::free(found->second.bytes);
  if (last_ == &found->second) last_ = nullptr;
  windows_.erase(found);
}

FallbackKernels::Window *FallbackKernels::windowFor(
    int size, const FilterSettings &settings) {
  // Occlusion tests of neighbouring pixels mostly ask for the same size.
  if (last_ != nullptr && lastSize_ == size) return last_;
  auto found = windows_.find(size);
  if (found != windows_.end()) {
    last_ = &found->second;
    lastSize_ = size;
    return last_;
  }

  const int c = size / 2;
  const int first = std::max(0, c - reach_);
  const int end = std::min(size - 1, c + reach_);
  const int side = end - first + 1;
  const std::size_t byteCount =
      static_cast<std::size_t>(side) * static_cast<std::size_t>(side) * 3;
  if (byteCount > budget_) return nullptr;
  while (held_ + byteCount > budget_ && !order_.empty()) evictOldest();
  auto *bytes = static_cast<std::uint8_t *>(std::malloc(byteCount));
  if (bytes == nullptr) return nullptr;

  Window window{
      {first, first, side, side}, 0, false, bytes, byteCount, kUnknown};
  // Drawing records the layout it drew in the record it is given: a copy,
  // so the record being processed stays as the bank left it.
  FilterSettings drawing = settings;
  window.drawn = rasterizeApertureWindow(bytes, size, window.area, drawing);
  window.mode = drawing.kernelIsColor;
  auto placed = windows_.emplace(size, window).first;
  order_.push_back(size);
  held_ += byteCount;
  last_ = &placed->second;
  lastSize_ = size;
  return last_;
}

const std::uint8_t *FallbackKernels::cell(int size, int u, int v, int mode,
                                          const FilterSettings &settings) {
  if (size <= 0) return nullptr;
  Window *window = windowFor(size, settings);
  if (window == nullptr) return nullptr;
  if (!window->drawn) return kNoWeight;
  const CellWindow &area = window->area;
  if (window->mode != mode || u < area.x || u >= area.x + area.width ||
      v < area.y || v >= area.y + area.height) {
    return nullptr;
  }
  const std::size_t index =
      static_cast<std::size_t>(v - area.y) * area.width + (u - area.x);
  return window->bytes + (mode == 0 ? index : 3 * index);
}

int FallbackKernels::filledHalf(int size, int mode,
                                const FilterSettings &settings) {
  if (size <= 0) return -1;
  Window *window = windowFor(size, settings);
  if (window == nullptr || !window->drawn || window->mode != mode) return -1;
  if (window->filled == kUnknown) {
    window->filled = lensfall::filledHalf(window->bytes, size,
                                          mode == 0 ? 1 : 3, window->area);
  }
  return window->filled;
}

}  // namespace lensfall
